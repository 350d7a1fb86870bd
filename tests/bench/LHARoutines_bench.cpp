// LZH codec speed: expansion against liblhasa on the same lh5 data in the same run, and
// compression speed and ratio against the jlha archiver on the same inputs.
#include "app/LHARoutines.h"

#include "tests/app/LhasaPeerSupport.h"
#include "tests/app/LzhTestSupport.h"

#include <benchmark/benchmark.h>
#include <lha_decoder.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

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
        m["binary"] = lzhtest::BinarySample(kSampleSize, 2);
        m["runs"] = lzhtest::RunsSample(kSampleSize, 3);
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

void Register()
{
    for (const char* kind : {"text", "binary", "runs", "random"}) {
        const std::string k = kind;
        benchmark::RegisterBenchmark(("BM_LHARoutines_expand_ours/" + k).c_str(), ExpandOurs, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_LHARoutines_expand_lhasa/" + k).c_str(), ExpandLhasa, k)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_LHARoutines_compress_ours/" + k).c_str(), CompressOurs, k)
            ->Unit(benchmark::kMillisecond);
    }
}

// Collects real times per benchmark name so the ratios can be printed at the end.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration)
                seconds_[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds_;
};

double WallSeconds(const std::string& cmd)
{
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// jlha is a Java program: time whole invocations and subtract the start-up cost measured on
// a one-byte file.
void CompareWithJlha()
{
    if (std::system("command -v jlha >/dev/null 2>&1") != 0) {
        std::printf("jlha not installed: compression comparison skipped\n");
        return;
    }
    char tmpl[] = "/tmp/lzhbench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        return;
    const std::string dir = tmpl;
    auto write = [&](const std::string& name, const Bytes& b) {
        std::ofstream f(dir + "/" + name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    };
    write("tiny", Bytes{'x'});
    double startup = 1e9;
    for (int i = 0; i < 3; ++i)
        startup =
            std::min(startup, WallSeconds("cd " + dir + " && rm -f tiny.lzh && jlha ao5q tiny.lzh tiny"));
    std::printf("\njlha start-up (one-byte file): %.3f s\n", startup);
    std::printf("%-8s %12s %12s %10s %12s %12s %10s\n", "input", "ours bytes", "jlha bytes", "size o/j",
                "ours MB/s", "jlha MB/s", "speed o/j");
    for (const auto& [kind, input] : Inputs()) {
        write(kind, input);
        double jlhaTime = 1e9;
        for (int i = 0; i < 3; ++i)
            jlhaTime = std::min(jlhaTime, WallSeconds("cd " + dir + " && rm -f " + kind +
                                                      ".lzh && jlha ao5q " + kind + ".lzh " + kind));
        std::ifstream f(dir + "/" + kind + ".lzh", std::ios::binary);
        const Bytes archive((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        const auto member = lzhtest::FirstMember(archive);
        rtl::TReadOnlyMemoryStream source(input.data(), static_cast<std::int64_t>(input.size()));
        NullStream sink;
        double oursTime = 1e9;
        for (int i = 0; i < 3; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            app::Compress(source, sink);
            oursTime = std::min(oursTime,
                                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        const double mb = static_cast<double>(input.size()) / 1e6;
        const double jlhaNet = std::max(jlhaTime - startup, 1e-3);
        const double oursSize = static_cast<double>(Packed(kind).size() - 4);
        std::printf("%-8s %12.0f %12zu %10.4f %12.1f %12.1f %10.2f   (jlha method %s)\n", kind.c_str(),
                    oursSize, member.packed.size(), oursSize / static_cast<double>(member.packed.size()),
                    mb / oursTime, mb / jlhaNet, jlhaNet / oursTime, member.method.c_str());
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Register();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nexpansion time ours/liblhasa (below 1 means we are faster):\n");
    for (const char* kind : {"text", "binary", "runs", "random"}) {
        const auto ours = reporter.seconds_.find(std::string("BM_LHARoutines_expand_ours/") + kind);
        const auto peer = reporter.seconds_.find(std::string("BM_LHARoutines_expand_lhasa/") + kind);
        if (ours != reporter.seconds_.end() && peer != reporter.seconds_.end())
            std::printf("  %-8s %.3f\n", kind, ours->second / peer->second);
    }
    CompareWithJlha();
    benchmark::Shutdown();
    return 0;
}
