// Fuzz target: CCITT row decoders on arbitrary bytes. Rows must stay inside their bytes, the 2-D
// decoder must give the same rows through a reference row as through a decoder state, and any
// decoded page must survive a Group 4 round trip through our own encoder unchanged.
#include "imaging/io/tifccitt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// Byte 0: bits 0-1 coding (MH, G3 1-D, G3 2-D, G4), bit 2 fill order 2, bit 3 EOL alignment.
// Bytes 1-2: width - 1 (12 bits). Byte 3: rows (low 5 bits). The rest is the coded data.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const int coding = data[0] & 3;
    const int fillOrder = (data[0] & 4) ? 2 : 1;
    const bool eolAligned = data[0] & 8;
    const std::int32_t width = ((data[1] | (data[2] << 8)) & 0xFFF) + 1;
    const int rows = (data[3] & 0x1F) + 1;
    const std::uint8_t* coded = data + 4;
    const auto codedSize = static_cast<std::int64_t>(size - 4);
    const std::size_t rowBytes = static_cast<std::size_t>((width + 7) / 8);

    std::vector<std::uint8_t> page(rowBytes * static_cast<std::size_t>(rows));
    std::vector<std::uint8_t> ref(rowBytes, 0xFF);
    imaging::TCCITTDecodeState decodeState;
    std::int64_t pos = 0, statePos = 0;
    for (int y = 0; y < rows; ++y) {
        // Each row gets a buffer of its own exact size so that the sanitizer sees any overrun.
        std::vector<std::uint8_t> row(rowBytes);
        switch (coding) {
        case 0: {
            const std::int64_t at = pos < codedSize ? pos : codedSize;
            const std::int64_t used =
                imaging::CCITTDecodeHuffmanRow(coded + at, codedSize - at, row.data(), width, fillOrder);
            if (used < 0 || used > codedSize - at)
                std::abort();
            pos += used;
            break;
        }
        case 1: pos = imaging::CCITTDecode1DRow(coded, codedSize, pos, row.data(), width, fillOrder); break;
        default: {
            pos = imaging::CCITTDecode2DRow(coded, codedSize, pos, row.data(), ref.data(), width, fillOrder,
                                            eolAligned);
            std::vector<std::uint8_t> viaState(rowBytes);
            statePos = imaging::CCITTDecode2DRow(coded, codedSize, statePos, viaState.data(), decodeState,
                                                 width, fillOrder, eolAligned);
            if (statePos != pos || viaState != row)
                std::abort();
            break;
        }
        }
        if (pos < 0 || (coding != 0 && pos > codedSize * 8))
            std::abort();
        std::memcpy(page.data() + rowBytes * static_cast<std::size_t>(y), row.data(), rowBytes);
    }

    // Decoded rows say 1 = white, the encoder takes 1 = black.
    std::vector<std::uint8_t> black(page);
    for (auto& b : black)
        b = static_cast<std::uint8_t>(~b);
    rtl::TMemoryStream strip;
    imaging::TCCITTEncodeState state;
    for (int y = 0; y < rows; ++y)
        imaging::CCITTEncodeG4Row(black.data() + rowBytes * static_cast<std::size_t>(y), width, strip, state);
    imaging::CCITTEncodeG4Row(nullptr, width, strip, state);
    std::vector<std::uint8_t> again(rowBytes);
    std::vector<std::uint8_t> ref2(rowBytes, 0xFF);
    std::int64_t pos2 = 0;
    for (int y = 0; y < rows; ++y) {
        pos2 = imaging::CCITTDecode2DRow(strip.Memory(), strip.Size(), pos2, again.data(), ref2.data(), width,
                                         1, false);
        if (std::memcmp(again.data(), page.data() + rowBytes * static_cast<std::size_t>(y), rowBytes) != 0)
            std::abort();
    }
    return 0;
}
