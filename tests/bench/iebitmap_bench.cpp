// Row access and whole-image copies of TIEBitmap in memory and in a temporary file, against memcpy of the
// same bytes. Every row moved is made visible to the optimiser, so neither side's copies can be
// folded away: a baseline that sometimes skipped them made its figure jump by a factor of eight.
#include "imaging/core/iebitmap.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace imaging;

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1024;

TIEBitmap& Image(bool file)
{
    static TIEBitmap images[2];
    TIEBitmap& bmp = images[file ? 1 : 0];
    if (bmp.GetWidth() == 0) {
        bmp.MinFileSize = file ? 0 : std::int64_t(1) << 40;
        bmp.SetLocation(file ? ieFile : ieMemory);
        bmp.Allocate(kWidth, kHeight, ie24RGB);
        bmp.Fill(0x00336699);
    }
    return bmp;
}

std::int64_t ImageBytes() { return std::int64_t(IERowLen(kWidth, 24, 32)) * kHeight; }

// Reads and rewrites every row through a scratch buffer, as a filter does.
void RowAccess(benchmark::State& state, bool file)
{
    TIEBitmap& bmp = Image(file);
    const auto len = static_cast<std::size_t>(bmp.GetRowLen());
    std::vector<std::uint8_t> scratch(len);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = bmp.ScanLine(y);
            std::memcpy(scratch.data(), row, len);
            scratch[len - 1] ^= 1;
            benchmark::DoNotOptimize(scratch.data());
            std::memcpy(row, scratch.data(), len);
            benchmark::ClobberMemory();
        }
        bmp.ScanLine(0);
        benchmark::DoNotOptimize(scratch.data());
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes());
}

void BM_iebitmap_rows_memory(benchmark::State& state) { RowAccess(state, false); }
void BM_iebitmap_rows_file(benchmark::State& state) { RowAccess(state, true); }

void WholeCopy(benchmark::State& state, bool file)
{
    TIEBitmap& src = Image(file);
    TIEBitmap dst;
    dst.MinFileSize = file ? 0 : std::int64_t(1) << 40;
    dst.SetLocation(file ? ieFile : ieMemory);
    for (auto _ : state) {
        dst.Assign(&src);
        benchmark::DoNotOptimize(dst.GetWidth());
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes());
}

void BM_iebitmap_copy_memory(benchmark::State& state) { WholeCopy(state, false); }
void BM_iebitmap_copy_file(benchmark::State& state) { WholeCopy(state, true); }

// The peer: the same bytes moved by memcpy into a fresh block (allocation included, as Assign allocates).
void BM_iebitmap_copy_memcpy(benchmark::State& state)
{
    const auto bytes = static_cast<std::size_t>(ImageBytes());
    std::vector<std::uint8_t> src(bytes, 0x5A);
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[bytes]());
        std::memcpy(dst.get(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.get());
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes());
}

// The floor for touching every row once: the same moves on the same rows of the same image in memory,
// their addresses taken before the timing, so that only what ScanLine costs stands between the two.
// (A buffer of its own would sit elsewhere in the caches and measure them instead.)
void BM_iebitmap_rows_memcpy(benchmark::State& state)
{
    TIEBitmap& bmp = Image(false);
    const auto len = static_cast<std::size_t>(bmp.GetRowLen());
    std::vector<std::uint8_t*> rows(kHeight);
    for (int y = 0; y < kHeight; ++y)
        rows[std::size_t(y)] = bmp.ScanLine(y);
    std::vector<std::uint8_t> scratch(len);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = rows[std::size_t(y)];
            std::memcpy(scratch.data(), row, len);
            scratch[len - 1] ^= 1;
            benchmark::DoNotOptimize(scratch.data());
            std::memcpy(row, scratch.data(), len);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(scratch.data());
    }
    state.SetBytesProcessed(state.iterations() * ImageBytes());
}

}  // namespace

BENCHMARK(BM_iebitmap_rows_memory)->Name("ours/iebitmap_rows/memory")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iebitmap_rows_file)->Name("ours/iebitmap_rows/file")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iebitmap_rows_memcpy)->Name("memcpy/iebitmap_rows/memory")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iebitmap_copy_memory)->Name("ours/iebitmap_copy/memory")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iebitmap_copy_file)->Name("ours/iebitmap_copy/file")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_iebitmap_copy_memcpy)->Name("memcpy/iebitmap_copy/memory")->Unit(benchmark::kMillisecond);
