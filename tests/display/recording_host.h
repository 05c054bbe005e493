// A GUI host for the display tests that draws nothing but records every
// drawing call, and keeps pixel images in plain memory, so that coordinates,
// colours and pixels can be checked exactly. GUI instances are created
// through the loaded library's factory like any host would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/mp_drawing_api.h"
#include "gui/mp_gui_api.h"
#include "support/test_support.h"

namespace ztest_draw {

using namespace mp_draw;

// Reference counting shared by every fake object; counts live objects so
// the tests can see that the module releases what it obtained.
inline int& liveObjects() {
    static int n = 0;
    return n;
}

template <class Face>
class Counted : public Face {
public:
    Counted() { ++liveObjects(); }
    virtual ~Counted() { --liveObjects(); }
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override {
        const int32_t r = --refs_;
        if (r == 0) delete this;
        return r;
    }

protected:
    int32_t answer(void* self, void** out) {
        *out = self;
        AddRef();
        return mp::MP_OK;
    }
    int32_t refs_ = 1;
};

struct Line {
    Point p1, p2;
    Colour colour;
    float width;
};

struct Op {
    enum Kind { Clear, FillGradient, DrawLine, DrawBitmap, Begin, End } kind;
    explicit Op(Kind k) : kind(k) {}
    Line line{};
    Rect rect{};
    std::vector<GradientStop> stops;
    IMpBitmap* bitmap = nullptr;  // not referenced: identity only
};

class SolidBrush final : public Counted<IMpSolidColourBrush> {
public:
    explicit SolidBrush(const Colour& c) : colour(c) {}
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == kIID_IMpSolidColourBrush || iid == kIID_IMpBrush || iid == mp::kIID_IMpUnknown)
            return answer(static_cast<IMpSolidColourBrush*>(this), out);
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t setOpacity(float) override { return 0; }
    float getOpacity() override { return 1.0f; }
    // Not an operation every host offers: the modules create a brush instead.
    int32_t setColour(const Colour& c) override {
        ADD_FAILURE() << "a module changed a brush's colour";
        colour = c;
        return 0;
    }
    int32_t getColour(Colour* c) override {
        *c = colour;
        return 0;
    }
    Colour colour;
};

class Stops final : public Counted<IMpGradientStopCollection> {
public:
    int32_t QueryInterface(const mp::MpGuid&, void** out) override {
        return answer(static_cast<IMpGradientStopCollection*>(this), out);
    }
    int32_t getStopCount() override { return static_cast<int32_t>(stops.size()); }
    std::vector<GradientStop> stops;
};

class GradientBrush final : public Counted<IMpLinearGradientBrush> {
public:
    int32_t QueryInterface(const mp::MpGuid&, void** out) override {
        return answer(static_cast<IMpLinearGradientBrush*>(this), out);
    }
    int32_t setOpacity(float) override { return 0; }
    float getOpacity() override { return 1.0f; }
    int32_t setStartPoint(Point p) override {
        start = p;
        return 0;
    }
    int32_t setEndPoint(Point p) override {
        end = p;
        return 0;
    }
    Point start, end;
    std::vector<GradientStop> stops;
};

class Pixels final : public Counted<IMpBitmapPixels> {
public:
    Pixels(uint8_t* a, int32_t row, int32_t fmt) : address(a), bytesPerRow(row), format(fmt) {}
    int32_t QueryInterface(const mp::MpGuid&, void** out) override {
        return answer(static_cast<IMpBitmapPixels*>(this), out);
    }
    uint8_t* getAddress() override { return address; }
    // Rows are exactly width x 4 bytes; the modules do not ask.
    int32_t getBytesPerRow() override {
        ADD_FAILURE() << "a module asked for the row length";
        return bytesPerRow;
    }
    int32_t getPixelFormat() override { return format; }
    uint8_t* address;
    int32_t bytesPerRow, format;
};

// A bitmap: either a pixel image (pixels) or a render target's result (ops).
// The pixel format code that new images report when locked (tests vary it).
inline int32_t& imageFormat() {
    static int32_t code = PIXEL_ARGB;
    return code;
}

