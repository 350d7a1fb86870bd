// Resampling speed against peers doing the same work, on a synthetic image and a photograph
// (tests/bench/make-bench-images), 1024 x 768 to twice and to about a third of the size:
// - Lanczos3 and Triangle against Pillow's two-pass filters of the same kernel and support (LANCZOS,
//   BILINEAR), timed one resize at a time by tests/bench/pillow_resample.py so that its runs
//   interleave with ours; Mitchell, which Pillow lacks, against pixman's separable convolution with
//   its cubic kernel, which is Mitchell's (B = C = 1/3);
// - bilinear and fast-linear enlarging against pixman's bilinear filter (its reduction samples four
//   pixels instead of averaging the area, other work, so it is not compared).
// Every pair writes into an image that exists before the timing. Beside each pair stands the mean
// absolute difference of the two outputs, in levels per channel: the two sides place their samples
// differently (ours maps the corner pixels onto each other, the peers map pixel centres), so the
// figure says how close the work is, not which side is right. Beside each of our kernel filters
// stands its quality too: the PSNR of an enlargement by 3 of the photograph against ImageMagick's
// with the same kernel, on the pixels whose window lies inside.
#include "imaging/core/iebitmap.h"
#include "imaging/core/vodiradproc.h"
#include "tests/bench/helper_process.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace imaging;

namespace {

constexpr int kSrcW = 1024;
constexpr int kSrcH = 768;

struct TCase {
    const char* name;
    int dstW;
    int dstH;
};
constexpr TCase kUp{"up", 2048, 1536};
constexpr TCase kDown{"down", 320, 240};

std::string DataPath(const std::string& name) { return std::string(VA_BENCH_DATA_DIR) + "/" + name; }

struct TPpm {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb;
};

TPpm ReadPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    TPpm p;
    std::string magic;
    int maxval = 0;
    in >> magic >> p.w >> p.h >> maxval;
    in.get();
    p.rgb.resize(std::size_t(p.w) * p.h * 3);
    in.read(reinterpret_cast<char*>(p.rgb.data()), std::streamsize(p.rgb.size()));
    if (!in || magic != "P6" || maxval != 255) {
        std::fprintf(stderr, "FAILED: cannot read %s\n", path.c_str());
        std::exit(1);
    }
    return p;
}

void WritePpm(const std::string& path, const TPpm& p)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.w << " " << p.h << "\n255\n";
    out.write(reinterpret_cast<const char*>(p.rgb.data()), std::streamsize(p.rgb.size()));
}

// Smooth gradients with some noise; written out so that Pillow reads the same pixels.
TPpm Synthetic()
{
    TPpm p{kSrcW, kSrcH, std::vector<std::uint8_t>(std::size_t(kSrcW) * kSrcH * 3)};
    std::mt19937 rng(1);
    for (int y = 0; y < kSrcH; ++y)
        for (int x = 0; x < kSrcW; ++x) {
            std::uint8_t* q = &p.rgb[(std::size_t(y) * kSrcW + x) * 3];
            q[0] = std::uint8_t((x * 255 / kSrcW + rng() % 16) & 255);
            q[1] = std::uint8_t((y * 255 / kSrcH + rng() % 16) & 255);
            q[2] = std::uint8_t(((x + y) * 127 / kSrcW + rng() % 16) & 255);
        }
    return p;
}

const TPpm& Image(const std::string& which)
{
    static std::map<std::string, TPpm> images;
    auto it = images.find(which);
    if (it == images.end()) {
        TPpm p = which == "synthetic" ? Synthetic() : ReadPpm(DataPath(which + ".ppm"));
        it = images.emplace(which, std::move(p)).first;
    }
    return it->second;
}

void ToBitmap(const TPpm& p, TIEBitmap& bmp)
{
    bmp.MinFileSize = std::int64_t(1) << 40;
    bmp.SetLocation(ieMemory);
    bmp.Allocate(p.w, p.h, ie24RGB);
    for (int y = 0; y < p.h; ++y) {
        auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
        for (int x = 0; x < p.w; ++x) {
            const std::uint8_t* q = &p.rgb[(std::size_t(y) * p.w + x) * 3];
            row[x] = TRGB{q[2], q[1], q[0]};
        }
    }
}

TIEBitmap& Source(const std::string& which)
{
    static std::map<std::string, TIEBitmap> bitmaps;
    TIEBitmap& bmp = bitmaps[which];
    if (bmp.GetWidth() == 0)
        ToBitmap(Image(which), bmp);
    return bmp;
}

