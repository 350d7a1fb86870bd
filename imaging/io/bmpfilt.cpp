// Windows bitmap reader and writer.
#include "imaging/io/bmpfilt.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/BmpReader.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

std::int64_t IEBmpMaxImageBytes = std::int64_t(1) << 30;

namespace {

// The header sizes and compression codes are the runtime's BMP reader's; this reader keeps its own
// parsing because it must take what that one refuses (a colour count above the depth, data that
// ends early) and report failure through the abort flag.
constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = int(rtl::kBmpFileHeaderSize);
constexpr int kCoreHeaderSize = int(rtl::kBmpCoreHeaderSize);
constexpr int kInfoHeaderSize = int(rtl::kBmpInfoHeaderSize);
constexpr int kOs2HeaderSize = 64;
// The smallest OS/2 2.x header: size, width, height, planes and bit count; the rest is implied 0.
constexpr int kOs2MinHeaderSize = 16;
// Headers from here on (v2, v3, v4, v5) carry the colour masks after the 40-byte part.
constexpr int kMaskedHeaderSize = 52;
// No header documented is longer than v5's; a longer one is damage, not a future version.
constexpr std::uint32_t kMaxHeaderSize = 4096;

constexpr std::uint32_t kBiRgb = rtl::kBmpRgb;
constexpr std::uint32_t kBiRle8 = rtl::kBmpRle8;
constexpr std::uint32_t kBiRle4 = rtl::kBmpRle4;
constexpr std::uint32_t kBiBitFields = rtl::kBmpBitFields;

constexpr double kInchesPerMeter100 = 2.54;

// Bytes of one stored row: padded to 32 bits.
std::int64_t StoredRowLength(std::int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

int ReadAll(rtl::TStream& stream, void* buffer, std::int64_t count)
{
    if (count <= 0)
        return 0;
    return stream.Read(buffer, static_cast<std::int32_t>(count));
}

// A colour field of a 16 or 32-bit pixel, scaled so that its largest value becomes 255.
class TMaskField {
public:
    // False for a zero or split mask.
    bool Set(std::uint32_t mask)
    {
        if (mask == 0)
            return false;
        shift_ = std::countr_zero(mask);
        const std::uint32_t v = mask >> shift_;
        if ((v & (v + 1)) != 0)  // not one run of set bits
            return false;
        mask_ = mask;
        max_ = v;
        return true;
    }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        const std::uint64_t v = (pixel & mask_) >> shift_;
        return static_cast<std::uint8_t>(v * 255 / max_);
    }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    std::uint64_t max_ = 1;
};

// What the headers said, in the reader's terms.
struct TBmpInfo {
    std::int64_t start = 0;
    std::int64_t end = 0;  // end of the bytes that belong to the image
    std::uint32_t offBits = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t masks[3] = {0, 0, 0};
    int paletteCount = 0;
    std::array<TRGB, 256> lut{};  // entries past the palette stay black
};

bool ReadHeaders(rtl::TStream& stream, std::int64_t blockSize, bool noFileHeader, TIOParamsVals& params,
                 TBmpInfo& info)
{
    info.start = stream.Position();
    std::int64_t available = stream.Size() - info.start;
    if (available <= 0)
        return false;
    if (!noFileHeader) {
        std::uint8_t fh[kFileHeaderSize];
        if (ReadAll(stream, fh, kFileHeaderSize) != kFileHeaderSize)
            return false;
        if (rtl::LoadLE16(fh) != kBmpSignature)
            return false;
        const std::uint32_t bfSize = rtl::LoadLE32(fh + 2);
        if (bfSize > 0 && blockSize <= 0)
            blockSize = bfSize;
        info.offBits = rtl::LoadLE32(fh + 10);
    }
    // The block can never reach past what the stream holds.
    info.end = info.start + (blockSize > 0 ? std::min(blockSize, available) : available);

    std::uint8_t sizeBytes[4];
    if (ReadAll(stream, sizeBytes, 4) != 4)
        return false;
    info.headerSize = rtl::LoadLE32(sizeBytes);
    params.FreeColorMap();

    const std::int64_t headerEnd = stream.Position() - 4 + info.headerSize;
    if (info.headerSize == kCoreHeaderSize) {
        std::uint8_t h[kCoreHeaderSize - 4];
        if (ReadAll(stream, h, sizeof h) != int(sizeof h))
            return false;
        params.BMPVersion = 2;
        info.width = rtl::LoadLE16(h);
        info.height = rtl::LoadLE16(h + 2);
        info.bits = rtl::LoadLE16(h + 6);
        params.SetDpiX(IEDefaultDpiX);
        params.SetDpiY(IEDefaultDpiY);
        if (info.bits <= 8 && info.bits > 0)
            info.paletteCount = 1 << info.bits;
    } else {
        if (info.headerSize < kOs2MinHeaderSize || info.headerSize > kMaxHeaderSize || headerEnd > info.end)
            return false;
        std::uint8_t h[kOs2HeaderSize] = {};
        const int taken = int(std::min<std::uint32_t>(info.headerSize, kOs2HeaderSize)) - 4;
        if (ReadAll(stream, h + 4, taken) != taken)
            return false;
        params.BMPVersion = info.headerSize == kOs2HeaderSize    ? 3
                            : info.headerSize == kInfoHeaderSize ? 1
                                                                 : 0;
        const std::int32_t width = std::int32_t(rtl::LoadLE32(h + 4));
        const std::int32_t height = std::int32_t(rtl::LoadLE32(h + 8));
        if (width < 0 || height == INT_MIN)
            return false;
        info.width = width;
        info.topDown = height < 0;
        info.height = info.topDown ? -std::int64_t(height) : height;
        info.bits = rtl::LoadLE16(h + 14);
        info.compression = rtl::LoadLE32(h + 16);
        const auto dpi = [](std::int32_t perMeter) {
            return int(std::lround(double(perMeter) / 100.0 * kInchesPerMeter100));
        };
        const int dpiX = dpi(std::int32_t(rtl::LoadLE32(h + 24)));
        const int dpiY = dpi(std::int32_t(rtl::LoadLE32(h + 28)));
        params.SetDpiX(dpiX > 0 ? dpiX : IEDefaultDpiX);
        params.SetDpiY(dpiY > 0 ? dpiY : IEDefaultDpiY);
        std::uint32_t used = rtl::LoadLE32(h + 32);
        if (used > 256)
            used = 0;
        if (used == 0 && info.bits <= 8 && info.bits > 0)
            used = 1u << info.bits;
        info.paletteCount = int(used);
        // OS/2 gives codes 3 and 4 to Huffman and RLE24, which no one here reads.
        if (info.headerSize == kOs2HeaderSize && info.compression > kBiRle4)
            return false;
        if (info.headerSize >= kMaskedHeaderSize && info.headerSize != kOs2HeaderSize)
            for (int i = 0; i < 3; ++i)
                info.masks[i] = rtl::LoadLE32(h + 40 + 4 * i);
        stream.Seek(headerEnd, rtl::soBeginning);
        if (info.compression == kBiBitFields && info.headerSize < kMaskedHeaderSize) {
            std::uint8_t m[12];
            if (ReadAll(stream, m, 12) != 12)
                return false;
            for (int i = 0; i < 3; ++i)
                info.masks[i] = rtl::LoadLE32(m + 4 * i);
        }
    }

    // The palette: 3-byte entries after a core header, 4-byte ones otherwise.
    if (info.paletteCount > 0) {
        const int entrySize = info.headerSize == kCoreHeaderSize ? 3 : 4;
        std::vector<std::uint8_t> raw(std::size_t(info.paletteCount) * entrySize);
        const int got = ReadAll(stream, raw.data(), std::int64_t(raw.size())) / entrySize;
        std::vector<TRGB> colors(std::size_t(info.paletteCount));
        for (int i = 0; i < got; ++i) {
            const std::uint8_t* e = raw.data() + std::size_t(i) * entrySize;
            colors[std::size_t(i)] = TRGB{e[0], e[1], e[2]};
        }
        // Only as many as the pixels can address count as the image's colours.
        const int usable = std::min(info.paletteCount, info.bits <= 8 ? 1 << info.bits : 0);
        for (int i = 0; i < usable; ++i)
            info.lut[std::size_t(i)] = colors[std::size_t(i)];
        params.SetColorMap(colors.data(), info.paletteCount);
    }

    params.BMPCompression = (info.compression == kBiRle8 || info.compression == kBiRle4) ? 1 : 0;
    if (info.offBits != 0)
        stream.Seek(info.start + info.offBits, rtl::soBeginning);
    params.Width = int(info.width);
    params.Height = int(info.height);
    switch (info.bits) {
    case 1:
    case 4:
    case 8:
        params.BitsPerSample = info.bits;
        params.SamplesPerPixel = 1;
        break;
    case 16:
        params.BitsPerSample = 5;
        params.SamplesPerPixel = 3;
        break;
    case 24:
    case 32:
        params.BitsPerSample = 8;
        params.SamplesPerPixel = 3;
        break;
    default: return false;
    }
    return true;
}

// Whether the depth and compression go together, and the masks make sense.
bool CheckCoding(const TBmpInfo& info, TMaskField fields[3])
{
    switch (info.compression) {
    case kBiRgb:
        if (info.bits == 16)
            return fields[0].Set(0x7C00) && fields[1].Set(0x3E0) && fields[2].Set(0x1F);
        if (info.bits == 32)
            return fields[0].Set(0xFF0000) && fields[1].Set(0xFF00) && fields[2].Set(0xFF);
        return true;
    // Run-length data is bottom-up by definition; a top-down RLE file has no meaning.
    case kBiRle8: return info.bits == 8 && !info.topDown;
    case kBiRle4: return info.bits == 4 && !info.topDown;
    case kBiBitFields:
        if (info.bits != 16 && info.bits != 32)
            return false;
        for (int i = 0; i < 3; ++i)
            if (!fields[i].Set(info.masks[i]))
                return false;
        return true;
    default: return false;
    }
}

bool IsBlack(TRGB c) { return c.r == 0 && c.g == 0 && c.b == 0; }
bool IsWhite(TRGB c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Writes indexes into one bitmap row: as they are (ie8p) or through the palette (ie24RGB).
struct TIndexSink {
    bool native = false;
    const std::array<TRGB, 256>* lut = nullptr;

    void Put(std::uint8_t* row, std::int64_t x, int index) const
    {
        if (native)
            row[x] = std::uint8_t(index);
        else
            reinterpret_cast<TRGB*>(row)[x] = (*lut)[std::size_t(index)];
    }
};

// Run-length decoding (RLE8 with nibbles false, RLE4 with true). Writes outside the image are
// dropped; the decoding stops at the end of the data, at end of bitmap, and when a move leaves the
// top of the image.
void DecodeRle(const std::uint8_t* data, std::size_t size, bool nibbles, const TBmpInfo& info,
               TIEBitmap& bitmap, const TIndexSink& sink, TProgressRecord& progress)
{
    const std::int64_t width = info.width;
    const std::int64_t height = info.height;
    std::int64_t x = 0;
    std::int64_t y = 0;  // rows from the bottom
    std::uint8_t* row = bitmap.ScanLine(int(height - 1));
    auto put = [&](int index) {
        if (x < width)
            sink.Put(row, x, index);
        ++x;
    };
    auto moveTo = [&](std::int64_t newY) {
        y = newY;
        if (y < height)
            row = bitmap.ScanLine(int(height - 1 - y));
        progress.Report(int(progress.per * double(std::min(y, height))));
    };
    std::size_t i = 0;
    while (i + 1 < size && y < height && !progress.Aborted()) {
        const int count = data[i];
        const int value = data[i + 1];
        i += 2;
        if (count > 0) {
            const std::int64_t n = std::min<std::int64_t>(count, std::max<std::int64_t>(width - x, 0));
            for (std::int64_t k = 0; k < n; ++k)
                put(nibbles ? ((k & 1) ? value & 15 : value >> 4) : value);
            x += count - n;
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            moveTo(y + 1);
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (i + 1 >= size)
                break;
            x += data[i];
            const int dy = data[i + 1];
            i += 2;
            if (dy)
                moveTo(y + dy);
        } else {  // absolute run of `value` pixels
            const std::size_t bytes = nibbles ? (std::size_t(value) + 1) / 2 : std::size_t(value);
            const std::size_t have = std::min(bytes, size - i);
            for (int k = 0; k < value; ++k) {
                const std::size_t at = nibbles ? std::size_t(k) / 2 : std::size_t(k);
                if (at >= have)
                    break;
                const int v = data[i + at];
                put(nibbles ? ((k & 1) ? v & 15 : v >> 4) : v);
            }
            i += bytes + (bytes & 1);
        }
    }
}

void ReadPixels(rtl::TStream& stream, TIEBitmap& bitmap, const TBmpInfo& info, const TMaskField fields[3],
                bool native, TProgressRecord& progress)
{
    const std::int64_t width = info.width;
    const std::int64_t height = info.height;
    TIndexSink sink{native, &info.lut};
    const std::int64_t left = std::max<std::int64_t>(info.end - stream.Position(), 0);

    if (info.compression == kBiRle8 || info.compression == kBiRle4) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(left));
        const int got = ReadAll(stream, data.data(), left);
        DecodeRle(data.data(), std::size_t(std::max(got, 0)), info.compression == kBiRle4, info, bitmap, sink,
                  progress);
        return;
    }

