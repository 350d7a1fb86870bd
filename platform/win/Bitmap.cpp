// TBitmap: DIB sections and device bitmaps, pixel-format conversion, BMP files (read by the
// runtime's portable reader, written here).
#include "platform/win/Graphics.h"

#include "platform/rtl/BmpReader.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace win {

namespace {

// Header sizes of the BMP files we write.
constexpr std::uint32_t kInfoHeaderSize = rtl::kBmpInfoHeaderSize;
constexpr std::uint32_t kFileHeaderSize = rtl::kBmpFileHeaderSize;
// A single bitmap's pixels: the reader's limit, so every file it accepts can be made.
constexpr std::uint64_t kMaxPixelBytes = rtl::TBmpLimits{}.MaxPixelBytes;

int BitCountOf(TPixelFormat pf)
{
    switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
    }
}

bool HasColorTable(TPixelFormat pf) { return pf == pf1bit || pf == pf4bit || pf == pf8bit; }

[[noreturn]] void BadBitmap(const std::string& why)
{
    throw EInvalidGraphic("bitmap image is not valid: " + why);
}

std::vector<RGBQUAD> DefaultColorTable(TPixelFormat pf)
{
    std::vector<RGBQUAD> t;
    auto add = [&](int r, int g, int b) {
        t.push_back(RGBQUAD{static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0});
    };
    if (pf == pf1bit) {
        add(0, 0, 0);
        add(255, 255, 255);
    } else if (pf == pf4bit) {
        static constexpr int kVga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                            {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : kVga)
            add(c[0], c[1], c[2]);
    } else if (pf == pf8bit) {
        // 6x6x6 colour cube, then 40 greys spread between black and white.
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    add(r * 51, g * 51, b * 51);
        for (int i = 0; i < 40; ++i) {
            int v = (i + 1) * 255 / 41;
            add(v, v, v);
        }
    }
    return t;
}

bool SameColors(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const RGBQUAD& x, const RGBQUAD& y) {
               return x.rgbRed == y.rgbRed && x.rgbGreen == y.rgbGreen && x.rgbBlue == y.rgbBlue;
           });
}

struct DibHeader {
    BITMAPINFOHEADER Header;
    union {
        RGBQUAD Colors[256];
        DWORD Masks[3];
    };
};

}  // namespace

std::int32_t BytesPerScanline(std::int64_t width, std::int32_t bitCount, std::int32_t alignBits)
{
    if (width < 0 || bitCount <= 0 || alignBits <= 0)
        throw EInvalidGraphic("invalid scan line geometry");
    const std::int64_t bits = width * bitCount;
    const std::int64_t bytes = (bits + alignBits - 1) / alignBits * (alignBits / 8);
    if (bytes > INT32_MAX)
        throw EInvalidGraphic("scan line of " + std::to_string(width) + " pixels is too long");
    return static_cast<std::int32_t>(bytes);
}

// The pixels and their GDI objects. A DIB keeps its bits bottom-up, as GDI lays them out.
struct TBitmap::Image {
    OwnedBitmap Handle;
    void* Bits = nullptr;  // DIB only; owned by Handle
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t RowLength = 0;
    TPixelFormat Format = pfDevice;
    bool Dib = false;
    std::vector<RGBQUAD> Colors;
    OwnedPalette Palette;  // made on demand from Colors

    std::uint8_t* Row(std::int32_t y) const  // y from the top
    {
        return static_cast<std::uint8_t*>(Bits) + static_cast<std::size_t>(Height - 1 - y) * RowLength;
    }
};

