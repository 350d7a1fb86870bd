// Rendering benchmarks against pixman in the same run, one thread each: a 4000x3000 image stretched to
// 1000x750 (nearest into a picture that exists, as pixman's image does, and StretchForCanvas making
// a new picture against pixman making a new image; filtered with a triangle, through the renderer the
// view draws with, RenderToTBitmap, into an existing back buffer, against pixman's separable
// convolution with the same triangle), and a 1920x1080 layer blended by its alpha into an existing
// picture against pixman's OVER: alpha of noise, and the soft-edged alpha of a cut-out picture
// (mostly 0 or 255, graded over a few pixels at its edges).
#include "imaging/core/iebitmap.h"
#include "imaging/core/ieplatformbitmap.h"
#include "imaging/core/vodiradproc.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace imaging;

namespace {

enum class TAlpha { None, Noise, Soft };

// Alpha of a cut-out: a large ellipse and two discs, opaque inside, transparent outside, graded over
// three pixels at their edges.
std::uint8_t SoftAlpha(int x, int y, int w, int h)
{
    struct TShape {
        double cx, cy, rx, ry;
    };
    const TShape shapes[] = {{0.45, 0.5, 0.33, 0.38}, {0.82, 0.25, 0.12, 0.12}, {0.8, 0.8, 0.09, 0.09}};
    double best = 0;
    for (const TShape& s : shapes) {
        const double dx = (x - s.cx * w) / (s.rx * w), dy = (y - s.cy * h) / (s.ry * h);
        // Distance inside the edge, in pixels of the shape's smaller radius.
        const double inside = (1 - std::sqrt(dx * dx + dy * dy)) * std::min(s.rx * w, s.ry * h);
        best = std::max(best, inside);
    }
    return std::uint8_t(std::clamp(best / 3, 0.0, 1.0) * 255);
}

// A photograph-like picture: gradients with noise, as 24-bit rows and as x8r8g8b8 for pixman.
struct TPicture {
    int w, h;
    TIEBitmap bmp;
    std::vector<std::uint32_t> argb;
    TPicture(int width, int height, TAlpha kind) : w(width), h(height), argb(std::size_t(width) * height)
    {
        const bool alpha = kind != TAlpha::None;
        bmp.MinFileSize = std::int64_t(1) << 40;
        bmp.Allocate(w, h, ie24RGB);
        std::mt19937 rng(7);
        TIEBitmap* a = alpha ? bmp.GetAlphaChannel() : nullptr;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = bmp.ScanLine(y);
            std::uint8_t* ar = a ? a->ScanLine(y) : nullptr;
            for (int x = 0; x < w; ++x) {
                const std::uint8_t b = std::uint8_t(x * 255 / w + rng() % 9), g = std::uint8_t(y * 255 / h),
                                   r = std::uint8_t((x + y) * 3 + rng() % 5);
                const std::uint8_t av = kind == TAlpha::Noise  ? std::uint8_t(rng())
                                        : kind == TAlpha::Soft ? SoftAlpha(x, y, w, h)
                                                               : 255;
                row[3 * x] = b, row[3 * x + 1] = g, row[3 * x + 2] = r;
                if (ar)
                    ar[x] = av;
                // pixman wants premultiplied colour.
                argb[std::size_t(y) * w + x] = std::uint32_t(av) << 24 | std::uint32_t(r * av / 255) << 16 |
                                               std::uint32_t(g * av / 255) << 8 | std::uint32_t(b * av / 255);
            }
        }
        if (a)
            a->UpdateFullFlag();
    }
};

TPicture& Large()
{
    static TPicture p(4000, 3000, TAlpha::None);
    return p;
}

TPicture& Layer(TAlpha kind)
{
    static TPicture noise(1920, 1080, TAlpha::Noise), soft(1920, 1080, TAlpha::Soft);
    return kind == TAlpha::Soft ? soft : noise;
}

