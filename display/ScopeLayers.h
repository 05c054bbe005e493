// Drawing shared by the display GUIs: the cached background and grid layers
// of the oscilloscopes, a vertical gradient fill, and drawing a layer.
#pragma once

#include "gui/mp_drawing_api.h"
#include "gui/mp_ref.h"

namespace display {

// The five colours of an oscilloscope picture.
struct ScopeColours {
    mp_draw::Colour backgroundTop, backgroundBottom, trace, grid, axes;
};

// The default colours of both oscilloscopes (needs the colour table).
ScopeColours defaultScopeColours();

// Draws a cached layer over the whole module, (0, 0, width, height), at
// opacity 1 with linear interpolation. The source is the layer's own
// (0, 0, width, height): layers are drawn from the origin whatever the
// module's place in the editor.
void drawLayer(mp_draw::IMpDeviceContext* context, mp_draw::IMpBitmap* layer, float width,
               float height);

// Fills (0, 0, width - 1, height - 1) of `target` with a vertical gradient
// from `top` at y = 0 to `bottom` at y = height - 1.
void fillVerticalGradient(mp_draw::IMpDeviceContext* target, float width, float height,
                          const mp_draw::Colour& top, const mp_draw::Colour& bottom);

// Builds the background layer (gradient) into `out`; false if the host
// could not create it.
bool buildScopeBackground(mp_draw::IMpDeviceContext* context, float width, float height,
                          const ScopeColours& colours, mp_gui::MpRef<mp_draw::IMpBitmap>& out);

// Builds the grid layer: the two centre lines and floor(divisions) lines on
// each side of them, one division being 1/divisions of the half size.
bool buildScopeGrid(mp_draw::IMpDeviceContext* context, float width, float height,
                    const ScopeColours& colours, float xDivisions, float yDivisions,
                    mp_gui::MpRef<mp_draw::IMpBitmap>& out);

// Width and height of a module rectangle, and their whole pixel counts
// (0 for a negative, NaN or absurd size).
struct ModuleSize {
    float width = 0.0f, height = 0.0f;
    int32_t w = 0, h = 0;
};
ModuleSize moduleSize(const mp_draw::Rect& rect);

}  // namespace display
