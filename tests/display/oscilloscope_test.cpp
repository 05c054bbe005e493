// "Oscilloscope": frame capture (DSP half) and the phosphor display (GUI half).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "display/recording_host.h"
#include "support/test_support.h"

namespace {

enum { kX = 0, kY = 1, kMode = 2, kSweep = 3, kClear = 4, kFrame = 5 };

struct Frame {
    int32_t block, offset;
    std::vector<float> xy;  // x0, y0, x1, y1, ...
};

std::vector<Frame> frames(const ztest::Recorder& rec) {
    std::vector<Frame> r;
    for (const ztest::Call& c : rec.of(ztest::Call::Value)) {
        if (c.pin != kFrame) continue;
        Frame f{c.block, c.offset, std::vector<float>(c.bytes.size() / 4)};
        if (!c.bytes.empty()) std::memcpy(f.xy.data(), c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.bytes.size() % 8, 0u);
        r.push_back(std::move(f));
    }
    return r;
}

// The first block as a host sends it: pin values, streaming states, graph start.
void start(ztest::Driver& d, int32_t mode, float sweep) {
    d.events.addInt(0, kMode, mode);
    d.events.addFloat(0, kSweep, sweep);
    d.events.addBool(0, kClear, false);
    d.events.addStreaming(0, kX, true);
    d.events.addStreaming(0, kY, true);
    d.events.addGraphStart(0);
}

// Y carries the running sample number, X its negative.
void runSamples(ztest::Driver& d, int64_t& n, int32_t blocks) {
    for (int32_t b = 0; b < blocks; ++b) {
        for (int32_t i = 0; i < d.blockSize(); ++i) {
            d.buffer(kY)[i] = static_cast<float>(n + i);
            d.buffer(kX)[i] = -static_cast<float>(n + i);
        }
        d.process();
        n += d.blockSize();
    }
}

TEST(OscilloscopeCapture, FramesOf1470PointsAt44k1SentAtTheirLastSample) {
    ztest::Driver d("Oscilloscope", "aaefbX", 44100.0f, 64);
    start(d, 0, 30.0f);
    int64_t n = 0;
    runSamples(d, n, 50);  // 3200 samples: two frames
    const auto f = frames(d.rec);
    // Graph start publishes the (empty) output, then the first pin change clears.
    ASSERT_EQ(f.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(f[i].block, 0);
        EXPECT_EQ(f[i].offset, 0);
        EXPECT_TRUE(f[i].xy.empty());
    }
    // Sample 1469 completes the first frame: block 22, offset 61.
    EXPECT_EQ(f[2].block, 1469 / 64);
    EXPECT_EQ(f[2].offset, 1469 % 64);
    EXPECT_EQ(f[3].block, 2939 / 64);
    EXPECT_EQ(f[3].offset, 2939 % 64);
    ASSERT_EQ(f[2].xy.size(), 2u * 1470u);

    // Time mode: y is the input, x = 2 * phase - 1 with phase stepping by 30/44100.
    const float inc = 30.0f / 44100.0f;
    float phase = 0.0f;
    for (int k = 0; k < 2940; ++k) {
        phase = phase + inc;
        if (phase >= 1.0f) phase = phase - 1.0f;
        const Frame& fr = f[2 + k / 1470];
        ASSERT_EQ(fr.xy[2 * (k % 1470)], phase + phase - 1.0f) << k;
        ASSERT_EQ(fr.xy[2 * (k % 1470) + 1], static_cast<float>(k)) << k;
    }
    EXPECT_EQ(d.rec.sleepRequests(), 0);
}

TEST(OscilloscopeCapture, XYModeCopiesBothInputsAnd48kGives1600Points) {
    ztest::Driver d("Oscilloscope", "aaefbX", 48000.0f, 100);
    start(d, 1, 30.0f);
    int64_t n = 0;
    runSamples(d, n, 16);
    const auto f = frames(d.rec);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[2].block, 15);
    EXPECT_EQ(f[2].offset, 99);
    ASSERT_EQ(f[2].xy.size(), 3200u);
    for (int k = 0; k < 1600; ++k) {
        ASSERT_EQ(f[2].xy[2 * k], -static_cast<float>(k));
        ASSERT_EQ(f[2].xy[2 * k + 1], static_cast<float>(k));
    }
}

