// Packed DIBs and video frames: import of uncompressed RGB layouts and YUV FOURCC frames into a
// TIEBitmap, export of a rectangle as a packed DIB, and the row depth conversion of the TGA writer.
#include "imaging/core/vodiradproc.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/neurquant.h"
#include "platform/rtl/BmpReader.h"
#include "platform/rtl/ByteCursor.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

namespace imaging {

namespace {

// The coefficients are whole thousandths, so each channel is an exact integer in thousandths and a
// tie is exactly 500: rounded to even without the doubt a binary fraction leaves.
template <class Int>
std::uint8_t RoundThousandths(Int n)
{
    Int q = n / 1000, r = n % 1000;
    if (r < 0) {
        r += 1000;
        --q;
    }
    if (r > 500 || (r == 500 && (q & 1)))
        ++q;
    return ClampByte(q < -1 ? -1 : q > 256 ? 256 : int(q));
}

template <class Int>
TRGB YuvPixel(Int Y, Int U, Int V)
{
    const Int y = 1164 * (Y - 16), u = U - 128, v = V - 128;
    return TRGB{RoundThousandths<Int>(y + 2018 * u), RoundThousandths<Int>(y - 813 * v - 391 * u),
                RoundThousandths<Int>(y + 1596 * v)};
}

}  // namespace

void YUVToRGB(int Y, int U, int V, TRGB& C) { C = YuvPixel<std::int64_t>(Y, U, V); }

namespace {

constexpr std::uint32_t FourCC(const char (&s)[5])
{
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

// Largest frame side accepted; far above any video, and small enough that every product below
// stays well inside 64 bits.
constexpr std::int64_t kMaxSide = 1 << 20;

// A frame's pixel: the conversion of YUVToRGB in 32 bits, which bytes cannot overflow.
TRGB FramePixel(int Y, int U, int V) { return YuvPixel<int>(Y, U, V); }

enum class TLayout { UYVY, YUY2, YVYU, IYU1, IYU2, Y41P, Y211, CLJR, YVU9, YV12, I420 };

struct TFrameFormat {
    TLayout layout;
    int unitBytes;   // packed: bytes of one unit; planar: 0
    int unitPixels;  // packed: pixels of one unit; planar: chroma subsampling per side
};

std::optional<TFrameFormat> FrameFormat(std::uint32_t fourcc)
{
    struct TRow {
        std::uint32_t code;
        TFrameFormat format;
    };
    static const TRow rows[] = {
        {FourCC("UYVY"), {TLayout::UYVY, 4, 2}},  {FourCC("UYNV"), {TLayout::UYVY, 4, 2}},
        {FourCC("cyuv"), {TLayout::UYVY, 4, 2}},  {FourCC("YUY2"), {TLayout::YUY2, 4, 2}},
        {FourCC("YUNV"), {TLayout::YUY2, 4, 2}},  {FourCC("YVYU"), {TLayout::YVYU, 4, 2}},
        {FourCC("IYU1"), {TLayout::IYU1, 6, 4}},  {FourCC("IYU2"), {TLayout::IYU2, 3, 1}},
        {FourCC("Y41P"), {TLayout::Y41P, 12, 8}}, {FourCC("Y211"), {TLayout::Y211, 4, 4}},
        {FourCC("CLJR"), {TLayout::CLJR, 4, 4}},  {FourCC("YVU9"), {TLayout::YVU9, 0, 4}},
        {FourCC("YV12"), {TLayout::YV12, 0, 2}},  {FourCC("I420"), {TLayout::I420, 0, 2}},
        {FourCC("IYUV"), {TLayout::I420, 0, 2}},
    };
    for (const TRow& r : rows)
        if (r.code == fourcc)
            return r.format;
    return std::nullopt;
}

// Widens an n-bit field to 8 bits by repeating its high bits (31 becomes 255).
constexpr int Widen5(std::uint32_t v) { return int((v << 3) | (v >> 2)); }

// One packed unit into unitPixels pixels.
void DecodeUnit(TLayout layout, const std::uint8_t* p, TRGB* out, int count)
{
    TRGB px[8];
    switch (layout) {
    case TLayout::UYVY: px[0] = FramePixel(p[1], p[0], p[2]), px[1] = FramePixel(p[3], p[0], p[2]); break;
    case TLayout::YUY2: px[0] = FramePixel(p[0], p[1], p[3]), px[1] = FramePixel(p[2], p[1], p[3]); break;
    case TLayout::YVYU: px[0] = FramePixel(p[0], p[3], p[1]), px[1] = FramePixel(p[2], p[3], p[1]); break;
    case TLayout::IYU1:
        px[0] = FramePixel(p[1], p[0], p[3]), px[1] = FramePixel(p[2], p[0], p[3]);
        px[2] = FramePixel(p[4], p[0], p[3]), px[3] = FramePixel(p[5], p[0], p[3]);
        break;
    case TLayout::IYU2: px[0] = FramePixel(p[1], p[0], p[2]); break;
    case TLayout::Y41P: {
        const int ys[8] = {p[1], p[3], p[5], p[7], p[8], p[9], p[10], p[11]};
        for (int i = 0; i < 8; ++i)
            px[i] = i < 4 ? FramePixel(ys[i], p[0], p[2]) : FramePixel(ys[i], p[4], p[6]);
        break;
    }
    case TLayout::Y211:
        px[0] = px[1] = FramePixel(p[0], p[1], p[3]);
        px[2] = px[3] = FramePixel(p[2], p[1], p[3]);
        break;
    case TLayout::CLJR: {
        // The word is stored most significant byte first. Luma fields are widened by repeating
        // their bits; chroma fields are shifted up only, so that the middle value 32 stays 128.
        const std::uint32_t w = rtl::LoadBE32(p);
        const int v = int(w & 63) << 2, u = int((w >> 6) & 63) << 2;
        for (int i = 0; i < 4; ++i)
            px[i] = FramePixel(Widen5((w >> (12 + 5 * i)) & 31), u, v);
        break;
    }
    default: return;
    }
    std::memcpy(out, px, std::size_t(count) * 3);
}

// Bytes a frame of this size holds (the last packed row without its padding).
std::int64_t FrameBytes(const TFrameFormat& f, std::int64_t w, std::int64_t h)
{
    if (f.unitBytes > 0) {
        const std::int64_t units = (w + f.unitPixels - 1) / f.unitPixels;
        const std::int64_t stride = (units * f.unitBytes + 3) / 4 * 4;
        return stride * (h - 1) + units * f.unitBytes;
    }
    const std::int64_t cw = (w + f.unitPixels - 1) / f.unitPixels, ch = (h + f.unitPixels - 1) / f.unitPixels;
    return w * h + 2 * cw * ch;
}

// Fills bitmap (already 24-bit, width x height) from a FOURCC frame; false when data is short.
bool DecodeFrame(const TFrameFormat& f, const std::uint8_t* data, std::size_t size, int width, int height,
                 bool bottomUp, TIEBitmap& bitmap)
{
    const std::int64_t w = width, h = height;
    auto targetRow = [&](int r) {
        return reinterpret_cast<TRGB*>(bitmap.ScanLine(bottomUp ? height - 1 - r : r));
    };
    if (f.unitBytes > 0) {
        const std::int64_t units = (w + f.unitPixels - 1) / f.unitPixels;
        const std::int64_t stride = (units * f.unitBytes + 3) / 4 * 4;
        // The last row need not carry its padding.
        if (std::int64_t(size) < stride * (h - 1) + units * f.unitBytes)
            return false;
        for (int r = 0; r < height; ++r) {
            const std::uint8_t* row = data + std::size_t(stride * r);
            TRGB* out = targetRow(r);
            for (std::int64_t u = 0; u < units; ++u) {
                const int first = int(u * f.unitPixels);
                DecodeUnit(f.layout, row + std::size_t(u * f.unitBytes), out + first,
                           std::min(f.unitPixels, width - first));
            }
        }
        return true;
    }
    // Planar: Y, then two chroma planes whose sides round up for odd sizes.
    const int sub = f.unitPixels;
    const std::int64_t cw = (w + sub - 1) / sub, ch = (h + sub - 1) / sub;
    if (std::int64_t(size) < w * h + 2 * cw * ch)
        return false;
    const std::uint8_t* yPlane = data;
    const std::uint8_t* first = data + std::size_t(w * h);
    const std::uint8_t* second = first + std::size_t(cw * ch);
    const bool uFirst = f.layout == TLayout::I420;
    const std::uint8_t* uPlane = uFirst ? first : second;
    const std::uint8_t* vPlane = uFirst ? second : first;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* ys = yPlane + std::size_t(w * r);
        const std::uint8_t* us = uPlane + std::size_t(cw * (r / sub));
        const std::uint8_t* vs = vPlane + std::size_t(cw * (r / sub));
        TRGB* out = targetRow(r);
        for (int x = 0; x < width; ++x)
            out[x] = FramePixel(ys[x], us[x / sub], vs[x / sub]);
    }
    return true;
}

// Rows the BMP reader decoded (bottom-up) into Bitmap, by the rules every BMP path shares: 1-bit
// tables of black and white as ie1g, everything else as ie24RGB. False for layouts it cannot take.
bool ImportDecoded(const rtl::TBmpImage& image, TIEBitmap& bitmap)
{
    const rtl::TBmpHeader& h = image.Header;
    bool whiteFirst = false;
    if (rtl::BmpIsBlackAndWhite(h, whiteFirst)) {
        bitmap.Allocate(h.Width, h.Height, ie1g);
        const std::size_t bytes = std::size_t((h.Width + 7) / 8);
        for (int y = 0; y < h.Height; ++y) {
            const std::uint8_t* src = image.Row(y);
            std::uint8_t* dst = bitmap.ScanLine(y);
            for (std::size_t i = 0; i < bytes; ++i)
                dst[i] = whiteFirst ? std::uint8_t(~src[i]) : src[i];
        }
        return true;
    }
    bitmap.Allocate(h.Width, h.Height, ie24RGB);
    for (int y = 0; y < h.Height; ++y)
        rtl::BmpRowToBgr(h, image.Row(y), bitmap.ScanLine(y));
    return true;
}

}  // namespace

// ---------------------------------------------------------------- export

std::vector<std::uint8_t> BitmapToPackedDIB(TIEBitmap* Bitmap, int X, int Width, int Height)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1)
        return {};
    // Other formats are exported as they are shown.
    std::unique_ptr<TIEBitmap> display;
    TIEBitmap* source = Bitmap;
    if (Bitmap->GetPixelFormat() != ie1g && Bitmap->GetPixelFormat() != ie24RGB) {
        display = Bitmap->DisplayCopy24();
        source = display.get();
    }
    const int imageW = source->GetWidth(), imageH = source->GetHeight();
    // A rectangle must start inside the image; callers clip their own.
    if (X < 0 || X >= imageW)
        return {};
    if (Width <= 0 && Height <= 0) {
        Width = imageW;
        Height = imageH;
    }
    Width = std::min(Width, imageW - X);
    Height = std::min(Height, imageH);
    if (Width < 1 || Height < 1)
        return {};
    const bool bits1 = source->GetPixelFormat() == ie1g;
    const int bitCount = bits1 ? 1 : 24;
    const std::size_t rowLen = std::size_t(IERowLen(Width, bitCount, 32));
    const std::size_t tableBytes = bits1 ? 8 : 0;
    const auto total =
        rtl::CheckedAdd<std::uint64_t>(40 + tableBytes, std::uint64_t(rowLen) * std::uint64_t(Height));
    if (!total || *total > std::uint64_t(SIZE_MAX / 2))
        throw rtl::EOutOfMemory("Out of memory");
    std::vector<std::uint8_t> dib(std::size_t(*total), 0);
    std::uint8_t* h = dib.data();
    rtl::StoreLE32(h + 0, 40);
    rtl::StoreLE32(h + 4, std::uint32_t(Width));
    rtl::StoreLE32(h + 8, std::uint32_t(Height));
    rtl::StoreLE16(h + 12, 1);
    rtl::StoreLE16(h + 14, std::uint16_t(bitCount));
    rtl::StoreLE32(h + 20, std::uint32_t(rowLen * std::size_t(Height)));
    if (bits1) {
        // Black, then white.
        std::memset(h + 44, 255, 3);
        rtl::StoreLE32(h + 32, 2);
    }
    std::uint8_t* rows = h + 40 + tableBytes;
    TIEAccessScope readOnly(*source, 1);
    for (int y = 0; y < Height; ++y) {
        const std::uint8_t* src = source->ScanLine(y);
        std::uint8_t* dst = rows + rowLen * std::size_t(Height - 1 - y);
        if (bits1)
            CopyBitRun(dst, src, 0, source->GetRowLen(), Width, X);
        else
            std::memcpy(dst, src + std::size_t(X) * 3, std::size_t(Width) * 3);
    }
    return dib;
}

