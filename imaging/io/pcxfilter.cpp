// PaintBrush reader and writer.
#include "imaging/io/pcxfilter.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/iereadbuffer.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/Endian.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

namespace {

using detail::TIEReadBuffer;

constexpr int kHeaderSize = 128;
constexpr int kManufacturer = 10;
constexpr int kPaletteBytes = 768;
// Written before the 256-colour palette.
constexpr int kPaletteMarker = 12;
// A count byte has both top bits set; its low six bits are the count.
constexpr int kRunFlag = 0xC0;
constexpr int kMaxRun = 63;
// Xmax, Ymax and the bytes per line are 16-bit.
constexpr int kMaxSide = 65536;
constexpr int kMaxBytesPerLine = 65535;

struct TPcxHeader {
    int version = 0;
    int encoding = 0;
    int bits = 0;  // per pixel and plane
    int planes = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    int bytesPerLine = 0;
    int dpiX = 0;
    int dpiY = 0;
    std::array<TRGB, 16> palette{};

    // Pixels whose bits index the header's palette: packed in one plane or one bit a plane.
    bool Indexed() const { return bits < 8; }
    int IndexBits() const { return bits * planes; }
};

// False for a header the reader does not take.
bool ParseHeader(const std::uint8_t* h, TPcxHeader& r)
{
    r.version = h[1];
    r.encoding = h[2];
    r.bits = h[3];
    const int xMin = rtl::LoadLE16(h + 4);
    const int yMin = rtl::LoadLE16(h + 6);
    const int xMax = rtl::LoadLE16(h + 8);
    const int yMax = rtl::LoadLE16(h + 10);
    r.dpiX = rtl::LoadLE16(h + 12);
    r.dpiY = rtl::LoadLE16(h + 14);
    for (int i = 0; i < 16; ++i)
        r.palette[std::size_t(i)] = TRGB{h[16 + 3 * i + 2], h[16 + 3 * i + 1], h[16 + 3 * i]};
    r.planes = h[65];
    r.bytesPerLine = rtl::LoadLE16(h + 66);
    if (h[0] != kManufacturer || r.encoding > 1 || xMax < xMin || yMax < yMin)
        return false;
    r.width = std::int64_t(xMax) - xMin + 1;
    r.height = std::int64_t(yMax) - yMin + 1;
    const bool layout = r.planes == 1 ? (r.bits == 1 || r.bits == 2 || r.bits == 4 || r.bits == 8)
                        : r.bits == 1 ? r.planes >= 2 && r.planes <= 4
                                      : r.bits == 8 && (r.planes == 3 || r.planes == 4);
    return layout && r.bytesPerLine >= (r.width * r.bits + 7) / 8;
}

// Plane lines, whose runs may carry from the end of one line into the next.
class TPcxLines {
public:
    TPcxLines(TIEReadBuffer& in, bool rle) : in_(in), rle_(rle) {}