namespace {

using Image = TBitmap::Image;

std::unique_ptr<Image> CreateDib(std::int32_t width, std::int32_t height, TPixelFormat pf,
                                 std::vector<RGBQUAD> colors)
{
    auto img = std::make_unique<Image>();
    img->Width = width;
    img->Height = height;
    img->Format = pf;
    img->Dib = true;
    if (HasColorTable(pf)) {
        const std::size_t max = std::size_t{1} << BitCountOf(pf);
        if (colors.empty() || colors.size() > max)
            colors = DefaultColorTable(pf);
        img->Colors = std::move(colors);
    }
    if (width == 0 || height == 0)
        return img;
    const int bitCount = BitCountOf(pf);
    img->RowLength = BytesPerScanline(width, bitCount, 32);
    const std::uint64_t total =
        static_cast<std::uint64_t>(img->RowLength) * static_cast<std::uint64_t>(height);
    if (total > kMaxPixelBytes)
        throw EInvalidGraphic(std::to_string(width) + "x" + std::to_string(height) +
                              " bitmap exceeds the size limit");

    DibHeader bi{};
    bi.Header.biSize = sizeof(BITMAPINFOHEADER);
    bi.Header.biWidth = width;
    bi.Header.biHeight = height;
    bi.Header.biPlanes = 1;
    bi.Header.biBitCount = static_cast<WORD>(bitCount);
    bi.Header.biCompression = BI_RGB;
    if (pf == pf16bit) {
        bi.Header.biCompression = BI_BITFIELDS;
        bi.Masks[0] = 0xF800;
        bi.Masks[1] = 0x07E0;
        bi.Masks[2] = 0x001F;
    } else if (!img->Colors.empty()) {
        bi.Header.biClrUsed = static_cast<DWORD>(img->Colors.size());
        std::copy(img->Colors.begin(), img->Colors.end(), bi.Colors);
    }
    void* bits = nullptr;
    HBITMAP h =
        ::CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!h || !bits)
        throw EOutOfResources("out of system resources: cannot create a " + std::to_string(width) + "x" +
                              std::to_string(height) + " bitmap");
    img->Handle.Reset(h);
    img->Bits = bits;
    return img;
}

std::unique_ptr<Image> CreateDdb(std::int32_t width, std::int32_t height)
{
    auto img = std::make_unique<Image>();
    img->Width = width;
    img->Height = height;
    img->Format = pfDevice;
    if (width == 0 || height == 0)
        return img;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4 > kMaxPixelBytes)
        throw EInvalidGraphic(std::to_string(width) + "x" + std::to_string(height) +
                              " bitmap exceeds the size limit");
    WindowDC screen(nullptr);
    HBITMAP h = ::CreateCompatibleBitmap(screen.Get(), width, height);
    if (!h)
        throw EOutOfResources("out of system resources: cannot create a device bitmap");
    img->Handle.Reset(h);
    return img;
}

// The screen's own depth, for device bitmaps turned into DIBs.
TPixelFormat ScreenPixelFormat()
{
    WindowDC screen(nullptr);
    const int bits =
        screen ? ::GetDeviceCaps(screen.Get(), BITSPIXEL) * ::GetDeviceCaps(screen.Get(), PLANES) : 24;
    switch (bits) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 15: return pf15bit;
    case 16: return pf16bit;
    case 32: return pf32bit;
    default: return pf24bit;
    }
}

// Draws `from` into `to` at the origin through GDI, which converts between formats.
void BlitImage(const Image& from, Image& to)
{
    if (!from.Handle || !to.Handle)
        return;
    OwnedDC src(::CreateCompatibleDC(nullptr));
    OwnedDC dst(::CreateCompatibleDC(nullptr));
    if (!src || !dst)
        throw EOutOfResources("out of system resources: cannot create a device context");
    SelectGuard s(src.Get(), from.Handle.Get());
    SelectGuard d(dst.Get(), to.Handle.Get());
    ::BitBlt(dst.Get(), 0, 0, std::min(from.Width, to.Width), std::min(from.Height, to.Height), src.Get(), 0,
             0, SRCCOPY);
    ::GdiFlush();
}

