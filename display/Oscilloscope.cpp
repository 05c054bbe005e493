#include "display/Oscilloscope.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "display/ColourTable.h"
#include "display/DisplayRegistry.h"

using namespace mp;
using namespace mp_draw;
using mp_gui::MpRef;

REGISTER_DISPLAY(Oscilloscope, OscilloscopeGUI, u"Oscilloscope");

// ------------------------------------------------------------------ capture

Oscilloscope::Oscilloscope() : ScopeCapture(kMaxFrameLength, OnResize::restartFrame) {
    registerPin(pinX);
    registerPin(pinY);
    registerPin(pinMode);
    registerPin(pinSweepHz);
    registerPin(pinClear);
    registerPin(pinFrame);
}

void Oscilloscope::onPinsChanged() {
    if (clearPending_ || (pinClear.isUpdated() && pinClear.getValue())) {
        clearPending_ = false;
        pinFrame.setBytes(0, nullptr);
        pinFrame.sendValue(-1);
    }

    bool newIncrement = pinSweepHz.isUpdated();
    if (followRate()) newIncrement = true;
    if (newIncrement) {
        const float rate = sampleRate();
        if (rate > 0.0f) {
            // At most one period per sample either way; a negative frequency
            // sweeps from right to left.
            float f = pinSweepHz.getValue();
            if (!(f < rate)) f = rate;  // also a NaN frequency
            if (f < -rate) f = -rate;
            setIncrement(f / rate);
        } else {
            setIncrement(0.0f);
        }
    }
    followMode();
}

// ------------------------------------------------------------------ display

OscilloscopeGUI::OscilloscopeGUI() {
    initializePin(pinFrame, &OscilloscopeGUI::onFrame);
    initializeColourPins();
    initializeDivisionPins();
    initializePin(pinDecay);
}

void OscilloscopeGUI::onFrame() {
    pointCount_ = pinFrame.getValue().size() / 8;
    if (pointCount_ != 0)
        newData_ = true;
    else
        trace_.release();  // the clear message
    invalidateRect();
}

int32_t OscilloscopeGUI::render(IMpUnknown* drawingContext) {
    MpRef<IMpDeviceContext> context;
    if (!context.queryFrom(drawingContext, kIID_IMpDeviceContext)) return MP_OK;

    const display::ModuleSize size = drawScopeLayers(context.get());
    if (size.w > 0 && size.h > 0) {
        if (!trace_) {
            MpRef<IMpDrawingFactory> factory;
            if (getDrawingFactory(factory)) factory->createImage(size.w, size.h, trace_.put());
        }
        if (newData_ && trace_) plotFrame(trace_.get(), size.w, size.h, size.width, size.height);
        display::drawLayer(context.get(), trace_.get(), size.width, size.height);
    }
    newData_ = false;
    return MP_OK;
}

void OscilloscopeGUI::plotFrame(IMpBitmap* image, int32_t w, int32_t h, float width, float height) {
    MpRef<IMpBitmapPixels> pixels;
    if (image->lockPixels(pixels.put(), LOCK_READ_WRITE) != MP_OK || !pixels) return;
    uint8_t* bytes = pixels->getAddress();
    // Rows are taken as exactly w pixels of 4 bytes.
    if (bytes == nullptr) return;

    // A negative (or NaN) decay would brighten with age; it counts as 0.
    float decay = pinDecay.getValue();
    if (!(decay > 0.0f)) decay = 0.0f;
    const float step = 1.0f / (decay * 10.0f + 1.0f);
    // The points are read from the pin itself: a value set but not yet
    // notified may have moved its storage.
    const MpBlob& blob = pinFrame.getValue();
    const auto* points = reinterpret_cast<const ScopePoint*>(blob.data());
    const int64_t n = std::min(pointCount_, blob.size() / 8);

    // Fade the whole picture once per frame, all four bytes of each pixel.
    const size_t byteCount = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    if (byteCount > 0) {
        const float fade = static_cast<float>(n) * step * 255.0f;
        const unsigned f = fade < 255.0f ? static_cast<unsigned>(fade) : 255u;
        for (size_t i = 0; i < byteCount; ++i)
            bytes[i] = static_cast<uint8_t>(bytes[i] > f ? bytes[i] - f : 0u);
    }

    const display::PixelPacker packer = display::pixelPacker(pixels->getPixelFormat());
    const Colour trace = colours_.trace;
    const float xScale = 10.0f / xDivisions_;
    const float yScale = 10.0f / yDivisions_;
    const float fw = static_cast<float>(w);
    const float fh = static_cast<float>(h);
    float alpha = trace.a;
    // Newest first, so where points share a pixel the oldest one stays.
    for (int64_t k = n - 1; k >= 0; --k) {
        ScopePoint p;
        std::memcpy(&p, points + k, sizeof p);
        const float column = std::trunc((p.x * xScale + 1.0f) * 0.5f * (width - 1.0f));
        const float row = std::trunc((height - 1.0f) * ((1.0f - yScale * p.y) * 0.5f));
        // Tested as floats, so NaN and huge coordinates are skipped safely.
        if (column >= 0.0f && column < fw && row >= 0.0f && row < fh) {
            const size_t at =
                static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(column);
            const uint32_t pixel = packer(alpha, trace.r, trace.g, trace.b);
            std::memcpy(bytes + at * 4, &pixel, 4);
        }
        if (alpha > 0.0f) {
            alpha = alpha - step;
            if (alpha < 0.0f) alpha = 0.0f;
        }
    }
}
