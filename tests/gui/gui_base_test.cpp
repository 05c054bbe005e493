// GUI module base and graphics base, through the GUI half of "Oscilloscope"
// created by the library's factory with subtype 2, on the reference host.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "host/gui_host.h"
#include "support/test_support.h"

namespace {

using zhost::GuiView;

std::unique_ptr<GuiView> bare(GuiView::Offer offer) {
    std::string err;
    auto v = GuiView::createBare(ztest::library(), "Oscilloscope", offer, &err);
    if (!v) ADD_FAILURE() << err;
    return v;
}

TEST(GuiBase, FacesShareOneReferenceCount) {
    auto v = bare({});
    ASSERT_TRUE(v);
    ASSERT_NE(v->graphics(), nullptr);
    void* a = nullptr;
    void* b = nullptr;
    EXPECT_EQ(v->gui()->QueryInterface(mp::kIID_IMpUserInterface2B, &a), 0);
    EXPECT_EQ(v->graphics()->QueryInterface(mp::kIID_IMpUnknown, &b), 0);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, static_cast<void*>(v->gui()));
    void* g = nullptr;
    EXPECT_EQ(v->gui()->QueryInterface(mp_gui_api::kIID_IMpGraphics, &g), 0);
    EXPECT_EQ(g, static_cast<void*>(v->graphics()));
    // gui + graphics held by the view, plus the three above: 5; one more makes 6.
    EXPECT_EQ(v->graphics()->AddRef(), 6);
    for (int i = 0; i < 4; ++i) v->gui()->Release();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(v->gui()->QueryInterface(mp::kIID_IMpPlugin, &none), mp::MP_NOSUPPORT);
    EXPECT_EQ(none, nullptr);
}

TEST(GuiBase, SetHostNeedsTheGuiHostButNotTheGraphicsHost) {
    auto noGui = bare({false, true});
    EXPECT_EQ(noGui->setHost(), mp::MP_NOSUPPORT);
    auto noGfx = bare({true, false});
    EXPECT_EQ(noGfx->setHost(), mp::MP_OK);
    // Without a graphics host the redraw requests go nowhere, and nothing breaks.
    EXPECT_EQ(noGfx->layout(0, 0, 50, 50), 0);
    EXPECT_EQ(noGfx->redrawRequests(), 0);
    EXPECT_TRUE(noGfx->render());
}

TEST(GuiBase, UnknownPinsAreRefusedAndReactionsRunOnEachNotify) {
    auto v = bare({});
    ASSERT_EQ(v->setHost(), 0);
    const float f = 3.0f;
    EXPECT_EQ(v->gui()->setPin(9, 0, 4, &f), mp::MP_FAIL);
    EXPECT_EQ(v->gui()->notifyPin(9, 0), mp::MP_FAIL);
    EXPECT_EQ(v->gui()->setPin(-1, 0, 4, &f), mp::MP_FAIL);
    // Pin 6 (X divisions) asks for a redraw on every notify, same value or not.
    EXPECT_EQ(v->setPinFloat(6, 3.0f), 0);
    EXPECT_EQ(v->setPinFloat(6, 3.0f), 0);
    EXPECT_EQ(v->redrawRequests(), 2);
    // Pin 8 (decay) has no reaction; a null value is taken as empty.
    EXPECT_EQ(v->gui()->setPin(8, 0, 4, nullptr), 0);
    EXPECT_EQ(v->gui()->notifyPin(8, 0), 0);
    EXPECT_EQ(v->redrawRequests(), 2);
    EXPECT_EQ(v->gui()->receiveMessageFromAudio(0, 0, nullptr), mp::MP_FAIL);
}

TEST(GuiBase, MeasureAndArrange) {
    auto v = bare({});
    ASSERT_EQ(v->setHost(), 0);
    mp_draw::Size d;
    EXPECT_EQ(v->graphics()->measure(mp_draw::Size{0.5f, 300.0f}, &d), 0);
    EXPECT_EQ(d.width, 1.0f);
    EXPECT_EQ(d.height, 300.0f);
    EXPECT_EQ(v->graphics()->arrange(mp_draw::Rect{0, 0, 10, 10}), 0);
    EXPECT_EQ(v->graphics()->arrange(mp_draw::Rect{0, 0, 10, 10}), 0);
    EXPECT_EQ(v->redrawRequests(), 1);
    v->graphics()->arrange(mp_draw::Rect{0, 0, NAN, 10});
    v->graphics()->arrange(mp_draw::Rect{0, 0, NAN, 10});
    EXPECT_EQ(v->redrawRequests(), 3);
    EXPECT_EQ(v->graphics()->onPointerDown(0, mp_draw::Point{1, 1}), 0);
    EXPECT_EQ(v->graphics()->hitTest(), 0);
    EXPECT_EQ(v->graphics()->onFocusChange(), -1);
}

uint32_t pngPixel(cairo_surface_t* s, int x, int y) {
    const auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x];
}

TEST(GuiPicture, AKnownFrameLightsItsPixelsInThePng) {
    std::string err;
    auto v = GuiView::create(ztest::library(), "Oscilloscope", 41.0f, 21.0f, &err);
    ASSERT_TRUE(v) << err;
    for (int pin : {1, 2, 4, 5}) v->setPinText(pin, u"0");
    v->setPinText(3, u"FF00FF00");
    v->setPinFloat(6, 10.0f);
    v->setPinFloat(7, 10.0f);
    v->setPinFloat(8, 100.0f);
    const float frame[] = {-1.0f, 1.0f, 0.0f, 0.0f};  // oldest: top left; newest: centre
    v->setPin(0, frame, sizeof frame);
    ASSERT_TRUE(v->render());
    const std::string path = ::testing::TempDir() + "gui_picture.png";
    ASSERT_TRUE(v->writePng(path, &err)) << err;
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(png), 41);
    // Centre: column trunc(0.5 * 40) = 20, row trunc(20 * 0.5) = 10; full alpha.
    EXPECT_EQ(pngPixel(png, 20, 10), 0xFF00FE00u);
    const uint32_t a = static_cast<uint32_t>((1.0f - 1.0f / 1001.0f) * 255.0f);
    EXPECT_EQ(pngPixel(png, 0, 0) >> 24, a);
    int lit = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 41; ++x) lit += pngPixel(png, x, y) != 0u;
    EXPECT_EQ(lit, 2);
    cairo_surface_destroy(png);
    std::remove(path.c_str());
}

TEST(GuiPicture, LayersDrawFromTheOriginWhereverTheModuleSits) {
    std::string err;
    auto v = GuiView::create(ztest::library(), "Oscilloscope", 40.0f, 20.0f, &err);
    ASSERT_TRUE(v) << err;
    v->layout(100.0f, 50.0f, 40.0f, 20.0f);
    ASSERT_TRUE(v->render());
    // The default background covers the picture from its top left, not a part
    // of the layer offset by the module's place.
    EXPECT_EQ(pngPixel(v->picture(), 0, 0) >> 24, 255u);
    EXPECT_EQ(pngPixel(v->picture(), 37, 2) >> 24, 255u);
}

}  // namespace
