// Windows icon and cursor reader, icon writer, and the I/O component's steps for both.
#include "imaging/io/icofilt.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/bmpfilt.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/pngfilt.h"
#include "platform/rtl/BmpReader.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>
#include <vector>

namespace imaging {

namespace {

constexpr int kIconType = 1;
constexpr int kCursorType = 2;
constexpr int kHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// A directory byte holds a side of 1 to 255, and 0 for 256.
constexpr int kMaxSide = 256;
// The largest info header, its colour masks and a full colour table: all an entry's sizes need.
constexpr std::int64_t kMaxDibPrefix = 124 + 12 + 256 * 4;
constexpr double kCentimetresPerInch = 2.54;

// ---- the directory -------------------------------------------------------------------------------

struct TIconEntry {
    int width = 0;  // 1 to 256
    int height = 0;
    int colorCount = 0;  // as stored: 0 means 256 or more
    int planes = 0;      // cursors: the hot spot's x
    int bitCount = 0;    // cursors: the hot spot's y
    std::uint32_t bytes = 0;
    std::uint32_t offset = 0;  // from the directory's start
};

struct TIconDirectory {
    int type = 0;
    std::vector<TIconEntry> entries;
};

// Count bytes from absolute position At; false when the stream holds fewer.
bool ReadAt(rtl::TStream& stream, std::int64_t at, void* out, std::int64_t count)
{
    if (stream.Seek(at, rtl::soBeginning) != at)
        return false;
    auto* p = static_cast<std::uint8_t*>(out);
    while (count > 0) {
        const std::int32_t want = std::int32_t(std::min<std::int64_t>(count, INT_MAX));
        const std::int32_t got = stream.Read(p, want);
        if (got <= 0)
            return false;
        p += got;
        count -= got;
    }
    return true;
}

// The whole directory at Start; false when the bytes are no icon or cursor directory, or end in it.
bool ReadDirectory(rtl::TStream& stream, std::int64_t start, std::int64_t available, TIconDirectory& dir)
{
    std::uint8_t head[kHeaderSize];
    if (available < kHeaderSize || !ReadAt(stream, start, head, kHeaderSize))
        return false;
    const int type = rtl::LoadLE16(head + 2);
    const int count = rtl::LoadLE16(head + 4);
    if (rtl::LoadLE16(head) != 0 || (type != kIconType && type != kCursorType) || count == 0 ||
        kHeaderSize + std::int64_t(count) * kEntrySize > available)
        return false;
    std::vector<std::uint8_t> raw(std::size_t(count) * kEntrySize);
    if (!ReadAt(stream, start + kHeaderSize, raw.data(), std::int64_t(raw.size())))
        return false;
    dir.type = type;
    dir.entries.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = raw.data() + std::size_t(i) * kEntrySize;
        TIconEntry& e = dir.entries[std::size_t(i)];
        e.width = p[0] ? p[0] : kMaxSide;
        e.height = p[1] ? p[1] : kMaxSide;
        e.colorCount = p[2];
        e.planes = rtl::LoadLE16(p + 4);
        e.bitCount = rtl::LoadLE16(p + 6);
        e.bytes = rtl::LoadLE32(p + 8);
        e.offset = rtl::LoadLE32(p + 12);
    }
    return true;
}

// A depth from a colour count (entries with no bit count); 0 for none.
int BitsForColours(int colours)
{
    if (colours <= 0)
        return 0;
    return colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
}

// ---- what a read produces ------------------------------------------------------------------------

// Everything a read hands over once it has succeeded.
struct TIconResult {
    TIEBitmap bitmap;
    std::unique_ptr<TIEMask> mask;
    int width = 0;
    int height = 0;
    int bitsPerSample = 0;
    int samplesPerPixel = 0;
    int dpiX = 0;
    int dpiY = 0;
    std::vector<TRGB> colorMap;
};

// The resolution of a pixels-per-metre field; 0 when it gives none.
int DpiOf(std::int32_t perMetre)
{
    const int v = int(std::lround(double(perMetre) / 100.0 * kCentimetresPerInch));
    return v > 0 ? v : 0;
}

// ---- DIB entries ---------------------------------------------------------------------------------

// The info header fields an icon gives other meanings (the height counts the AND rows too, the
// bit count may be 0), and the entry's layout the BMP parser is then handed.
struct TDibEntry {
    std::uint32_t infoSize = 0;
    bool core = false;  // the 12-byte header
    std::int64_t width = 0;
    std::int64_t height = 0;  // of the image: half the header's
    int bits = 0;
    bool patchBits = false;  // the header's bit count was 0
    std::uint32_t clrUsed = 0;
    bool patchClrUsed = false;
    std::uint64_t xorEnd = 0;    // where the colour rows end, from the entry's start
    std::uint64_t andRow = 0;    // bytes of one AND row
    std::uint64_t andBytes = 0;  // 0: the entry has no AND mask
};

bool KnownInfoSize(std::uint32_t size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

// Works out an entry's layout from the first bytes of its data; false for an entry the reader
// refuses. Every size is checked here, before the entry's bytes are read.
bool PlanDib(const std::uint8_t* p, std::int64_t prefix, std::int64_t block, const TIconEntry& e, int dirType,
             TDibEntry& d)
{
    if (prefix < 4)
        return false;
    d.infoSize = rtl::LoadLE32(p);
    if (!KnownInfoSize(d.infoSize) || d.infoSize > prefix)
        return false;
    d.core = d.infoSize == rtl::kBmpCoreHeaderSize;
    std::int64_t headerHeight = 0;
    std::uint32_t compression = rtl::kBmpRgb;
    if (d.core) {
        d.width = rtl::LoadLE16(p + 4);
        headerHeight = rtl::LoadLE16(p + 6);
        d.bits = rtl::LoadLE16(p + 10);
    } else {
        d.width = std::int32_t(rtl::LoadLE32(p + 4));
        headerHeight = std::int32_t(rtl::LoadLE32(p + 8));
        d.bits = rtl::LoadLE16(p + 14);
        compression = rtl::LoadLE32(p + 16);
        d.clrUsed = rtl::LoadLE32(p + 32);
        // As the parser takes it: a larger count is damage.
        if (d.clrUsed > 256)
            d.clrUsed = 0;
    }
    // The rows are bottom-up, the colour rows and then as many AND rows.
    d.height = headerHeight / 2;
    if (d.width < 1 || d.height < 1)
        return false;
    if (d.bits == 0) {
        // An icon directory's entry may know the depth; else the colour count says it.
        const bool entryBits = dirType == kIconType && e.bitCount != 0;
        d.bits = entryBits ? e.bitCount : BitsForColours(e.colorCount);
        d.patchBits = true;
    }
    if (d.bits != 1 && d.bits != 4 && d.bits != 8 && d.bits != 16 && d.bits != 24 && d.bits != 32)
        return false;
    const bool bitFields = compression == rtl::kBmpBitFields && (d.bits == 16 || d.bits == 32);
    if (compression != rtl::kBmpRgb && !bitFields)
        return false;  // run-length coded icons do not exist; the AND rows could not be found
    if (!detail::IEImageFitsLimit(d.width, d.height, ie24RGB))
        return false;

    // Within the limit just checked, none of these products can overflow.
    const std::uint64_t xorRow = (std::uint64_t(d.width) * std::uint64_t(d.bits) + 31) / 32 * 4;
    d.andRow = (std::uint64_t(d.width) + 31) / 32 * 4;
    const std::uint64_t xorBytes = xorRow * std::uint64_t(d.height);
    const std::uint64_t andBytes = d.andRow * std::uint64_t(d.height);
    const std::uint64_t maskBytes = bitFields && d.infoSize == rtl::kBmpInfoHeaderSize ? 12 : 0;
    const std::uint64_t entrySize = d.core ? 3 : 4;
    auto rowsStart = [&](std::uint64_t entries) { return d.infoSize + maskBytes + entries * entrySize; };
    const std::uint64_t own = d.clrUsed ? d.clrUsed : d.bits <= 8 ? 1u << d.bits : 0;
    const std::uint64_t size = std::uint64_t(block);

    d.xorEnd = rowsStart(own) + xorBytes;
    if (d.xorEnd + andBytes <= size) {
        d.andBytes = andBytes;
        return true;
    }
    // A palette of the directory's colour count, when only that agrees with the entry's size.
    const std::uint64_t listed = e.colorCount == 255 ? 256 : std::uint64_t(e.colorCount);
    if (d.bits <= 8 && !d.core && d.clrUsed == 0 && listed > 0 && listed < own &&
        rowsStart(listed) + xorBytes + andBytes <= size) {
        d.clrUsed = std::uint32_t(listed);
        d.patchClrUsed = true;
        d.xorEnd = rowsStart(listed) + xorBytes;
        d.andBytes = andBytes;
        return true;
    }
    // The alpha channel makes the AND mask of a 32-bit entry redundant, and some writers leave it out.
    return d.bits == 32 && d.xorEnd <= size;
}

bool IsBlackOrWhite(TRGB c) { return c == TRGB{} || c == TRGB{255, 255, 255}; }

bool AndBit(const std::uint8_t* row, std::int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// Decodes a planned entry whose bytes (up to its last AND row) are Data; false when it is refused
// or the abort flag stopped it.
bool ReadDib(std::vector<std::uint8_t>& data, const TDibEntry& d, TRGB background, bool noMask,
             bool paramsOnly, TProgressRecord& progress, TIconResult& out)
{
    // The parser sees a plain DIB: the image's height, and the depth and palette size settled above.
    if (d.core) {
        rtl::StoreLE16(data.data() + 6, std::uint16_t(d.height));
        if (d.patchBits)
            rtl::StoreLE16(data.data() + 10, std::uint16_t(d.bits));
    } else {
        rtl::StoreLE32(data.data() + 8, std::uint32_t(d.height));
        if (d.patchBits)
            rtl::StoreLE16(data.data() + 14, std::uint16_t(d.bits));
        if (d.patchClrUsed)
            rtl::StoreLE32(data.data() + 32, d.clrUsed);
    }
    rtl::TBmpLimits limits;
    limits.MaxPixelBytes = std::uint64_t(std::max<std::int64_t>(IEReadMaxImageBytes, 0));
    const rtl::TBmpHeader h = rtl::ReadDibHeader(data.data(), std::size_t(d.xorEnd), limits);
    if (h.Width != d.width || h.Height != d.height || h.TopDown || h.PixelOffset + h.PixelBytes != d.xorEnd)
        return false;

    out.width = h.Width;
    out.height = h.Height;
    out.bitsPerSample = h.BitCount <= 8 ? h.BitCount : 8;
    out.samplesPerPixel = h.BitCount <= 8 ? 1 : h.BitCount == 32 ? 4 : 3;
    out.dpiX = DpiOf(h.XPelsPerMeter);
    out.dpiY = DpiOf(h.YPelsPerMeter);
    for (const rtl::TBmpColor& c : h.Colors)
        out.colorMap.push_back(TRGB{c.Blue, c.Green, c.Red});
    if (paramsOnly)
        return true;

    const int width = h.Width;
    const int height = h.Height;
    const std::uint8_t* andRows = d.andBytes ? data.data() + d.xorEnd : nullptr;
    auto andRowAt = [&](int stored) { return andRows + std::size_t(stored) * d.andRow; };
    const std::size_t xorRow = std::size_t(h.PixelBytes / std::uint64_t(height));
    // 32-bit pixels carry their alpha, unless every fourth byte is 0: then the AND mask tells.
    bool alphaInPixels = false;
    if (h.Format == rtl::bf32bit) {
        for (int r = 0; r < height && !alphaInPixels; ++r) {
            const std::uint8_t* row = data.data() + h.PixelOffset + std::size_t(r) * xorRow;
            for (int x = 0; x < width && !alphaInPixels; ++x)
                alphaInPixels = row[4 * x + 3] != 0;
        }
    }
    const bool useAnd = andRows && !alphaInPixels;
    bool anyAnd = false;
    for (int r = 0; useAnd && r < height && !anyAnd; ++r)
        for (int x = 0; x < width && !anyAnd; ++x)
            anyAnd = AndBit(andRowAt(r), x);
    bool whiteFirst = false;
    const bool bilevel = rtl::BmpIsBlackAndWhite(h, whiteFirst) && (!anyAnd || IsBlackOrWhite(background));
    const bool whiteBackground = background == TRGB{255, 255, 255};

    out.bitmap.Allocate(width, height, bilevel ? ie1g : ie24RGB);
    if (!noMask) {
        out.mask = std::make_unique<TIEMask>();
        out.mask->AllocateBits(width, height, 8);
        out.mask->Fill(255);
    }
    std::vector<std::uint8_t> scratch(std::size_t(h.RowLength));
    progress.per = 100.0 / height;
    for (int r = 0; r < height; ++r) {
        progress.Report(int(progress.per * r));
        if (progress.Aborted())
            return false;
        const int y = height - 1 - r;
        std::uint8_t* px = out.bitmap.ScanLine(y);
        std::uint8_t* alpha = out.mask ? out.mask->ScanLine(y) : nullptr;
        rtl::DecodeBmpRow(h, data.data(), r, scratch.data());
        if (bilevel) {
            for (int i = 0; i < (width + 7) / 8; ++i)
                px[i] = whiteFirst ? std::uint8_t(~scratch[std::size_t(i)]) : scratch[std::size_t(i)];
        } else {
            rtl::BmpRowToBgr(h, scratch.data(), px);
        }
        if (alphaInPixels && alpha)
            for (int x = 0; x < width; ++x)
                alpha[x] = scratch[4 * std::size_t(x) + 3];
        if (!useAnd)
            continue;
        // A set AND bit shows the background, the pixel's colour inverting it.
        const std::uint8_t* andRow = andRowAt(r);
        for (int x = 0; x < width; ++x) {
            if (!AndBit(andRow, x))
                continue;
            if (bilevel) {
                if (whiteBackground)
                    px[x >> 3] ^= std::uint8_t(0x80 >> (x & 7));
            } else {
                px[3 * x] ^= background.b;
                px[3 * x + 1] ^= background.g;
                px[3 * x + 2] ^= background.r;
            }
            if (alpha)
                alpha[x] = 0;
        }
    }
    if (out.mask)
        out.mask->Full = false;
    return true;
}

// ---- PNG entries ---------------------------------------------------------------------------------

// An entry's bytes as a stream of their own, read in place from the file's stream: the PNG reader
// sees the entry's end as the end of its data, and nothing is copied.
class TEntryStream : public rtl::TStream {
public:
    TEntryStream(rtl::TStream& file, std::int64_t start, std::int64_t size)
        : file_(file), start_(start), size_(size)
    {
    }
    std::int32_t Read(void* buffer, std::int32_t count) override
    {
        const std::int64_t n = std::min<std::int64_t>(count, size_ - pos_);
        if (n <= 0 || pos_ < 0 || file_.Seek(start_ + pos_, rtl::soBeginning) != start_ + pos_)
            return 0;
        const std::int32_t got = file_.Read(buffer, std::int32_t(n));
        pos_ += std::max(got, 0);
        return std::max(got, 0);
    }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override
    {
        pos_ = (origin == rtl::soBeginning ? 0 : origin == rtl::soCurrent ? pos_ : size_) + offset;
        return pos_;
    }
    std::int64_t Size() override { return size_; }

private:
    rtl::TStream& file_;  // not owned
    std::int64_t start_;
    std::int64_t size_;
    std::int64_t pos_ = 0;
};

bool ReadPng(rtl::TStream& file, std::int64_t at, std::int64_t size, TIOParamsVals& params, bool noMask,
             bool paramsOnly, TProgressRecord& progress, TIconResult& out)
{
    // A scratch copy of the parameters: a failed read leaves the caller's alone, and the icon's
    // pixel formats do not depend on NativePixelFormat.
    TIOParamsVals scratch(nullptr);
    scratch.Assign(&params);
    scratch.NativePixelFormat = 0;
    TEntryStream png(file, at, size);
    std::unique_ptr<TIEMask> mask;
    ReadPNGStream(png, &out.bitmap, scratch, progress, mask, false, paramsOnly);
    if (progress.Aborted())
        return false;
    out.width = scratch.Width;
    out.height = scratch.Height;
    out.bitsPerSample = scratch.BitsPerSample;
    out.samplesPerPixel = scratch.SamplesPerPixel;
    out.dpiX = scratch.DpiX;
    out.dpiY = scratch.DpiY;
    if (scratch.ColorMap())
        out.colorMap.assign(scratch.ColorMap(), scratch.ColorMap() + scratch.ColorMapCount());
    if (!paramsOnly && !noMask && mask) {
        mask->Full = false;
        out.mask = std::move(mask);
    }
    return true;
}

// ---- the reader ----------------------------------------------------------------------------------

void ReadIconFile(rtl::TStream& stream, TIEBitmap* bitmap, TIOParamsVals& params, TProgressRecord& progress,
                  std::unique_ptr<TIEMask>& alphaMask, bool noMask, bool paramsOnly, bool cursor)
{
    if (!bitmap && !paramsOnly) {
        progress.Abort();
        return;
    }
    TIconDirectory dir;
    TIconResult out;
    try {
        const std::int64_t start = stream.Position();
        const std::int64_t available = stream.Size() - start;
        std::uint8_t magic[2];
        if (!cursor && available >= 2 && ReadAt(stream, start, magic, 2) && magic[0] == 'B' &&
            magic[1] == 'M') {
            stream.Seek(start, rtl::soBeginning);
            ReadBMPStream(stream, bitmap, available, params, progress, paramsOnly, false);
            return;
        }
        const int index = cursor ? params.CURImageIndex : params.ICOImageIndex;
        if (!ReadDirectory(stream, start, available, dir) || index < 0 || index >= int(dir.entries.size())) {
            progress.Abort();
            return;
        }
        const TIconEntry& e = dir.entries[std::size_t(index)];
        const std::int64_t block = e.bytes;
        if (block == 0 || std::int64_t(e.offset) + block > available) {
            progress.Abort();
            return;
        }
        const std::int64_t at = start + e.offset;
        std::vector<std::uint8_t> data(std::size_t(std::min(block, kMaxDibPrefix)));
        if (!ReadAt(stream, at, data.data(), std::int64_t(data.size()))) {
            progress.Abort();
            return;
        }
        bool read = false;
        if (data.size() >= sizeof kPngSignature && std::memcmp(data.data(), kPngSignature, 8) == 0) {
            read = ReadPng(stream, at, block, params, noMask, paramsOnly, progress, out);
        } else {
            TDibEntry d;
            if (PlanDib(data.data(), std::int64_t(data.size()), block, e, dir.type, d)) {
                data.resize(std::size_t(d.xorEnd + d.andBytes));
                const TRGB background = cursor ? params.CURBackground : params.ICOBackground;
                read = ReadAt(stream, at, data.data(), std::int64_t(data.size())) &&
                       ReadDib(data, d, background, noMask, paramsOnly, progress, out);
            }
        }
        if (!read) {
            progress.Abort();
            return;
        }
    } catch (const rtl::Exception&) {
        progress.Abort();
        return;
    } catch (const std::bad_alloc&) {
        // An entry's bytes, within the limits, that still do not fit in memory.
        progress.Abort();
        return;
    }

    params.Width = out.width;
    params.Height = out.height;
    params.BitsPerSample = out.bitsPerSample;
    params.SamplesPerPixel = out.samplesPerPixel;
    params.SetDpiX(out.dpiX ? out.dpiX : IEDefaultDpiX);
    params.SetDpiY(out.dpiY ? out.dpiY : IEDefaultDpiY);
    params.FreeColorMap();
    if (!out.colorMap.empty())
        params.SetColorMap(out.colorMap.data(), int(out.colorMap.size()));
    if (cursor) {
        const TIconEntry& e = dir.entries[std::size_t(params.CURImageIndex)];
        const bool hotSpot = dir.type == kCursorType;
        params.CURXHotSpot = hotSpot ? e.planes : 0;
        params.CURYHotSpot = hotSpot ? e.bitCount : 0;
    } else {
        params.ICOSizes.fill(TIOParamsVals::TICOSize{});
        params.ICOBitCount.fill(0);
        for (std::size_t i = 0; i < dir.entries.size() && i < params.ICOSizes.size(); ++i) {
            const TIconEntry& e = dir.entries[i];
            params.ICOSizes[i] = TIOParamsVals::TICOSize{e.width, e.height};
            const int bits = dir.type == kIconType ? e.bitCount : 0;
            params.ICOBitCount[i] = bits ? bits : e.colorCount ? BitsForColours(e.colorCount) : 24;
        }
    }
    if (paramsOnly)
        return;
    out.bitmap.MoveTo(bitmap);
    if (!noMask)
        alphaMask = std::move(out.mask);
}

}  // namespace

void ReadICOStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly)
{
    ReadIconFile(Stream, Bitmap, Params, Progress, AlphaMask, NoMask, ParamsOnly, false);
}

void ReadCURStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool NoMask, bool ParamsOnly)
{
    ReadIconFile(Stream, Bitmap, Params, Progress, AlphaMask, NoMask, ParamsOnly, true);
}

