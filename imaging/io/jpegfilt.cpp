// JPEG decoder and encoder over libjpeg.
#include "imaging/io/jpegfilt.h"

#include "imaging/io/detail/ieguardedcall.h"
#include "imaging/io/detail/iejpegink.h"
#include "imaging/io/detail/ieprobes.h"
#include "imaging/io/detail/iesavesource.h"
#include "imaging/io/iecolorspace.h"
#include "imaging/io/ieexif.h"
#include "imaging/io/iefileformats.h"
#include "imaging/io/ieformatsteps.h"
#include "imaging/io/iejpegmarkers.h"
#include "platform/rtl/Numeric.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>  // jpeglib.h uses FILE without including it
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
// jerror.h after jpeglib.h: its macros use the library's types.
#include <jerror.h>

namespace imaging {

std::int64_t IEJpegMaxImageBytes = std::int64_t(1) << 30;
std::int64_t IEJpegMaxMemory = std::int64_t(512) << 20;
int IEJpegMaxScans = 500;

namespace {

constexpr int kBufferSize = 65536;
// Past the library's own codes, so its message reads "Corrupted".
constexpr int kTooManyScans = 100000;

// ---- the library's managers ---------------------------------------------------------------------
//
// Every routine the library calls back is plain C in effect: it never lets an exception out and
// leaves through the error exit, a jump back to the IEGuardedCall that made the library call.

// The library's error manager, then ours. The library sees only `pub`.
struct TJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    TProgressRecord* progress;  // not owned; null once the abort flag is no longer to be touched
    int warnings;
    int lastWarning;
};

TJpegError& ErrorOf(j_common_ptr c) { return *reinterpret_cast<TJpegError*>(c->err); }

void ErrorExit(j_common_ptr c)
{
    TJpegError& err = ErrorOf(c);
    if (err.progress)
        err.progress->Abort();
    std::longjmp(err.jump, 1);
}

void EmitMessage(j_common_ptr c, int level)
{
    if (level != -1)
        return;  // trace messages
    TJpegError& err = ErrorOf(c);
    ++err.warnings;
    err.lastWarning = c->err->msg_code;
}

void OutputMessage(j_common_ptr) {}

void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = 0; }

void ResetErrorMgr(j_common_ptr c)
{
    TJpegError& err = ErrorOf(c);
    err.warnings = 0;
    err.lastWarning = 0;
    c->err->num_warnings = 0;
    c->err->msg_code = 0;
}

void InitError(TJpegError& err, TProgressRecord& progress)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.pub.format_message = FormatMessage;
    err.pub.reset_error_mgr = ResetErrorMgr;
    err.progress = &progress;
    err.warnings = 0;
    err.lastWarning = 0;
}

// Source: the stream read in blocks; its end is an end-of-image marker and a warning.
struct TJpegSource {
    jpeg_source_mgr pub;
    rtl::TStream* stream;  // not owned
    bool startOfFile;
    bool endFaked;
    std::uint8_t buffer[kBufferSize];
};

TJpegSource& SourceOf(j_decompress_ptr c) { return *reinterpret_cast<TJpegSource*>(c->src); }

void InitSource(j_decompress_ptr c) { SourceOf(c).startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr c)
{
    TJpegSource& s = SourceOf(c);
    std::int32_t got = 0;
    bool failed = false;
    try {
        got = s.stream->Read(s.buffer, kBufferSize);
    } catch (...) {
        failed = true;
    }
    if (failed)
        ERREXIT(c, JERR_FILE_READ);
    if (got <= 0) {
        if (s.startOfFile && ErrorOf(reinterpret_cast<j_common_ptr>(c)).progress)
            ErrorOf(reinterpret_cast<j_common_ptr>(c)).progress->Abort();
        WARNMS(c, JWRN_JPEG_EOF);
        s.buffer[0] = 0xFF;
        s.buffer[1] = JPEG_EOI;
        got = 2;
        s.endFaked = true;
    }
    s.pub.next_input_byte = s.buffer;
    s.pub.bytes_in_buffer = std::size_t(got);
    s.startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr c, long count)
{
    if (count <= 0)
        return;
    TJpegSource& s = SourceOf(c);
    std::size_t n = std::size_t(count);
    while (n > s.pub.bytes_in_buffer) {
        n -= s.pub.bytes_in_buffer;
        FillInputBuffer(c);
    }
    s.pub.next_input_byte += n;
    s.pub.bytes_in_buffer -= n;
}