void FillWhite(Image& img)
{
    if (!img.Handle)
        return;
    OwnedDC dc(::CreateCompatibleDC(nullptr));
    if (!dc)
        throw EOutOfResources("out of system resources: cannot create a device context");
    SelectGuard s(dc.Get(), img.Handle.Get());
    RECT r{0, 0, img.Width, img.Height};
    ::FillRect(dc.Get(), &r, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::GdiFlush();
}

// Same format on both sides: copies the overlapping pixels bit-exactly, palette indexes
// included, which a GDI blit would remap by colour.
void CopyPixelsExact(const Image& from, Image& to)
{
    const std::int32_t w = std::min(from.Width, to.Width);
    const std::int32_t h = std::min(from.Height, to.Height);
    if (w <= 0 || h <= 0)
        return;
    ::GdiFlush();
    const std::int64_t bits = static_cast<std::int64_t>(w) * BitCountOf(from.Format);
    const std::size_t whole = static_cast<std::size_t>(bits / 8);
    const int rest = static_cast<int>(bits % 8);
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* s = from.Row(y);
        std::uint8_t* d = to.Row(y);
        std::memcpy(d, s, whole);
        if (rest) {
            // The leftmost pixel is the most significant bit.
            const std::uint8_t mask = static_cast<std::uint8_t>(0xFF00 >> rest);
            d[whole] = static_cast<std::uint8_t>((d[whole] & ~mask) | (s[whole] & mask));
        }
    }
}