// ---- writing -------------------------------------------------------------------------------------

namespace {

// One image of the file, resized and converted to its depth.
struct TIconImage {
    std::unique_ptr<TIEBitmap> pixels;  // ie1g for 1 bit, else ie24RGB
    std::unique_ptr<TIEBitmap> alpha;   // ie8g, or null: opaque
};

bool Opaque(const TIconImage& img, const std::uint8_t* alphaRow, int x)
{
    return !img.alpha || alphaRow[x] == 255;
}

// Source at Width x Height: itself at its own size, else resampled from Work (a copy of it that
// resampling may paint).
TIconImage Resize(TIEBitmap& source, std::unique_ptr<TIEBitmap>& work, int width, int height)
{
    TIconImage img;
    img.pixels = std::make_unique<TIEBitmap>();
    if (source.GetWidth() == width && source.GetHeight() == height) {
        img.pixels->Assign(&source);
    } else {
        if (!work) {
            work = std::make_unique<TIEBitmap>();
            work->Assign(&source);
        }
        img.pixels->Allocate(width, height, source.GetPixelFormat());
        ResampleBitmap(work.get(), img.pixels.get(), source.GetPixelFormat() == ie1g ? rfNone : rfFastLinear);
    }
    if (img.pixels->HasAlphaChannel()) {
        img.alpha = std::make_unique<TIEBitmap>();
        img.alpha->Assign(img.pixels->GetAlphaChannel());
        img.pixels->RemoveAlphaChannel();
    }
    return img;
}

// Transparent pixels take the first opaque pixel's colour, so that colours nobody sees neither
// take palette entries nor become one of the two colours of a 1-bit image.
void HideTransparentColours(TIconImage& img)
{
    if (!img.alpha)
        return;
    const int width = img.pixels->GetWidth();
    const int height = img.pixels->GetHeight();
    bool found = false;
    TRGB fill{};
    for (int y = 0; y < height && !found; ++y) {
        const std::uint8_t* a = img.alpha->ScanLine(y);
        for (int x = 0; x < width && !found; ++x)
            if (a[x] == 255) {
                fill = img.pixels->GetPixel24(x, y);
                found = true;
            }
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* a = img.alpha->ScanLine(y);
        TRGB* row = reinterpret_cast<TRGB*>(img.pixels->ScanLine(y));
        for (int x = 0; x < width; ++x)
            if (a[x] != 255)
                row[x] = fill;
    }
}

void ToDepth(TIconImage& img, int depth)
{
    if (depth != 1) {
        img.pixels->SetPixelFormat(ie24RGB);
        if (depth == 4 || depth == 8)
            HideTransparentColours(img);
        return;
    }
    if (img.pixels->GetPixelFormat() == ie1g)
        return;
    HideTransparentColours(img);
    // Two colours keep their order of lightness; anything else is thresholded.
    TRGB dark, light;
    if (std::unique_ptr<TIEBitmap> two = TwoColorsTo1Bit(img.pixels.get(), dark, light)) {
        img.pixels = std::move(two);
        return;
    }
    img.pixels->SetPixelFormat(ie1g);
}

// The palette of a 4 or 8-bit image: entry 0 black for the transparent pixels, then the image's
// own colours when they fit, else a quantizer's (which would give a grey image a ramp of levels
// even when it holds only a few).
class TIconPalette {
public:
    std::vector<TRGB> Build(TIEBitmap& rgb, int colours)
    {
        std::vector<TRGB> palette(std::size_t(colours) + 1, TRGB{});
        const int width = rgb.GetWidth();
        for (int y = 0; y < rgb.GetHeight() && int(own_.size()) <= colours; ++y) {
            const TRGB* row = reinterpret_cast<const TRGB*>(rgb.ScanLine(y));
            for (int x = 0; x < width && int(own_.size()) <= colours; ++x) {
                const auto [at, added] = own_.emplace(Key(row[x]), int(own_.size()) + 1);
                if (added && at->second <= colours)
                    palette[std::size_t(at->second)] = row[x];
            }
        }
        if (int(own_.size()) <= colours)
            return palette;
        own_.clear();
        quantizer_ =
            std::make_unique<TIEQuantizer>(&rgb, std::span<TRGB>(palette).subspan(1), colours, colours);
        return palette;
    }
    // The entry of an opaque pixel.
    int Index(TRGB c) const
    {
        if (quantizer_)
            return quantizer_->ColorIndex(c) + 1;
        const auto it = own_.find(Key(c));
        return it == own_.end() ? 0 : it->second;
    }

private:
    static std::uint32_t Key(TRGB c) { return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b; }
    std::unordered_map<std::uint32_t, int> own_;
    std::unique_ptr<TIEQuantizer> quantizer_;
};

// Bytes of one stored row: padded to 32 bits.
std::int64_t RowLength(std::int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

// The depth of BitCounts entry Bits: 1, 4, 8 and 32 as they are, 0 as Params says, else 24.
int EntryDepth(int bits, const TIOParamsVals& params)
{
    if (bits == 0)
        bits = params.BitsPerSample * params.SamplesPerPixel;
    return bits == 1 || bits == 4 || bits == 8 || bits == 32 ? bits : 24;
}

struct TWritten {
    int width = 0;
    int height = 0;
    int depth = 0;
    std::int64_t offset = 0;
    std::int64_t bytes = 0;
};

// Writes one image's info header, palette, colour rows and AND rows.
void WriteImage(rtl::TStream& stream, TProgressRecord& progress, TIOParamsVals& params, TIconImage& img,
                int depth)
{
    const int width = img.pixels->GetWidth();
    const int height = img.pixels->GetHeight();
    const std::int64_t xorRow = RowLength(width, depth);
    const std::int64_t andRow = RowLength(width, 1);

    std::vector<TRGB> palette;
    TIconPalette indexes;
    if (depth == 1) {
        palette = {TRGB{}, TRGB{255, 255, 255}};
    } else if (depth == 4 || depth == 8) {
        palette = indexes.Build(*img.pixels, (1 << depth) - 1);
        params.SetColorMap(palette.data(), int(palette.size()));
    }

    std::uint8_t header[rtl::kBmpInfoHeaderSize] = {};
    rtl::StoreLE32(header, rtl::kBmpInfoHeaderSize);
    rtl::StoreLE32(header + 4, std::uint32_t(width));
    rtl::StoreLE32(header + 8, std::uint32_t(height * 2));
    rtl::StoreLE16(header + 12, 1);
    rtl::StoreLE16(header + 14, std::uint16_t(depth));
    rtl::StoreLE32(header + 20, std::uint32_t((xorRow + andRow) * height));
    rtl::StoreLE32(header + 24, std::uint32_t(std::lround(params.DpiX / kCentimetresPerInch * 100)));
    rtl::StoreLE32(header + 28, std::uint32_t(std::lround(params.DpiY / kCentimetresPerInch * 100)));
    IEWrite(stream, progress, header, sizeof header);
    for (const TRGB& c : palette) {
        const std::uint8_t entry[4] = {c.b, c.g, c.r, 0};
        IEWrite(stream, progress, entry, 4);
    }

    std::vector<std::uint8_t> row(std::size_t(std::max(xorRow, andRow)));
    for (int r = 0; r < height && !progress.Aborted(); ++r) {
        const int y = height - 1 - r;  // bottom-up
        const std::uint8_t* src = img.pixels->ScanLine(y);
        const std::uint8_t* a = img.alpha ? img.alpha->ScanLine(y) : nullptr;
        const TRGB* rgb = reinterpret_cast<const TRGB*>(src);
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < width; ++x) {
            const bool opaque = Opaque(img, a, x);
            switch (depth) {
            case 1:
                // Transparent pixels are stored black: white under a set AND bit inverts the screen.
                if (opaque && (src[x >> 3] & (0x80 >> (x & 7))))
                    row[std::size_t(x >> 3)] |= std::uint8_t(0x80 >> (x & 7));
                break;
            case 4:
            case 8: {
                const int index = opaque ? indexes.Index(rgb[x]) : 0;
                if (depth == 8)
                    row[std::size_t(x)] = std::uint8_t(index);
                else
                    row[std::size_t(x >> 1)] |= std::uint8_t((x & 1) ? index : index << 4);
                break;
            }
            case 32:
                std::memcpy(&row[4 * std::size_t(x)], &rgb[x], 3);
                row[4 * std::size_t(x) + 3] = a ? a[x] : 255;
                break;
            default:
                if (opaque)
                    std::memcpy(&row[3 * std::size_t(x)], &rgb[x], 3);
                break;
            }
        }
        IEWrite(stream, progress, row.data(), std::int32_t(xorRow));
    }
    for (int r = 0; r < height && !progress.Aborted(); ++r) {
        const std::uint8_t* a = img.alpha ? img.alpha->ScanLine(height - 1 - r) : nullptr;
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < width; ++x)
            if (!Opaque(img, a, x))
                row[std::size_t(x >> 3)] |= std::uint8_t(0x80 >> (x & 7));
        IEWrite(stream, progress, row.data(), std::int32_t(andRow));
    }
}

}  // namespace

void WriteICOStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    std::span<const int> BitCounts, std::span<const TIOParamsVals::TICOSize> Sizes)
{
    const std::size_t count = Sizes.size();
    const bool sizesOk = std::all_of(Sizes.begin(), Sizes.end(), [](const TIOParamsVals::TICOSize& s) {
        return s.Width >= 1 && s.Width <= kMaxSide && s.Height >= 1 && s.Height <= kMaxSide;
    });
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1 ||
        count == 0 || count > 0xFFFF || BitCounts.size() != count || !sizesOk) {
        Progress.Abort();
        return;
    }
    Params.FreeColorMap();
    // The source in the two formats the images start from; the caller's bitmap is only read.
    TIEBitmap source;
    source.Assign(Bitmap);
    if (source.GetPixelFormat() == ie1g) {
        // Images of no stated depth stay black and white.
        Params.BitsPerSample = 1;
        Params.SamplesPerPixel = 1;
    } else if (source.GetPixelFormat() != ie24RGB) {
        source.SetPixelFormat(ie24RGB);
    }
    std::unique_ptr<TIEBitmap> work;

    const std::int64_t start = Stream.Position();
    std::vector<std::uint8_t> directory(kHeaderSize + count * kEntrySize, 0);
    rtl::StoreLE16(directory.data() + 2, kIconType);
    rtl::StoreLE16(directory.data() + 4, std::uint16_t(count));
    IEWrite(Stream, Progress, directory.data(), std::int32_t(directory.size()));

    std::vector<TWritten> written(count);
    Progress.per = 100.0 / double(count);
    for (std::size_t i = 0; i < count; ++i) {
        Progress.Report(int(Progress.per * double(i)));
        if (Progress.Aborted())
            return;
        TWritten& w = written[i];
        w.width = Sizes[i].Width;
        w.height = Sizes[i].Height;
        w.depth = EntryDepth(BitCounts[i], Params);
        TIconImage img = Resize(source, work, w.width, w.height);
        ToDepth(img, w.depth);
        w.offset = Stream.Position() - start;
        WriteImage(Stream, Progress, Params, img, w.depth);
        w.bytes = Stream.Position() - start - w.offset;
    }
    if (Progress.Aborted())
        return;

    for (std::size_t i = 0; i < count; ++i) {
        const TWritten& w = written[i];
        std::uint8_t* e = directory.data() + kHeaderSize + i * kEntrySize;
        e[0] = std::uint8_t(w.width);  // 256 is stored as 0
        e[1] = std::uint8_t(w.height);
        if (w.depth == 24 || w.depth == 32) {
            rtl::StoreLE16(e + 4, 1);
            rtl::StoreLE16(e + 6, std::uint16_t(w.depth));
        } else {
            e[2] = std::uint8_t(std::min(1 << w.depth, 255));
        }
        rtl::StoreLE32(e + 8, std::uint32_t(w.bytes));
        rtl::StoreLE32(e + 12, std::uint32_t(w.offset));
    }
    const std::int64_t end = Stream.Position();
    Stream.Seek(start, rtl::soBeginning);
    IEWrite(Stream, Progress, directory.data(), std::int32_t(directory.size()));
    Stream.Seek(end, rtl::soBeginning);
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

