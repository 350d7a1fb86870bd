// PNG reader over libpng, and the I/O component's PNG steps.
#include "imaging/io/pngfilt.h"

#include "imaging/core/vodiradproc.h"
#include "imaging/io/detail/ieguardedcall.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/pngfiltw.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <png.h>

namespace imaging {

std::int64_t IEPngMaxImageBytes = std::int64_t(1) << 30;

namespace {

// Ancillary chunks larger than this are dropped unread; nothing the reader keeps comes near it.
constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;
constexpr png_uint_32 kMaxChunkCount = 1000;
// Chunks the reader has no use for: libpng then skips them instead of decompressing them.
constexpr png_byte kSkippedChunks[] = "iCCP\0iTXt\0sPLT\0tEXt\0zTXt\0eXIf\0hIST\0sCAL\0tIME\0";

// ---- the library's callbacks ---------------------------------------------------------------------
//
// Plain C in effect: they never let an exception out, and leave through png_error, which jumps back
// to the IEGuardedCall that made the library call.

struct TPngSource {
    rtl::TStream* stream;       // not owned
    TProgressRecord* progress;  // not owned
};

void ReadData(png_structp png, png_bytep data, std::size_t length)
{
    auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
    bool whole = true;
    try {
        while (length > 0 && whole) {
            const auto count = std::int32_t(std::min<std::size_t>(length, std::size_t(1) << 30));
            whole = source->stream->Read(data, count) == count;
            data += count;
            length -= std::size_t(count);
        }
    } catch (...) {
        whole = false;
    }
    // Never bytes that are not the file's: the rest of a short read would be stale.
    if (!whole)
        png_error(png, "file ends early");
}

void ReadError(png_structp png, png_const_charp)
{
    static_cast<TPngSource*>(png_get_error_ptr(png))->progress->Abort();
    png_longjmp(png, 1);
}

void ReadWarning(png_structp, png_const_charp) {}

// ---- the reading ----------------------------------------------------------------------------------

// How the rows come out of the library.
enum class TRowKind {
    Bilevel,  // 1 bit a pixel, straight into an ie1g row
    Index,    // native ie8p
    Grey,     // native ie8g
    Colour,   // B, G, R, or B, G, R, A through a row buffer
};

// The read structures and the guarded calls' arguments; the structures are destroyed on every path.
struct TPngReader {
    TPngSource source{};
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0, height = 0;
    int depth = 0, colorType = 0, interlace = 0;
    TRowKind kind = TRowKind::Colour;
    int passes = 1;
    std::size_t rowBytes = 0;
    int channels = 0;
    png_bytep row = nullptr;

    ~TPngReader()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
    bool Call(void (*step)(TPngReader&)) { return detail::IEGuardedCall(png_jmpbuf(png), step, *this); }
};

void ReadInfo(TPngReader& r)
{
    png_set_user_limits(r.png, 0x7FFFFFFF, 0x7FFFFFFF);  // the size is judged in bytes below
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
    png_set_chunk_cache_max(r.png, kMaxChunkCount);
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                int(sizeof kSkippedChunks / 5));
    png_read_info(r.png, r.info);
    png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.depth, &r.colorType, &r.interlace, nullptr, nullptr);
}

void SetTransforms(TPngReader& r)
{
    if (r.kind == TRowKind::Colour) {
        const bool grey = (r.colorType & PNG_COLOR_MASK_COLOR) == 0;
        // Palettes to colours, small grey depths to 8 bits, tRNS to an alpha channel.
        if (r.colorType == PNG_COLOR_TYPE_PALETTE || (grey && r.depth < 8) ||
            png_get_valid(r.png, r.info, PNG_INFO_tRNS))
            png_set_expand(r.png);
        if (r.depth == 16)
            png_set_strip_16(r.png);
        if (grey)
            png_set_gray_to_rgb(r.png);
        png_set_bgr(r.png);
    }
    r.passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    r.rowBytes = png_get_rowbytes(r.png, r.info);
    r.channels = png_get_channels(r.png, r.info);
}