void TermSource(j_decompress_ptr) {}

void AttachSource(j_decompress_ptr c, TJpegSource& s, rtl::TStream& stream)
{
    s.pub.init_source = InitSource;
    s.pub.fill_input_buffer = FillInputBuffer;
    s.pub.skip_input_data = SkipInputData;
    s.pub.resync_to_restart = jpeg_resync_to_restart;
    s.pub.term_source = TermSource;
    s.pub.next_input_byte = nullptr;
    s.pub.bytes_in_buffer = 0;
    s.stream = &stream;
    s.endFaked = false;
    c->src = &s.pub;
}

// Destination: blocks written to the stream; a short write sets the abort flag.
struct TJpegDest {
    jpeg_destination_mgr pub;
    rtl::TStream* stream;       // not owned
    TProgressRecord* progress;  // not owned
    std::uint8_t buffer[kBufferSize];
};

TJpegDest& DestOf(j_compress_ptr c) { return *reinterpret_cast<TJpegDest*>(c->dest); }

void Put(TJpegDest& d, std::size_t count)
{
    try {
        IEWrite(*d.stream, *d.progress, d.buffer, std::int32_t(count));
    } catch (...) {
        d.progress->Abort();
    }
}

void InitDestination(j_compress_ptr c)
{
    TJpegDest& d = DestOf(c);
    d.pub.next_output_byte = d.buffer;
    d.pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr c)
{
    TJpegDest& d = DestOf(c);
    Put(d, kBufferSize);
    d.pub.next_output_byte = d.buffer;
    d.pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr c)
{
    TJpegDest& d = DestOf(c);
    Put(d, kBufferSize - d.pub.free_in_buffer);
}

// Ends a decoding that has gone on for more scans than any real file needs.
struct TJpegMonitor {
    jpeg_progress_mgr pub;
    int maxScans;
};

void MonitorScans(j_common_ptr c)
{
    if (!c->is_decompressor)
        return;
    const auto* monitor = reinterpret_cast<TJpegMonitor*>(c->progress);
    if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > monitor->maxScans) {
        c->err->msg_code = kTooManyScans;
        c->err->error_exit(c);
    }
}

// ---- colour conversion --------------------------------------------------------------------------

// A JPEG file's CMYK is the paper left (as files with the APP14 colour marker store it); a TIFF
// page's is ink.
void InvertBytes(std::uint8_t* p, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        p[i] = std::uint8_t(255 - p[i]);
}

J_DCT_METHOD DctMethod(std::uint8_t value)
{
    switch (value) {
    case 1: return JDCT_IFAST;
    case 2: return JDCT_FLOAT;
    default: return JDCT_ISLOW;
    }
}

// ---- decoding -------------------------------------------------------------------------------------

// The decompressor and everything the library points at; released on every path.
struct TDecoder {
    jpeg_decompress_struct cinfo{};
    TJpegError err{};
    TJpegMonitor monitor{};
    std::unique_ptr<TJpegSource> source = std::make_unique<TJpegSource>();
    // Arguments and results of the guarded calls.
    JSAMPROW row = nullptr;
    JDIMENSION got = 0;
    bool created = false;

