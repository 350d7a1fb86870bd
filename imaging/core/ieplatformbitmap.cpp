// Memory stand-in for the platform bitmap and the factory that the Windows layer replaces.
#include "imaging/core/ieplatformbitmap.h"

#include "imaging/core/detail/ieplatformservices.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace imaging {

namespace {

std::unique_ptr<TIEPlatformBitmap> CreateDefaultBitmap() { return detail::PlatformCreateBitmap(); }

TIEPlatformBitmapFactory gFactory = &CreateDefaultBitmap;

bool ValidDepth(int bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

void TIEMemoryPlatformBitmap::Reshape(int width, int height, int bits)
{
    if (width < 0 || height < 0 || !ValidDepth(bits))
        throw rtl::EInvalidArgument("invalid bitmap shape " + std::to_string(width) + "x" +
                                    std::to_string(height) + " at " + std::to_string(bits) + " bits");
    const int storedBits = bits == 15 ? 16 : bits;
    auto rowBits = rtl::CheckedMul<std::uint64_t>(static_cast<std::uint64_t>(width),
                                                  static_cast<std::uint64_t>(storedBits));
    std::uint64_t rowLen = rowBits ? ((*rowBits + 31) / 32) * 4 : 0;
    auto total = rtl::CheckedMul<std::uint64_t>(rowLen, static_cast<std::uint64_t>(height));
    if (!rowBits || !total || *total > std::min<std::uint64_t>(SIZE_MAX / 2, std::uint64_t(1) << 40))
        throw rtl::EOutOfMemory("Out of memory");
    std::vector<std::uint8_t> pixels;
    try {
        pixels.assign(static_cast<std::size_t>(*total), 0);
    } catch (const std::bad_alloc&) {
        throw rtl::EOutOfMemory("Out of memory");
    }
    // Keep what still fits at the top left; a depth change keeps nothing, like a fresh section.
    if (bits == bits_ && !pixels_.empty() && !pixels.empty()) {
        const int rows = std::min(height, height_);
        const std::size_t bytes = std::min<std::size_t>(rowLen, rowLen_);
        for (int r = 0; r < rows; ++r)
            std::memcpy(pixels.data() + (std::size_t(height) - r - 1) * rowLen,
                        pixels_.data() + (std::size_t(height_) - r - 1) * rowLen_, bytes);
    }
    pixels_ = std::move(pixels);
    width_ = width;
    height_ = height;
    bits_ = bits;
    rowLen_ = static_cast<std::size_t>(rowLen);
}

void TIEMemoryPlatformBitmap::SetBitsPerPixel(int bits)
{
    if (bits != bits_)
        Reshape(width_, height_, bits);
}

void TIEMemoryPlatformBitmap::SetSize(int width, int height)
{
    if (width != width_ || height != height_)
        Reshape(width, height, bits_);
}

std::uint8_t* TIEMemoryPlatformBitmap::ScanLine(int row)
{
    if (row < 0 || row >= height_)
        throw rtl::EInvalidArgument("scan line " + std::to_string(row) + " outside 0.." +
                                    std::to_string(height_ - 1));
    return pixels_.data() + (std::size_t(height_) - row - 1) * rowLen_;
}

void TIEMemoryPlatformBitmap::SetPalette(const TRGB* entries, int count)
{
    count = std::clamp(count, 0, 256);
    palette_.assign(entries, entries + count);
}

int TIEMemoryPlatformBitmap::GetPalette(TRGB* entries, int maxCount) const
{
    const int n = std::min<int>(std::max(maxCount, 0), int(palette_.size()));
    std::copy_n(palette_.begin(), n, entries);
    return int(palette_.size());
}

void IESetPlatformBitmapFactory(TIEPlatformBitmapFactory factory)
{
    gFactory = factory ? factory : &CreateDefaultBitmap;
}

std::unique_ptr<TIEPlatformBitmap> IECreatePlatformBitmap() { return gFactory(); }

}  // namespace imaging
