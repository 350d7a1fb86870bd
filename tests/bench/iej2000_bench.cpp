// JPEG 2000 speed on a 2000 x 1500 photograph (ImageMagick's plasma fractal,
// tests/bench/make-bench-images): our adaptor against OpenJPEG called directly, in the same run and
// on one thread each. Both sides do the same work: from a code stream in memory to a fresh 24-bit
// image in blue, green, red order, and from that image to a code stream in memory, lossless (the
// reversible wavelet and colour transform, six resolutions, one layer, seven guard bits) and at a
// tenth of the raw size. Before timing, our files must be byte for byte the library's and our decoding its.
#include "imaging/io/iej2000.h"
#include "tests/imaging/io/peer_tool_util.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <openjpeg.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace imaging;

constexpr double kLossyRate = 0.1;

TIEBitmap& Photo()
{
    static TIEBitmap photo;
    if (!photo.GetWidth()) {
        std::unique_ptr<TIEBitmap> alpha;
        if (!test::LoadPnm(std::string(VA_BENCH_DATA_DIR) + "/photo-2000.ppm", photo, alpha))
            throw std::runtime_error("the benchmark photograph cannot be read");
    }
    return photo;
}

// ---- OpenJPEG called directly, on a memory buffer ----

struct TBuffer {
    Bytes data;
    std::size_t at = 0;
};

OPJ_SIZE_T BufferRead(void* out, OPJ_SIZE_T n, void* user)
{
    auto& b = *static_cast<TBuffer*>(user);
    if (b.at >= b.data.size())
        return OPJ_SIZE_T(-1);
    n = std::min<OPJ_SIZE_T>(n, b.data.size() - b.at);
    std::memcpy(out, b.data.data() + b.at, n);
    b.at += n;
    return n;
}
OPJ_SIZE_T BufferWrite(void* in, OPJ_SIZE_T n, void* user)
{
    auto& b = *static_cast<TBuffer*>(user);
    if (b.data.size() < b.at + n) {
        if (b.data.capacity() < b.at + n)
            b.data.reserve(std::max(b.data.capacity() * 2, b.at + n));
        b.data.resize(b.at + n);
    }
    std::memcpy(b.data.data() + b.at, in, n);
    b.at += n;
    return n;
}
OPJ_OFF_T BufferSkip(OPJ_OFF_T n, void* user)
{
    static_cast<TBuffer*>(user)->at += std::size_t(n);
    return n;
}
OPJ_BOOL BufferSeek(OPJ_OFF_T n, void* user)
{
    static_cast<TBuffer*>(user)->at = std::size_t(n);
    return OPJ_TRUE;
}

opj_stream_t* BufferStream(TBuffer& b, bool input)
{
    opj_stream_t* s = opj_stream_create(1 << 20, input ? OPJ_TRUE : OPJ_FALSE);
    opj_stream_set_user_data(s, &b, nullptr);
    if (input) {
        opj_stream_set_read_function(s, BufferRead);
        opj_stream_set_user_data_length(s, b.data.size());
    } else {
        opj_stream_set_write_function(s, BufferWrite);
    }
    opj_stream_set_skip_function(s, BufferSkip);
    opj_stream_set_seek_function(s, BufferSeek);
    return s;
}

Bytes LibraryEncode(TIEBitmap& b, double rate)
{
    const int w = b.GetWidth(), h = b.GetHeight();
    opj_image_cmptparm_t cp[3] = {};
    for (auto& c : cp) {
        c.dx = c.dy = 1;
        c.w = OPJ_UINT32(w);
        c.h = OPJ_UINT32(h);
        c.prec = 8;
    }
    opj_image_t* image = opj_image_create(3, cp, OPJ_CLRSPC_SRGB);
    image->x1 = OPJ_UINT32(w);
    image->y1 = OPJ_UINT32(h);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = b.ScanLine(y);
        OPJ_INT32* r = image->comps[0].data + std::size_t(y) * w;
        OPJ_INT32* g = image->comps[1].data + std::size_t(y) * w;
        OPJ_INT32* bl = image->comps[2].data + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            bl[x] = row[3 * x];
            g[x] = row[3 * x + 1];
            r[x] = row[3 * x + 2];
        }
    }
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1;
    p.cp_disto_alloc = 1;
    p.tcp_rates[0] = rate < 1 ? float(1 / rate) : 0;
    p.irreversible = rate < 1;
    p.numresolution = 6;
    p.tcp_mct = 1;
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    TBuffer out;
    opj_stream_t* s = BufferStream(out, false);
    const char* const guard[] = {"GUARD_BITS=7", nullptr};
    const bool ok = opj_setup_encoder(codec, &p, image) && opj_encoder_set_extra_options(codec, guard) &&
                    opj_start_compress(codec, image, s) && opj_encode(codec, s) && opj_end_compress(codec, s);
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok)
        throw std::runtime_error("OpenJPEG failed to encode the benchmark photograph");
    return out.data;
}

