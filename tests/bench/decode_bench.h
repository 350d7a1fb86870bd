// What the decoding benchmarks share: the picture they decode, stb_image's decoding of a file, the
// peer they are set against, and the floor of a plain copy of the decoded bytes.
#pragma once

#include "imaging/core/iebitmap.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace bench {

// A smooth photo-like 24-bit field with grain, Width x Height, the same on every call.
inline void PaintGrainyField(imaging::TIEBitmap& b, int width, int height)
{
    b.Allocate(width, height, imaging::ie24RGB);
    std::mt19937 rnd(5);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const double v = 128 + 60 * std::sin(x * 0.003) * std::cos(y * 0.004);
            row[3 * x] = std::uint8_t(v + rnd() % 16);
            row[3 * x + 1] = std::uint8_t(255 - v + rnd() % 16);
            row[3 * x + 2] = std::uint8_t((x + y) / 30 + rnd() % 16);
        }
    }
}

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