    explicit TDecoder(TProgressRecord& progress) { InitError(err, progress); }
    ~TDecoder()
    {
        // Safe in every state the library can be left in, a failed creation included.
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    bool Call(void (*step)(TDecoder&)) { return detail::IEGuardedCall(err.jump, step, *this); }

    bool Create()
    {
        cinfo.err = &err.pub;
        created = true;
        if (!Call(+[](TDecoder& d) { jpeg_create_decompress(&d.cinfo); }))
            return false;
        cinfo.mem->max_memory_to_use = long(std::min<std::int64_t>(IEJpegMaxMemory, LONG_MAX));
        monitor.pub.progress_monitor = MonitorScans;
        monitor.maxScans = IEJpegMaxScans;
        cinfo.progress = &monitor.pub;
        return true;
    }
};

int ScaleDenominator(const TIOParamsVals& params, JDIMENSION width, JDIMENSION height)
{
    switch (params.JPEGScale) {
    case 0: break;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    default: return 1;
    }
    if (params.Width < 1 || params.Height < 1)
        return 1;
    for (const JDIMENSION d : {8u, 4u, 2u})
        if (JDIMENSION(params.Width) <= width / d && JDIMENSION(params.Height) <= height / d)
            return int(d);
    return 1;
}

// The header's facts into Params; the output colour space chosen.
void TakeHeader(jpeg_decompress_struct& c, bool rawYCbCr, TIOParamsVals& params)
{
    params.BitsPerSample = 8;
    J_COLOR_SPACE out = JCS_EXT_BGR;
    switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE:
        params.JPEGColorSpace = 1;
        params.SamplesPerPixel = 1;
        break;
    case JCS_RGB:
        params.JPEGColorSpace = 0;
        params.SamplesPerPixel = 3;
        break;
    case JCS_YCbCr:
        params.JPEGColorSpace = 2;
        params.SamplesPerPixel = 3;
        if (rawYCbCr)
            out = JCS_YCbCr;
        break;
    case JCS_CMYK:
        params.JPEGColorSpace = 3;
        params.SamplesPerPixel = 4;
        out = JCS_CMYK;
        break;
    case JCS_YCCK:
        params.JPEGColorSpace = 4;
        params.SamplesPerPixel = 4;
        out = JCS_CMYK;
        break;
    default:
        // The library refuses to convert an unknown colour space when decoding starts.
        params.SamplesPerPixel = c.num_components;
        break;
    }
    c.out_color_space = out;
    c.dct_method = DctMethod(params.JPEGDCTMethod);

    // Unit 0 is an aspect ratio, 1 dots per inch, 2 dots per centimetre.
    if (c.density_unit == 0 || c.density_unit == 1) {
        params.SetDpiX(c.X_density);
        params.SetDpiY(c.Y_density);
    } else if (c.density_unit == 2) {
        params.SetDpiX(int(c.X_density * 2.54));
        params.SetDpiY(int(c.Y_density * 2.54));
    }
    params.FreeColorMap();
    params.JPEGProgressive = c.progressive_mode ? 1 : 0;
    params.JPEGOriginalWidth = int(c.image_width);
    params.JPEGOriginalHeight = int(c.image_height);

    // A leading APP0 is the JFIF header the writer makes anew.
    params.JPEGMarkerList.Clear();
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
        if (m == c.marker_list && m->marker == JPEG_APP0)
            continue;
        params.JPEGMarkerList.AddMarker(std::uint8_t(m->marker), m->data, std::uint16_t(m->data_length));
    }

    const int d = ScaleDenominator(params, c.image_width, c.image_height);
    c.scale_num = 1;
    c.scale_denom = unsigned(d);
    params.JPEGScaleUsed = d;
}

