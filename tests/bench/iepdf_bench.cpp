// The PDF writer's own share of a 20-page document of bilevel A4 pages at 300 dpi coded Group 4
// (a photograph thresholded by ImageMagick, tests/bench/make-bench-images): the whole document,
// built and written to memory, against the Group 4 coding of the same rows alone, in the same run.
#include "imaging/io/iepdf.h"
#include "imaging/io/tifccitt.h"
#include "tests/imaging/io/peer_tool_util.h"
#include "tests/imaging/io/io_test_util.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using namespace imaging;

constexpr int kPages = 20;

// The page as a bilevel bitmap: white where the grey page is light.
TIEBitmap& Page()
{
    static TIEBitmap page;
    if (!page.GetWidth()) {
        TIEBitmap grey;
        std::unique_ptr<TIEBitmap> alpha;
        if (!test::LoadPnm(std::string(VA_BENCH_DATA_DIR) + "/page-a4.pgm", grey, alpha))
            throw std::runtime_error("the benchmark page cannot be read");
        page.Allocate(grey.GetWidth(), grey.GetHeight(), ie1g);
        for (int y = 0; y < grey.GetHeight(); ++y) {
            const std::uint8_t* in = grey.ScanLine(y);
            std::uint8_t* out = page.ScanLine(y);
            for (int x = 0; x < grey.GetWidth(); ++x)
                if (in[3 * x] >= 128)
                    out[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
        }
    }
    return page;
}

void Document(benchmark::State& state)
{
    TIOParamsVals p(nullptr);
    p.PDFCompression = 2;
    test::Progress progress;
    std::int64_t size = 0;
    for (auto _ : state) {
        std::unique_ptr<TIEPDFDocument> doc = PDFBeginDocument();
        for (int i = 0; i < kPages; ++i)
            PDFAddPage(doc.get(), &Page(), p, progress.record);
        rtl::TMemoryStream out;
        if (!PDFEndDocument(std::move(doc), out, p) || progress.Aborted())
            throw std::runtime_error("the document failed");
        size = out.Size();
        benchmark::DoNotOptimize(out.Memory());
    }
    state.counters["bytes"] = double(size);
}

// The rows as the coder takes them (1 for black), coded into memory: what the document cannot do
// without.
void Group4Only(benchmark::State& state)
{
    TIEBitmap& page = Page();
    const int w = page.GetWidth(), h = page.GetHeight();
    const std::size_t rowBytes = (std::size_t(w) + 7) / 8;
    std::vector<std::uint8_t> rows(rowBytes * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (std::size_t i = 0; i < rowBytes; ++i)
            rows[std::size_t(y) * rowBytes + i] = std::uint8_t(~page.ScanLine(y)[i]);
    for (auto _ : state) {
        for (int i = 0; i < kPages; ++i) {
            rtl::TMemoryStream out;
            TCCITTEncodeState s;
            for (int y = 0; y < h; ++y)
                CCITTEncodeG4Row(rows.data() + std::size_t(y) * rowBytes, w, out, s);
            CCITTEncodeG4Row(nullptr, w, out, s);
            benchmark::DoNotOptimize(out.Memory());
        }
    }
}

BENCHMARK(Document)->Name("ours/pdf_g4_20_pages/a4")->Unit(benchmark::kMillisecond);
BENCHMARK(Group4Only)->Name("g4/pdf_g4_20_pages/a4")->Unit(benchmark::kMillisecond);

}  // namespace
