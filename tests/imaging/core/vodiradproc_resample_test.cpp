// Tests of the resampling engines: exact cases worked by hand, ImageMagick references for the kernels, edge
// sizes and limits.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/detail/iecpu.h"
#include "imaging/core/iebitmap.h"
#include "bitmap_test_util.h"
#include "platform/rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace imaging;
using namespace imaging::test;

namespace {

constexpr TResampleFilter kKernelFilters[] = {rfTriangle, rfHermite,  rfBell,    rfBSpline,
                                              rfLanczos3, rfMitchell, rfNearest, rfLinear};
constexpr TResampleFilter kAllFilters[] = {rfNone,    rfTriangle,   rfHermite,  rfBell,
                                           rfBSpline, rfLanczos3,   rfMitchell, rfNearest,
                                           rfLinear,  rfFastLinear, rfBilinear, rfBicubic};
// Filters that pass every source pixel through unchanged at scale 1 (the others smooth by design).
constexpr TResampleFilter kInterpolating[] = {rfNone,   rfTriangle,   rfHermite,  rfLanczos3, rfNearest,
                                              rfLinear, rfFastLinear, rfBilinear, rfBicubic};

std::unique_ptr<TIEBitmap> Make(int w, int h, TIEPixelFormat format, Storage storage = Storage::Memory)
{
    auto bmp = MakeBitmap(storage);
    bmp->Allocate(w, h, format);
    return bmp;
}

std::unique_ptr<TIEBitmap> Row24(const std::vector<int>& values)
{
    auto bmp = Make(int(values.size()), 1, ie24RGB);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto v = std::uint8_t(values[i]);
        bmp->SetPixel24(int(i), 0, TRGB{v, v, v});
    }
    return bmp;
}

std::vector<int> Blues(TIEBitmap& bmp, int y = 0)
{
    std::vector<int> out;
    for (int x = 0; x < bmp.GetWidth(); ++x)
        out.push_back(bmp.GetPixel24(x, y).b);
    return out;
}

void FillConstant(TIEBitmap& bmp, std::uint8_t v)
{
    for (int y = 0; y < bmp.GetHeight(); ++y) {
        std::uint8_t* p = bmp.ScanLine(y);
        std::fill(p, p + bmp.GetRowLen(), v);
    }
}

std::string Where(TResampleFilter f, int sw, int sh, int dw, int dh)
{
    return "filter " + std::to_string(int(f)) + " " + std::to_string(sw) + "x" + std::to_string(sh) + " -> " +
           std::to_string(dw) + "x" + std::to_string(dh);
}

// Every byte of the pixels equals v.
::testing::AssertionResult AllBytes(TIEBitmap& bmp, std::uint8_t v)
{
    const std::vector<std::uint8_t> rows = PixelRows(bmp);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] != v)
            return ::testing::AssertionFailure()
                   << "byte " << i << " is " << int(rows[i]) << ", not " << int(v);
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------- hand-worked results

TEST(ResampleHandWorked, TriangleEnlargingKeepsEndColumnsAndWeighsByThirds)
{
    auto src = Row24({0, 255});
    auto dst = Make(4, 1, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfTriangle);
    // Centres 0, 1/3, 2/3, 1; weights 171/85 of 256, sum div total truncates.
    EXPECT_EQ(Blues(*dst), (std::vector<int>{0, 84, 170, 255}));
}

TEST(ResampleHandWorked, NearestBoxReducingTakesLeftNeighbourAndMirrorsTheEdge)
{
    auto src = Row24({30, 60, 90, 120});
    auto dst = Make(2, 1, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfNearest);
    // Output 0 covers j = -1 (mirrored to 1), 0, 1; output 1 covers 2, 3, 4 (mirrored to 3).
    EXPECT_EQ(Blues(*dst), (std::vector<int>{50, 110}));
}

TEST(ResampleHandWorked, NoneTakesTruncatedColumnsAndRows)
{
    auto src = Make(3, 3, ie8g);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            src->ScanLine(y)[x] = std::uint8_t(10 * y + x);
    auto dst = Make(2, 2, ie8g);
    ResampleBitmap(src.get(), dst.get(), rfNone);
    EXPECT_EQ(dst->ScanLine(0)[0], 0);
    EXPECT_EQ(dst->ScanLine(0)[1], 1);
    EXPECT_EQ(dst->ScanLine(1)[0], 10);
    EXPECT_EQ(dst->ScanLine(1)[1], 11);
}

