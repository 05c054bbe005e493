#include "display/Plotter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "display/ColourTable.h"
#include "display/DisplayRegistry.h"
#include "display/ScopeLayers.h"

using namespace mp_draw;
using mp_gui::MpRef;

REGISTER_DISPLAY(Plotter, PlotterGUI, u"Plotter");

Plotter::Plotter() {
    registerPin(pinSignal);
    registerPin(pinIntervalMs);
    registerPin(pinRange);
    selectSpanRoutine(&Plotter::capture);
    allowSleep(false);
}

void Plotter::onPinsChanged() {
    if (pinIntervalMs.isUpdated()) {
        float rate = 0.0f;
        if (host() != nullptr) host()->readSampleRate(&rate);
        counter_ = 0;
        // Intervals below 10 ms count as 10 ms.
        const float samples = 0.001f * (std::max(10.0f, pinIntervalMs.getValue()) * rate);
        // At least one sample per column: at very low sample rates (or none)
        // every sample becomes a column instead of the chart stopping. Huge
        // intervals stop at the largest period the counter can reach.
        if (samples >= 2147483520.0f) {
            period_ = INT32_MAX;
        } else if (samples >= 1.0f) {
            period_ = static_cast<int32_t>(samples);
        } else {
            period_ = 1;
        }
    }
    if (pinRange.isUpdated()) {
        const float b = 0.1f * pinRange.getValue();
        gain_ = b < 0.00001f ? 100000.0f : 1.0f / b;
    }
}

void Plotter::capture(int32_t count) {
    const float* in = pinSignal.buffer() + spanOffset();
    const float gain = gain_;
    const uint32_t period = static_cast<uint32_t>(period_);
    uint32_t counter = counter_;
    float minimum = extremes_[0];
    float maximum = extremes_[1];
    for (int32_t i = 0; i < count; ++i) {
        counter = counter + 1;
        const float v = in[i] * gain;
        maximum = std::max(v, maximum);
        minimum = std::min(v, minimum);
        if (counter == period) {
            extremes_[0] = minimum;
            extremes_[1] = maximum;
            if (host() != nullptr) host()->postGuiMessage(0, 8, extremes_);
            maximum = -1.0e30f;
            minimum = 1.0e30f;
            counter = 0;
        }
    }
    extremes_[0] = minimum;
    extremes_[1] = maximum;
    counter_ = counter;
}

// ---------------------------------------------------------------- GUI half

namespace {
enum { kTop = 0, kBottom = 1, kBars = 2, kGrid = 3 };
}  // namespace

PlotterGUI::PlotterGUI() {
    initializePin(pinHold, &PlotterGUI::onHold);
    initializePin(pinColour1, &PlotterGUI::onColours);
    initializePin(pinColour2, &PlotterGUI::onColours);
    initializePin(pinColour3, &PlotterGUI::onColours);
    initializePin(pinColour4, &PlotterGUI::onColours);
    defaults_[kTop] = display::colourFromBytes(208, 224, 255, 255);
    defaults_[kBottom] = display::colourFromBytes(32, 96, 160, 255);
    defaults_[kBars] = display::colourFromBytes(0, 0, 0, 128);
    defaults_[kGrid] = display::colourFromBytes(0, 0, 0, 64);
    for (int i = 0; i < 4; ++i) colours_[i] = defaults_[i];
}

PlotterGUI::~PlotterGUI() {
    chart_.release();
    background_.release();
}

void PlotterGUI::onHold() {
    hold_ = pinHold.getValue();
}

void PlotterGUI::onColours() {
    colours_[kTop] = display::colourFromText(pinColour1, defaults_[kTop]);
    colours_[kBottom] = display::colourFromText(pinColour2, defaults_[kBottom]);
    colours_[kBars] = display::colourFromText(pinColour3, defaults_[kBars]);
    colours_[kGrid] = display::colourFromText(pinColour4, defaults_[kGrid]);
    // Bars already drawn keep their colour; only the background is redrawn.
    background_.release();
    invalidateRect();
}

int32_t PlotterGUI::receiveMessageFromAudio(int32_t /*id*/, int32_t size, const void* data) {
    // A body shorter than the two floats is not a pair.
    if (data != nullptr && size >= 8) {
        Pair p;
        std::memcpy(&p, data, 8);
        lastMinimum_ = p.minimum;
        lastMaximum_ = p.maximum;
        newPair_ = true;
        // Every pair becomes a column, even when several arrive between two
        // renders.
        pending_.push_back(p);
        if (pending_.size() > kMaxPending) pending_.pop_front();
        invalidateRect();
    }
    return mp::MP_FAIL;
}

