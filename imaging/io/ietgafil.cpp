// Truevision TGA reader and writer.
#include "imaging/io/ietgafil.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/DateTime.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace imaging {

namespace {

using detail::TIEReadBuffer;

constexpr int kHeaderSize = 18;
constexpr int kFooterSize = 26;
constexpr int kExtensionSize = 495;
constexpr char kSignature[18] = "TRUEVISION-XFILE.";  // with its zero byte

// Offsets in the extension area.
constexpr int kExtAuthor = 2;
constexpr int kExtDate = 367;
constexpr int kExtJobName = 379;
constexpr int kExtKeyColor = 470;
constexpr int kExtAspect = 474;
constexpr int kExtGamma = 478;
constexpr int kExtTextField = 41;  // 40 characters and a zero byte

// Image types; the run-length forms add 8.
constexpr int kColorMapped = 1;
constexpr int kTrueColor = 2;
constexpr int kGrey = 3;
constexpr int kRunLength = 8;

// Descriptor bits.
constexpr int kAttributeBits = 0x0F;
constexpr int kRightToLeft = 0x10;
constexpr int kTopToBottom = 0x20;
// Alpha counts when the descriptor gives 8 attribute bits.
constexpr int kAlphaBits = 8;

// A packet carries at most 128 pixels.
constexpr int kMaxPacket = 128;
// The palette pixels index.
constexpr int kPaletteSize = 256;
// The ID length byte holds the text and its zero byte.
constexpr std::size_t kMaxDescription = 254;

constexpr double kDefaultAspectRatio = 1.0;
constexpr double kDefaultGamma = 2.2;
constexpr double kRatioDenominator = 10000;

struct TTgaHeader {
    int idLength = 0;
    int mapType = 0;
    int imageType = 0;
    int mapFirst = 0;
    int mapLength = 0;
    int mapEntryBits = 0;
    int xOrigin = 0;
    int yOrigin = 0;
    int width = 0;
    int height = 0;
    int depth = 0;
    int descriptor = 0;

    int Kind() const { return imageType & ~kRunLength; }
    bool RunLength() const { return imageType > kRunLength; }
    // Bytes of one pixel, 0 for depths below 8, which pack pixels into bytes.
    int PixelBytes() const { return depth / 8; }
};

TTgaHeader ParseHeader(const std::uint8_t* h)
{
    TTgaHeader r;
    r.idLength = h[0];
    r.mapType = h[1];
    r.imageType = h[2];
    r.mapFirst = rtl::LoadLE16(h + 3);
    r.mapLength = rtl::LoadLE16(h + 5);
    r.mapEntryBits = h[7];
    r.xOrigin = rtl::LoadLE16(h + 8);
    r.yOrigin = rtl::LoadLE16(h + 10);
    r.width = rtl::LoadLE16(h + 12);
    r.height = rtl::LoadLE16(h + 14);
    r.depth = h[16];
    r.descriptor = h[17];
    return r;
}

// Whether the reader decodes the combination: indexes of 1, 4 or 8 bits into a map, 16, 24 or 32-bit
// colours, grey of 1, 4 or 8 bits and 8-bit grey with 8-bit alpha; run-length only for whole bytes.
bool Decodable(const TTgaHeader& h)
{
    const int t = h.imageType;
    if (t != 1 && t != 2 && t != 3 && t != 9 && t != 10 && t != 11)
        return false;
    if (h.mapType > 1 || h.width < 1 || h.height < 1)
        return false;
    if (h.mapType == 1 && h.mapEntryBits != 8 && h.mapEntryBits != 15 && h.mapEntryBits != 16 &&
        h.mapEntryBits != 24 && h.mapEntryBits != 32)
        return false;
    if (h.RunLength() && h.depth < 8)
        return false;
    switch (h.Kind()) {
    case kColorMapped: return h.mapType == 1 && (h.depth == 1 || h.depth == 4 || h.depth == 8);
    case kTrueColor: return h.depth == 16 || h.depth == 24 || h.depth == 32;
    default: return h.depth == 1 || h.depth == 4 || h.depth == 8 || h.depth == 16;
    }
}

// 5 bits to 0..255, as 16-bit pixels and map entries hold them.
std::uint8_t Expand5(int v) { return std::uint8_t(v * 255 / 31); }

TRGB From555(std::uint16_t p) { return TRGB{Expand5(p & 31), Expand5(p >> 5 & 31), Expand5(p >> 10 & 31)}; }

// Up to Size bytes of a text field, ending at its first zero byte.
std::string TextField(const std::uint8_t* p, std::size_t size)
{
    if (size == 0)
        return {};
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, size));
    return std::string(reinterpret_cast<const char*>(p), end ? std::size_t(end - p) : size);
}