// Writes each pixel of a 32-bit image as the index of the nearest colour of `to`'s table.
void MapToColorTable(const Image& rgb, Image& to)
{
    ::GdiFlush();
    const int bits = BitCountOf(to.Format);
    std::unordered_map<std::uint32_t, std::uint8_t> cache;
    auto nearest = [&](std::uint32_t bgr) {
        auto it = cache.find(bgr);
        if (it != cache.end())
            return it->second;
        const int b = bgr & 0xFF, g = (bgr >> 8) & 0xFF, r = (bgr >> 16) & 0xFF;
        std::uint8_t best = 0;
        long bestDistance = LONG_MAX;
        for (std::size_t i = 0; i < to.Colors.size(); ++i) {
            const RGBQUAD& q = to.Colors[i];
            const long dr = q.rgbRed - r, dg = q.rgbGreen - g, db = q.rgbBlue - b;
            const long d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<std::uint8_t>(i);
            }
        }
        cache.emplace(bgr, best);
        return best;
    };
    for (std::int32_t y = 0; y < to.Height; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(rgb.Row(y));
        std::uint8_t* dst = to.Row(y);
        std::memset(dst, 0, static_cast<std::size_t>(to.RowLength));
        for (std::int32_t x = 0; x < to.Width; ++x) {
            const std::uint8_t index = nearest(src[x] & 0xFFFFFF);
            if (bits == 8)
                dst[x] = index;
            else if (bits == 4)
                dst[x / 2] |= static_cast<std::uint8_t>((x & 1) ? index : index << 4);
            else if (index)
                dst[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
}

std::unique_ptr<Image> CopyImage(const Image& from, std::int32_t width, std::int32_t height, bool dib,
                                 TPixelFormat pf)
{
    std::unique_ptr<Image> to;
    if (dib) {
        std::vector<RGBQUAD> colors;
        if (HasColorTable(pf) && from.Colors.size() <= (std::size_t{1} << BitCountOf(pf)))
            colors = from.Colors;
        to = CreateDib(width, height, pf, colors);
    } else {
        to = CreateDdb(width, height);
    }
    if (width > from.Width || height > from.Height)
        FillWhite(*to);
    if (from.Dib && to->Dib && from.Format == to->Format && SameColors(from.Colors, to->Colors)) {
        CopyPixelsExact(from, *to);
    } else if (to->Dib && HasColorTable(to->Format) && to->Handle) {
        // GDI's nearest-colour match into a colour table is approximate on some systems;
        // go through exact RGB and pick the nearest entry ourselves.
        auto rgb = CreateDib(width, height, pf32bit, {});
        if (width > from.Width || height > from.Height)
            FillWhite(*rgb);
        BlitImage(from, *rgb);
        MapToColorTable(*rgb, *to);
    } else {
        BlitImage(from, *to);
    }
    return to;
}

// --- BMP reading ---

TPixelFormat PixelFormatOf(rtl::TBmpPixelFormat format)
{
    switch (format) {
    case rtl::bf1bit: return pf1bit;
    case rtl::bf4bit: return pf4bit;
    case rtl::bf8bit: return pf8bit;
    case rtl::bf15bit: return pf15bit;
    case rtl::bf16bit: return pf16bit;
    case rtl::bf24bit: return pf24bit;
    default: return pf32bit;
    }
}

// The portable reader has checked the headers; the DIB section is made to their measure and the
// pixels are decoded straight into it.
std::unique_ptr<Image> DecodeIntoDib(const std::uint8_t* data, std::size_t size,
                                     const rtl::TBmpHeader& header)
{
    std::vector<RGBQUAD> colors;
    for (const rtl::TBmpColor& c : header.Colors)
        colors.push_back(RGBQUAD{c.Blue, c.Green, c.Red, 0});
    // A short palette is padded with black so indexes beyond it stay defined.
    auto img = CreateDib(header.Width, header.Height, PixelFormatOf(header.Format), std::move(colors));
    ::GdiFlush();
    rtl::DecodeBmpPixels(header, data, size, static_cast<std::uint8_t*>(img->Bits),
                         static_cast<std::size_t>(img->RowLength));
    return img;
}

void PutLe16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

}  // namespace

// --- the bitmap's canvas ---

// Owns a memory DC with the bitmap's handle selected; released whenever the bitmap
// replaces its pixels so the old handle is never deleted while selected.
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    ~TBitmapCanvas() override { FreeContext(); }

    void FreeContext()
    {
        if (!dc_)
            return;
        Lock();
        SetHandle(nullptr);
        bitmapGuard_.reset();
        paletteGuard_.reset();
        dc_.Reset();
        Unlock();
    }

protected:
    void CreateHandle() override
    {
        Lock();
        try {
            OwnedDC dc(::CreateCompatibleDC(nullptr));
            if (!dc)
                throw EOutOfResources("out of system resources: cannot create a device context");
            dc_ = std::move(dc);
            if (bitmap_.image_ && bitmap_.image_->Handle)
                bitmapGuard_.emplace(dc_.Get(), bitmap_.image_->Handle.Get());
            if (HPALETTE pal = bitmap_.Palette()) {
                paletteGuard_.emplace(dc_.Get(), pal);
                ::RealizePalette(dc_.Get());
            }
            SetHandle(dc_.Get());
        } catch (...) {
            Unlock();
            throw;
        }
        Unlock();
    }

    void Changing() override { TCanvas::Changing(); }
    void Changed() override
    {
        bitmap_.Changed(&bitmap_);
        TCanvas::Changed();
    }

private:
    // SelectObject for a palette goes through SelectPalette; a plain guard would be wrong.
    struct PaletteGuard {
        PaletteGuard(HDC dc, HPALETTE pal) : dc_(dc), old_(::SelectPalette(dc, pal, TRUE)) {}
        ~PaletteGuard()
        {
            if (old_)
                ::SelectPalette(dc_, old_, TRUE);
        }
        HDC dc_;        // not owned
        HPALETTE old_;  // not owned
    };

    TBitmap& bitmap_;
    OwnedDC dc_;
    // Declared after dc_: destroyed first, so the originals go back before the DC dies.
    std::optional<PaletteGuard> paletteGuard_;
    std::optional<SelectGuard> bitmapGuard_;
};

// --- TBitmap ---

void TBitmap::Publish(Table&) {}

TBitmap::TBitmap() : image_(CreateDdb(0, 0)) {}

TBitmap::~TBitmap()
{
    // The canvas's DC must let go of the handle before the image deletes it.
    canvas_.reset();
}

void TBitmap::FreeCanvasContext()
{
    if (canvas_)
        static_cast<TBitmapCanvas*>(canvas_.get())->FreeContext();
}

void TBitmap::Replace(std::unique_ptr<Image> image)
{
    FreeCanvasContext();
    image_ = std::move(image);
    width_ = image_->Width;
    height_ = image_->Height;
    dib_ = image_->Dib;
    pixelFormat_ = image_->Format;
    Changed(this);
}

void TBitmap::Changed(rtl::TObject* sender) { TGraphic::Changed(sender); }

