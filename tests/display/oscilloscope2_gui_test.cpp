// Oscilloscope2GUI on a recording host: trace segments (positions, alpha per
// segment, stroke width, retrace), layer caching, colour texts and the
// decisions for bad values.
#include <cmath>
#include <cstring>
#include <vector>

#include "display/recording_host.h"

using namespace ztest_draw;

namespace {

constexpr int kFrame = 0, kColour1 = 1, kColour2 = 2, kColour3 = 3, kColour4 = 4, kColour5 = 5,
              kLineWidth = 6, kConnectAll = 7, kFade = 8, kXDiv = 9, kYDiv = 10;

// sRGB byte to linear light, written independently of the library.
float lin(int i) {
    const double c = i * 0.003921568859368563;
    return static_cast<float>(c <= 0.0404482362771082 ? c / 12.92
                                                      : std::pow((c + 0.055) / 1.055, 2.4));
}

void sendFrame(Gui& g, const std::vector<float>& xy) {
    g.set(kFrame, xy.data(), static_cast<int32_t>(xy.size() * 4));
}

// Pen position of a point with the given divisions in a width x height view.
Point pen(float x, float y, float xdiv, float ydiv, float width, float height) {
    return Point{((10.0f / xdiv) * x + 1.0f) * width * 0.5f,
                 (1.0f - (10.0f / ydiv) * y) * height * 0.5f};
}

const Bitmap& traceLayer(const Context& c) {
    const auto l = layers(c);
    EXPECT_EQ(l.size(), 3u);
    return *l.back();
}

TEST(Oscilloscope2GUI, SegmentsRunFromTheNewestPointWithFallingAlpha) {
    Gui g(u"Oscilloscope2", 200.0f, 100.0f);
    g.setInt(kLineWidth, 2);
    g.setFloat(kFade, 1.0f);
    // Oldest first; x rises, so every segment (newest to older) goes left.
    const std::vector<float> xy = {-0.5f, 0.1f, -0.2f, -0.3f, 0.1f, 0.25f, 0.4f, 0.0f};
    sendFrame(g, xy);
    auto c = g.render();
    const auto segs = lines(traceLayer(*c));
    ASSERT_EQ(segs.size(), 3u);
    const float step = 1.0f / 3.0f;  // fade span (4 - 1) x 1
    float alpha = 1.0f;
    for (int s = 0; s < 3; ++s) {
        const int from = 3 - s, to = 2 - s;
        const Point p = pen(xy[2 * from], xy[2 * from + 1], 6.0f, 6.0f, 200.0f, 100.0f);
        const Point q = pen(xy[2 * to], xy[2 * to + 1], 6.0f, 6.0f, 200.0f, 100.0f);
        EXPECT_EQ(segs[s].p1.x, p.x) << s;
        EXPECT_EQ(segs[s].p1.y, p.y) << s;
        EXPECT_EQ(segs[s].p2.x, q.x) << s;
        EXPECT_EQ(segs[s].p2.y, q.y) << s;
        EXPECT_EQ(segs[s].width, 2.0f);
        EXPECT_EQ(segs[s].colour.a, alpha) << s;
        EXPECT_EQ(segs[s].colour.r, lin(0));
        EXPECT_EQ(segs[s].colour.g, lin(255));
        EXPECT_EQ(segs[s].colour.b, lin(176));
        alpha = std::max(0.0f, alpha - step);
    }
}

TEST(Oscilloscope2GUI, OneNewBrushPerSegmentDrawnOrNot) {
    Gui g(u"Oscilloscope2", 200.0f, 100.0f);
    g.setFloat(kFade, 1.0f);
    // Five points, one retrace (x falls from 0.4 to -0.4) left out.
    sendFrame(g, {-0.8f, 0.0f, -0.4f, 0.0f, 0.4f, 0.0f, -0.4f, 0.0f, 0.0f, 0.0f});
    auto c = g.render();
    const Bitmap& trace = traceLayer(*c);
    EXPECT_EQ(lines(trace).size(), 3u);
    EXPECT_EQ(trace.ops.size(), 2u + 3u + 1u);  // begin, clear, lines, end
    // N - 1 brushes on the trace's own render target, none on the context.
    EXPECT_EQ(c->brushesCreated, 0);
    EXPECT_EQ(trace.brushesCreated, 4);
}

TEST(Oscilloscope2GUI, RetraceIsLeftOutUnlessConnectAllButStillFades) {
    // Two sweeps: x rises, falls back (the retrace), rises again.
    const std::vector<float> xy = {-0.6f, 0.0f, 0.0f, 0.0f, 0.6f, 0.0f,
                                   -0.6f, 0.2f, 0.0f, 0.2f, 0.6f, 0.2f};
    for (bool all : {false, true}) {
        Gui g(u"Oscilloscope2", 100.0f, 100.0f);
        g.setFloat(kFade, 1.0f);
        g.setBool(kConnectAll, all);
        sendFrame(g, xy);
        auto c = g.render();
        const auto segs = lines(traceLayer(*c));
        ASSERT_EQ(segs.size(), all ? 5u : 4u);
        // Newest first, the third segment runs from point 3 (x = -0.6) to
        // point 2 (x = 0.6): the pen moves right, so it is the retrace.
        const float step = 1.0f / 5.0f;
        float alpha = 1.0f;
        std::vector<float> alphas;
        for (int s = 0; s < 5; ++s) {
            alphas.push_back(alpha);
            alpha = std::max(0.0f, alpha - step);
        }
        if (all) {
            for (int s = 0; s < 5; ++s) EXPECT_EQ(segs[s].colour.a, alphas[s]);
        } else {
            EXPECT_EQ(segs[2].colour.a, alphas[3]);  // the skipped one still used a step
            EXPECT_EQ(segs[3].colour.a, alphas[4]);
            EXPECT_EQ(segs[2].p1.x, pen(0.6f, 0.0f, 6, 6, 100, 100).x);
        }
    }
}

TEST(Oscilloscope2GUI, FadeLengthSetsTheStep) {
    // Fade 0: only the newest segment is visible.
    {
        Gui g(u"Oscilloscope2", 100.0f, 100.0f);
        sendFrame(g, {-0.3f, 0.0f, -0.2f, 0.0f, -0.1f, 0.0f});
        auto c = g.render();
        const auto segs = lines(traceLayer(*c));
        ASSERT_EQ(segs.size(), 2u);
        EXPECT_EQ(segs[0].colour.a, 1.0f);
        EXPECT_EQ(segs[1].colour.a, 0.0f);
        EXPECT_EQ(segs[0].width, 0.0f);  // line width 0 at construction
    }
    // Fade 0.5 over 1470 points: step 1/734.5, the older half is invisible;
    // above 1 counts as 1.
    for (float fade : {0.5f, 3.0f}) {
        Gui g(u"Oscilloscope2", 400.0f, 300.0f);
        g.setFloat(kFade, fade);
        std::vector<float> xy;
        for (int k = 0; k < 1470; ++k) {
            xy.push_back(-1.0f + static_cast<float>(k) / 735.0f);
            xy.push_back(0.0f);
        }
        sendFrame(g, xy);
        auto c = g.render();
        const auto segs = lines(traceLayer(*c));
        ASSERT_EQ(segs.size(), 1469u);
        const float span = 1469.0f * std::min(1.0f, fade);
        const float step = 1.0f / span;
        float alpha = 1.0f;
        for (size_t s = 0; s < segs.size(); ++s) {
            ASSERT_EQ(segs[s].colour.a, alpha) << s;
            alpha = std::max(0.0f, alpha - step);
        }
        if (fade == 0.5f) {
            EXPECT_EQ(segs[800].colour.a, 0.0f);
            EXPECT_GT(segs[700].colour.a, 0.0f);
        } else {
            EXPECT_GT(segs[1467].colour.a, 0.0f);
        }
    }
}

TEST(Oscilloscope2GUI, OnePointOrAnEmptyFrameDrawsAnEmptyTrace) {
    for (const std::vector<float>& xy : {std::vector<float>{0.1f, 0.1f}, std::vector<float>{}}) {
        Gui g(u"Oscilloscope2", 100.0f, 100.0f);
        sendFrame(g, xy);
        auto c = g.render();
        const Bitmap& trace = traceLayer(*c);
        EXPECT_TRUE(lines(trace).empty());
        ASSERT_GE(trace.ops.size(), 2u);
        EXPECT_EQ(trace.ops[1].kind, Op::Clear);
    }
}

TEST(Oscilloscope2GUI, LayersAreCachedAndRebuiltOnlyWhenNeeded) {
    Gui g(u"Oscilloscope2", 120.0f, 80.0f);
    sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.0f});
    EXPECT_EQ(g.render()->targetsCreated, 3);  // background, grid, trace
    EXPECT_EQ(g.render()->targetsCreated, 0);
    const int redraws = g.host.redraws;
    sendFrame(g, {-0.3f, 0.1f, 0.3f, 0.1f});
    EXPECT_EQ(g.host.redraws, redraws + 1);
    EXPECT_EQ(g.render()->targetsCreated, 1);  // the trace only
    g.setText(kColour1, u"FF102030");
    EXPECT_EQ(g.render()->targetsCreated, 2);  // background and grid, not the trace
    g.setFloat(kXDiv, 10.0f);
    {
        auto c = g.render();
        EXPECT_EQ(c->targetsCreated, 2);  // grid and trace
        const auto segs = lines(traceLayer(*c));
        ASSERT_EQ(segs.size(), 1u);
        EXPECT_EQ(segs[0].p1.x, pen(0.3f, 0.1f, 10.0f, 6.0f, 120.0f, 80.0f).x);
    }
    // Out of range: the value is kept, the grid and trace are still rebuilt.
    for (float bad : {0.0f, -2.0f, 25.0f, std::nanf("")}) {
        g.setFloat(kXDiv, bad);
        auto c = g.render();
        EXPECT_EQ(c->targetsCreated, 2) << bad;
        EXPECT_EQ(lines(traceLayer(*c))[0].p1.x, pen(0.3f, 0.1f, 10.0f, 6.0f, 120.0f, 80.0f).x);
    }
    g.gfx->arrange(Rect{0.0f, 0.0f, 60.0f, 80.0f});
    EXPECT_EQ(g.render()->targetsCreated, 3);
}

