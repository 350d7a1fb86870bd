// The DIB section of TIEDibbitmap: a GDI section selected into a memory DC compatible with the screen.
#include "imaging/core/detail/ieplatformservices.h"

#include "platform/rtl/Exceptions.h"
#include "platform/win/Handles.h"
#include "platform/rtl/Win32.h"

#include <cstring>

namespace imaging::detail {

namespace {

// A header and a full colour table: a palette depth with a shorter table would make GDI read past it.
struct TDibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

class TIEGdiDibSection : public TIEDibSection {
public:
    TIEGdiDibSection(int width, int height, int bitCount, int rowLen)
    {
        TDibInfo info{};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = width;
        info.header.biHeight = height;  // positive: bottom-up
        info.header.biPlanes = 1;
        info.header.biBitCount = static_cast<WORD>(bitCount);
        info.header.biCompression = BI_RGB;
        info.header.biSizeImage = static_cast<DWORD>(rowLen) * static_cast<DWORD>(height);
        if (bitCount <= 8) {
            const int colors = 1 << bitCount;
            info.header.biClrUsed = static_cast<DWORD>(colors);
            for (int i = 0; i < colors; ++i) {
                const auto v = static_cast<BYTE>(i * 255 / (colors - 1));
                info.colors[i] = RGBQUAD{v, v, v, 0};
            }
        }
        dc_.Reset(::CreateCompatibleDC(nullptr));
        if (!dc_)
            throw rtl::EOutOfMemory("Out of memory");
        void* bits = nullptr;
        bitmap_.Reset(::CreateDIBSection(dc_.Get(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                         &bits, nullptr, 0));
        if (!bitmap_ || !bits)
            throw rtl::EOutOfMemory("Out of memory");
        bits_ = static_cast<std::uint8_t*>(bits);
        std::memset(bits_, 0, static_cast<std::size_t>(rowLen) * static_cast<std::size_t>(height));
        old_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    }
    ~TIEGdiDibSection() override
    {
        // The section must leave the DC before either is deleted.
        if (old_)
            ::SelectObject(dc_.Get(), old_);
    }
    TIEGdiDibSection(const TIEGdiDibSection&) = delete;
    TIEGdiDibSection& operator=(const TIEGdiDibSection&) = delete;

    std::uint8_t* Bits() override
    {
        // GDI batches drawing; the rows must show what was drawn before they are read.
        ::GdiFlush();
        return bits_;
    }
    void* DC() const override { return dc_.Get(); }
    void* Handle() const override { return bitmap_.Get(); }

private:
    win::OwnedDC dc_;
    win::OwnedBitmap bitmap_;
    HGDIOBJ old_ = nullptr;         // the DC's own bitmap, put back before deletion
    std::uint8_t* bits_ = nullptr;  // owned by the section
};

}  // namespace

std::unique_ptr<TIEDibSection> PlatformCreateDibSection(int Width, int Height, int BitCount, int RowLen)
{
    return std::make_unique<TIEGdiDibSection>(Width, Height, BitCount, RowLen);
}

}  // namespace imaging::detail
