#include "display/Oscilloscope2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "display/ColourTable.h"
#include "display/DisplayRegistry.h"

using namespace mp_draw;
using mp_gui::MpRef;

REGISTER_DISPLAY(Oscilloscope2, Oscilloscope2GUI, u"Oscilloscope2");

namespace {
// Frames above this many points would be a blob of hundreds of megabytes; no
// real sample rate gets near it (it stands for about 125 MHz).
constexpr int32_t kMaxFrameLength = 1 << 22;
}  // namespace

Oscilloscope2::Oscilloscope2() : ScopeCapture(kMaxFrameLength, OnResize::keepInsideFrame) {
    registerPin(pinX);
    registerPin(pinY);
    registerPin(pinMode);
    registerPin(pinSweepHz);
    registerPin(pinFrame);
}

void Oscilloscope2::onPinsChanged() {
    bool recompute = followRate();
    if (pinSweepHz.isUpdated()) recompute = true;
    if (recompute) {
        // At most one sweep per sample. A negative frequency (or an unusable
        // rate) holds the sweep still instead of letting the phase run away
        // below 0.
        const float increment = std::min(sampleRate(), pinSweepHz.getValue()) / sampleRate();
        setIncrement(increment >= 0.0f ? increment : 0.0f);
    }
    followMode();
}

// ---------------------------------------------------------------- GUI half

Oscilloscope2GUI::Oscilloscope2GUI() {
    initializePin(pinFrame, &Oscilloscope2GUI::onFrame);
    initializeColourPins();
    initializePin(pinLineWidth);
    initializePin(pinConnectAll);
    initializePin(pinFadeLength);
    initializeDivisionPins();
}

void Oscilloscope2GUI::onFrame() {
    pointCount_ = pinFrame.getValue().size() / 8;
    // Each frame replaces the previous trace entirely.
    trace_.release();
    invalidateRect();
}

int32_t Oscilloscope2GUI::render(mp::IMpUnknown* drawingContext) {
    MpRef<IMpDeviceContext> context;
    if (!context.queryFrom(drawingContext, kIID_IMpDeviceContext)) return mp::MP_OK;

    const display::ModuleSize size = drawScopeLayers(context.get());
    if (size.w > 0 && size.h > 0) {
        if (!trace_) buildTrace(context.get(), size.width, size.height);
        display::drawLayer(context.get(), trace_.get(), size.width, size.height);
    }
    return mp::MP_OK;
}

void Oscilloscope2GUI::buildTrace(IMpDeviceContext* context, float width, float height) {
    MpRef<IMpBitmapRenderTarget> target;
    if (context->createCompatibleRenderTarget(Size{width, height}, target.put()) != mp::MP_OK ||
        !target)
        return;
    target->beginDraw();
    target->clear(Colour{0.0f, 0.0f, 0.0f, 0.0f});

    // The points are read from the pin itself, so they are always the
    // current blob's, however the host orders its set and notify calls.
    const MpBlob& blob = pinFrame.getValue();
    const int64_t n = std::min(pointCount_, blob.size() / 8);
    if (n > 0) {
        // Passed on as it is (0 or negative too): what it draws is the host's choice.
        const float strokeWidth = static_cast<float>(pinLineWidth.getValue());
        const bool connectAll = pinConnectAll.getValue();
        const float fadeSpan = static_cast<float>(n - 1) * std::min(1.0f, pinFadeLength.getValue());
        const float step = fadeSpan >= 1.0f ? 1.0f / fadeSpan : 1.0f;
        const float xScale = 10.0f / xDivisions_;
        const float yScale = 10.0f / yDivisions_;
        Colour colour = colours_.trace;
        float alpha = colour.a;

        ScopePoint p;
        std::memcpy(&p, blob.data() + (n - 1) * 8, 8);
        float px = (xScale * p.x + 1.0f) * width * 0.5f;
        float py = (1.0f - yScale * p.y) * height * 0.5f;
        for (int64_t k = n - 2; k >= 0; --k) {
            // A brush per segment: a host's brushes need not be able to
            // change their colour.
            colour.a = alpha;
            MpRef<IMpSolidColourBrush> brush;
            target->createSolidColourBrush(colour, brush.put());
            std::memcpy(&p, blob.data() + k * 8, 8);
            const float qx = (xScale * p.x + 1.0f) * width * 0.5f;
            const float qy = (1.0f - yScale * p.y) * height * 0.5f;
            // Segments with a non-finite end (NaN or infinite samples) are
            // left out; a drawing surface can be put out of order by them.
            if ((px > qx || connectAll) && std::isfinite(px) && std::isfinite(py) &&
                std::isfinite(qx) && std::isfinite(qy) && brush)
                target->drawLine(Point{px, py}, Point{qx, qy}, brush.get(), strokeWidth, nullptr);
            alpha = std::max(0.0f, alpha - step);
            px = qx;
            py = qy;
        }
    }
    target->endDraw();
    target->getBitmap(trace_.put());
}
