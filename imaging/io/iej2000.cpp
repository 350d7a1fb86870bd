// JPEG 2000 adaptor over OpenJPEG.
#include "imaging/io/iej2000.h"

#include "imaging/io/detail/ieprobes.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "platform/rtl/Endian.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include <openjpeg.h>

namespace imaging {

std::int64_t IEJ2000MaxMemory = std::int64_t(1) << 30;

namespace {

constexpr std::uint32_t kBoxJp2h = 0x6A703268;  // "jp2h"
constexpr std::uint32_t kBoxJp2c = 0x6A703263;  // "jp2c"
constexpr std::uint32_t kBoxPclr = 0x70636C72;  // "pclr"
constexpr std::uint16_t kMarkerSOC = 0xFF4F;
constexpr std::uint16_t kMarkerSIZ = 0xFF51;
constexpr std::uint32_t kMaxComponents = 16384;
// A file has a handful of boxes; a long chain of empty ones is damage.
constexpr int kMaxBoxes = 1024;
// What the library keeps per tile and per tile-component before it decodes anything.
constexpr std::int64_t kTileCost = 8192;
constexpr std::int64_t kTileComponentCost = 2048;
constexpr OPJ_SIZE_T kChunk = OPJ_SIZE_T(1) << 20;
// Far beyond any useful compression; keeps a tiny rate finite in the library's float.
constexpr double kMaxRatio = 1e6;
// A lossy image may exceed its share of the raw size by this factor before it is made again, at
// most this many times in all.
constexpr double kRateSlack = 1.02;
constexpr int kRateAttempts = 4;

// ---- the size header, checked before the library allocates ---------------------------------------

struct TSizeFacts {
    std::int64_t bytes = 0;   // estimated decoding memory
    int paletteChannels = 0;  // the components a JP2 palette makes of one
};

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

// The SOC and SIZ markers at the cursor. The channels of a JP2 palette (facts.paletteChannels)
// each take the size of the largest component.
bool CheckSizeMarker(detail::TProbeCursor& cur, TSizeFacts& facts)
{
    std::uint8_t head[42];
    if (!cur.Read(head, sizeof head) || rtl::LoadBE16(head) != kMarkerSOC ||
        rtl::LoadBE16(head + 2) != kMarkerSIZ)
        return false;
    const std::int64_t xsiz = rtl::LoadBE32(head + 8), ysiz = rtl::LoadBE32(head + 12);
    const std::int64_t xo = rtl::LoadBE32(head + 16), yo = rtl::LoadBE32(head + 20);
    const std::int64_t xt = rtl::LoadBE32(head + 24), yt = rtl::LoadBE32(head + 28);
    const std::int64_t xto = rtl::LoadBE32(head + 32), yto = rtl::LoadBE32(head + 36);
    const std::uint32_t comps = rtl::LoadBE16(head + 40);
    if (comps == 0 || comps > kMaxComponents || xo >= xsiz || yo >= ysiz || xt == 0 || yt == 0 || xto > xo ||
        yto > yo)
        return false;
    // Every term stays below 2^32, so only the products can overflow.
    const auto tiles = rtl::CheckedMul<std::int64_t>(CeilDiv(xsiz - xto, xt), CeilDiv(ysiz - yto, yt));
    const auto tileRecords =
        tiles ? rtl::CheckedMul<std::int64_t>(*tiles, kTileCost + kTileComponentCost * comps) : std::nullopt;
    if (!tileRecords || *tileRecords > IEJ2000MaxMemory)
        return false;
    std::int64_t samples = 0;
    std::int64_t largest = 0;
    for (std::uint32_t c = 0; c < comps; ++c) {
        std::uint8_t comp[3];
        if (!cur.Read(comp, 3) || comp[1] == 0 || comp[2] == 0)
            return false;
        const std::int64_t w = CeilDiv(xsiz, comp[1]) - CeilDiv(xo, comp[1]);
        const std::int64_t h = CeilDiv(ysiz, comp[2]) - CeilDiv(yo, comp[2]);
        const auto area = rtl::CheckedMul<std::int64_t>(w, h);
        if (!area || *area > IEJ2000MaxMemory)
            return false;
        largest = std::max(largest, *area);
        samples += *area;
        if (samples > IEJ2000MaxMemory)
            return false;
    }
    samples += largest * facts.paletteChannels;  // at most 2^30 * 256
    facts.bytes = samples * 4 * 2 + *tileRecords;
    return facts.bytes <= IEJ2000MaxMemory;
}

// One box header at the cursor: its type and the length of its content, which must lie within
// `room` (the rest of the file or of the enclosing box).
bool ReadBoxHeader(detail::TProbeCursor& cur, std::int64_t room, std::uint32_t& type, std::int64_t& content)
{
    std::uint8_t h[8];
    if (room < 8 || !cur.Read(h, 8))
        return false;
    std::uint64_t length = rtl::LoadBE32(h);
    type = rtl::LoadBE32(h + 4);
    std::int64_t header = 8;
    if (length == 1) {
        std::uint8_t xl[8];
        if (room < 16 || !cur.Read(xl, 8))
            return false;
        length = rtl::LoadBE64(xl);
        header = 16;
    } else if (length == 0) {
        length = std::uint64_t(room);  // to the end
    }
    if (length < std::uint64_t(header) || length > std::uint64_t(room))
        return false;
    content = std::int64_t(length) - header;
    return true;
}

// The palette's channel count from the sub-boxes of a header box.
bool ScanHeaderBox(detail::TProbeCursor& cur, std::int64_t size, int& paletteChannels)
{
    for (int n = 0; size > 0 && n < kMaxBoxes; ++n) {
        std::uint32_t type = 0;
        std::int64_t content = 0;
        const std::int64_t before = cur.Offset();
        if (!ReadBoxHeader(cur, size, type, content))
            return false;
        if (type == kBoxPclr) {
            std::uint8_t p[3];
            if (content < 3 || !cur.Read(p, 3))
                return false;
            paletteChannels = p[2];
            content -= 3;
        }
        if (!cur.Skip(content))
            return false;
        size -= cur.Offset() - before;
    }
    return size == 0;
}

// Walks a JP2 file's top-level boxes to its code stream and checks its size header.
bool CheckJP2(detail::TProbeCursor& cur, TSizeFacts& facts)
{
    for (int n = 0; n < kMaxBoxes; ++n) {
        std::uint32_t type = 0;
        std::int64_t content = 0;
        if (!ReadBoxHeader(cur, cur.Remaining(), type, content))
            return false;
        if (type == kBoxJp2c)
            return CheckSizeMarker(cur, facts);
        if (type == kBoxJp2h) {
            if (!ScanHeaderBox(cur, content, facts.paletteChannels))
                return false;
        } else if (!cur.Skip(content)) {
            return false;
        }
    }
    return false;
}

// ---- the library's stream over a TStream -----------------------------------------------------------

// Positions the library asks for count from where the image starts in the TStream.
struct TStreamGlue {
    rtl::TStream* stream;  // not owned
    std::int64_t start = 0;
    std::int64_t end = 0;  // the furthest byte written, relative to start
    TProgressRecord* progress;
};

OPJ_SIZE_T GlueRead(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto& g = *static_cast<TStreamGlue*>(user);
    try {
        const std::int32_t n = g.stream->Read(buffer, std::int32_t(std::min<OPJ_SIZE_T>(count, INT_MAX)));
        return n > 0 ? OPJ_SIZE_T(n) : OPJ_SIZE_T(-1);
    } catch (...) {
        return OPJ_SIZE_T(-1);
    }
}

OPJ_SIZE_T GlueWrite(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto& g = *static_cast<TStreamGlue*>(user);
    try {
        if (count > OPJ_SIZE_T(INT_MAX) || g.progress->Aborted())
            return OPJ_SIZE_T(-1);
        const std::int32_t n = g.stream->Write(buffer, std::int32_t(count));
        if (n != std::int32_t(count)) {
            g.progress->Abort();
            return OPJ_SIZE_T(-1);
        }
        g.end = std::max(g.end, g.stream->Position() - g.start);
        return count;
    } catch (...) {
        g.progress->Abort();
        return OPJ_SIZE_T(-1);
    }
}

OPJ_BOOL GlueSeek(OPJ_OFF_T offset, void* user)
{
    auto& g = *static_cast<TStreamGlue*>(user);
    try {
        return offset >= 0 && g.stream->Seek(g.start + offset, rtl::soBeginning) == g.start + offset;
    } catch (...) {
        return OPJ_FALSE;
    }
}

OPJ_OFF_T GlueSkip(OPJ_OFF_T count, void* user)
{
    auto& g = *static_cast<TStreamGlue*>(user);
    try {
        const std::int64_t here = g.stream->Position();
        if (here + count < g.start || g.stream->Seek(here + count, rtl::soBeginning) != here + count)
            return -1;
        return count;
    } catch (...) {
        return -1;
    }
}

struct TCodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct TStreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct TImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using TCodec = std::unique_ptr<opj_codec_t, TCodecDeleter>;
using TOpjStream = std::unique_ptr<opj_stream_t, TStreamDeleter>;
using TImage = std::unique_ptr<opj_image_t, TImageDeleter>;

TOpjStream MakeStream(TStreamGlue& glue, bool input, std::int64_t length)
{
    TOpjStream s(opj_stream_create(kChunk, input ? OPJ_TRUE : OPJ_FALSE));
    if (!s)
        return s;
    opj_stream_set_user_data(s.get(), &glue, nullptr);
    if (input) {
        opj_stream_set_read_function(s.get(), GlueRead);
        opj_stream_set_user_data_length(s.get(), OPJ_UINT64(length));
    } else {
        opj_stream_set_write_function(s.get(), GlueWrite);
    }
    opj_stream_set_skip_function(s.get(), GlueSkip);
    opj_stream_set_seek_function(s.get(), GlueSeek);
    return s;
}

void Quiet(const char*, void*) {}

void Silence(opj_codec_t* codec)
{
    opj_set_info_handler(codec, Quiet, nullptr);
    opj_set_warning_handler(codec, Quiet, nullptr);
    opj_set_error_handler(codec, Quiet, nullptr);
}

// ---- samples -------------------------------------------------------------------------------------

// Chroma to RGB offsets, indexed by the 8-bit chroma value.
struct TYCbCrTables {
    std::array<int, 256> crR, cbB, crG, cbG;
    TYCbCrTables()
    {
        // The factors in single precision, as the tables have always been built.
        const float kr = 2.0f - 2.0f * 0.299f;
        const float kb = 2.0f - 2.0f * 0.114f;
        for (int v = 0; v < 256; ++v) {
            const double i = v - 128;
            crR[v] = int(rtl::Round(i * kr));
            cbB[v] = int(rtl::Round(i * kb));
            crG[v] = -int(rtl::Round(i * 0.299 * kr / 0.587));
            cbG[v] = -int(rtl::Round(i * 0.114 * kb / 0.587));
        }
    }
};

const TYCbCrTables& YCbCr()
{
    static const TYCbCrTables tables;
    return tables;
}

std::uint8_t Clamp255(int v) { return std::uint8_t(std::clamp(v, 0, 255)); }

// One component as the converter reads it: each image column and row mapped to a sample.
struct TPlane {
    const OPJ_INT32* data = nullptr;
    int width = 0;
    std::vector<int> columns;  // per image column
    std::vector<int> rows;     // per image row
    int precision = 8;
    std::int64_t offset = 0;  // added to signed samples
    std::int64_t maxValue = 255;

