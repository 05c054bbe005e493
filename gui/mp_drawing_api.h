// The host's drawing services as GUI modules see them: geometry and colour
// types, the drawing context, render targets, bitmaps with pixel access,
// brushes, gradient stops and the drawing factory.
//
// Same conventions as framework/mp_api.h: plain abstract structs whose
// operations sit in declaration order, no virtual destructors (objects go
// with Release), identifiers by reference, int32 results. Every object a
// call hands out carries one reference for the caller.
//
// The operations the modules call stand first in each interface, from
// position 3 on, in the order below, so a host that offers no more than
// those works; anything a module does not call comes after them.
//
// Colours are linear light (red, green, blue) with a straight alpha in 0..1;
// the host converts them for its own surfaces.
#pragma once

#include <cstdint>

#include "framework/mp_api.h"

namespace mp_draw {

struct Point {
    float x = 0.0f;
    float y = 0.0f;
};

struct Size {
    float width = 0.0f;
    float height = 0.0f;
};

struct Rect {
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

struct Colour {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

struct Matrix3x2 {
    float _11 = 1.0f, _12 = 0.0f;
    float _21 = 0.0f, _22 = 1.0f;
    float _31 = 0.0f, _32 = 0.0f;
};

struct GradientStop {
    float position = 0.0f;
    Colour colour;
};

struct BrushProperties {
    float opacity = 1.0f;
    Matrix3x2 transform;
};

struct LinearGradientBrushProperties {
    Point start;
    Point end;
};

// Interpolation modes of drawBitmap.
enum : int32_t { INTERPOLATION_NEAREST = 0, INTERPOLATION_LINEAR = 1 };

// Pixel lock modes.
enum : int32_t { LOCK_READ = 1, LOCK_WRITE = 2, LOCK_READ_WRITE = 3 };

// Pixel format codes: how a 32-bit pixel holds its channels, from bit 31
// down. All are premultiplied by alpha.
enum : int32_t {
    PIXEL_BGRA = 0,       // blue, green, red, alpha
    PIXEL_ABGR = 1,       // alpha, blue, green, red
    PIXEL_RGBA = 2,       // red, green, blue, alpha
    PIXEL_ARGB = 3,       // alpha, red, green, blue
    PIXEL_ARGB_SRGB = 4,  // as 3, for surfaces the host keeps in sRGB
};

// {A1D9751D-0C43-4F57-8958-E0BCE359B2FD}
inline constexpr mp::MpGuid kIID_IMpDeviceContext = {
    0xA1D9751D, 0x0C43, 0x4F57, {0x89, 0x58, 0xE0, 0xBC, 0xE3, 0x59, 0xB2, 0xFD}};
// {5B0F1E8A-3C6D-4A27-9E41-7D2C58B6A903}
inline constexpr mp::MpGuid kIID_IMpBitmapRenderTarget = {
    0x5B0F1E8A, 0x3C6D, 0x4A27, {0x9E, 0x41, 0x7D, 0x2C, 0x58, 0xB6, 0xA9, 0x03}};
// {C2A47E19-8D35-4B6F-A1C0-39E6F25D7B84}
inline constexpr mp::MpGuid kIID_IMpBitmap = {
    0xC2A47E19, 0x8D35, 0x4B6F, {0xA1, 0xC0, 0x39, 0xE6, 0xF2, 0x5D, 0x7B, 0x84}};
// {7E63B2D0-1A94-4C58-8F27-B5D04C19E6A2}
inline constexpr mp::MpGuid kIID_IMpBitmapPixels = {
    0x7E63B2D0, 0x1A94, 0x4C58, {0x8F, 0x27, 0xB5, 0xD0, 0x4C, 0x19, 0xE6, 0xA2}};
// {3F9A0C6B-E247-4D81-B53E-62A8D1F07C95}
inline constexpr mp::MpGuid kIID_IMpBrush = {
    0x3F9A0C6B, 0xE247, 0x4D81, {0xB5, 0x3E, 0x62, 0xA8, 0xD1, 0xF0, 0x7C, 0x95}};
// {9D14F7A2-6B08-4E3C-A7D5-0C83E95B21F6}
inline constexpr mp::MpGuid kIID_IMpSolidColourBrush = {
    0x9D14F7A2, 0x6B08, 0x4E3C, {0xA7, 0xD5, 0x0C, 0x83, 0xE9, 0x5B, 0x21, 0xF6}};
// {E8B53C17-04FA-4962-9B1D-A6F27C30D845}
inline constexpr mp::MpGuid kIID_IMpLinearGradientBrush = {
    0xE8B53C17, 0x04FA, 0x4962, {0x9B, 0x1D, 0xA6, 0xF2, 0x7C, 0x30, 0xD8, 0x45}};
// {41C7D9E3-B52A-4F06-8C94-D03B6A17E258}
inline constexpr mp::MpGuid kIID_IMpGradientStopCollection = {
    0x41C7D9E3, 0xB52A, 0x4F06, {0x8C, 0x94, 0xD0, 0x3B, 0x6A, 0x17, 0xE2, 0x58}};
// {0A8E6F24-73C1-4B9D-95E2-18F4C7A3D06B}
inline constexpr mp::MpGuid kIID_IMpStrokeStyle = {
    0x0A8E6F24, 0x73C1, 0x4B9D, {0x95, 0xE2, 0x18, 0xF4, 0xC7, 0xA3, 0xD0, 0x6B}};
// {B6D2A851-F03E-47C9-82B7-5E19D46C3A0F}
inline constexpr mp::MpGuid kIID_IMpDrawingFactory = {
    0xB6D2A851, 0xF03E, 0x47C9, {0x82, 0xB7, 0x5E, 0x19, 0xD4, 0x6C, 0x3A, 0x0F}};

struct IMpBitmapRenderTarget;

struct IMpBrush : mp::IMpUnknown {
    virtual int32_t setOpacity(float opacity) = 0;  // 3
    virtual float getOpacity() = 0;                 // 4
};

struct IMpSolidColourBrush : IMpBrush {
    virtual int32_t setColour(const Colour& colour) = 0;  // 5
    virtual int32_t getColour(Colour* colour) = 0;        // 6
};

struct IMpGradientStopCollection : mp::IMpUnknown {
    virtual int32_t getStopCount() = 0;  // 3
};

struct IMpLinearGradientBrush : IMpBrush {
    virtual int32_t setStartPoint(Point p) = 0;  // 5
    virtual int32_t setEndPoint(Point p) = 0;    // 6
};

struct IMpStrokeStyle : mp::IMpUnknown {};

// Direct access to a bitmap's pixels while the lock object lives; releasing
// it hands the pixels back to the host.
// The modules call only getAddress and getPixelFormat and take rows as
// exactly width x 4 bytes; getBytesPerRow is for the host's own use.
struct IMpBitmapPixels : mp::IMpUnknown {
    virtual uint8_t* getAddress() = 0;     // 3: null if unavailable
    virtual int32_t getPixelFormat() = 0;  // 4: a PIXEL_* code
    virtual int32_t getBytesPerRow() = 0;  // 5
};

struct IMpBitmap : mp::IMpUnknown {
    virtual int32_t lockPixels(IMpBitmapPixels** out, int32_t lockMode) = 0;  // 3
    virtual int32_t getSize(Size* size) = 0;                                  // 4
};

// The drawing context handed to a GUI module's render, and the interface of
// every render target. Coordinates are the module's own, from (0, 0).
struct IMpDeviceContext : mp::IMpUnknown {
    virtual int32_t createSolidColourBrush(const Colour& colour,
                                           IMpSolidColourBrush** out) = 0;  // 3
    virtual int32_t createGradientStopCollection(const GradientStop* stops, int32_t count,
                                                 IMpGradientStopCollection** out) = 0;  // 4
    virtual int32_t createLinearGradientBrush(const LinearGradientBrushProperties& line,
                                              const BrushProperties& brush,
                                              IMpGradientStopCollection* stops,
                                              IMpLinearGradientBrush** out) = 0;  // 5
    virtual void drawLine(Point p1, Point p2, IMpBrush* brush, float strokeWidth,
                          IMpStrokeStyle* style) = 0;                   // 6
    virtual void fillRectangle(const Rect& rect, IMpBrush* brush) = 0;  // 7
    virtual void drawBitmap(IMpBitmap* bitmap, const Rect& destination, float opacity,
                            int32_t interpolation, const Rect& source) = 0;  // 8
    virtual void clear(const Colour& colour) = 0;                            // 9
    virtual void beginDraw() = 0;                                            // 10
    virtual int32_t endDraw() = 0;                                           // 11
    virtual int32_t createCompatibleRenderTarget(Size size,
                                                 IMpBitmapRenderTarget** out) = 0;  // 12
};

// An off-screen drawing context whose result is kept as a bitmap: the
// context's operations, then getBitmap right after them.
struct IMpBitmapRenderTarget : IMpDeviceContext {
    virtual int32_t getBitmap(IMpBitmap** out) = 0;  // 13
};

// Handed out by the graphics host's getDrawingFactory as it is (not queried).
struct IMpDrawingFactory : mp::IMpUnknown {
    // 3: a w x h bitmap with pixel access; a new one is fully transparent.
    virtual int32_t createImage(int32_t width, int32_t height, IMpBitmap** out) = 0;
};

}  // namespace mp_draw
