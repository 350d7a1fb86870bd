// Windows bitmap reader and writer.
#include "imaging/io/bmpfilt.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iesavesource.h"
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
#include <unordered_map>
#include <vector>

namespace imaging {

std::int64_t IEBmpMaxImageBytes = std::int64_t(1) << 30;

namespace {

constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
constexpr int kFileHeaderSize = int(rtl::kBmpFileHeaderSize);
constexpr int kCoreHeaderSize = int(rtl::kBmpCoreHeaderSize);
constexpr int kInfoHeaderSize = int(rtl::kBmpInfoHeaderSize);
constexpr int kOs2HeaderSize = 64;

constexpr double kInchesPerMeter100 = 2.54;

// Bytes of one stored row: padded to 32 bits.
std::int64_t StoredRowLength(std::int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

// The parameters a read reports, from the checked headers.
void FillParams(const rtl::TBmpHeader& h, TIOParamsVals& params)
{
    params.FreeColorMap();
    params.BMPVersion = h.InfoSize == rtl::kBmpCoreHeaderSize   ? 2
                        : h.InfoSize == kOs2HeaderSize          ? 3
                        : h.InfoSize == rtl::kBmpInfoHeaderSize ? 1
                                                                : 0;
    const auto dpi = [](std::int32_t perMeter) {
        const int v = int(std::lround(double(perMeter) / 100.0 * kInchesPerMeter100));
        return v > 0 ? v : 0;
    };
    const int dpiX = dpi(h.XPelsPerMeter), dpiY = dpi(h.YPelsPerMeter);
    params.SetDpiX(dpiX ? dpiX : IEDefaultDpiX);
    params.SetDpiY(dpiY ? dpiY : IEDefaultDpiY);
    if (!h.Table.empty()) {
        std::vector<TRGB> colors(h.Table.size());
        for (std::size_t i = 0; i < colors.size(); ++i)
            colors[i] = TRGB{h.Table[i].Blue, h.Table[i].Green, h.Table[i].Red};
        params.SetColorMap(colors.data(), int(colors.size()));
    }
    params.BMPCompression = h.Compressed() ? 1 : 0;
    params.Width = h.Width;
    params.Height = h.Height;
    params.BitsPerSample = h.BitCount <= 8 ? h.BitCount : h.BitCount == 16 ? 5 : 8;
    params.SamplesPerPixel = h.BitCount <= 8 ? 1 : 3;
}

// A decoded row of 1, 4 or 8-bit indexes, one a byte.
void UnpackIndexes(const rtl::TBmpHeader& h, const std::uint8_t* row, std::uint8_t* out)
{
    const std::size_t width = std::size_t(h.Width);
    switch (h.Format) {
    case rtl::bf1bit:
        for (std::size_t x = 0; x < width; ++x)
            out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
        break;
    case rtl::bf4bit:
        for (std::size_t x = 0; x < width; ++x)
            out[x] = (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
        break;
    default: std::memcpy(out, row, width); break;
    }
}

// Turns decoded rows into the bitmap's rows of `format`.
class TRowSink {
public:
    TRowSink(const rtl::TBmpHeader& h, TIEPixelFormat format, bool invert)
        : h_(h), format_(format), invert_(invert), scratch_(std::size_t(h.RowLength))
    {
    }
    // Where DecodeBmpRow may write image row `y` (from the top) directly, or null.
    std::uint8_t* Direct(TIEBitmap& bitmap, int y) const
    {
        const bool same = (format_ == ie1g && !invert_) || (format_ == ie24RGB && h_.Format == rtl::bf24bit);
        return same ? bitmap.ScanLine(y) : nullptr;
    }
    std::uint8_t* Scratch() { return scratch_.data(); }
    // Converts a decoded row into image row `y`.
    void Put(TIEBitmap& bitmap, int y, const std::uint8_t* row) const
    {
        std::uint8_t* out = bitmap.ScanLine(y);
        switch (format_) {
        case ie1g: {
            const std::size_t bytes = std::size_t((h_.Width + 7) / 8);
            for (std::size_t i = 0; i < bytes; ++i)
                out[i] = invert_ ? std::uint8_t(~row[i]) : row[i];
            break;
        }
        case ie8p: UnpackIndexes(h_, row, out); break;
        default: rtl::BmpRowToBgr(h_, row, out); break;
        }
    }

private:
    const rtl::TBmpHeader& h_;
    TIEPixelFormat format_;
    bool invert_;
    std::vector<std::uint8_t> scratch_;
};

// Decodes the checked image into `out`; false when the abort flag stopped it.
bool DecodeInto(const rtl::TBmpHeader& h, const std::uint8_t* data, std::size_t size, TIEBitmap& out,
                TRowSink& sink, TProgressRecord& progress)
{
    const int height = h.Height;
    if (h.Compressed()) {
        // Runs may go anywhere in the image: the whole index image first.
        std::vector<std::uint8_t> rows(std::size_t(h.ImageBytes()));
        rtl::DecodeBmpPixels(h, data, size, rows.data(), std::size_t(h.RowLength));
        for (int r = 0; r < height; ++r) {
            progress.Report(int(progress.per * double(r)));
            if (progress.Aborted())
                return false;
            sink.Put(out, height - 1 - r, rows.data() + std::size_t(r) * std::size_t(h.RowLength));
        }
        return true;
    }
    for (int r = 0; r < height; ++r) {
        progress.Report(int(progress.per * double(r)));
        if (progress.Aborted())
            return false;
        const int y = h.TopDown ? r : height - 1 - r;
        if (std::uint8_t* direct = sink.Direct(out, y)) {
            rtl::DecodeBmpRow(h, data, r, direct);
        } else {
            rtl::DecodeBmpRow(h, data, r, sink.Scratch());
            sink.Put(out, y, sink.Scratch());
        }
    }
    return true;
}

}  // namespace

void ReadBMPStream(rtl::TStream& Stream, TIEBitmap* Bitmap, std::int64_t BlockSize, TIOParamsVals& Params,
                   TProgressRecord& Progress, bool ParamsOnly, bool NoFileHeader)
{
    // The runtime's reader parses and checks everything before the bitmap is touched: a file it
    // refuses sets the abort flag and leaves Bitmap and Params as they were.
    rtl::TBmpLimits limits;
    limits.MaxPixelBytes = std::uint64_t(std::max<std::int64_t>(IEBmpMaxImageBytes, 0));
    rtl::TBmpBytes bytes;
    rtl::TBmpHeader h;
    try {
        bytes = rtl::ReadBmpBytes(Stream, limits, BlockSize, NoFileHeader);
        h = NoFileHeader ? rtl::ReadDibHeader(bytes.Data, bytes.Size, limits)
                         : rtl::ReadBmpHeader(bytes.Data, bytes.Size, limits);
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return;
    }
    // Every image comes out at 24 bits at most three bytes a pixel.
    if (std::uint64_t(h.Width) * std::uint64_t(h.Height) * 3 > limits.MaxPixelBytes) {
        Progress.Abort();
        return;
    }
    FillParams(h, Params);
    if (ParamsOnly || !Bitmap)
        return;

    bool whiteFirst = false;
    TIEPixelFormat format = ie24RGB;
    if (rtl::BmpIsBlackAndWhite(h, whiteFirst))
        format = ie1g;
    else if (h.BitCount <= 8 && Params.NativePixelFormat)
        format = ie8p;
    TIEBitmap out;
    try {
        out.Allocate(h.Width, h.Height, format);
        if (format == ie8p)
            for (int i = 0; i < 256; ++i) {
                const rtl::TBmpColor c =
                    std::size_t(i) < h.Colors.size() ? h.Colors[std::size_t(i)] : rtl::TBmpColor{};
                out.SetPaletteColor(i, TRGB{c.Blue, c.Green, c.Red});
            }
        Progress.per = 100.0 / double(h.Height);
        TRowSink sink(h, format, whiteFirst);
        if (!DecodeInto(h, bytes.Data, bytes.Size, out, sink, Progress))
            return;
    } catch (const rtl::Exception&) {
        Progress.Abort();
        return;
    }
    out.MoveTo(Bitmap);
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

// The indexes of a palette image: the bitmap's own for an ie8p source whose indexes all fit the
// depth, else a quantizer's over a 24-bit copy.
struct TIndexedSource {
    std::vector<TRGB> palette;
    std::vector<std::uint8_t> indexes;  // width * height, top row first
};

// The image's own colours, darkest first, with each pixel's index, when it has no more than
// `max`; false otherwise. An image this few colours fit is written exactly, not quantized.
bool ExactColours(TIEBitmap& rgb, int max, TIndexedSource& out)
{
    const int width = rgb.GetWidth();
    const int height = rgb.GetHeight();
    auto keyOf = [](TRGB c) { return std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b; };
    std::unordered_map<std::uint32_t, std::uint8_t> index;
    std::uint32_t last = UINT32_MAX;
    for (int y = 0; y < height; ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(rgb.ScanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t key = keyOf(row[x]);
            if (key == last || index.count(key))
                continue;
            if (int(index.size()) == max)
                return false;
            index.emplace(key, 0);
            last = key;
        }
    }
    std::vector<std::uint32_t> seen;
    for (const auto& entry : index)
        seen.push_back(entry.first);
    auto luma = [](std::uint32_t c) { return 299 * (c >> 16) + 587 * (c >> 8 & 255) + 114 * (c & 255); };
    std::sort(seen.begin(), seen.end(), [&](std::uint32_t a, std::uint32_t b) {
        return luma(a) != luma(b) ? luma(a) < luma(b) : a < b;
    });
    out.palette.assign(std::size_t(max), TRGB{});
    for (std::size_t i = 0; i < seen.size(); ++i) {
        out.palette[i] = TRGB{std::uint8_t(seen[i]), std::uint8_t(seen[i] >> 8), std::uint8_t(seen[i] >> 16)};
        index[seen[i]] = std::uint8_t(i);
    }
    out.indexes.resize(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y) {
        const TRGB* row = reinterpret_cast<const TRGB*>(rgb.ScanLine(y));
        std::uint8_t* dst = out.indexes.data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x)
            dst[x] = index[keyOf(row[x])];
    }
    return true;
}

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
    std::unique_ptr<TIEBitmap> copy = detail::IEConvertedCopy(bitmap, ie24RGB);
    if (ExactColours(*copy, colors, out))
        return;
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
            TIndexedSource one;
            if (copy) {
                palette = {dark, light};
            } else if (std::unique_ptr<TIEBitmap> rgb = detail::IEConvertedCopy(*Bitmap, ie24RGB);
                       ExactColours(*rgb, 1, one)) {
                // One colour: both entries are it, so every bit reads back as the image.
                palette = {one.palette[0], one.palette[0]};
                copy = std::make_unique<TIEBitmap>();
                copy->Allocate(width, height, ie1g);
            } else {
                copy = detail::IEConvertedCopy(*Bitmap, ie1g);
            }
            rows = copy.get();
        }
    } else if (Bitmap->GetPixelFormat() != ie24RGB) {
        copy = detail::IEConvertedCopy(*Bitmap, ie24RGB);
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
        PutLE32(header + 16, rle ? (bits == 4 ? rtl::kBmpRle4 : rtl::kBmpRle8) : rtl::kBmpRgb);
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
