// BMP decoding speed on a 4000 x 3000 picture: our reader against stb_image and against a plain
// copy of the pixel bytes, in the same run. Both readers go from the file's bytes in memory to a
// freshly allocated image. stb_image reads no RLE, so the RLE8 file is set against stb_image
// decoding the same picture stored uncompressed at 8 bits, the nearest work it does. Before timing,
// each decoding is checked against stb_image's pixels; a mismatch fails the run.
#include "imaging/io/bmpfilt.h"
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

// The grainy field, or the same cut to 64 flat colours in blocks (long runs, as drawings and
// screenshots have).
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
    b.Allocate(kWidth, kHeight, ie8p);
    std::mt19937 rnd(5);
    for (int i = 0; i < 64; ++i)
        b.SetPaletteColor(i, TRGB{std::uint8_t(i * 4), std::uint8_t(255 - i * 3), std::uint8_t(i * 37)});
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < kWidth; ++x)
            row[x] = std::uint8_t(((x / 40) * 7 + (y / 30) * 3 + (rnd() % 97 == 0)) % 64);
    }
    return b;
}

Bytes Encode(bool flat, bool rle)
{
    TIOParamsVals p(nullptr);
    p.BitsPerSample = 8;
    p.SamplesPerPixel = flat ? 1 : 3;
    p.BMPCompression = rle ? 1 : 0;
    rtl::TMemoryStream m;
    test::Progress progress;
    WriteBMPStream(m, &Picture(flat), p, progress.record);
    if (progress.Aborted())
        throw std::runtime_error("the benchmark file could not be written");
    return m.Bytes();
}

const Bytes& File(int kind)  // 0: 24-bit, 1: 8-bit RLE8, 2: 8-bit uncompressed
{
    static Bytes files[3] = {Encode(false, false), Encode(true, true), Encode(true, false)};
    return files[kind];
}

void DecodeOurs(const Bytes& file, TIEBitmap& out)
{
    rtl::TReadOnlyMemoryStream s(file.data(), std::int64_t(file.size()));
    TIOParamsVals p(nullptr);
    test::Progress progress;
    ReadBMPStream(s, &out, 0, p, progress.record, false, false);
    if (progress.Aborted())
        throw std::runtime_error("our reader refused the benchmark file");
}

void CheckAgainstStb(int kind)
{
    const Bytes& file = File(kind);
    TIEBitmap ours;
    DecodeOurs(file, ours);
    // stb_image cannot read RLE; the uncompressed twin holds the same pixels.
    const Bytes& judged = kind == 1 ? File(2) : file;
    int w, h, n;
    stbi_uc* theirs = stbi_load_from_memory(judged.data(), int(judged.size()), &w, &h, &n, 3);
    if (!theirs || w != kWidth || h != kHeight)
        throw std::runtime_error("stb_image cannot read the benchmark file");
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* a = ours.ScanLine(y);
        const std::uint8_t* b = theirs + std::size_t(y) * kWidth * 3;
        for (int x = 0; x < kWidth; ++x)
            if (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x])
                throw std::runtime_error("our decoding differs from stb_image's");
    }
    stbi_image_free(theirs);
}

void Ours(benchmark::State& state, int kind)
{
    CheckAgainstStb(kind);
    const Bytes& file = File(kind);
    for (auto _ : state) {
        TIEBitmap out;
        DecodeOurs(file, out);
        benchmark::DoNotOptimize(out.ScanLine(0));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kWidth * kHeight * 3);
}

void Stb(benchmark::State& state, int kind)
{
    bench::StbDecode(state, File(kind), std::int64_t(kWidth) * kHeight * 3);
}

// The floor: the 24-bit file's pixel bytes copied.
void Copy(benchmark::State& state)
{
    const Bytes& file = File(0);
    const std::size_t bytes = std::size_t(kWidth) * kHeight * 3;
    bench::CopyFloor(state, file.data() + file.size() - bytes, bytes);
}

BENCHMARK_CAPTURE(Ours, bmp24, 0)->Name("ours/bmp_decode/24bit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, bmp24, 0)->Name("stb_image/bmp_decode/24bit")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, rle8, 1)->Name("ours/bmp_decode/rle8")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Stb, pal8, 2)->Name("stb_image/bmp_decode/8bit")->Unit(benchmark::kMillisecond);
BENCHMARK(Copy)->Name("memcpy/bmp_decode/24bit")->Unit(benchmark::kMillisecond);

}  // namespace
