// The numeric rules every unit relies on: rounding, truncation, div/mod, wrap-around, shifts,
// and overflow-checked arithmetic for sizes read from files.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <atomic>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

namespace rtl {

namespace detail {

[[noreturn]] inline void ThrowInvalidOp(const char* what) { throw EInvalidOp(what); }

// Largest double strictly below 2^63, so the range test below is exact.
inline constexpr double kTwoTo63 = 9223372036854775808.0;

inline std::int64_t ToInt64Checked(double v)
{
    if (!(v >= -kTwoTo63 && v < kTwoTo63))
        ThrowInvalidOp("Invalid floating point operation");
    return static_cast<std::int64_t>(v);
}

}  // namespace detail

// Round to nearest, ties to even: Round(2.5) = 2, Round(3.5) = 4, Round(-2.5) = -2.
// NaN, infinities and values outside the 64-bit range raise EInvalidOp.
inline std::int64_t Round(double v)
{
    if (!std::isfinite(v))
        detail::ThrowInvalidOp("Invalid floating point operation");
    double r = std::floor(v);
    const double diff = v - r;  // exact for |v| < 2^52; larger values are whole already
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    return detail::ToInt64Checked(r);
}

// Truncate toward zero: Trunc(-2.7) = -2. Raises EInvalidOp like Round.
inline std::int64_t Trunc(double v)
{
    if (!std::isfinite(v))
        detail::ThrowInvalidOp("Invalid floating point operation");
    return detail::ToInt64Checked(std::trunc(v));
}

// Fractional part with the sign of v, as v - Trunc(v).
inline double Frac(double v) { return v - std::trunc(v); }

// Integer division truncating toward zero, remainder with the sign of the dividend:
// Div(-7, 2) = -3, Mod(-7, 2) = -1. A zero divisor raises EDivByZero; the one overflowing
// case, min / -1, wraps to min (remainder 0) instead of trapping.
template <std::integral T>
constexpr T Div(T a, T b)
{
    if (b == 0)
        throw EDivByZero("Division by zero");
    if constexpr (std::is_signed_v<T>)
        if (b == -1)
            return static_cast<T>(static_cast<std::make_unsigned_t<T>>(0) -
                                  static_cast<std::make_unsigned_t<T>>(a));
    return static_cast<T>(a / b);
}

template <std::integral T>
constexpr T Mod(T a, T b)
{
    if (b == 0)
        throw EDivByZero("Division by zero");
    if constexpr (std::is_signed_v<T>)
        if (b == -1)
            return 0;
    return static_cast<T>(a % b);
}

// Wrap-around to the narrow types, as assignment to them does: ToByte(256) = 0, ToByte(-1) = 255.
constexpr std::uint8_t ToByte(std::int64_t v) { return static_cast<std::uint8_t>(v); }
constexpr std::uint16_t ToWord(std::int64_t v) { return static_cast<std::uint16_t>(v); }
constexpr std::int8_t ToShortInt(std::int64_t v) { return static_cast<std::int8_t>(v); }
constexpr std::int16_t ToSmallInt(std::int64_t v) { return static_cast<std::int16_t>(v); }
constexpr std::int32_t ToInteger(std::int64_t v) { return static_cast<std::int32_t>(v); }
constexpr std::uint32_t ToCardinal(std::int64_t v) { return static_cast<std::uint32_t>(v); }

// Saturate to 0..255, for pixel arithmetic.
constexpr std::uint8_t ClampToByte(std::int64_t v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Wrapping arithmetic in the operand's width, free of signed-overflow UB.
template <std::integral T>
constexpr T WrapAdd(T a, T b)
{
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a) + static_cast<std::make_unsigned_t<T>>(b));
}
template <std::integral T>
constexpr T WrapSub(T a, T b)
{
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a) - static_cast<std::make_unsigned_t<T>>(b));
}
template <std::integral T>
constexpr T WrapMul(T a, T b)
{
    using U = std::conditional_t<(sizeof(T) < sizeof(unsigned)), unsigned, std::make_unsigned_t<T>>;
    return static_cast<T>(static_cast<U>(a) * static_cast<U>(b));
}