    const std::int64_t rowLen = StoredRowLength(width, info.bits);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(rowLen));
    std::int64_t dataLeft = left;
    for (std::int64_t r = 0; r < height; ++r) {
        progress.Report(int(progress.per * double(r)));
        if (progress.Aborted())
            return;
        const std::int64_t take = std::min(rowLen, dataLeft);
        if (take <= 0)
            return;  // the rest stays zero
        const int target = int(info.topDown ? r : height - 1 - r);
        std::uint8_t* out = bitmap.ScanLine(target);
        if (info.bits == 24) {
            // Straight into the row, with the stored padding kept out of it.
            const std::int64_t pixels = std::min(take, width * 3);
            const int got = ReadAll(stream, out, pixels);
            if (got < pixels)
                return;
            if (take > pixels)
                stream.Seek(take - pixels, rtl::soCurrent);
            dataLeft -= take;
            continue;
        }
        const int got = ReadAll(stream, buffer.data(), take);
        if (got <= 0)
            return;
        dataLeft -= got;
        if (got < rowLen)
            std::memset(buffer.data() + got, 0, std::size_t(rowLen - got));
        const std::uint8_t* in = buffer.data();
        switch (info.bits) {
        case 1:
            if (bitmap.GetPixelFormat() == ie1g) {
                std::memcpy(out, in, std::size_t((width + 7) / 8));
            } else {
                for (std::int64_t x = 0; x < width; ++x)
                    sink.Put(out, x, (in[x >> 3] >> (7 - (x & 7))) & 1);
            }
            break;
        case 4:
            for (std::int64_t x = 0; x < width; ++x)
                sink.Put(out, x, (x & 1) ? in[x >> 1] & 15 : in[x >> 1] >> 4);
            break;
        case 8:
            if (native) {
                std::memcpy(out, in, std::size_t(width));
            } else {
                TRGB* px = reinterpret_cast<TRGB*>(out);
                for (std::int64_t x = 0; x < width; ++x)
                    px[x] = info.lut[in[x]];
            }
            break;
        case 16:
        case 32: {
            TRGB* px = reinterpret_cast<TRGB*>(out);
            const bool wide = info.bits == 32;
            for (std::int64_t x = 0; x < width; ++x) {
                const std::uint32_t p = wide ? rtl::LoadLE32(in + 4 * x) : rtl::LoadLE16(in + 2 * x);
                px[x] = TRGB{fields[2](p), fields[1](p), fields[0](p)};
            }
            break;
        }
        default: break;
        }
    }
}

}  // namespace

void ReadBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, std::int64_t BlockSize, TIOParamsVals& Params,
                   TProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader)
{
    TBmpInfo info;
    TMaskField fields[3];
    try {
        if (!ReadHeaders(Stream, BlockSize, NoFileHeader, Params, info) || !CheckCoding(info, fields)) {
            Progress.Abort();
            return;
        }
    } catch (const rtl::Exception&) {
        // A stream that cannot seek or read where the headers point.
        Progress.Abort();
        return;
    }
    if (ParamsOnly || info.width == 0 || info.height == 0 || !Bitmap)
        return;

    const bool native = Params.NativePixelFormat != 0;
    TIEPixelFormat format = ie24RGB;
    bool invert = false;
    if (info.bits == 1 &&
        ((IsBlack(info.lut[0]) && IsWhite(info.lut[1])) || (IsWhite(info.lut[0]) && IsBlack(info.lut[1])))) {
        format = ie1g;
        invert = IsWhite(info.lut[0]);
    } else if (info.bits <= 8 && native) {
        format = ie8p;
    }
    if (info.width > IEBmpMaxImageBytes / 3 / info.height) {
        Progress.Abort();
        return;
    }
    try {
        Bitmap->Allocate(int(info.width), int(info.height), format);
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return;
    }
    if (format == ie8p)
        for (int i = 0; i < 256; ++i)
            Bitmap->SetPaletteColor(i, info.lut[std::size_t(i)]);

    Progress.per = 100.0 / double(info.height);
    try {
        ReadPixels(Stream, *Bitmap, info, fields, native, Progress);
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return;
    }
    if (invert) {
        const int bytes = int((info.width + 7) / 8);
        for (int y = 0; y < info.height; ++y) {
            std::uint8_t* row = Bitmap->ScanLine(y);
            for (int i = 0; i < bytes; ++i)
                row[i] = std::uint8_t(~row[i]);
        }
    }
}

