// The magic wand's fill against OpenCV's cv2.floodFill (fixed range, mask only, the same tolerance
// and connectivity) on a 12-megapixel photograph-like image (tests/bench/make-bench-images), from a
// few seeds and tolerances that give small, middle-sized and large regions. OpenCV runs in a helper
// process (tests/bench/opencv_floodfill.py) that times each fill, so its runs interleave with ours;
// both time the fill alone, into a mask cleared beforehand. Before timing, each case checks that
// both fill the same number of pixels.
#include "imaging/core/iebitmap.h"
#include "imaging/core/iemask.h"
#include "imaging/core/vodiradproc.h"
#include "tests/bench/helper_process.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>

using namespace imaging;

namespace {

std::string DataPath(const std::string& name) { return std::string(VA_BENCH_DATA_DIR) + "/" + name; }

TIEBitmap& Photo()
{
    static TIEBitmap& photo = *[] {
        auto* bmp = new TIEBitmap;  // lives as long as the program
        std::ifstream in(DataPath("photo-12mp.ppm"), std::ios::binary);
        std::string magic;
        int w = 0, h = 0, maxval = 0;
        in >> magic >> w >> h >> maxval;
        in.get();
        if (magic != "P6" || maxval != 255 || w < 1 || h < 1)
            bench::THelperProcess::Fail("cannot read photo-12mp.ppm");
        bmp->MinFileSize = std::int64_t(1) << 40;
        bmp->Allocate(w, h, ie24RGB);
        std::vector<std::uint8_t> row(std::size_t(w) * 3);
        for (int y = 0; y < h; ++y) {
            in.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
            std::uint8_t* dst = bmp->ScanLine(y);
            for (int x = 0; x < w; ++x) {
                dst[3 * x] = row[3 * x + 2];
                dst[3 * x + 1] = row[3 * x + 1];
                dst[3 * x + 2] = row[3 * x];
            }
        }
        return bmp;
    }();
    return photo;
}

bench::THelperProcess& OpenCV()
{
    static bench::THelperProcess cv(VA_OPENCV_FLOODFILL, {DataPath("photo-12mp.ppm")});
    return cv;
}

struct TCase {
    const char* name;
    int x, y, tolerance, connectivity;
};
constexpr TCase kCases[] = {
    {"small_tol8", 2000, 1500, 8, 4},   {"middle_tol16", 2000, 1500, 16, 4},
    {"large_tol32", 3000, 2200, 32, 4}, {"large_tol32_8conn", 3000, 2200, 32, 8},
    {"huge_tol64", 2000, 1500, 64, 4},
};

std::string Request(const TCase& c)
{
    return std::to_string(c.x) + " " + std::to_string(c.y) + " " + std::to_string(c.tolerance) + " " +
           std::to_string(c.connectivity);
}

int OurCount(const TCase& c, TIEMask& mask)
{
    mask.Empty();
    MagicWandFill(&Photo(), c.x, c.y, c.tolerance, &mask, c.connectivity == 8 ? kIEMagicWand8Connected : 0);
    int n = 0;
    for (int y = mask.Y1(); !mask.IsEmpty() && y <= mask.Y2(); ++y)
        for (int x = mask.X1(); x <= mask.X2(); ++x)
            n += mask.GetPixel(x, y) != 0;
    return n;
}

void Ours(benchmark::State& state, TCase c)
{
    TIEMask mask;
    mask.AllocateBits(Photo().GetWidth(), Photo().GetHeight(), 1);
    const int pixels = OurCount(c, mask);
    const std::string peer = OpenCV().Timed(Request(c)).rest;
    if (std::stoi(peer) != pixels)
        bench::THelperProcess::Fail(std::string(c.name) + ": OpenCV fills " + peer + ", we fill " +
                                    std::to_string(pixels));
    double cpu = 0;
    for (auto _ : state) {
        mask.Empty();
        const double c0 = bench::ThreadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        MagicWandFill(&Photo(), c.x, c.y, c.tolerance, &mask,
                      c.connectivity == 8 ? kIEMagicWand8Connected : 0);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        cpu += bench::ThreadCpuSeconds() - c0;
    }
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["pixels"] = pixels;
    state.SetItemsProcessed(state.iterations() * std::int64_t(pixels));
}

void Peer(benchmark::State& state, TCase c)
{
    const std::string request = Request(c);
    double cpu = 0;
    for (auto _ : state)
        OpenCV().TimeIteration(state, request, cpu);
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Photo();
    for (const TCase& c : kCases) {
        benchmark::RegisterBenchmark(("ours/magicwand_fill/" + std::string(c.name)).c_str(), Ours, c)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("opencv/magicwand_fill/" + std::string(c.name)).c_str(), Peer, c)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
