// LZH codec: the lh5 method (8 KiB LZ77 window, static Huffman blocks) behind a 4-byte size.
//
// Compressed layout: uncompressed size N as unsigned 32-bit little-endian, then the lh5 bit
// stream padded to a whole byte. Both calls rewind the source and write at the destination's
// current position. One Compress or Expand runs at a time in the whole process; concurrent
// callers wait for each other.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <string>

namespace app {

// Raised for a bit stream that cannot be decoded. The message is always the user-facing
// "Compressed file is corrupt"; Detail() says what was wrong, for logs and tests.
class ECorruptFile : public rtl::Exception {
public:
    explicit ECorruptFile(std::string detail);
    const std::string& Detail() const noexcept { return detail_; }

private:
    std::string detail_;
};

// Largest source the 32-bit size field can describe.
inline constexpr std::int64_t kLzhMaxSourceSize = 0xFFFFFFFFll;

// Writes N and the compressed form of the whole of `source`. An empty source writes nothing at
// all (no size field). A source larger than kLzhMaxSourceSize raises rtl::EInvalidArgument
// before anything is written; stream failures pass through as the streams' own exceptions.
void Compress(rtl::TStream& source, rtl::TStream& dest);

// Reads N and writes exactly N expanded bytes to `dest`. An empty source writes nothing.
// Raises ECorruptFile for a stream of 1 to 3 bytes, inconsistent code tables, table counts
// or zero runs beyond their alphabet, a zero block size, or a bit stream that ends before N
// bytes are produced; bytes already written to `dest` stay there.
void Expand(rtl::TStream& source, rtl::TStream& dest);

}  // namespace app
