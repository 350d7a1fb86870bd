// Hashed LZW compressor shared by the TIFF and GIF codecs.
#include "imaging/io/detail/lzwhash.h"

#include <algorithm>

namespace imaging::detail {

LzwHashEncoder::LzwHashEncoder(Variant variant, int codeSize, rtl::TStream& stream)
    : variant_(variant), stream_(stream)
{
    if (variant_ == Variant::Tiff)
        codeSize = 8;
    initBits_ = codeSize + 1;
    bits_ = initBits_;
    clearCode_ = 1 << codeSize;
    endCode_ = clearCode_ + 1;
    freeCode_ = clearCode_ + 2;
    // TIFF stops two short of 4096 so that its early width change never needs a 13th bit.
    limit_ = variant_ == Variant::Tiff ? 4094 : 4096;
    maxCode_ = (1 << bits_) - 1;
    hashTab_.fill(-1);
}

void LzwHashEncoder::Start() { Output(clearCode_); }

void LzwHashEncoder::ClearTable()
{
    hashTab_.fill(-1);
    freeCode_ = clearCode_ + 2;
    clearFlag_ = true;
    Output(clearCode_);
}

void LzwHashEncoder::Add(const std::uint8_t* data, std::int64_t count)
{
    const int valueMask = clearCode_ - 1;
    for (std::int64_t k = 0; k < count; ++k) {
        const int c = data[k] & valueMask;
        if (!havePrefix_) {
            prefix_ = c;
            havePrefix_ = true;
            continue;
        }
        const std::int32_t key = (static_cast<std::int32_t>(c) << 12) + prefix_;
        int slot = (c << kHashShift) ^ prefix_;
        bool found = false;
        if (hashTab_[slot] == key) {
            found = true;
        } else if (hashTab_[slot] >= 0) {
            const int disp = slot == 0 ? 1 : kHashSize - slot;
            do {
                slot -= disp;
                if (slot < 0)
                    slot += kHashSize;
                if (hashTab_[slot] == key) {
                    found = true;
                    break;
                }
            } while (hashTab_[slot] >= 0);
        }
        if (found) {
            prefix_ = codeTab_[slot];
            continue;
        }
        Output(prefix_);
        prefix_ = c;
        if (freeCode_ < limit_) {
            codeTab_[slot] = static_cast<std::uint16_t>(freeCode_++);
            hashTab_[slot] = key;
        } else {
            ClearTable();
        }
    }
}

void LzwHashEncoder::Finish()
{
    if (havePrefix_)
        Output(prefix_);
    Output(endCode_);
    if (variant_ == Variant::Tiff) {
        if (accumBits_ > 0)
            PutByte(static_cast<std::uint8_t>((accum_ << (8 - accumBits_)) & 0xFF));
    } else {
        while (accumBits_ > 0) {
            PutByte(static_cast<std::uint8_t>(accum_ & 0xFF));
            accum_ >>= 8;
            accumBits_ = std::max(0, accumBits_ - 8);
        }
    }
    accum_ = 0;
    accumBits_ = 0;
    FlushBlock();
}

void LzwHashEncoder::Output(int code)
{
    if (variant_ == Variant::Tiff) {
        accum_ = (accum_ << bits_) | static_cast<std::uint32_t>(code);
        accumBits_ += bits_;
        while (accumBits_ >= 8) {
            PutByte(static_cast<std::uint8_t>((accum_ >> (accumBits_ - 8)) & 0xFF));
            accumBits_ -= 8;
        }
        accum_ &= (1u << accumBits_) - 1;
    } else {
        accum_ |= static_cast<std::uint32_t>(code) << accumBits_;
        accumBits_ += bits_;
        while (accumBits_ >= 8) {
            PutByte(static_cast<std::uint8_t>(accum_ & 0xFF));
            accum_ >>= 8;
            accumBits_ -= 8;
        }
    }

    if (clearFlag_) {
        bits_ = initBits_;
        maxCode_ = (1 << bits_) - 1;
        clearFlag_ = false;
        return;
    }
    // TIFF readers widen one code early, GIF readers when the table passes the width.
    const bool grow = variant_ == Variant::Tiff ? freeCode_ >= maxCode_ : freeCode_ > maxCode_;
    if (grow && bits_ < 12) {
        ++bits_;
        maxCode_ = bits_ == 12 ? (variant_ == Variant::Tiff ? 4095 : 4096) : (1 << bits_) - 1;
    }
}

void LzwHashEncoder::PutByte(std::uint8_t b)
{
    block_[static_cast<std::size_t>(blockCount_++)] = b;
    if (blockCount_ >= kBlockSize)
        FlushBlock();
}

void LzwHashEncoder::FlushBlock()
{
    if (blockCount_ == 0)
        return;
    if (variant_ == Variant::Gif) {
        const std::uint8_t len = static_cast<std::uint8_t>(blockCount_);
        stream_.Write(&len, 1);
    }
    stream_.Write(block_.data(), blockCount_);
    blockCount_ = 0;
}

}  // namespace imaging::detail
