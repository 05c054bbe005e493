// PlotterGUI on a recording host: the column arithmetic (bar rows, edge
// coverage, clipping), scrolling, hold, the background layer and caching.
#include <cmath>
#include <cstring>
#include <vector>

#include "display/recording_host.h"

using namespace ztest_draw;

namespace {

constexpr int kHold = 0, kColour1 = 1, kColour2 = 2, kColour3 = 3, kColour4 = 4;

int32_t post(Gui& g, float minimum, float maximum) {
    const float body[2] = {minimum, maximum};
    return g.gui->receiveMessageFromAudio(0, 8, body);
}

// The chart image: the last layer drawn.
const Bitmap& chart(const Context& c) {
    const auto l = layers(c);
    EXPECT_FALSE(l.empty());
    return *l.back();
}

// Default bars: black at alpha 128/255, packed alpha, red, green, blue.
uint32_t barPixel(float coverage = 1.0f) {
    const float alpha = 128.0f * 0.003921568859368563f;
    const uint32_t a = static_cast<uint32_t>(coverage * alpha * 255.0f);
    return a << 24;
}

std::vector<uint32_t> column(const Bitmap& b, int32_t col) {
    std::vector<uint32_t> r;
    for (int32_t row = 0; row < b.h; ++row) r.push_back(b.at(row, col));
    return r;
}

TEST(PlotterGUI, FullScaleFillsTheColumnFromTopToBottom) {
    Gui g(u"Plotter", 10.0f, 10.0f);
    EXPECT_EQ(post(g, -1.0f, 1.0f), -1);
    auto c = g.render();
    const Bitmap& img = chart(*c);
    ASSERT_EQ(img.w, 10);
    ASSERT_EQ(img.h, 10);
    EXPECT_EQ(img.lockModes, std::vector<int32_t>{LOCK_READ_WRITE});
    EXPECT_EQ(column(img, 9), std::vector<uint32_t>(10, barPixel()));
    EXPECT_EQ(column(img, 8), std::vector<uint32_t>(10, 0u));
}

TEST(PlotterGUI, BarRowsAndEdgeCoverage) {
    struct Case {
        float minimum, maximum;
        std::vector<uint32_t> expected;
    };
    const uint32_t F = barPixel(), O = 0;
    const std::vector<Case> cases = {
        // y_low = 3.5 (b 3, fb 0.5), y_high = 2.5 (t 2, ct 0.5)
        {0.3f, 0.5f, {O, barPixel(0.5f), F, F, barPixel(0.5f), O, O, O, O, O}},
        // constant 0: one row plus the edge pixels (coverage 1 above, 0 below)
        {0.0f, 0.0f, {O, O, O, O, barPixel(1.0f), F, barPixel(0.0f), O, O, O}},
        // maximum above +1: t = 0 with no top edge; minimum below -1: bottom row
        {-3.0f, 2.0f, std::vector<uint32_t>(10, F)},
        // both below -1: t = b = 9, the pixel above with coverage (1 - 9) + 9
        {-3.0f, -2.0f, {O, O, O, O, O, O, O, O, barPixel(1.0f), F}},
        // both above +1: the top row only, no edge above, fb 0 below
        {2.0f, 3.0f, {F, barPixel(0.0f), O, O, O, O, O, O, O, O}},
        // y_low = 8.75 -> b 8, fb 0.75; y_high = 6.25 -> t 6, ct 0.75
        {-0.75f, -0.25f, {O, O, O, O, O, barPixel(0.75f), F, F, F, barPixel(0.75f)}},
    };
    for (const Case& k : cases) {
        Gui g(u"Plotter", 4.0f, 10.0f);
        post(g, k.minimum, k.maximum);
        auto c = g.render();
        EXPECT_EQ(column(chart(*c), 3), k.expected) << k.minimum << " " << k.maximum;
    }
}

TEST(PlotterGUI, ColumnsScrollLeftOnePixelPerPair) {
    Gui g(u"Plotter", 5.0f, 4.0f);
    post(g, -1.0f, 1.0f);
    g.render();
    post(g, 0.5f, 1.0f);  // rows 0 and the edge at 1 (y_low 1: b 1, fb 0)
    g.render();
    post(g, -1.0f, -0.5f);  // y_high 3: t 3, ct 1 -> row 2 full coverage
    auto c = g.render();
    const Bitmap& img = chart(*c);
    EXPECT_EQ(column(img, 2), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(img, 3), (std::vector<uint32_t>{barPixel(), barPixel(), barPixel(0.0f), 0}));
    EXPECT_EQ(column(img, 4), (std::vector<uint32_t>{0, 0, barPixel(1.0f), barPixel()}));
    EXPECT_EQ(column(img, 1), std::vector<uint32_t>(4, 0u));
    // The same image is kept between renders.
    EXPECT_EQ(g.host.factory.images.size(), 1u);
}

TEST(PlotterGUI, EveryPairBecomesAColumnEvenBetweenRenders) {
    Gui g(u"Plotter", 6.0f, 4.0f);
    post(g, -1.0f, 1.0f);
    post(g, 0.0f, 0.0f);
    post(g, -1.0f, 1.0f);
    auto c = g.render();
    const Bitmap& img = chart(*c);
    EXPECT_EQ(column(img, 5), std::vector<uint32_t>(4, barPixel()));
    EXPECT_NE(column(img, 4), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(img, 3), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(img, 2), std::vector<uint32_t>(4, 0u));
    // Nothing new: the next render adds no column.
    auto c2 = g.render();
    EXPECT_EQ(column(chart(*c2), 5), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(chart(*c2), 2), std::vector<uint32_t>(4, 0u));
}

TEST(PlotterGUI, HoldDropsPairsAndTheChartResumesWithTheNextOne) {
    Gui g(u"Plotter", 4.0f, 4.0f);
    g.setBool(kHold, true);
    const int redraws = g.host.redraws;
    post(g, -1.0f, 1.0f);
    EXPECT_EQ(g.host.redraws, redraws + 1);
    {
        auto c = g.render();
        EXPECT_EQ(column(chart(*c), 3), std::vector<uint32_t>(4, 0u));
    }
    g.setBool(kHold, false);
    {
        auto c = g.render();  // the held pair was dropped, not queued
        EXPECT_EQ(column(chart(*c), 3), std::vector<uint32_t>(4, 0u));
    }
    post(g, -1.0f, 1.0f);
    auto c = g.render();
    EXPECT_EQ(column(chart(*c), 3), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(chart(*c), 2), std::vector<uint32_t>(4, 0u));
}

TEST(PlotterGUI, BadMessagesAndNaNPairs) {
    Gui g(u"Plotter", 4.0f, 4.0f);
    const float shortBody = 0.5f;
    EXPECT_EQ(g.gui->receiveMessageFromAudio(0, 4, &shortBody), -1);  // not a pair
    EXPECT_EQ(g.gui->receiveMessageFromAudio(0, 8, nullptr), -1);
    {
        auto c = g.render();
        EXPECT_TRUE(chart(*c).lockModes.empty());  // nothing to add
    }
    post(g, -1.0f, 1.0f);
    post(g, 0.5f, std::nanf(""));  // a NaN maximum has no place: an empty column
    post(g, std::nanf(""), 0.0f);  // a NaN minimum: the bar runs down to the bottom row
    post(g, -INFINITY, INFINITY);  // infinities clip to the edges
    auto c = g.render();
    const Bitmap& img = chart(*c);
    EXPECT_EQ(column(img, 0), std::vector<uint32_t>(4, barPixel()));
    EXPECT_EQ(column(img, 1), std::vector<uint32_t>(4, 0u));
    // y_high = 2: t = 2 with coverage 1 above it; b = trunc(4 - 1) = 3.
    EXPECT_EQ(column(img, 2), (std::vector<uint32_t>{0u, barPixel(1.0f), barPixel(), barPixel()}));
    EXPECT_EQ(column(img, 3), std::vector<uint32_t>(4, barPixel()));
}

TEST(PlotterGUI, BackgroundGradientAndTwentyOneGridLines) {
    Gui g(u"Plotter", 120.0f, 90.0f);
    auto c = g.render();
    const auto l = layers(*c);
    ASSERT_EQ(l.size(), 2u);  // background, chart
    const Bitmap& bg = *l[0];
    ASSERT_GE(bg.ops.size(), 3u);
    EXPECT_EQ(bg.ops[1].kind, Op::Clear);
    EXPECT_EQ(bg.ops[2].kind, Op::FillGradient);
    EXPECT_EQ(bg.ops[2].rect.right, 119.0f);
    EXPECT_EQ(bg.ops[2].rect.bottom, 89.0f);
    ASSERT_EQ(bg.ops[2].stops.size(), 2u);
    EXPECT_EQ(bg.ops[2].stops[0].colour.a, 1.0f);
    const auto grid = lines(bg);
    ASSERT_EQ(grid.size(), 21u);
    for (int k = 0; k <= 20; ++k) {
        const float y = static_cast<float>(k) * 0.05f * 90.0f - 1.0f;
        EXPECT_EQ(grid[k].p1.y, y) << k;
        EXPECT_EQ(grid[k].p2.y, y) << k;
        EXPECT_EQ(grid[k].p2.x, 119.0f);
        EXPECT_EQ(grid[k].width, 1.0f);
        EXPECT_EQ(grid[k].colour.a, 64.0f * 0.003921568859368563f);
    }
    EXPECT_EQ(grid[0].p1.y, -1.0f);
}

TEST(PlotterGUI, ColourChangeRebuildsTheBackgroundOnlyAndOldBarsKeepTheirColour) {
    Gui g(u"Plotter", 4.0f, 4.0f);
    post(g, -1.0f, 1.0f);
    EXPECT_EQ(g.render()->targetsCreated, 1);
    EXPECT_EQ(g.render()->targetsCreated, 0);
    g.setText(kColour3, u"FF804020");
    post(g, -1.0f, 1.0f);
    auto c = g.render();
    EXPECT_EQ(c->targetsCreated, 1);
    EXPECT_EQ(g.host.factory.images.size(), 1u);
    const Bitmap& img = chart(*c);
    EXPECT_EQ(column(img, 2), std::vector<uint32_t>(4, barPixel()));  // old colour
    const uint32_t a = 255;
    const uint32_t red = (0x80u * a) >> 8, green = (0x40u * a) >> 8, blue = (0x20u * a) >> 8;
    EXPECT_EQ(img.at(0, 3), a << 24 | red << 16 | green << 8 | blue);
    // Background and grid invisible: no background layer at all.
    g.setText(kColour1, u"00FFFFFF");
    g.setText(kColour2, u"0");
    g.setText(kColour4, u"");  // the default grid stays
    EXPECT_EQ(layers(*g.render()).size(), 2u);
    g.setText(kColour4, u"000000");
    EXPECT_EQ(layers(*g.render()).size(), 1u);
}

TEST(PlotterGUI, InvisibleBarsDropPairsAndResizeLosesTheHistory) {
    Gui g(u"Plotter", 4.0f, 4.0f);
    g.setText(kColour3, u"00000000");
    post(g, -1.0f, 1.0f);
    EXPECT_EQ(layers(*g.render()).size(), 1u);  // background only
    g.setText(kColour3, u"");
    {
        auto c = g.render();
        EXPECT_EQ(column(chart(*c), 3), std::vector<uint32_t>(4, 0u));
    }
    post(g, -1.0f, 1.0f);
    g.render();
    g.gfx->arrange(Rect{0.0f, 0.0f, 6.0f, 4.0f});
    auto c = g.render();
    EXPECT_EQ(g.host.factory.images.size(), 2u);
    EXPECT_EQ(chart(*c).w, 6);
    EXPECT_EQ(column(chart(*c), 5), std::vector<uint32_t>(4, 0u));
}

TEST(PlotterGUI, OnePixelWideChartDoesNotScrollOutOfBounds) {
    Gui g(u"Plotter", 1.0f, 3.0f);
    post(g, -1.0f, 1.0f);
    auto c = g.render();
    EXPECT_EQ(column(chart(*c), 0), std::vector<uint32_t>(3, barPixel()));
    post(g, 0.9f, 1.0f);
    auto c2 = g.render();
    EXPECT_EQ(chart(*c2).at(2, 0), 0u);
}

TEST(PlotterGUI, ReleasesEverythingItObtained) {
    const int before = liveObjects();
    {
        Gui g(u"Plotter", 8.0f, 8.0f);
        post(g, -0.5f, 0.5f);
        g.render();
        g.setText(kColour1, u"FF000000");
        g.render();
    }
    EXPECT_EQ(liveObjects(), before);
}

}  // namespace
