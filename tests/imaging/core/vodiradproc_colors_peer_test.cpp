// Judges the threshold conversion against ImageMagick's -threshold on the same grey image.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "bitmap_test_util.h"
#include "peer_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace imaging;
using namespace imaging::test;

namespace {

TEST(BWThresholdPeer, MatchesImageMagickThresholdOnGreyImages)
{
    TPnm grey{37, 23, 1, {}};
    std::mt19937 rng(11);
    for (int i = 0; i < grey.width * grey.height; ++i)
        grey.data.push_back(std::uint8_t(rng()));
    TempDir dir("threshold_peer");
    WritePnm(dir.File("in.pgm"), grey);

    TIEBitmap src;
    src.Allocate(grey.width, grey.height, ie24RGB);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) {
            const std::uint8_t v = grey.data[std::size_t(y * grey.width + x)];
            const TRGB c{v, v, v};
            std::memcpy(src.ScanLine(y) + x * 3, &c, 3);
        }
    for (int t : {1, 64, 128, 200, 255}) {
        // White when grey >= t: the peer's cut sits half a level below t.
        char percent[32];
        std::snprintf(percent, sizeof percent, "%.6f%%", (t - 0.5) / 255.0 * 100.0);
        ASSERT_EQ(Convert("'" + dir.File("in.pgm") + "' -threshold " + percent +
                          " -depth 8 'pgm:" + dir.File("out.pgm") + "'"),
                  0);
        const TPnm peer = ReadPnm(dir.File("out.pgm"));
        ASSERT_EQ(peer.data.size(), grey.data.size());
        TIEBitmap dst;
        BWThreshold(&src, &dst, t);
        ASSERT_EQ(dst.GetPixelFormat(), ie1g);
        for (int y = 0; y < grey.height; ++y)
            for (int x = 0; x < grey.width; ++x)
                ASSERT_EQ(GetPixelBit(dst.ScanLine(y), x) != 0,
                          peer.data[std::size_t(y * grey.width + x)] == 255)
                    << "threshold " << t << " grey " << int(grey.data[std::size_t(y * grey.width + x)]);
    }
}

}  // namespace
