// PNG writer over libpng.
#include "imaging/io/pngfiltw.h"

#include "imaging/core/neurquant.h"
#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/ieguardedcall.h"
#include "imaging/io/detail/iesavesource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include <png.h>

namespace imaging {

namespace {

// ---- the library's callbacks ---------------------------------------------------------------------

struct TPngSink {
    rtl::TStream* stream;       // not owned
    TProgressRecord* progress;  // not owned
};

void WriteData(png_structp png, png_bytep data, std::size_t length)
{
    auto* sink = static_cast<TPngSink*>(png_get_io_ptr(png));
    try {
        while (length > 0 && !sink->progress->Aborted()) {
            const auto count = std::int32_t(std::min<std::size_t>(length, std::size_t(1) << 30));
            IEWrite(*sink->stream, *sink->progress, data, count);
            data += count;
            length -= std::size_t(count);
        }
    } catch (...) {
        sink->progress->Abort();
    }
}

void Flush(png_structp) {}

void WriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void WriteWarning(png_structp, png_const_charp) {}

// ---- what goes into the file ------------------------------------------------------------------

enum class TRowKind {
    Bits,     // an ie1g row as it is: grey, or a palette of its two colours
    Indexes,  // palette indexes, packed to the depth
    Levels,   // grey levels, packed to the depth or two bytes big-endian
    Rgb,      // B, G, R as the bitmap holds them
    Rgba,     // B, G, R and the mask
};

// The write structures, the header and the guarded calls' arguments; the structures are destroyed
// on every path.
struct TPngWriter {
    TPngSink sink{};
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0, height = 0;
    int depth = 8, colorType = PNG_COLOR_TYPE_RGB, interlace = PNG_INTERLACE_NONE;
    std::vector<png_color> plte;
    std::vector<png_byte> trns;
    png_color_16 background{};
    png_uint_32 xPerMetre = 0, yPerMetre = 0;
    int filters = -1;  // -1: the library's choice
    int level = 6;
    int passes = 1;
    png_bytep row = nullptr;

