// JPEG and PNG speed on a 4000 x 3000 photograph (ImageMagick's plasma fractal,
// tests/bench/make-bench-images): our adaptors, and a JPEG save through the I/O component, against
// libjpeg-turbo and libpng called directly, in the same run. Both sides do the same work: from the file's
// bytes in memory to a freshly allocated 24-bit image in blue, green, red order, and back. JPEG: the accurate
// integer DCT, quality 90, the same density. PNG: 8-bit RGB at zlib level 6 with the library's own filter
// choice and the same pHYs and bKGD chunks; our reader also fills the mask it always gives. Before timing,
// our decoding must equal the library's and our file must be byte for byte the library's.
#include "imaging/io/jpegfilt.h"
#include "imaging/io/pngfilt.h"
#include "imaging/io/pngfiltw.h"
#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/peer_tool_util.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace imaging;

constexpr int kQuality = 90;
constexpr int kDpi = 300;
constexpr int kLevel = 6;
constexpr png_uint_32 kPixelsPerMetre = 11811;  // 300 dpi

TIEBitmap& Photo()
{
    static TIEBitmap photo;
    if (!photo.GetWidth()) {
        std::unique_ptr<TIEBitmap> alpha;
        if (!test::LoadPnm(std::string(VA_BENCH_DATA_DIR) + "/photo-4000.ppm", photo, alpha))
            throw std::runtime_error("the benchmark photograph cannot be read");
    }
    return photo;
}

// ---- JPEG: the library called directly, and ours ----

Bytes LibjpegEncode(TIEBitmap& b)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(b.GetWidth());
    c.image_height = JDIMENSION(b.GetHeight());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    c.density_unit = 1;
    c.X_density = kDpi;
    c.Y_density = kDpi;
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < b.GetHeight(); ++y) {
        JSAMPROW row = b.ScanLine(y);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    jpeg_destroy_compress(&c);
    return out;
}

// Into a fresh buffer of 24-bit rows padded to 4 bytes, as our image holds them.
std::unique_ptr<std::uint8_t[]> LibjpegDecode(const Bytes& file, int& width, int& height, bool zeroed)
{
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    c.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&c);
    width = int(c.output_width);
    height = int(c.output_height);
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    std::unique_ptr<std::uint8_t[]> pixels(zeroed ? new std::uint8_t[stride * height]()
                                                  : new std::uint8_t[stride * height]);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = pixels.get() + stride * c.output_scanline;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return pixels;
}

Bytes OurJpegEncode(TIEBitmap& b)
{
    TIOParamsVals p(nullptr);
    p.JPEGQuality = kQuality;
    p.SetDpiX(kDpi);
    p.SetDpiY(kDpi);
    rtl::TMemoryStream m;
    test::Progress progress;
    EncodeJpegStream(m, &b, p, progress.record);
    if (progress.Aborted())
        throw std::runtime_error("our encoder failed on the benchmark photograph");
    return m.Bytes();
}

void OurJpegDecode(const Bytes& file, TIEBitmap& out)
{
    rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
    TIOParamsVals p(nullptr);
    test::Progress progress;
    DecodeJpegStream(s, nullptr, &out, false, false, progress.record, p);
    if (progress.Aborted())
        throw std::runtime_error("our decoder refused the benchmark file");
}

// ---- PNG: the library called directly, and ours ----

void Append(png_structp png, png_bytep data, std::size_t length)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

