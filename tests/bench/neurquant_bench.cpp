// Palette quantizers (NeuQuant, median cut) against libimagequant on the same image, and the two-level
// conversions' throughput.
#include "imaging/core/neurquant.h"

#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"

#include <benchmark/benchmark.h>

#include <libimagequant.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <random>
#include <vector>

using namespace imaging;

namespace {

// Smooth gradients, a soft disc and noise: many colours, nearly all of them different.
void MakeSynthetic(TIEBitmap& bmp)
{
    constexpr int kWidth = 640, kHeight = 480;
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieMemory);
    bmp.Allocate(kWidth, kHeight, ie24RGB);
    std::mt19937 rng(1);
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* p = bmp.ScanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            const double d = std::hypot(x - 300.0, y - 200.0);
            p[0] = std::uint8_t(std::min(255.0, d * 0.8));
            p[1] = std::uint8_t(128 + 100 * std::sin(x / 37.0) * std::cos(y / 23.0));
            p[2] = std::uint8_t((y * 255 / kHeight + rng() % 12) & 255);
        }
    }
}

// A photograph-like image the bench build made (tests/bench/make-bench-images): binary PPM.
void LoadPpm(TIEBitmap& bmp, const std::string& name)
{
    std::ifstream in(std::string(VA_BENCH_DATA_DIR) + "/" + name, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (!in || magic != "P6" || maxval != 255 || w < 1 || h < 1) {
        std::fprintf(stderr, "cannot read %s\n", name.c_str());
        std::exit(1);
    }
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieMemory);
    bmp.Allocate(w, h, ie24RGB);
    std::vector<char> row(std::size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        in.read(row.data(), std::streamsize(row.size()));
        std::uint8_t* p = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            p[x * 3] = std::uint8_t(row[std::size_t(x) * 3 + 2]);
            p[x * 3 + 1] = std::uint8_t(row[std::size_t(x) * 3 + 1]);
            p[x * 3 + 2] = std::uint8_t(row[std::size_t(x) * 3]);
        }
    }
}

TIEBitmap& Image(const std::string& which)
{
    static TIEBitmap synthetic, photo, rose;
    TIEBitmap& bmp = which == "photo" ? photo : which == "rose" ? rose : synthetic;
    if (bmp.GetWidth() == 0) {
        if (&bmp == &synthetic)
            MakeSynthetic(bmp);
        else
            LoadPpm(bmp, which + ".ppm");
    }
    return bmp;
}

std::int64_t PixelBytes(TIEBitmap& bmp) { return std::int64_t(bmp.GetWidth()) * bmp.GetHeight() * 3; }

// Mean squared error over all channels, as PSNR in dB.
double Psnr(TIEBitmap& bmp, const std::vector<std::uint8_t>& indexes, const TRGB* palette)
{
    const int w = bmp.GetWidth(), h = bmp.GetHeight();
    double sum = 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* p = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const TRGB& e = palette[indexes[std::size_t(y) * w + std::size_t(x)]];
            const double db = e.b - p[0], dg = e.g - p[1], dr = e.r - p[2];
            sum += db * db + dg * dg + dr * dr;
        }
    }
    const double mse = sum / (3.0 * w * h);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

// Palette plus one index per pixel: what a paletted writer does.
void Ours(benchmark::State& state, const std::string& which, int colors)
{
    TIEBitmap& bmp = Image(which);
    const int kWidth = bmp.GetWidth(), kHeight = bmp.GetHeight();
    std::vector<std::uint8_t> indexes(std::size_t(kWidth) * kHeight);
    std::array<TRGB, 256> palette{};
    for (auto _ : state) {
        TIEQuantizer q(&bmp, palette, 255, colors);
        for (int y = 0; y < kHeight; ++y) {
            const std::uint8_t* p = bmp.ScanLine(y);
            std::uint8_t* out = indexes.data() + std::size_t(y) * kWidth;
            for (int x = 0; x < kWidth; ++x, p += 3)
                out[x] = std::uint8_t(q.ColorIndex(TRGB{p[0], p[1], p[2]}));
        }
        benchmark::DoNotOptimize(indexes.data());
    }
    state.counters["psnr"] = Psnr(bmp, indexes, palette.data());
    state.SetBytesProcessed(state.iterations() * PixelBytes(bmp));
}

// The peer with dithering off, so both produce plain nearest-colour indexes.
void Peer(benchmark::State& state, const std::string& which, int colors, int speed)
{
    TIEBitmap& bmp = Image(which);
    const int kWidth = bmp.GetWidth(), kHeight = bmp.GetHeight();
    std::vector<std::uint8_t> rgba(std::size_t(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* p = bmp.ScanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            std::uint8_t* q = rgba.data() + (std::size_t(y) * kWidth + std::size_t(x)) * 4;
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            q[3] = 255;
        }
    }
    std::vector<std::uint8_t> indexes(std::size_t(kWidth) * kHeight);
    std::array<TRGB, 256> palette{};
    for (auto _ : state) {
        liq_attr* attr = liq_attr_create();
        liq_set_max_colors(attr, colors);
        liq_set_speed(attr, speed);
        liq_image* image = liq_image_create_rgba(attr, rgba.data(), kWidth, kHeight, 0);
        liq_result* result = nullptr;
        if (liq_image_quantize(image, attr, &result) != LIQ_OK) {
            state.SkipWithError("libimagequant failed");
            break;
        }
        liq_set_dithering_level(result, 0);
        liq_write_remapped_image(result, image, indexes.data(), indexes.size());
        const liq_palette* pal = liq_get_palette(result);
        for (unsigned i = 0; i < pal->count; ++i)
            palette[i] = TRGB{pal->entries[i].b, pal->entries[i].g, pal->entries[i].r};
        liq_result_destroy(result);
        liq_image_destroy(image);
        liq_attr_destroy(attr);
        benchmark::DoNotOptimize(indexes.data());
    }
    state.counters["psnr"] = Psnr(bmp, indexes, palette.data());
    state.SetBytesProcessed(state.iterations() * PixelBytes(bmp));
}

// libimagequant runs on one thread here (scripts/bench sets OMP_NUM_THREADS=1), as ours does. Speed 10
// is its fastest; 4 its default.
void Register()
{
    for (const char* which : {"synthetic", "photo", "rose"}) {
        const std::string w = which;
        benchmark::RegisterBenchmark(("ours/neuquant_256/" + w).c_str(), Ours, w, 256)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libimagequant/neuquant_256/" + w).c_str(), Peer, w, 256, 10)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libimagequant_speed4/neuquant_256/" + w).c_str(), Peer, w, 256, 4)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ours/mediancut_64/" + w).c_str(), Ours, w, 64)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("libimagequant/mediancut_64/" + w).c_str(), Peer, w, 64, 10)
            ->Unit(benchmark::kMillisecond);
    }
}

void BM_vodiradproc_BWOrdered(benchmark::State& state)
{
    TIEBitmap work;
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(&Image("synthetic"));
        state.ResumeTiming();
        BWOrdered(&work);
        benchmark::DoNotOptimize(work.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(Image("synthetic")));
}
BENCHMARK(BM_vodiradproc_BWOrdered)->Unit(benchmark::kMillisecond);

void BM_vodiradproc_BWThreshold(benchmark::State& state)
{
    const int threshold = int(state.range(0));
    TIEBitmap dest;
    for (auto _ : state) {
        BWThreshold(&Image("synthetic"), &dest, threshold);
        benchmark::DoNotOptimize(dest.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(Image("synthetic")));
}
BENCHMARK(BM_vodiradproc_BWThreshold)->Arg(128)->Arg(-1)->Arg(-2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