void TBitmap::SetSize(std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphic("invalid bitmap size " + std::to_string(width) + "x" + std::to_string(height));
    if (width == width_ && height == height_)
        return;
    // A bitmap is selected into at most one DC: the canvas must let go before we copy.
    FreeCanvasContext();
    ::GdiFlush();
    Replace(CopyImage(*image_, width, height, dib_, pixelFormat_));
}

void TBitmap::SetPixelFormat(TPixelFormat value)
{
    if (value == pfCustom)
        throw EInvalidGraphicOperation("pfCustom cannot be chosen");
    if (value == pixelFormat_)
        return;
    if (value == pfDevice) {
        SetHandleType(bmDDB);
        return;
    }
    FreeCanvasContext();
    ::GdiFlush();
    Replace(CopyImage(*image_, width_, height_, true, value));
}

void TBitmap::SetHandleType(TBitmapHandleType value)
{
    if (value == HandleType())
        return;
    FreeCanvasContext();
    ::GdiFlush();
    if (value == bmDDB)
        Replace(CopyImage(*image_, width_, height_, false, pfDevice));
    else
        Replace(CopyImage(*image_, width_, height_, true, ScreenPixelFormat()));
}

void TBitmap::EnsureDIB()
{
    if (!dib_)
        SetHandleType(bmDIB);
}

bool TBitmap::Monochrome() const
{
    if (pixelFormat_ != pf1bit || image_->Colors.size() != 2)
        return false;
    const RGBQUAD& a = image_->Colors[0];
    const RGBQUAD& b = image_->Colors[1];
    return a.rgbRed == 0 && a.rgbGreen == 0 && a.rgbBlue == 0 && b.rgbRed == 255 && b.rgbGreen == 255 &&
           b.rgbBlue == 255;
}

void TBitmap::SetMonochrome(bool value)
{
    if (value == Monochrome())
        return;
    if (value) {
        FreeCanvasContext();
        ::GdiFlush();
        Replace(CopyImage(*image_, width_, height_, true, pf1bit));
        SetPaletteEntries({PALETTEENTRY{0, 0, 0, 0}, PALETTEENTRY{255, 255, 255, 0}});
    } else {
        SetPixelFormat(ScreenPixelFormat());
    }
}

void* TBitmap::ScanLine(std::int32_t row)
{
    EnsureDIB();
    if (row < 0 || row >= height_ || !image_->Bits)
        throw EInvalidGraphicOperation("Scan line index out of range");
    ::GdiFlush();
    return image_->Row(row);
}

std::int32_t TBitmap::RowLength() const { return image_->RowLength; }

TCanvas* TBitmap::Canvas()
{
    if (!canvas_)
        canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return canvas_.get();
}

HBITMAP TBitmap::Handle()
{
    FreeCanvasContext();
    ::GdiFlush();
    return image_->Handle.Get();
}

void TBitmap::SetHandle(HBITMAP bitmap)
{
    auto img = std::make_unique<Image>();
    if (bitmap) {
        DIBSECTION ds{};
        const int n = ::GetObjectA(bitmap, sizeof ds, &ds);
        if (n == 0)
            throw EInvalidGraphicOperation("invalid bitmap handle");
        img->Width = ds.dsBm.bmWidth;
        img->Height = ds.dsBm.bmHeight;
        if (n == sizeof(DIBSECTION) && ds.dsBm.bmBits && ds.dsBmih.biHeight > 0) {
            img->Dib = true;
            img->Bits = ds.dsBm.bmBits;
            img->RowLength = ds.dsBm.bmWidthBytes;
            switch (ds.dsBmih.biBitCount) {
            case 1: img->Format = pf1bit; break;
            case 4: img->Format = pf4bit; break;
            case 8: img->Format = pf8bit; break;
            case 16:
                img->Format = ds.dsBmih.biCompression == BI_BITFIELDS && ds.dsBitfields[1] == 0x07E0
                                  ? pf16bit
                                  : pf15bit;
                break;
            case 24: img->Format = pf24bit; break;
            case 32: img->Format = pf32bit; break;
            default: img->Format = pfCustom; break;
            }
            if (HasColorTable(img->Format)) {
                OwnedDC dc(::CreateCompatibleDC(nullptr));
                SelectGuard s(dc.Get(), bitmap);
                RGBQUAD table[256];
                const UINT count = ::GetDIBColorTable(dc.Get(), 0, 256, table);
                img->Colors.assign(table, table + count);
            }
        } else if (n == sizeof(DIBSECTION) && ds.dsBm.bmBits) {
            // Top-down sections would reverse ScanLine; keep such a bitmap as a copy.
            OwnedBitmap adopt(bitmap);
            Image tmp;
            tmp.Handle = std::move(adopt);
            tmp.Width = img->Width;
            tmp.Height = img->Height;
            Replace(CopyImage(tmp, tmp.Width, tmp.Height, true, pf32bit));
            return;
        } else {
            img->Format = pfDevice;
        }
        img->Handle.Reset(bitmap);
    }
    Replace(std::move(img));
}

