// Bit-level reading over a byte buffer and most-significant-bit-first writing to a stream.
#pragma once

#include "platform/rtl/Endian.h"
#include "platform/rtl/Streams.h"

#include <cstdint>
#include <vector>

namespace imaging::detail {

// The 8 bytes at `at` as a big-endian number, with zero bytes for those at or past `size`.
inline std::uint64_t LoadBE64Padded(const std::uint8_t* data, std::int64_t size, std::int64_t at)
{
    if (at + 8 <= size)
        return rtl::LoadBE64(data + at);
    std::uint64_t v = 0;
    for (std::int64_t i = 0; i < 8; ++i)
        v = (v << 8) | (at + i < size ? data[at + i] : 0u);
    return v;
}

// Reads bits from memory that someone else owns, in stream order. Positions past the end read as
// "no bit": callers test Has() before they take bits, so a short buffer ends decoding instead of
// reading on; Peek32 fills what lies past the end with zero bits.
class BitSource {
public:
    // fillOrder 2 means each byte holds its first bit in the least significant position.
    BitSource(const std::uint8_t* data, std::int64_t size, int fillOrder)
        : data_(data), size_(size > 0 ? size : 0), bits_(size_ * 8), reversed_(fillOrder == 2)
    {
    }

    std::int64_t Bits() const { return bits_; }
    bool Has(std::int64_t pos, std::int64_t count = 1) const { return pos >= 0 && pos + count <= bits_; }
    int Bit(std::int64_t pos) const { return static_cast<int>(Peek32(pos) >> 31); }

    // The 32 bits from `pos` on (pos >= 0), the first one in the most significant position.
    std::uint32_t Peek32(std::int64_t pos) const
    {
        std::uint64_t v = LoadBE64Padded(data_, size_, pos >> 3);
        if (reversed_)
            v = ReverseBitsInBytes(v);
        return static_cast<std::uint32_t>((v << (pos & 7)) >> 32);
    }
    // The bits from `pos` on (pos >= 0), the first one in the most significant position: the
    // lowest pos % 8 of them are zeros that belong to no byte.
    std::uint64_t Peek64(std::int64_t pos) const
    {
        std::uint64_t v = LoadBE64Padded(data_, size_, pos >> 3);
        if (reversed_)
            v = ReverseBitsInBytes(v);
        return v << (pos & 7);
    }

private:
    static std::uint64_t ReverseBitsInBytes(std::uint64_t v)
    {
        v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
        v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
        return ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
    }

    const std::uint8_t* data_;  // not owned
    std::int64_t size_;
    std::int64_t bits_;
    bool reversed_;
};

// Collects codes most significant bit first. A partial byte is carried in `pendingBits` and
// `pendingByte` between calls, so rows of one strip can continue mid-byte.
class MsbBitWriter {
public:
    MsbBitWriter(int& pendingBits, std::uint8_t& pendingByte) : bits_(pendingBits), byte_(pendingByte) {}

    void Put(std::uint32_t code, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            byte_ = static_cast<std::uint8_t>((byte_ << 1) | ((code >> i) & 1));
            if (++bits_ == 8) {
                out_.push_back(byte_);
                byte_ = 0;
                bits_ = 0;
            }
        }
    }

    // Pads the partial byte with zero bits and moves it to the output.
    void PadToByte()
    {
        if (bits_ > 0) {
            out_.push_back(static_cast<std::uint8_t>(byte_ << (8 - bits_)));
            byte_ = 0;
            bits_ = 0;
        }
    }

    // Writes the whole bytes collected so far; the partial byte stays pending.
    void FlushTo(rtl::TStream& stream)
    {
        std::size_t done = 0;
        while (done < out_.size()) {
            std::size_t chunk = out_.size() - done;
            if (chunk > 0x40000000)
                chunk = 0x40000000;
            std::int32_t n = stream.Write(out_.data() + done, static_cast<std::int32_t>(chunk));
            if (n <= 0)
                break;  // write failures surface through the stream itself
            done += static_cast<std::size_t>(n);
        }
        out_.clear();
    }

private:
    int& bits_;
    std::uint8_t& byte_;
    std::vector<std::uint8_t> out_;
};

}  // namespace imaging::detail
