// Median-cut colour quantizer over a 32x32x32 histogram, split by variance.
#pragma once

#include "imaging/core/hyiedefs.h"

#include <array>
#include <cstdint>
#include <vector>

namespace imaging {

class TIEBitmap;
class TIEPlatformBitmap;

// One box of colour cells. Channels are red, green, blue; ranges are in 5-bit cell units, Hi exclusive.
struct TMedianCutBox {
    double Variance = 0;
    std::array<double, 3> Mean = {};
    std::int64_t Count = 0;
    std::array<std::array<std::int64_t, 32>, 3> Hist = {};
    std::array<int, 3> Lo = {};
    std::array<int, 3> Hi = {};
};

// Splits the colour cube of a 24-bit image into at most WantedColors boxes and maps each cell to
// its box. Counts are 64-bit, so any image the container holds is counted exactly. The bitmap is
// read once, in the constructor, and not kept.
class TMedianCutQuantizer {
public:
    // WantedColors is clamped to 1..256. Formats other than ie24RGB count as an empty image
    // (one box, colour black).
    TMedianCutQuantizer(TIEBitmap& Bitmap, int WantedColors);
    // The same over a platform bitmap's rows: 24 bits per pixel, other depths count as an empty image.
    TMedianCutQuantizer(TIEPlatformBitmap& Bitmap, int WantedColors);

    // Boxes produced: 1..WantedColors, fewer when no box can be split further.
    int BoxCount() const { return boxCount_; }
    // Box mean, each channel Round(mean) * 8 (0..248). Index must be below BoxCount.
    TRGB PaletteEntry(int Index) const;
    // The box of the colour's cell; 0 for a cell no pixel fell into.
    int ColorIndex(TRGB Color) const
    {
        return lookup_[std::size_t(((Color.r & 248) << 7) | ((Color.g & 248) << 2) | ((Color.b & 248) >> 3))];
    }
    const TMedianCutBox& Box(int Index) const { return boxes_.at(std::size_t(Index)); }

private:
    explicit TMedianCutQuantizer(int WantedColors);
    // Counts one row of 24-bit pixels into the histograms and the total.
    void CountRow(const std::uint8_t* p, int width);
    // Splits the counted cube and builds the lookup.
    void Build();
    void ComputeVariance(TMedianCutBox& box) const;
    bool SplitChannel(const TMedianCutBox& box, int channel, TMedianCutBox& lower,
                      TMedianCutBox& upper) const;
    bool SplitBox(int index);
    void Shrink(TMedianCutBox& box) const;

    std::vector<std::int64_t> histogram_;  // 32768 cells, (R5 << 10) | (G5 << 5) | B5
    std::vector<TMedianCutBox> boxes_;     // 256
    std::vector<std::uint8_t> lookup_;     // 32768 cells, box index
    std::int64_t totalPixels_ = 0;
    int wantedColors_ = 0;
    int boxCount_ = 0;
};

}  // namespace imaging