TEST(Oscilloscope2GUI, ColourTexts) {
    Gui g(u"Oscilloscope2", 100.0f, 100.0f);
    g.setFloat(kFade, 1.0f);
    g.setText(kColour3, u"FF00FF00");
    sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.0f});
    auto segs = lines(traceLayer(*g.render()));
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].colour.a, 1.0f);
    EXPECT_EQ(segs[0].colour.r, 0.0f);
    EXPECT_EQ(segs[0].colour.g, lin(255));
    // Six digits: alpha 0, nothing visible.
    g.setText(kColour3, u"00FF00");
    sendFrame(g, {-0.3f, 0.1f, 0.3f, 0.0f});
    segs = lines(traceLayer(*g.render()));
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].colour.a, 0.0f);
    // Empty text: the default trace colour again.
    g.setText(kColour3, u"");
    sendFrame(g, {-0.3f, 0.2f, 0.3f, 0.0f});
    segs = lines(traceLayer(*g.render()));
    EXPECT_EQ(segs[0].colour.b, lin(176));
    // Both background colours transparent: no background layer.
    g.setText(kColour1, u"00FFFFFF");
    g.setText(kColour2, u"#FF0000");  // not hex: 0, transparent black
    EXPECT_EQ(layers(*g.render()).size(), 2u);
    // Grid and axes transparent too: only the trace.
    g.setText(kColour4, u"0");
    g.setText(kColour5, u"0");
    EXPECT_EQ(layers(*g.render()).size(), 1u);
}

