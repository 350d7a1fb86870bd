// PNM, TGA and PCX decoding speed on a 4000 x 3000 picture: our readers against stb_image where it
// reads the format, and against a plain copy of the pixel bytes, in the same run. Every reader goes
// from the file's bytes in memory to a freshly allocated image. Before timing, each decoding is
// checked against stb_image's pixels or, for PCX, which stb_image does not read, against the picture.
#include "imaging/io/ietgafil.h"
#include "imaging/io/pcxfilter.h"
#include "imaging/io/pxmfilt.h"
#include "tests/bench/decode_bench.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace imaging;

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The grainy field, or flat blocks of 64 colours (long runs, as drawings have).
TIEBitmap& Picture(bool flat)
{
    static TIEBitmap pictures[2];
    TIEBitmap& b = pictures[flat];
    if (b.GetWidth())
        return b;
    if (!flat) {
        bench::PaintGrainyField(b, kWidth, kHeight);
        return b;
    }
    b.Allocate(kWidth, kHeight, ie24RGB);
    std::mt19937 rnd(5);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            const int c = ((x / 40) * 7 + (y / 30) * 3 + (rnd() % 97 == 0)) % 64;
            row[3 * x] = std::uint8_t(c * 4);
            row[3 * x + 1] = std::uint8_t(255 - c * 3);
            row[3 * x + 2] = std::uint8_t(c * 37);
        }
    }
    return b;
}

enum TKind { kPnm, kTgaRaw, kTgaRle, kPcx24, kPcx8, kKinds };

Bytes Encode(TKind kind)
{
    TIOParamsVals p(nullptr);
    p.TGACompressed = kind == kTgaRle;
    p.SamplesPerPixel = kind == kPcx8 ? 1 : 3;
    rtl::TMemoryStream m;
    test::Progress progress;
    TIEBitmap& picture = Picture(kind == kTgaRle || kind == kPcx8);
    if (kind == kPnm)
        WritePXMStream(m, &picture, p, progress.record);
    else if (kind == kTgaRaw || kind == kTgaRle)
        WriteTGAStream(m, &picture, p, progress.record, nullptr);
    else
        WritePCXStream(m, &picture, p, progress.record);
    if (progress.Aborted())
        throw std::runtime_error("the benchmark file could not be written");
    return m.Bytes();
}

const Bytes& File(TKind kind)
{
    static std::vector<Bytes> files = [] {
        std::vector<Bytes> f;
        for (int k = 0; k < kKinds; ++k)
            f.push_back(Encode(TKind(k)));
        return f;
    }();
    return files[std::size_t(kind)];
}

void DecodeOurs(TKind kind, TIEBitmap& out)
{
    const Bytes& file = File(kind);
    rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
    TIOParamsVals p(nullptr);
    test::Progress progress;
    std::unique_ptr<TIEMask> mask;
    if (kind == kPnm)
        ReadPXMStream(s, &out, p, progress.record, false);
    else if (kind == kTgaRaw || kind == kTgaRle)
        ReadTGAStream(s, &out, p, mask, false, false, progress.record);
    else
        ReadPCXStream(s, &out, p, 0, progress.record, false);
    if (progress.Aborted())
        throw std::runtime_error("our reader refused the benchmark file");
}

// Ours against stb_image's decoding of the same file, or against the picture the file was made of.
void Check(TKind kind)
{
    TIEBitmap ours;
    DecodeOurs(kind, ours);
    const bool stb = kind == kPnm || kind == kTgaRaw || kind == kTgaRle;
    stbi_uc* theirs = nullptr;
    if (stb) {
        const Bytes& file = File(kind);
        int w, h, n;
        theirs = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 3);
        if (!theirs || w != kWidth || h != kHeight)
            throw std::runtime_error("stb_image cannot read the benchmark file");
    }
    TIEBitmap& picture = Picture(kind == kTgaRle || kind == kPcx8);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* a = ours.ScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t b[3];
            if (theirs) {
                const std::uint8_t* p = theirs + (std::size_t(y) * kWidth + x) * 3;
                b[0] = p[2], b[1] = p[1], b[2] = p[0];
            } else {
                std::memcpy(b, picture.ScanLine(y) + 3 * x, 3);
            }
            if (std::memcmp(a + 3 * x, b, 3) != 0)
                throw std::runtime_error("our decoding differs from its judge's");
        }
    }
    stbi_image_free(theirs);
}

void Ours(benchmark::State& state, TKind kind)
{
    Check(kind);
    for (auto _ : state) {
        TIEBitmap out;
        DecodeOurs(kind, out);
        benchmark::DoNotOptimize(out.ScanLine(0));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kWidth * kHeight * 3);
}

void Stb(benchmark::State& state, TKind kind)
{
    bench::StbDecode(state, File(kind), std::int64_t(kWidth) * kHeight * 3);
}

// The floor: the 24-bit file's pixel bytes copied.
void Copy(benchmark::State& state)
{
    const Bytes& file = File(kTgaRaw);
    const std::size_t bytes = std::size_t(kWidth) * kHeight * 3;
    bench::CopyFloor(state, file.data() + 18, bytes);
}

BENCHMARK_CAPTURE(Ours, pnm, kPnm)->Name("ours/pnm_decode/p6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, pnm, kPnm)->Name("stb_image/pnm_decode/p6")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, tga, kTgaRaw)->Name("ours/tga_decode/24bit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, tga, kTgaRaw)->Name("stb_image/tga_decode/24bit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, tgarle, kTgaRle)->Name("ours/tga_decode/rle24")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, tgarle, kTgaRle)->Name("stb_image/tga_decode/rle24")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, pcx24, kPcx24)->Name("ours/pcx_decode/24bit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, pcx8, kPcx8)->Name("ours/pcx_decode/8bit")->Unit(benchmark::kMillisecond);
BENCHMARK(Copy)->Name("memcpy/raster_decode/24bit")->Unit(benchmark::kMillisecond);

}  // namespace