void OursNearest(benchmark::State& state)
{
    TPicture& p = Large();
    TIEBitmap picture;
    picture.MinFileSize = std::int64_t(1) << 40;
    picture.Allocate(1000, 750, ie24RGB);
    for (auto _ : state) {
        ResampleNearest(&p.bmp, &picture);
        benchmark::DoNotOptimize(picture.ScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}

void OursRender(benchmark::State& state, TResampleFilter filter)
{
    TPicture& p = Large();
    TIEMemoryPlatformBitmap back;
    back.SetSize(1000, 750);
    TIERenderCache cache;
    for (auto _ : state)
        p.bmp.RenderToTBitmap(&back, &cache, nullptr, 0, 0, 1000, 750, 0, 0, p.w, p.h, false, false, 255,
                              filter, false, 0);
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}

// pixman making its image for every picture, as StretchForCanvas does (pixman clears a new image).
void PixmanNearestNew(benchmark::State& state)
{
    TPicture& p = Large();
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, p.w, p.h, p.argb.data(), p.w * 4);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(p.w / 1000.0),
                                pixman_double_to_fixed(p.h / 750.0));
    pixman_image_set_transform(src, &t);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, 1000, 750, nullptr, 1000 * 4);
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, 1000, 750);
        benchmark::DoNotOptimize(pixman_image_get_data(dst));
        pixman_image_unref(dst);
    }
    pixman_image_unref(src);
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}

void OursStretch(benchmark::State& state, TResampleFilter filter)
{
    TPicture& p = Large();
    for (auto _ : state) {
        auto picture = p.bmp.StretchForCanvas(1000, 750, filter, 1);
        benchmark::DoNotOptimize(picture->ScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}

void PixmanStretch(benchmark::State& state, bool filtered)
{
    TPicture& p = Large();
    std::vector<std::uint32_t> out(1000 * 750);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, p.w, p.h, p.argb.data(), p.w * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, 1000, 750, out.data(), 1000 * 4);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(p.w / 1000.0),
                                pixman_double_to_fixed(p.h / 750.0));
    pixman_image_set_transform(src, &t);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    int n = 0;
    pixman_fixed_t* params = nullptr;
    if (filtered) {
        // A triangle over the reduced pixel, as our triangle filter reduces.
        params = pixman_filter_create_separable_convolution(&n, t.matrix[0][0], t.matrix[1][1],
                                                            PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
                                                            PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_LINEAR, 1, 1);
        pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    } else {
        pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, 1000, 750);
        benchmark::DoNotOptimize(out.data());
    }
    free(params);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    state.SetItemsProcessed(state.iterations() * 1000 * 750);
}

void OursBlend(benchmark::State& state, TAlpha kind)
{
    TPicture& p = Layer(kind);
    TIEMemoryPlatformBitmap back;
    back.SetSize(p.w, p.h);
    TIERenderCache cache;
    for (auto _ : state)
        p.bmp.RenderToTBitmap(&back, &cache, nullptr, 0, 0, p.w, p.h, 0, 0, p.w, p.h, true, false, 255,
                              rfNone, false, 0);
    state.SetItemsProcessed(state.iterations() * std::int64_t(p.w) * p.h);
}

void PixmanBlend(benchmark::State& state, TAlpha kind)
{
    TPicture& p = Layer(kind);
    std::vector<std::uint32_t> back(std::size_t(p.w) * p.h, 0xFF808080u);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, p.w, p.h, p.argb.data(), p.w * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, p.w, p.h, back.data(), p.w * 4);
    for (auto _ : state)
        pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, p.w, p.h);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    state.SetItemsProcessed(state.iterations() * std::int64_t(p.w) * p.h);
}

void Register()
{
    benchmark::RegisterBenchmark("ours/stretch_nearest", OursNearest)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pixman/stretch_nearest", PixmanStretch, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ours/stretch_nearest_new", OursStretch, rfNone)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pixman/stretch_nearest_new", PixmanNearestNew)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ours/render_filtered", OursRender, rfTriangle)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ours/stretch_filtered", OursStretch, rfTriangle)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("pixman/stretch_filtered", PixmanStretch, true)
        ->Unit(benchmark::kMillisecond);
    for (const auto& [name, kind] : {std::pair{"noise", TAlpha::Noise}, std::pair{"soft", TAlpha::Soft}}) {
        benchmark::RegisterBenchmark(("ours/alpha_blend/" + std::string(name)).c_str(), OursBlend, kind)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("pixman/alpha_blend/" + std::string(name)).c_str(), PixmanBlend, kind)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