TEST(ResampleHandWorked, FastLinearInterpolatesWith17BitFractionsAndAveragesWhenReducing)
{
    auto src = Row24({0, 255});
    auto up = Make(4, 1, ie24RGB);
    ResampleFiltered(src.get(), up.get(), rfFastLinear);
    EXPECT_EQ(Blues(*up), (std::vector<int>{0, 127, 255, 255}));

    auto src4 = Row24({30, 60, 90, 120});
    auto down = Make(2, 1, ie24RGB);
    ResampleFiltered(src4.get(), down.get(), rfFastLinear);
    // Column 0 averages 0..2 inclusive, the last column takes its own pixel only.
    EXPECT_EQ(Blues(*down), (std::vector<int>{60, 90}));

    // A falling edge must not shift negative products logically.
    auto fall = Row24({200, 0});
    ResampleFiltered(fall.get(), up.get(), rfFastLinear);
    EXPECT_EQ(Blues(*up), (std::vector<int>{200, 100, 0, 0}));
}

TEST(ResampleHandWorked, FastLinearEnlargingDownTheImageBlendsEveryByteOfLongRows)
{
    // Rows of 120 bytes (vector blocks of 32 and 16 and a tail) of random values, two of them spread
    // over five: row y lies at y * 2 / 5 of the source, blended with its fraction in 17 bits.
    std::mt19937 rng(11);
    auto src = Make(40, 2, ie24RGB);
    for (int y = 0; y < 2; ++y)
        for (int i = 0; i < 120; ++i)
            src->ScanLine(y)[i] = std::uint8_t(rng());
    auto dst = Make(40, 5, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfFastLinear);
    const int fracs[5] = {0, 52428, 104857, 26214, 78643};  // 0.4, 0.8, 0.2 and 0.6 of 2^17, truncated
    for (int y = 0; y < 5; ++y) {
        const int y0 = y * 2 / 5, y1 = std::min(y0 + 1, 1);
        for (int i = 0; i < 120; ++i) {
            const int want =
                (src->ScanLine(y0)[i] * ((1 << 17) - fracs[y]) + src->ScanLine(y1)[i] * fracs[y]) >> 17;
            ASSERT_EQ(dst->ScanLine(y)[i], want) << "row " << y << " byte " << i;
        }
    }
}

// Processors without AVX2 take the SSE2 loops: forbidding AVX2 runs those here, and each filter
// must give the same bytes both ways, on rows long enough for every block and tail.
TEST(ResampleHandWorked, EveryFilterGivesTheSameBytesWithAndWithoutAvx2)
{
    std::mt19937 rng(23);
    for (const auto [w, h, dw, dh] :
         {std::array{53, 7, 131, 17}, std::array{97, 40, 40, 97}, std::array{8, 3, 203, 5}}) {
        auto src = Make(w, h, ie24RGB);
        FillRandom(*src, rng);
        for (const TResampleFilter filter : kAllFilters) {
            SCOPED_TRACE(::testing::Message()
                         << "filter " << int(filter) << ", " << w << "x" << h << " to " << dw << "x" << dh);
            auto withAvx2 = Make(dw, dh, ie24RGB);
            auto without = Make(dw, dh, ie24RGB);
            ResampleFiltered(src.get(), withAvx2.get(), filter);
            const bool was = detail::AllowAvx2(false);
            ResampleFiltered(src.get(), without.get(), filter);
            detail::AllowAvx2(was);
            for (int y = 0; y < dh; ++y)
                ASSERT_EQ(std::memcmp(withAvx2->ScanLine(y), without->ScanLine(y), std::size_t(dw) * 3), 0)
                    << "row " << y;
        }
    }
}

