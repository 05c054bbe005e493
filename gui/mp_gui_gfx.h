// The graphics GUI base: a GUI module that occupies a rectangle of the
// host's editor and draws into it through the host's drawing context.
//
// One reference count serves both faces (the primary GUI face and the
// graphics face). A module overrides render (and, if it wants, measure,
// arrange and the pointer hook) and asks for repaints with invalidateRect.
#pragma once

#include "gui/mp_gui_base.h"
#include "gui/mp_ref.h"

namespace mp_gui {

class MpGuiGfxBase : public MpGuiBase2, public mp_gui_api::IMpGraphics2 {
public:
    MpGuiGfxBase() = default;

    // IMpUnknown, shared by both faces.
    int32_t QueryInterface(const mp::MpGuid& iid, void** out) override;
    int32_t AddRef() override { return ++refCount_; }
    int32_t Release() override { return MpGuiBase2::Release(); }

    // Queries the graphics host first (it may be missing), then the GUI host.
    int32_t setHost(mp::IMpUnknown* host) override;

    // Graphics face; the module may override any of these.
    int32_t measure(mp_draw::Size available, mp_draw::Size* desired) override;
    int32_t arrange(mp_draw::Rect finalRect) override;
    int32_t render(mp::IMpUnknown* drawingContext) override {
        (void)drawingContext;
        return 0;
    }
    int32_t onPointerDown(int32_t flags, mp_draw::Point point) override;
    int32_t onPointerMove(int32_t flags, mp_draw::Point point) override;
    int32_t onPointerUp(int32_t flags, mp_draw::Point point) override;
    int32_t hitTest() override { return mp::MP_OK; }
    int32_t onFocusChange() override { return mp::MP_FAIL; }

    ~MpGuiGfxBase() override;

    // The module's place, as last arranged.
    const mp_draw::Rect& getRect() const { return rect_; }
    mp_gui_api::IMpGraphicsHost* graphicsHost() const { return graphicsHost_; }
    // Asks the host to render the whole module again.
    void invalidateRect();
    // The host's drawing factory, or false when there is none.
    bool getDrawingFactory(MpRef<mp_draw::IMpDrawingFactory>& out);

protected:
    // Pointer input, called with the point by all three pointer operations;
    // 0 = not handled. No display module handles it.
    virtual int32_t onPointer(int32_t flags, mp_draw::Point point);

private:
    mp_gui_api::IMpGraphicsHost* graphicsHost_ = nullptr;
    mp_draw::Rect rect_;
};

}  // namespace mp_gui