// The extension area's fields, when the file ends with a footer that points at one inside it.
void ReadExtension(rtl::TStream& stream, std::int64_t start, std::int64_t size, TIOParamsVals& params)
{
    if (size - start < kHeaderSize + kFooterSize)
        return;
    std::uint8_t footer[kFooterSize];
    stream.Seek(size - kFooterSize, rtl::soBeginning);
    if (stream.Read(footer, kFooterSize) != kFooterSize || std::memcmp(footer + 8, kSignature, 18) != 0)
        return;
    const std::int64_t offset = rtl::LoadLE32(footer);
    // The area lies after the header and before the footer.
    if (offset < kHeaderSize || start + offset + kExtensionSize > size - kFooterSize)
        return;
    std::uint8_t e[kExtensionSize];
    stream.Seek(start + offset, rtl::soBeginning);
    if (stream.Read(e, kExtensionSize) != kExtensionSize)
        return;
    params.TGAAuthor = TextField(e + kExtAuthor, kExtTextField);
    params.TGAImageName = TextField(e + kExtJobName, kExtTextField);
    int f[6];
    for (int i = 0; i < 6; ++i)
        f[i] = rtl::LoadLE16(e + kExtDate + 2 * i);
    rtl::TDateTime date = 0, time = 0;
    if (f[2] >= 1 && f[2] <= 2499 && rtl::TryEncodeDate(f[2], f[0], f[1], date) &&
        rtl::TryEncodeTime(f[3], f[4], f[5], 0, time))
        params.TGADate = date + time;
    params.TGABackground = TRGB{e[kExtKeyColor + 3], e[kExtKeyColor + 2], e[kExtKeyColor + 1]};
    auto ratio = [&](int at, double& target) {
        const int num = rtl::LoadLE16(e + at);
        const int den = rtl::LoadLE16(e + at + 2);
        if (num && den)
            target = double(num) / den;
    };
    ratio(kExtAspect, params.TGAAspectRatio);
    ratio(kExtGamma, params.TGAGamma);
}

// Reads the colour map into the palette (entries from the first index on, those past 256 read
// and dropped) and Params' ColorMap (every entry). Entries of 8 bits are grey levels, 15 and 16-bit
// ones 5-5-5 colours, larger ones blue, green, red and a byte of alpha no one reads. False when the
// data ends first.
bool ReadColorMap(TIEReadBuffer& in, const TTgaHeader& h, std::array<TRGB, kPaletteSize>& palette,
                  TIOParamsVals& params)
{
    const int entryBytes = (h.mapEntryBits + 7) / 8;
    std::vector<std::uint8_t> raw(std::size_t(h.mapLength) * entryBytes);
    if (!in.Read(raw.data(), std::int64_t(raw.size())))
        return false;
    std::vector<TRGB> entries(std::size_t(h.mapLength));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::uint8_t* p = raw.data() + i * entryBytes;
        entries[i] = entryBytes == 1   ? TRGB{p[0], p[0], p[0]}
                     : entryBytes == 2 ? From555(rtl::LoadLE16(p))
                                       : TRGB{p[0], p[1], p[2]};
        if (h.mapFirst + i < kPaletteSize)
            palette[h.mapFirst + i] = entries[i];
    }
    params.SetColorMap(entries.data(), int(entries.size()));
    return true;
}

// Run-length packets, whose state carries from one row to the next: a packet may cross a row end.
class TRleReader {
public:
    TRleReader(TIEReadBuffer& in, int pixelBytes) : in_(in), bytes_(pixelBytes) {}