class Bitmap final : public Counted<IMpBitmap> {
public:
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == kIID_IMpBitmap || iid == mp::kIID_IMpUnknown)
            return answer(static_cast<IMpBitmap*>(this), out);
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t getSize(Size* s) override {
        ADD_FAILURE() << "a module asked for a bitmap's size";
        *s = Size{static_cast<float>(w), static_cast<float>(h)};
        return 0;
    }
    int32_t lockPixels(IMpBitmapPixels** out, int32_t mode) override {
        lockModes.push_back(mode);
        if (pixels.empty() && w * h > 0) pixels.assign(static_cast<size_t>(w) * h, 0u);
        *out = new Pixels(w * h > 0 ? reinterpret_cast<uint8_t*>(pixels.data()) : nullptr, w * 4,
                          format);
        return 0;
    }
    uint32_t at(int32_t row, int32_t col) const {
        return pixels[static_cast<size_t>(row) * w + col];
    }
    int32_t w = 0, h = 0;
    int32_t format = imageFormat();  // the pixel format code the lock reports
    std::vector<uint32_t> pixels;
    std::vector<int32_t> lockModes;
    std::vector<Op> ops;
    int brushesCreated = 0;  // on the render target this bitmap came from
};

class Context : public Counted<IMpBitmapRenderTarget> {
public:
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == kIID_IMpDeviceContext || iid == kIID_IMpBitmapRenderTarget ||
            iid == mp::kIID_IMpUnknown)
            return answer(static_cast<IMpBitmapRenderTarget*>(this), out);
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t createSolidColourBrush(const Colour& c, IMpSolidColourBrush** out) override {
        ++brushesCreated;
        *out = new SolidBrush(c);
        return 0;
    }
    int32_t createGradientStopCollection(const GradientStop* s, int32_t n,
                                         IMpGradientStopCollection** out) override {
        auto* c = new Stops;
        c->stops.assign(s, s + n);
        *out = c;
        return 0;
    }
    int32_t createLinearGradientBrush(const LinearGradientBrushProperties& line,
                                      const BrushProperties&, IMpGradientStopCollection* stops,
                                      IMpLinearGradientBrush** out) override {
        auto* b = new GradientBrush;
        b->start = line.start;
        b->end = line.end;
        b->stops = static_cast<Stops*>(stops)->stops;
        *out = b;
        return 0;
    }
    void drawLine(Point p1, Point p2, IMpBrush* brush, float w, IMpStrokeStyle*) override {
        Op op(Op::DrawLine);
        op.line = Line{p1, p2, static_cast<SolidBrush*>(brush)->colour, w};
        ops.push_back(op);
    }
    void fillRectangle(const Rect& r, IMpBrush* brush) override {
        Op op(Op::FillGradient);
        op.rect = r;
        op.stops = static_cast<GradientBrush*>(brush)->stops;
        ops.push_back(op);
    }
    void drawBitmap(IMpBitmap* b, const Rect& dest, float, int32_t, const Rect&) override {
        Op op(Op::DrawBitmap);
        op.bitmap = b;
        op.rect = dest;
        ops.push_back(op);
    }
    void clear(const Colour&) override { ops.push_back(Op(Op::Clear)); }
    void beginDraw() override { ops.push_back(Op(Op::Begin)); }
    int32_t endDraw() override {
        ops.push_back(Op(Op::End));
        return 0;
    }
    int32_t createCompatibleRenderTarget(Size, IMpBitmapRenderTarget** out) override {
        ++targetsCreated;
        *out = new Context;
        return 0;
    }
    // A render target's result: a bitmap holding the ops drawn into it.
    int32_t getBitmap(IMpBitmap** out) override {
        auto* b = new Bitmap;
        b->ops = ops;
        b->brushesCreated = brushesCreated;
        *out = b;
        return 0;
    }
    std::vector<Op> ops;
    int brushesCreated = 0;
    int targetsCreated = 0;
};

class Factory final : public Counted<IMpDrawingFactory> {
public:
    // Answers only IMpUnknown: what getDrawingFactory hands out is the factory.
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == mp::kIID_IMpUnknown) return answer(static_cast<IMpDrawingFactory*>(this), out);
        *out = nullptr;
        return mp::MP_NOSUPPORT;
    }
    int32_t createImage(int32_t w, int32_t h, IMpBitmap** out) override {
        auto* b = new Bitmap;
        b->w = w;
        b->h = h;
        b->pixels.assign(static_cast<size_t>(w) * h, 0u);
        images.push_back(b);
        *out = b;
        return 0;
    }
    std::vector<Bitmap*> images;  // identity only; the module owns them
};

