// Median-cut colour quantizer over a 32x32x32 histogram, split by variance.
#include "imaging/core/stdquant.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieplatformbitmap.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>

namespace imaging {

namespace {

// Score of a channel that cannot be split; real scores stay far below it.
constexpr double kNoSplitScore = 17523.6;
constexpr int kCells = 32 * 32 * 32;

constexpr int CellOf(int r5, int g5, int b5) { return (r5 << 10) | (g5 << 5) | b5; }

}  // namespace

TMedianCutQuantizer::TMedianCutQuantizer(int WantedColors)
    : histogram_(kCells, 0), boxes_(256), lookup_(kCells, 0), wantedColors_(std::clamp(WantedColors, 1, 256))
{
}

TMedianCutQuantizer::TMedianCutQuantizer(TIEBitmap& Bitmap, int WantedColors)
    : TMedianCutQuantizer(WantedColors)
{
    if (Bitmap.GetPixelFormat() == ie24RGB) {
        const int width = Bitmap.GetWidth(), height = Bitmap.GetHeight();
        for (int y = 0; width > 0 && y < height; ++y)
            CountRow(Bitmap.ScanLine(y), width);
    }
    Build();
}

TMedianCutQuantizer::TMedianCutQuantizer(TIEPlatformBitmap& Bitmap, int WantedColors)
    : TMedianCutQuantizer(WantedColors)
{
    if (Bitmap.BitsPerPixel() == 24) {
        const int width = Bitmap.Width(), height = Bitmap.Height();
        for (int y = 0; width > 0 && y < height; ++y)
            CountRow(Bitmap.ScanLine(y), width);
    }
    Build();
}

void TMedianCutQuantizer::CountRow(const std::uint8_t* p, int width)
{
    TMedianCutBox& box0 = boxes_[0];
    for (int x = 0; x < width; ++x, p += 3) {
        const int b5 = p[0] >> 3, g5 = p[1] >> 3, r5 = p[2] >> 3;
        ++box0.Hist[0][std::size_t(r5)];
        ++box0.Hist[1][std::size_t(g5)];
        ++box0.Hist[2][std::size_t(b5)];
        ++histogram_[std::size_t(CellOf(r5, g5, b5))];
    }
    totalPixels_ += width;
}

void TMedianCutQuantizer::Build()
{
    TMedianCutBox& box0 = boxes_[0];
    box0.Lo = {0, 0, 0};
    box0.Hi = {32, 32, 32};
    box0.Count = totalPixels_;
    ComputeVariance(box0);

    boxCount_ = 1;
    while (boxCount_ < wantedColors_) {
        int best = -1;
        for (int i = 0; i < boxCount_; ++i)
            if (boxes_[std::size_t(i)].Variance > 0 &&
                (best < 0 || boxes_[std::size_t(i)].Variance > boxes_[std::size_t(best)].Variance))
                best = i;
        if (best < 0)
            break;
        if (SplitBox(best))
            ++boxCount_;
        else
            boxes_[std::size_t(best)].Variance = 0;
    }

    for (int i = 0; i < boxCount_; ++i) {
        const TMedianCutBox& box = boxes_[std::size_t(i)];
        if (box.Count == 0)
            continue;  // only an empty image has one, and it covers the whole cube
        for (int r = box.Lo[0]; r < box.Hi[0]; ++r)
            for (int g = box.Lo[1]; g < box.Hi[1]; ++g)
                for (int b = box.Lo[2]; b < box.Hi[2]; ++b)
                    lookup_[std::size_t(CellOf(r, g, b))] = std::uint8_t(i);
    }
}

TRGB TMedianCutQuantizer::PaletteEntry(int Index) const
{
    const TMedianCutBox& box = boxes_.at(std::size_t(Index));
    auto level = [](double mean) { return std::uint8_t(rtl::Round(mean) * 8); };
    return TRGB{level(box.Mean[2]), level(box.Mean[1]), level(box.Mean[0])};
}

void TMedianCutQuantizer::ComputeVariance(TMedianCutBox& box) const
{
    if (box.Count == 0) {
        box.Variance = 0;
        box.Mean = {0, 0, 0};
        return;
    }
    double sum = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        double s1 = 0, s2 = 0;
        for (int i = box.Lo[c]; i < box.Hi[c]; ++i) {
            const double h = double(box.Hist[c][std::size_t(i)]);
            s1 += i * h;
            s2 += double(i) * i * h;
        }
        box.Mean[c] = s1 / double(box.Count);
        sum += s2 - box.Mean[c] * box.Mean[c] * double(box.Count);
    }
    box.Variance = sum / double(totalPixels_);
}