// ---------------------------------------------------------------- import

int DIBToBitmap(const void* DIB, std::size_t Size, TIEBitmap* Bitmap, const void* Bits, std::size_t BitsSize,
                std::uint64_t MaxPixelBytes)
{
    if (!DIB || !Bitmap)
        return 0;
    const auto* data = static_cast<const std::uint8_t*>(DIB);
    rtl::ByteCursor cursor(data, Size);
    std::uint32_t infoSize = 0, compression = 0;
    std::uint32_t rawWidth = 0, rawHeight = 0;
    std::uint16_t planes = 0, bitCount = 0;
    if (!cursor.ReadLE32(infoSize) || infoSize < 40 || infoSize > Size || !cursor.ReadLE32(rawWidth) ||
        !cursor.ReadLE32(rawHeight) || !cursor.ReadLE16(planes) || !cursor.ReadLE16(bitCount) ||
        !cursor.ReadLE32(compression))
        return 0;
    const auto width = std::int64_t(std::int32_t(rawWidth));
    const auto signedHeight = std::int64_t(std::int32_t(rawHeight));
    const std::int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
        std::uint64_t(width) * std::uint64_t(height) * 3 > MaxPixelBytes)
        return 0;
    rtl::TBmpLimits limits;
    limits.MaxPixelBytes = MaxPixelBytes;

    auto result = std::make_unique<TIEBitmap>();
    result->MinFileSize = Bitmap->MinFileSize;
    if (compression <= rtl::kBmpBitFields) {
        // Uncompressed, RLE and bit-field layouts go through the checked BMP reader; its rows are
        // bottom-up whatever the header's order.
        rtl::TBmpImage image;
        try {
            if (Bits) {
                // Header and table here, rows elsewhere: the reader sees them joined, as one block.
                // The block may be longer than header and table (a global block's size is rounded
                // up): the rows follow the table, not the block.
                const std::size_t head = rtl::DibHeaderLength(data, Size);
                std::vector<std::uint8_t> joined(data, data + head);
                const auto* bits = static_cast<const std::uint8_t*>(Bits);
                joined.insert(joined.end(), bits, bits + BitsSize);
                image = rtl::DecodeDib(joined.data(), joined.size(), limits);
            } else {
                image = rtl::DecodeDib(data, Size, limits);
            }
        } catch (const rtl::Exception&) {
            return 0;
        }
        if (!ImportDecoded(image, *result))
            return 0;
        result->MoveTo(Bitmap);
        return bitCount;
    }

    const auto format = FrameFormat(compression);
    if (!format)
        return 0;
    const std::uint8_t* frame = Bits ? static_cast<const std::uint8_t*>(Bits) : data + infoSize;
    const std::size_t frameSize = Bits ? BitsSize : Size - infoSize;
    // The frame must be all there before anything is allocated for it.
    if (std::int64_t(frameSize) < FrameBytes(*format, width, height))
        return 0;
    result->Allocate(int(width), int(height), ie24RGB);
    // Frames are stored top row first when the height is positive, Y41P the other way round.
    const bool bottomUp = (signedHeight < 0) != (format->layout == TLayout::Y41P);
    if (!DecodeFrame(*format, frame, frameSize, int(width), int(height), bottomUp, *result))
        return 0;
    result->MoveTo(Bitmap);
    if (bitCount != 0)
        return bitCount;
    // A frame header without a bit count: the layout's own.
    const int sub = format->unitPixels;
    return format->unitBytes ? format->unitBytes * 8 / sub : 8 + 16 / (sub * sub);
}

