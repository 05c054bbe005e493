// Colour texts as the display modules read them from their string pins.
#include <cstring>
#include <string>

#include "display/ColourTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    (void)display::parseColourValue(text);
    const mp_draw::Colour c =
        display::colourFromText(text, mp_draw::Colour{0.1f, 0.2f, 0.3f, 1.0f});
    // Channels come out of a byte each: never NaN, never outside 0..1.
    if (!(c.r >= 0.0f && c.r <= 1.0f && c.g >= 0.0f && c.g <= 1.0f && c.b >= 0.0f && c.b <= 1.0f &&
          c.a >= 0.0f && c.a <= 1.0f))
        __builtin_trap();
    return 0;
}
