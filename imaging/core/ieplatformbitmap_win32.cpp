// The platform bitmap of the Windows build: a DIB-section TBitmap of the GUI layer behind TIEPlatformBitmap.
#include "imaging/core/ieplatformbitmap.h"

#include "imaging/core/detail/ieplatformservices.h"
#include "platform/win/Graphics.h"
#include "platform/rtl/Win32.h"

#include <algorithm>

namespace imaging {

namespace {

int BitsOf(win::TPixelFormat format)
{
    switch (format) {
    case win::pf1bit: return 1;
    case win::pf4bit: return 4;
    case win::pf8bit: return 8;
    case win::pf15bit: return 15;
    case win::pf16bit: return 16;
    case win::pf24bit: return 24;
    case win::pf32bit: return 32;
    default: return 0;
    }
}

win::TPixelFormat FormatOf(int bits)
{
    switch (bits) {
    case 1: return win::pf1bit;
    case 4: return win::pf4bit;
    case 8: return win::pf8bit;
    case 15: return win::pf15bit;
    case 16: return win::pf16bit;
    case 32: return win::pf32bit;
    default: return win::pf24bit;
    }
}

// Either owns its TBitmap or works on one that belongs to someone else.
class TIEWinPlatformBitmap : public TIEPlatformBitmap {
public:
    TIEWinPlatformBitmap() : owned_(std::make_unique<win::TBitmap>()), bitmap_(owned_.get())
    {
        bitmap_->SetPixelFormat(win::pf24bit);
    }
    explicit TIEWinPlatformBitmap(win::TBitmap* borrowed) : bitmap_(borrowed) {}

    int Width() const override { return bitmap_->Width(); }
    int Height() const override { return bitmap_->Height(); }
    int BitsPerPixel() const override { return BitsOf(bitmap_->PixelFormat()); }
    void SetBitsPerPixel(int bits) override
    {
        if (bits != BitsPerPixel())
            bitmap_->SetPixelFormat(FormatOf(bits));
    }
    void SetSize(int width, int height) override { bitmap_->SetSize(width, height); }
    std::uint8_t* ScanLine(int row) override { return static_cast<std::uint8_t*>(bitmap_->ScanLine(row)); }
    void SetPalette(const TRGB* entries, int count) override
    {
        const int bits = BitsPerPixel();
        if (bits != 1 && bits != 4 && bits != 8)
            return;
        count = std::clamp(count, 0, 1 << bits);
        std::vector<PALETTEENTRY> table(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            table[std::size_t(i)] = PALETTEENTRY{entries[i].r, entries[i].g, entries[i].b, 0};
        bitmap_->SetPaletteEntries(table);
    }
    int GetPalette(TRGB* entries, int maxCount) const override
    {
        const auto table = bitmap_->PaletteEntries();
        const int n = std::min(std::max(maxCount, 0), int(table.size()));
        for (int i = 0; i < n; ++i)
            entries[i] = TRGB{table[std::size_t(i)].peBlue, table[std::size_t(i)].peGreen,
                              table[std::size_t(i)].peRed};
        return int(table.size());
    }
    win::TBitmap* GuiBitmap() override { return bitmap_; }

private:
    std::unique_ptr<win::TBitmap> owned_;
    win::TBitmap* bitmap_;  // owned_ or borrowed
};

}  // namespace

std::unique_ptr<TIEPlatformBitmap> detail::PlatformCreateBitmap()
{
    return std::make_unique<TIEWinPlatformBitmap>();
}

std::unique_ptr<TIEPlatformBitmap> IEWrapTBitmap(win::TBitmap* Bitmap)
{
    if (!Bitmap)
        return nullptr;
    return std::make_unique<TIEWinPlatformBitmap>(Bitmap);
}

}  // namespace imaging
