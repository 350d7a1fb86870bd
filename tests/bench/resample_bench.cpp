// Resampling throughput of our engines against pixman's separable-convolution and bilinear filters, same
// sizes.
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <pixman.h>

using namespace imaging;

namespace {

constexpr int kSrcW = 1024;
constexpr int kSrcH = 768;

struct TCase {
    int dstW;
    int dstH;
};
// Twice the size, and a quarter of each side (3.2 x reduction).
constexpr TCase kUp{2048, 1536};
constexpr TCase kDown{320, 240};

const std::vector<std::uint32_t>& Pixels()
{
    static const std::vector<std::uint32_t> pixels = [] {
        std::vector<std::uint32_t> p(std::size_t(kSrcW) * kSrcH);
        std::mt19937 rng(1);
        // Smooth gradients with some noise, as photographs are.
        for (int y = 0; y < kSrcH; ++y)
            for (int x = 0; x < kSrcW; ++x) {
                const std::uint32_t r = std::uint32_t((x * 255 / kSrcW + rng() % 16) & 255);
                const std::uint32_t g = std::uint32_t((y * 255 / kSrcH + rng() % 16) & 255);
                const std::uint32_t b = std::uint32_t(((x + y) * 127 / kSrcW + rng() % 16) & 255);
                p[std::size_t(y) * kSrcW + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
            }
        return p;
    }();
    return pixels;
}

TIEBitmap& Source()
{
    static TIEBitmap bmp;
    if (bmp.GetWidth() == 0) {
        bmp.MinFileSize = std::int64_t(1) << 40;
        bmp.SetLocation(ieMemory);
        bmp.Allocate(kSrcW, kSrcH, ie24RGB);
        const auto& p = Pixels();
        for (int y = 0; y < kSrcH; ++y) {
            auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
            for (int x = 0; x < kSrcW; ++x) {
                const std::uint32_t v = p[std::size_t(y) * kSrcW + x];
                row[x] = TRGB{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
            }
        }
    }
    return bmp;
}

void Ours(benchmark::State& state, TResampleFilter filter, TCase c)
{
    TIEBitmap& src = Source();
    TIEBitmap dst;
    dst.MinFileSize = std::int64_t(1) << 40;
    dst.SetLocation(ieMemory);
    dst.Allocate(c.dstW, c.dstH, ie24RGB);
    for (auto _ : state) {
        ResampleFiltered(&src, &dst, filter);
        benchmark::DoNotOptimize(dst.ScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(c.dstW) * c.dstH);
}

BENCHMARK_CAPTURE(Ours, Lanczos3_Up, rfLanczos3, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Lanczos3_Down, rfLanczos3, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Triangle_Up, rfTriangle, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Triangle_Down, rfTriangle, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Mitchell_Up, rfMitchell, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, FastLinear_Up, rfFastLinear, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, FastLinear_Down, rfFastLinear, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Bilinear_Up, rfBilinear, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Bilinear_Down, rfBilinear, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, Bicubic_Up, rfBicubic, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, None_Up, rfNone, kUp)->Unit(benchmark::kMillisecond);

enum class TPeerFilter { Lanczos3, Triangle, Mitchell, Bilinear };

// pixman samples pixel centres with the filter stretched over the source step when reducing,
// like our kernel engine; the 32-bit x8r8g8b8 layout is its fast one.
void Pixman(benchmark::State& state, TPeerFilter filter, TCase c)
{
    auto& pixels = const_cast<std::vector<std::uint32_t>&>(Pixels());
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, kSrcW, kSrcH, pixels.data(), kSrcW * 4);
    std::vector<std::uint32_t> out(std::size_t(c.dstW) * c.dstH);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, c.dstW, c.dstH, out.data(), c.dstW * 4);
    const double sx = double(kSrcW) / c.dstW, sy = double(kSrcH) / c.dstH;
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
    pixman_image_set_transform(src, &t);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    pixman_fixed_t* params = nullptr;
    if (filter == TPeerFilter::Bilinear) {
        pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    } else {
        const pixman_kernel_t k = filter == TPeerFilter::Lanczos3 ? PIXMAN_KERNEL_LANCZOS3
                                  : filter == TPeerFilter::Triangle
                                      ? PIXMAN_KERNEL_LINEAR
                                      : PIXMAN_KERNEL_CUBIC;  // Mitchell-Netravali, B = C = 1/3
        const bool up = sx < 1;
        int n = 0;
        params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(up ? 1 : sx), pixman_double_to_fixed(up ? 1 : sy),
            up ? k : PIXMAN_KERNEL_IMPULSE, up ? k : PIXMAN_KERNEL_IMPULSE, up ? PIXMAN_KERNEL_IMPULSE : k,
            up ? PIXMAN_KERNEL_IMPULSE : k, 4, 4);
        pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    }
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, c.dstW, c.dstH);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(c.dstW) * c.dstH);
    free(params);
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

BENCHMARK_CAPTURE(Pixman, Lanczos3_Up, TPeerFilter::Lanczos3, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Lanczos3_Down, TPeerFilter::Lanczos3, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Triangle_Up, TPeerFilter::Triangle, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Triangle_Down, TPeerFilter::Triangle, kDown)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Mitchell_Up, TPeerFilter::Mitchell, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Bilinear_Up, TPeerFilter::Bilinear, kUp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, Bilinear_Down, TPeerFilter::Bilinear, kDown)->Unit(benchmark::kMillisecond);

}  // namespace
