#include "host/gui_host.h"

#include <cmath>
#include <cstring>

#include "host/cairo_drawing.h"

using namespace mp;

namespace zhost {

// ------------------------------------------------------------------ catalog

GuiCatalog& GuiCatalog::global() {
    static GuiCatalog c;
    return c;
}

void GuiCatalog::add(GuiModuleDesc desc) {
    if (find(desc.id) == nullptr) modules_.push_back(std::move(desc));
}

const GuiModuleDesc* GuiCatalog::find(const std::string& id) const {
    for (const GuiModuleDesc& d : modules_)
        if (d.id == id) return &d;
    return nullptr;
}

GuiRegistrar::GuiRegistrar(std::initializer_list<GuiModuleDesc> descs) {
    for (const GuiModuleDesc& d : descs) GuiCatalog::global().add(d);
}

std::vector<unsigned char> encodeGuiValue(int32_t datatype, const std::string& text, double v) {
    std::vector<unsigned char> b;
    switch (datatype) {
        case PIN_TYPE_STRING: {
            const std::u16string u = toU16(text);
            b.resize(u.size() * 2);
            if (!u.empty()) std::memcpy(b.data(), u.data(), b.size());
            break;
        }
        case PIN_TYPE_BOOL:
            b.push_back(v != 0.0 ? 1 : 0);
            break;
        case PIN_TYPE_INT:
        case PIN_TYPE_ENUM: {
            const int32_t i = static_cast<int32_t>(v);
            b.resize(4);
            std::memcpy(b.data(), &i, 4);
            break;
        }
        case PIN_TYPE_FLOAT: {
            const float f = static_cast<float>(v);
            b.resize(4);
            std::memcpy(b.data(), &f, 4);
            break;
        }
        default:
            break;
    }
    return b;
}

// --------------------------------------------------------------- host object

class GuiView::Host final : public IMpUserInterfaceHost2, public mp_gui_api::IMpGraphicsHost {
public:
    explicit Host(Offer offer) : offer_(offer) {}
    virtual ~Host() = default;

    int32_t QueryInterface(const MpGuid& iid, void** out) override {
        if (out == nullptr) return MP_FAIL;
        *out = nullptr;
        if (iid == kIID_IMpUnknown || (offer_.guiHost && iid == kIID_IMpUserInterfaceHost2)) {
            *out = static_cast<IMpUserInterfaceHost2*>(this);
        } else if (offer_.graphicsHost && iid == mp_gui_api::kIID_IMpGraphicsHost) {
            *out = static_cast<mp_gui_api::IMpGraphicsHost*>(this);
        } else {
            return MP_NOSUPPORT;
        }
        ++refs_;
        return MP_OK;
    }
    // Owned by the view, which outlives the instance's references.
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override { return --refs_; }

    int32_t pinTransmit(int32_t pin, int32_t size, const void* data, int32_t) override {
        Transmitted t;
        t.pin = pin;
        if (size > 0 && data != nullptr) {
            const auto* p = static_cast<const unsigned char*>(data);
            t.bytes.assign(p, p + size);
        }
        transmitted.push_back(std::move(t));
        return MP_OK;
    }
    int32_t sendMessageToAudio(int32_t, int32_t, const void*) override { return MP_FAIL; }
    int32_t getHandle(int32_t* handle) override {
        if (handle == nullptr) return MP_FAIL;
        *handle = 0;
        return MP_OK;
    }

    int32_t getDisplayScale(float* scale) override {
        if (scale == nullptr) return MP_FAIL;
        *scale = 1.0f;
        return MP_OK;
    }
    int32_t getDrawingFactory(IMpUnknown** factory) override {
        if (factory == nullptr) return MP_FAIL;
        *factory = createCairoFactory();
        return MP_OK;
    }
    void invalidateRect(const mp_draw::Rect*) override { ++redraws; }
    void invalidateMeasure() override { ++measures; }

    IMpUnknown* unknown() { return static_cast<IMpUserInterfaceHost2*>(this); }

