// TBitmap: DIB sections and device bitmaps, pixel-format conversion, BMP files.
#include "platform/win/Graphics.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace win {

namespace {

// Header sizes of the BMP variants we read.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kFileHeaderSize = 14;
// A single bitmap's pixels: far beyond any picture a form holds, well inside a 32-bit process.
constexpr std::uint64_t kMaxPixelBytes = 256u * 1024 * 1024;

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

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Remaining() const { return size_ - pos_; }
    std::size_t Pos() const { return pos_; }
    bool Has(std::size_t n) const { return n <= size_ - pos_; }
    std::uint8_t U8() { return Need(1), data_[pos_++]; }
    std::uint16_t U16()
    {
        Need(2);
        std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    std::uint32_t U32()
    {
        Need(4);
        std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                          static_cast<std::uint32_t>(data_[pos_ + 1]) << 8 |
                          static_cast<std::uint32_t>(data_[pos_ + 2]) << 16 |
                          static_cast<std::uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    void Skip(std::size_t n)
    {
        Need(n);
        pos_ += n;
    }
    const std::uint8_t* Here() const { return data_ + pos_; }

private:
    void Need(std::size_t n) const
    {
        if (!Has(n))
            BadBitmap("header ends early at byte " + std::to_string(pos_));
    }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

struct BmpInfo {
    std::uint32_t HeaderSize = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;  // positive: bottom-up
    bool TopDown = false;
    int BitCount = 0;
    std::uint32_t Compression = BI_RGB;
    std::uint32_t ImageSize = 0;
    std::uint32_t Masks[3] = {0, 0, 0};
    std::vector<RGBQUAD> Colors;
};

struct MaskShift {
    std::uint32_t Mask = 0;
    int Shift = 0;
    int Bits = 0;
    std::uint8_t Scale(std::uint32_t pixel) const
    {
        if (!Mask)
            return 0;
        std::uint32_t v = (pixel & Mask) >> Shift;
        if (Bits >= 8)
            return static_cast<std::uint8_t>(v >> (Bits - 8));
        // Spread the top bits into the low ones so full scale becomes 255.
        return static_cast<std::uint8_t>(v * 255 / ((1u << Bits) - 1));
    }
};

MaskShift Analyse(std::uint32_t mask)
{
    MaskShift m;
    m.Mask = mask;
    if (!mask)
        return m;
    while (!((mask >> m.Shift) & 1))
        ++m.Shift;
    std::uint32_t v = mask >> m.Shift;
    while (v & 1) {
        ++m.Bits;
        v >>= 1;
    }
    if (v)
        BadBitmap("colour mask is not contiguous");
    return m;
}

// Entries are blue, green, red, then a fourth byte after every header but the core one.
void ReadColorTable(ByteReader& r, std::uint32_t count, std::size_t entrySize, std::vector<RGBQUAD>& colors)
{
    if (!r.Has(static_cast<std::size_t>(count) * entrySize))
        BadBitmap("colour table ends early");
    for (std::uint32_t i = 0; i < count; ++i) {
        RGBQUAD q;
        q.rgbBlue = r.U8();
        q.rgbGreen = r.U8();
        q.rgbRed = r.U8();
        q.rgbReserved = 0;
        r.Skip(entrySize - 3);
        colors.push_back(q);
    }
}

// Parses the info header and colour table of a packed DIB (what follows the file header).
BmpInfo ReadInfo(ByteReader& r)
{
    BmpInfo info;
    info.HeaderSize = r.U32();
    const std::uint32_t hs = info.HeaderSize;
    if (hs != kCoreHeaderSize && hs != kInfoHeaderSize && hs != 52 && hs != 56 && hs != 64 && hs != 108 &&
        hs != 124)
        BadBitmap("unknown header size " + std::to_string(hs));
    std::int64_t height;
    int planes;
    if (hs == kCoreHeaderSize) {
        info.Width = r.U16();
        height = r.U16();
        planes = r.U16();
        info.BitCount = r.U16();
    } else {
        info.Width = static_cast<std::int32_t>(r.U32());
        height = static_cast<std::int32_t>(r.U32());
        planes = r.U16();
        info.BitCount = r.U16();
        info.Compression = r.U32();
        info.ImageSize = r.U32();
        r.U32();  // resolution
        r.U32();
        const std::uint32_t clrUsed = r.U32();
        r.U32();  // important colours
        if (hs >= 52 && hs != 64) {
            info.Masks[0] = r.U32();
            info.Masks[1] = r.U32();
            info.Masks[2] = r.U32();
        }
        r.Skip(hs - (hs >= 52 && hs != 64 ? 52 : 40));
        if (info.BitCount <= 8 && clrUsed > (1u << info.BitCount))
            BadBitmap(std::to_string(clrUsed) + " colours for " + std::to_string(info.BitCount) +
                      " bits per pixel");
        if (info.Compression == BI_BITFIELDS && hs == kInfoHeaderSize) {
            info.Masks[0] = r.U32();
            info.Masks[1] = r.U32();
            info.Masks[2] = r.U32();
        }
        if (info.BitCount <= 8)
            ReadColorTable(r, clrUsed ? clrUsed : 1u << info.BitCount, 4, info.Colors);
    }
    if (hs == kCoreHeaderSize && info.BitCount <= 8)
        ReadColorTable(r, 1u << info.BitCount, 3, info.Colors);
    if (planes != 1)
        BadBitmap(std::to_string(planes) + " planes");
    if (info.BitCount != 1 && info.BitCount != 4 && info.BitCount != 8 && info.BitCount != 16 &&
        info.BitCount != 24 && info.BitCount != 32)
        BadBitmap(std::to_string(info.BitCount) + " bits per pixel");
    if (info.Width <= 0)
        BadBitmap("width " + std::to_string(info.Width));
    if (height == 0 || height == INT32_MIN)
        BadBitmap("height " + std::to_string(height));
    info.TopDown = height < 0;
    info.Height = static_cast<std::int32_t>(height < 0 ? -height : height);
    // The 64-byte OS/2 header gives compression codes 3 and 4 other meanings.
    if (hs == 64 && info.Compression != BI_RGB && info.Compression != BI_RLE8 && info.Compression != BI_RLE4)
        BadBitmap("unsupported OS/2 compression " + std::to_string(info.Compression));
    switch (info.Compression) {
    case BI_RGB: break;
    case BI_RLE8:
        if (info.BitCount != 8 || info.TopDown)
            BadBitmap("RLE8 needs a bottom-up 8-bit bitmap");
        break;
    case BI_RLE4:
        if (info.BitCount != 4 || info.TopDown)
            BadBitmap("RLE4 needs a bottom-up 4-bit bitmap");
        break;
    case BI_BITFIELDS:
        if (info.BitCount != 16 && info.BitCount != 32)
            BadBitmap("bit fields need 16 or 32 bits per pixel");
        break;
    default: BadBitmap("unsupported compression " + std::to_string(info.Compression));
    }
    if (info.BitCount <= 8 && info.Colors.empty())
        BadBitmap("palette bitmap without colours");
    return info;
}

// Decodes RLE4/RLE8 runs into a bottom-up DIB. Runs that leave the bitmap are clipped;
// pixels no run reaches keep index 0.
void DecodeRle(const std::uint8_t* data, std::size_t size, Image& img, int bitCount)
{
    ByteReader r(data, size);
    std::int64_t x = 0, y = 0;  // y counted from the bottom
    auto bottomUpRow = [&](std::int64_t row) {
        return static_cast<std::uint8_t*>(img.Bits) + static_cast<std::size_t>(row) * img.RowLength;
    };
    auto put = [&](std::uint8_t index) {
        if (y < img.Height && x < img.Width) {
            std::uint8_t* row = bottomUpRow(y);
            if (bitCount == 8) {
                row[x] = index;
            } else {
                std::uint8_t& b = row[x / 2];
                b = (x & 1) ? static_cast<std::uint8_t>((b & 0xF0) | (index & 0x0F))
                            : static_cast<std::uint8_t>((b & 0x0F) | (index << 4));
            }
        }
        ++x;
    };
    auto truncated = [] { BadBitmap("compressed data ends early"); };
    while (y < img.Height) {
        if (!r.Has(2))
            truncated();
        const std::uint8_t count = r.U8();
        const std::uint8_t value = r.U8();
        if (count) {
            for (int i = 0; i < count; ++i)
                put(bitCount == 8 ? value : ((i & 1) ? (value & 0x0F) : (value >> 4)));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            if (!r.Has(2))
                truncated();
            x += r.U8();
            y += r.U8();
        } else {  // literal run, padded to a word
            const std::size_t bytes = bitCount == 8 ? value : (value + 1u) / 2;
            if (!r.Has(bytes + (bytes & 1)))
                truncated();
            const std::uint8_t* lit = r.Here();
            for (int i = 0; i < value; ++i)
                put(bitCount == 8 ? lit[i] : ((i & 1) ? (lit[i / 2] & 0x0F) : (lit[i / 2] >> 4)));
            r.Skip(bytes + (bytes & 1));
        }
    }
}

// Builds an image from a packed DIB: info header, colour table, then pixels at `bitsOffset`
// from the start of `dib` (0: right after the colour table).
std::unique_ptr<Image> DecodeDib(const std::uint8_t* dib, std::size_t size, std::uint64_t bitsOffset,
                                 std::uint32_t fileSize)
{
    ByteReader r(dib, size);
    BmpInfo info = ReadInfo(r);
    const std::size_t tableEnd = r.Pos();
    if (bitsOffset == 0)
        bitsOffset = tableEnd;
    if (bitsOffset < tableEnd)
        BadBitmap("pixel data offset " + std::to_string(bitsOffset) + " lies inside the header");
    if (bitsOffset > size)
        BadBitmap("pixel data offset " + std::to_string(bitsOffset) + " lies beyond the end");
    const std::uint8_t* pixels = dib + bitsOffset;
    const std::size_t available = size - static_cast<std::size_t>(bitsOffset);

    const std::int64_t srcRow = BytesPerScanline(info.Width, info.BitCount, 32);
    const bool rle = info.Compression == BI_RLE4 || info.Compression == BI_RLE8;
    if (!rle && static_cast<std::uint64_t>(srcRow) * static_cast<std::uint64_t>(info.Height) > available)
        BadBitmap(std::to_string(info.Width) + "x" + std::to_string(info.Height) + " pixels need " +
                  std::to_string(srcRow * info.Height) + " bytes, " + std::to_string(available) + " present");
    (void)fileSize;

    // Formats GDI keeps as they are; other masks are unpacked into 24 bits.
    TPixelFormat pf;
    bool unpackMasks = false;
    MaskShift ms[3];
    switch (info.BitCount) {
    case 1: pf = pf1bit; break;
    case 4: pf = pf4bit; break;
    case 8: pf = pf8bit; break;
    case 16:
        if (info.Compression != BI_BITFIELDS ||
            (info.Masks[0] == 0x7C00 && info.Masks[1] == 0x03E0 && info.Masks[2] == 0x001F)) {
            pf = pf15bit;
        } else if (info.Masks[0] == 0xF800 && info.Masks[1] == 0x07E0 && info.Masks[2] == 0x001F) {
            pf = pf16bit;
        } else {
            pf = pf24bit;
            unpackMasks = true;
        }
        break;
    case 24: pf = pf24bit; break;
    default:
        if (info.Compression != BI_BITFIELDS ||
            (info.Masks[0] == 0xFF0000 && info.Masks[1] == 0xFF00 && info.Masks[2] == 0xFF)) {
            pf = pf32bit;
        } else {
            pf = pf24bit;
            unpackMasks = true;
        }
        break;
    }
    if (unpackMasks)
        for (int i = 0; i < 3; ++i)
            ms[i] = Analyse(info.Masks[i]);

    auto img = CreateDib(info.Width, info.Height, pf, info.Colors);
    // A short palette is padded with black so indexes beyond it stay defined.
    ::GdiFlush();
    if (rle) {
        std::memset(img->Bits, 0, static_cast<std::size_t>(img->RowLength) * img->Height);
        DecodeRle(pixels, available, *img, info.BitCount);
        return img;
    }
    for (std::int32_t y = 0; y < info.Height; ++y) {
        // File row i is the bottom row unless the image is top-down.
        const std::int32_t top = info.TopDown ? y : info.Height - 1 - y;
        const std::uint8_t* src = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(srcRow);
        std::uint8_t* dst = img->Row(top);
        if (!unpackMasks) {
            std::memcpy(dst, src, static_cast<std::size_t>(std::min<std::int64_t>(srcRow, img->RowLength)));
            continue;
        }
        for (std::int32_t x = 0; x < info.Width; ++x) {
            std::uint32_t p = info.BitCount == 16
                                  ? static_cast<std::uint32_t>(src[x * 2] | src[x * 2 + 1] << 8)
                                  : static_cast<std::uint32_t>(src[x * 4]) | src[x * 4 + 1] << 8 |
                                        src[x * 4 + 2] << 16 |
                                        static_cast<std::uint32_t>(src[x * 4 + 3]) << 24;
            dst[x * 3 + 0] = ms[2].Scale(p);
            dst[x * 3 + 1] = ms[1].Scale(p);
            dst[x * 3 + 2] = ms[0].Scale(p);
        }
    }
    return img;
}

std::vector<std::uint8_t> ReadExactly(rtl::TStream& stream, std::uint64_t count, const char* what)
{
    const std::int64_t remaining = stream.Size() - stream.Position();
    if (remaining < 0 || count > static_cast<std::uint64_t>(remaining))
        BadBitmap(std::string(what) + " needs " + std::to_string(count) + " bytes, " +
                  std::to_string(std::max<std::int64_t>(remaining, 0)) + " present");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < data.size()) {
        const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(data.size() - done, 1 << 30));
        const std::int32_t n = stream.Read(data.data() + done, chunk);
        if (n <= 0)
            BadBitmap(std::string(what) + " ends early");
        done += static_cast<std::size_t>(n);
    }
    return data;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
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

const rtl::TClassInfo& TBitmap::StaticClassInfo()
{
    static const rtl::TClassInfo info = rtl::TClassBuilder<TBitmap, TGraphic>("TBitmap").Build();
    return info;
}

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
    auto header = ReadExactly(stream, kFileHeaderSize, "file header");
    if (header[0] != 'B' || header[1] != 'M')
        BadBitmap("no BM signature");
    const std::uint32_t offBits = Le32(&header[10]);
    // The info header tells how long the file is; read it first, then the rest.
    auto sizeBytes = ReadExactly(stream, 4, "info header");
    const std::uint32_t headerSize = Le32(sizeBytes.data());
    if (headerSize < kCoreHeaderSize || headerSize > 124)
        BadBitmap("unknown header size " + std::to_string(headerSize));
    auto rest = ReadExactly(stream, headerSize - 4, "info header");
    std::vector<std::uint8_t> dib = sizeBytes;
    dib.insert(dib.end(), rest.begin(), rest.end());
    {
        // Only to size the remaining read: the colour table and pixels follow.
        std::uint64_t tableBytes = 0, pixelBytes = 0;
        ByteReader r(dib.data(), dib.size());
        r.U32();
        std::int64_t width, height;
        int bitCount;
        std::uint32_t compression = BI_RGB, imageSize = 0, clrUsed = 0;
        if (headerSize == kCoreHeaderSize) {
            width = r.U16();
            height = r.U16();
            r.U16();
            bitCount = r.U16();
            tableBytes = bitCount <= 8 ? (3u << bitCount) : 0;
        } else {
            if (headerSize < kInfoHeaderSize)
                BadBitmap("unknown header size " + std::to_string(headerSize));
            width = static_cast<std::int32_t>(r.U32());
            height = static_cast<std::int32_t>(r.U32());
            r.U16();
            bitCount = r.U16();
            compression = r.U32();
            imageSize = r.U32();
            r.U32();
            r.U32();
            clrUsed = r.U32();
            if (bitCount <= 8 && bitCount > 0)
                tableBytes =
                    4ull * (clrUsed ? std::min<std::uint32_t>(clrUsed, 1u << bitCount) : 1u << bitCount);
            if (compression == BI_BITFIELDS && headerSize == kInfoHeaderSize)
                tableBytes = 12;
        }
        if (width <= 0 || height == 0 || bitCount <= 0 || bitCount > 32)
            BadBitmap("size " + std::to_string(width) + "x" + std::to_string(height) + " at " +
                      std::to_string(bitCount) + " bits per pixel");
        const std::uint64_t absHeight = static_cast<std::uint64_t>(height < 0 ? -height : height);
        if (compression == BI_RLE4 || compression == BI_RLE8) {
            pixelBytes = imageSize;
            if (pixelBytes == 0) {
                const std::uint32_t fileSize = Le32(&header[2]);
                const std::uint64_t start = offBits ? offBits : kFileHeaderSize + headerSize + tableBytes;
                if (fileSize <= start)
                    BadBitmap("compressed bitmap without a data size");
                pixelBytes = fileSize - start;
            }
        } else {
            pixelBytes = static_cast<std::uint64_t>(BytesPerScanline(width, bitCount, 32)) * absHeight;
        }
        if (pixelBytes > kMaxPixelBytes)
            BadBitmap(std::to_string(width) + "x" + std::to_string(absHeight) + " exceeds the size limit");
        std::uint64_t dataStart = kFileHeaderSize + headerSize + tableBytes;
        if (offBits != 0) {
            if (offBits < kFileHeaderSize + headerSize)
                BadBitmap("pixel data offset " + std::to_string(offBits) + " lies inside the header");
            dataStart = offBits;
        }
        const std::uint64_t more = dataStart + pixelBytes - kFileHeaderSize - headerSize;
        auto tail = ReadExactly(stream, more, "bitmap data");
        dib.insert(dib.end(), tail.begin(), tail.end());
    }
    auto img = DecodeDib(dib.data(), dib.size(), offBits ? offBits - kFileHeaderSize : 0, 0);
    Replace(std::move(img));
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
    const auto length = static_cast<std::int32_t>(Le32(sizeBytes));
    if (length <= 0) {
        Replace(CreateDib(0, 0, pixelFormat_ == pfDevice ? pf24bit : pixelFormat_, {}));
        return;
    }
    // Parse from a copy of exactly `length` bytes, so a lying header cannot read past it.
    auto bytes = ReadExactly(stream, static_cast<std::uint64_t>(length), "stored bitmap");
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
    Replace(DecodeDib(data, size, 0, 0));
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
    Replace(DecodeDib(data, size, 0, 0));
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