TEST(ResampleHandWorked, BilinearAndBicubicMidpoints)
{
    auto src = Row24({0, 255});
    auto dst = Make(4, 1, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfBilinear);
    EXPECT_EQ(Blues(*dst), (std::vector<int>{0, 127, 255, 255}));
    // With a = -1 and edge pixels repeated: 255 * 0.625 - 255 * 0.125 = 127.5.
    ResampleFiltered(src.get(), dst.get(), rfBicubic);
    EXPECT_EQ(Blues(*dst), (std::vector<int>{0, 127, 255, 255}));

    // An uneven neighbourhood tells the kernel apart: a = -1 gives 255 * 0.625 - 100 * 0.125 =
    // 146.875 halfway between 0 and 255 (a = -0.5 would give 137).
    auto uneven = Row24({100, 0, 255, 0});
    auto wide = Make(8, 1, ie24RGB);
    ResampleFiltered(uneven.get(), wide.get(), rfBicubic);
    EXPECT_EQ(wide->GetPixel24(3, 0).b, 146);
    EXPECT_EQ(wide->GetPixel24(2, 0).b, 0);
    ResampleFiltered(uneven.get(), wide.get(), rfBilinear);
    EXPECT_EQ(wide->GetPixel24(3, 0).b, 127);
}

TEST(ResampleHandWorked, PointSamplerReducingAveragesCellsByCoverage)
{
    auto src = Make(3, 1, ie24RGB);
    const int v[] = {30, 90, 200};
    for (int x = 0; x < 3; ++x)
        src->SetPixel24(x, 0, TRGB{std::uint8_t(v[x]), 0, 0});
    auto dst = Make(2, 1, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfBilinear);
    // Cells 0..1.5 and 1.5..3: (30 + 45) / 1.5 = 50, (45 + 200) / 1.5 = 163.33.
    EXPECT_EQ(dst->GetPixel24(0, 0).b, 50);
    EXPECT_EQ(dst->GetPixel24(1, 0).b, 163);
}

TEST(ResampleHandWorked, ShrinkBitsCountsSetBitsInEachWindow)
{
    auto src = Make(4, 1, ie1g);
    SetPixelBit(src->ScanLine(0), 0, true);
    SetPixelBit(src->ScanLine(0), 2, true);
    SetPixelBit(src->ScanLine(0), 3, true);
    auto dst = Make(2, 1, ie24RGB);
    ShrinkBits(src.get(), 0, 0, 3, 0, dst.get());
    // Windows 0..1 (one bit of two) and 1..3 (two of three).
    EXPECT_EQ(dst->GetPixel24(0, 0), (TRGB{127, 127, 127}));
    EXPECT_EQ(dst->GetPixel24(1, 0), (TRGB{170, 170, 170}));
}

// ---------------------------------------------------------------- identity, constants, nearest for every
// format

TEST(ResampleExactness, InterpolatingFiltersCopyAtTheSameSize)
{
    std::mt19937 rng(7);
    for (const Storage storage : {Storage::Memory, Storage::File}) {
        auto src = Make(13, 9, ie24RGB, storage);
        FillRandom(*src, rng);
        const auto expected = PixelRows(*src);
        for (const TResampleFilter f : kInterpolating) {
            auto dst = Make(13, 9, ie24RGB, storage);
            ResampleBitmap(src.get(), dst.get(), f);
            EXPECT_EQ(PixelRows(*dst), expected) << Where(f, 13, 9, 13, 9) << " " << StorageName(storage)
                                                 << ": " << FirstDifference(PixelRows(*dst), expected);
        }
    }
}

TEST(ResampleExactness, FastLinearCopiesAnUnchangedAxis)
{
    std::mt19937 rng(8);
    auto src = Make(11, 6, ie24RGB);
    FillRandom(*src, rng);
    auto dst = Make(11, 12, ie24RGB);
    ResampleFiltered(src.get(), dst.get(), rfFastLinear);
    // Even rows land on source rows exactly; an averaging of neighbours would change them.
    for (int y = 0; y < 12; y += 2)
        for (int x = 0; x < 11; ++x)
            EXPECT_EQ(dst->GetPixel24(x, y), src->GetPixel24(x, y / 2)) << x << "," << y;
}

TEST(ResampleExactness, DoublingKeepsSourcePixelsOnEvenPositions)
{
    // Even target pixels sit on source pixels (fraction 0), so a row window that slid wrongly
    // or a column off by one shows at once on noise.
    std::mt19937 rng(21);
    auto src = Make(9, 7, ie24RGB);
    FillRandom(*src, rng);
    for (const TResampleFilter f : {rfFastLinear, rfBilinear, rfBicubic, rfNone}) {
        auto dst = Make(18, 14, ie24RGB);
        ResampleBitmap(src.get(), dst.get(), f);
        for (int y = 0; y < 14; y += 2)
            for (int x = 0; x < 18; x += 2)
                ASSERT_EQ(dst->GetPixel24(x, y), src->GetPixel24(x / 2, y / 2))
                    << int(f) << " at " << x << "," << y;
    }
}

