// CCITT bilevel row codecs: modified Huffman (TIFF compression 2), Group 3 1-D and 2-D, Group 4.
#pragma once

#include "platform/rtl/Streams.h"

#include <cstdint>
#include <vector>

namespace imaging {

// Decoded rows: one bit per pixel, most significant bit first, 1 = white, 0 = black; the row
// needs (width + 7) / 8 bytes. The decoders never write past that, never read past `dataSize`,
// and never throw: invalid codes are skipped bit by bit, and a row the data do not finish is
// left white from there on. fillOrder 2 reads each byte least significant bit first.

// One byte-aligned modified Huffman row from the start of `data`; returns the bytes used.
std::int64_t CCITTDecodeHuffmanRow(const std::uint8_t* data, std::int64_t dataSize, std::uint8_t* row,
                                   std::int32_t width, int fillOrder);

// One Group 3 one-dimensional row from `bitPos`; returns the bit position after it.
std::int64_t CCITTDecode1DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, std::int32_t width, int fillOrder);

// One Group 3 two-dimensional or Group 4 row from `bitPos` against `refRow` (same layout; all
// ones before the first row), which then receives the decoded row. `eolAligned` is T4Options
// bit 2 (rows start with EOL codes padded to a byte); the decoder skips any fill zeros before an
// EOL, so it reads rows with and without that padding alike and the flag changes nothing. Returns
// the new bit position.
std::int64_t CCITTDecode2DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, std::uint8_t* refRow, std::int32_t width, int fillOrder,
                              bool eolAligned);

// A row's changing elements (pixels whose colour differs from the pixel before; pixel -1 is
// white): `slots` holds -1, the `count` elements in order, then the width three times.
struct TCCITTRowChanges {
    std::vector<std::int32_t> slots;
    std::size_t count = 0;
};

// What the two-dimensional decoder carries between rows of one strip in place of a reference row:
// the previous row's changes. A fresh or restarted state (or one whose width differs) starts all
// white, as a strip does.
struct TCCITTDecodeState {
    TCCITTRowChanges ref, row;
    std::int32_t width = 0;             // of the previous row; 0 before the first
    std::vector<std::uint8_t> wideRef;  // the previous row itself, for rows too wide to list

    void Restart() { width = 0; }
};

// CCITTDecode2DRow against the row decoded last with the same state.
std::int64_t CCITTDecode2DRow(const std::uint8_t* data, std::int64_t dataSize, std::int64_t bitPos,
                              std::uint8_t* row, TCCITTDecodeState& state, std::int32_t width, int fillOrder,
                              bool eolAligned);

// What the encoders carry between rows of one strip or image; the end call releases it.
struct TCCITTEncodeState {
    int pendingBits = 0;
    std::uint8_t pendingByte = 0;
    std::vector<std::uint8_t> refRow;  // previous row, rounded up to 32-bit words; empty before the first
};

// Encoder rows use 0 = white, 1 = black, most significant bit first. A call with row == nullptr
// ends the data. Write failures surface only through the stream.

// Byte-aligned modified Huffman row; the last partial byte is padded with zero bits.
void CCITTEncodeHuffmanRow(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream);
// Group 3 one-dimensional row, preceded by its EOL; a partial byte stays pending.
void CCITTEncodeG3Row1D(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                        TCCITTEncodeState& state);
// Group 3 two-dimensional row: EOL and tag bit 1 then a 1-D row for the first, EOL, tag 0 and a
// 2-D row after it. The end call writes one EOL and pads to a byte.
void CCITTEncodeG3Row(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                      TCCITTEncodeState& state);
// Group 4 row against the previous one (all white before the first). The end call writes the
// end-of-block (two EOL codes) and pads to a byte.
void CCITTEncodeG4Row(const std::uint8_t* row, std::int32_t width, rtl::TStream& stream,
                      TCCITTEncodeState& state);

}  // namespace imaging
