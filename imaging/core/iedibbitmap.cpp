// TIEDibbitmap: sizes, row access and copies over the platform's DIB section.
#include "imaging/core/iebitmap.h"

#include "imaging/core/detail/ieplatformservices.h"
#include "platform/rtl/Exceptions.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace imaging {

TIEDibbitmap::TIEDibbitmap() = default;

TIEDibbitmap::~TIEDibbitmap() = default;

void TIEDibbitmap::AllocateBits(int Width, int Height, int BitCount)
{
    if (Width < 1 || Height < 1)
        return;
    if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 16 && BitCount != 24 && BitCount != 32)
        throw rtl::EInvalidArgument("a DIB section of " + std::to_string(BitCount) + " bits per pixel");
    const int rowLen = IERowLen(Width, BitCount, 32);
    const std::int64_t total = std::int64_t(rowLen) * Height;
    // GDI keeps a section's size in a DWORD and maps it into the address space whole.
    if (total > kIEMaxImageBytes || std::uint64_t(total) > SIZE_MAX / 2 || total > INT32_MAX)
        throw rtl::EOutOfMemory(std::to_string(Width) + "x" + std::to_string(Height) +
                                " image exceeds the size limit");
    // The new section is made before the old one goes, so a refusal keeps the picture.
    section_ = detail::PlatformCreateDibSection(Width, Height, BitCount, rowLen);
    width_ = Width;
    height_ = Height;
    bitCount_ = BitCount;
    rowLen_ = rowLen;
}

void TIEDibbitmap::FreeBitmap()
{
    section_.reset();
    width_ = height_ = bitCount_ = rowLen_ = 0;
}

void TIEDibbitmap::Allocate(int Width, int Height, TIEPixelFormat PixelFormat)
{
    if (PixelFormat == ie1g)
        AllocateBits(Width, Height, 1);
    else if (PixelFormat == ie24RGB)
        AllocateBits(Width, Height, 24);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat()
{
    switch (bitCount_) {
    case 1: return ie1g;
    case 24: return ie24RGB;
    default: return ieNull;
    }
}

std::uint8_t* TIEDibbitmap::ScanLine(int Row)
{
    if (!section_ || Row < 0 || Row >= height_)
        throw rtl::EInvalidArgument("row " + std::to_string(Row) + " outside a DIB section of " +
                                    std::to_string(height_) + " rows");
    return section_->Bits() + std::size_t(height_ - Row - 1) * std::size_t(rowLen_);
}

void TIEDibbitmap::Assign(rtl::TObject* Source)
{
    auto* source = dynamic_cast<TIEDibbitmap*>(Source);
    if (!source || source == this)
        return;
    if (!source->section_) {
        FreeBitmap();
        return;
    }
    AllocateBits(source->width_, source->height_, source->bitCount_);
    std::memcpy(section_->Bits(), source->section_->Bits(), std::size_t(rowLen_) * std::size_t(height_));
}

void* TIEDibbitmap::DC() const { return section_ ? section_->DC() : nullptr; }

void* TIEDibbitmap::Handle() const { return section_ ? section_->Handle() : nullptr; }

}  // namespace imaging
