// PackBits run-length coding, written by the TIFF writer and, as RunLengthDecode data, by the
// PostScript and PDF writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging::detail {

// Appends Data coded as repeats (257 - n and the byte) of every run of MinRun to 128 equal bytes,
// and literal stretches (n - 1 and the bytes) of at most 128 bytes between them. A smaller MinRun
// codes shorter runs as repeats; no end-of-data byte is added.
void IEPackBits(const std::uint8_t* Data, std::size_t Count, std::size_t MinRun,
                std::vector<std::uint8_t>& Out);

}  // namespace imaging::detail
