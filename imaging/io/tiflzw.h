// LZW codec of TIFF strips: codes most significant bit first, code width growing one code early.
#pragma once

#include "platform/rtl/Streams.h"

#include <cstdint>
#include <memory>

namespace imaging {

struct TIFFLZWDecodeState;
struct TIFFLZWEncodeState;
struct TIFFLZWStateFree {
    void operator()(TIFFLZWDecodeState* state) const noexcept;
    void operator()(TIFFLZWEncodeState* state) const noexcept;
};
using TIFFLZWDecodeStatePtr = std::unique_ptr<TIFFLZWDecodeState, TIFFLZWStateFree>;
using TIFFLZWEncodeStatePtr = std::unique_ptr<TIFFLZWEncodeState, TIFFLZWStateFree>;

// Returns the next decoded row of one strip (or plane). The first call, with `state` empty,
// creates a state over `data`, which must stay as it is until the state is freed; later calls
// ignore `data`. A call with no data (nullptr or
// size 0) frees the state and returns nullptr. The returned bytes stay valid until the next call;
// `*produced` (when given) receives how many of them are valid: rowLength, or fewer once the data
// are used up. nullptr means corrupt data (a code past the table, a table past 4096 entries)
// or a row length outside 1..2^30.
const std::uint8_t* TIFFLZWDecompress(const std::uint8_t* data, std::int64_t dataSize, std::int32_t rowLength,
                                      TIFFLZWDecodeStatePtr& state, std::int32_t* produced = nullptr);

// Compresses `count` bytes into `stream`. The first call (state empty) writes the clear code
// first. A call with no data writes the end code, flushes and frees the state.
void TIFFLZWCompress(const std::uint8_t* data, std::int64_t count, rtl::TStream& stream,
                     TIFFLZWEncodeStatePtr& state);

using TTIFFLZWDecompressFunc = decltype(&TIFFLZWDecompress);
using TTIFFLZWCompressFunc = decltype(&TIFFLZWCompress);

// The library-wide routine references. They start out as the routines above; a program may
// replace them, or set them to nullptr to leave TIFF LZW out.
extern TTIFFLZWDecompressFunc DefTIFFLZWDecompress;
extern TTIFFLZWCompressFunc DefTIFFLZWCompress;

}  // namespace imaging