void Decode(TDecoder& d, rtl::TStream& stream, rtl::TStream* tables, TIEBitmap* bitmap, bool rawYCbCr,
            bool paramsOnly, bool ink, TProgressRecord& progress, TIOParamsVals& params)
{
    const std::int64_t soi = FindJpegSOI(stream);
    if (soi < 0) {
        progress.Abort();
        return;
    }
    stream.Seek(soi, rtl::soBeginning);
    if (!d.Create())
        return;
    if (tables && tables != &stream) {
        AttachSource(&d.cinfo, *d.source, *tables);
        if (!d.Call(+[](TDecoder& x) { jpeg_read_header(&x.cinfo, FALSE); }))
            return;
    }
    AttachSource(&d.cinfo, *d.source, stream);
    if (!d.Call(+[](TDecoder& x) {
            jpeg_save_markers(&x.cinfo, JPEG_COM, 0xFFFF);
            for (int m = 0; m < 16; ++m)
                jpeg_save_markers(&x.cinfo, JPEG_APP0 + m, 0xFFFF);
            jpeg_read_header(&x.cinfo, TRUE);
        }) ||
        progress.Aborted())
        return;

    jpeg_decompress_struct& c = d.cinfo;
    TakeHeader(c, rawYCbCr, params);
    if (paramsOnly) {
        // The output size without starting: starting would read a progressive file whole.
        if (d.Call(+[](TDecoder& x) { jpeg_calc_output_dimensions(&x.cinfo); })) {
            params.Width = int(c.output_width);
            params.Height = int(c.output_height);
        }
        return;
    }

    // The library's buffers follow the full size, whatever the scale.
    const auto pixels = rtl::CheckedMul<std::uint64_t>(c.image_width, c.image_height);
    if (!pixels || *pixels > std::uint64_t(IEJpegMaxImageBytes / 3)) {
        progress.Abort();
        return;
    }
    if (!d.Call(+[](TDecoder& x) { jpeg_start_decompress(&x.cinfo); }) || progress.Aborted())
        return;
    const int width = int(c.output_width);
    const int height = int(c.output_height);
    params.Width = width;
    params.Height = height;
    try {
        bitmap->Allocate(width, height, ie24RGB);
    } catch (const rtl::EOutOfMemory&) {
        progress.Abort();
        return;
    }

    const bool cmyk = c.out_color_space == JCS_CMYK;
    std::vector<std::uint8_t> buffer(cmyk ? std::size_t(width) * 4 : 0);
    progress.per = 100.0 / height;
    progress.val = 0;
    int rows = 0;
    while (rows < height && !progress.Aborted()) {
        d.row = cmyk ? buffer.data() : bitmap->ScanLine(rows);
        if (!d.Call(+[](TDecoder& x) { x.got = jpeg_read_scanlines(&x.cinfo, &x.row, 1); }) || d.got == 0)
            break;
        if (cmyk) {
            if (ink)
                InvertBytes(buffer.data(), buffer.size());
            IEConvertColorFunction(buffer.data(), kIEColorCMYK, bitmap->ScanLine(rows), width, kIEColorRGB,
                                   nullptr);
        }
        rows += int(d.got);
        progress.val += int(d.got);
        progress.Report(int(progress.per * rows));
    }
    if (rows < height) {
        progress.Abort();
        return;
    }
    if (progress.Aborted())
        return;
    // Trailing damage after the last row costs nothing the image needs.
    d.err.progress = nullptr;
    if (d.Call(+[](TDecoder& x) { jpeg_finish_decompress(&x.cinfo); }) && !d.source->endFaked)
        stream.Seek(-std::int64_t(d.source->pub.bytes_in_buffer), rtl::soCurrent);
}

// ---- encoding -------------------------------------------------------------------------------------

struct TMarkerRef {
    int type;
    const std::uint8_t* data;
    unsigned length;
};

struct TEncoder {
    jpeg_compress_struct cinfo{};
    TJpegError err{};
    std::unique_ptr<TJpegDest> dest = std::make_unique<TJpegDest>();
    bool created = false;
    // Arguments of the guarded calls.
    J_COLOR_SPACE input = JCS_EXT_BGR;
    int components = 3;
    J_COLOR_SPACE space = JCS_YCbCr;
    unsigned dpiX = 0, dpiY = 0;
    TIOParamsVals* params = nullptr;
    const TMarkerRef* markers = nullptr;
    std::size_t markerCount = 0;
    JSAMPROW row = nullptr;

    explicit TEncoder(TProgressRecord& progress) { InitError(err, progress); }
    ~TEncoder()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
    TEncoder(const TEncoder&) = delete;
    TEncoder& operator=(const TEncoder&) = delete;

    bool Call(void (*step)(TEncoder&)) { return detail::IEGuardedCall(err.jump, step, *this); }
    [[noreturn]] void Raise() { throw EIEJpegException(IEJpegMessage(err.pub.msg_code)); }
};

void StartCompression(TEncoder& e)
{
    jpeg_compress_struct& c = e.cinfo;
    const TIOParamsVals& p = *e.params;
    c.in_color_space = e.input;
    c.input_components = e.components;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, e.space);
    c.density_unit = 1;
    c.X_density = UINT16(e.dpiX);
    c.Y_density = UINT16(e.dpiY);
    c.dct_method = DctMethod(p.JPEGDCTMethod);
    c.optimize_coding = p.JPEGOptimalHuffman != 0;
    c.smoothing_factor = std::clamp(p.JPEGSmooth, 0, 100);
    jpeg_set_quality(&c, p.JPEGQuality, TRUE);
    if (p.JPEGProgressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    for (std::size_t i = 0; i < e.markerCount; ++i)
        jpeg_write_marker(&c, e.markers[i].type, e.markers[i].data, e.markers[i].length);
}

}  // namespace