    Offer offer_;
    int32_t refs_ = 1;
    int32_t redraws = 0;
    int32_t measures = 0;
    std::vector<Transmitted> transmitted;
};

// --------------------------------------------------------------------- view

std::unique_ptr<GuiView> GuiView::createBare(const Library& lib, const std::string& id, Offer offer,
                                             std::string* error) {
    std::unique_ptr<GuiView> v(new GuiView());
    v->host_ = std::make_unique<Host>(offer);
    v->desc_ = GuiCatalog::global().find(id);
    void* out = nullptr;
    const std::u16string uid = toU16(id);
    const int32_t r = lib.factory()->instantiate(uid.c_str(), MP_SUBTYPE_GUI, nullptr, &out);
    if (r != MP_OK || out == nullptr) {
        if (error) *error = id + ": no GUI half in the library (" + std::to_string(r) + ")";
        return nullptr;
    }
    auto* unknown = static_cast<IMpUnknown*>(out);
    void* face = nullptr;
    if (unknown->QueryInterface(kIID_IMpUserInterface2, &face) != MP_OK || face == nullptr) {
        unknown->Release();
        if (error) *error = id + ": GUI half without the GUI interface";
        return nullptr;
    }
    v->gui_ = static_cast<IMpUserInterface2*>(face);
    unknown->Release();  // the creation reference; gui_ holds its own
    face = nullptr;
    if (v->gui_->QueryInterface(mp_gui_api::kIID_IMpGraphics2, &face) == MP_OK)
        v->graphics_ = static_cast<mp_gui_api::IMpGraphics2*>(face);
    return v;
}

std::unique_ptr<GuiView> GuiView::create(const Library& lib, const std::string& id, float width,
                                         float height, std::string* error) {
    std::unique_ptr<GuiView> v = createBare(lib, id, Offer{}, error);
    if (!v) return nullptr;
    if (v->setHost() != MP_OK) {
        if (error) *error = id + ": the GUI half refused the host";
        return nullptr;
    }
    v->gui_->initialize();
    if (v->desc_ != nullptr) {
        for (size_t i = 0; i < v->desc_->pins.size(); ++i) {
            const GuiPinDesc& p = v->desc_->pins[i];
            v->setPin(static_cast<int32_t>(i),
                      encodeGuiValue(p.datatype, p.defaultText, p.defaultValue));
        }
    }
    v->layout(0.0f, 0.0f, width, height);
    return v;
}

GuiView::~GuiView() {
    if (graphics_ != nullptr) graphics_->Release();
    if (gui_ != nullptr) gui_->Release();
    if (picture_ != nullptr) cairo_surface_destroy(picture_);
}

IMpUnknown* GuiView::hostObject() {
    return host_->unknown();
}

int32_t GuiView::setHost() {
    return gui_->setHost(host_->unknown());
}

int32_t GuiView::setPin(int32_t pin, const void* data, int32_t size) {
    const int32_t r = gui_->setPin(pin, 0, size, data);
    if (r != MP_OK) return r;
    return gui_->notifyPin(pin, 0);
}

int32_t GuiView::setPinText(int32_t pin, const std::u16string& text) {
    return setPin(pin, text.data(), static_cast<int32_t>(text.size() * 2));
}

bool GuiView::deliverOutput(int32_t dspPin, const void* data, int32_t size) {
    if (desc_ == nullptr) return false;
    bool taken = false;
    for (const auto& route : desc_->routes) {
        if (route.first != dspPin) continue;
        setPin(route.second, data, size);
        taken = true;
    }
    return taken;
}

int32_t GuiView::deliverMessage(int32_t id, int32_t size, const void* data) {
    return gui_->receiveMessageFromAudio(id, size, data);
}

int32_t GuiView::layout(float left, float top, float width, float height) {
    width_ = width;
    height_ = height;
    if (graphics_ == nullptr) return MP_FAIL;
    mp_draw::Size desired;
    graphics_->measure(mp_draw::Size{width, height}, &desired);
    return graphics_->arrange(mp_draw::Rect{left, top, left + width, top + height});
}

bool GuiView::render() {
    if (graphics_ == nullptr) return false;
    if (!(width_ >= 1.0f && height_ >= 1.0f && width_ <= 16384.0f && height_ <= 16384.0f))
        return false;
    const int w = static_cast<int>(std::ceil(width_));
    const int h = static_cast<int>(std::ceil(height_));
    if (picture_ == nullptr || cairo_image_surface_get_width(picture_) != w ||
        cairo_image_surface_get_height(picture_) != h) {
        if (picture_ != nullptr) cairo_surface_destroy(picture_);
        picture_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    }
    mp_draw::IMpDeviceContext* context = createCairoContext(picture_);
    context->clear(mp_draw::Colour{0.0f, 0.0f, 0.0f, 0.0f});
    graphics_->render(context);
    context->endDraw();
    context->Release();
    return true;
}

bool GuiView::writePng(const std::string& path, std::string* error) const {
    if (picture_ == nullptr) {
        if (error) *error = path + ": nothing rendered";
        return false;
    }
    const cairo_status_t s = cairo_surface_write_to_png(picture_, path.c_str());
    if (s != CAIRO_STATUS_SUCCESS) {
        if (error) *error = path + ": " + cairo_status_to_string(s);
        return false;
    }
    return true;
}

int32_t GuiView::redrawRequests() const {
    return host_->redraws;
}
int32_t GuiView::measureRequests() const {
    return host_->measures;
}
const std::vector<GuiView::Transmitted>& GuiView::transmitted() const {
    return host_->transmitted;
}

}  // namespace zhost