    // Fills Count pixels; returns how many it filled, fewer when the data ends first.
    int Fill(std::uint8_t* out, int count)
    {
        int filled = 0;
        while (filled < count) {
            if (left_ == 0) {
                const int head = in_.Get();
                if (head < 0)
                    return filled;
                left_ = (head & 0x7F) + 1;
                run_ = (head & 0x80) != 0;
                if (run_ && !in_.Read(value_, bytes_))
                    return filled;
            }
            const int n = std::min(left_, count - filled);
            std::uint8_t* at = out + std::size_t(filled) * bytes_;
            if (run_) {
                Repeat(at, n);
            } else {
                const int whole = int(std::min<std::int64_t>(n, in_.Remaining() / bytes_));
                if (!in_.Read(at, std::int64_t(whole) * bytes_) || whole < n)
                    return filled + whole;
            }
            filled += n;
            left_ -= n;
        }
        return filled;
    }

private:
    // The run's pixel N times; sizes known at compile time keep the copies inline.
    void Repeat(std::uint8_t* at, int n) const
    {
        switch (bytes_) {
        case 1: std::memset(at, value_[0], std::size_t(n)); break;
        case 2: RepeatOf<2>(at, n); break;
        case 3: RepeatOf<3>(at, n); break;
        default: RepeatOf<4>(at, n); break;
        }
    }
    template <int Size>
    void RepeatOf(std::uint8_t* at, int n) const
    {
        for (int i = 0; i < n; ++i, at += Size)
            std::memcpy(at, value_, Size);
    }

    TIEReadBuffer& in_;
    int bytes_;
    int left_ = 0;
    bool run_ = false;
    std::uint8_t value_[4] = {};
};

struct TTgaDecoder {
    const TTgaHeader& h;
    const std::array<TRGB, kPaletteSize>& palette;
    bool alpha;  // the image's alpha is wanted

    // One file row in `line` to the bitmap row and the alpha row, left to right as stored.
    void Row(const std::uint8_t* line, std::uint8_t* out, std::uint8_t* alphaOut) const
    {
        const int width = h.width;
        TRGB* px = reinterpret_cast<TRGB*>(out);
        if (h.depth < 8) {
            const int mask = (1 << h.depth) - 1;
            for (int x = 0; x < width; ++x) {
                const int bit = x * h.depth;
                const int v = line[bit >> 3] >> (8 - h.depth - (bit & 7)) & mask;
                if (h.Kind() == kGrey && h.depth == 1)
                    SetPixelBit(out, x, v != 0);
                else if (h.Kind() == kGrey)
                    px[x] = TRGB{std::uint8_t(v * 17), std::uint8_t(v * 17), std::uint8_t(v * 17)};
                else
                    px[x] = palette[std::size_t(v)];
            }
            return;
        }
        switch (h.Kind() * 100 + h.depth) {
        case kColorMapped * 100 + 8:
            for (int x = 0; x < width; ++x)
                px[x] = palette[line[x]];
            break;
        case kGrey * 100 + 8:
            for (int x = 0; x < width; ++x)
                px[x] = TRGB{line[x], line[x], line[x]};
            break;
        case kGrey * 100 + 16:
            for (int x = 0; x < width; ++x) {
                px[x] = TRGB{line[2 * x], line[2 * x], line[2 * x]};
                if (alpha)
                    alphaOut[x] = line[2 * x + 1];
            }
            break;
        case kTrueColor * 100 + 16:
            for (int x = 0; x < width; ++x)
                px[x] = From555(rtl::LoadLE16(line + 2 * x));
            break;
        case kTrueColor * 100 + 24:
            if (line != out)
                std::memcpy(out, line, std::size_t(width) * 3);
            break;
        default:
            for (int x = 0; x < width; ++x) {
                px[x] = TRGB{line[4 * x], line[4 * x + 1], line[4 * x + 2]};
                if (alpha)
                    alphaOut[x] = line[4 * x + 3];
            }
            break;
        }
    }
};

bool AllZero(const TIEMask& mask)
{
    for (int y = 0; y < mask.Height(); ++y) {
        const std::uint8_t* row = mask.ScanLine(y);
        if (std::any_of(row, row + mask.Width(), [](std::uint8_t v) { return v != 0; }))
            return false;
    }
    return true;
}

