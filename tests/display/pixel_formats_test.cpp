// The trace image's pixels are packed in the order the host's format code
// names, for every code a host may report.
#include <gtest/gtest.h>

#include "display/recording_host.h"

namespace {

using namespace ztest_draw;

enum { gFrame = 0, gColour1, gColour2, gColour3, gColour4, gColour5, gXDiv, gYDiv, gDecay };

uint32_t plotOnePoint(int32_t formatCode) {
    imageFormat() = formatCode;
    Gui g(u"Oscilloscope", 11.0f, 11.0f);
    for (int pin : {gColour1, gColour2, gColour4, gColour5}) g.setText(pin, u"0");
    g.setText(gColour3, u"FFFF0000");  // opaque red: colour byte (255 * 255) >> 8 = 254
    const float point[2] = {0.0f, 0.0f};
    g.set(gFrame, point, sizeof point);
    auto c = g.render();
    const auto ls = layers(*c);
    imageFormat() = mp_draw::PIXEL_ARGB;
    if (ls.size() != 1u) return 0xDEADBEEFu;
    return ls[0]->at(5, 5);
}

TEST(PixelFormats, EachCodePacksItsOwnByteOrder) {
    EXPECT_EQ(plotOnePoint(0), 0x0000FEFFu);  // blue, green, red, alpha
    EXPECT_EQ(plotOnePoint(1), 0xFF0000FEu);  // alpha, blue, green, red
    EXPECT_EQ(plotOnePoint(2), 0xFE0000FFu);  // red, green, blue, alpha
    EXPECT_EQ(plotOnePoint(3), 0xFFFE0000u);  // alpha, red, green, blue
    EXPECT_EQ(plotOnePoint(4), 0xFFFE0000u);
    EXPECT_EQ(plotOnePoint(7), 0xFE0000FFu);  // unknown codes pack as code 2
    EXPECT_EQ(plotOnePoint(-1), 0xFE0000FFu);
}

}  // namespace
