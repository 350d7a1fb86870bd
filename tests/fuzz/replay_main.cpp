// Replays a fuzz target's corpus as an ordinary test: every file in the folders given is fed once.
// With --mutate=N each file is also fed in N changed copies, made the same way on every run: for
// code no fuzzer reaches (the Windows code, run under Wine), a corpus generated from the seeds.
// With --last=FILE every input is written there before it runs, so a crash leaves its input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::vector<std::uint8_t>;

// xorshift64*: small, and the same sequence on every platform.
struct TRandom {
    std::uint64_t state;
    std::uint32_t Next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<std::uint32_t>((state * 0x2545F4914F6CDD1DULL) >> 32);
    }
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : Next() % n; }
};

// One to four of the changes a fuzzer makes first: bits flipped, bytes and 32-bit fields set to
// values at the edges, the data cut or lengthened, a piece repeated.
Bytes Mutant(const Bytes& seed, TRandom& rng)
{
    static const std::uint32_t kEdges[] = {0,          1,          0x7F,       0x80,       0xFF,
                                           0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF,
                                           0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 0x01000000, 0x00100000};
    Bytes b = seed;
    const int changes = 1 + static_cast<int>(rng.Below(4));
    for (int c = 0; c < changes; ++c) {
        switch (rng.Below(7)) {
        case 0:
            if (!b.empty())
                b[rng.Below(b.size())] ^= static_cast<std::uint8_t>(1u << rng.Below(8));
            break;
        case 1:
            if (!b.empty())
                b[rng.Below(b.size())] = static_cast<std::uint8_t>(kEdges[rng.Below(std::size(kEdges))]);
            break;
        case 2:
            if (b.size() >= 4) {
                const std::size_t at = rng.Below(b.size() - 3);
                std::uint32_t v = kEdges[rng.Below(std::size(kEdges))];
                if (rng.Below(2))  // near the field's own value
                    v = (b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24) +
                        static_cast<std::uint32_t>(rng.Below(5)) - 2;
                for (int i = 0; i < 4; ++i)
                    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
            }
            break;
        case 3: b.resize(rng.Below(b.size() + 1)); break;
        case 4:
            for (std::size_t n = 1 + rng.Below(16); n > 0; --n)
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(rng.Below(b.size() + 1)),
                         static_cast<std::uint8_t>(rng.Next()));
            break;
        case 5:
            if (!b.empty()) {
                const std::size_t from = rng.Below(b.size());
                const std::size_t n = 1 + rng.Below(std::min<std::size_t>(b.size() - from, 64));
                const Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(from),
                                  b.begin() + static_cast<std::ptrdiff_t>(from + n));
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(rng.Below(b.size() + 1)), piece.begin(),
                         piece.end());
            }
            break;
        default:
            if (!b.empty())
                b.erase(b.begin() + static_cast<std::ptrdiff_t>(rng.Below(b.size())));
            break;
        }
    }
    return b;
}

}  // namespace

namespace {

std::string lastPath;  // empty: inputs are not kept

void Run(const Bytes& bytes)
{
    if (!lastPath.empty())
        std::ofstream(lastPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t count = 0;
    long mutate = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--mutate=", 9) == 0) {
            mutate = std::strtol(argv[i] + 9, nullptr, 10);
            continue;
        }
        if (std::strncmp(argv[i], "--last=", 7) == 0) {
            lastPath = argv[i] + 7;
            continue;
        }
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            Run(bytes);
            ++count;
            // Seeded by the file's name, so every run makes the same copies.
            TRandom rng{0x9E3779B97F4A7C15ULL};
            for (char c : entry.path().filename().string())
                rng.state = (rng.state ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
            for (long m = 0; m < mutate; ++m) {
                Run(Mutant(bytes, rng));
                ++count;
            }
        }
        if (ec) {
            std::fprintf(stderr, "cannot read corpus %s: %s\n", argv[i], ec.message().c_str());
            return 1;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
