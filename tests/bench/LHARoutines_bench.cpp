// LZH codec speed. Expansion against liblhasa on the same lh5 data; liblhasa also computes the
// CRC-16 of what it writes, so ours is timed with and without such a pass. Compression against jlha's
// lh5 encoder inside one warmed JVM (tests/bench/jlha), a helper process that compresses each input a
// few times before it answers: its runs interleave with ours, one compression per request, and it
// inherits this process's CPU affinity (scripts/bench pins both to one core, so the JVM's collector
// and compiler share the core its encoder runs on). Both sides report the compressed size.
#include "app/LHARoutines.h"

#include "tests/app/LhasaPeerSupport.h"
#include "tests/app/LzhTestSupport.h"
#include "tests/bench/helper_process.h"

#include <benchmark/benchmark.h>
#include <lha_decoder.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using lzhtest::Bytes;
using lzhtest::MemorySource;
using lzhtest::ReadMemory;

constexpr std::size_t kSampleSize = 4u << 20;

const std::map<std::string, Bytes>& Inputs()
{
    static const std::map<std::string, Bytes> inputs = [] {
        std::map<std::string, Bytes> m;
        m["text"] = lzhtest::TextSample(kSampleSize, 1);
        m["text_1mib"] = lzhtest::TextSample(std::size_t{1} << 20, 5);
        m["binary"] = lzhtest::BinarySample(kSampleSize, 2);
        m["binary_1mib"] = lzhtest::BinarySample(std::size_t{1} << 20, 2);
        m["runs"] = lzhtest::RunsSample(kSampleSize, 3);
        m["rows"] = lzhtest::RowsSample(kSampleSize, 6);
        m["random"] = lzhtest::RandomSample(kSampleSize, 4);
        return m;
    }();
    return inputs;
}

const Bytes& Packed(const std::string& kind)
{
    static std::map<std::string, Bytes> cache;
    auto it = cache.find(kind);
    if (it == cache.end())
        it = cache.emplace(kind, lzhtest::CompressBytes(Inputs().at(kind))).first;
    return it->second;
}

// Writes nowhere; keeps the destination out of the measurement.
class NullStream : public rtl::TStream {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t count) override
    {
        benchmark::DoNotOptimize(count);
        return count;
    }
    std::int64_t Seek(std::int64_t, rtl::TSeekOrigin) override { return 0; }
};

void ExpandOurs(benchmark::State& state, const std::string& kind)
{
    const Bytes& packed = Packed(kind);
    rtl::TReadOnlyMemoryStream source(packed.data(), static_cast<std::int64_t>(packed.size()));
    NullStream sink;
    for (auto _ : state)
        app::Expand(source, sink);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Inputs().at(kind).size()));
}

void ExpandLhasa(benchmark::State& state, const std::string& kind)
{
    const Bytes& packed = Packed(kind);
    const std::size_t size = Inputs().at(kind).size();
    char method[] = "-lh5-";
    LHADecoderType* type = lha_decoder_for_name(method);
    std::vector<std::uint8_t> out(8192);
    for (auto _ : state) {
        MemorySource src{packed.data() + 4, packed.size() - 4, 0};
        LHADecoder* dec = lha_decoder_new(type, ReadMemory, &src, size);
        std::size_t got = 0;
        while (got < size) {
            const std::size_t n = lha_decoder_read(dec, out.data(), out.size());
            if (n == 0)
                break;
            got += n;
            benchmark::DoNotOptimize(out.data());
        }
        lha_decoder_free(dec);
        if (got != size)
            state.SkipWithError("liblhasa decoded a different length");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// The CRC-16 (polynomial 0xA001, reflected) that liblhasa computes over everything it decodes.
const std::array<std::uint16_t, 256>& CrcTable()
{
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
            t[i] = std::uint16_t(c);
        }
        return t;
    }();
    return table;
}

// Our expansion followed by the same CRC pass, so that both sides do the same work.
class CrcStream : public rtl::TStream {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* buffer, std::int32_t count) override
    {
        const auto& t = CrcTable();
        const auto* p = static_cast<const std::uint8_t*>(buffer);
        for (std::int32_t i = 0; i < count; ++i)
            crc = std::uint16_t(t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
        return count;
    }
    std::int64_t Seek(std::int64_t, rtl::TSeekOrigin) override { return 0; }
    std::uint16_t crc = 0;
};

void ExpandOursWithCrc(benchmark::State& state, const std::string& kind)
{
    const Bytes& packed = Packed(kind);
    rtl::TReadOnlyMemoryStream source(packed.data(), static_cast<std::int64_t>(packed.size()));
    for (auto _ : state) {
        CrcStream sink;
        app::Expand(source, sink);
        benchmark::DoNotOptimize(sink.crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Inputs().at(kind).size()));
}

void CompressOurs(benchmark::State& state, const std::string& kind)
{
    const Bytes& input = Inputs().at(kind);
    rtl::TReadOnlyMemoryStream source(input.data(), static_cast<std::int64_t>(input.size()));
    NullStream sink;
    for (auto _ : state)
        app::Compress(source, sink);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(Packed(kind).size()) / static_cast<double>(input.size());
}

const char* const kCompressKinds[] = {"text", "text_1mib", "binary", "binary_1mib", "rows"};

// The JVM, started once with every input written to a temporary folder.
bench::THelperProcess& Jlha()
{
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("lzhbench-" + std::to_string(getpid()));
    static bench::THelperProcess jvm = [] {
        std::filesystem::create_directories(dir);
        std::vector<std::string> args{"-cp", VA_JLHA_CLASSES ":" VA_JLHA_JAR, "JlhaCompressBench", "5"};
        for (const char* kind : kCompressKinds) {
            lzhtest::WriteFile(dir / kind, Inputs().at(kind));
            args.push_back(std::string(kind) + "=" + (dir / kind).string());
        }
        return bench::THelperProcess(VA_JAVA, args);
    }();
    static const bool removed = (std::filesystem::remove_all(dir), true);
    (void)removed;
    return jvm;
}

void CompressJlha(benchmark::State& state, const std::string& kind)
{
    const std::size_t size = Inputs().at(kind).size();
    const std::string answer = Jlha().Timed(kind).rest;
    double cpu = 0;
    for (auto _ : state)
        Jlha().TimeIteration(state, kind, cpu);
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["ratio"] = std::stod(answer) / static_cast<double>(size);
}

void Register()
{
    for (const auto& [kind, input] : Inputs()) {
        const std::string k = kind;
        benchmark::RegisterBenchmark(("ours/lh5_expand/" + k).c_str(), ExpandOurs, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("liblhasa/lh5_expand/" + k).c_str(), ExpandLhasa, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ours/lh5_expand_crc/" + k).c_str(), ExpandOursWithCrc, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ours/lh5_compress/" + k).c_str(), CompressOurs, k)
            ->Unit(benchmark::kMillisecond);
    }
    for (const char* kind : kCompressKinds) {
        const std::string k = kind;
        benchmark::RegisterBenchmark(("jlha/lh5_compress/" + k).c_str(), CompressJlha, k)
            ->UseManualTime()
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
