// Oscilloscope2 and Plotter pictures through the reference host's GUI view
// and its Cairo drawing, with the catalog's pin defaults and routes.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/gui_host.h"
#include "support/test_support.h"

namespace {

std::unique_ptr<zhost::GuiView> view(const std::string& id, float w, float h) {
    std::string error;
    auto v = zhost::GuiView::create(ztest::library(), id, w, h, &error);
    if (!v) ADD_FAILURE() << error;
    return v;
}

uint32_t alphaAt(const zhost::GuiView& v, int x, int y) {
    cairo_surface_t* s = v.picture();
    cairo_surface_flush(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    uint32_t px;
    std::memcpy(&px, data + y * cairo_image_surface_get_stride(s) + x * 4, 4);
    return px >> 24;
}

TEST(Display2Picture, Oscilloscope2DrawsTheFrameRoutedFromItsOutput) {
    auto v = view("Oscilloscope2", 200.0f, 100.0f);
    ASSERT_TRUE(v);
    for (int pin = 1; pin <= 5; ++pin) v->setPinText(pin, u"0");  // only the trace
    v->setPinText(3, u"FFFFFFFF");
    const int32_t width = 3;
    v->setPin(6, &width, 4);
    // A horizontal sweep at y = 0.5: with 10 divisions, row 25 of 100.
    std::vector<float> frame;
    for (int k = 0; k < 50; ++k) {
        frame.push_back(-0.8f + 0.032f * static_cast<float>(k));
        frame.push_back(0.5f);
    }
    ASSERT_TRUE(v->deliverOutput(4, frame.data(), static_cast<int32_t>(frame.size() * 4)));
    ASSERT_TRUE(v->render());
    EXPECT_GT(alphaAt(*v, 150, 25), 128u);  // near the newest end: bright
    EXPECT_EQ(alphaAt(*v, 150, 60), 0u);
    EXPECT_EQ(alphaAt(*v, 5, 25), 0u);  // left of x = -0.8
}

TEST(Display2Picture, PlotterDrawsOneColumnPerPair) {
    auto v = view("Plotter", 50.0f, 20.0f);
    ASSERT_TRUE(v);
    v->setPinText(1, u"0");
    v->setPinText(2, u"0");
    v->setPinText(4, u"0");
    v->setPinText(3, u"FF000000");
    ASSERT_TRUE(v->render());
    EXPECT_EQ(alphaAt(*v, 49, 10), 0u);
    const float full[2] = {-1.0f, 1.0f};
    const float upper[2] = {0.5f, 1.0f};
    v->deliverMessage(0, 8, full);
    v->deliverMessage(0, 8, upper);
    ASSERT_TRUE(v->render());
    for (int y = 0; y < 20; ++y) EXPECT_EQ(alphaAt(*v, 48, y), 255u) << y;
    EXPECT_EQ(alphaAt(*v, 49, 2), 255u);
    EXPECT_EQ(alphaAt(*v, 49, 15), 0u);
    EXPECT_EQ(alphaAt(*v, 30, 10), 0u);
}

}  // namespace