HBITMAP TBitmap::ReleaseHandle()
{
    FreeCanvasContext();
    ::GdiFlush();
    HBITMAP h = image_->Handle.Release();
    auto empty = dib_ ? CreateDib(0, 0, pixelFormat_, {}) : CreateDdb(0, 0);
    image_ = std::move(empty);
    width_ = height_ = 0;
    Changed(this);
    return h;
}

std::vector<PALETTEENTRY> TBitmap::PaletteEntries() const
{
    std::vector<PALETTEENTRY> out;
    for (const RGBQUAD& q : image_->Colors)
        out.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
    return out;
}

void TBitmap::SetPaletteEntries(const std::vector<PALETTEENTRY>& entries)
{
    EnsureDIB();
    if (!HasColorTable(pixelFormat_))
        throw EInvalidGraphicOperation("a " + std::to_string(BitCountOf(pixelFormat_)) +
                                       "-bit bitmap has no colour table");
    const std::size_t max = std::size_t{1} << BitCountOf(pixelFormat_);
    if (entries.empty() || entries.size() > max)
        throw EInvalidGraphicOperation(std::to_string(entries.size()) + " colours for a " +
                                       std::to_string(BitCountOf(pixelFormat_)) + "-bit bitmap");
    std::vector<RGBQUAD> colors;
    for (const auto& e : entries)
        colors.push_back(RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0});
    FreeCanvasContext();
    if (image_->Handle) {
        OwnedDC dc(::CreateCompatibleDC(nullptr));
        if (!dc)
            throw EOutOfResources("out of system resources: cannot create a device context");
        SelectGuard s(dc.Get(), image_->Handle.Get());
        ::SetDIBColorTable(dc.Get(), 0, static_cast<UINT>(colors.size()), colors.data());
    }
    image_->Colors = std::move(colors);
    image_->Palette.Reset();
    Changed(this);
}

HPALETTE TBitmap::Palette()
{
    if (image_->Colors.empty())
        return nullptr;
    if (!image_->Palette) {
        struct {
            WORD Version;
            WORD Count;
            PALETTEENTRY Entries[256];
        } lp{};
        lp.Version = 0x300;
        lp.Count = static_cast<WORD>(image_->Colors.size());
        for (std::size_t i = 0; i < image_->Colors.size(); ++i) {
            const RGBQUAD& q = image_->Colors[i];
            lp.Entries[i] = PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
        }
        image_->Palette.Reset(::CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp)));
    }
    return image_->Palette.Get();
}

