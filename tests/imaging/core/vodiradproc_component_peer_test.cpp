// Judges the processing component's grey conversion against ImageMagick's -grayscale Rec709Luma.
#include "imaging/core/vodiradproc_component.h"

#include "imaging/core/iebitmap.h"
#include "peer_test_util.h"

#include <gtest/gtest.h>

#include <random>

using namespace imaging;
using namespace imaging::test;

namespace {

TEST(ProcPeer, GreyMatchesImageMagickRec709Luma)
{
    TempDir dir("proc_peer");
    TPnm pic{64, 32, 3, {}};
    std::mt19937 rng(5);
    for (int i = 0; i < 64 * 32 * 3; ++i)
        pic.data.push_back(std::uint8_t(rng()));
    WritePnm(dir.File("in.ppm"), pic);
    ASSERT_EQ(Convert("'" + dir.File("in.ppm") +
                      "' -grayscale Rec709Luma -depth 8 'pgm:" + dir.File("out.pgm") + "'"),
              0);
    const TPnm peer = ReadPnm(dir.File("out.pgm"));
    ASSERT_EQ(peer.data.size(), std::size_t(64 * 32));
    TVodirAdProc proc(nullptr);
    TIEBitmap& bmp = *proc.Bitmap();
    bmp.Allocate(64, 32, ie24RGB);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::uint8_t* p = &pic.data[std::size_t((y * 64 + x) * 3)];
            bmp.SetPixel24(x, y, TRGB{p[2], p[1], p[0]});
        }
    proc.ConvertToGray();
    int worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            worst = std::max(worst, std::abs(bmp.GetPixel24(x, y).g - peer.data[std::size_t(y * 64 + x)]));
    // The integer weights 21/71/8 round the peer's 21.26/71.52/7.22: pure blue differs by 1.6.
    EXPECT_LE(worst, 2);
}

}  // namespace
