// Palette indexes of an image for the palette writers (GIF, TIFF): the image's own palette when
// its indexes fit, its exact colours when they are few enough, else a quantizer's palette.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "imaging/core/iebitmap.h"
#include "imaging/core/neurquant.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace imaging::detail {

class TIEIndexedImage {
public:
    // Bitmap is read, never changed, and must outlive this object; it is ie8p, ie8g or ie24RGB
    // (callers convert the others). Colors is clamped to 1..256.
    TIEIndexedImage(TIEBitmap& Bitmap, int Colors);
    ~TIEIndexedImage();
    TIEIndexedImage(const TIEIndexedImage&) = delete;
    TIEIndexedImage& operator=(const TIEIndexedImage&) = delete;

    // Colors entries; those past the colours found are black.
    const std::vector<TRGB>& Palette() const { return palette_; }
    // Writes the index of each pixel of row Y (width bytes); every index is below Colors.
    void IndexRow(int Y, std::uint8_t* Out);
    // The index of any colour: its own entry, else the nearest one.
    int IndexOf(TRGB Color) const;

private:
    enum class TMode { own, exact, quantized };
    TIEBitmap& bitmap_;  // not owned
    int colors_;
    TMode mode_ = TMode::quantized;
    std::vector<TRGB> palette_;
    int found_ = 0;  // entries holding colours of the image
    std::unique_ptr<TIEBitmap> copy24_;
    std::unique_ptr<TIEQuantizer> quantizer_;
    std::vector<std::uint32_t> lookUp_;  // open hash of exact colours: colour << 8 | index, or ~0
};

}  // namespace imaging::detail