void ReadRow(TPngReader& r) { png_read_row(r.png, r.row, nullptr); }

void ReadEnd(TPngReader& r) { png_read_end(r.png, nullptr); }

bool IsBlackAndWhite(const png_color* palette, int count, bool& whiteFirst)
{
    auto is = [](const png_color& c, png_byte v) { return c.red == v && c.green == v && c.blue == v; };
    if (count != 2)
        return false;
    whiteFirst = is(palette[0], 255) && is(palette[1], 0);
    return whiteFirst || (is(palette[0], 0) && is(palette[1], 255));
}

// A sample of the file's depth as 8 bits.
std::uint8_t To8Bits(unsigned value, int depth)
{
    if (depth == 16)
        return std::uint8_t(value >> 8);
    if (depth == 8)
        return std::uint8_t(value);
    return std::uint8_t(std::min(value, (1u << depth) - 1) * 255 / ((1u << depth) - 1));
}

// The bKGD colour in blue, green, red, or false when the file has none (or names no palette entry).
bool FileBackground(TPngReader& r, const png_color* palette, int paletteCount, TRGB& out)
{
    png_color_16p b = nullptr;
    if (!png_get_bKGD(r.png, r.info, &b) || !b)
        return false;
    if (r.colorType == PNG_COLOR_TYPE_PALETTE) {
        if (b->index >= paletteCount)
            return false;
        const png_color& c = palette[b->index];
        out = TRGB{c.blue, c.green, c.red};
    } else if ((r.colorType & PNG_COLOR_MASK_COLOR) == 0) {
        const std::uint8_t v = To8Bits(b->gray, r.depth);
        out = TRGB{v, v, v};
    } else {
        out = TRGB{To8Bits(b->blue, r.depth), To8Bits(b->green, r.depth), To8Bits(b->red, r.depth)};
    }
    return true;
}

// The same rounding as the library's own compositing: fg * a + bg * (255 - a), divided by 255.
std::uint8_t Composite(unsigned fg, unsigned alpha, unsigned bg)
{
    const unsigned t = fg * alpha + bg * (255 - alpha) + 128;
    return std::uint8_t((t + (t >> 8)) >> 8);
}