TColor TBitmap::TransparentColor()
{
    if (transparentMode_ == tmFixed && transparentColor_ != clDefault)
        return transparentColor_;
    if (Empty())
        return clWhite;
    if (Monochrome())
        return clWhite;
    // The bottom-left pixel, as the automatic mode defines it.
    return Canvas()->Pixels(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor value)
{
    if (value == transparentColor_)
        return;
    transparentColor_ = value;
    transparentMode_ = value == clDefault ? tmAuto : tmFixed;
    Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode value)
{
    if (value == transparentMode_)
        return;
    if (value == tmAuto)
        SetTransparentColor(clDefault);
    else
        SetTransparentColor(TransparentColor());
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect)
{
    if (Empty())
        return;
    HDC dst = canvas.Handle();
    HDC src = Canvas()->Handle();
    if (Transparent()) {
        ::TransparentBlt(dst, rect.Left, rect.Top, rect.Width(), rect.Height(), src, 0, 0, width_, height_,
                         ColorToRGB(TransparentColor()));
        return;
    }
    // Halving colour images with the default mode merges pixels into noise; the caller's
    // own mode comes back afterwards.
    const int oldMode = ::SetStretchBltMode(dst, Monochrome() ? BLACKONWHITE : COLORONCOLOR);
    ::StretchBlt(dst, rect.Left, rect.Top, rect.Width(), rect.Height(), src, 0, 0, width_, height_,
                 static_cast<DWORD>(canvas.CopyMode()));
    if (oldMode)
        ::SetStretchBltMode(dst, oldMode);
}

void TBitmap::LoadFromStream(rtl::TStream& stream)
{
    const std::vector<std::uint8_t> file = rtl::ReadBmpFile(stream);
    Replace(DecodeIntoDib(file.data(), file.size(), rtl::ReadBmpHeader(file.data(), file.size())));
}

void TBitmap::SaveToStream(rtl::TStream& stream)
{
    ::GdiFlush();
    std::unique_ptr<Image> converted;
    const Image* img = image_.get();
    if (!img->Dib || img->Format == pfCustom) {
        FreeCanvasContext();
        converted = CopyImage(*img, width_, height_, true, pf24bit);
        img = converted.get();
    }
    const int bitCount = BitCountOf(img->Format);
    const std::uint32_t rowLength =
        img->Width ? static_cast<std::uint32_t>(BytesPerScanline(img->Width, bitCount, 32)) : 0;
    const std::uint64_t imageBytes =
        static_cast<std::uint64_t>(rowLength) * static_cast<std::uint64_t>(img->Height);
    const std::uint32_t extra =
        img->Format == pf16bit ? 12 : static_cast<std::uint32_t>(img->Colors.size() * 4);
    const std::uint64_t offBits = kFileHeaderSize + kInfoHeaderSize + extra;
    const std::uint64_t fileSize = offBits + imageBytes;
    if (fileSize > UINT32_MAX)
        throw EInvalidGraphic("bitmap too large for a BMP file");

    std::vector<std::uint8_t> head;
    head.push_back('B');
    head.push_back('M');
    PutLe32(head, static_cast<std::uint32_t>(fileSize));
    PutLe32(head, 0);
    PutLe32(head, static_cast<std::uint32_t>(offBits));
    PutLe32(head, kInfoHeaderSize);
    PutLe32(head, static_cast<std::uint32_t>(img->Width));
    PutLe32(head, static_cast<std::uint32_t>(img->Height));
    PutLe16(head, 1);
    PutLe16(head, static_cast<std::uint32_t>(bitCount ? bitCount : 24));
    PutLe32(head, img->Format == pf16bit ? BI_BITFIELDS : BI_RGB);
    PutLe32(head, static_cast<std::uint32_t>(imageBytes));
    PutLe32(head, 3780);  // 96 dpi in pixels per metre
    PutLe32(head, 3780);
    PutLe32(head, static_cast<std::uint32_t>(img->Colors.size()));
    PutLe32(head, 0);
    if (img->Format == pf16bit) {
        PutLe32(head, 0xF800);
        PutLe32(head, 0x07E0);
        PutLe32(head, 0x001F);
    } else {
        for (const RGBQUAD& q : img->Colors) {
            head.push_back(q.rgbBlue);
            head.push_back(q.rgbGreen);
            head.push_back(q.rgbRed);
            head.push_back(0);
        }
    }
    stream.WriteBuffer(head.data(), static_cast<std::int32_t>(head.size()));
    // The section is bottom-up already: its memory is the file's row order.
    if (imageBytes)
        stream.WriteBuffer(static_cast<std::uint8_t*>(img->Bits) + 0, static_cast<std::int32_t>(imageBytes));
}

void TBitmap::ReadData(rtl::TStream& stream)
{
    std::uint8_t sizeBytes[4];
    if (stream.Read(sizeBytes, 4) != 4)
        BadBitmap("stored length ends early");
    const auto length = static_cast<std::int32_t>(rtl::LoadLE32(sizeBytes));
    if (length <= 0) {
        Replace(CreateDib(0, 0, pixelFormat_ == pfDevice ? pf24bit : pixelFormat_, {}));
        return;
    }
    // Parse from a copy of exactly `length` bytes, so a lying header cannot read past it.
    const std::int64_t remaining = stream.Size() - stream.Position();
    if (length > remaining)
        BadBitmap("stored bitmap needs " + std::to_string(length) + " bytes, " +
                  std::to_string(std::max<std::int64_t>(remaining, 0)) + " present");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (stream.Read(bytes.data(), length) != length)
        BadBitmap("stored bitmap ends early");
    rtl::TReadOnlyMemoryStream inner(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    LoadFromStream(inner);
}

void TBitmap::WriteData(rtl::TStream& stream)
{
    rtl::TMemoryStream body;
    SaveToStream(body);
    const auto size = static_cast<std::uint32_t>(body.Size());
    std::uint8_t sizeBytes[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                 static_cast<std::uint8_t>(size >> 16),
                                 static_cast<std::uint8_t>(size >> 24)};
    stream.WriteBuffer(sizeBytes, 4);
    if (size)
        stream.WriteBuffer(body.Memory(), static_cast<std::int32_t>(size));
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::string& name)
{
    HRSRC res = ::FindResourceA(instance, name.c_str(), MAKEINTRESOURCEA(2));
    if (!res)
        throw EInvalidGraphic("bitmap resource " + name + " not found");
    HGLOBAL mem = ::LoadResource(instance, res);
    const DWORD size = ::SizeofResource(instance, res);
    const auto* data = mem ? static_cast<const std::uint8_t*>(::LockResource(mem)) : nullptr;
    if (!data || size == 0)
        throw EInvalidGraphic("bitmap resource " + name + " cannot be loaded");
    Replace(DecodeIntoDib(data, size, rtl::ReadDibHeader(data, size)));
}

void TBitmap::LoadFromResourceID(HINSTANCE instance, int id)
{
    HRSRC res = ::FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
    if (!res)
        throw EInvalidGraphic("bitmap resource " + std::to_string(id) + " not found");
    HGLOBAL mem = ::LoadResource(instance, res);
    const DWORD size = ::SizeofResource(instance, res);
    const auto* data = mem ? static_cast<const std::uint8_t*>(::LockResource(mem)) : nullptr;
    if (!data || size == 0)
        throw EInvalidGraphic("bitmap resource " + std::to_string(id) + " cannot be loaded");
    Replace(DecodeIntoDib(data, size, rtl::ReadDibHeader(data, size)));
}

void TBitmap::Assign(rtl::TPersistent* source)
{
    if (!source) {
        Replace(dib_ ? CreateDib(0, 0, pixelFormat_, {}) : CreateDdb(0, 0));
        return;
    }
    if (auto* b = dynamic_cast<TBitmap*>(source)) {
        if (b == this)
            return;
        b->FreeCanvasContext();
        ::GdiFlush();
        auto copy = CopyImage(*b->image_, b->width_, b->height_, b->dib_, b->pixelFormat_);
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        SetTransparent(b->Transparent());
        Replace(std::move(copy));
        return;
    }
    if (auto* g = dynamic_cast<TGraphic*>(source)) {
        // Any other graphic: render it onto a bitmap of its size.
        auto img = CreateDib(g->Width(), g->Height(), pf24bit, {});
        Replace(std::move(img));
        if (!Empty()) {
            Canvas()->Brush()->SetColor(clWhite);
            Canvas()->FillRect(Rect(0, 0, width_, height_));
            Canvas()->Draw(0, 0, g);
        }
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::FreeImage() { Replace(dib_ ? CreateDib(0, 0, pixelFormat_, {}) : CreateDdb(0, 0)); }

}  // namespace win