// Decodes every row into the bitmap (and the mask); false when the data ends early.
bool ReadRows(TIEReadBuffer& in, const TTgaHeader& h, const std::array<TRGB, kPaletteSize>& palette,
              TIEBitmap& bitmap, TIEMask* mask, TProgressRecord& progress)
{
    const int width = h.width;
    const int height = h.height;
    const bool topDown = (h.descriptor & kTopToBottom) != 0;
    const bool mirror = (h.descriptor & kRightToLeft) != 0;
    const bool packed = h.depth < 8;
    const std::int64_t lineBytes =
        packed ? (std::int64_t(width) * h.depth + 7) / 8 : std::int64_t(width) * h.PixelBytes();
    std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
    std::vector<std::uint8_t> alphaLine(mask ? std::size_t(width) : 0);
    TRleReader rle(in, h.PixelBytes());
    const TTgaDecoder decoder{h, palette, mask != nullptr};
    // 24-bit pixels are already blue, green, red: they go straight into the bitmap.
    const bool direct = h.Kind() == kTrueColor && h.depth == 24;

    for (int r = 0; r < height; ++r) {
        if (progress.Aborted())
            return true;
        const int y = topDown ? r : height - 1 - r;
        std::uint8_t* out = bitmap.ScanLine(y);
        std::uint8_t* source = direct ? out : line.data();
        // What came of a row the data cuts short is kept; the rest of it is zero.
        const std::int64_t got = h.RunLength() ? std::int64_t(rle.Fill(source, width)) * h.PixelBytes()
                                               : std::min(lineBytes, in.Remaining());
        if (!h.RunLength())
            in.Read(source, got);
        if (got < lineBytes)
            std::memset(source + got, 0, std::size_t(lineBytes - got));
        decoder.Row(source, out, alphaLine.data());
        if (mirror) {
            if (packed && h.Kind() == kGrey && h.depth == 1) {
                std::vector<std::uint8_t> bits(out, out + (width + 7) / 8);
                for (int x = 0; x < width; ++x)
                    SetPixelBit(out, width - 1 - x, GetPixelBit(bits.data(), x) != 0);
            } else {
                std::reverse(reinterpret_cast<TRGB*>(out), reinterpret_cast<TRGB*>(out) + width);
            }
            std::reverse(alphaLine.begin(), alphaLine.end());
        }
        if (mask)
            std::memcpy(mask->ScanLine(y), alphaLine.data(), std::size_t(width));
        if (got < lineBytes)
            return false;
        progress.Report(int(progress.per * (r + 1)));
    }
    return true;
}

}  // namespace

void ReadTGAStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly,
                   TProgressRecord& Progress)
{
    try {
        const std::int64_t start = Stream.Position();
        const std::int64_t size = Stream.Size();
        Params.TGADate = rtl::Date();
        Params.TGABackground = TRGB{};
        Params.TGAAspectRatio = kDefaultAspectRatio;
        Params.TGAGamma = kDefaultGamma;
        Params.TGAAuthor.clear();
        Params.TGAImageName.clear();
        Params.TGADescription.clear();
        ReadExtension(Stream, start, size, Params);
        Stream.Seek(start, rtl::soBeginning);

        TIEReadBuffer in(Stream, size);
        std::uint8_t raw[kHeaderSize];
        if (!in.Read(raw, kHeaderSize)) {
            Progress.Abort();
            return;
        }
        const TTgaHeader h = ParseHeader(raw);
        Params.TGAXPos = h.xOrigin;
        Params.TGAYPos = h.yOrigin;
        if (!Decodable(h)) {
            Progress.Abort();
            return;
        }
        std::vector<std::uint8_t> id(std::size_t(h.idLength));
        if (!in.Read(id.data(), h.idLength)) {
            Progress.Abort();
            return;
        }
        Params.TGADescription = TextField(id.data(), id.size());

        // Pixels past the map keep the 3-3-2 colour cube.
        std::array<TRGB, kPaletteSize> palette;
        for (int i = 0; i < kPaletteSize; ++i)
            palette[std::size_t(i)] =
                TRGB{std::uint8_t(((i & 3) * 16 + 15) * 4), std::uint8_t(((i >> 2 & 7) * 8 + 7) * 4),
                     std::uint8_t(((i >> 5) * 8 + 7) * 4)};
        Params.FreeColorMap();
        if (h.mapType == 1 && !ReadColorMap(in, h, palette, Params)) {
            Progress.Abort();
            return;
        }
        Params.TGAGrayLevel = h.Kind() == kGrey;
        Params.TGACompressed = h.RunLength();
        Params.Width = h.width;
        Params.Height = h.height;
        Params.SetDpiX(IEDefaultDpiX);
        Params.SetDpiY(IEDefaultDpiY);
        const bool greyAlpha = h.Kind() == kGrey && h.depth == 16;
        Params.BitsPerSample = h.depth == 16 && !greyAlpha ? 5 : std::min(h.depth, 8);
        Params.SamplesPerPixel = h.depth == 24 ? 3 : h.depth == 32 ? 4 : h.depth == 16 && !greyAlpha ? 3 : 1;
        if (ParamsOnly || !Bitmap)
            return;

        const TIEPixelFormat format = h.Kind() == kGrey && h.depth == 1 ? ie1g : ie24RGB;
        const std::int64_t pixels = std::int64_t(h.width) * h.height;
        const std::int64_t rowBytes = (std::int64_t(h.width) * h.depth + 7) / 8;
        const bool fits = h.RunLength()
                              ? detail::IEDataCanHold(in.Remaining(), pixels, kMaxPacket, 1 + h.PixelBytes())
                              : detail::IEDataCanHold(in.Remaining(), rowBytes * h.height, 1, 1);
        if (!fits || !detail::IEImageFitsLimit(h.width, h.height, format)) {
            Progress.Abort();
            return;
        }
        Bitmap->Allocate(h.width, h.height, format);
        // The fourth byte of 32-bit pixels (the second of grey ones) is alpha when the descriptor
        // says 8 attribute bits, and also, as many writers leave that field 0, when any of it is
        // not 0: a plane of zeros there is padding, not an invisible image.
        std::unique_ptr<TIEMask> mask;
        if (!NoMask && (h.depth == 32 || greyAlpha)) {
            mask = std::make_unique<TIEMask>();
            mask->AllocateBits(h.width, h.height, 8);
        }
        Progress.per = 100.0 / h.height;
        if (!ReadRows(in, h, palette, *Bitmap, mask.get(), Progress))
            Progress.Abort();
        if (mask && ((h.descriptor & kAttributeBits) == kAlphaBits || !AllZero(*mask))) {
            mask->Full = false;
            AlphaMask = std::move(mask);
        }
    } catch (const rtl::Exception&) {
        Progress.Abort();
    }
}