TEST(Oscilloscope2GUI, BadValuesAreDrawnSafely) {
    Gui g(u"Oscilloscope2", 100.0f, 100.0f);
    g.setFloat(kFade, 1.0f);
    g.setBool(kConnectAll, true);
    g.setInt(kLineWidth, -4);  // passed on as it is: the host decides what it draws
    const float nan = std::nanf("");
    sendFrame(g, {-0.3f, 0.0f, nan, 0.0f, 0.3f, INFINITY, 0.5f, 0.0f, 0.6f, 0.1f});
    const auto segs = lines(traceLayer(*g.render()));
    // Segments touching a NaN or infinite point are left out; the fade
    // still counts them.
    ASSERT_EQ(segs.size(), 1u);
    EXPECT_EQ(segs[0].width, -4.0f);
    EXPECT_EQ(segs[0].colour.a, 1.0f);
    EXPECT_EQ(segs[0].p2.x, pen(0.5f, 0.0f, 6, 6, 100, 100).x);
}

TEST(Oscilloscope2GUI, PinsStoreTheirValuesAndUnknownPinsFail) {
    Gui g(u"Oscilloscope2", 100.0f, 100.0f);
    const int32_t v = 3;
    EXPECT_EQ(g.gui->setPin(kLineWidth, 0, 4, &v), 0);
    EXPECT_EQ(g.gui->setPin(11, 0, 4, &v), -1);
    EXPECT_EQ(g.gui->notifyPin(11, 0), -1);
    EXPECT_EQ(g.gui->receiveMessageFromAudio(0, 4, &v), -1);
    g.gui->notifyPin(kLineWidth, 0);
    sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.0f});
    EXPECT_EQ(lines(traceLayer(*g.render()))[0].width, 3.0f);

    // An empty value leaves an int pin as it was; a 2-byte value replaces
    // only its first two bytes.
    EXPECT_EQ(g.gui->setPin(kLineWidth, 0, 0, &v), 0);
    sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.1f});
    EXPECT_EQ(lines(traceLayer(*g.render()))[0].width, 3.0f);
    g.setInt(kLineWidth, 0x00010003);
    const uint16_t low = 5;
    g.set(kLineWidth, &low, 2);
    sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.2f});
    EXPECT_EQ(lines(traceLayer(*g.render()))[0].width, static_cast<float>(0x00010005));
}