TEST(ResampleExactness, ConstantImagesStayConstantForEveryFilterAndScale)
{
    const int sizes[][4] = {{7, 5, 7, 5},  {7, 5, 23, 17}, {23, 17, 7, 5}, {2, 9, 40, 3},
                            {40, 3, 2, 9}, {1, 6, 5, 1},   {6, 1, 1, 4},   {300, 2, 1, 1}};
    for (const auto& s : sizes)
        for (const TResampleFilter f : kAllFilters) {
            auto src = Make(s[0], s[1], ie24RGB);
            FillConstant(*src, 173);
            auto dst = Make(s[2], s[3], ie24RGB);
            ResampleBitmap(src.get(), dst.get(), f);
            EXPECT_TRUE(AllBytes(*dst, 173)) << Where(f, s[0], s[1], s[2], s[3]);

            auto plane = Make(s[0], s[1], ie8g);
            FillConstant(*plane, 61);
            auto planeDst = Make(s[2], s[3], ie8g);
            ResampleFiltered8(plane.get(), planeDst.get(), f);
            EXPECT_TRUE(AllBytes(*planeDst, 61)) << "plane " << Where(f, s[0], s[1], s[2], s[3]);
        }
}

TEST(ResampleExactness, ShrinkingByHundredsIsNotBlack)
{
    // Every weight 256 / 2000 * K rounds to 0 here.
    for (const TResampleFilter f : kKernelFilters) {
        auto src = Make(2000, 3, ie24RGB);
        FillConstant(*src, 200);
        auto dst = Make(1, 1, ie24RGB);
        ResampleFiltered(src.get(), dst.get(), f);
        EXPECT_EQ(dst->GetPixel24(0, 0), (TRGB{200, 200, 200})) << Where(f, 2000, 3, 1, 1);
    }
}

TEST(ResampleExactness, OneBitSourcesBecomeTwentyFourBitGrey)
{
    for (const TResampleFilter f : kAllFilters) {
        if (f == rfNone)
            continue;
        for (const int dw : {3, 8, 20}) {
            auto src = Make(8, 8, ie1g);
            FillConstant(*src, 0xFF);
            auto dst = Make(dw, 5, ie1g);
            ResampleBitmap(src.get(), dst.get(), f);
            ASSERT_EQ(dst->GetPixelFormat(), ie24RGB) << Where(f, 8, 8, dw, 5);
            EXPECT_TRUE(AllBytes(*dst, 255)) << Where(f, 8, 8, dw, 5);
        }
    }
    // Half set, half clear: the filtered result lies between and keeps the sides.
    auto src = Make(8, 2, ie1g);
    src->ScanLine(0)[0] = src->ScanLine(1)[0] = 0xF0;
    auto dst = Make(16, 2, ie24RGB);
    ResampleFiltered1(src.get(), dst.get(), rfTriangle);
    EXPECT_EQ(dst->GetPixel24(0, 0).b, 255);
    EXPECT_EQ(dst->GetPixel24(15, 1).b, 0);
}

TEST(ResampleNearestFormats, EveryFormatTakesTheMappedPixel)
{
    std::mt19937 rng(3);
    // Ratios exact in binary so the expected column is plain integer arithmetic.
    // The last two enlarge: several target pixels end on the last source column, whose row ends there.
    const int sizes[][4] = {{6, 4, 4, 8}, {5, 3, 8, 6}, {7, 8, 2, 2}, {3, 2, 10, 3}, {2, 2, 9, 1}};
    for (const TIEPixelFormat format : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f})
        for (const auto& s : sizes) {
            auto src = Make(s[0], s[1], format);
            FillRandom(*src, rng);
            if (format == ie8p)
                src->SetPaletteColor(5, TRGB{1, 2, 3});
            auto dst = Make(s[2], s[3], format, Storage::File);
            ResampleBitmap(src.get(), dst.get(), rfNone);
            const int bpp = IEBytesPerPixel(format);
            for (int y = 0; y < s[3]; ++y)
                for (int x = 0; x < s[2]; ++x) {
                    const int sx = x * s[0] / s[2], sy = y * s[1] / s[3];
                    if (format == ie1g) {
                        EXPECT_EQ(GetPixelBit(dst->ScanLine(y), x) != 0,
                                  GetPixelBit(src->ScanLine(sy), sx) != 0);
                        continue;
                    }
                    std::vector<std::uint8_t> want(src->ScanLine(sy) + sx * bpp,
                                                   src->ScanLine(sy) + (sx + 1) * bpp);
                    std::vector<std::uint8_t> got(dst->ScanLine(y) + x * bpp,
                                                  dst->ScanLine(y) + (x + 1) * bpp);
                    EXPECT_EQ(got, want) << "format " << int(format) << " at " << x << "," << y;
                }
            if (format == ie8p) {
                EXPECT_EQ(dst->GetPaletteColor(5), (TRGB{1, 2, 3}));
            }
        }
}