// The host object: GUI host and graphics host in one.
class Host final : public mp::IMpUserInterfaceHost2, public mp_gui_api::IMpGraphicsHost {
public:
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override {
        if (iid == mp::kIID_IMpUserInterfaceHost2 || iid == mp::kIID_IMpUnknown) {
            *out = static_cast<mp::IMpUserInterfaceHost2*>(this);
        } else if (iid == mp_gui_api::kIID_IMpGraphicsHost) {
            *out = static_cast<mp_gui_api::IMpGraphicsHost*>(this);
        } else {
            *out = nullptr;
            return mp::MP_NOSUPPORT;
        }
        return mp::MP_OK;
    }
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    int32_t pinTransmit(int32_t, int32_t, const void*, int32_t) override { return 0; }
    int32_t sendMessageToAudio(int32_t, int32_t, const void*) override { return 0; }
    int32_t getHandle(int32_t* h) override {
        *h = 0;
        return 0;
    }
    int32_t getDisplayScale(float* s) override {
        *s = 1.0f;
        return 0;
    }
    int32_t getDrawingFactory(mp::IMpUnknown** out) override {
        factory.AddRef();
        *out = &factory;
        return 0;
    }
    void invalidateRect(const Rect*) override { ++redraws; }
    void invalidateMeasure() override {}

    // The factory lives as long as the host (its first reference is ours).
    Factory& factory = *new Factory;
    int redraws = 0;
};

// One GUI instance of the library on a recording host.
class Gui {
public:
    Gui(const std::u16string& id, float width, float height) {
        void* out = nullptr;
        const int32_t r =
            ztest::library().factory()->instantiate(id.c_str(), mp::MP_SUBTYPE_GUI, nullptr, &out);
        if (r != mp::MP_OK || out == nullptr) throw std::runtime_error("no GUI instance");
        gui = static_cast<mp::IMpUserInterface2*>(out);
        gui->QueryInterface(mp_gui_api::kIID_IMpGraphics2, reinterpret_cast<void**>(&gfx));
        gui->setHost(static_cast<mp::IMpUserInterfaceHost2*>(&host));
        gui->initialize();
        mp_draw::Size desired;
        gfx->measure(Size{width, height}, &desired);
        gfx->arrange(Rect{0.0f, 0.0f, width, height});
    }
    ~Gui() {
        gfx->Release();
        gui->Release();
        host.factory.Release();
    }
    void set(int32_t pin, const void* data, int32_t size) {
        gui->setPin(pin, 0, size, data);
        gui->notifyPin(pin, 0);
    }
    void setText(int32_t pin, const std::u16string& t) {
        set(pin, t.data(), static_cast<int32_t>(2 * t.size()));
    }
    void setFloat(int32_t pin, float v) { set(pin, &v, 4); }
    void setInt(int32_t pin, int32_t v) { set(pin, &v, 4); }
    void setBool(int32_t pin, bool v) {
        const unsigned char b = v ? 1 : 0;
        set(pin, &b, 1);
    }
    // Renders into a fresh recording context and returns it.
    std::unique_ptr<Context, void (*)(Context*)> render() {
        auto* c = new Context;
        gfx->render(static_cast<IMpBitmapRenderTarget*>(c));
        return {c, [](Context* p) { p->Release(); }};
    }

    Host host;
    mp::IMpUserInterface2* gui = nullptr;
    mp_gui_api::IMpGraphics2* gfx = nullptr;
};

// The layers a render drew, in stacking order.
inline std::vector<Bitmap*> layers(const Context& c) {
    std::vector<Bitmap*> r;
    for (const Op& op : c.ops)
        if (op.kind == Op::DrawBitmap) r.push_back(static_cast<Bitmap*>(op.bitmap));
    return r;
}

inline std::vector<Line> lines(const Bitmap& b) {
    std::vector<Line> r;
    for (const Op& op : b.ops)
        if (op.kind == Op::DrawLine) r.push_back(op.line);
    return r;
}

}  // namespace ztest_draw