TEST(Oscilloscope2GUI, ReleasesEverythingItObtained) {
    const int before = liveObjects();
    {
        Gui g(u"Oscilloscope2", 100.0f, 100.0f);
        sendFrame(g, {-0.3f, 0.0f, 0.3f, 0.0f, 0.5f, 0.1f});
        g.render();
        g.setText(kColour2, u"FF000000");
        g.render();
    }
    EXPECT_EQ(liveObjects(), before);
}

}  // namespace

namespace {

// A bool GUI pin reads a 4-byte value as an int (any non-zero is true) and
// any other size by its first byte; seen through "connect all", which draws
// the retrace segment.
TEST(Oscilloscope2GUI, BoolPinValueSizes) {
    const std::vector<float> xy = {-0.6f, 0.0f, 0.6f, 0.0f, -0.6f, 0.2f};
    auto segments = [&](const void* value, int32_t size) {
        Gui g(u"Oscilloscope2", 100.0f, 100.0f);
        g.set(kConnectAll, value, size);
        sendFrame(g, xy);
        return lines(traceLayer(*g.render())).size();
    };
    const int32_t two = 2, big = 256, zero = 0;
    const unsigned char byteTwo = 2, byteZero = 0;
    EXPECT_EQ(segments(&two, 4), 2u);
    EXPECT_EQ(segments(&big, 4), 2u);  // the low byte is 0, the int is not
    EXPECT_EQ(segments(&zero, 4), 1u);
    EXPECT_EQ(segments(&byteTwo, 1), 2u);
    EXPECT_EQ(segments(&byteZero, 1), 1u);
}

}  // namespace
