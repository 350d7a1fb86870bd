// Tests of the numeric rules: rounding, truncation, div/mod, wrap-around, shifts, checked maths.
#include "platform/rtl/Numeric.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <limits>

using namespace rtl;

TEST(Round, TiesGoToEvenNotAwayFromZero)
{
    EXPECT_EQ(Round(0.5), 0);
    EXPECT_EQ(Round(1.5), 2);
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(-1.5), -2);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(-3.5), -4);
}

TEST(Round, NonTiesGoToNearest)
{
    EXPECT_EQ(Round(2.4999999999999996), 2);
    EXPECT_EQ(Round(2.5000000000000004), 3);
    EXPECT_EQ(Round(-2.5000000000000004), -3);
    EXPECT_EQ(Round(0.49999999999999994), 0);                // naive floor(x + 0.5) gives 1
    EXPECT_EQ(Round(4503599627370497.0), 4503599627370497);  // 2^52 + 1: x + 0.5 would round up
    EXPECT_EQ(Round(-1e18), -1000000000000000000);
}

TEST(Round, IgnoresTheCurrentRoundingMode)
{
    const int old = std::fegetround();
    std::fesetround(FE_UPWARD);
    const auto r = Round(2.5);
    const auto t = Trunc(-2.7);
    std::fesetround(old);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(t, -2);
}

TEST(Round, OutOfRangeAndNaNRaiseInvalidOpInsteadOfUB)
{
    EXPECT_THROW(Round(std::numeric_limits<double>::quiet_NaN()), EInvalidOp);
    EXPECT_THROW(Round(std::numeric_limits<double>::infinity()), EInvalidOp);
    EXPECT_THROW(Round(9.3e18), EInvalidOp);
    EXPECT_THROW(Trunc(-9.3e18), EInvalidOp);
    EXPECT_EQ(Trunc(-9223372036854775808.0), std::numeric_limits<std::int64_t>::min());
    EXPECT_THROW(Trunc(9223372036854775808.0), EInvalidOp);
}

TEST(Trunc, GoesTowardZero)
{
    EXPECT_EQ(Trunc(2.7), 2);
    EXPECT_EQ(Trunc(-2.7), -2);
    EXPECT_EQ(Trunc(-0.2), 0);
    EXPECT_DOUBLE_EQ(Frac(-2.75), -0.75);
}

TEST(DivMod, TruncateTowardZeroWithNegatives)
{
    EXPECT_EQ(Div(7, 2), 3);
    EXPECT_EQ(Div(-7, 2), -3);
    EXPECT_EQ(Div(7, -2), -3);
    EXPECT_EQ(Div(-7, -2), 3);
    EXPECT_EQ(Mod(7, 2), 1);
    EXPECT_EQ(Mod(-7, 2), -1);
    EXPECT_EQ(Mod(7, -2), 1);
    EXPECT_EQ(Mod(-7, -2), -1);
    EXPECT_EQ(Div<std::int64_t>(-9, 10), 0);
}

TEST(DivMod, ZeroDivisorRaisesAndMinByMinusOneWraps)
{
    EXPECT_THROW(Div(1, 0), EDivByZero);
    EXPECT_THROW(Mod(1, 0), EDivByZero);
    EXPECT_EQ(Div(std::numeric_limits<std::int32_t>::min(), -1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Mod(std::numeric_limits<std::int32_t>::min(), -1), 0);
    EXPECT_EQ(Div<std::int64_t>(std::numeric_limits<std::int64_t>::min(), -1),
              std::numeric_limits<std::int64_t>::min());
}

TEST(Wrap, NarrowTypesWrapModulo)
{
    EXPECT_EQ(ToByte(256), 0);
    EXPECT_EQ(ToByte(-1), 255);
    EXPECT_EQ(ToByte(300), 44);
    EXPECT_EQ(ToWord(65536 + 5), 5);
    EXPECT_EQ(ToWord(-2), 65534);
    EXPECT_EQ(ToShortInt(200), -56);
    EXPECT_EQ(ToSmallInt(40000), -25536);
    EXPECT_EQ(ToInteger(0x80000000LL), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ToCardinal(-1), 0xFFFFFFFFu);
    EXPECT_EQ(ClampToByte(-5), 0);
    EXPECT_EQ(ClampToByte(300), 255);
    EXPECT_EQ(WrapAdd<std::int32_t>(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(WrapMul<std::int32_t>(65536, 65536), 0);
    EXPECT_EQ(WrapMul<std::uint16_t>(65535, 65535), 1);  // promoted int would overflow
    EXPECT_EQ(WrapSub<std::uint8_t>(0, 1), 255);
}

TEST(Shifts, ShrIsLogicalOnSignedValues)
{
    EXPECT_EQ(Shr(-1, 1), 0x7FFFFFFF);
    EXPECT_EQ(Shr(-16, 2), 0x3FFFFFFC);
    EXPECT_EQ(Shr(std::int64_t{-1}, 1), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Shr(std::int8_t{-1}, 4), 0x0FFFFFFF);  // widened to 32 bits first
    EXPECT_EQ(Shr(0x80u, 7), 1u);
}

TEST(Shifts, SarKeepsTheSign)
{
    EXPECT_EQ(Sar(-5, 1), -3);
    EXPECT_EQ(Sar(-1, 31), -1);
    EXPECT_EQ(Sar(std::int64_t{-256}, 4), -16);
    EXPECT_EQ(Sar(64, 3), 8);
}

TEST(Shifts, CountIsMaskedToTheWidthLikeTheProcessor)
{
    EXPECT_EQ(Shr(1, 32), 1);
    EXPECT_EQ(Shl(1, 33), 2);
    EXPECT_EQ(Shl(std::int64_t{1}, 64), 1);
    EXPECT_EQ(Shl(0x40000000, 1), std::numeric_limits<std::int32_t>::min());
}

TEST(Checked, MulAndAddDetectOverflowInTheTargetType)
{
    // The i686 trap: 40000 x 40000 x 4 overflows 32 bits.
    EXPECT_EQ(CheckedMul<std::uint32_t>(40000, 40000), 1600000000u);
    EXPECT_FALSE(CheckedMul<std::uint32_t>(40000u * 40000u, 4));
    EXPECT_EQ(CheckedMul<std::uint64_t>(40000u * 40000u, 4), 6400000000ull);
    EXPECT_FALSE(CheckedMul<std::uint64_t>(std::uint64_t{1} << 32, std::uint64_t{1} << 32));
    EXPECT_FALSE(CheckedAdd<std::int64_t>(std::numeric_limits<std::int64_t>::max(), 1));
    EXPECT_EQ(CheckedAdd<std::int64_t>(-5, 3), -2);
    EXPECT_FALSE(CheckedSub<std::uint32_t>(3, 5));
}

TEST(Checked, NegativeInputsNeverBecomeHugeUnsignedSizes)
{
    EXPECT_FALSE(CheckedMul<std::uint64_t>(-1, 4));
    EXPECT_FALSE(CheckedAdd<std::uint64_t>(-10, 3));
    EXPECT_EQ(CheckedMul<std::uint64_t>(-1, 0), 0u);
    EXPECT_FALSE(CheckedCast<std::uint16_t>(70000));
    EXPECT_FALSE(CheckedCast<std::uint32_t>(-1));
    EXPECT_EQ(CheckedCast<std::int8_t>(-128), -128);
}
