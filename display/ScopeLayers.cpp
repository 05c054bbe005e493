#include "display/ScopeLayers.h"

#include <cmath>

#include "display/ColourTable.h"

using namespace mp_draw;
using mp_gui::MpRef;

namespace display {

namespace {

// Pictures larger than this on a side are not drawn.
constexpr float kMaxSide = 16384.0f;

int32_t wholePixels(float v) {
    return v >= 1.0f && v <= kMaxSide ? static_cast<int32_t>(v) : 0;
}

// A render target of the module's size, begun and cleared to transparent.
bool beginLayer(IMpDeviceContext* context, float width, float height,
                MpRef<IMpBitmapRenderTarget>& target) {
    if (context->createCompatibleRenderTarget(Size{width, height}, target.put()) != mp::MP_OK ||
        !target)
        return false;
    target->beginDraw();
    target->clear(Colour{0.0f, 0.0f, 0.0f, 0.0f});
    return true;
}

bool endLayer(MpRef<IMpBitmapRenderTarget>& target, MpRef<IMpBitmap>& out) {
    target->endDraw();
    return target->getBitmap(out.put()) == mp::MP_OK && out;
}

}  // namespace

ScopeColours defaultScopeColours() {
    ScopeColours c;
    c.backgroundTop = colourFromBytes(0, 0, 0, 255);
    c.backgroundBottom = colourFromBytes(112, 128, 128, 255);
    c.trace = colourFromBytes(0, 255, 176, 255);
    c.grid = colourFromBytes(0, 0, 0, 64);
    c.axes = colourFromBytes(96, 64, 64, 192);
    // The default alphas are the fractions n / 255 themselves; for 192 that
    // is one step below 192 x (1/255 as a float).
    c.axes.a = 192.0f / 255.0f;
    return c;
}

ModuleSize moduleSize(const Rect& r) {
    ModuleSize s;
    s.width = r.right - r.left;
    s.height = r.bottom - r.top;
    s.w = wholePixels(s.width);
    s.h = wholePixels(s.height);
    return s;
}

void drawLayer(IMpDeviceContext* context, IMpBitmap* layer, float width, float height) {
    if (layer == nullptr) return;
    const Rect whole{0.0f, 0.0f, width, height};
    context->drawBitmap(layer, whole, 1.0f, INTERPOLATION_LINEAR, whole);
}

void fillVerticalGradient(IMpDeviceContext* target, float width, float height, const Colour& top,
                          const Colour& bottom) {
    const GradientStop stops[2] = {{0.0f, top}, {1.0f, bottom}};
    MpRef<IMpGradientStopCollection> collection;
    if (target->createGradientStopCollection(stops, 2, collection.put()) != mp::MP_OK ||
        !collection)
        return;
    LinearGradientBrushProperties line;
    line.start = Point{0.0f, 0.0f};
    line.end = Point{0.0f, height - 1.0f};
    BrushProperties props;  // opacity 1, identity transform
    MpRef<IMpLinearGradientBrush> brush;
    if (target->createLinearGradientBrush(line, props, collection.get(), brush.put()) !=
            mp::MP_OK ||
        !brush)
        return;
    target->fillRectangle(Rect{0.0f, 0.0f, width - 1.0f, height - 1.0f}, brush.get());
}

bool buildScopeBackground(IMpDeviceContext* context, float width, float height,
                          const ScopeColours& colours, MpRef<IMpBitmap>& out) {
    MpRef<IMpBitmapRenderTarget> target;
    if (!beginLayer(context, width, height, target)) return false;
    fillVerticalGradient(target.get(), width, height, colours.backgroundTop,
                         colours.backgroundBottom);
    return endLayer(target, out);
}

bool buildScopeGrid(IMpDeviceContext* context, float width, float height,
                    const ScopeColours& colours, float xDivisions, float yDivisions,
                    MpRef<IMpBitmap>& out) {
    MpRef<IMpBitmapRenderTarget> target;
    if (!beginLayer(context, width, height, target)) return false;
    MpRef<IMpSolidColourBrush> gridBrush, axisBrush;
    target->createSolidColourBrush(colours.grid, gridBrush.put());
    target->createSolidColourBrush(colours.axes, axisBrush.put());
    IMpBrush* axis = colours.axes.a != 0.0f ? axisBrush.get() : gridBrush.get();
    IMpBrush* grid = gridBrush.get();
    if (axis != nullptr) {
        target->drawLine(Point{0.0f, height * 0.5f}, Point{width - 1.0f, height * 0.5f}, axis, 1.0f,
                         nullptr);
        target->drawLine(Point{width * 0.5f, 0.0f}, Point{width * 0.5f, height - 1.0f}, axis, 1.0f,
                         nullptr);
    }
    if (grid != nullptr) {
        // Divisions are in (0, 20], so at most 20 lines each way.
        for (float k = std::floor(yDivisions); k > 0.0f; k = k - 1.0f) {
            const float y1 = (k / yDivisions + 1.0f) * height * 0.5f;
            const float y2 = (1.0f - k / yDivisions) * height * 0.5f;
            target->drawLine(Point{0.0f, y1}, Point{width - 1.0f, y1}, grid, 1.0f, nullptr);
            target->drawLine(Point{0.0f, y2}, Point{width - 1.0f, y2}, grid, 1.0f, nullptr);
        }
        for (float k = std::floor(xDivisions); k > 0.0f; k = k - 1.0f) {
            const float x1 = (k / xDivisions + 1.0f) * width * 0.5f;
            const float x2 = (1.0f - k / xDivisions) * width * 0.5f;
            target->drawLine(Point{x1, 0.0f}, Point{x1, height - 1.0f}, grid, 1.0f, nullptr);
            target->drawLine(Point{x2, 0.0f}, Point{x2, height - 1.0f}, grid, 1.0f, nullptr);
        }
    }
    return endLayer(target, out);
}

}  // namespace display
