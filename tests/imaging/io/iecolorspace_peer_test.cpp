// CIE L*a*b* decoding judged by libtiff's own: the XYZ of every encoded L* with a spread of a* and b*
// must equal TIFFCIELabToXYZ's under the same reference white.
#include "imaging/io/iecolorspace.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <memory>

using namespace imaging;

namespace {

TEST(CieLabPeer, XyzMatchesLibtiffUnderEachWhite)
{
    for (const auto& [wx, wy] :
         {std::pair{TIELabSpace::kD50X, TIELabSpace::kD50Y}, {0.3127, 0.3290}, {0.4476, 0.4074}}) {
        const TIELabSpace ours(wx, wy);
        float white[3] = {float(wx / wy * 100), 100.0F, float((1 - wx - wy) / wy * 100)};
        TIFFDisplay display = {
            {{3.2410F, -1.5374F, -0.4986F}, {-0.9692F, 1.8760F, 0.0416F}, {0.0556F, -0.2040F, 1.0570F}},
            100.0F,
            100.0F,
            100.0F,
            255,
            255,
            255,
            1.0F,
            1.0F,
            1.0F,
            2.4F,
            2.4F,
            2.4F};
        auto peer = std::make_unique<TIFFCIELabToRGB>();
        ASSERT_EQ(TIFFCIELabToRGBInit(peer.get(), &display, white), 0);
        int checked = 0;
        for (int L = 0; L < 256; ++L)
            for (int a = -128; a < 128; a += 17)
                for (int b = -128; b < 128; b += 23) {
                    float px, py, pz;
                    TIFFCIELabToXYZ(peer.get(), std::uint32_t(L), a, b, &px, &py, &pz);
                    const std::uint8_t lab[3] = {std::uint8_t(L), std::uint8_t(std::int8_t(a)),
                                                 std::uint8_t(std::int8_t(b))};
                    double x, y, z;
                    ours.LabToXYZ(lab, x, y, z);
                    // libtiff works in floats with rounded constants.
                    ASSERT_NEAR(x, px, 0.05 + 1e-4 * std::abs(px)) << L << " " << a << " " << b;
                    ASSERT_NEAR(y, py, 0.05 + 1e-4 * std::abs(py)) << L << " " << a << " " << b;
                    ASSERT_NEAR(z, pz, 0.05 + 1e-4 * std::abs(pz)) << L << " " << a << " " << b;
                    ++checked;
                }
        EXPECT_GT(checked, 10000);
    }
}

}  // namespace
