// Inflate speed of the skin reader against zlib's inflate on the same streams in the same run.
// Both decode from memory into a buffer kept between iterations; the ratio to read is
// BM_SUI2Inflate_ours / BM_SUI2Inflate_zlib for the same data and level.
#include "skin/SUI2Inflate.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSampleSize = 4u << 20;

// Skin-like data: 24-bit pixel rows of gradients and flat areas with a little noise, and text.
Bytes Sample(int kind)
{
    std::mt19937 rng(static_cast<std::uint32_t>(kind) + 7);
    Bytes b(kSampleSize);
    if (kind == 0) {
        for (std::size_t i = 0; i < b.size(); ++i) {
            const std::size_t x = (i / 3) % 320;
            const std::size_t y = i / 960;
            const std::size_t c = i % 3;
            b[i] = static_cast<std::uint8_t>(x < 100 ? 0xE7 : (x * (c + 1) + y * 2 + (rng() % 3)));
        }
    } else {
        static const char* words[] = {"skin",   "title",    "button", "border ",
                                      "colour", "bitmap\n", "the ",   "a "};
        std::size_t i = 0;
        while (i < b.size()) {
            const char* w = words[rng() % 8];
            while (*w && i < b.size())
                b[i++] = static_cast<std::uint8_t>(*w++);
        }
    }
    return b;
}

Bytes Deflate(const Bytes& data, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const std::pair<Bytes, Bytes>& Case(int kind, int level)
{
    static std::map<std::pair<int, int>, std::pair<Bytes, Bytes>> cache;
    auto it = cache.find({kind, level});
    if (it == cache.end()) {
        Bytes data = Sample(kind);
        Bytes packed = Deflate(data, level);
        it = cache.emplace(std::make_pair(kind, level), std::make_pair(std::move(data), std::move(packed)))
                 .first;
    }
    return it->second;
}

void BM_SUI2Inflate_ours(benchmark::State& state)
{
    const auto& [data, packed] = Case(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Bytes out;
    for (auto _ : state) {
        skin::InflateBuffer(packed.data(), packed.size(), out, data.size());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != data)
        state.SkipWithError("our output differs from the input");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_SUI2Inflate_zlib(benchmark::State& state)
{
    const auto& [data, packed] = Case(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Bytes out(data.size());
    z_stream z{};
    inflateInit2(&z, -15);
    for (auto _ : state) {
        inflateReset(&z);
        z.next_in = const_cast<Bytef*>(packed.data());
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("zlib failed");
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&z);
    if (out != data)
        state.SkipWithError("zlib output differs from the input");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// Arguments: data kind (0 pixels, 1 text), zlib level.
void Cases(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"kind", "level"});
    for (int kind : {0, 1})
        for (int level : {1, 6, 9})
            b->Args({kind, level});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_SUI2Inflate_zlib)->Apply(Cases);
BENCHMARK(BM_SUI2Inflate_ours)->Apply(Cases);

}  // namespace