TEST(ResampleNearestFormats, FormatsWithoutAFilterFallBackToNearestInsteadOfNothing)
{
    for (const TIEPixelFormat format : {ie8p, ie16g, ie32f}) {
        auto src = Make(4, 4, format);
        FillConstant(*src, 0x3C);
        auto dst = Make(9, 3, format);
        ResampleBitmap(src.get(), dst.get(), rfLanczos3);
        EXPECT_TRUE(AllBytes(*dst, 0x3C)) << "format " << int(format);
    }
}

// ---------------------------------------------------------------- alpha

TEST(ResampleAlpha, TransparentPixelsTurnGreyAndTheAlphaFollows)
{
    for (const TResampleFilter f : {rfNone, rfTriangle, rfFastLinear, rfBicubic}) {
        auto src = Make(4, 4, ie24RGB);
        FillConstant(*src, 0);
        TIEBitmap* alpha = src->GetAlphaChannel();
        FillConstant(*alpha, 255);
        alpha->ScanLine(1)[2] = 0;
        alpha->Full = false;
        auto dst = Make(8, 8, ie24RGB);
        ResampleBitmap(src.get(), dst.get(), f);
        EXPECT_EQ(src->GetPixel24(2, 1), (TRGB{128, 128, 128})) << int(f);
        EXPECT_EQ(src->GetPixel24(1, 1), (TRGB{0, 0, 0})) << int(f);
        ASSERT_TRUE(dst->HasAlphaChannel());
        TIEBitmap* ta = dst->GetAlphaChannel();
        EXPECT_EQ(ta->GetWidth(), 8);
        EXPECT_EQ(ta->GetHeight(), 8);
        EXPECT_FALSE(ta->Full);
        EXPECT_EQ(ta->GetPixel8(0, 7), 255) << int(f);
        EXPECT_LT(ta->GetPixel8(4, 2), 255) << int(f);
    }
}

// ---------------------------------------------------------------- ImageMagick references

struct TPpm {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
};

TPpm ReadPpm(const std::string& name)
{
    std::ifstream in(std::string(VA_TEST_DATA_DIR) + "/imaging/core/resample/" + name, std::ios::binary);
    TPpm p;
    std::string magic;
    int maxval = 0;
    in >> magic >> p.w >> p.h >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || p.w < 1 || p.h < 1 || p.w > 4096 || p.h > 4096)
        return {};
    p.rgb.resize(std::size_t(p.w) * p.h * 3);
    in.read(reinterpret_cast<char*>(p.rgb.data()), std::streamsize(p.rgb.size()));
    if (!in)
        return {};
    return p;
}

std::unique_ptr<TIEBitmap> FromPpm(const TPpm& p, int x0, int y0, int w, int h)
{
    auto bmp = Make(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* q = &p.rgb[(std::size_t(y + y0) * p.w + x + x0) * 3];
            bmp->SetPixel24(x, y, TRGB{q[2], q[1], q[0]});
        }
    return bmp;
}

struct TPeerCase {
    TResampleFilter filter;
    const char* name;
    double support;
};

constexpr TPeerCase kPeerCases[] = {
    {rfTriangle, "triangle", 1}, {rfHermite, "hermite", 1},   {rfBell, "bell", 1.5},
    {rfBSpline, "bspline", 2},   {rfLanczos3, "lanczos3", 3}, {rfMitchell, "mitchell", 2},
    {rfLinear, "triangle", 1},
};
constexpr int kFactor = 3;
constexpr int kEnlargeWorst = 2, kReduceWorst = 2;
constexpr double kEnlargeMean = 0.7, kReduceMean = 0.7;

