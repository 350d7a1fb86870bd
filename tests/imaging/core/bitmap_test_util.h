// Shared helpers of the image core tests: bitmaps in each storage place and row comparisons.
#pragma once

#include "imaging/core/iebitmap.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace imaging::test {

enum class Storage { Memory, File, Platform };

inline const char* StorageName(Storage s)
{
    switch (s) {
    case Storage::Memory: return "memory";
    case Storage::File: return "file";
    default: return "platform";
    }
}

// A bitmap that keeps its pixels in the given place (the platform bitmap still sends ie16g and
// ie32f to memory).
inline std::unique_ptr<TIEBitmap> MakeBitmap(Storage storage)
{
    auto bmp = std::make_unique<TIEBitmap>();
    switch (storage) {
    case Storage::Memory:
        bmp->MinFileSize = std::int64_t(1) << 40;
        bmp->SetLocation(ieMemory);
        break;
    case Storage::File:
        bmp->MinFileSize = 0;
        bmp->SetLocation(ieFile);
        break;
    case Storage::Platform:
        bmp->MinFileSize = std::int64_t(1) << 40;
        bmp->SetLocation(ieTBitmap);
        break;
    }
    return bmp;
}

// Every row's pixel bytes (padding excluded for 1-bit and 24-bit rows is not needed: padding is
// part of the comparison, since it must match too).
inline std::vector<std::uint8_t> Rows(TIEBitmap& bmp)
{
    std::vector<std::uint8_t> out;
    const int h = bmp.GetHeight();
    const int len = bmp.GetRowLen();
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* p = bmp.ScanLine(y);
        out.insert(out.end(), p, p + len);
    }
    return out;
}

// The pixel bits of every row, padding left out (bits beyond the width of a 1-bit row cleared).
inline std::vector<std::uint8_t> PixelRows(TIEBitmap& bmp)
{
    std::vector<std::uint8_t> out;
    const int h = bmp.GetHeight();
    const std::int64_t bits = std::int64_t(bmp.GetWidth()) * bmp.GetBitCount();
    const auto bytes = static_cast<std::size_t>((bits + 7) / 8);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* p = bmp.ScanLine(y);
        out.insert(out.end(), p, p + bytes);
        if (bits % 8)
            out.back() &= static_cast<std::uint8_t>(0xFF00 >> (bits % 8));
    }
    return out;
}

// Where two byte strings first differ, for readable failure messages.
inline std::string FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != b.size())
        return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return "byte " + std::to_string(i) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    return "none";
}

inline void FillRandom(TIEBitmap& bmp, std::mt19937& rng)
{
    const int h = bmp.GetHeight();
    const int len = bmp.GetRowLen();
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = bmp.ScanLine(y);
        for (int i = 0; i < len; ++i)
            p[i] = static_cast<std::uint8_t>(rng());
    }
}

}  // namespace imaging::test