std::string IEJpegMessage(int Code)
{
    // The 124 messages of the interface this library follows; later versions reword the first and
    // add their own after the last.
    if (Code == JERR_ARITH_NOTIMPL)
        return "Sorry, there are legal restrictions on arithmetic coding";
    jpeg_error_mgr table;
    jpeg_std_error(&table);
    if (Code < 0 || Code > JWRN_TOO_MUCH_DATA || Code > table.last_jpeg_message ||
        !table.jpeg_message_table[Code])
        return "Corrupted";
    std::string text;
    for (const char* p = table.jpeg_message_table[Code]; *p; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        ++p;
        while (*p && std::strchr("-+ #0123456789.hlz", *p))
            ++p;
        if (!*p)
            break;
        text += *p == '%' ? '%' : '?';
    }
    return text;
}

namespace {

void DecodeStream(rtl::TStream& Stream, rtl::TStream* TablesStream, TIEBitmap* Bitmap, bool RawYCbCr,
                  bool ParamsOnly, bool Ink, TProgressRecord& Progress, TIOParamsVals& Params)
{
    Params.JPEGWarningCount = 0;
    Params.JPEGWarningCode = 0;
    if (!Bitmap && !ParamsOnly) {
        Progress.Abort();
        return;
    }
    TDecoder d(Progress);
    Decode(d, Stream, TablesStream, Bitmap, RawYCbCr, ParamsOnly, Ink, Progress, Params);
    if (d.err.warnings) {
        Params.JPEGWarningCount = d.err.warnings;
        Params.JPEGWarningCode = d.err.lastWarning;
    }
}

void EncodeStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool Ink,
                  TProgressRecord& Progress)
{
    if (!Bitmap || Bitmap->GetPixelFormat() == ieNull || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* source = Bitmap;
    if (Bitmap->GetPixelFormat() != ie24RGB) {
        copy = detail::IEConvertedCopy(*Bitmap, ie24RGB);
        source = copy.get();
    }
    const int width = source->GetWidth();
    const int height = source->GetHeight();

    // The library writes APP14 itself where the colour space needs it.
    std::vector<TMarkerRef> markers;
    const TIEMarkerList& list = Params.JPEGMarkerList;
    for (int i = 0; i < list.Count(); ++i)
        if (list.MarkerType(i) != 0xEE)
            markers.push_back({list.MarkerType(i), list.MarkerData(i), unsigned(list.MarkerLength(i))});

    TEncoder e(Progress);
    e.cinfo.err = &e.err.pub;
    e.created = true;
    if (!e.Call(+[](TEncoder& x) { jpeg_create_compress(&x.cinfo); }))
        e.Raise();
    e.dest->stream = &Stream;
    e.dest->progress = &Progress;
    e.dest->pub.init_destination = InitDestination;
    e.dest->pub.empty_output_buffer = EmptyOutputBuffer;
    e.dest->pub.term_destination = TermDestination;
    e.cinfo.dest = &e.dest->pub;
    if (Progress.Aborted())
        return;

    e.cinfo.image_width = JDIMENSION(width);
    e.cinfo.image_height = JDIMENSION(height);
    const bool cmyk = Params.JPEGColorSpace == 3 || Params.JPEGColorSpace == 4;
    e.input = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    e.components = cmyk ? 4 : 3;
    switch (Params.JPEGColorSpace) {
    case 0: e.space = JCS_RGB; break;
    case 1: e.space = JCS_GRAYSCALE; break;
    case 2: e.space = JCS_YCbCr; break;
    case 3: e.space = JCS_CMYK; break;
    case 4: e.space = JCS_YCCK; break;
    default: e.space = JCS_EXT_RGB; break;  // not a file's colour space: the library refuses it
    }
    e.dpiX = unsigned(Params.DpiX ? Params.DpiX : IEDefaultDpiX);
    e.dpiY = unsigned(Params.DpiY ? Params.DpiY : IEDefaultDpiY);
    e.params = &Params;
    e.markers = markers.data();
    e.markerCount = markers.size();
    if (!e.Call(StartCompression))
        e.Raise();

    std::vector<std::uint8_t> buffer(cmyk ? std::size_t(width) * 4 : 0);
    Progress.per = 100.0 / height;
    Progress.val = 0;
    for (int y = 0; y < height && !Progress.Aborted(); ++y) {
        std::uint8_t* row = source->ScanLine(y);
        if (cmyk) {
            IEConvertColorFunction(row, kIEColorRGB, buffer.data(), width, kIEColorCMYK, nullptr);
            if (Ink)
                InvertBytes(buffer.data(), buffer.size());
            row = buffer.data();
        }
        e.row = row;
        if (!e.Call(+[](TEncoder& x) { jpeg_write_scanlines(&x.cinfo, &x.row, 1); }))
            e.Raise();
        ++Progress.val;
        Progress.Report(int(Progress.per * (y + 1)));
    }
    if (Progress.Aborted())
        return;
    if (!e.Call(+[](TEncoder& x) { jpeg_finish_compress(&x.cinfo); }))
        e.Raise();
}

}  // namespace