struct TPeerDiff {
    int worst = 0;     // largest channel difference
    double mean = 0;   // mean absolute channel difference
    int compared = 0;  // pixels compared
};

// Over the pixels whose filter window lies inside the source, where edge handling plays no part.
TPeerDiff PeerDifference(TIEBitmap& ours, const TPpm& ref, int refX0, int refY0, int srcW, int srcH,
                         double step, double width)
{
    TPeerDiff d;
    std::int64_t total = 0;
    for (int y = 0; y < ours.GetHeight(); ++y)
        for (int x = 0; x < ours.GetWidth(); ++x) {
            const double cx = x * step, cy = y * step;
            if (cx - width < 0 || cx + width > srcW - 1 || cy - width < 0 || cy + width > srcH - 1)
                continue;
            const TRGB c = ours.GetPixel24(x, y);
            const std::uint8_t* q = &ref.rgb[(std::size_t(y + refY0) * ref.w + x + refX0) * 3];
            const int dr = std::abs(c.r - q[0]), dg = std::abs(c.g - q[1]), db = std::abs(c.b - q[2]);
            d.worst = std::max({d.worst, dr, dg, db});
            total += dr + dg + db;
            ++d.compared;
        }
    d.mean = d.compared ? double(total) / (3.0 * d.compared) : 0;
    return d;
}

TEST(ResamplePeer, EnlargingMatchesImageMagickInsideTheImage)
{
    const TPpm src = ReadPpm("enlarge_src.ppm");
    ASSERT_FALSE(src.rgb.empty());
    auto bmp = FromPpm(src, 0, 0, src.w, src.h);
    const int dw = (src.w - 1) * kFactor + 1, dh = (src.h - 1) * kFactor + 1;
    for (const TPeerCase& c : kPeerCases) {
        const TPpm ref = ReadPpm(std::string("enlarge_") + c.name + ".ppm");
        ASSERT_EQ(ref.w, src.w * kFactor) << c.name;
        auto dst = Make(dw, dh, ie24RGB);
        ResampleFiltered(bmp.get(), dst.get(), c.filter);
        const int pad = (kFactor - 1) / 2;
        const TPeerDiff d = PeerDifference(*dst, ref, pad, pad, src.w, src.h, 1.0 / kFactor, c.support);
        EXPECT_GT(d.compared, 20) << c.name;
        // Weights are rounded to 1/256 and the sum truncated; ImageMagick keeps full precision and
        // rounds. On noise the rounding of four or six weights can add up to a few levels.
        EXPECT_LE(d.worst, kEnlargeWorst) << c.name << " over " << d.compared << " pixels";
        EXPECT_LE(d.mean, kEnlargeMean) << c.name << " over " << d.compared << " pixels";
        std::printf("enlarge %-9s worst %d mean %.3f over %d pixels\n", c.name, d.worst, d.mean, d.compared);
    }
}

TEST(ResamplePeer, ReducingMatchesImageMagickInsideTheImage)
{
    const TPpm padded = ReadPpm("reduce_src_padded.ppm");
    ASSERT_FALSE(padded.rgb.empty());
    const int pad = (kFactor - 1) / 2;
    const int sw = padded.w - 2 * pad, sh = padded.h - 2 * pad;
    auto bmp = FromPpm(padded, pad, pad, sw, sh);
    const int dw = (sw - 1) / kFactor + 1, dh = (sh - 1) / kFactor + 1;
    for (const TPeerCase& c : kPeerCases) {
        const TPpm ref = ReadPpm(std::string("reduce_") + c.name + ".ppm");
        ASSERT_EQ(ref.w, dw) << c.name;
        auto dst = Make(dw, dh, ie24RGB);
        ResampleFiltered(bmp.get(), dst.get(), c.filter);
        const TPeerDiff d = PeerDifference(*dst, ref, 0, 0, sw, sh, kFactor, c.support * kFactor);
        EXPECT_GT(d.compared, 8) << c.name;
        // Reduced weights are K * 256 / 3, about 85 levels at the peak.
        EXPECT_LE(d.worst, kReduceWorst) << c.name << " over " << d.compared << " pixels";
        EXPECT_LE(d.mean, kReduceMean) << c.name << " over " << d.compared << " pixels";
        std::printf("reduce  %-9s worst %d mean %.3f over %d pixels\n", c.name, d.worst, d.mean, d.compared);
    }
}

// ---------------------------------------------------------------- edge sizes and limits