TEST(OscilloscopeCapture, SeveralFramesInOneBlockAndModeSwitchAtAnEvent) {
    // 60 Hz: two points per frame, so a block of 8 sends four frames.
    ztest::Driver d("Oscilloscope", "aaefbX", 60.0f, 8);
    start(d, 1, 30.0f);
    for (int i = 0; i < 8; ++i) {
        d.buffer(kX)[i] = 100.0f + i;
        d.buffer(kY)[i] = static_cast<float>(i);
    }
    // Time mode from sample 4 on.
    d.events.addInt(4, kMode, 0);
    d.process();
    auto f = frames(d.rec);
    ASSERT_EQ(f.size(), 6u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(f[2 + i].offset, 2 * i + 1);
    EXPECT_EQ(f[2].xy, (std::vector<float>{100.0f, 0.0f, 101.0f, 1.0f}));
    EXPECT_EQ(f[3].xy, (std::vector<float>{102.0f, 2.0f, 103.0f, 3.0f}));
    // 30 Hz at 60 Hz: the phase steps by 0.5 (it ran on in XY mode): 0.5, 0, 0.5, 0 ...
    EXPECT_EQ(f[4].xy, (std::vector<float>{0.0f, 4.0f, -1.0f, 5.0f}));
    EXPECT_EQ(f[5].xy, (std::vector<float>{0.0f, 6.0f, -1.0f, 7.0f}));
}

TEST(OscilloscopeCapture, ClearSendsAnEmptyBlobAtTheEventAndKeepsTheSchedule) {
    ztest::Driver d("Oscilloscope", "aaefbX", 60.0f, 8);
    start(d, 1, 30.0f);
    d.process();
    d.events.addBool(3, kClear, true);
    d.events.addBool(5, kClear, false);  // false clears nothing
    d.process();
    const auto f = frames(d.rec);
    // 2 at start + 4 frames in block 0 + block 1: frame at 1, clear at 3, frames at 3, 5, 7.
    ASSERT_EQ(f.size(), 2u + 4u + 5u);
    EXPECT_EQ(f[6].offset, 1);
    EXPECT_EQ(f[7].block, 1);
    EXPECT_EQ(f[7].offset, 3);
    EXPECT_TRUE(f[7].xy.empty());
    EXPECT_EQ(f[8].offset, 3);
    EXPECT_EQ(f[8].xy.size(), 4u);
    EXPECT_EQ(f[10].offset, 7);
}

TEST(OscilloscopeCapture, SweepAtOrAboveTheRateStaysAtMinusOne) {
    ztest::Driver d("Oscilloscope", "aaefbX", 60.0f, 8);
    start(d, 0, 1000.0f);
    d.process();
    const auto f = frames(d.rec);
    ASSERT_EQ(f.size(), 6u);
    for (size_t i = 2; i < f.size(); ++i) {
        EXPECT_EQ(f[i].xy[0], -1.0f);
        EXPECT_EQ(f[i].xy[2], -1.0f);
    }
}

TEST(OscilloscopeCapture, NegativeSweepRunsRightToLeftInsideTheScreen) {
    ztest::Driver d("Oscilloscope", "aaefbX", 600.0f, 64);
    start(d, 0, -7.0f);
    for (int b = 0; b < 10; ++b) d.process();
    const auto f = frames(d.rec);
    ASSERT_GT(f.size(), 5u);
    int falls = 0;
    for (size_t i = 2; i < f.size(); ++i) {
        for (size_t k = 0; k + 2 < f[i].xy.size(); k += 2) {
            EXPECT_GE(f[i].xy[k], -1.0f);
            EXPECT_LT(f[i].xy[k], 1.0f);
            if (f[i].xy[k + 2] < f[i].xy[k]) ++falls;
        }
    }
    EXPECT_GT(falls, 0);
}

TEST(OscilloscopeCapture, RatesBelow30HzSendNoFrameAndShrinkingFramesRestart) {
    ztest::Driver d("Oscilloscope", "aaefbX", 20.0f, 16);
    start(d, 1, 30.0f);
    for (int b = 0; b < 4; ++b) d.process();
    EXPECT_EQ(frames(d.rec).size(), 2u);  // the start-up clears only

    // 300 Hz: frames of 10. Run 7 samples into a frame, then drop to 90 Hz (3 points):
    // the write index restarts, so the next frame is 3 fresh points.
    d.instance().host().setSampleRate(300.0f);
    d.events.addFloat(0, kSweep, 30.0f);
    d.process();  // 16 samples: one frame (10), then 6 into the next
    ASSERT_EQ(frames(d.rec).size(), 3u);
    d.instance().host().setSampleRate(90.0f);
    for (int i = 0; i < 16; ++i) d.buffer(kY)[i] = static_cast<float>(i);
    d.events.addFloat(2, kSweep, 30.0f);
    d.process();
    const auto f = frames(d.rec);
    // Frames of 3 complete at offsets 4, 7, 10, 13 (the change came at 2).
    ASSERT_EQ(f.size(), 7u);
    EXPECT_EQ(f[3].offset, 4);
    EXPECT_EQ(f[3].xy.size(), 6u);
    EXPECT_EQ(f[3].xy[1], 2.0f);
    EXPECT_EQ(f[6].offset, 13);
}

// ------------------------------------------------------------------ display

using namespace ztest_draw;

enum { gFrame = 0, gColour1, gColour2, gColour3, gColour4, gColour5, gXDiv, gYDiv, gDecay };

void sendFrame(Gui& g, const std::vector<float>& xy) {
    g.set(gFrame, xy.data(), static_cast<int32_t>(xy.size() * 4));
}

// Only the trace: background and grid colours transparent.
void traceOnly(Gui& g, const std::u16string& trace = u"FFFFFFFF") {
    g.setText(gColour1, u"0");
    g.setText(gColour2, u"0");
    g.setText(gColour4, u"0");
    g.setText(gColour5, u"0");
    g.setText(gColour3, trace);
}

double lin(double v) {
    return v <= 0.0404482362771082 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

TEST(OscilloscopeDisplay, PointsLandOnTheirPixelsNewestBrightest) {
    Gui g(u"Oscilloscope", 101.0f, 51.0f);
    traceOnly(g, u"FF00FF00");  // opaque green: ARGB pixel 255, 0, 254, 0
    g.setFloat(gXDiv, 10.0f);
    g.setFloat(gYDiv, 10.0f);
    g.setFloat(gDecay, 100.0f);
    // Oldest first: (-0.1, 0.1), (0.05, -0.05), (0, 0).
    sendFrame(g, {-0.1f, 0.1f, 0.05f, -0.05f, 0.0f, 0.0f});
    auto c = g.render();
    const auto ls = layers(*c);
    ASSERT_EQ(ls.size(), 1u);  // only the trace image
    const Bitmap& img = *ls[0];
    ASSERT_EQ(img.w, 101);
    ASSERT_EQ(img.h, 51);
    EXPECT_EQ(img.lockModes, (std::vector<int32_t>{3}));

    const float step = 1.0f / (100.0f * 10.0f + 1.0f);
    auto px = [](float alpha) {
        const uint32_t a = static_cast<uint32_t>(alpha * 255.0f);
        return a << 24 | ((255u * a) >> 8) << 8;  // green 255 through the table
    };
    auto col = [](float x) {
        return static_cast<int>(std::trunc((x * 1.0f + 1.0f) * 0.5f * 100.0f));
    };
    auto row = [](float y) {
        return static_cast<int>(std::trunc(50.0f * ((1.0f - 1.0f * y) * 0.5f)));
    };
    std::vector<std::pair<int, int>> lit = {
        {row(0.0f), col(0.0f)}, {row(-0.05f), col(0.05f)}, {row(0.1f), col(-0.1f)}};
    EXPECT_EQ(lit[0], std::make_pair(25, 50));
    float alpha = 1.0f;
    for (const auto& rc : lit) {
        EXPECT_EQ(img.at(rc.first, rc.second), px(alpha)) << rc.first << "," << rc.second;
        alpha = std::max(0.0f, alpha - step);
    }
    int others = 0;
    for (int r = 0; r < 51; ++r)
        for (int k = 0; k < 101; ++k) others += img.at(r, k) != 0u;
    EXPECT_EQ(others, 3);
    EXPECT_EQ(img.at(25, 50), 0xFF00FE00u);
}

TEST(OscilloscopeDisplay, EachFrameFadesThePictureOnceAndDecayZeroErases) {
    Gui g(u"Oscilloscope", 64.0f, 32.0f);
    traceOnly(g);
    g.setFloat(gDecay, 100.0f);
    sendFrame(g, {0.0f, 0.0f});
    g.render();
    // A second frame elsewhere: f = trunc(1 * (1/1001) * 255) = 0, nothing fades.
    sendFrame(g, {0.3f, 0.3f});
    auto c = g.render();
    const Bitmap& img = *layers(*c)[0];
    const int r0 = static_cast<int>(std::trunc(31.0f * ((1.0f - (10.0f / 6.0f) * 0.0f) * 0.5f)));
    const int c0 = static_cast<int>(std::trunc((0.0f * (10.0f / 6.0f) + 1.0f) * 0.5f * 63.0f));
    EXPECT_EQ(img.at(r0, c0), 0xFFFEFEFEu);

    // 600 points of decay 1 (step 1/11): f = trunc(600 / 11 * 255) > 255 erases everything,
    // and only the newest 11 points are visible.
    g.setFloat(gDecay, 1.0f);
    std::vector<float> many;
    for (int k = 0; k < 600; ++k) {
        many.push_back(0.5f - static_cast<float>(599 - k) * 0.02f);  // about a pixel apart
        many.push_back(0.2f);
    }
    sendFrame(g, many);
    c = g.render();
    const Bitmap& img2 = *layers(*c)[0];
    EXPECT_EQ(img2.at(r0, c0), 0u);
    int visible = 0;
    for (uint32_t p : img2.pixels) visible += (p >> 24) != 0;
    EXPECT_EQ(visible, 11);
}

TEST(OscilloscopeDisplay, PartialFadeSubtractsFromEveryByte) {
    Gui g(u"Oscilloscope", 40.0f, 40.0f);
    traceOnly(g);
    g.setFloat(gDecay, 20.0f);  // step 1/201
    sendFrame(g, {0.0f, 0.0f});
    g.render();
    // 10 points far off screen: f = trunc(10 / 201 * 255) = 12.
    std::vector<float> off(20, 5.0f);
    sendFrame(g, off);
    auto c = g.render();
    const float f = 10.0f * (1.0f / (20.0f * 10.0f + 1.0f)) * 255.0f;
    const uint32_t s = 254u - static_cast<uint32_t>(f);
    const int rc = static_cast<int>(std::trunc(39.0f * 0.5f));
    EXPECT_EQ(layers(*c)[0]->at(rc, rc),
              (255u - static_cast<uint32_t>(f)) << 24 | s << 16 | s << 8 | s);
}

TEST(OscilloscopeDisplay, ColourTextsAndDefaults) {
    struct Case {
        std::u16string text;
        uint32_t pixel;
    };
    const uint32_t green176 = (176u * 255u) >> 8;
    const std::vector<Case> cases = {
        {u"", 0xFF000000u | (254u << 8) | green176},  // default trace colour 0, 255, 176
        {u"FF00FF00", 0xFF00FE00u},
        {u"ff00ff00", 0xFF00FE00u},
        {u"  0xFF0000FF", 0xFF0000FEu},
        {u"00FF00", 0u},              // no alpha byte: transparent
        {u"#FF00FF00", 0u},           // not a number: transparent black
        {u"1FFFFFFFF", 0xFFFEFEFEu},  // too large: all ones
        {u"80FF0000", 0x807F0000u},   // half alpha, premultiplied
        {u"FF102030zz", 0},           // stops at z (set below)
    };
    for (const Case& k : cases) {
        Gui g(u"Oscilloscope", 21.0f, 21.0f);
        traceOnly(g, k.text);
        g.setFloat(gDecay, 0.0f);
        sendFrame(g, {0.0f, 0.0f});
        auto c = g.render();
        uint32_t expected = k.pixel;
        if (k.text == u"FF102030zz") {
            // sRGB bytes 0x10, 0x20, 0x30 come back unchanged from their linear values.
            expected = 0xFF000000u | ((0x10u * 255u) >> 8) << 16 | ((0x20u * 255u) >> 8) << 8 |
                       ((0x30u * 255u) >> 8);
        }
        EXPECT_EQ(layers(*c).back()->at(10, 10), expected)
            << std::string(k.text.begin(), k.text.end());
    }
}

TEST(OscilloscopeDisplay, LayersAndWhenTheyAreRebuilt) {
    Gui g(u"Oscilloscope", 200.0f, 100.0f);
    auto c = g.render();
    auto ls = layers(*c);
    ASSERT_EQ(ls.size(), 3u);  // background, grid, trace
    // Background: gradient from default colour 1 to colour 2 over (0, 0, w-1, h-1).
    ASSERT_EQ(ls[0]->ops.size(), 4u);
    EXPECT_EQ(ls[0]->ops[2].kind, Op::FillGradient);
    EXPECT_EQ(ls[0]->ops[2].rect.right, 199.0f);
    EXPECT_EQ(ls[0]->ops[2].rect.bottom, 99.0f);
    EXPECT_EQ(ls[0]->ops[2].stops[1].colour.r, static_cast<float>(lin(112 * 0.003921568859368563)));
    // Grid: 2 axes + 2 * 6 horizontal + 2 * 6 vertical lines.
    const auto gl = lines(*ls[1]);
    ASSERT_EQ(gl.size(), 26u);
    EXPECT_EQ(gl[0].p1.y, 50.0f);
    // Default alphas are the fractions n / 255 (for 192 not the same float
    // as 192 times 1/255); colour texts use the byte times 1/255.
    EXPECT_EQ(gl[0].colour.a, 192.0f / 255.0f);
    EXPECT_EQ(lines(*ls[1])[2].colour.a, 64.0f / 255.0f);
    EXPECT_EQ(gl[2].p1.y, (6.0f / 6.0f + 1.0f) * 100.0f * 0.5f);
    EXPECT_EQ(gl[3].p1.y, 0.0f);
    EXPECT_EQ(c->targetsCreated, 2);
    EXPECT_EQ(g.host.factory.images.size(), 1u);

    // Same size, nothing changed: the cached layers are reused.
    c = g.render();
    EXPECT_EQ(c->targetsCreated, 0);
    EXPECT_EQ(g.host.factory.images.size(), 1u);

    // Divisions out of range keep 6 but still rebuild grid and trace.
    const int redraws = g.host.redraws;
    g.setFloat(gXDiv, 25.0f);
    EXPECT_EQ(g.host.redraws, redraws + 1);
    c = g.render();
    ls = layers(*c);
    EXPECT_EQ(c->targetsCreated, 1);  // the grid only
    EXPECT_EQ(g.host.factory.images.size(), 2u);
    EXPECT_EQ(lines(*ls[1]).size(), 26u);
    g.setFloat(gXDiv, 2.5f);  // floor 2: 2 lines each side
    c = g.render();
    ls = layers(*c);
    EXPECT_EQ(lines(*ls[1]).size(), 2u + 12u + 4u);
    EXPECT_EQ(lines(*ls[1])[14].p1.x, (2.0f / 2.5f + 1.0f) * 200.0f * 0.5f);

    // The clear message drops the trace image: the next one starts blank.
    sendFrame(g, {0.0f, 0.0f});
    c = g.render();
    const Bitmap* trace = layers(*c)[2];
    EXPECT_NE(trace->pixels, std::vector<uint32_t>(trace->pixels.size(), 0u));
    const size_t images = g.host.factory.images.size();
    g.set(gFrame, nullptr, 0);
    c = g.render();
    EXPECT_EQ(g.host.factory.images.size(), images + 1);
    EXPECT_EQ(layers(*c)[2]->lockModes.size(), 0u);

    // Alpha 0 on both background colours skips the background layer.
    g.setText(gColour1, u"00FFFFFF");
    g.setText(gColour2, u"00FFFFFF");
    c = g.render();
    EXPECT_EQ(layers(*c).size(), 2u);
    // The same axes colour as a text: alpha byte 0xC0 times 1/255.
    g.setText(gColour5, u"C0604040");
    c = g.render();
    ASSERT_EQ(layers(*c).size(), 2u);
    EXPECT_EQ(lines(*layers(*c)[0])[0].colour.a, 192.0f * 0.003921568859368563f);
    EXPECT_EQ(lines(*layers(*c)[0])[0].colour.r,
              static_cast<float>(lin(96 * 0.003921568859368563)));

    // Resizing drops every layer.
    g.gfx->arrange(Rect{0.0f, 0.0f, 120.0f, 80.0f});
    c = g.render();
    EXPECT_EQ(layers(*c).back()->w, 120);
}

TEST(OscilloscopeDisplay, AFrameSetButNotYetNotifiedIsReadFromThePin) {
    Gui g(u"Oscilloscope", 21.0f, 21.0f);
    traceOnly(g);
    g.setFloat(gXDiv, 10.0f);
    g.setFloat(gYDiv, 10.0f);
    g.setFloat(gDecay, 100.0f);
    sendFrame(g, {0.0f, 0.0f, 0.0f, 0.0f});
    // A longer frame arrives (its blob moves) before the host notifies it.
    std::vector<float> longer(2000, 0.0f);
    longer[6] = -1.0f;  // point 3 of the new frame: left edge, if it were read
    g.gui->setPin(gFrame, 0, static_cast<int32_t>(longer.size() * 4), longer.data());
    auto c = g.render();
    // The two points announced are taken from the pin's current value.
    const Bitmap& trace = *layers(*c).back();
    EXPECT_NE(trace.at(10, 10), 0u);
    EXPECT_EQ(trace.at(10, 0), 0u);
}

TEST(OscilloscopeDisplay, HugeAndNaNPointsAreSkipped) {
    Gui g(u"Oscilloscope", 30.0f, 30.0f);
    traceOnly(g);
    g.setFloat(gDecay, 100.0f);
    const float inf = INFINITY, nan = NAN;
    sendFrame(g, {nan, 0.0f, 0.0f, nan, inf, 0.0f, -inf, 0.0f, 1e30f, 1e30f, -1.0f, 1.0f});
    auto c = g.render();
    int lit = 0;
    for (uint32_t p : layers(*c).back()->pixels) lit += p != 0u;
    EXPECT_EQ(lit, 0);  // -1, 1 lies outside 6 divisions too
}

}  // namespace
