// Little- and big-endian loads and stores of unsigned integers at any byte address. Every file
// format and codec of the portable core reads its fields through these, so none depends on the
// host's byte order or on aligned access.
#pragma once

#include <cstdint>
#include <cstring>

namespace rtl {

namespace detail {

template <typename T>
T LoadRaw(const void* p) noexcept
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

constexpr bool kHostLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

inline std::uint16_t Swap(std::uint16_t v) noexcept { return __builtin_bswap16(v); }
inline std::uint32_t Swap(std::uint32_t v) noexcept { return __builtin_bswap32(v); }
inline std::uint64_t Swap(std::uint64_t v) noexcept { return __builtin_bswap64(v); }

template <typename T>
T FromLE(T v) noexcept
{
    if constexpr (kHostLittle)
        return v;
    else
        return Swap(v);
}

template <typename T>
T FromBE(T v) noexcept
{
    if constexpr (kHostLittle)
        return Swap(v);
    else
        return v;
}

}  // namespace detail

inline std::uint16_t LoadLE16(const void* p) noexcept
{
    return detail::FromLE(detail::LoadRaw<std::uint16_t>(p));
}
inline std::uint32_t LoadLE32(const void* p) noexcept
{
    return detail::FromLE(detail::LoadRaw<std::uint32_t>(p));
}
inline std::uint64_t LoadLE64(const void* p) noexcept
{
    return detail::FromLE(detail::LoadRaw<std::uint64_t>(p));
}
inline std::uint16_t LoadBE16(const void* p) noexcept
{
    return detail::FromBE(detail::LoadRaw<std::uint16_t>(p));
}
inline std::uint32_t LoadBE32(const void* p) noexcept
{
    return detail::FromBE(detail::LoadRaw<std::uint32_t>(p));
}
inline std::uint64_t LoadBE64(const void* p) noexcept
{
    return detail::FromBE(detail::LoadRaw<std::uint64_t>(p));
}

namespace detail {

template <typename T>
void StoreRaw(void* p, T v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

}  // namespace detail

inline void StoreLE16(void* p, std::uint16_t v) noexcept { detail::StoreRaw(p, detail::FromLE(v)); }
inline void StoreLE32(void* p, std::uint32_t v) noexcept { detail::StoreRaw(p, detail::FromLE(v)); }
inline void StoreLE64(void* p, std::uint64_t v) noexcept { detail::StoreRaw(p, detail::FromLE(v)); }
inline void StoreBE16(void* p, std::uint16_t v) noexcept { detail::StoreRaw(p, detail::FromBE(v)); }
inline void StoreBE32(void* p, std::uint32_t v) noexcept { detail::StoreRaw(p, detail::FromBE(v)); }
inline void StoreBE64(void* p, std::uint64_t v) noexcept { detail::StoreRaw(p, detail::FromBE(v)); }

}  // namespace rtl
