#include "host/cairo_drawing.h"

#include <cmath>
#include <vector>

using namespace mp;
using namespace mp_draw;

namespace zhost {

namespace {

constexpr int kMaxSide = 16384;

// Reference counting and QueryInterface for one host object with the
// identifiers it answers (IMpUnknown always).
template <class Face>
class Counted : public Face {
public:
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override {
        const int32_t r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    int32_t QueryInterface(const MpGuid& iid, void** out) override {
        if (out == nullptr) return MP_FAIL;
        if (iid == kIID_IMpUnknown || answers(iid)) {
            *out = static_cast<Face*>(this);
            AddRef();
            return MP_OK;
        }
        *out = nullptr;
        return MP_NOSUPPORT;
    }
    virtual ~Counted() = default;

protected:
    virtual bool answers(const MpGuid& iid) const = 0;

private:
    int32_t refs_ = 1;
};

void setSource(cairo_t* cr, const Colour& c, float opacity) {
    const double a = std::isfinite(c.a) ? std::fmin(1.0, std::fmax(0.0, c.a * opacity)) : 0.0;
    cairo_set_source_rgba(cr, linearToSrgb(c.r), linearToSrgb(c.g), linearToSrgb(c.b), a);
}

class CairoBrush {
public:
    virtual ~CairoBrush() = default;
    virtual void apply(cairo_t* cr) = 0;
};

class SolidBrush final : public Counted<IMpSolidColourBrush>, public CairoBrush {
public:
    explicit SolidBrush(const Colour& c) : colour_(c) {}
    int32_t setOpacity(float o) override {
        opacity_ = o;
        return MP_OK;
    }
    float getOpacity() override { return opacity_; }
    int32_t setColour(const Colour& c) override {
        colour_ = c;
        return MP_OK;
    }
    int32_t getColour(Colour* c) override {
        if (c == nullptr) return MP_FAIL;
        *c = colour_;
        return MP_OK;
    }
    void apply(cairo_t* cr) override { setSource(cr, colour_, opacity_); }

protected:
    bool answers(const MpGuid& iid) const override {
        return iid == kIID_IMpBrush || iid == kIID_IMpSolidColourBrush;
    }

private:
    Colour colour_;
    float opacity_ = 1.0f;
};

class StopCollection final : public Counted<IMpGradientStopCollection> {
public:
    StopCollection(const GradientStop* stops, int32_t count) : stops_(stops, stops + count) {}
    int32_t getStopCount() override { return static_cast<int32_t>(stops_.size()); }
    const std::vector<GradientStop>& stops() const { return stops_; }

protected:
    bool answers(const MpGuid& iid) const override { return iid == kIID_IMpGradientStopCollection; }

private:
    std::vector<GradientStop> stops_;
};

class LinearBrush final : public Counted<IMpLinearGradientBrush>, public CairoBrush {
public:
    LinearBrush(const LinearGradientBrushProperties& line, const BrushProperties& props,
                const StopCollection& stops)
        : line_(line), props_(props), stops_(stops.stops()) {}
    int32_t setOpacity(float o) override {
        props_.opacity = o;
        return MP_OK;
    }
    float getOpacity() override { return props_.opacity; }
    int32_t setStartPoint(Point p) override {
        line_.start = p;
        return MP_OK;
    }
    int32_t setEndPoint(Point p) override {
        line_.end = p;
        return MP_OK;
    }
    void apply(cairo_t* cr) override {
        cairo_pattern_t* pat =
            cairo_pattern_create_linear(line_.start.x, line_.start.y, line_.end.x, line_.end.y);
        for (const GradientStop& s : stops_) {
            const double a = std::fmin(1.0, std::fmax(0.0, s.colour.a * props_.opacity));
            cairo_pattern_add_color_stop_rgba(pat, s.position, linearToSrgb(s.colour.r),
                                              linearToSrgb(s.colour.g), linearToSrgb(s.colour.b),
                                              a);
        }
        const Matrix3x2& m = props_.transform;
        cairo_matrix_t cm;
        cairo_matrix_init(&cm, m._11, m._12, m._21, m._22, m._31, m._32);
        if (cairo_matrix_invert(&cm) == CAIRO_STATUS_SUCCESS) cairo_pattern_set_matrix(pat, &cm);
        cairo_set_source(cr, pat);
        cairo_pattern_destroy(pat);
    }

protected:
    bool answers(const MpGuid& iid) const override {
        return iid == kIID_IMpBrush || iid == kIID_IMpLinearGradientBrush;
    }

private:
    LinearGradientBrushProperties line_;
    BrushProperties props_;
    std::vector<GradientStop> stops_;
};

class Bitmap;

class Pixels final : public Counted<IMpBitmapPixels> {
public:
    Pixels(cairo_surface_t* s) : surface_(cairo_surface_reference(s)) { cairo_surface_flush(s); }
    ~Pixels() override {
        // The pixels were written directly: tell Cairo.
        cairo_surface_mark_dirty(surface_);
        cairo_surface_destroy(surface_);
    }
    uint8_t* getAddress() override { return cairo_image_surface_get_data(surface_); }
    int32_t getBytesPerRow() override { return cairo_image_surface_get_stride(surface_); }
    int32_t getPixelFormat() override { return PIXEL_ARGB; }

protected:
    bool answers(const MpGuid& iid) const override { return iid == kIID_IMpBitmapPixels; }

private:
    cairo_surface_t* surface_;
};

class Bitmap final : public Counted<IMpBitmap> {
public:
    explicit Bitmap(cairo_surface_t* s) : surface_(cairo_surface_reference(s)) {}
    ~Bitmap() override { cairo_surface_destroy(surface_); }
    int32_t getSize(Size* size) override {
        if (size == nullptr) return MP_FAIL;
        size->width = static_cast<float>(cairo_image_surface_get_width(surface_));
        size->height = static_cast<float>(cairo_image_surface_get_height(surface_));
        return MP_OK;
    }
    int32_t lockPixels(IMpBitmapPixels** out, int32_t) override {
        if (out == nullptr) return MP_FAIL;
        *out = new Pixels(surface_);
        return MP_OK;
    }
    cairo_surface_t* surface() const { return surface_; }

protected:
    bool answers(const MpGuid& iid) const override { return iid == kIID_IMpBitmap; }

private:
    cairo_surface_t* surface_;
};

cairo_surface_t* newImage(int32_t w, int32_t h) {
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    return s;
}

// The drawing context; also the render target (whose result is a bitmap).
class Context final : public Counted<IMpBitmapRenderTarget> {
public:
    explicit Context(cairo_surface_t* s, bool target)
        : surface_(cairo_surface_reference(s)), cr_(cairo_create(s)), target_(target) {}
    ~Context() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }

    int32_t createSolidColourBrush(const Colour& c, IMpSolidColourBrush** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = new SolidBrush(c);
        return MP_OK;
    }
    int32_t createGradientStopCollection(const GradientStop* stops, int32_t count,
                                         IMpGradientStopCollection** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        if (count < 0 || (count > 0 && stops == nullptr)) return MP_FAIL;
        *out = new StopCollection(stops, count);
        return MP_OK;
    }
    int32_t createLinearGradientBrush(const LinearGradientBrushProperties& line,
                                      const BrushProperties& props,
                                      IMpGradientStopCollection* stops,
                                      IMpLinearGradientBrush** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        auto* collection = dynamic_cast<StopCollection*>(stops);
        if (collection == nullptr) return MP_FAIL;
        *out = new LinearBrush(line, props, *collection);
        return MP_OK;
    }
    void drawLine(Point p1, Point p2, IMpBrush* brush, float width, IMpStrokeStyle*) override {
        if (!use(brush)) return;
        cairo_move_to(cr_, p1.x, p1.y);
        cairo_line_to(cr_, p2.x, p2.y);
        strokeWith(width);
    }
    void fillRectangle(const Rect& r, IMpBrush* brush) override {
        if (!use(brush)) return;
        cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_fill(cr_);
    }
    void drawBitmap(IMpBitmap* bitmap, const Rect& dest, float opacity, int32_t interpolation,
                    const Rect& source) override {
        auto* b = dynamic_cast<Bitmap*>(bitmap);
        const double sw = source.right - source.left;
        const double sh = source.bottom - source.top;
        if (b == nullptr || !(sw > 0.0) || !(sh > 0.0)) return;
        cairo_save(cr_);
        cairo_rectangle(cr_, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top);
        cairo_clip(cr_);
        cairo_translate(cr_, dest.left, dest.top);
        cairo_scale(cr_, (dest.right - dest.left) / sw, (dest.bottom - dest.top) / sh);
        cairo_set_source_surface(cr_, b->surface(), -source.left, -source.top);
        cairo_pattern_set_filter(cairo_get_source(cr_), interpolation == INTERPOLATION_NEAREST
                                                            ? CAIRO_FILTER_NEAREST
                                                            : CAIRO_FILTER_BILINEAR);
        cairo_paint_with_alpha(cr_, std::fmin(1.0, std::fmax(0.0, opacity)));
        cairo_restore(cr_);
    }
    void clear(const Colour& c) override {
        cairo_save(cr_);
        cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
        setSource(cr_, c, 1.0f);
        cairo_paint(cr_);
        cairo_restore(cr_);
    }
    void beginDraw() override {}
    int32_t endDraw() override {
        cairo_surface_flush(surface_);
        return MP_OK;
    }
    int32_t createCompatibleRenderTarget(Size size, IMpBitmapRenderTarget** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        if (!(size.width >= 1.0f) || !(size.height >= 1.0f)) return MP_FAIL;
        if (size.width > kMaxSide || size.height > kMaxSide) return MP_FAIL;
        cairo_surface_t* s = newImage(static_cast<int32_t>(std::ceil(size.width)),
                                      static_cast<int32_t>(std::ceil(size.height)));
        if (s == nullptr) return MP_FAIL;
        *out = new Context(s, true);
        cairo_surface_destroy(s);
        return MP_OK;
    }
    int32_t getBitmap(IMpBitmap** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        if (!target_) return MP_FAIL;
        cairo_surface_flush(surface_);
        *out = new Bitmap(surface_);
        return MP_OK;
    }

protected:
    bool answers(const MpGuid& iid) const override {
        return iid == kIID_IMpDeviceContext || (target_ && iid == kIID_IMpBitmapRenderTarget);
    }

private:
    bool use(IMpBrush* brush) {
        auto* b = dynamic_cast<CairoBrush*>(brush);
        if (b == nullptr) return false;
        b->apply(cr_);
        return true;
    }
    // A width of 0 (or less) draws the thinnest visible line: one pixel.
    void strokeWith(float width) {
        cairo_set_line_width(cr_, width > 0.0f && std::isfinite(width) ? width : 1.0);
        cairo_stroke(cr_);
    }

    cairo_surface_t* surface_;
    cairo_t* cr_;
    bool target_;
};

class Factory final : public Counted<IMpDrawingFactory> {
public:
    int32_t createImage(int32_t w, int32_t h, IMpBitmap** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        cairo_surface_t* s = newImage(w, h);
        if (s == nullptr) return MP_FAIL;
        *out = new Bitmap(s);
        cairo_surface_destroy(s);
        return MP_OK;
    }

protected:
    bool answers(const MpGuid& iid) const override { return iid == kIID_IMpDrawingFactory; }
};

}  // namespace

double linearToSrgb(float v) {
    if (!(v > 0.0f)) return 0.0;
    if (v >= 1.0f) return 1.0;
    return v <= 0.00313066844250063 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

IMpDeviceContext* createCairoContext(cairo_surface_t* surface) {
    return new Context(surface, false);
}

IMpDrawingFactory* createCairoFactory() {
    return new Factory();
}

cairo_surface_t* cairoSurfaceOf(IMpBitmap* bitmap) {
    auto* b = dynamic_cast<Bitmap*>(bitmap);
    return b != nullptr ? b->surface() : nullptr;
}

}  // namespace zhost
