// Feeding liblhasa's lh5 decoder from memory, shared by the peer tests and the benchmark.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lzhtest {

// The user data of ReadMemory: the bytes liblhasa pulls, and how far it has got.
struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
};

// liblhasa's read callback over a MemorySource.
inline std::size_t ReadMemory(void* buf, std::size_t len, void* user)
{
    auto* src = static_cast<MemorySource*>(user);
    const std::size_t n = std::min(len, src->size - src->pos);
    std::memcpy(buf, src->data + src->pos, n);
    src->pos += n;
    return n;
}

}  // namespace lzhtest
