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
#include <cstring>
#include <random>
#include <vector>

using namespace imaging;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Smooth gradients, a soft disc and noise: many colours, like a photograph.
TIEBitmap& Image()
{
    static TIEBitmap bmp;
    if (bmp.GetWidth() == 0) {
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
    return bmp;
}

std::int64_t PixelBytes() { return std::int64_t(kWidth) * kHeight * 3; }

double MeanError(const std::vector<std::uint8_t>& indexes, const TRGB* palette)
{
    TIEBitmap& bmp = Image();
    std::int64_t sum = 0;
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* p = bmp.ScanLine(y);
        for (int x = 0; x < kWidth; ++x, p += 3) {
            const TRGB& e = palette[indexes[std::size_t(y) * kWidth + std::size_t(x)]];
            sum += std::abs(e.b - p[0]) + std::abs(e.g - p[1]) + std::abs(e.r - p[2]);
        }
    }
    return double(sum) / (double(kWidth) * kHeight);
}

// Palette plus one index per pixel: what a paletted writer does.
void Ours(benchmark::State& state, int colors)
{
    TIEBitmap& bmp = Image();
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
    state.counters["mean_error"] = MeanError(indexes, palette.data());
    state.SetBytesProcessed(state.iterations() * PixelBytes());
}

void BM_neurquant_neuquant_256(benchmark::State& state) { Ours(state, 256); }
void BM_neurquant_mediancut_64(benchmark::State& state) { Ours(state, 64); }
BENCHMARK(BM_neurquant_neuquant_256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_neurquant_mediancut_64)->Unit(benchmark::kMillisecond);

// The peer with dithering off, so both produce plain nearest-colour indexes.
void Peer(benchmark::State& state, int colors, int speed)
{
    TIEBitmap& bmp = Image();
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
    state.counters["mean_error"] = MeanError(indexes, palette.data());
    state.SetBytesProcessed(state.iterations() * PixelBytes());
}

// Speed 4 is the peer's default; 10 is its fastest and roughest.
void BM_neurquant_libimagequant_256(benchmark::State& state) { Peer(state, 256, 4); }
void BM_neurquant_libimagequant_256_fastest(benchmark::State& state) { Peer(state, 256, 10); }
void BM_neurquant_libimagequant_64(benchmark::State& state) { Peer(state, 64, 4); }
void BM_neurquant_libimagequant_64_fastest(benchmark::State& state) { Peer(state, 64, 10); }
BENCHMARK(BM_neurquant_libimagequant_256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_neurquant_libimagequant_256_fastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_neurquant_libimagequant_64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_neurquant_libimagequant_64_fastest)->Unit(benchmark::kMillisecond);

void BM_vodiradproc_BWOrdered(benchmark::State& state)
{
    TIEBitmap work;
    for (auto _ : state) {
        state.PauseTiming();
        work.Assign(&Image());
        state.ResumeTiming();
        BWOrdered(&work);
        benchmark::DoNotOptimize(work.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes());
}
BENCHMARK(BM_vodiradproc_BWOrdered)->Unit(benchmark::kMillisecond);

void BM_vodiradproc_BWThreshold(benchmark::State& state)
{
    const int threshold = int(state.range(0));
    TIEBitmap dest;
    for (auto _ : state) {
        BWThreshold(&Image(), &dest, threshold);
        benchmark::DoNotOptimize(dest.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes());
}
BENCHMARK(BM_vodiradproc_BWThreshold)->Arg(128)->Arg(-1)->Arg(-2)->Unit(benchmark::kMillisecond);

}  // namespace
