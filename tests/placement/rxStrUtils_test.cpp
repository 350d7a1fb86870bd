// Tests of the placement text routines.
#include "placement/rxStrUtils.h"

#include <gtest/gtest.h>

#include <random>

using namespace placement;

namespace {

const TCharSet kBlankComma = CharSet(" ,");

}  // namespace

TEST(ReplaceStr, ReplacesEveryOccurrenceWithoutOverlap)
{
    EXPECT_EQ(ReplaceStr("1,5", ",", "."), "1.5");
    EXPECT_EQ(ReplaceStr("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceStr("aaa", "aa", "aab"), "aaba");
    EXPECT_EQ(ReplaceStr("abc", "x", "y"), "abc");
    EXPECT_EQ(ReplaceStr("ABC", "b", "x"), "ABC");  // case-sensitive
    EXPECT_EQ(ReplaceStr("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceStr("", "a", "x"), "");
}

TEST(Words, CountsRunsBetweenDelimiters)
{
    EXPECT_EQ(WordCount(",,a, b,,", kBlankComma), 2);
    EXPECT_EQ(ExtractWord(2, ",,a, b,,", kBlankComma), "b");
    EXPECT_EQ(ExtractWord(1, ",,a, b,,", kBlankComma), "a");
    EXPECT_EQ(WordCount("", kBlankComma), 0);
    EXPECT_EQ(WordCount(" , ", kBlankComma), 0);
    EXPECT_EQ(WordCount("100,50,714,352", kBlankComma), 4);
}

TEST(Words, PositionAndExtractOutOfRangeAreEmpty)
{
    EXPECT_EQ(WordPosition(1, "  ab cd", kBlankComma), 3);
    EXPECT_EQ(WordPosition(2, "  ab cd", kBlankComma), 6);
    EXPECT_EQ(WordPosition(3, "  ab cd", kBlankComma), 0);
    EXPECT_EQ(WordPosition(0, "ab", kBlankComma), 0);
    EXPECT_EQ(WordPosition(-1, "ab", kBlankComma), 0);
    EXPECT_EQ(ExtractWord(3, "ab cd", kBlankComma), "");
    EXPECT_EQ(ExtractWord(2, "[fpState,fpPosition]", CharSet(" ,[]")), "fpPosition");
}

TEST(Words, HighBytesAreOrdinaryCharacters)
{
    std::string s = "\xe9t\xe9 \xff";
    EXPECT_EQ(WordCount(s, kBlankComma), 2);
    EXPECT_EQ(ExtractWord(2, s, kBlankComma), "\xff");
    EXPECT_EQ(WordCount(s, CharSet("\xff")), 1);
}

TEST(XorCoding, PlainHexWithEmptyKey)
{
    EXPECT_EQ(XorEncode("", "abc"), "616263");
    EXPECT_EQ(XorEncode("", "\xff\x01"), "ff01");
    EXPECT_EQ(XorDecode("", "616263"), "abc");
    EXPECT_EQ(XorDecode("", "FF01"), "\xff\x01");
}

TEST(XorCoding, KeyCyclesOverSource)
{
    // 'a' ^ 'K' = 0x2a, 'b' ^ 'e' = 0x07, 'c' ^ 'K' = 0x28
    EXPECT_EQ(XorEncode("Ke", "abc"), "2a0728");
    EXPECT_EQ(XorDecode("Ke", "2a0728"), "abc");
}

TEST(XorCoding, BadPairsReadAsBlankAndOddTailIsIgnored)
{
    EXPECT_EQ(XorDecode("", "zz41"), " A");
    EXPECT_EQ(XorDecode("", "414"), "A");
    EXPECT_EQ(XorDecode("", "4"), "");
    EXPECT_EQ(XorDecode("", "g1"), " ");
    // A bad pair is a blank before the key is applied.
    EXPECT_EQ(XorDecode("\x01", "zz"), "!");
}

TEST(XorCoding, RoundTripsEveryByteWithRandomKeys)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string key(rng() % 9, '\0'), source(rng() % 300, '\0');
        for (char& c : key)
            c = static_cast<char>(rng());
        for (char& c : source)
            c = static_cast<char>(rng());
        std::string encoded = XorEncode(key, source);
        ASSERT_EQ(encoded.size(), source.size() * 2);
        for (char c : encoded)
            ASSERT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        ASSERT_EQ(XorDecode(key, encoded), source);
    }
}
