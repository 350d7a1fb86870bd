// Decoding every frame of a 100-frame GIF (tests/bench/make-bench-images: ImageMagick's frames,
// rewritten by giflib's gifbuild) against giflib's DGifSlurp on the same bytes in memory. Ours
// reads frame after frame as a load of each would (from the file's start, the frames before it
// skipped), into palette bitmaps as giflib gives palette indexes. Before timing, every frame's
// indexes are checked against giflib's; a mismatch fails the run.
//
// And stepping through a 100-frame animation of 400 x 300 with the I/O component, a LoadFromStream
// of each frame composed on the screen, against DGifSlurp of the whole file; before timing every
// picture is checked against giflib's frame.
#include "imaging/io/giffilter.h"
#include "imaging/io/vodiradio.h"
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

Bytes Load(const char* name)
{
    std::ifstream in(std::string(VA_BENCH_DATA_DIR) + "/" + name, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("cannot read ") + name);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const Bytes& File()
{
    static const Bytes file = Load("anim100.gif");
    return file;
}

const Bytes& File400()
{
    static const Bytes file = Load("anim400.gif");
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

GifFileType* Slurp(const Bytes& file = File())
{
    Cursor cur{&file, 0};
    int err = 0;
    GifFileType* g = DGifOpen(&cur, ReadMem, &err);
    if (!g || DGifSlurp(g) != GIF_OK)
        throw std::runtime_error("giflib cannot read the animation");
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

// Frames 0 to 99 of the 400 x 300 animation, one LoadFromStream each through one component, as a
// viewer steps through it: each frame composed on the logical screen. `each` sees every picture.
void WalkOurs(const std::function<void(int, imaging::TIEBitmap&)>& each = {})
{
    imaging::TVodirAdIO io(nullptr);
    rtl::TReadOnlyMemoryStream in(File400().data(), std::int64_t(File400().size()));
    for (int i = 0; i < 100; ++i) {
        io.Params().GIFImageIndex = i;
        in.SetPosition(0);
        io.LoadFromStream(in);
        if (io.AbortFlag)
            throw std::runtime_error("anim400.gif: frame " + std::to_string(i) + " failed");
        if (each)
            each(i, *io.IEBitmap());
    }
}

// The frames cover the screen and none is transparent: each picture is its frame's colours.
void OursStepping(benchmark::State& state)
{
    GifFileType* g = Slurp(File400());
    bool same = g->ImageCount == 100;
    WalkOurs([&](int i, imaging::TIEBitmap& b) {
        const SavedImage& s = g->SavedImages[i];
        const ColorMapObject* map = s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : g->SColorMap;
        same = same && b.GetWidth() == s.ImageDesc.Width && b.GetHeight() == s.ImageDesc.Height && map;
        for (int y = 0; y < b.GetHeight() && same; ++y)
            for (int x = 0; x < b.GetWidth() && same; ++x) {
                const GifColorType c = map->Colors[s.RasterBits[std::size_t(y) * s.ImageDesc.Width + x]];
                const imaging::TRGB p = b.GetPixel24(x, y);
                same = p.r == c.Red && p.g == c.Green && p.b == c.Blue;
            }
    });
    if (!same)
        Fail(state, "the frames of anim400.gif the component shows differ from giflib's");
    const std::int64_t pixels = PixelCount(g);
    int err = 0;
    DGifCloseFile(g, &err);
    for (auto _ : state)
        WalkOurs();
    state.SetBytesProcessed(state.iterations() * pixels);
}

void GiflibSlurp400(benchmark::State& state)
{
    std::int64_t pixels = 0;
    for (auto _ : state) {
        GifFileType* g = Slurp(File400());
        pixels = PixelCount(g);
        benchmark::DoNotOptimize(g->SavedImages[g->ImageCount - 1].RasterBits);
        int err = 0;
        DGifCloseFile(g, &err);
    }
    state.SetBytesProcessed(state.iterations() * pixels);
}

}  // namespace

BENCHMARK(OursStepping)->Name("ours/gif_component_frames/anim400.gif")->Unit(benchmark::kMillisecond);
BENCHMARK(GiflibSlurp400)->Name("giflib/gif_component_frames/anim400.gif")->Unit(benchmark::kMillisecond);
BENCHMARK(Ours)->Name("ours/gif_decode/anim100.gif")->Unit(benchmark::kMillisecond);
BENCHMARK(Giflib)->Name("giflib/gif_decode/anim100.gif")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