void TMedianCutQuantizer::Shrink(TMedianCutBox& box) const
{
    for (std::size_t c = 0; c < 3; ++c) {
        int lo = box.Lo[c], hi = box.Hi[c];
        while (lo < hi && box.Hist[c][std::size_t(lo)] == 0)
            ++lo;
        while (hi > lo && box.Hist[c][std::size_t(hi - 1)] == 0)
            --hi;
        box.Lo[c] = lo;
        box.Hi[c] = hi;
    }
}

bool TMedianCutQuantizer::SplitChannel(const TMedianCutBox& box, int channel, TMedianCutBox& lower,
                                       TMedianCutBox& upper) const
{
    const auto c = std::size_t(channel);
    const int lo = box.Lo[c], hi = box.Hi[c];
    if (lo + 1 >= hi)
        return false;
    const auto& hist = box.Hist[c];
    const double m = box.Mean[c];
    const int first = int(rtl::Round((lo + m) * 0.5));
    // All pixels lie below Hi, so the walk ends there at the latest; the clamp keeps it in the table.
    const int last = std::min(int(rtl::Round((hi + m) * 0.5)), hi - 1);
    std::int64_t n1 = 0;
    for (int i = lo; i < first; ++i)
        n1 += hist[std::size_t(i)];
    const double count = double(box.Count);
    double s = 0, best = -1.0;
    int cut = first;
    std::int64_t cutCount = box.Count;
    for (int i = first; i <= last; ++i) {
        n1 += hist[std::size_t(i)];
        if (n1 == box.Count)
            break;
        s += i * double(hist[std::size_t(i)]) / count;
        const double score = double(n1) / double(box.Count - n1) * (m - s) * (m - s);
        if (score > best) {
            best = score;
            cut = i;
            cutCount = n1;
        }
    }
    if (cutCount == 0 || cutCount == box.Count)
        return false;

    lower = box;
    upper = box;
    lower.Count = cutCount;
    lower.Hi[c] = cut + 1;
    upper.Count = box.Count - cutCount;
    upper.Lo[c] = cut + 1;
    for (auto& h : lower.Hist)
        h.fill(0);
    for (int r = lower.Lo[0]; r < lower.Hi[0]; ++r)
        for (int g = lower.Lo[1]; g < lower.Hi[1]; ++g)
            for (int b = lower.Lo[2]; b < lower.Hi[2]; ++b) {
                const std::int64_t h = histogram_[std::size_t(CellOf(r, g, b))];
                lower.Hist[0][std::size_t(r)] += h;
                lower.Hist[1][std::size_t(g)] += h;
                lower.Hist[2][std::size_t(b)] += h;
            }
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 32; ++i)
            upper.Hist[k][i] = box.Hist[k][i] - lower.Hist[k][i];
    Shrink(lower);
    Shrink(upper);
    ComputeVariance(lower);
    ComputeVariance(upper);
    return true;
}

bool TMedianCutQuantizer::SplitBox(int index)
{
    const TMedianCutBox& box = boxes_[std::size_t(index)];
    if (box.Variance == 0 || box.Count == 0)
        return false;
    std::array<TMedianCutBox, 3> lower, upper;
    std::array<double, 3> score = {};
    for (int c = 0; c < 3; ++c) {
        const auto k = std::size_t(c);
        score[k] =
            SplitChannel(box, c, lower[k], upper[k]) ? lower[k].Variance + upper[k].Variance : kNoSplitScore;
    }
    int chosen;
    if (score[0] < kNoSplitScore && score[0] <= score[1] && score[0] <= score[2])
        chosen = 0;
    else if (score[1] < kNoSplitScore && score[1] <= score[0] && score[1] <= score[2])
        chosen = 1;
    else if (score[2] < kNoSplitScore)
        chosen = 2;
    else
        return false;
    boxes_[std::size_t(index)] = lower[std::size_t(chosen)];
    boxes_[std::size_t(boxCount_)] = upper[std::size_t(chosen)];
    return true;
}

}  // namespace imaging
