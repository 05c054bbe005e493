#include "gui/mp_gui_gfx.h"

using namespace mp;

namespace mp_gui {

MpGuiGfxBase::~MpGuiGfxBase() {
    if (graphicsHost_ != nullptr) graphicsHost_->Release();
}

int32_t MpGuiGfxBase::QueryInterface(const MpGuid& iid, void** out) {
    if (out == nullptr) return MP_FAIL;
    if (iid == mp_gui_api::kIID_IMpGraphics || iid == mp_gui_api::kIID_IMpGraphics2) {
        *out = static_cast<mp_gui_api::IMpGraphics2*>(this);
        AddRef();
        return MP_OK;
    }
    return MpGuiBase2::QueryInterface(iid, out);
}

int32_t MpGuiGfxBase::setHost(IMpUnknown* host) {
    if (graphicsHost_ != nullptr) {
        graphicsHost_->Release();
        graphicsHost_ = nullptr;
    }
    if (host != nullptr) {
        void* out = nullptr;
        if (host->QueryInterface(mp_gui_api::kIID_IMpGraphicsHost, &out) == MP_OK)
            graphicsHost_ = static_cast<mp_gui_api::IMpGraphicsHost*>(out);
    }
    return MpGuiBase2::setHost(host);
}

int32_t MpGuiGfxBase::measure(mp_draw::Size available, mp_draw::Size* desired) {
    if (desired == nullptr) return MP_FAIL;
    desired->width = available.width > 1.0f ? available.width : 1.0f;
    desired->height = available.height > 1.0f ? available.height : 1.0f;
    return MP_OK;
}

int32_t MpGuiGfxBase::arrange(mp_draw::Rect r) {
    // != is true for a NaN, so a NaN side always counts as a change.
    if (r.left != rect_.left || r.top != rect_.top || r.right != rect_.right ||
        r.bottom != rect_.bottom) {
        rect_ = r;
        invalidateRect();
    }
    return MP_OK;
}

int32_t MpGuiGfxBase::onPointerDown(int32_t flags, mp_draw::Point point) {
    return onPointer(flags, point);
}
int32_t MpGuiGfxBase::onPointerMove(int32_t flags, mp_draw::Point point) {
    return onPointer(flags, point);
}
int32_t MpGuiGfxBase::onPointerUp(int32_t flags, mp_draw::Point point) {
    return onPointer(flags, point);
}
int32_t MpGuiGfxBase::onPointer(int32_t, mp_draw::Point) {
    return MP_OK;
}

void MpGuiGfxBase::invalidateRect() {
    if (graphicsHost_ != nullptr) graphicsHost_->invalidateRect(nullptr);
}

bool MpGuiGfxBase::getDrawingFactory(MpRef<mp_draw::IMpDrawingFactory>& out) {
    out.release();
    if (graphicsHost_ == nullptr) return false;
    // The object handed out is the factory itself; it is not queried.
    IMpUnknown* factory = nullptr;
    if (graphicsHost_->getDrawingFactory(&factory) != MP_OK || factory == nullptr) return false;
    out.attach(static_cast<mp_draw::IMpDrawingFactory*>(factory));
    return true;
}

}  // namespace mp_gui