    // Returns the bytes filled: fewer than Count when the data ends first.
    int Line(std::uint8_t* out, int count)
    {
        if (!rle_) {
            const int got = int(std::min<std::int64_t>(count, in_.Remaining()));
            return in_.Read(out, got) ? got : 0;
        }
        int filled = 0;
        while (filled < count) {
            if (left_ > 0) {
                const int n = std::min(left_, count - filled);
                std::memset(out + filled, value_, std::size_t(n));
                filled += n;
                left_ -= n;
                continue;
            }
            // Codes are taken straight from the buffered bytes; a count whose byte lies past them
            // goes through the slow path below.
            const std::uint8_t* data = nullptr;
            const std::size_t buffered = in_.Peek(data);
            if (buffered == 0)
                return filled;
            std::size_t i = 0;
            while (i < buffered && filled < count) {
                const std::uint8_t b = data[i];
                if (b < kRunFlag) {
                    out[filled++] = b;
                    ++i;
                    continue;
                }
                if (i + 1 == buffered)
                    break;
                const int run = b & kMaxRun;
                const int n = std::min(run, count - filled);
                for (int k = 0; k < n; ++k)
                    out[filled + k] = data[i + 1];
                filled += n;
                left_ = run - n;
                value_ = data[i + 1];
                i += 2;
            }
            in_.Consume(i);
            if (filled == count || i > 0)
                continue;
            const int b = in_.Get();
            const int v = in_.Get();
            if (v < 0)
                return filled;
            left_ = b & kMaxRun;
            value_ = std::uint8_t(v);
        }
        return filled;
    }

private:
    TIEReadBuffer& in_;
    bool rle_;
    int left_ = 0;
    std::uint8_t value_ = 0;
};

// The colours of 2 to 16-colour images whose header palette is all black: the palette of the
// displays the format was made for (blue, green, red).
constexpr std::array<TRGB, 16> kStandardPalette = {{
    {0, 0, 0},
    {170, 0, 0},
    {0, 170, 0},
    {170, 170, 0},
    {0, 0, 170},
    {170, 0, 170},
    {0, 85, 170},
    {170, 170, 170},
    {85, 85, 85},
    {255, 85, 85},
    {85, 255, 85},
    {255, 255, 85},
    {85, 85, 255},
    {255, 85, 255},
    {85, 255, 255},
    {255, 255, 255},
}};

bool IsBlack(TRGB c) { return c == TRGB{}; }
bool IsWhite(TRGB c) { return c == TRGB{255, 255, 255}; }

// How a one-plane 1-bit image reaches an ie1g bitmap: its bits as they are, inverted, or not at all
// (other colours). A palette without information (both entries alike) means black and white.
enum class TMono { Direct, Inverted, Colors };

TMono MonoMode(const TPcxHeader& h)
{
    const TRGB a = h.palette[0], b = h.palette[1];
    if (a == b || (IsBlack(a) && IsWhite(b)))
        return TMono::Direct;
    if (IsWhite(a) && IsBlack(b))
        return TMono::Inverted;
    return TMono::Colors;
}

void DecodeRow(const TPcxHeader& h, const std::uint8_t* line, const std::array<TRGB, 256>& palette256,
               TMono mono, std::uint8_t* out)
{
    const int width = int(h.width);
    const int bpl = h.bytesPerLine;
    TRGB* px = reinterpret_cast<TRGB*>(out);
    if (h.planes == 1 && h.bits == 1 && mono != TMono::Colors) {
        const int bytes = (width + 7) / 8;
        for (int i = 0; i < bytes; ++i)
            out[i] = mono == TMono::Inverted ? std::uint8_t(~line[i]) : line[i];
    } else if (h.planes == 1 && h.bits == 8) {
        for (int x = 0; x < width; ++x)
            px[x] = palette256[line[x]];
    } else if (h.planes == 1) {
        const int mask = (1 << h.bits) - 1;
        for (int x = 0; x < width; ++x) {
            const int bit = x * h.bits;
            px[x] = h.palette[std::size_t(line[bit >> 3] >> (8 - h.bits - (bit & 7)) & mask)];
        }
    } else if (h.bits == 1) {
        for (int x = 0; x < width; ++x) {
            int index = 0;
            for (int p = 0; p < h.planes; ++p)
                index |= (line[p * bpl + (x >> 3)] >> (7 - (x & 7)) & 1) << p;
            px[x] = h.palette[std::size_t(index)];
        }
    } else {
        const std::uint8_t* r = line;
        const std::uint8_t* g = line + bpl;
        const std::uint8_t* b = line + 2 * bpl;
        for (int x = 0; x < width; ++x)
            px[x] = TRGB{b[x], g[x], r[x]};
    }
}

}  // namespace

void ReadPCXStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, std::int64_t Size,
                   TProgressRecord& Progress, bool ParamsOnly)
{
    try {
        const std::int64_t start = Stream.Position();
        const std::int64_t available = std::max<std::int64_t>(Stream.Size() - start, 0);
        Size = Size > 0 ? std::min(Size, available) : available;
        std::uint8_t raw[kHeaderSize];
        TPcxHeader h;
        if (Size < kHeaderSize || Stream.Read(raw, kHeaderSize) != kHeaderSize || !ParseHeader(raw, h)) {
            Progress.Abort();
            return;
        }
        if (h.dpiX > 0 && h.dpiY > 0) {
            Params.SetDpiX(h.dpiX);
            Params.SetDpiY(h.dpiY);
        } else {
            Params.SetDpiX(IEDefaultDpiX);
            Params.SetDpiY(IEDefaultDpiY);
        }

        // The 256-colour palette ends the data; a file too short to hold one reads as grey.
        std::array<TRGB, 256> palette256;
        std::int64_t dataEnd = start + Size;
        const bool palette8 = h.planes == 1 && h.bits == 8;
        if (palette8 && Size >= kHeaderSize + kPaletteBytes) {
            std::uint8_t p[kPaletteBytes];
            Stream.Seek(start + Size - kPaletteBytes, rtl::soBeginning);
            if (Stream.Read(p, kPaletteBytes) != kPaletteBytes) {
                Progress.Abort();
                return;
            }
            for (int i = 0; i < 256; ++i)
                palette256[std::size_t(i)] = TRGB{p[3 * i + 2], p[3 * i + 1], p[3 * i]};
            dataEnd -= kPaletteBytes;
            Stream.Seek(start + kHeaderSize, rtl::soBeginning);
        } else {
            for (int i = 0; i < 256; ++i)
                palette256[std::size_t(i)] = TRGB{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)};
        }

        Params.Width = int(h.width);
        Params.Height = int(h.height);
        Params.PCXVersion = h.version;
        Params.BitsPerSample = h.bits;
        Params.SamplesPerPixel = h.planes;
        if (h.Indexed() && h.IndexBits() > 1 &&
            std::all_of(h.palette.begin(), h.palette.end(), [](TRGB c) { return IsBlack(c); }))
            h.palette = kStandardPalette;
        if (palette8) {
            Params.SetColorMap(palette256.data(), 256);
        } else if (h.Indexed()) {
            // Bit planes make one index: the image counts as one sample of that many bits.
            Params.SetColorMap(h.palette.data(), 1 << h.IndexBits());
            if (h.planes > 1) {
                Params.BitsPerSample = h.IndexBits();
                Params.SamplesPerPixel = 1;
            }
        } else {
            Params.FreeColorMap();
        }
        if (ParamsOnly || !Bitmap)
            return;

        const TMono mono = h.planes == 1 && h.bits == 1 ? MonoMode(h) : TMono::Colors;
        const TIEPixelFormat format = mono == TMono::Colors ? ie24RGB : ie1g;
        TIEReadBuffer in(Stream, dataEnd);
        const std::int64_t lineBytes = std::int64_t(h.planes) * h.bytesPerLine;
        const std::int64_t dataBytes = lineBytes * h.height;
        const bool fits = h.encoding ? detail::IEDataCanHold(in.Remaining(), dataBytes, kMaxRun, 2)
                                     : detail::IEDataCanHold(in.Remaining(), dataBytes, 1, 1);
        if (!fits || !detail::IEImageFitsLimit(h.width, h.height, format)) {
            Progress.Abort();
            return;
        }
        Bitmap->Allocate(int(h.width), int(h.height), format);
        Progress.per = 100.0 / double(h.height);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
        TPcxLines lines(in, h.encoding == 1);
        for (int y = 0; y < h.height; ++y) {
            Progress.Report(int(Progress.per * y));
            if (Progress.Aborted())
                return;
            // What came of a row the data cuts short is kept; the rest of it is zero.
            bool whole = true;
            for (int p = 0; p < h.planes && whole; ++p) {
                std::uint8_t* plane = line.data() + std::size_t(p) * h.bytesPerLine;
                const int got = lines.Line(plane, h.bytesPerLine);
                whole = got == h.bytesPerLine;
                if (!whole)
                    std::fill(plane + got, line.data() + line.size(), 0);
            }
            DecodeRow(h, line.data(), palette256, mono, Bitmap->ScanLine(y));
            if (!whole) {
                Progress.Abort();
                return;
            }
        }
    } catch (const rtl::Exception&) {
        Progress.Abort();
    }
}

// ---- writing -----------------------------------------------------------------------------------

int EncodePCXLine(std::uint8_t* Output, const std::uint8_t* Source, int Count, int Stride, int Offset)
{
    auto at = [&](int i) { return Source[std::size_t(i) * Stride + Offset]; };
    int o = 0;
    for (int i = 0; i < Count;) {
        const std::uint8_t b = at(i);
        int n = 1;
        while (i + n < Count && n < kMaxRun && at(i + n) == b)
            ++n;
        if (n > 1 || b >= kRunFlag)
            Output[o++] = std::uint8_t(kRunFlag | n);
        Output[o++] = b;
        i += n;
    }
    if (Count & 1)
        Output[o++] = 0;
    return o;
}

void WritePCXStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1 ||
        Bitmap->GetWidth() > kMaxSide || Bitmap->GetHeight() > kMaxSide) {
        Progress.Abort();
        return;
    }
    const int width = Bitmap->GetWidth();
    const int height = Bitmap->GetHeight();
    const int asked = Params.BitsPerSample == 1 ? 1 : Params.BitsPerSample * Params.SamplesPerPixel;
    const int depth = asked <= 1 ? 1 : asked <= 4 ? 4 : asked <= 8 ? 8 : 24;
    const int dataBytes = depth == 1 ? (width + 7) / 8 : depth == 4 ? (width + 1) / 2 : width;
    const int bytesPerLine = dataBytes + (dataBytes & 1);
    // Bytes per line is a 16-bit field: 8 and 24 bits stop at a width of 65534.
    if (bytesPerLine > kMaxBytesPerLine) {
        Progress.Abort();
        return;
    }

    // The rows' source and the colours.
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* rows = Bitmap;
    std::vector<TRGB> palette;
    const TIEPixelFormat wanted = depth == 1 ? ie1g : ie24RGB;
    if (depth == 1)
        palette = {TRGB{}, TRGB{255, 255, 255}};
    if (Bitmap->GetPixelFormat() != wanted) {
        copy = depth == 1 ? detail::IEBilevelCopy(*Bitmap, palette[0], palette[1])
                          : detail::IEConvertedCopy(*Bitmap, wanted);
        rows = copy.get();
    }
    std::unique_ptr<TIEQuantizer> quantizer;
    if (depth == 4 || depth == 8) {
        palette.assign(std::size_t(1) << depth, TRGB{});
        quantizer = std::make_unique<TIEQuantizer>(rows, palette, int(palette.size()), int(palette.size()));
    }
    const int planes = depth == 24 ? 3 : 1;
    const bool rle = Params.PCXCompression != 0;

    std::uint8_t header[kHeaderSize] = {};
    header[0] = kManufacturer;
    header[1] = std::uint8_t(Params.PCXVersion);
    header[2] = rle ? 1 : 0;
    header[3] = std::uint8_t(depth == 24 ? 8 : depth);
    rtl::StoreLE16(header + 8, std::uint16_t(width - 1));
    rtl::StoreLE16(header + 10, std::uint16_t(height - 1));
    rtl::StoreLE16(header + 12, std::uint16_t(std::clamp(Params.DpiX, 0, 65535)));
    rtl::StoreLE16(header + 14, std::uint16_t(std::clamp(Params.DpiY, 0, 65535)));
    if (depth <= 4)
        for (std::size_t i = 0; i < palette.size(); ++i) {
            header[16 + 3 * i] = palette[i].r;
            header[16 + 3 * i + 1] = palette[i].g;
            header[16 + 3 * i + 2] = palette[i].b;
        }
    header[65] = std::uint8_t(planes);
    rtl::StoreLE16(header + 66, std::uint16_t(bytesPerLine));
    header[68] = depth == 24 ? 0 : 1;
    IEWrite(Stream, Progress, header, kHeaderSize);

    Progress.per = 100.0 / height;
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(bytesPerLine));
    std::vector<std::uint8_t> coded(std::size_t(bytesPerLine) * 2 + 1);
    for (int y = 0; y < height; ++y) {
        Progress.Report(int(Progress.per * y));
        if (Progress.Aborted())
            return;
        const std::uint8_t* src = rows->ScanLine(y);
        const TRGB* px = reinterpret_cast<const TRGB*>(src);
        for (int p = 0; p < planes; ++p) {
            std::fill(plane.begin(), plane.end(), 0);
            switch (depth) {
            case 1:
                std::copy_n(src, dataBytes, plane.begin());
                if (width % 8)
                    plane[std::size_t(dataBytes - 1)] &= std::uint8_t(0xFF << (8 - width % 8));
                break;
            case 4:
                for (int x = 0; x < width; ++x)
                    plane[std::size_t(x / 2)] |=
                        std::uint8_t(quantizer->ColorIndex(px[x]) << ((x & 1) ? 0 : 4));
                break;
            case 8:
                for (int x = 0; x < width; ++x)
                    plane[std::size_t(x)] = std::uint8_t(quantizer->ColorIndex(px[x]));
                break;
            default:
                // Red, green, blue planes; the row holds blue, green, red.
                for (int x = 0; x < width; ++x)
                    plane[std::size_t(x)] = src[3 * std::size_t(x) + 2 - std::size_t(p)];
                break;
            }
            if (rle) {
                const int n = EncodePCXLine(coded.data(), plane.data(), bytesPerLine, 1, 0);
                IEWrite(Stream, Progress, coded.data(), n);
            } else {
                IEWrite(Stream, Progress, plane.data(), bytesPerLine);
            }
        }
    }
    if (depth == 8) {
        std::uint8_t tail[1 + kPaletteBytes] = {kPaletteMarker};
        for (std::size_t i = 0; i < 256; ++i) {
            tail[1 + 3 * i] = palette[i].r;
            tail[2 + 3 * i] = palette[i].g;
            tail[3 + 3 * i] = palette[i].b;
        }
        IEWrite(Stream, Progress, tail, sizeof tail);
    }
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadPcx(TIELoadJob& Job)
{
    ReadPCXStream(Job.Stream, &Job.Bitmap, Job.Params, Job.BlockSize, Job.Progress, Job.ParamsOnly);
}

void SavePcx(TIESaveJob& Job) { WritePCXStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress); }

}  // namespace

extern const TIEFormatSteps kPCXSteps = {
    .FileType = ioPCX,
    .Load = LoadPcx,
    .Save = SavePcx,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
    .StreamHeader = "PCX2",
    .OldPcxHeader = true,
};

}  // namespace imaging