void Read(TPngReader& r, rtl::TStream& stream, TIEBitmap* bitmap, TIOParamsVals& params,
          TProgressRecord& progress, std::unique_ptr<TIEMask>& alphaMask, bool blendAlpha, bool paramsOnly)
{
    r.source = TPngSource{&stream, &progress};
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.source, ReadError, ReadWarning);
    if (!r.png) {
        progress.Abort();
        return;
    }
    r.info = png_create_info_struct(r.png);
    if (!r.info) {
        progress.Abort();
        return;
    }
    png_set_read_fn(r.png, &r.source, ReadData);
    if (!r.Call(ReadInfo))
        return;

    const bool isPalette = r.colorType == PNG_COLOR_TYPE_PALETTE;
    const bool isGrey = r.colorType == PNG_COLOR_TYPE_GRAY;
    png_colorp plte = nullptr;
    int plteCount = 0;
    if (!png_get_PLTE(r.png, r.info, &plte, &plteCount))
        plteCount = 0;
    png_bytep transAlpha = nullptr;
    int transCount = 0;
    png_color_16p transColour = nullptr;
    const bool hasTrns = png_get_tRNS(r.png, r.info, &transAlpha, &transCount, &transColour) != 0;

    params.Width = int(r.width);
    params.Height = int(r.height);
    params.BitsPerSample = r.depth;
    switch (r.colorType) {
    case PNG_COLOR_TYPE_RGB: params.SamplesPerPixel = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: params.SamplesPerPixel = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: params.SamplesPerPixel = 4; break;
    default: params.SamplesPerPixel = 1; break;
    }
    png_uint_32 xPerMetre = 0, yPerMetre = 0;
    int unit = 0;
    if (!png_get_pHYs(r.png, r.info, &xPerMetre, &yPerMetre, &unit) || unit != PNG_RESOLUTION_METER)
        xPerMetre = yPerMetre = 0;
    const int dpiX = int(std::lround(xPerMetre / 100.0 * 2.54));
    const int dpiY = int(std::lround(yPerMetre / 100.0 * 2.54));
    params.SetDpiX(dpiX ? dpiX : IEDefaultDpiX);
    params.SetDpiY(dpiY ? dpiY : IEDefaultDpiY);
    params.FreeColorMap();
    std::vector<TRGB> palette(256);  // a short PLTE reads black past its end
    for (int i = 0; i < plteCount; ++i)
        palette[std::size_t(i)] = TRGB{plte[i].blue, plte[i].green, plte[i].red};
    if (isPalette && plteCount > 0)
        params.SetColorMap(palette.data(), plteCount);
    params.PNGInterlaced = r.interlace != PNG_INTERLACE_NONE ? 1 : 0;
    TRGB background = params.PNGBackground;
    if (blendAlpha && FileBackground(r, plte, plteCount, background))
        params.PNGBackground = background;
    if (paramsOnly)
        return;
    // Before the library sizes its own row buffers for the image.
    const auto pixels = rtl::CheckedMul<std::uint64_t>(r.width, r.height);
    if (!pixels || *pixels > std::uint64_t(IEPngMaxImageBytes / 3)) {
        progress.Abort();
        return;
    }

    // Native rows cannot show a blend, so blended transparency takes the colour rows.
    const bool native = params.NativePixelFormat && r.depth == 8 && !(blendAlpha && hasTrns);
    bool whiteFirst = false;
    if (r.depth == 1 && !hasTrns && (isGrey || (isPalette && IsBlackAndWhite(plte, plteCount, whiteFirst))))
        r.kind = TRowKind::Bilevel;
    else if (native && isPalette)
        r.kind = TRowKind::Index;
    else if (native && isGrey)
        r.kind = TRowKind::Grey;
    else
        r.kind = TRowKind::Colour;
    if (!r.Call(SetTransforms))
        return;
    const int width = int(r.width);
    const int height = int(r.height);
    const TIEPixelFormat format = r.kind == TRowKind::Bilevel ? ie1g
                                  : r.kind == TRowKind::Index ? ie8p
                                  : r.kind == TRowKind::Grey  ? ie8g
                                                              : ie24RGB;
    const bool rgba = r.kind == TRowKind::Colour && r.channels == 4;
    const bool hasAlpha = rgba || (hasTrns && (r.kind == TRowKind::Index || r.kind == TRowKind::Grey));
    // With blending the alpha goes to a plane of its own, so interlace passes can still add to it.
    std::unique_ptr<TIEMask> blendPlane;
    TIEMask* alpha = nullptr;
    try {
        bitmap->Allocate(width, height, format);
        if (!blendAlpha) {
            if (!alphaMask)
                alphaMask = std::make_unique<TIEMask>();
            alphaMask->AllocateBits(width, height, 8);
            alphaMask->Fill(255);
            alpha = alphaMask.get();
        } else if (hasAlpha) {
            blendPlane = std::make_unique<TIEMask>();
            blendPlane->AllocateBits(width, height, 8);
            alpha = blendPlane.get();
        }
    } catch (const rtl::EOutOfMemory&) {
        progress.Abort();
        return;
    }
    const std::size_t rowCapacity = rgba ? std::size_t(width) * 4 : std::size_t(bitmap->GetRowLen());
    if (r.rowBytes > rowCapacity || (r.kind == TRowKind::Colour && r.channels != 3 && !rgba)) {
        progress.Abort();
        return;
    }
    if (r.kind == TRowKind::Index)
        for (int i = 0; i < 256; ++i)
            bitmap->SetPaletteColor(i, palette[std::size_t(i)]);

    std::vector<std::uint8_t> buffer(rgba ? rowCapacity : 0);
    progress.per = 100.0 / (double(r.passes) * height);
    progress.val = 0;
    bool failed = false;
    for (int pass = 0; pass < r.passes && !failed && !progress.Aborted(); ++pass) {
        for (int y = 0; y < height && !failed && !progress.Aborted(); ++y) {
            std::uint8_t* pixelsRow = bitmap->ScanLine(y);
            if (rgba && r.passes > 1) {
                // A pass writes only its own pixels: the buffer must hold what earlier passes left.
                const std::uint8_t* a = alpha->ScanLine(y);
                for (int x = 0; x < width; ++x) {
                    std::memcpy(&buffer[std::size_t(x) * 4], pixelsRow + 3 * x, 3);
                    buffer[std::size_t(x) * 4 + 3] = a[x];
                }
            }
            r.row = rgba ? buffer.data() : pixelsRow;
            // After an error the library's state is gone: no further call may reach it.
            failed = !r.Call(ReadRow);
            if (failed)
                break;
            if (rgba) {
                std::uint8_t* a = alpha->ScanLine(y);
                for (int x = 0; x < width; ++x) {
                    std::memcpy(pixelsRow + 3 * x, &buffer[std::size_t(x) * 4], 3);
                    a[x] = buffer[std::size_t(x) * 4 + 3];
                }
            }
            ++progress.val;
            progress.Report(int(progress.per * progress.val));
        }
    }
    if (failed || progress.Aborted() || !r.Call(ReadEnd))
        return;

    if (whiteFirst)
        for (int y = 0; y < height; ++y) {
            std::uint8_t* p = bitmap->ScanLine(y);
            for (int i = 0; i < bitmap->GetRowLen(); ++i)
                p[i] = std::uint8_t(~p[i]);
        }
    if (hasAlpha && !rgba && alpha) {
        // Native rows keep their indexes or levels; tRNS gives their alpha.
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* p = bitmap->ScanLine(y);
            std::uint8_t* a = alpha->ScanLine(y);
            for (int x = 0; x < width; ++x)
                a[x] = r.kind == TRowKind::Index ? (p[x] < transCount ? transAlpha[p[x]] : 255)
                                                 : (transColour && p[x] == transColour->gray ? 0 : 255);
        }
    }
    if (blendAlpha && hasAlpha) {
        for (int y = 0; y < height; ++y) {
            std::uint8_t* p = bitmap->ScanLine(y);
            const std::uint8_t* a = alpha->ScanLine(y);
            for (int x = 0; x < width; ++x, p += 3) {
                p[0] = Composite(p[0], a[x], background.b);
                p[1] = Composite(p[1], a[x], background.g);
                p[2] = Composite(p[2], a[x], background.r);
            }
        }
    }
    if (hasAlpha && !blendAlpha)
        alphaMask->Full = false;
}

}  // namespace

void ReadPNGStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TProgressRecord& Progress,
                   std::unique_ptr<TIEMask>& AlphaMask, bool BlendAlpha, bool ParamsOnly)
{
    if (!Bitmap && !ParamsOnly) {
        Progress.Abort();
        return;
    }
    TPngReader reader;
    Read(reader, Stream, Bitmap, Params, Progress, AlphaMask, BlendAlpha, ParamsOnly);
}

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

void LoadPng(TIELoadJob& Job)
{
    TColorToRGB(Job.Background, Job.Params.PNGBackground);
    std::unique_ptr<TIEMask> mask;
    ReadPNGStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, mask, false, Job.ParamsOnly);
    Job.Background = SwapRedBlue(Job.Params.PNGBackground);
    // An opaque file brings no alpha channel.
    if (mask && !mask->Full && !Job.Progress.Aborted()) {
        Job.Alpha = TIEBitmap::CreateAlpha(mask->Width(), mask->Height(), ieMemory);
        Job.Alpha->CopyFromTIEMask(mask.get());
    }
}

void SavePng(TIESaveJob& Job)
{
    std::unique_ptr<TIEMask> mask;
    if (Job.Alpha) {
        mask = std::make_unique<TIEMask>();
        Job.Alpha->CopyToTIEMask(mask.get());
    }
    WritePNGStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress, mask.get());
}

}  // namespace

extern const TIEFormatSteps kPNGSteps = {
    .FileType = ioPNG,
    .Load = LoadPng,
    .Save = SavePng,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
    .SavesAnyPixelFormat = true,
};

}  // namespace imaging
