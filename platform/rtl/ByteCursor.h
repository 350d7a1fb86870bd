// A forward cursor over bytes in memory whose every read is checked: a read that asks for more
// than remains fails, consumes nothing and leaves its target untouched. Nothing past the end is
// ever read, and nothing missing is ever made up as zeros.
#pragma once

#include "platform/rtl/Endian.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace rtl {

class ByteCursor {
public:
    ByteCursor() = default;
    ByteCursor(const void* data, std::size_t size) noexcept
        : data_(static_cast<const std::uint8_t*>(data)), size_(data ? size : 0)
    {
    }

    std::size_t Size() const noexcept { return size_; }
    std::size_t Position() const noexcept { return pos_; }
    std::size_t Remaining() const noexcept { return size_ - pos_; }
    bool AtEnd() const noexcept { return pos_ == size_; }
    // The byte at the cursor; valid while Remaining() > 0.
    const std::uint8_t* Here() const noexcept { return data_ + pos_; }

    [[nodiscard]] bool Seek(std::size_t position) noexcept
    {
        if (position > size_)
            return false;
        pos_ = position;
        return true;
    }
    [[nodiscard]] bool Skip(std::size_t count) noexcept
    {
        if (count > Remaining())
            return false;
        pos_ += count;
        return true;
    }
    // The next `count` bytes in place, or nullptr when fewer remain.
    [[nodiscard]] const std::uint8_t* Take(std::size_t count) noexcept
    {
        if (count > Remaining())
            return nullptr;
        const std::uint8_t* p = data_ + pos_;
        pos_ += count;
        return p;
    }
    [[nodiscard]] bool Read(void* target, std::size_t count) noexcept
    {
        const std::uint8_t* p = Take(count);
        if (!p)
            return false;
        if (count)
            std::memcpy(target, p, count);
        return true;
    }

    [[nodiscard]] bool ReadU8(std::uint8_t& v) noexcept
    {
        return Get<1>(v, [](const std::uint8_t* p) { return *p; });
    }
    [[nodiscard]] bool ReadLE16(std::uint16_t& v) noexcept { return Get<2>(v, LoadLE16); }
    [[nodiscard]] bool ReadLE32(std::uint32_t& v) noexcept { return Get<4>(v, LoadLE32); }
    [[nodiscard]] bool ReadBE16(std::uint16_t& v) noexcept { return Get<2>(v, LoadBE16); }
    [[nodiscard]] bool ReadBE32(std::uint32_t& v) noexcept { return Get<4>(v, LoadBE32); }

private:
    template <std::size_t N, typename T, typename Load>
    bool Get(T& v, Load load) noexcept
    {
        const std::uint8_t* p = Take(N);
        if (!p)
            return false;
        v = static_cast<T>(load(p));
        return true;
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace rtl
