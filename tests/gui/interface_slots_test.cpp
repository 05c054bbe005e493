// Positions of the operations in the GUI, graphics and drawing interfaces.
// A host built apart from this library lays its tables out by these
// positions, so the operations the modules call must sit first, from
// position 3 on, in their documented order.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gui/mp_drawing_api.h"
#include "gui/mp_gui_api.h"

namespace {

// The table position of a virtual operation (a pointer to a virtual member
// holds 1 + its byte offset in the table).
template <class F>
std::ptrdiff_t slot(F f) {
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adjust;
    } raw;
    static_assert(sizeof raw == sizeof f, "two-word member pointers");
    std::memcpy(&raw, &f, sizeof raw);
    EXPECT_EQ(raw.ptr & 1u, 1u) << "not a virtual operation";
    return static_cast<std::ptrdiff_t>((raw.ptr - 1) / sizeof(void*));
}

TEST(InterfaceSlots, GuiInstanceAndGraphicsFaces) {
    using mp::IMpUserInterface2;
    EXPECT_EQ(slot(&IMpUserInterface2::setHost), 3);
    EXPECT_EQ(slot(&IMpUserInterface2::initialize), 4);
    EXPECT_EQ(slot(&IMpUserInterface2::setPin), 5);
    EXPECT_EQ(slot(&IMpUserInterface2::receiveMessageFromAudio), 6);
    EXPECT_EQ(slot(&IMpUserInterface2::notifyPin), 10);
    using mp_gui_api::IMpGraphics2;
    EXPECT_EQ(slot(&IMpGraphics2::measure), 3);
    EXPECT_EQ(slot(&IMpGraphics2::arrange), 4);
    EXPECT_EQ(slot(&IMpGraphics2::render), 5);
    EXPECT_EQ(slot(&IMpGraphics2::onPointerDown), 6);
    EXPECT_EQ(slot(&IMpGraphics2::onPointerMove), 7);
    EXPECT_EQ(slot(&IMpGraphics2::onPointerUp), 8);
    EXPECT_EQ(slot(&IMpGraphics2::hitTest), 9);
    EXPECT_EQ(slot(&IMpGraphics2::onFocusChange), 10);
    using mp_gui_api::IMpGraphicsHost;
    EXPECT_EQ(slot(&IMpGraphicsHost::getDrawingFactory), 4);
    EXPECT_EQ(slot(&IMpGraphicsHost::invalidateRect), 5);
    EXPECT_EQ(slot(&mp::IMpUserInterfaceHost2::pinTransmit), 3);
}

TEST(InterfaceSlots, DrawingOperationsTheModulesCall) {
    using namespace mp_draw;
    EXPECT_EQ(slot(&IMpDeviceContext::createSolidColourBrush), 3);
    EXPECT_EQ(slot(&IMpDeviceContext::createGradientStopCollection), 4);
    EXPECT_EQ(slot(&IMpDeviceContext::createLinearGradientBrush), 5);
    EXPECT_EQ(slot(&IMpDeviceContext::drawLine), 6);
    EXPECT_EQ(slot(&IMpDeviceContext::fillRectangle), 7);
    EXPECT_EQ(slot(&IMpDeviceContext::drawBitmap), 8);
    EXPECT_EQ(slot(&IMpDeviceContext::clear), 9);
    EXPECT_EQ(slot(&IMpDeviceContext::beginDraw), 10);
    EXPECT_EQ(slot(&IMpDeviceContext::endDraw), 11);
    EXPECT_EQ(slot(&IMpDeviceContext::createCompatibleRenderTarget), 12);
    // A render target is a drawing context with getBitmap right after.
    EXPECT_EQ(slot(&IMpBitmapRenderTarget::getBitmap), 13);
    EXPECT_EQ(slot(&IMpDrawingFactory::createImage), 3);
    EXPECT_EQ(slot(&IMpBitmap::lockPixels), 3);
    EXPECT_EQ(slot(&IMpBitmapPixels::getAddress), 3);
    EXPECT_EQ(slot(&IMpBitmapPixels::getPixelFormat), 4);
}

}  // namespace
