#include "display/ColourTable.h"

#include <cmath>

namespace display {

float colourTable[1024];

namespace {

bool g_filled = false;

double srgbDecode(double v) {
    return v <= 0.0404482362771082 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double srgbEncode(double v) {
    return v <= 0.00313066844250063 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

// Premultiplied sRGB bytes of a linear colour.
struct Packed {
    uint32_t a, r, g, b;
};

inline Packed pack(float alpha, float red, float green, float blue) {
    const float af = alpha * 255.0f;
    // Alpha outside 0..1 (or NaN) would spill into the neighbouring bytes.
    const uint32_t a = af >= 1.0f ? (af < 255.0f ? static_cast<uint32_t>(af) : 255u) : 0u;
    return {a, (linearToSrgbByte(red) * a) >> 8, (linearToSrgbByte(green) * a) >> 8,
            (linearToSrgbByte(blue) * a) >> 8};
}

uint32_t packBGRA(float alpha, float r, float g, float b) {
    const Packed p = pack(alpha, r, g, b);
    return p.b << 24 | p.g << 16 | p.r << 8 | p.a;
}
uint32_t packABGR(float alpha, float r, float g, float b) {
    const Packed p = pack(alpha, r, g, b);
    return p.a << 24 | p.b << 16 | p.g << 8 | p.r;
}
uint32_t packRGBA(float alpha, float r, float g, float b) {
    const Packed p = pack(alpha, r, g, b);
    return p.r << 24 | p.g << 16 | p.b << 8 | p.a;
}
uint32_t packARGB(float alpha, float r, float g, float b) {
    const Packed p = pack(alpha, r, g, b);
    return p.a << 24 | p.r << 16 | p.g << 8 | p.b;
}

bool isBlank(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace

void fillColourTable() {
    if (g_filled) return;
    g_filled = true;
    colourTable[kSrgbToLinear] = 0.0f;
    colourTable[kGamma22] = 0.0f;
    colourTable[kSrgbThreshold] = 0.0f;
    colourTable[kGamma22Srgb] = 0.0f;
    for (int i = 1; i < 256; ++i) {
        const double c = i * 0.003921568859368563;
        const double g = std::pow(c, 2.2);
        colourTable[kSrgbToLinear + i] = static_cast<float>(srgbDecode(c));
        colourTable[kGamma22 + i] = static_cast<float>(g);
        colourTable[kSrgbThreshold + i] = static_cast<float>(srgbDecode((i - 0.5) / 255.0));
        colourTable[kGamma22Srgb + i] = static_cast<float>(srgbEncode(g));
    }
}

bool colourTableFilled() {
    return g_filled;
}

mp_draw::Colour colourFromBytes(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
    mp_draw::Colour c;
    c.r = colourTable[kSrgbToLinear + (red & 255)];
    c.g = colourTable[kSrgbToLinear + (green & 255)];
    c.b = colourTable[kSrgbToLinear + (blue & 255)];
    c.a = static_cast<float>(alpha & 255) * kByteScale;
    return c;
}

uint32_t parseColourValue(const std::u16string& text) {
    // The conversion rules of the standard unsigned conversion with base 16.
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // "0x" counts only when a digit follows; otherwise the 0 is the number.
    if (i + 2 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    uint64_t v = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        const int d = hexDigit(text[i]);
        if (d < 0) break;
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) overflow = true;
        if (overflow) v = 0xFFFFFFFFull;
    }
    if (overflow) return 0xFFFFFFFFu;
    const uint32_t r = static_cast<uint32_t>(v);
    return negative ? 0u - r : r;
}

mp_draw::Colour colourFromText(const std::u16string& text, const mp_draw::Colour& fallback) {
    if (text.empty()) return fallback;
    const uint32_t v = parseColourValue(text);
    return colourFromBytes(v >> 16, v >> 8, v, v >> 24);
}

uint32_t linearToSrgbByte(float value) {
    const float* t = colourTable + kSrgbThreshold;
    uint32_t s = 0;
    for (uint32_t step = 128; step > 0; step >>= 1)
        if (value > t[s + step]) s += step;
    return s;
}

PixelPacker pixelPacker(int32_t formatCode) {
    switch (formatCode) {
        case mp_draw::PIXEL_BGRA:
            return &packBGRA;
        case mp_draw::PIXEL_ABGR:
            return &packABGR;
        case mp_draw::PIXEL_ARGB:
        case mp_draw::PIXEL_ARGB_SRGB:
            return &packARGB;
        default:
            return &packRGBA;
    }
}

}  // namespace display
