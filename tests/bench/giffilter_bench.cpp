// Decoding every frame of a 100-frame GIF (tests/bench/make-bench-images: ImageMagick's frames,
// rewritten by giflib's gifbuild) against giflib's DGifSlurp on the same bytes in memory. Ours
// reads frame after frame as a load of each would (from the file's start, the frames before it
// skipped), into palette bitmaps as giflib gives palette indexes. Before timing, every frame's
// indexes are checked against giflib's; a mismatch fails the run.
#include "imaging/io/giffilter.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& File()
{
    static const Bytes file = [] {
        std::ifstream in(std::string(VA_BENCH_DATA_DIR) + "/anim100.gif", std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read anim100.gif");
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return file;
}

struct Cursor {
    const Bytes* data;
    std::size_t pos;
};

int ReadMem(GifFileType* g, GifByteType* buf, int n)
{
    auto* c = static_cast<Cursor*>(g->UserData);
    const std::size_t k = std::min<std::size_t>(std::size_t(n), c->data->size() - c->pos);
    std::memcpy(buf, c->data->data() + c->pos, k);
    c->pos += k;
    return int(k);
}

GifFileType* Slurp()
{
    Cursor cur{&File(), 0};
    int err = 0;
    GifFileType* g = DGifOpen(&cur, ReadMem, &err);
    if (!g || DGifSlurp(g) != GIF_OK)
        throw std::runtime_error("giflib cannot read anim100.gif");
    g->UserData = nullptr;
    return g;
}

// Every frame into `bitmap` in turn; the number of frames.
int ReadAllOurs(imaging::TIEBitmap& bitmap, const std::function<void(int, imaging::TIEBitmap&)>& each = {})
{
    int count = 1;
    for (int i = 0; i < count; ++i) {
        rtl::TReadOnlyMemoryStream in(File().data(), std::int64_t(File().size()));
        imaging::TIOParamsVals params(nullptr);
        params.GIFImageIndex = i;
        params.NativePixelFormat = 1;
        imaging::test::Progress progress;
        std::unique_ptr<imaging::TIEMask> mask;
        imaging::ReadGIFStream(in, &bitmap, count, true, mask, false, progress.record, params);
        if (progress.Aborted())
            return -1;
        if (each)
            each(i, bitmap);
    }
    return count;
}

void Fail(benchmark::State& state, const std::string& what)
{
    state.SkipWithError(what.c_str());
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::exit(1);
}

std::int64_t PixelCount(GifFileType* g)
{
    std::int64_t n = 0;
    for (int i = 0; i < g->ImageCount; ++i)
        n += std::int64_t(g->SavedImages[i].ImageDesc.Width) * g->SavedImages[i].ImageDesc.Height;
    return n;
}

void Ours(benchmark::State& state)
{
    GifFileType* g = Slurp();
    imaging::TIEBitmap bitmap;
    bool same = true;
    const int count = ReadAllOurs(bitmap, [&](int i, imaging::TIEBitmap& b) {
        const SavedImage& s = g->SavedImages[i];
        for (int y = 0; y < b.GetHeight() && same; ++y)
            same = std::memcmp(b.ScanLine(y), s.RasterBits + std::size_t(y) * s.ImageDesc.Width,
                               std::size_t(b.GetWidth())) == 0 &&
                   b.GetWidth() == s.ImageDesc.Width;
    });
    if (count != g->ImageCount || count < 100 || !same)
        Fail(state, "our frames of anim100.gif differ from giflib's");
    const std::int64_t pixels = PixelCount(g);
    int err = 0;
    DGifCloseFile(g, &err);
    for (auto _ : state) {
        ReadAllOurs(bitmap);
        benchmark::DoNotOptimize(bitmap.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * pixels);
}

void Giflib(benchmark::State& state)
{
    std::int64_t pixels = 0;
    for (auto _ : state) {
        GifFileType* g = Slurp();
        pixels = PixelCount(g);
        benchmark::DoNotOptimize(g->SavedImages[g->ImageCount - 1].RasterBits);
        int err = 0;
        DGifCloseFile(g, &err);
    }
    state.SetBytesProcessed(state.iterations() * pixels);
}

}  // namespace

BENCHMARK(Ours)->Name("ours/gif_decode/anim100.gif")->Unit(benchmark::kMillisecond);
BENCHMARK(Giflib)->Name("giflib/gif_decode/anim100.gif")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