    TPlane(const opj_image_t& image, const opj_image_comp_t& comp, int imageW, int imageH)
        : data(comp.data), width(int(comp.w))
    {
        // Each position takes the sample whose grid cell holds it, clamped to the component, so
        // odd offsets leave no empty edge.
        auto map = [](std::vector<int>& out, int count, std::uint32_t origin, std::uint32_t step,
                      std::uint32_t compOrigin, std::uint32_t compSize) {
            out.resize(std::size_t(count));
            for (int i = 0; i < count; ++i) {
                const std::int64_t at = (std::int64_t(origin) + i) / step - compOrigin;
                out[std::size_t(i)] = int(std::clamp<std::int64_t>(at, 0, std::int64_t(compSize) - 1));
            }
        };
        map(columns, imageW, image.x0, comp.dx, comp.x0, comp.w);
        map(rows, imageH, image.y0, comp.dy, comp.y0, comp.h);
        precision = int(std::clamp<OPJ_UINT32>(comp.prec, 1, 31));
        maxValue = (std::int64_t(1) << precision) - 1;
        offset = comp.sgnd ? std::int64_t(1) << (precision - 1) : 0;
    }

    std::int64_t Raw(const OPJ_INT32* row, int x) const
    {
        return std::clamp<std::int64_t>(row[columns[std::size_t(x)]] + offset, 0, maxValue);
    }
    // The sample reduced to 8 bits: its top 8 bits, or scaled up when it has fewer.
    std::uint8_t At(const OPJ_INT32* row, int x) const
    {
        const std::int64_t v = Raw(row, x);
        if (precision >= 8)
            return std::uint8_t(v >> (precision - 8));
        return std::uint8_t((v * 255 + maxValue / 2) / maxValue);
    }
    const OPJ_INT32* Row(int y) const
    {
        return data + std::size_t(rows[std::size_t(y)]) * std::size_t(width);
    }
};

enum class TFamily { Grey, RGB, YCbCr, Other };

// What the bitmap becomes. Before decoding, a JP2 palette has not yet turned its one component
// into its channels, so the caller passes the count the image will have.
struct TLayout {
    TFamily family = TFamily::Other;
    int samples = 0;
    int precision = 8;
    bool bilevel = false;
};

TLayout LayoutOf(const opj_image_t& image, std::uint32_t components)
{
    const bool colour = components >= 3;
    TLayout l;
    switch (image.color_space) {
    case OPJ_CLRSPC_GRAY: l.family = TFamily::Grey; break;
    case OPJ_CLRSPC_SRGB: l.family = colour ? TFamily::RGB : TFamily::Grey; break;
    case OPJ_CLRSPC_SYCC: l.family = colour ? TFamily::YCbCr : TFamily::Grey; break;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED: l.family = colour ? TFamily::RGB : TFamily::Grey; break;
    default: return l;  // CMYK, e-YCC
    }
    l.samples = l.family == TFamily::Grey ? 1 : 3;
    l.precision = int(std::clamp<OPJ_UINT32>(image.comps[0].prec, 1, 31));
    l.bilevel = l.samples == 1 && l.precision == 1;
    return l;
}

void Describe(const opj_image_t& image, const TLayout& l, TIOParamsVals& Params)
{
    Params.FreeColorMap();
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.Width = int(image.x1 - image.x0);
    Params.Height = int(image.y1 - image.y0);
    Params.BitsPerSample = l.precision;
    Params.SamplesPerPixel = l.samples;
    Params.J2000ColorSpace = l.family == TFamily::Grey ? 0 : l.family == TFamily::RGB ? 1 : 2;
}

void ConvertRow(const std::vector<TPlane>& planes, const TLayout& l, int y, int w, std::uint8_t* row)
{
    const OPJ_INT32* a = planes[0].Row(y);
    if (l.bilevel) {
        for (int x = 0; x < w; ++x)
            if (planes[0].Raw(a, x))
                row[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        return;
    }
    if (l.samples == 1) {
        for (int x = 0; x < w; ++x)
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = planes[0].At(a, x);
        return;
    }
    const OPJ_INT32* b = planes[1].Row(y);
    const OPJ_INT32* c = planes[2].Row(y);
    const TYCbCrTables& ycc = YCbCr();
    for (int x = 0; x < w; ++x) {
        const int p = planes[0].At(a, x), q = planes[1].At(b, x), r = planes[2].At(c, x);
        std::uint8_t* px = row + 3 * x;
        if (l.family == TFamily::RGB) {
            px[0] = std::uint8_t(r);
            px[1] = std::uint8_t(q);
            px[2] = std::uint8_t(p);
        } else {  // p = Y, q = Cb, r = Cr
            px[0] = Clamp255(p + ycc.cbB[q]);
            px[1] = Clamp255(p + ycc.cbG[q] + ycc.crG[r]);
            px[2] = Clamp255(p + ycc.crR[r]);
        }
    }
}

bool Decode(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
            TProgressRecord& Progress)
{
    const bool jp2 = TryJP2(Stream);
    if (!jp2 && !TryJ2K(Stream))
        return false;
    TSizeFacts facts;
    {
        detail::TProbeCursor cur(Stream);
        if (!cur.Valid() || !(jp2 ? CheckJP2(cur, facts) : CheckSizeMarker(cur, facts)))
            return false;
    }

    TStreamGlue glue{&Stream, Stream.Position(), 0, &Progress};
    TCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    TOpjStream s = MakeStream(glue, true, Stream.Size() - glue.start);
    if (!codec || !s)
        return false;
    Silence(codec.get());
    opj_dparameters_t dp;
    opj_set_default_decoder_parameters(&dp);
    // A stream cut short is damage, not a smaller image.
    if (!opj_setup_decoder(codec.get(), &dp) || !opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE))
        return false;
    opj_image_t* raw = nullptr;
    const bool header = opj_read_header(s.get(), codec.get(), &raw);
    TImage image(raw);
    // The size header was checked above, so both sides fit an int.
    if (!header || !image || image->numcomps == 0 || image->x1 <= image->x0 || image->y1 <= image->y0)
        return false;
    TLayout layout = LayoutOf(*image, facts.paletteChannels ? facts.paletteChannels : image->numcomps);
    if (layout.family == TFamily::Other)
        return false;
    if (ParamsOnly) {
        Describe(*image, layout, Params);
        return true;
    }

    if (!opj_decode(codec.get(), s.get(), image.get()) || !opj_end_decompress(codec.get(), s.get()))
        return false;
    layout = LayoutOf(*image, image->numcomps);
    if (layout.family == TFamily::Other || image->numcomps < std::uint32_t(layout.samples))
        return false;
    const int w = int(image->x1 - image->x0), h = int(image->y1 - image->y0);
    std::vector<TPlane> planes;
    for (int c = 0; c < layout.samples; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (!comp.data || comp.w == 0 || comp.h == 0)
            return false;
        planes.emplace_back(*image, comp, w, h);
    }

    TIEBitmap out;
    out.Allocate(w, h, layout.bilevel ? ie1g : ie24RGB);
    Progress.per = 100.0 / h;
    for (int y = 0; y < h; ++y) {
        if (Progress.Aborted())
            return false;
        ConvertRow(planes, layout, y, w, out.ScanLine(y));
        Progress.Report(int(Progress.per * (y + 1)));
    }
    Describe(*image, layout, Params);
    out.MoveTo(Bitmap);
    return true;
}

// ---- writing -------------------------------------------------------------------------------------

// The library's codec for each writer format; the two numberings differ, so nothing passes
// through unmapped.
struct TFormatRow {
    int format;
    OPJ_CODEC_FORMAT codec;
};
constexpr TFormatRow kFormats[] = {{kJ2000FormatJP2, OPJ_CODEC_JP2}, {kJ2000FormatJ2K, OPJ_CODEC_J2K}};

// Resolution levels: at most six, and no more than the smaller side can halve into.
int Resolutions(int w, int h)
{
    int levels = 1;
    for (int side = std::min(w, h); side > 1 && levels < 6; side >>= 1)
        ++levels;
    return levels;
}

// One run of the encoder into Stream, which is left after the image.
bool Compress(opj_image_t& image, opj_cparameters_t& ep, OPJ_CODEC_FORMAT format, rtl::TStream& Stream,
              TProgressRecord& Progress)
{
    TStreamGlue glue{&Stream, Stream.Position(), 0, &Progress};
    TCodec codec(opj_create_compress(format));
    TOpjStream s = MakeStream(glue, false, 0);
    if (!codec || !s)
        return false;
    Silence(codec.get());
    // The wavelet's low band can grow by 2.25 a level; with the library's two guard bits a 1-bit
    // picture's coefficients already pass the bit-planes the file announces after three levels,
    // and the file decodes wrong. Seven, the most there can be, cover the five levels used here.
    const char* const guard[] = {"GUARD_BITS=7", nullptr};
    const bool ok = opj_setup_encoder(codec.get(), &ep, &image) &&
                    opj_encoder_set_extra_options(codec.get(), guard) &&
                    opj_start_compress(codec.get(), &image, s.get()) && opj_encode(codec.get(), s.get()) &&
                    opj_end_compress(codec.get(), s.get());
    if (!ok || Progress.Aborted())
        return false;
    Stream.Seek(glue.start + glue.end, rtl::soBeginning);
    return true;
}

bool Encode(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, OPJ_CODEC_FORMAT format,
            TProgressRecord& Progress)
{
    TIEBitmap converted;
    TIEBitmap* source = detail::IESaveSource(Bitmap, converted);
    if (!source)
        return false;
    const int w = source->GetWidth(), h = source->GetHeight();
    const bool bilevel = source->GetPixelFormat() == ie1g;
    if (bilevel) {
        Params.BitsPerSample = 1;
        Params.J2000ColorSpace = 0;
    }
    const int bits = bilevel ? 1 : std::clamp(Params.BitsPerSample, 1, 16);
    const bool grey = Params.J2000ColorSpace == 0;
    const int comps = grey ? 1 : 3;
    const std::int64_t maxValue = (std::int64_t(1) << bits) - 1;

    std::array<opj_image_cmptparm_t, 3> cp{};
    for (int c = 0; c < comps; ++c) {
        cp[c].dx = cp[c].dy = 1;
        cp[c].w = OPJ_UINT32(w);
        cp[c].h = OPJ_UINT32(h);
        cp[c].prec = OPJ_UINT32(bits);
        cp[c].sgnd = 0;
    }
    // The samples, made again for each run of the encoder, which transforms a one-tile image in
    // place. Progress is reported the first time.
    auto makeImage = [&](bool report) -> TImage {
        TImage image(
            opj_image_create(OPJ_UINT32(comps), cp.data(), grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
        if (!image)
            return image;
        image->x0 = image->y0 = 0;
        image->x1 = OPJ_UINT32(w);
        image->y1 = OPJ_UINT32(h);
        Progress.per = 100.0 / h;
        for (int y = 0; y < h; ++y) {
            if (Progress.Aborted())
                return nullptr;
            const std::uint8_t* row = source->ScanLine(y);
            const std::size_t at = std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) {
                if (bilevel) {
                    image->comps[0].data[at + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
                    continue;
                }
                const std::uint8_t* px = row + 3 * x;  // B, G, R
                if (grey) {
                    const int g = (px[2] * 21 + px[1] * 71 + px[0] * 8) / 100;
                    image->comps[0].data[at + x] = OPJ_INT32(g * maxValue / 255);
                } else {
                    for (int c = 0; c < 3; ++c)
                        image->comps[c].data[at + x] = OPJ_INT32(px[2 - c] * maxValue / 255);
                }
            }
            if (report)
                Progress.Report(int(Progress.per * (y + 1)));
        }
        return image;
    };

    opj_cparameters_t ep;
    opj_set_default_encoder_parameters(&ep);
    const double rate = Params.J2000Rate;
    const bool lossless = !(rate > 0 && rate < 1);
    ep.tcp_numlayers = 1;
    ep.cp_disto_alloc = 1;
    ep.irreversible = lossless ? 0 : 1;
    ep.numresolution = Resolutions(w, h);
    ep.prog_order = Params.J2000ScalableBy == 1 ? OPJ_RLCP : OPJ_LRCP;
    ep.tcp_mct = comps == 3 ? 1 : 0;
    // The library codes a tile into a buffer of 1.4 bits for each bit of the tile's area (and 500
    // bytes); noise of one to four bits a sample takes up to two bits more after the wavelet and
    // the colour transform, and the save would fail. A tile taller than the image is still the one
    // tile, coded the same, and buys the room.
    const double room = double(bits + 2) / (1.4 * bits);
    if (room > 1) {
        ep.tile_size_on = OPJ_TRUE;
        ep.cp_tdx = w;
        ep.cp_tdy = int(std::min<std::int64_t>(std::int64_t(h) * std::int64_t(std::ceil(room)), INT_MAX));
    }
    if (lossless) {
        ep.tcp_rates[0] = 0;
        TImage image = makeImage(true);
        return image && Compress(*image, ep, format, Stream, Progress);
    }

    // The library's rate allocation can overshoot (by a tenth on the i686 build's x87 arithmetic),
    // so an image larger than the rate allows is made again at a ratio raised by the excess.
    const double raw = double(w) * h * comps * bits / 8;
    const double target = raw * rate;
    double ratio = std::min(1.0 / rate, kMaxRatio);
    std::unique_ptr<rtl::TMemoryStream> best;
    for (int attempt = 0; attempt < kRateAttempts; ++attempt) {
        ep.tcp_rates[0] = float(ratio);
        auto out = std::make_unique<rtl::TMemoryStream>();
        TImage image = makeImage(attempt == 0);
        if (!image || !Compress(*image, ep, format, *out, Progress))
            return false;
        const double size = double(out->Size());
        if (!best || out->Size() < best->Size())
            best = std::move(out);
        if (size <= target * kRateSlack || ratio >= kMaxRatio)
            break;
        ratio = std::min(ratio * size / target * kRateSlack, kMaxRatio);
    }
    IEWrite(Stream, Progress, best->Memory(), std::int32_t(best->Size()));
    return !Progress.Aborted();
}

// ---- the I/O component's steps -------------------------------------------------------------------

void LoadJ2000(TIELoadJob& Job)
{
    ReadJ2000Stream(Job.Stream, &Job.Bitmap, Job.Params, Job.ParamsOnly, Job.Progress);
}

void SaveJP2(TIESaveJob& Job)
{
    WriteJ2000Stream(Job.Stream, &Job.Bitmap, Job.Params, kJ2000FormatJP2, Job.Progress);
}

void SaveJ2K(TIESaveJob& Job)
{
    WriteJ2000Stream(Job.Stream, &Job.Bitmap, Job.Params, kJ2000FormatJ2K, Job.Progress);
}

}  // namespace

void ReadJ2000Stream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                     TProgressRecord& Progress)
{
    bool ok = false;
    try {
        ok = Decode(Stream, Bitmap, Params, ParamsOnly, Progress);
    } catch (const rtl::EOutOfMemory&) {
    } catch (const std::bad_alloc&) {
    }
    if (!ok)
        Progress.Abort();
}

void WriteJ2000Stream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, int Format,
                      TProgressRecord& Progress)
{
    const TFormatRow* row = nullptr;
    for (const TFormatRow& r : kFormats)
        if (r.format == Format)
            row = &r;
    if (!row || !Encode(Stream, Bitmap, Params, row->codec, Progress))
        Progress.Abort();
}

extern const TIEFormatSteps kJP2Steps = {
    .FileType = ioJP2,
    .Load = LoadJ2000,
    .Save = SaveJP2,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
};

extern const TIEFormatSteps kJ2KSteps = {
    .FileType = ioJ2K,
    .Load = LoadJ2000,
    .Save = SaveJ2K,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
};

}  // namespace imaging
