// The reference host's drawing services, backed by Cairo: a drawing context
// over any Cairo surface, off-screen render targets, bitmaps with pixel
// access, solid and linear-gradient brushes, and the drawing factory.
//
// Colours arrive in linear light and are encoded to sRGB for Cairo. Pixel
// images are Cairo ARGB32 surfaces: premultiplied, alpha in the top byte
// (pixel format code 3), rows of exactly width x 4 bytes.
#pragma once

#include <cairo.h>

#include "gui/mp_drawing_api.h"

namespace zhost {

// A new drawing context drawing into `surface` (which it references), with
// one reference for the caller.
mp_draw::IMpDeviceContext* createCairoContext(cairo_surface_t* surface);

// The drawing factory; the caller owns one reference.
mp_draw::IMpDrawingFactory* createCairoFactory();

// The Cairo surface of a bitmap made by this host, or null.
cairo_surface_t* cairoSurfaceOf(mp_draw::IMpBitmap* bitmap);

// Linear light to the sRGB value Cairo expects (clamped to 0..1).
double linearToSrgb(float v);

}  // namespace zhost