// PSNR of our enlargement by 3 of photo-q against ImageMagick's with the same kernel, over the
// pixels whose filter window lies inside the source.
double QualityVsMagick(TResampleFilter filter, const char* name, double support)
{
    TIEBitmap src;
    ToBitmap(ReadPpm(DataPath("photo-q.ppm")), src);
    const TPpm ref = ReadPpm(DataPath(std::string("photo-q-") + name + ".ppm"));
    TIEBitmap dst;
    dst.MinFileSize = std::int64_t(1) << 40;
    dst.SetLocation(ieMemory);
    dst.Allocate(ref.w, ref.h, ie24RGB);
    ResampleFiltered(&src, &dst, filter);
    const int margin = int(std::ceil(support)) * 3;
    double sum = 0;
    std::int64_t n = 0;
    for (int y = margin; y < ref.h - margin; ++y) {
        const auto* row = reinterpret_cast<const TRGB*>(dst.ScanLine(y));
        for (int x = margin; x < ref.w - margin; ++x) {
            const std::uint8_t* q = &ref.rgb[(std::size_t(y) * ref.w + x) * 3];
            const double dr = row[x].r - q[0], dg = row[x].g - q[1], db = row[x].b - q[2];
            sum += dr * dr + dg * dg + db * db;
            n += 3;
        }
    }
    const double mse = sum / double(n);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

struct TKernel {
    TResampleFilter filter;
    const char* name;
    double support;
};
constexpr TKernel kKernels[] = {
    {rfLanczos3, "lanczos3", 3}, {rfTriangle, "triangle", 1}, {rfMitchell, "mitchell", 2}};

// Our output of one filter, image and size, as RGB bytes: what the peers' outputs are compared with.
TPpm OurOutput(TResampleFilter filter, const std::string& which, TCase c)
{
    TIEBitmap dst;
    dst.MinFileSize = std::int64_t(1) << 40;
    dst.SetLocation(ieMemory);
    dst.Allocate(c.dstW, c.dstH, ie24RGB);
    ResampleFiltered(&Source(which), &dst, filter);
    TPpm p{c.dstW, c.dstH, std::vector<std::uint8_t>(std::size_t(c.dstW) * c.dstH * 3)};
    for (int y = 0; y < c.dstH; ++y) {
        const auto* row = reinterpret_cast<const TRGB*>(dst.ScanLine(y));
        for (int x = 0; x < c.dstW; ++x) {
            std::uint8_t* q = &p.rgb[(std::size_t(y) * c.dstW + x) * 3];
            q[0] = row[x].r, q[1] = row[x].g, q[2] = row[x].b;
        }
    }
    return p;
}

// Mean absolute difference per channel between our output and a peer's, RGB bytes in `rgb`
// (`step` bytes a pixel: 3, or 4 for pixman's x8r8g8b8 in memory order B, G, R, x).
double MeanDifference(const TPpm& ours, const std::uint8_t* peer, int step)
{
    double sum = 0;
    const std::size_t n = std::size_t(ours.w) * ours.h;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* o = &ours.rgb[i * 3];
        const std::uint8_t* p = peer + i * std::size_t(step);
        if (step == 4)
            sum += std::abs(o[0] - p[2]) + std::abs(o[1] - p[1]) + std::abs(o[2] - p[0]);
        else
            sum += std::abs(o[0] - p[0]) + std::abs(o[1] - p[1]) + std::abs(o[2] - p[2]);
    }
    return sum / double(n * 3);
}

void Ours(benchmark::State& state, TResampleFilter filter, std::string which, TCase c, double psnr)
{
    TIEBitmap& src = Source(which);
    TIEBitmap dst;
    dst.MinFileSize = std::int64_t(1) << 40;
    dst.SetLocation(ieMemory);
    dst.Allocate(c.dstW, c.dstH, ie24RGB);
    for (auto _ : state) {
        ResampleFiltered(&src, &dst, filter);
        benchmark::DoNotOptimize(dst.ScanLine(0));
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(c.dstW) * c.dstH);
    if (psnr > 0)
        state.counters["psnr_vs_magick"] = psnr;
}

// The photograph or the synthetic image as pixman's 32-bit x8r8g8b8, its fast layout.
std::vector<std::uint32_t> Xrgb(const TPpm& p)
{
    std::vector<std::uint32_t> pixels(std::size_t(p.w) * p.h);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | (std::uint32_t(p.rgb[i * 3]) << 16) |
                    (std::uint32_t(p.rgb[i * 3 + 1]) << 8) | p.rgb[i * 3 + 2];
    return pixels;
}