// ---- writing -----------------------------------------------------------------------------------

namespace {

enum class TTgaOut { Bits1, Indexed, Grey, Rgb, Rgba };

// Numerator and denominator of a ratio stored in two 16-bit words: four decimals while the
// numerator fits, fewer above; 0/0 (none) for values that are not positive numbers.
std::pair<int, int> RatioWords(double value)
{
    if (!(value > 0) || !std::isfinite(value))
        return {0, 0};
    double den = kRatioDenominator;
    if (value * den > 65535)
        den = std::max(std::floor(65535 / value), 1.0);
    return {int(std::min(std::trunc(value * den), 65535.0)), int(den)};
}

// The alpha value of a mask pixel, for 1 and 8-bit masks.
std::uint8_t MaskValue(const std::uint8_t* row, int x, int bits)
{
    return bits == 8 ? row[x] : GetPixelBit(row, x) ? 255 : 0;
}

// Whether the mask fits the image and makes any pixel less than opaque.
bool MaskMatters(TIEMask* mask, int width, int height)
{
    if (!mask || mask->Width() != width || mask->Height() != height ||
        (mask->BitsPerPixel() != 1 && mask->BitsPerPixel() != 8))
        return false;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = mask->ScanLine(y);
        for (int x = 0; x < width; ++x)
            if (MaskValue(row, x, mask->BitsPerPixel()) != 255)
                return true;
    }
    return false;
}

// Run-length packets of one row of Count pixels of Bytes bytes: runs of two or more equal pixels,
// and raw packets of pixels that differ from the next.
void EncodeRow(const std::uint8_t* row, int count, int bytes, std::vector<std::uint8_t>& out)
{
    auto same = [&](int a, int b) {
        return std::memcmp(row + a * bytes, row + b * bytes, std::size_t(bytes)) == 0;
    };
    int i = 0;
    while (i < count) {
        int j = i + 1;
        while (j < count && j - i < kMaxPacket && same(i, j))
            ++j;
        if (j - i >= 2) {
            out.push_back(std::uint8_t(0x80 | (j - i - 1)));
            out.insert(out.end(), row + i * bytes, row + (i + 1) * bytes);
            i = j;
            continue;
        }
        const int s = i++;
        while (i < count && i - s < kMaxPacket && !(i + 1 < count && same(i, i + 1)))
            ++i;
        out.push_back(std::uint8_t(i - s - 1));
        out.insert(out.end(), row + s * bytes, row + i * bytes);
    }
}

void PutTextField(std::uint8_t* p, const std::string& text)
{
    std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), kExtTextField - 1));
}

