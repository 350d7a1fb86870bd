// Raw DEFLATE decoding for the skin reader: whole input in memory, whole output in memory.
#pragma once

#include "platform/rtl/Streams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace skin {

// Raised when the data would inflate to more than the limit the caller gave: the stream may be
// sound, its stored size is not.
class EInflateTooLong : public rtl::Exception {
public:
    explicit EInflateTooLong(std::string message) : rtl::Exception(std::move(message)) {}
};

// Decodes the raw DEFLATE stream in `data` into `out` (replacing its contents) and returns the
// number of bytes written. Raises rtl::Exception when the data is malformed, when it ends before
// the last block, or (EInflateTooLong) when more than `maxOutput` bytes would be written; `out` is
// then unspecified.
// Bytes after the last block are ignored. Reserved block types are skipped with no output, and
// the stored block's NLEN is not checked.
std::size_t InflateBuffer(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
                          std::size_t maxOutput);

// The same from the position of `source` to the end of it, written to `dest`.
std::int64_t Inflate(rtl::TStream& source, rtl::TStream& dest, std::int64_t maxOutput);

}  // namespace skin