// ---- writing -----------------------------------------------------------------------------------

namespace {

// The run-length encoding of one row of indexes (RLE4 with nibbles, else RLE8), ending with the
// end-of-line code: runs of one index, and literals flushed at most 255 at a time.
void EncodeRle(const std::uint8_t* row, int n, bool nibbles, std::vector<std::uint8_t>& out)
{
    int i = 0;
    int s = 0;
    auto flush = [&](int upTo) {
        while (s < upTo) {
            const int m = std::min(upTo - s, 255);
            if (m == 1 && nibbles) {
                out.insert(out.end(), {1, std::uint8_t(row[s] << 4)});
            } else if (m == 1) {
                out.insert(out.end(), {1, row[s]});
            } else if (m == 2 && nibbles) {
                out.insert(out.end(), {2, std::uint8_t(row[s] << 4 | row[s + 1])});
            } else if (m == 2) {
                out.insert(out.end(), {1, row[s], 1, row[s + 1]});
            } else {
                out.push_back(0);
                out.push_back(std::uint8_t(m));
                int packed = m;
                if (nibbles) {
                    packed = (m + 1) / 2;
                    for (int k = 0; k < packed; ++k) {
                        const int a = row[s + 2 * k];
                        const int b = 2 * k + 1 < m ? row[s + 2 * k + 1] : 0;
                        out.push_back(std::uint8_t(a << 4 | b));
                    }
                } else {
                    out.insert(out.end(), row + s, row + s + m);
                }
                if (packed & 1)
                    out.push_back(0);
            }
            s += m;
        }
    };
    while (i < n) {
        if (i - s > 255)
            flush(s + 255);
        if (i + 1 < n && row[i] == row[i + 1]) {
            flush(i);
            int j = i + 2;
            while (j < n && row[j] == row[i] && j - i < 255)
                ++j;
            out.push_back(std::uint8_t(j - i));
            out.push_back(nibbles ? std::uint8_t(row[i] << 4 | row[i]) : row[i]);
            s = i = j;
        } else {
            ++i;
        }
    }
    flush(n);
    out.insert(out.end(), {0, 0});
}

// A copy of the bitmap in ie24RGB (alpha left out).
std::unique_ptr<TIEBitmap> Copy24(TIEBitmap& source)
{
    auto copy = std::make_unique<TIEBitmap>();
    copy->AssignImage(&source);
    copy->SetPixelFormat(ie24RGB);
    return copy;
}

// The indexes of a palette image: the bitmap's own for an ie8p source whose indexes all fit the
// depth, else a quantizer's over a 24-bit copy.
struct TIndexedSource {
    std::vector<TRGB> palette;
    std::vector<std::uint8_t> indexes;  // width * height, top row first
};

void IndexSource(TIEBitmap& bitmap, int bits, TIndexedSource& out)
{
    const int width = bitmap.GetWidth();
    const int height = bitmap.GetHeight();
    const int colors = 1 << bits;
    out.indexes.resize(std::size_t(width) * std::size_t(height));
    if (bitmap.GetPixelFormat() == ie8p) {
        bool fits = true;
        for (int y = 0; y < height && fits; ++y) {
            const std::uint8_t* row = bitmap.ScanLine(y);
            fits = std::all_of(row, row + width, [&](std::uint8_t v) { return v < colors; });
        }
        if (fits) {
            out.palette.resize(std::size_t(colors));
            for (int i = 0; i < colors; ++i)
                out.palette[std::size_t(i)] = bitmap.GetPaletteColor(i);
            for (int y = 0; y < height; ++y)
                std::memcpy(out.indexes.data() + std::size_t(y) * width, bitmap.ScanLine(y),
                            std::size_t(width));
            return;
        }
    }
    std::unique_ptr<TIEBitmap> copy = Copy24(bitmap);
    out.palette.assign(std::size_t(colors), TRGB{});
    TIEQuantizer quantizer(copy.get(), out.palette, colors, colors);
    for (int y = 0; y < height; ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(copy->ScanLine(y));
        std::uint8_t* dst = out.indexes.data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x)
            dst[x] = std::uint8_t(quantizer.ColorIndex(row[x]));
    }
}