// The extension area and the footer pointing at it.
void WriteExtension(rtl::TStream& stream, std::int64_t start, const TIOParamsVals& params,
                    TProgressRecord& progress)
{
    std::uint8_t e[kExtensionSize] = {};
    rtl::StoreLE16(e, kExtensionSize);
    PutTextField(e + kExtAuthor, params.TGAAuthor);
    try {
        int year, month, day, hour, minute, second, msec;
        rtl::DecodeDateTime(params.TGADate, year, month, day, hour, minute, second, msec);
        const int fields[6] = {month, day, year, hour, minute, second};
        for (int i = 0; i < 6; ++i)
            rtl::StoreLE16(e + kExtDate + 2 * i, std::uint16_t(fields[i]));
    } catch (const rtl::Exception&) {
        // A date outside the calendar is written as none.
    }
    PutTextField(e + kExtJobName, params.TGAImageName);
    e[kExtKeyColor + 1] = params.TGABackground.r;
    e[kExtKeyColor + 2] = params.TGABackground.g;
    e[kExtKeyColor + 3] = params.TGABackground.b;
    const auto aspect = RatioWords(params.TGAAspectRatio);
    const auto gamma = RatioWords(params.TGAGamma);
    rtl::StoreLE16(e + kExtAspect, std::uint16_t(aspect.first));
    rtl::StoreLE16(e + kExtAspect + 2, std::uint16_t(aspect.second));
    rtl::StoreLE16(e + kExtGamma, std::uint16_t(gamma.first));
    rtl::StoreLE16(e + kExtGamma + 2, std::uint16_t(gamma.second));
    const std::int64_t offset = stream.Position() - start;
    IEWrite(stream, progress, e, kExtensionSize);

    std::uint8_t footer[kFooterSize] = {};
    rtl::StoreLE32(footer, std::uint32_t(offset));
    std::memcpy(footer + 8, kSignature, sizeof kSignature);
    IEWrite(stream, progress, footer, kFooterSize);
}

}  // namespace

void WriteTGAStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    TIEMask* AlphaMask)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1 ||
        Bitmap->GetWidth() > 65535 || Bitmap->GetHeight() > 65535) {
        Progress.Abort();
        return;
    }
    const int width = Bitmap->GetWidth();
    const int height = Bitmap->GetHeight();
    const bool oneSample = Params.SamplesPerPixel == 1;
    const bool alpha = MaskMatters(AlphaMask, width, height);
    TTgaOut kind = alpha ? TTgaOut::Rgba : TTgaOut::Rgb;
    int colors = 0;
    if (oneSample && Params.BitsPerSample == 1) {
        kind = TTgaOut::Bits1;
    } else if (oneSample && Params.BitsPerSample == 4) {
        // Four-bit indexes are stored a byte each: readers take 8-bit indexes, and the map says 16.
        kind = TTgaOut::Indexed;
        colors = 16;
    } else if (oneSample && Params.BitsPerSample == 8) {
        kind = Params.TGAGrayLevel ? TTgaOut::Grey : TTgaOut::Indexed;
        colors = 256;
    }

    // The rows' source: the bitmap, or a copy in the format the output needs.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* rows = Bitmap;
    const TIEPixelFormat wanted = kind == TTgaOut::Bits1 ? ie1g : ie24RGB;
    if (Bitmap->GetPixelFormat() != wanted) {
        TRGB dark, light;
        copy = kind == TTgaOut::Bits1 ? detail::IEBilevelCopy(*Bitmap, dark, light)
                                      : detail::IEConvertedCopy(*Bitmap, wanted);
        rows = copy.get();
    }
    std::vector<TRGB> palette(static_cast<std::size_t>(colors));
    std::unique_ptr<TIEQuantizer> quantizer;
    if (kind == TTgaOut::Indexed)
        quantizer = std::make_unique<TIEQuantizer>(rows, palette, colors, colors);

    const bool rle = Params.TGACompressed != 0 &&
                     (kind == TTgaOut::Indexed || kind == TTgaOut::Grey || kind == TTgaOut::Rgb);
    int imageType = kTrueColor, depth = 24, attributes = 0;
    switch (kind) {
    case TTgaOut::Bits1: imageType = kGrey, depth = 1; break;
    case TTgaOut::Indexed: imageType = kColorMapped, depth = 8; break;
    case TTgaOut::Grey: imageType = kGrey, depth = 8; break;
    case TTgaOut::Rgb: break;
    case TTgaOut::Rgba: depth = 32, attributes = kAlphaBits; break;
    }
    if (rle)
        imageType += kRunLength;

    const std::int64_t start = Stream.Position();
    const std::string description =
        Params.TGADescription.substr(0, std::min(Params.TGADescription.find('\0'), kMaxDescription));
    std::uint8_t header[kHeaderSize] = {};
    header[0] = std::uint8_t(description.size() + 1);
    header[1] = colors && kind == TTgaOut::Indexed ? 1 : 0;
    header[2] = std::uint8_t(imageType);
    if (header[1]) {
        rtl::StoreLE16(header + 5, std::uint16_t(colors));
        header[7] = 24;
    }
    rtl::StoreLE16(header + 8, std::uint16_t(std::clamp(Params.TGAXPos, 0, 65535)));
    rtl::StoreLE16(header + 10, std::uint16_t(std::clamp(Params.TGAYPos, 0, 65535)));
    rtl::StoreLE16(header + 12, std::uint16_t(width));
    rtl::StoreLE16(header + 14, std::uint16_t(height));
    header[16] = std::uint8_t(depth);
    header[17] = std::uint8_t(kTopToBottom | attributes);
    IEWrite(Stream, Progress, header, kHeaderSize);
    IEWrite(Stream, Progress, description.c_str(), std::int32_t(description.size() + 1));
    if (header[1])
        IEWrite(Stream, Progress, palette.data(), std::int32_t(palette.size() * sizeof(TRGB)));

    Progress.per = 100.0 / height;
    const int pixelBytes = depth / 8;
    std::vector<std::uint8_t> line(depth == 1 ? std::size_t(width + 7) / 8 : std::size_t(width) * pixelBytes);
    std::vector<std::uint8_t> packets;
    const int maskBits = alpha ? AlphaMask->BitsPerPixel() : 0;
    for (int y = 0; y < height && !Progress.Aborted(); ++y) {
        const std::uint8_t* src = rows->ScanLine(y);
        const TRGB* px = reinterpret_cast<const TRGB*>(src);
        const std::uint8_t* a = alpha ? AlphaMask->ScanLine(y) : nullptr;
        switch (kind) {
        case TTgaOut::Bits1:
            std::copy_n(src, line.size(), line.begin());
            if (width % 8)
                line.back() &= std::uint8_t(0xFF << (8 - width % 8));
            break;
        case TTgaOut::Indexed:
            for (int x = 0; x < width; ++x)
                line[std::size_t(x)] = std::uint8_t(quantizer->ColorIndex(px[x]));
            break;
        case TTgaOut::Grey:
            for (int x = 0; x < width; ++x)
                line[std::size_t(x)] = RGBToGray(px[x]);
            break;
        case TTgaOut::Rgb: std::copy_n(src, line.size(), line.begin()); break;
        case TTgaOut::Rgba:
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = line.data() + 4 * std::size_t(x);
                p[0] = px[x].b;
                p[1] = px[x].g;
                p[2] = px[x].r;
                p[3] = MaskValue(a, x, maskBits);
            }
            break;
        }
        if (rle) {
            packets.clear();
            EncodeRow(line.data(), width, pixelBytes, packets);
            IEWrite(Stream, Progress, packets.data(), std::int32_t(packets.size()));
        } else {
            IEWrite(Stream, Progress, line.data(), std::int32_t(line.size()));
        }
        Progress.Report(int(Progress.per * (y + 1)));
    }
    if (!Progress.Aborted())
        WriteExtension(Stream, start, Params, Progress);
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadTga(TIELoadJob& Job)
{
    std::unique_ptr<TIEMask> mask;
    ReadTGAStream(Job.Stream, &Job.Bitmap, Job.Params, mask, false, Job.ParamsOnly, Job.Progress);
    if (mask && !Job.Progress.Aborted()) {
        Job.Alpha = std::make_unique<TIEBitmap>();
        Job.Alpha->CopyFromTIEMask(mask.get());
    }
}

void SaveTga(TIESaveJob& Job)
{
    std::unique_ptr<TIEMask> mask;
    if (Job.Alpha) {
        mask = std::make_unique<TIEMask>();
        Job.Alpha->CopyToTIEMask(mask.get());
    }
    WriteTGAStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, mask.get());
}

}  // namespace

extern const TIEFormatSteps kTGASteps = {
    .FileType = ioTGA,
    .Load = LoadTga,
    .Save = SaveTga,
    .ViewDpiFile = true,
};

}  // namespace imaging
