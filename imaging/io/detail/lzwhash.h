// Hashed LZW compressor shared by the TIFF and GIF codecs; they differ in bit order and in when
// the code width grows.
#pragma once

#include "platform/rtl/Streams.h"

#include <array>
#include <cstdint>

namespace imaging::detail {

class LzwHashEncoder {
public:
    enum class Variant { Tiff, Gif };

    // GIF: codeSize is the minimum code size (2..8); TIFF always uses 8.
    LzwHashEncoder(Variant variant, int codeSize, rtl::TStream& stream);

    // Writes the clear code; TIFF strips start with one.
    void Start();
    void Add(const std::uint8_t* data, std::int64_t count);
    // Writes the pending prefix and the end code and flushes every bit.
    void Finish();

private:
    static constexpr int kHashSize = 5003;
    static constexpr int kHashShift = 4;
    static constexpr int kBlockSize = 254;

    void Output(int code);
    void ClearTable();
    void PutByte(std::uint8_t b);
    void FlushBlock();

    Variant variant_;
    rtl::TStream& stream_;  // not owned
    std::array<std::int32_t, kHashSize> hashTab_{};
    std::array<std::uint16_t, kHashSize> codeTab_{};
    int initBits_;
    int bits_;
    int maxCode_;
    int clearCode_;
    int endCode_;
    int freeCode_;
    int limit_;
    bool clearFlag_ = false;
    bool havePrefix_ = false;
    int prefix_ = 0;
    std::uint32_t accum_ = 0;
    int accumBits_ = 0;
    std::array<std::uint8_t, kBlockSize> block_{};
    int blockCount_ = 0;
};

}  // namespace imaging::detail