TEST(ResampleEdges, OnePixelSourceLeavesTheFilteredTargetAsAllocated)
{
    for (const TResampleFilter f : kKernelFilters) {
        auto src = Make(1, 1, ie24RGB);
        FillConstant(*src, 90);
        auto dst = Make(5, 3, ie24RGB);
        ResampleFiltered(src.get(), dst.get(), f);
        EXPECT_TRUE(AllBytes(*dst, 0)) << int(f);
    }
    // The other engines do fill it.
    for (const TResampleFilter f : {rfNone, rfFastLinear, rfBilinear, rfBicubic}) {
        auto src = Make(1, 1, ie24RGB);
        FillConstant(*src, 90);
        auto dst = Make(5, 3, ie24RGB);
        ResampleBitmap(src.get(), dst.get(), f);
        EXPECT_TRUE(AllBytes(*dst, 90)) << int(f);
    }
}

TEST(ResampleEdges, ExtremeFactorsAndEmptyTargets)
{
    for (const TResampleFilter f : kAllFilters) {
        auto tall = Make(1, 3, ie24RGB);
        FillConstant(*tall, 44);
        auto wide = Make(600, 1, ie24RGB);
        ResampleBitmap(tall.get(), wide.get(), f);
        EXPECT_TRUE(AllBytes(*wide, 44)) << int(f);

        auto big = Make(1, 700, ie24RGB);
        FillConstant(*big, 19);
        auto one = Make(1, 1, ie24RGB);
        ResampleBitmap(big.get(), one.get(), f);
        EXPECT_TRUE(AllBytes(*one, 19)) << int(f);

        auto empty = Make(0, 0, ie24RGB);
        EXPECT_NO_THROW(ResampleBitmap(big.get(), empty.get(), f));
        EXPECT_NO_THROW(ResampleBitmap(empty.get(), one.get(), f));
    }
}

TEST(ResampleEdges, BadArgumentsAreRefusedCleanly)
{
    auto src = Make(4, 4, ie24RGB);
    auto dst8 = Make(4, 4, ie8g);
    EXPECT_THROW(ResampleBitmap(nullptr, dst8.get(), rfTriangle), rtl::EInvalidArgument);
    EXPECT_THROW(ResampleBitmap(src.get(), src.get(), rfTriangle), rtl::EInvalidArgument);
    EXPECT_THROW(ResampleBitmap(src.get(), dst8.get(), rfTriangle), rtl::EInvalidArgument);
    EXPECT_THROW(ResampleNearest(src.get(), dst8.get()), rtl::EInvalidArgument);
    EXPECT_THROW(ResampleBitmap(src.get(), dst8.get(), TResampleFilter(12)), rtl::EInvalidArgument);
}

TEST(ResampleEdges, AbsurdReductionIsRefusedBeforeTheTargetIsTouched)
{
    // 64 M columns into one: the Lanczos lists would walk 400 M source indices.
    auto src = Make(1 << 26, 1, ie8g);
    auto dst = Make(1, 1, ie8g);
    FillConstant(*dst, 7);
    EXPECT_THROW(ResampleFiltered8(src.get(), dst.get(), rfLanczos3), rtl::EOutOfMemory);
    EXPECT_EQ(dst->ScanLine(0)[0], 7);
}

TEST(ResampleEdges, AnIntermediateFarLargerThanEitherImageIsRefused)
{
    // 100000 wide by 100000 source rows would be a 10 GB work plane for two small images.
    for (const TResampleFilter f : {rfTriangle, rfFastLinear}) {
        auto src = Make(2, 100000, ie8g);
        auto dst = Make(100000, 1, ie8g);
        FillConstant(*dst, 7);
        EXPECT_THROW(ResampleFiltered8(src.get(), dst.get(), f), rtl::EOutOfMemory) << int(f);
        EXPECT_EQ(dst->ScanLine(0)[99999], 7);
    }
    // The same shapes at a sane size still run.
    auto src = Make(2, 300, ie8g);
    FillConstant(*src, 33);
    auto dst = Make(300, 1, ie8g);
    ResampleFiltered8(src.get(), dst.get(), rfTriangle);
    EXPECT_TRUE(AllBytes(*dst, 33));
}