void PutLE16(std::uint8_t* p, int v) { rtl::StoreLE16(p, std::uint16_t(v)); }
void PutLE32(std::uint8_t* p, std::int64_t v) { rtl::StoreLE32(p, std::uint32_t(v)); }

}  // namespace

void WriteBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    const int width = Bitmap->GetWidth();
    const int height = Bitmap->GetHeight();
    int bits = 24;
    if (Params.BitsPerSample == 1 || Params.BitsPerSample == 4)
        bits = Params.BitsPerSample;
    else if (Params.SamplesPerPixel == 1)
        bits = 8;
    const bool core = Params.BMPVersion == 2;
    // The core header keeps sizes in 16 bits.
    if (core && (width > 65535 || height > 65535)) {
        Progress.Abort();
        return;
    }
    const int headerSize = core ? kCoreHeaderSize : Params.BMPVersion == 3 ? kOs2HeaderSize : kInfoHeaderSize;
    const bool rle = !core && Params.BMPCompression == 1 && (bits == 4 || bits == 8);
    const std::int64_t rowLen = StoredRowLength(width, bits);
    if (!rle && rowLen * height > INT32_MAX) {
        Progress.Abort();
        return;
    }

    // The palette and the source of the rows.
    std::vector<TRGB> palette;
    TIndexedSource indexed;
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* rows = Bitmap;
    if (bits == 4 || bits == 8) {
        IndexSource(*Bitmap, bits, indexed);
        palette = indexed.palette;
    } else if (bits == 1) {
        palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
        if (Bitmap->GetPixelFormat() != ie1g) {
            TRGB dark, light;
            copy = TwoColorsTo1Bit(Bitmap, dark, light);
            if (copy) {
                palette = {dark, light};
            } else {
                copy = std::make_unique<TIEBitmap>();
                copy->AssignImage(Bitmap);
                copy->SetPixelFormat(ie1g);
            }
            rows = copy.get();
        }
    } else if (Bitmap->GetPixelFormat() != ie24RGB) {
        copy = Copy24(*Bitmap);
        rows = copy.get();
    }
    Params.SetColorMap(palette.empty() ? nullptr : palette.data(), int(palette.size()));

    const std::int64_t start = Stream.Position();
    std::uint8_t fileHeader[kFileHeaderSize] = {};
    PutLE16(fileHeader, kBmpSignature);
    std::uint8_t header[kOs2HeaderSize] = {};
    PutLE32(header, headerSize);
    if (core) {
        PutLE16(header + 4, width);
        PutLE16(header + 6, height);
        PutLE16(header + 8, 1);
        PutLE16(header + 10, bits);
    } else {
        PutLE32(header + 4, width);
        PutLE32(header + 8, height);
        PutLE16(header + 12, 1);
        PutLE16(header + 14, bits);
        PutLE32(header + 16, rle ? (bits == 4 ? kBiRle4 : kBiRle8) : kBiRgb);
        PutLE32(header + 24, std::lround(Params.DpiX / kInchesPerMeter100 * 100));
        PutLE32(header + 28, std::lround(Params.DpiY / kInchesPerMeter100 * 100));
        if (bits <= 8)
            PutLE32(header + 32, std::int64_t(1) << bits);
        PutLE32(header + 36, std::int64_t(1) << bits);
    }
    IEWrite(Stream, Progress, fileHeader, kFileHeaderSize);
    IEWrite(Stream, Progress, header, headerSize);
    for (const TRGB& c : palette) {
        const std::uint8_t entry[4] = {c.b, c.g, c.r, 0};
        IEWrite(Stream, Progress, entry, core ? 3 : 4);
    }
    const std::int64_t pixelStart = Stream.Position();

    Progress.per = 100.0 / height;
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(rle ? width * 2 + 4 : rowLen));
    for (int r = 0; r < height && !Progress.Aborted(); ++r) {
        Progress.Report(int(Progress.per * r));
        const int y = height - 1 - r;  // bottom-up
        out.clear();
        if (bits == 4 || bits == 8) {
            const std::uint8_t* idx = indexed.indexes.data() + std::size_t(y) * width;
            if (rle) {
                EncodeRle(idx, width, bits == 4, out);
            } else if (bits == 8) {
                out.assign(idx, idx + width);
            } else {
                for (int x = 0; x < width; x += 2)
                    out.push_back(std::uint8_t(idx[x] << 4 | (x + 1 < width ? idx[x + 1] : 0)));
            }
        } else {
            const std::uint8_t* src = rows->ScanLine(y);
            out.assign(src, src + (bits == 1 ? (width + 7) / 8 : width * 3));
        }
        if (!rle)
            out.resize(std::size_t(rowLen), 0);
        if (rle && r == height - 1)
            out.insert(out.end(), {0, 1});
        IEWrite(Stream, Progress, out.data(), std::int32_t(out.size()));
    }
    if (Progress.Aborted())
        return;

    const std::int64_t end = Stream.Position();
    PutLE32(fileHeader + 2, end - start);
    PutLE32(fileHeader + 10, pixelStart - start);
    if (!core)
        PutLE32(header + 20, end - pixelStart);
    Stream.Seek(start, rtl::soBeginning);
    IEWrite(Stream, Progress, fileHeader, kFileHeaderSize);
    IEWrite(Stream, Progress, header, headerSize);
    Stream.Seek(end, rtl::soBeginning);
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadBmp(TIELoadJob& Job)
{
    ReadBMPStream(Job.Stream, &Job.Bitmap, Job.BlockSize, Job.Params, Job.Progress, Job.ParamsOnly, false);
}

void SaveBmp(TIESaveJob& Job) { WriteBMPStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kBMPSteps = {
    .FileType = ioBMP,
    .Load = LoadBmp,
    .Save = SaveBmp,
    .ViewDpiFile = true,
    .ViewDpiStream = false,
    .SavesAnyPixelFormat = true,
};

}  // namespace imaging