Bytes LibpngEncode(TIEBitmap& b)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, Append, NoFlush);
    png_set_IHDR(png, info, png_uint_32(b.GetWidth()), png_uint_32(b.GetHeight()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, kPixelsPerMetre, kPixelsPerMetre, PNG_RESOLUTION_METER);
    png_color_16 background{};
    png_set_bKGD(png, info, &background);
    png_set_compression_level(png, kLevel);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int y = 0; y < b.GetHeight(); ++y)
        png_write_row(png, b.ScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct TCursor {
    const Bytes* file;
    std::size_t at;
};

void Take(png_structp png, png_bytep data, std::size_t length)
{
    auto* c = static_cast<TCursor*>(png_get_io_ptr(png));
    std::memcpy(data, c->file->data() + c->at, length);
    c->at += length;
}

std::unique_ptr<std::uint8_t[]> LibpngDecode(const Bytes& file, int& width, int& height, bool zeroed)
{
    TCursor cursor{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &cursor, Take);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    width = int(png_get_image_width(png, info));
    height = int(png_get_image_height(png, info));
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    std::unique_ptr<std::uint8_t[]> pixels(zeroed ? new std::uint8_t[stride * height]()
                                                  : new std::uint8_t[stride * height]);
    for (int y = 0; y < height; ++y)
        png_read_row(png, pixels.get() + stride * y, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels;
}

Bytes OurPngEncode(TIEBitmap& b)
{
    TIOParamsVals p(nullptr);
    p.PNGCompression = kLevel;
    p.PNGFilter = 5;  // the library's choice
    p.SetDpiX(kDpi);
    p.SetDpiY(kDpi);
    rtl::TMemoryStream m;
    test::Progress progress;
    WritePNGStream(m, &b, p, progress.record, nullptr);
    if (progress.Aborted())
        throw std::runtime_error("our writer failed on the benchmark photograph");
    return m.Bytes();
}

void OurPngDecode(const Bytes& file, TIEBitmap& out)
{
    std::unique_ptr<TIEMask> mask;  // the reader always fills one
    rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
    TIOParamsVals p(nullptr);
    test::Progress progress;
    ReadPNGStream(s, &out, p, progress.record, mask, false, false);
    if (progress.Aborted())
        throw std::runtime_error("our reader refused the benchmark file");
}

// ---- the two sides of each format ----

struct TCodec {
    const char* name;
    const char* id;       // in row names
    const char* library;  // the peer's row prefix
    Bytes (*ourEncode)(TIEBitmap&);
    Bytes (*libraryEncode)(TIEBitmap&);
    void (*ourDecode)(const Bytes&, TIEBitmap&);
    std::unique_ptr<std::uint8_t[]> (*libraryDecode)(const Bytes&, int&, int&, bool zeroed);
};

const TCodec kJpeg{"JPEG", "jpeg", "libjpeg", OurJpegEncode, LibjpegEncode, OurJpegDecode, LibjpegDecode};
const TCodec kPng{"PNG", "png", "libpng", OurPngEncode, LibpngEncode, OurPngDecode, LibpngDecode};

// The photograph as the library itself writes it.
const Bytes& File(const TCodec& codec)
{
    static const Bytes jpeg = kJpeg.libraryEncode(Photo());
    static const Bytes png = kPng.libraryEncode(Photo());
    return &codec == &kJpeg ? jpeg : png;
}

void CheckAgainstTheLibrary(const TCodec& codec)
{
    if (codec.ourEncode(Photo()) != File(codec))
        throw std::runtime_error(std::string("our ") + codec.name + " file differs from the library's");
    TIEBitmap ours;
    codec.ourDecode(File(codec), ours);
    int w = 0, h = 0;
    const auto theirs = codec.libraryDecode(File(codec), w, h, false);
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(ours.ScanLine(y), theirs.get() + stride * y, std::size_t(w) * 3) != 0)
            throw std::runtime_error(std::string("our ") + codec.name +
                                     " decoding differs from the library's");
    // PNG is lossless: the file must give the photograph back.
    if (&codec == &kPng)
        for (int y = 0; y < h; ++y)
            if (std::memcmp(Photo().ScanLine(y), theirs.get() + stride * y, std::size_t(w) * 3) != 0)
                throw std::runtime_error("the PNG file does not decode to the photograph");
}

void Ours(benchmark::State& state, const TCodec* codec, bool decode)
{
    CheckAgainstTheLibrary(*codec);
    if (!decode)  // our file is the library's, byte for byte
        state.counters["bytes"] = double(codec->ourEncode(Photo()).size());
    for (auto _ : state) {
        if (decode) {
            TIEBitmap out;
            codec->ourDecode(File(*codec), out);
            benchmark::DoNotOptimize(out.ScanLine(0));
        } else {
            benchmark::DoNotOptimize(codec->ourEncode(Photo()).data());
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * Photo().GetWidth() * Photo().GetHeight() * 3);
}

// With `zeroed` the library decodes into a buffer cleared first: what a container that clears its
// new images would add. TIEBitmap's new images come zeroed from the system instead.
void Library(benchmark::State& state, const TCodec* codec, bool decode, bool zeroed = false)
{
    if (!decode)
        state.counters["bytes"] = double(File(*codec).size());
    for (auto _ : state) {
        if (decode) {
            int w = 0, h = 0;
            benchmark::DoNotOptimize(codec->libraryDecode(File(*codec), w, h, zeroed).get());
        } else {
            benchmark::DoNotOptimize(codec->libraryEncode(Photo()).data());
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * Photo().GetWidth() * Photo().GetHeight() * 3);
}

// ---- a save through the I/O component ----

// As a program saves its picture: its component, attached to the picture and set up once, writes
// it into a new stream each time.
Bytes ComponentJpegSave()
{
    static const std::unique_ptr<TVodirAdIO> io = [] {
        auto c = std::make_unique<TVodirAdIO>(nullptr);
        c->SetAttachedTIEBitmap(&Photo());
        c->Params().JPEGQuality = kQuality;
        c->Params().SetDpiX(kDpi);
        c->Params().SetDpiY(kDpi);
        return c;
    }();
    rtl::TMemoryStream m;
    io->SaveToStream(m, ioJPEG);
    if (io->AbortFlag)
        throw std::runtime_error("the component failed to save the benchmark photograph");
    return m.Bytes();
}

void ComponentSave(benchmark::State& state)
{
    if (ComponentJpegSave() != File(kJpeg))
        throw std::runtime_error("the component's JPEG file differs from the library's");
    state.counters["bytes"] = double(File(kJpeg).size());
    for (auto _ : state)
        benchmark::DoNotOptimize(ComponentJpegSave().data());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * Photo().GetWidth() * Photo().GetHeight() * 3);
}

// Each format's rows: decoding (the library's also into a cleared buffer), then encoding.
[[maybe_unused]] const bool kRegistered = [] {
    for (const TCodec* codec : {&kJpeg, &kPng}) {
        const auto row = [codec](const std::string& side, const char* work) {
            return side + "/" + codec->id + "_" + work + "/photo";
        };
        const auto add = [](const std::string& name, auto... args) {
            benchmark::RegisterBenchmark(name.c_str(), args...)->Unit(benchmark::kMillisecond);
        };
        add(row("ours", "decode"), Ours, codec, true);
        add(row(codec->library, "decode"), Library, codec, true, false);
        add(row(codec->library, "decode_zeroed"), Library, codec, true, true);
        add(row("ours", "encode"), Ours, codec, false);
        add(row(codec->library, "encode"), Library, codec, false, false);
    }
    benchmark::RegisterBenchmark("ours/jpeg_save_component/photo", ComponentSave)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