// ---------------------------------------------------------------- row depth

int ConvertRowDepth(std::uint8_t* Dest, const std::uint8_t* Source, int SourceBits, int Width, int DestBits,
                    const TRGB* Palette, TIEQuantizer* Quantizer)
{
    if (Width < 1 || !Dest || !Source)
        return 0;
    auto length = [&](int bits) {
        switch (bits) {
        case 1: return (Width + 7) / 8;
        case 4: return (Width + 1) / 2;
        case 8: return Width;
        default: return 3 * Width;
        }
    };
    auto sourceColor = [&](int x) -> TRGB {
        switch (SourceBits) {
        case 1: return Palette[GetPixelBit(Source, x) ? 1 : 0];
        case 4: return Palette[(x & 1) ? Source[x / 2] & 15 : Source[x / 2] >> 4];
        case 8: return Palette[Source[x]];
        case 24: return TRGB{Source[3 * x], Source[3 * x + 1], Source[3 * x + 2]};
        default: return TRGB{Source[4 * x], Source[4 * x + 1], Source[4 * x + 2]};
        }
    };
    const bool known =
        (SourceBits == 1 || SourceBits == 4 || SourceBits == 8 || SourceBits == 24 || SourceBits == 32) &&
        (DestBits == 1 || DestBits == 4 || DestBits == 8 || DestBits == 24);
    if (!known)
        return 0;
    // A copy at the same depth needs no palette.
    if (SourceBits == DestBits && SourceBits <= 8) {
        std::memcpy(Dest, Source, std::size_t(length(SourceBits)));
        return length(DestBits);
    }
    if (SourceBits <= 8 && !Palette)
        return 0;
    if (DestBits == 24) {
        for (int x = 0; x < Width; ++x) {
            const TRGB c = sourceColor(x);
            std::memcpy(Dest + 3 * x, &c, 3);
        }
        return length(24);
    }
    // Fewer bits from 24-bit colour: through the quantizer's index (1-bit from 24 is not a pair
    // this routine serves, and 32-bit sources go to 24 bits only).
    if (SourceBits != 24 || !Quantizer || DestBits == 1)
        return 0;
    for (int x = 0; x < Width; ++x) {
        const int index = std::clamp(Quantizer->ColorIndex(sourceColor(x)), 0, 255);
        if (DestBits == 8)
            Dest[x] = std::uint8_t(index);
        else
            Dest[x / 2] |= std::uint8_t((x & 1) ? (index & 15) : (index & 15) << 4);
    }
    return length(DestBits);
}

}  // namespace imaging