void DecodeJpegStream(rtl::TStream& Stream, rtl::TStream* TablesStream, TIEBitmap* Bitmap, bool RawYCbCr,
                      bool ParamsOnly, TProgressRecord& Progress, TIOParamsVals& Params)
{
    DecodeStream(Stream, TablesStream, Bitmap, RawYCbCr, ParamsOnly, false, Progress, Params);
}

void EncodeJpegStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                      TProgressRecord& Progress)
{
    EncodeStream(Stream, Bitmap, Params, false, Progress);
}

namespace detail {

void DecodeTiffJpegStream(rtl::TStream& Stream, rtl::TStream* TablesStream, TIEBitmap* Bitmap, bool RawYCbCr,
                          TProgressRecord& Progress, TIOParamsVals& Params)
{
    DecodeStream(Stream, TablesStream, Bitmap, RawYCbCr, false, true, Progress, Params);
}

void EncodeTiffJpegStream(rtl::TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                          TProgressRecord& Progress)
{
    EncodeStream(Stream, Bitmap, Params, true, Progress);
}

}  // namespace detail

// ---- the I/O component's steps -----------------------------------------------------------------

namespace {

// The EXIF block's fields into the parameters. A JFIF header without a density (1 x 1) leaves the
// resolution to the block. The EXIF reader already gives it in dots per inch whatever the block's
// unit, so no factor applies: 28 per centimetre is 71 dpi.
void LoadExif(TIOParamsVals& Params)
{
    const int index = IEFindEXIFMarker(Params);
    if (index < 0)
        return;
    const TIEMarkerList& markers = Params.JPEGMarkerList;
    if (!LoadExifBlock(markers.MarkerData(index), markers.MarkerLength(index), Params))
        return;
    if (Params.DpiX == 1 && Params.DpiY == 1) {
        Params.SetDpiXFloat(Params.EXIF_XResolution);
        Params.SetDpiYFloat(Params.EXIF_YResolution);
    }
}

// The EXIF block built from the parameters replaces the one read with the image, unless both say
// the same: then the block read stays whole, with the tags the parameters do not hold (GPS, maker
// notes, artist) and its byte order. A block too large for a marker leaves the marker as it was.
void StoreExif(TIOParamsVals& Params)
{
    if (!Params.HasEXIF)
        return;
    std::vector<std::uint8_t> block;
    if (!BuildExifBlock(Params, block))
        return;
    const int index = IEFindEXIFMarker(Params);
    if (index >= 0) {
        const TIEMarkerList& markers = Params.JPEGMarkerList;
        TIOParamsVals read(nullptr);
        std::vector<std::uint8_t> again;
        if (LoadExifBlock(markers.MarkerData(index), markers.MarkerLength(index), read) &&
            BuildExifBlock(read, again) && again == block)
            return;
    }
    IEStoreEXIFMarker(Params, block);
}

void LoadJpeg(TIELoadJob& Job)
{
    DecodeJpegStream(Job.Stream, nullptr, &Job.Bitmap, false, Job.ParamsOnly, Job.Progress, Job.Params);
    IELoadIPTCMarker(Job.Params);
    LoadExif(Job.Params);
}

void SaveJpeg(TIESaveJob& Job)
{
    IEStoreIPTCMarker(Job.Params);
    StoreExif(Job.Params);
    EncodeJpegStream(Job.Stream, &Job.Bitmap, Job.Params, Job.Progress);
}

}  // namespace

extern const TIEFormatSteps kJPEGSteps = {
    .FileType = ioJPEG,
    .Load = LoadJpeg,
    .Save = SaveJpeg,
    .ViewDpiFile = true,
    .ViewDpiStream = true,
    .SavesAnyPixelFormat = false,
    .StreamHeader = "JFIF",
    .StreamHeaderOptional = true,
};

}  // namespace imaging
