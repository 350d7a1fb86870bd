// What the decoding benchmarks share: stb_image's decoding of a file, the peer they are set
// against, and the floor of a plain copy of the decoded bytes.
#pragma once

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace bench {

// stb_image decoding File to 8-bit RGB; DecodedBytes is the size of the image it makes.
inline void StbDecode(benchmark::State& state, const std::vector<std::uint8_t>& file,
                      std::int64_t decodedBytes)
{
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &n, 3);
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * decodedBytes);
}

// The floor: Bytes of decoded pixels copied once into a buffer allocated each time, as a decoder
// must allocate its image.
inline void CopyFloor(benchmark::State& state, const std::uint8_t* pixels, std::size_t bytes)
{
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[bytes]);
        std::memcpy(out.get(), pixels, bytes);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

}  // namespace bench