int32_t PlotterGUI::render(mp::IMpUnknown* drawingContext) {
    MpRef<IMpDeviceContext> context;
    if (!context.queryFrom(drawingContext, kIID_IMpDeviceContext)) return mp::MP_OK;

    const display::ModuleSize size = display::moduleSize(getRect());
    if (size.w != cachedW_ || size.h != cachedH_) {
        cachedW_ = size.w;
        cachedH_ = size.h;
        chart_.release();
        background_.release();
    }
    if (size.w > 0 && size.h > 0) {
        if (colours_[kTop].a > 0.0f || colours_[kBottom].a > 0.0f || colours_[kGrid].a > 0.0f) {
            if (!background_) buildBackground(context.get(), size.width, size.height);
            display::drawLayer(context.get(), background_.get(), size.width, size.height);
        }
        if (colours_[kBars].a > 0.0f) {
            if (!chart_) {
                MpRef<IMpDrawingFactory> factory;
                if (getDrawingFactory(factory)) factory->createImage(size.w, size.h, chart_.put());
            }
            if (newPair_ && !hold_ && chart_) addColumns(chart_.get(), size.w, size.h, size.height);
            display::drawLayer(context.get(), chart_.get(), size.width, size.height);
        }
    }
    // Pairs that arrive while held (or while the bars are invisible) are
    // dropped, not queued.
    newPair_ = false;
    pending_.clear();
    return mp::MP_OK;
}

bool PlotterGUI::buildBackground(IMpDeviceContext* context, float width, float height) {
    MpRef<IMpBitmapRenderTarget> target;
    if (context->createCompatibleRenderTarget(Size{width, height}, target.put()) != mp::MP_OK ||
        !target)
        return false;
    target->beginDraw();
    target->clear(Colour{0.0f, 0.0f, 0.0f, 0.0f});
    if (colours_[kTop].a > 0.0f || colours_[kBottom].a > 0.0f)
        display::fillVerticalGradient(target.get(), width, height, colours_[kTop],
                                      colours_[kBottom]);
    if (colours_[kGrid].a > 0.0f) {
        MpRef<IMpSolidColourBrush> brush;
        target->createSolidColourBrush(colours_[kGrid], brush.put());
        if (brush) {
            // 21 lines 5 % apart; the first lies just above the top edge.
            for (int k = 0; k <= 20; ++k) {
                const float y = static_cast<float>(k) * 0.05f * height - 1.0f;
                target->drawLine(Point{0.0f, y}, Point{width - 1.0f, y}, brush.get(), 1.0f,
                                 nullptr);
            }
        }
    }
    target->endDraw();
    return target->getBitmap(background_.put()) == mp::MP_OK && background_;
}

void PlotterGUI::addColumns(IMpBitmap* image, int32_t w, int32_t h, float height) {
    MpRef<IMpBitmapPixels> pixels;
    if (image->lockPixels(pixels.put(), LOCK_READ_WRITE) != mp::MP_OK || !pixels) return;
    uint8_t* bytes = pixels->getAddress();
    // Rows are taken as exactly w pixels of 4 bytes.
    if (bytes == nullptr) return;
    auto* image32 = reinterpret_cast<uint32_t*>(bytes);

    // The chart's pixels are alpha, red, green, blue from bit 31 down,
    // whatever the image's own format.
    const display::PixelPacker pack = display::pixelPacker(PIXEL_ARGB);
    const Colour bars = colours_[kBars];
    const uint32_t full = pack(bars.a, bars.r, bars.g, bars.b);
    const float half = height * 0.5f;
    const size_t stride = static_cast<size_t>(w);

    // Only the newest w pairs can show: each column scrolls the whole width.
    const size_t count = pending_.size();
    const size_t first = count > stride ? count - stride : 0;
    for (size_t i = first; i < count; ++i) {
        const Pair pair = pending_[i];
        // Scroll every row one pixel to the left.
        if (w > 1)
            for (int32_t r = 0; r < h; ++r)
                std::memmove(image32 + r * stride, image32 + r * stride + 1, (stride - 1) * 4);
        uint32_t* column = image32 + (stride - 1);

        const float yLow = half - pair.minimum * half;
        const float yHigh = half - pair.maximum * half;
        // A NaN maximum has no top row: its column stays empty. (A NaN
        // minimum is not below the height, so the bar reaches the bottom row.)
        if (std::isnan(yHigh)) {
            for (int32_t r = 0; r < h; ++r) column[r * stride] = 0;
            continue;
        }

        // Bottom row of the bar and the coverage of the pixel below it.
        float b, fb = 0.0f;
        if (yLow < height) {
            if (yLow < 0.0f) {
                b = 0.0f;
            } else {
                b = std::trunc(yLow);
                fb = yLow - b;
            }
        } else {
            b = std::trunc(height - 1.0f);
            fb = (height - 1.0f) - b;
        }
        // Top row of the bar and the coverage of the pixel above it.
        float t, ct = 0.0f;
        const bool topEdge = !(yHigh < 0.0f);
        if (!topEdge) {
            t = 0.0f;
        } else if (yHigh >= height) {
            t = std::trunc(height - 1.0f);
            ct = (1.0f - (height - 1.0f)) + t;
        } else {
            t = std::trunc(yHigh);
            ct = (1.0f - yHigh) + t;
        }
        for (int32_t r = 0; r < h; ++r) {
            const float row = static_cast<float>(r);
            column[r * stride] = (t <= row && row <= b) ? full : 0u;
        }
        // Rows are compared as floats, so no index can leave the picture.
        if (topEdge && t > 0.0f && t - 1.0f < static_cast<float>(h))
            column[static_cast<size_t>(t - 1.0f) * stride] =
                pack(ct * bars.a, bars.r, bars.g, bars.b);
        if (b < static_cast<float>(h - 1))
            column[static_cast<size_t>(b + 1.0f) * stride] =
                pack(fb * bars.a, bars.r, bars.g, bars.b);
    }
}
