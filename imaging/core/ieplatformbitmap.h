// The platform bitmap a TIEBitmap can keep its pixels in: an interface, a memory fallback and the factory
// hook.
#pragma once

#include "imaging/core/hyiedefs.h"
#include "platform/rtl/Object.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace win {
class TBitmap;
}

namespace imaging {

// A device-independent bitmap of 1, 4, 8, 15, 16, 24 or 32 bits per pixel (0 for a device-dependent
// one), rows padded to 32 bits, palette of up to 256 entries. The Windows build keeps it in a GDI DIB
// section of the GUI layer; elsewhere TIEMemoryPlatformBitmap stands in.
class TIEPlatformBitmap : public rtl::TObject {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual int BitsPerPixel() const = 0;
    // A size change keeps the pixels that still fit, at the top left; a depth change converts them
    // or, in the stand-in, clears them. Pixels added are undefined. Throw an rtl::Exception when the
    // storage cannot be had, leaving the bitmap unchanged.
    virtual void SetBitsPerPixel(int bits) = 0;
    virtual void SetSize(int width, int height) = 0;
    // Row 0 is the top row. The address stays valid until the next size or depth change.
    virtual std::uint8_t* ScanLine(int row) = 0;
    virtual void SetPalette(const TRGB* entries, int count) = 0;
    // Copies up to maxCount entries; returns how many the bitmap has.
    virtual int GetPalette(TRGB* entries, int maxCount) const = 0;
    // The GUI layer's bitmap that holds the pixels (Windows build); nullptr for the stand-in.
    virtual win::TBitmap* GuiBitmap() { return nullptr; }
};

// Stand-in over one zero-filled heap block, rows stored bottom-up like a DIB section.
class TIEMemoryPlatformBitmap : public TIEPlatformBitmap {
public:
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    int BitsPerPixel() const override { return bits_; }
    void SetBitsPerPixel(int bits) override;
    void SetSize(int width, int height) override;
    std::uint8_t* ScanLine(int row) override;
    void SetPalette(const TRGB* entries, int count) override;
    int GetPalette(TRGB* entries, int maxCount) const override;

private:
    void Reshape(int width, int height, int bits);

    int width_ = 0;
    int height_ = 0;
    int bits_ = 24;
    std::size_t rowLen_ = 0;
    std::vector<std::uint8_t> pixels_;
    std::vector<TRGB> palette_;
};

using TIEPlatformBitmapFactory = std::unique_ptr<TIEPlatformBitmap> (*)();

// New platform bitmaps come from the installed factory; nullptr restores the platform's own.
void IESetPlatformBitmapFactory(TIEPlatformBitmapFactory factory);
std::unique_ptr<TIEPlatformBitmap> IECreatePlatformBitmap();

// Windows build only. A platform bitmap working on Bitmap's own pixels; Bitmap stays its owner's
// and must outlive the result. nullptr gives nullptr.
std::unique_ptr<TIEPlatformBitmap> IEWrapTBitmap(win::TBitmap* Bitmap);

}  // namespace imaging