// pixman scaling with `filter` (and its parameters), the edges padded, into an existing image.
// `ours` is our output of the same work, for the mean difference.
void PixmanScale(benchmark::State& state, std::string which, TCase c, pixman_filter_t filter,
                 pixman_kernel_t kernel, TPpm ours)
{
    const TPpm& p = Image(which);
    std::vector<std::uint32_t> pixels = Xrgb(p);
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_x8r8g8b8, p.w, p.h, pixels.data(), p.w * 4);
    std::vector<std::uint32_t> out(std::size_t(c.dstW) * c.dstH);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, c.dstW, c.dstH, out.data(), c.dstW * 4);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(double(p.w) / c.dstW),
                                pixman_double_to_fixed(double(p.h) / c.dstH));
    pixman_image_set_transform(src, &t);
    pixman_image_set_repeat(src, PIXMAN_REPEAT_PAD);
    int n = 0;
    pixman_fixed_t* params = nullptr;
    if (filter == PIXMAN_FILTER_SEPARABLE_CONVOLUTION) {
        // Enlarging interpolates with the kernel; reducing spreads it over the reduced pixel, as ours.
        const bool up = c.dstW > p.w;
        const pixman_kernel_t reconstruct = up ? kernel : PIXMAN_KERNEL_IMPULSE;
        const pixman_kernel_t sample = up ? PIXMAN_KERNEL_IMPULSE : kernel;
        params = pixman_filter_create_separable_convolution(&n, t.matrix[0][0], t.matrix[1][1], reconstruct,
                                                            reconstruct, sample, sample, 4, 4);
    }
    pixman_image_set_filter(src, filter, params, n);
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, c.dstW, c.dstH);
    state.counters["mean_diff"] = MeanDifference(ours, reinterpret_cast<const std::uint8_t*>(out.data()), 4);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, c.dstW, c.dstH);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(c.dstW) * c.dstH);
    free(params);
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

// Pillow runs in a helper process: one request line in, its times out.
bench::THelperProcess& Pillow()
{
    static bench::THelperProcess pillow(VA_PILLOW_SCRIPT, {"synthetic=" + DataPath("synthetic-1024.ppm"),
                                                           "photo=" + DataPath("photo-1024.ppm")});
    return pillow;
}

void PillowResize(benchmark::State& state, const char* kernel, std::string which, TCase c, TPpm ours)
{
    const std::string request =
        std::string(kernel) + " " + which + " " + std::to_string(c.dstW) + " " + std::to_string(c.dstH);
    const std::string saved = DataPath("pillow-out.ppm");
    Pillow().Timed(request + " " + saved);
    const TPpm theirs = ReadPpm(saved);
    state.counters["mean_diff"] = MeanDifference(ours, theirs.rgb.data(), 3);
    double cpu = 0;
    for (auto _ : state)
        Pillow().TimeIteration(state, request, cpu);
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * std::int64_t(c.dstW) * c.dstH);
}

void Register()
{
    for (const char* img : {"synthetic", "photo-1024"}) {
        const std::string which = img;
        const std::string tag = which == "synthetic" ? "synthetic" : "photo";
        for (const TKernel& k : kKernels) {
            const double psnr = QualityVsMagick(k.filter, k.name, k.support);
            for (const TCase& c : {kUp, kDown}) {
                const std::string work = std::string(k.name) + "_" + c.name + "/" + tag;
                benchmark::RegisterBenchmark(("ours/" + work).c_str(), Ours, k.filter, which, c, psnr)
                    ->Unit(benchmark::kMillisecond);
                const TPpm ours = OurOutput(k.filter, which, c);
                if (k.filter == rfMitchell)
                    benchmark::RegisterBenchmark(("pixman/" + work).c_str(), PixmanScale, which, c,
                                                 PIXMAN_FILTER_SEPARABLE_CONVOLUTION, PIXMAN_KERNEL_CUBIC,
                                                 ours)
                        ->Unit(benchmark::kMillisecond);
                else
                    benchmark::RegisterBenchmark(("pillow/" + work).c_str(), PillowResize, k.name, tag, c,
                                                 ours)
                        ->UseManualTime()
                        ->Unit(benchmark::kMillisecond);
            }
        }
        for (const auto& [filter, name] :
             {std::pair{rfBilinear, "bilinear"}, std::pair{rfFastLinear, "fastlinear"}}) {
            benchmark::RegisterBenchmark(("ours/" + std::string(name) + "_up/" + tag).c_str(), Ours, filter,
                                         which, kUp, 0.0)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("pixman/" + std::string(name) + "_up/" + tag).c_str(), PixmanScale,
                                         which, kUp, PIXMAN_FILTER_BILINEAR, PIXMAN_KERNEL_IMPULSE,
                                         OurOutput(filter, which, kUp))
                ->Unit(benchmark::kMillisecond);
        }
        // Reductions and the other engines, for their own figures.
        for (const auto& [filter, name] :
             {std::pair{rfBilinear, "bilinear_down"}, std::pair{rfFastLinear, "fastlinear_down"},
              std::pair{rfBicubic, "bicubic_up"}, std::pair{rfNone, "nearest_up"}})
            benchmark::RegisterBenchmark(("ours/" + std::string(name) + "/" + tag).c_str(), Ours, filter,
                                         which, std::string(name).ends_with("down") ? kDown : kUp, 0.0)
                ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    WritePpm(DataPath("synthetic-1024.ppm"), Image("synthetic"));
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
