// Tests of Variant conversions.
#include "platform/rtl/Variant.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

using namespace rtl;

TEST(Variant, KeepsTheTypeItWasMadeWith)
{
    EXPECT_EQ(Variant().VarType(), varEmpty);
    EXPECT_EQ(Variant::Null().VarType(), varNull);
    EXPECT_EQ(Variant(5).VarType(), varInteger);
    EXPECT_EQ(Variant(std::int64_t{5}).VarType(), varInt64);
    EXPECT_EQ(Variant(std::int16_t{5}).VarType(), varInteger);
    EXPECT_EQ(Variant(std::uint32_t{5}).VarType(), varInt64);  // does not fit a signed 32-bit
    EXPECT_EQ(Variant(2.5).VarType(), varDouble);
    EXPECT_EQ(Variant(true).VarType(), varBoolean);
    EXPECT_EQ(Variant("x").VarType(), varString);
    EXPECT_EQ(Variant(std::string("x")).VarType(), varString);
}

TEST(Variant, EmptyReadsAsZeroAndNullRefusesConversion)
{
    const Variant e;
    EXPECT_EQ(e.AsInteger(), 0);
    EXPECT_EQ(e.AsString(), "");
    EXPECT_FALSE(e.AsBoolean());
    const Variant n = Variant::Null();
    EXPECT_THROW(n.AsInteger(), EVariantTypeCastError);
    EXPECT_THROW(n.AsString(), EVariantTypeCastError);
    EXPECT_EQ(VarToStr(n), "");
    EXPECT_THAT([&] { n.AsDouble(); }, testing::ThrowsMessage<EVariantTypeCastError>(testing::StrEq(
                                           "Could not convert variant of type (Null) into type (Double)")));
}

TEST(Variant, NumbersToText)
{
    EXPECT_EQ(VarToStr(Variant(-12)), "-12");
    EXPECT_EQ(VarToStr(Variant(std::numeric_limits<std::int64_t>::max())), "9223372036854775807");
    EXPECT_EQ(VarToStr(Variant(0.1)), "0.1");
    EXPECT_EQ(VarToStr(Variant(true)), "True");
    EXPECT_EQ(VarToStr(Variant(false)), "False");
}

TEST(Variant, TextToNumbers)
{
    EXPECT_EQ(Variant("42").AsInteger(), 42);
    EXPECT_EQ(Variant(" 2.5").AsInteger(), 2);  // ties to even
    EXPECT_EQ(Variant("3.5").AsInteger(), 4);
    EXPECT_EQ(Variant("$10").AsDouble(), 16.0);
    EXPECT_EQ(Variant("true").AsInteger(), -1);
    EXPECT_EQ(Variant(" False ").AsInt64(), 0);
    EXPECT_EQ(Variant(" TRUE").AsDouble(), -1.0);
    EXPECT_EQ(Variant("false").AsDouble(), 0.0);
    EXPECT_THROW(Variant("truely").AsInt64(), EVariantTypeCastError);
    EXPECT_TRUE(Variant("TRUE").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_THROW(Variant("abc").AsInteger(), EVariantTypeCastError);
    EXPECT_THROW(Variant("abc").AsBoolean(), EVariantTypeCastError);
    EXPECT_THROW(Variant("").AsDouble(), EVariantTypeCastError);
}

TEST(Variant, OutOfRangeRaisesOverflowNotGarbage)
{
    EXPECT_THROW(Variant(std::int64_t{1} << 40).AsInteger(), EVariantOverflowError);
    EXPECT_THROW(Variant(1e300).AsInt64(), EVariantOverflowError);
    EXPECT_THAT([] { Variant("1e300").AsInt64(); },
                testing::ThrowsMessage<EVariantOverflowError>(
                    testing::StrEq("Overflow while converting variant of type (String) into type (Int64)")));
    EXPECT_THROW(Variant(std::numeric_limits<double>::quiet_NaN()).AsInteger(), EVariantOverflowError);
    EXPECT_THROW(Variant("99999999999").AsInteger(), EVariantOverflowError);
    EXPECT_EQ(Variant("99999999999").AsInt64(), 99999999999);
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(true).AsDouble(), -1.0);
}

TEST(Variant, EqualityNeedsSameTypeAndValue)
{
    EXPECT_EQ(Variant(1), Variant(1));
    EXPECT_FALSE(Variant(1) == Variant(std::int64_t{1}));
    EXPECT_FALSE(Variant(1) == Variant("1"));
    EXPECT_EQ(Variant::Null(), Variant::Null());
    EXPECT_FALSE(Variant::Null() == Variant());
    Variant v(3);
    v.Clear();
    EXPECT_TRUE(v.IsEmpty());
}
