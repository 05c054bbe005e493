// Colour handling shared by the display GUIs: the process-wide colour table
// (sRGB <-> linear light), colour texts, and the pixel packers that write a
// linear colour into a 32-bit premultiplied pixel.
#pragma once

#include <cstdint>
#include <string>

#include "gui/mp_drawing_api.h"

namespace display {

// 1024 floats, filled once while the library loads (fillColourTable), then
// only read:
//   [0, 256)    sRGB byte i -> linear light
//   [256, 512)  (i/255)^2.2
//   [512, 768)  linear value of the lower decision threshold of sRGB code i
//   [768, 1024) sRGB encoding of (i/255)^2.2
extern float colourTable[1024];
enum : int32_t { kSrgbToLinear = 0, kGamma22 = 256, kSrgbThreshold = 512, kGamma22Srgb = 768 };

// Fills the table unless it is filled already. Called by the display
// registrations before they register anything.
void fillColourTable();
bool colourTableFilled();

// 1/255 as the nearest float.
constexpr float kByteScale = 0.003921568859368563f;

// A colour from sRGB bytes and an alpha byte (alpha = byte / 255).
mp_draw::Colour colourFromBytes(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha);
// The 32-bit value of a colour text: an unsigned hexadecimal number, leading
// blanks and "0x" accepted, stopping at the first other character (none: 0),
// values above 32 bits saturating to all ones.
uint32_t parseColourValue(const std::u16string& text);
// AARRGGBB text to a colour; an empty text gives `fallback`.
mp_draw::Colour colourFromText(const std::u16string& text, const mp_draw::Colour& fallback);

// The sRGB byte of a linear value, by binary search over the thresholds.
uint32_t linearToSrgbByte(float value);

// Packs (alpha, linear red, green, blue) into a premultiplied pixel.
using PixelPacker = uint32_t (*)(float alpha, float red, float green, float blue);
// The packer for a host pixel format code (unknown codes pack as code 2).
PixelPacker pixelPacker(int32_t formatCode);

}  // namespace display