template <void (*Read)(rtl::TStream&, TIEBitmap*, TIOParamsVals&, TProgressRecord&, std::unique_ptr<TIEMask>&,
                       bool, bool)>
void LoadIconFile(TIELoadJob& Job)
{
    std::unique_ptr<TIEMask> mask;
    Read(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, mask, false, Job.ParamsOnly);
    if (mask && !Job.Progress.Aborted()) {
        Job.Alpha = std::make_unique<TIEBitmap>();
        Job.Alpha->CopyFromTIEMask(mask.get());
    }
}

void SaveIco(TIESaveJob& Job)
{
    // The leading sizes with a width; the rest of the table is unused.
    const auto& sizes = Job.Params.ICOSizes;
    std::size_t count = 0;
    while (count < sizes.size() && sizes[count].Width > 0)
        ++count;
    WriteICOStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress,
                   std::span<const int>(Job.Params.ICOBitCount.data(), count),
                   std::span<const TIOParamsVals::TICOSize>(sizes.data(), count));
}

}  // namespace

extern const TIEFormatSteps kICOSteps = {
    .FileType = ioICO,
    .Load = LoadIconFile<ReadICOStream>,
    .Save = SaveIco,
    .ViewDpiFile = true,
};

extern const TIEFormatSteps kCURSteps = {
    .FileType = ioCUR,
    .Load = LoadIconFile<ReadCURStream>,
    .ViewDpiFile = true,
};

}  // namespace imaging
