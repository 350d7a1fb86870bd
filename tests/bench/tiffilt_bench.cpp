// TIFF page decoding against libtiff on 4000 x 3000 pages its own tiffcp wrote (tests/bench/
// make-bench-images): uncompressed RGB, LZW with the horizontal predictor, and a Group 4 bilevel
// page. Ours reads the whole page from the bytes in memory into a new bitmap, the uncompressed page
// also through the I/O component's LoadFromStream; libtiff reads the memory-mapped file into a newly
// allocated page, strip by strip and, for the colour pages, also through its RGBA interface. Before timing,
// our pixels are checked against libtiff's; a mismatch fails the run.
#include "imaging/io/tiffilt.h"

#include "imaging/io/vodiradio.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DataPath(const std::string& name) { return std::string(VA_BENCH_DATA_DIR) + "/" + name; }

const Bytes& FileBytes(const std::string& name)
{
    static std::map<std::string, Bytes> files;
    auto it = files.find(name);
    if (it == files.end()) {
        std::ifstream in(DataPath(name), std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + name);
        it = files.emplace(name, Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()))
                 .first;
    }
    return it->second;
}

TIFF* Open(const std::string& name)
{
    static std::map<std::string, TIFF*> open;
    auto it = open.find(name);
    if (it == open.end()) {
        TIFF* tif = TIFFOpen(DataPath(name).c_str(), "r");
        if (!tif)
            throw std::runtime_error("libtiff cannot open " + name);
        it = open.emplace(name, tif).first;
    }
    return it->second;
}

void Fail(benchmark::State& state, const std::string& what)
{
    state.SkipWithError(what.c_str());
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::exit(1);
}

bool ReadOurs(const Bytes& file, imaging::TIEBitmap& bitmap)
{
    rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
    imaging::TIOParamsVals params(nullptr);
    imaging::test::Progress progress;
    std::unique_ptr<imaging::TIEMask> mask;
    int count = 0;
    imaging::ReadTIFFStream(&bitmap, in, count, false, true, true, mask, false, progress.record, params);
    return !progress.Aborted();
}

std::int64_t PageBytes(TIFF* tif)
{
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    return std::int64_t(TIFFScanlineSize(tif)) * h;
}

// libtiff's strips, one after another.
Bytes LibtiffStrips(TIFF* tif)
{
    const tmsize_t stripSize = TIFFStripSize(tif);
    Bytes out(std::size_t(PageBytes(tif) + stripSize));
    std::size_t at = 0;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
        at += std::size_t(std::max<tmsize_t>(TIFFReadEncodedStrip(tif, s, out.data() + at, stripSize), 0));
    out.resize(at);
    return out;
}

// Our bitmap against libtiff's strips: RGB against B,G,R; bilevel rows against the file's bits
// (min-is-white: 1 for black, where ours hold 1 for white).
bool Same(imaging::TIEBitmap& b, TIFF* tif, const Bytes& strips)
{
    std::uint16_t photometric = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    const std::size_t rowBytes = std::size_t(TIFFScanlineSize(tif));
    for (int y = 0; y < b.GetHeight(); ++y) {
        const std::uint8_t* ours = b.ScanLine(y);
        const std::uint8_t* theirs = strips.data() + std::size_t(y) * rowBytes;
        if (b.GetPixelFormat() == imaging::ie1g) {
            for (std::size_t i = 0; i < rowBytes; ++i)
                if (std::uint8_t(photometric == PHOTOMETRIC_MINISWHITE ? ~theirs[i] : theirs[i]) != ours[i])
                    return false;
        } else {
            for (int x = 0; x < b.GetWidth(); ++x)
                if (ours[3 * x] != theirs[3 * x + 2] || ours[3 * x + 1] != theirs[3 * x + 1] ||
                    ours[3 * x + 2] != theirs[3 * x])
                    return false;
        }
    }
    return true;
}

void Ours(benchmark::State& state, const std::string& name)
{
    const Bytes& file = FileBytes(name);
    imaging::TIEBitmap bitmap;
    if (!ReadOurs(file, bitmap) || !Same(bitmap, Open(name), LibtiffStrips(Open(name))))
        Fail(state, "our decoding of " + name + " differs from libtiff's");
    for (auto _ : state) {
        ReadOurs(file, bitmap);
        benchmark::DoNotOptimize(bitmap.ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PageBytes(Open(name)));
}

// The same page loaded as a program loads it: through the I/O component's LoadFromStream (the
// format found by content, the page handed to the component's bitmap), from the bytes in memory.
void OursComponent(benchmark::State& state, const std::string& name)
{
    const Bytes& file = FileBytes(name);
    imaging::TVodirAdIO io(nullptr);
    const auto load = [&] {
        rtl::TReadOnlyMemoryStream in(file.data(), std::int64_t(file.size()));
        io.LoadFromStream(in);
        return !io.AbortFlag;
    };
    if (!load() || !Same(*io.IEBitmap(), Open(name), LibtiffStrips(Open(name))))
        Fail(state, "the component's loading of " + name + " differs from libtiff's");
    for (auto _ : state) {
        load();
        benchmark::DoNotOptimize(io.IEBitmap()->ScanLine(0));
    }
    state.SetBytesProcessed(state.iterations() * PageBytes(Open(name)));
}

// Like ours, each decoding has a page of its own, allocated (as libtiff's tools allocate theirs).
void LibtiffStripReads(benchmark::State& state, const std::string& name)
{
    TIFF* tif = Open(name);
    const tmsize_t stripSize = TIFFStripSize(tif);
    const std::size_t size = std::size_t(PageBytes(tif) + stripSize);
    for (auto _ : state) {
        auto* out = static_cast<std::uint8_t*>(_TIFFmalloc(tmsize_t(size)));
        std::size_t at = 0;
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s)
            at += std::size_t(TIFFReadEncodedStrip(tif, s, out + at, stripSize));
        benchmark::DoNotOptimize(out);
        _TIFFfree(out);
    }
    state.SetBytesProcessed(state.iterations() * PageBytes(tif));
}

void LibtiffRgba(benchmark::State& state, const std::string& name)
{
    TIFF* tif = Open(name);
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    for (auto _ : state) {
        auto* raster = static_cast<std::uint32_t*>(_TIFFmalloc(tmsize_t(std::size_t(w) * h * 4)));
        if (!TIFFReadRGBAImageOriented(tif, w, h, raster, ORIENTATION_TOPLEFT, 0))
            Fail(state, "libtiff cannot read " + name);
        benchmark::DoNotOptimize(raster);
        _TIFFfree(raster);
    }
    state.SetBytesProcessed(state.iterations() * PageBytes(tif));
}

using BenchFn = void (*)(benchmark::State&, const std::string&);

void Register(const char* work, BenchFn fn, const std::string& file)
{
    benchmark::RegisterBenchmark((std::string(work) + "/tiff_decode/" + file).c_str(), fn, file)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (const char* file : {"page4k-none.tif", "page4k-lzw2.tif", "page4k-g4.tif"}) {
        Register("ours", Ours, file);
        if (std::string(file) == "page4k-none.tif")
            Register("component", OursComponent, file);
        Register("libtiff_strips", LibtiffStripReads, file);
        if (std::string(file) != "page4k-g4.tif")
            Register("libtiff_rgba", LibtiffRgba, file);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
