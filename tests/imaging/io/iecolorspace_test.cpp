// CIE L*a*b* in TIFF's 8-bit encoding and the row converter: white and black at their ends, the
// grey axis neutral, published values of the sRGB primaries, and round trips.
#include "imaging/io/iecolorspace.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace imaging;

namespace {

struct Lab {
    int L, a, b;
};

Lab ToLab(const TIELabSpace& s, std::uint32_t rgb)
{
    std::uint8_t v[3];
    s.RGBToLab(v, rgb);
    return {v[0], std::int8_t(v[1]), std::int8_t(v[2])};
}

std::uint32_t ToRgb(const TIELabSpace& s, int L, int a, int b)
{
    const std::uint8_t v[3] = {std::uint8_t(L), std::uint8_t(std::int8_t(a)), std::uint8_t(std::int8_t(b))};
    std::uint8_t bgr[3];
    s.LabToRGB(bgr, v);
    return std::uint32_t(bgr[2]) << 16 | std::uint32_t(bgr[1]) << 8 | bgr[0];
}

TEST(CieLab, WhiteAndBlackSitAtTheEndsWhateverTheWhite)
{
    const TIELabSpace whites[] = {TIELabSpace(), TIELabSpace(0.3127, 0.3290), TIELabSpace(0.4476, 0.4074)};
    for (const TIELabSpace& s : whites) {
        const Lab white = ToLab(s, 0xFFFFFF);
        EXPECT_EQ(white.L, 255);
        EXPECT_EQ(white.a, 0);
        EXPECT_EQ(white.b, 0);
        const Lab black = ToLab(s, 0);
        EXPECT_EQ(black.L, 0);
        EXPECT_EQ(ToRgb(s, 255, 0, 0), 0xFFFFFFu);
        EXPECT_EQ(ToRgb(s, 0, 0, 0), 0u);
    }
    std::uint8_t lab[3];
    RGBToLab(lab, 0xFFFFFF);
    EXPECT_EQ(lab[0], 255);
    EXPECT_EQ(lab[1], 0);
    EXPECT_EQ(lab[2], 0);
}

TEST(CieLab, GreysStayOnTheNeutralAxis)
{
    const TIELabSpace s;
    for (int v = 0; v < 256; ++v) {
        const Lab lab = ToLab(s, 0x010101u * std::uint32_t(v));
        EXPECT_EQ(lab.a, 0) << v;
        EXPECT_EQ(lab.b, 0) << v;
        const std::uint32_t back = ToRgb(s, lab.L, 0, 0);
        EXPECT_EQ(back & 0xFF, (back >> 8) & 0xFF);
        EXPECT_EQ(back & 0xFF, back >> 16);
        EXPECT_LE(std::abs(int(back & 0xFF) - v), 1) << v;
    }
    // L* 50 is mid grey: sRGB 119.
    EXPECT_EQ(ToRgb(s, 128, 0, 0), 0x777777u);
}

TEST(CieLab, PrimariesHaveTheirPublishedValues)
{
    // sRGB red, green and blue against D50 (Bradford) and D65, L* a* b* rounded; L* encoded x 2.55.
    const struct {
        std::uint32_t rgb;
        double wx, wy;
        double L, a, b;
    } cases[] = {
        {0xFF0000, TIELabSpace::kD50X, TIELabSpace::kD50Y, 54.29, 80.81, 69.89},
        {0x00FF00, TIELabSpace::kD50X, TIELabSpace::kD50Y, 87.82, -79.29, 80.99},
        {0x0000FF, TIELabSpace::kD50X, TIELabSpace::kD50Y, 29.57, 68.29, -112.03},
        {0xFF0000, 0.3127, 0.3290, 53.24, 80.09, 67.20},
        {0x808080, 0.3127, 0.3290, 53.59, 0, 0},
    };
    for (const auto& c : cases) {
        const Lab lab = ToLab(TIELabSpace(c.wx, c.wy), c.rgb);
        EXPECT_NEAR(lab.L, c.L * 2.55, 1.0) << std::hex << c.rgb;
        EXPECT_NEAR(lab.a, std::clamp(c.a, -128.0, 127.0), 1.0) << std::hex << c.rgb;
        EXPECT_NEAR(lab.b, std::clamp(c.b, -128.0, 127.0), 1.0) << std::hex << c.rgb;
    }
}

TEST(CieLab, ColoursInsideTheEncodingRoundTrip)
{
    const TIELabSpace s;
    int worst = 0;
    // Away from the edges of the gamut: there a half step of a* or b* moves a channel near 0, where
    // sRGB's curve is steepest, by many steps.
    for (int r = 34; r < 222; r += 17)
        for (int g = 34; g < 222; g += 17)
            for (int b = 34; b < 222; b += 17) {
                const std::uint32_t rgb = std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
                const Lab lab = ToLab(s, rgb);
                // a* and b* past a signed byte are clamped; those colours cannot come back.
                if (std::abs(lab.a) >= 127 || std::abs(lab.b) >= 127)
                    continue;
                const std::uint32_t back = ToRgb(s, lab.L, lab.a, lab.b);
                for (int shift : {0, 8, 16})
                    worst =
                        std::max(worst, std::abs(int((back >> shift) & 0xFF) - int((rgb >> shift) & 0xFF)));
            }
    // Whole units of a* and b* (half a unit off at most) move a channel by up to 5.
    EXPECT_LE(worst, 5);
}

TEST(CieLab, AWhiteThatIsNoneMeansD50)
{
    const TIELabSpace d50;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {0.7, 0.5}, {-0.1, 0.3}, {0.3, -1.0}}) {
        const TIELabSpace s(x, y);
        for (int i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(s.White()[i], d50.White()[i]);
    }
}

TEST(ColorSpaceRow, CmykRulesAndLabPairs)
{
    const std::uint8_t bgr[6] = {30, 60, 120, 0, 0, 0};
    std::uint8_t cmyk[8];
    ConvertColorSpaceRow(bgr, kIEColorRGB, cmyk, 2, kIEColorCMYK);
    // K is the largest channel; C, M, Y from red, green, blue x 255 / K.
    EXPECT_EQ(cmyk[0], 255);
    EXPECT_EQ(cmyk[1], 127);
    EXPECT_EQ(cmyk[2], 63);
    EXPECT_EQ(cmyk[3], 120);
    EXPECT_EQ(cmyk[7], 1);  // at least 1
    std::uint8_t back[6];
    ConvertColorSpaceRow(cmyk, kIEColorCMYK, back, 2, kIEColorRGB);
    EXPECT_EQ(back[2], 120);
    EXPECT_NEAR(back[1], 60, 1);
    EXPECT_NEAR(back[0], 30, 1);
    std::uint8_t lab[6];
    ConvertColorSpaceRow(bgr, kIEColorRGB, lab, 2, kIEColorCIELab);
    std::uint8_t again[6];
    IEConvertColorFunction(lab, kIEColorCIELab, again, 2, kIEColorRGB, nullptr);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(again[i], bgr[i], 2) << i;
    std::uint8_t untouched[3] = {1, 2, 3};
    ConvertColorSpaceRow(bgr, kIEColorCMYK, untouched, 1, kIEColorCIELab);
    EXPECT_EQ(untouched[0], 1);
}

}  // namespace