// Shifts work on 32- or 64-bit operands; narrower ones are widened to 32 bits first, and the
// count is masked to the width as the processor does (Shr(x, 32) == x for 32 bits).
namespace detail {
template <class T>
using ShiftType =
    std::conditional_t<(sizeof(T) <= 4), std::conditional_t<std::is_signed_v<T>, std::int32_t, std::uint32_t>,
                       std::conditional_t<std::is_signed_v<T>, std::int64_t, std::uint64_t>>;
}

// Logical right shift: the bit pattern moves as unsigned, zeros come in from the left.
// Shr(-1, 1) = 0x7FFFFFFF.
template <std::integral T>
constexpr detail::ShiftType<T> Shr(T v, unsigned n)
{
    using S = detail::ShiftType<T>;
    using U = std::make_unsigned_t<S>;
    return static_cast<S>(static_cast<U>(static_cast<S>(v)) >> (n & (sizeof(S) * 8 - 1)));
}

// Arithmetic right shift: the sign bit is copied in. Sar(-5, 1) = -3.
template <std::integral T>
constexpr detail::ShiftType<T> Sar(T v, unsigned n)
{
    using S = detail::ShiftType<T>;
    return static_cast<S>(static_cast<S>(v) >> (n & (sizeof(S) * 8 - 1)));
}

// Left shift with wrap-around of the bits shifted out.
template <std::integral T>
constexpr detail::ShiftType<T> Shl(T v, unsigned n)
{
    using S = detail::ShiftType<T>;
    using U = std::make_unsigned_t<S>;
    return static_cast<S>(static_cast<U>(static_cast<S>(v)) << (n & (sizeof(S) * 8 - 1)));
}

// Exact arithmetic on any integral arguments; nullopt when the true result does not fit T.
// CheckedMul<std::uint64_t>(width, height) with a negative width gives nullopt.
template <std::integral T, std::integral A, std::integral B>
constexpr std::optional<T> CheckedMul(A a, B b)
{
    T result;
    if (__builtin_mul_overflow(a, b, &result))
        return std::nullopt;
    return result;
}

template <std::integral T, std::integral A, std::integral B>
constexpr std::optional<T> CheckedAdd(A a, B b)
{
    T result;
    if (__builtin_add_overflow(a, b, &result))
        return std::nullopt;
    return result;
}

template <std::integral T, std::integral A, std::integral B>
constexpr std::optional<T> CheckedSub(A a, B b)
{
    T result;
    if (__builtin_sub_overflow(a, b, &result))
        return std::nullopt;
    return result;
}

// Narrowing that refuses to change the value.
template <std::integral T, std::integral A>
constexpr std::optional<T> CheckedCast(A a)
{
    if (!std::in_range<T>(a))
        return std::nullopt;
    return static_cast<T>(a);
}

// ---- pseudo-random numbers ----

// The classic linear congruential generator (seed * 134775813 + 1), so sequences are reproducible
// from a seed: effects that scatter pixels look the same on every run with the same seed.
// One process-wide seed; concurrent callers each get a distinct step.
inline std::atomic<std::uint32_t> gRandSeed{0};

inline std::uint32_t NextRandSeed()
{
    std::uint32_t seed = gRandSeed.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        next = seed * 134775813u + 1u;
    } while (!gRandSeed.compare_exchange_weak(seed, next, std::memory_order_relaxed));
    return next;
}

inline std::uint32_t RandSeed() { return gRandSeed.load(); }
inline void SetRandSeed(std::uint32_t seed) { gRandSeed.store(seed); }

// 0 <= result < range; 0 when range <= 0.
inline std::int32_t Random(std::int32_t range)
{
    const std::uint32_t seed = NextRandSeed();
    if (range <= 0)
        return 0;
    return static_cast<std::int32_t>((static_cast<std::uint64_t>(seed) * static_cast<std::uint32_t>(range)) >>
                                     32);
}

// 0 <= result < 1.
inline double Random() { return NextRandSeed() * (1.0 / 4294967296.0); }

}  // namespace rtl