// Into a fresh buffer of 24-bit rows padded to 4 bytes, as our image holds them.
std::unique_ptr<std::uint8_t[]> LibraryDecode(const Bytes& file, int& w, int& h)
{
    TBuffer in{file, 0};
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    opj_dparameters_t p;
    opj_set_default_decoder_parameters(&p);
    opj_setup_decoder(codec, &p);
    opj_stream_t* s = BufferStream(in, true);
    opj_image_t* image = nullptr;
    const bool ok =
        opj_read_header(s, codec, &image) && opj_decode(codec, s, image) && opj_end_decompress(codec, s);
    if (!ok)
        throw std::runtime_error("OpenJPEG failed to decode the benchmark file");
    w = int(image->x1 - image->x0);
    h = int(image->y1 - image->y0);
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[stride * std::size_t(h)]);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = out.get() + stride * std::size_t(y);
        const OPJ_INT32* r = image->comps[0].data + std::size_t(y) * w;
        const OPJ_INT32* g = image->comps[1].data + std::size_t(y) * w;
        const OPJ_INT32* b = image->comps[2].data + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            row[3 * x] = std::uint8_t(b[x]);
            row[3 * x + 1] = std::uint8_t(g[x]);
            row[3 * x + 2] = std::uint8_t(r[x]);
        }
    }
    opj_stream_destroy(s);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return out;
}

// ---- ours ----

Bytes OurEncode(TIEBitmap& b, double rate)
{
    TIOParamsVals p(nullptr);
    p.J2000Rate = rate;
    rtl::TMemoryStream m;
    test::Progress progress;
    WriteJ2000Stream(m, &b, p, kJ2000FormatJ2K, progress.record);
    if (progress.Aborted())
        throw std::runtime_error("our writer failed on the benchmark photograph");
    return m.Bytes();
}

void OurDecode(const Bytes& file, TIEBitmap& out)
{
    rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
    TIOParamsVals p(nullptr);
    test::Progress progress;
    ReadJ2000Stream(s, &out, p, false, progress.record);
    if (progress.Aborted())
        throw std::runtime_error("our reader refused the benchmark file");
}

const Bytes& File()
{
    static const Bytes file = LibraryEncode(Photo(), 1);
    return file;
}

void Check()
{
    for (double rate : {1.0, kLossyRate})
        if (OurEncode(Photo(), rate) != LibraryEncode(Photo(), rate))
            throw std::runtime_error("our code stream differs from the library's");
    TIEBitmap ours;
    OurDecode(File(), ours);
    int w = 0, h = 0;
    const auto theirs = LibraryDecode(File(), w, h);
    const std::size_t stride = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(ours.ScanLine(y), theirs.get() + stride * y, std::size_t(w) * 3) != 0 ||
            std::memcmp(Photo().ScanLine(y), theirs.get() + stride * y, std::size_t(w) * 3) != 0)
            throw std::runtime_error("our decoding differs from the library's or from the photograph");
}

void Bytes24(benchmark::State& state)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * Photo().GetWidth() * Photo().GetHeight() * 3);
}

void OursDecode(benchmark::State& state)
{
    Check();
    for (auto _ : state) {
        TIEBitmap out;
        OurDecode(File(), out);
        benchmark::DoNotOptimize(out.ScanLine(0));
    }
    Bytes24(state);
}

void LibraryDecodeBench(benchmark::State& state)
{
    File();
    for (auto _ : state) {
        int w = 0, h = 0;
        benchmark::DoNotOptimize(LibraryDecode(File(), w, h).get());
    }
    Bytes24(state);
}

void OursEncode(benchmark::State& state, double rate)
{
    Check();
    state.counters["bytes"] = double(OurEncode(Photo(), rate).size());
    for (auto _ : state)
        benchmark::DoNotOptimize(OurEncode(Photo(), rate).data());
    Bytes24(state);
}

void LibraryEncodeBench(benchmark::State& state, double rate)
{
    state.counters["bytes"] = double(LibraryEncode(Photo(), rate).size());
    for (auto _ : state)
        benchmark::DoNotOptimize(LibraryEncode(Photo(), rate).data());
    Bytes24(state);
}

BENCHMARK(OursDecode)->Name("ours/j2k_decode/photo")->Unit(benchmark::kMillisecond);
BENCHMARK(LibraryDecodeBench)->Name("openjpeg/j2k_decode/photo")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OursEncode, lossless, 1.0)->Name("ours/j2k_encode/photo")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LibraryEncodeBench, lossless, 1.0)
    ->Name("openjpeg/j2k_encode/photo")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OursEncode, lossy, kLossyRate)
    ->Name("ours/j2k_encode_lossy/photo")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LibraryEncodeBench, lossy, kLossyRate)
    ->Name("openjpeg/j2k_encode_lossy/photo")
    ->Unit(benchmark::kMillisecond);

}  // namespace