    ~TPngWriter()
    {
        if (png)
            png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    bool Call(void (*step)(TPngWriter&)) { return detail::IEGuardedCall(png_jmpbuf(png), step, *this); }
};

void WriteHeader(TPngWriter& w)
{
    png_set_IHDR(w.png, w.info, w.width, w.height, w.depth, w.colorType, w.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!w.plte.empty())
        png_set_PLTE(w.png, w.info, w.plte.data(), int(w.plte.size()));
    if (!w.trns.empty())
        png_set_tRNS(w.png, w.info, w.trns.data(), int(w.trns.size()), nullptr);
    png_set_pHYs(w.png, w.info, w.xPerMetre, w.yPerMetre, PNG_RESOLUTION_METER);
    png_set_bKGD(w.png, w.info, &w.background);
    if (w.filters >= 0)
        png_set_filter(w.png, PNG_FILTER_TYPE_BASE, w.filters);
    png_set_compression_level(w.png, w.level);
    png_set_bgr(w.png);
    png_write_info(w.png, w.info);
    w.passes = png_set_interlace_handling(w.png);
}

void WriteRow(TPngWriter& w) { png_write_row(w.png, w.row); }

void WriteEnd(TPngWriter& w) { png_write_end(w.png, nullptr); }

[[noreturn]] void Fail() { throw rtl::EInvalidGraphic("Error on creating PNG"); }

// pHYs holds 31 bits; a resolution read from another file can ask for more.
png_uint_32 PixelsPerMetre(int dpi)
{
    return png_uint_32(std::clamp(std::round(dpi * (100 / 2.54)), 0.0, double(PNG_UINT_31_MAX)));
}

// ---- the source's rows -----------------------------------------------------------------------

bool IsOpaque(const TIEMask& mask)
{
    for (int y = 0; y < mask.Height(); ++y) {
        const std::uint8_t* p = mask.ScanLine(y);
        for (int x = 0; x < mask.Width(); ++x)
            if (mask.BitsPerPixel() == 1 ? !GetPixelBit(p, x) : p[x] != 255)
                return false;
    }
    return true;
}

int MaskValue(const TIEMask& mask, const std::uint8_t* row, int x)
{
    return mask.BitsPerPixel() == 1 ? (GetPixelBit(row, x) ? 255 : 0) : row[x];
}

// A palette depth the format has: 1, 2, 4 or 8.
int PaletteDepth(int bits) { return bits <= 1 ? 1 : bits <= 2 ? 2 : bits <= 4 ? 4 : 8; }

// Values of one byte each packed to `depth` bits, most significant first; 16 bits go big-endian.
void Pack(const std::vector<unsigned>& values, int depth, std::vector<std::uint8_t>& out)
{
    std::fill(out.begin(), out.end(), 0);
    if (depth == 16) {
        for (std::size_t x = 0; x < values.size(); ++x) {
            out[2 * x] = std::uint8_t(values[x] >> 8);
            out[2 * x + 1] = std::uint8_t(values[x]);
        }
        return;
    }
    const int perByte = 8 / depth;
    for (std::size_t x = 0; x < values.size(); ++x)
        out[x / perByte] |= std::uint8_t(values[x] << (8 - depth * (int(x % perByte) + 1)));
}

// Everything the row loop needs, chosen once.
struct TPlan {
    TRowKind kind = TRowKind::Rgb;
    TIEBitmap* source = nullptr;  // not owned: the caller's bitmap or `copy`
    std::unique_ptr<TIEBitmap> copy;
    std::optional<TIEQuantizer> quantizer;
    std::vector<TRGB> palette;   // for Indexes with a quantizer
    bool directIndexes = false;  // an ie8p source whose indexes fit the depth
    bool shifted = false;        // indexes + 1, entry 0 the transparent background
    bool greyPalette = false;    // an ie8p source with a grey palette, written as levels
    int depth = 8;
};

void PlanPalette(TPlan& plan, TIEBitmap& bitmap, int bits, TPngWriter& w)
{
    const int depth = PaletteDepth(bits);
    const int colours = 1 << depth;
    const TIEPixelFormat format = bitmap.GetPixelFormat();
    plan.source = &bitmap;
    if (format == ie8g || format == ie16g || format == ie32f) {
        if (format == ie32f) {
            plan.copy = detail::IEConvertedCopy(bitmap, ie8g);
            plan.source = plan.copy.get();
        }
        plan.kind = TRowKind::Levels;
        plan.depth = bits == 16 ? 16 : depth;
        return;
    }
    if (format == ie8p) {
        if (bitmap.IsGrayScale()) {
            plan.kind = TRowKind::Levels;
            plan.greyPalette = true;
            plan.depth = bits == 16 ? 16 : depth;
            return;
        }
        bool fits = true;
        for (int y = 0; y < bitmap.GetHeight() && fits; ++y) {
            const std::uint8_t* p = bitmap.ScanLine(y);
            fits = std::all_of(p, p + bitmap.GetWidth(), [&](std::uint8_t v) { return v < colours; });
        }
        if (fits) {
            plan.kind = TRowKind::Indexes;
            plan.directIndexes = true;
            plan.depth = depth;
            for (int i = 0; i < colours; ++i) {
                const TRGB c = bitmap.GetPaletteColor(i);
                w.plte.push_back(png_color{c.r, c.g, c.b});
            }
            return;
        }
    }
    if (format != ie24RGB) {
        plan.copy = detail::IEConvertedCopy(bitmap, ie24RGB);
        plan.source = plan.copy.get();
    }
    plan.palette.assign(std::size_t(colours), TRGB{});  // unused entries stay zero
    plan.quantizer.emplace(plan.source, plan.palette, colours, colours);
    if (plan.quantizer->GrayScale()) {
        plan.kind = TRowKind::Levels;
        plan.depth = bits == 16 ? 16 : depth;
        return;
    }
    plan.kind = TRowKind::Indexes;
    plan.depth = depth;
    for (const TRGB& c : plan.palette)
        w.plte.push_back(png_color{c.r, c.g, c.b});
}

// Palette with transparency: 8 bits, entry 0 the transparent background, the image's colours after it.
void PlanTransparentPalette(TPlan& plan, TIEBitmap& bitmap, int bits, TRGB background, TPngWriter& w)
{
    const int colours = std::min(1 << std::clamp(bits, 1, 8), 255);
    plan.copy = detail::IEConvertedCopy(bitmap, ie24RGB);
    plan.source = plan.copy.get();
    plan.palette.assign(std::size_t(colours), TRGB{});
    plan.quantizer.emplace(plan.source, plan.palette, colours, colours);
    plan.kind = TRowKind::Indexes;
    plan.shifted = true;
    plan.depth = 8;
    w.plte.push_back(png_color{background.r, background.g, background.b});
    for (const TRGB& c : plan.palette)
        w.plte.push_back(png_color{c.r, c.g, c.b});
    w.trns = {0};
}

// One row of the file, in `out` (or pointing straight at the source's row).
std::uint8_t* ProduceRow(TPlan& plan, const TIEMask* mask, int y, std::vector<unsigned>& values,
                         std::vector<std::uint8_t>& out)
{
    TIEBitmap& s = *plan.source;
    const int width = s.GetWidth();
    std::uint8_t* p = s.ScanLine(y);
    switch (plan.kind) {
    case TRowKind::Bits:
    case TRowKind::Rgb: return p;
    case TRowKind::Rgba: {
        const std::uint8_t* a = mask->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            std::memcpy(&out[std::size_t(x) * 4], p + 3 * x, 3);
            out[std::size_t(x) * 4 + 3] = std::uint8_t(MaskValue(*mask, a, x));
        }
        return out.data();
    }
    case TRowKind::Levels: {
        const TIEPixelFormat f = s.GetPixelFormat();
        for (int x = 0; x < width; ++x) {
            unsigned v16;
            if (f == ie16g)
                v16 = reinterpret_cast<const std::uint16_t*>(p)[x];
            else if (f == ie8g)
                v16 = p[x] * 257u;
            else if (plan.greyPalette)
                v16 = s.GetPaletteColor(p[x]).r * 257u;
            else
                v16 = p[3 * x + 2] * 257u;
            values[std::size_t(x)] = plan.depth == 16 ? v16 : (v16 >> 8) >> (8 - plan.depth);
        }
        break;
    }
    case TRowKind::Indexes: {
        const std::uint8_t* a = plan.shifted ? mask->ScanLine(y) : nullptr;
        for (int x = 0; x < width; ++x) {
            unsigned index;
            if (plan.directIndexes)
                index = p[x];
            else
                index = unsigned(plan.quantizer->ColorIndex(TRGB{p[3 * x], p[3 * x + 1], p[3 * x + 2]}));
            if (plan.shifted)
                index = MaskValue(*mask, a, x) == 255 ? index + 1 : 0;
            values[std::size_t(x)] = index;
        }
        break;
    }
    }
    Pack(values, plan.depth, out);
    return out.data();
}

void Write(TPngWriter& w, rtl::TStream& stream, TIEBitmap& bitmap, TIOParamsVals& params,
           TProgressRecord& progress, const TIEMask* alphaMask)
{
    const int width = bitmap.GetWidth();
    const int height = bitmap.GetHeight();
    // A mask of another size cannot say which pixels it covers.
    if (alphaMask && (alphaMask->Width() != width || alphaMask->Height() != height))
        alphaMask = nullptr;
    const bool transparent = alphaMask && !IsOpaque(*alphaMask);
    const TRGB background = params.PNGBackground;
    const int bits = params.BitsPerSample;

    TPlan plan;
    plan.source = &bitmap;
    if (params.SamplesPerPixel == 1 && transparent) {
        PlanTransparentPalette(plan, bitmap, bits, background, w);
        w.colorType = PNG_COLOR_TYPE_PALETTE;
    } else if (params.SamplesPerPixel == 1 && bits <= 1) {
        // Two colours keep their colours; anything else becomes black and white.
        if (bitmap.GetPixelFormat() == ie1g) {
            w.colorType = PNG_COLOR_TYPE_GRAY;
        } else {
            TRGB dark, light;
            plan.copy = detail::IEBilevelCopy(bitmap, dark, light);
            if (dark == TRGB{0, 0, 0} && light == TRGB{255, 255, 255}) {
                w.colorType = PNG_COLOR_TYPE_GRAY;
            } else {
                w.colorType = PNG_COLOR_TYPE_PALETTE;
                w.plte = {png_color{dark.r, dark.g, dark.b}, png_color{light.r, light.g, light.b}};
            }
            plan.source = plan.copy.get();
        }
        plan.kind = TRowKind::Bits;
        plan.depth = 1;
    } else if (params.SamplesPerPixel == 1) {
        PlanPalette(plan, bitmap, bits, w);
        w.colorType = plan.kind == TRowKind::Levels ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
    } else {
        if (bitmap.GetPixelFormat() != ie24RGB) {
            plan.copy = detail::IEConvertedCopy(bitmap, ie24RGB);
            plan.source = plan.copy.get();
        }
        plan.kind = transparent ? TRowKind::Rgba : TRowKind::Rgb;
        plan.depth = 8;
        w.colorType = transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    }
    w.depth = plan.depth;

    // bKGD at the file's depth: a palette entry, a grey level or an 8-bit colour.
    if (w.colorType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<TRGB> entries;
        for (const png_color& c : w.plte)
            entries.push_back(TRGB{c.blue, c.green, c.red});
        w.background.index =
            plan.shifted ? 0 : png_byte(NearestPaletteIndex(entries.data(), int(entries.size()), background));
    } else if (w.colorType == PNG_COLOR_TYPE_GRAY) {
        const unsigned grey = RGBToGray(background);
        w.background.gray = png_uint_16(w.depth == 16 ? grey * 257 : grey >> (8 - w.depth));
    } else {
        w.background.red = background.r;
        w.background.green = background.g;
        w.background.blue = background.b;
    }

    w.width = png_uint_32(width);
    w.height = png_uint_32(height);
    w.interlace = params.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE;
    w.xPerMetre = PixelsPerMetre(params.DpiX);
    w.yPerMetre = PixelsPerMetre(params.DpiY);
    switch (params.PNGFilter) {
    case 0: w.filters = PNG_FILTER_NONE; break;
    case 1: w.filters = PNG_FILTER_SUB; break;
    case 2: w.filters = PNG_FILTER_PAETH; break;
    default: w.filters = -1; break;
    }
    w.level = std::clamp(params.PNGCompression, -1, 9);

    w.sink = TPngSink{&stream, &progress};
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.sink, WriteError, WriteWarning);
    if (!w.png)
        Fail();
    w.info = png_create_info_struct(w.png);
    if (!w.info)
        Fail();
    png_set_write_fn(w.png, &w.sink, WriteData, Flush);
    if (!w.Call(WriteHeader))
        Fail();

    const std::size_t rowBytes = plan.kind == TRowKind::Rgba ? std::size_t(width) * 4
                                 : plan.depth == 16          ? std::size_t(width) * 2
                                                             : (std::size_t(width) * plan.depth + 7) / 8;
    std::vector<std::uint8_t> out(rowBytes);
    std::vector<unsigned> values(static_cast<std::size_t>(width));
    progress.per = 100.0 / (double(height) * w.passes);
    progress.val = 0;
    for (int pass = 0; pass < w.passes && !progress.Aborted(); ++pass)
        for (int y = 0; y < height && !progress.Aborted(); ++y) {
            w.row = ProduceRow(plan, alphaMask, y, values, out);
            if (!w.Call(WriteRow))
                Fail();
            ++progress.val;
            progress.Report(int(progress.per * progress.val));
        }
    if (progress.Aborted())
        return;
    if (!w.Call(WriteEnd))
        Fail();
}

}  // namespace

void WritePNGStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                    const TIEMask* AlphaMask)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    TPngWriter writer;
    Write(writer, Stream, *Bitmap, Params, Progress, AlphaMask);
}

}  // namespace imaging