TEST(ResampleEdges, ProgressRunsUpToNearlyAHundred)
{
    auto src = Make(10, 10, ie24RGB);
    for (const TResampleFilter f : kAllFilters)
        for (const int dw : {7, 10}) {
            auto dst = Make(dw, dw == 10 ? 10 : 13, ie24RGB);
            std::vector<int> seen;
            int marker = 0;
            ResampleBitmap(src.get(), dst.get(), f, &marker, [&](void* sender, int per) {
                EXPECT_EQ(sender, &marker);
                seen.push_back(per);
            });
            ASSERT_FALSE(seen.empty()) << int(f);
            EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << int(f);
            EXPECT_GE(seen.back(), 95) << int(f) << " to width " << dw;
            EXPECT_LE(seen.back(), 100) << int(f);
        }
}

TEST(ResampleRect, ARectangleGivesWhatItsCopyGivesWithEveryFilter)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 60; ++round) {
        const Storage storage = round % 3 == 0 ? Storage::File : Storage::Memory;
        const int sw = 2 + int(rng() % 40), sh = 2 + int(rng() % 30);
        auto src = Make(sw, sh, ie24RGB, storage);
        FillRandom(*src, rng);
        const int x = int(rng() % sw), y = int(rng() % sh);
        const int w = 1 + int(rng() % (sw - x)), h = 1 + int(rng() % (sh - y));
        const int dw = 1 + int(rng() % 70), dh = 1 + int(rng() % 50);
        auto part = Make(w, h, ie24RGB);
        src->CopyRectTo(part.get(), x, y, 0, 0, w, h);
        for (const TResampleFilter f : kAllFilters) {
            if (f == rfNone)
                continue;
            auto want = Make(dw, dh, ie24RGB);
            auto got = Make(dw, dh, ie24RGB, storage);
            ResampleFiltered(part.get(), want.get(), f);
            ResampleFilteredRect(src.get(), x, y, w, h, got.get(), f);
            for (int r = 0; r < dh; ++r)
                ASSERT_EQ(std::memcmp(got->ScanLine(r), want->ScanLine(r), std::size_t(dw) * 3), 0)
                    << int(f) << ": " << w << "x" << h << " at " << x << "," << y << " to " << dw << "x" << dh
                    << ", row " << r;
        }
    }
}

TEST(ResampleRect, NoFilterAndRectanglesOutsideTheSourceAreRefused)
{
    auto src = Make(8, 6, ie24RGB);
    auto dst = Make(4, 3, ie24RGB);
    EXPECT_THROW(ResampleFilteredRect(src.get(), 0, 0, 8, 6, dst.get(), rfNone), rtl::EInvalidArgument);
    for (const auto& r : std::vector<std::array<int, 4>>{
             {-1, 0, 4, 4}, {0, -1, 4, 4}, {5, 0, 4, 4}, {0, 3, 4, 4}, {0, 0, 0, 4}, {0, 0, 4, 0}})
        EXPECT_THROW(ResampleFilteredRect(src.get(), r[0], r[1], r[2], r[3], dst.get(), rfTriangle),
                     rtl::EInvalidArgument)
            << r[0] << "," << r[1] << " " << r[2] << "x" << r[3];
}

TEST(ResampleRandom, RandomSizesFormatsAndFiltersStayInBounds)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 160; ++round) {
        const int sw = 1 + int(rng() % 37), sh = 1 + int(rng() % 37);
        const int dw = 1 + int(rng() % 53), dh = 1 + int(rng() % 53);
        const TResampleFilter f = kAllFilters[rng() % std::size(kAllFilters)];
        const TIEPixelFormat formats[] = {ie1g, ie8g, ie24RGB, ie8p, ie16g};
        const TIEPixelFormat format = formats[rng() % std::size(formats)];
        const Storage storage = rng() % 4 == 0 ? Storage::File : Storage::Memory;
        auto src = Make(sw, sh, format, storage);
        FillRandom(*src, rng);
        if (rng() % 3 == 0)
            FillRandom(*src->GetAlphaChannel(), rng);
        auto dst = Make(dw, dh, format, storage);
        ASSERT_NO_THROW(ResampleBitmap(src.get(), dst.get(), f)) << Where(f, sw, sh, dw, dh);
        EXPECT_EQ(dst->GetWidth(), dw);
        EXPECT_EQ(dst->GetHeight(), dh);
        if (src->HasAlphaChannel()) {
            EXPECT_EQ(dst->GetAlphaChannel()->GetWidth(), dw);
        }
    }
}

}  // namespace
