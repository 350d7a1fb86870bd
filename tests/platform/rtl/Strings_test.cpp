// Tests of the text helpers: trimming, case, comparison, conversions, Format, quoting, paths.
#include "platform/rtl/Strings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace rtl;

namespace {

// Restores the decimal separator whatever a test does with it.
class SeparatorGuard {
public:
    explicit SeparatorGuard(char sep) : old_(DecimalSeparator()) { SetDecimalSeparator(sep); }
    ~SeparatorGuard() { SetDecimalSeparator(old_); }

private:
    char old_;
};

}  // namespace

TEST(Trim, RemovesControlCharactersAndBlanksOnly)
{
    EXPECT_EQ(Trim("  \t\r\n a b \x01"), "a b");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(TrimLeft("  x  "), "x  ");
    EXPECT_EQ(TrimRight("  x  "), "  x");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // a no-break space is not a control character
}

TEST(Case, AsciiHelpersLeaveAnsiLettersAlone)
{
    EXPECT_EQ(UpperCase("abc\xE9z"), "ABC\xE9Z");
    EXPECT_EQ(LowerCase("ABC\xC9Z"), "abc\xC9z");
    EXPECT_EQ(AnsiUpperCase("\xE9t\xE9 \xFF \x9C"), "\xC9T\xC9 \x9F \x8C");
    EXPECT_EQ(AnsiLowerCase("\xC9T\xC9 \xD7"), "\xE9t\xE9 \xD7");  // the multiplication sign has no case
    EXPECT_EQ(AnsiUpperCase("\xF7\xDF"), "\xF7\xDF");              // division sign and sharp s stay
}

TEST(Compare, TextComparisonsIgnoreCaseAndOrderByLength)
{
    EXPECT_EQ(CompareText("Readme.rtf", "README.RTF"), 0);
    EXPECT_TRUE(SameText("znt.EXE", "ZNT.exe"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_LT(CompareText("abc", "abcd"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareStr("B", "a"), 0);
    EXPECT_GT(CompareStr("\x80", "a"), 0);  // bytes compare unsigned
    EXPECT_NE(CompareText("\xE9", "\xC9"), 0);
    EXPECT_EQ(AnsiCompareText("\xE9t\xE9", "\xC9T\xC9"), 0);
    EXPECT_TRUE(AnsiSameText("\xE9", "\xC9"));
}

TEST(IntToText, FormsAndPadding)
{
    EXPECT_EQ(IntToStr(-2147483648LL), "-2147483648");
    EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(std::int64_t{-1}, 1), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(IntToHex(0, 0), "0");
    EXPECT_EQ(IntToHex(0xABCu, 1000).size(), 64u);  // absurd padding is capped
}

TEST(StrToInt, AcceptsDecimalHexAndSigns)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -42"), -42);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x1f"), 31);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
}

TEST(StrToInt, RejectsTrailingJunkOverflowAndEmpty)
{
    for (const char* bad :
         {"", " ", "12 ", "1.0", "abc", "2147483648", "-2147483649", "$", "0x", "$100000000", "--1", "1e3"}) {
        std::int32_t v = 99;
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
        EXPECT_EQ(v, 99);
        EXPECT_EQ(StrToIntDef(bad, -5), -5) << bad;
    }
    EXPECT_EQ(StrToInt64Def("9223372036854775808", 3), 3);
}

TEST(StrToInt, ErrorMessageQuotesTheText)
{
    EXPECT_THAT([] { StrToInt("12a"); },
                testing::ThrowsMessage<EConvertError>(testing::StrEq("'12a' is not a valid integer value")));
}

TEST(StrToFloat, AcceptsTheUsualFormsOnly)
{
    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat(" -1.5e3 "), -1500);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(StrToFloat("5."), 5);
    EXPECT_DOUBLE_EQ(StrToFloat("+2E-2"), 0.02);
    for (const char* bad : {"", ".", "1,5", "1.5.2", "inf", "nan", "0x10", "1e", "1e+", "e5", "1e999"})
        EXPECT_THROW(StrToFloat(bad), EConvertError) << bad;
    EXPECT_DOUBLE_EQ(StrToFloatDef("x", 2.5), 2.5);
}

TEST(StrToFloat, FollowsTheDecimalSeparator)
{
    SeparatorGuard g(',');
    EXPECT_DOUBLE_EQ(StrToFloat("1,5"), 1.5);
    EXPECT_THROW(StrToFloat("1.5"), EConvertError);
    EXPECT_EQ(FloatToStr(1.5), "1,5");
}

TEST(StrToFloat, ErrorMessageQuotesTheText)
{
    EXPECT_THAT([] { StrToFloat("x1"); }, testing::ThrowsMessage<EConvertError>(
                                              testing::StrEq("'x1' is not a valid floating point value")));
}

TEST(FloatToStr, GeneralFormSwitchesToExponentAtTheRightPlaces)
{
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(-0.0), "0");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStr(2.0 / 3), "0.666666666666667");
    EXPECT_EQ(FloatToStr(-1.5), "-1.5");
    EXPECT_EQ(FloatToStr(100), "100");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1e15), "1E15");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    EXPECT_EQ(FloatToStr(0.00001), "1E-5");
    EXPECT_EQ(FloatToStr(1.25e-7), "1.25E-7");
    EXPECT_EQ(FloatToStr(9.9999999999999999e22), "1E23");
}

TEST(FloatToStr, RoundsTiesAwayFromZeroAndPrintsSpecials)
{
    EXPECT_EQ(FloatToStrF(2.5, ffGeneral, 1, 0), "3");
    EXPECT_EQ(FloatToStrF(-0.125, ffGeneral, 2, 0), "-0.13");
    EXPECT_EQ(FloatToStrF(9.96, ffGeneral, 2, 0), "10");
    EXPECT_EQ(FloatToStrF(1.0 / 3, ffGeneral, 7, 0), "0.3333333");
    EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(FloatToStr, FixedAndExponentForms)
{
    EXPECT_EQ(FloatToStrF(3.14159, ffFixed, 15, 2), "3.14");
    EXPECT_EQ(FloatToStrF(2.675, ffFixed, 15, 2), "2.68");  // 2.67499999... rounded at 15 digits first
    EXPECT_EQ(FloatToStrF(0.999, ffFixed, 15, 2), "1.00");
    EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 15, 2), "0.00");
    EXPECT_EQ(FloatToStrF(1.23456789, ffFixed, 3, 5), "1.23000");
    EXPECT_EQ(FloatToStrF(12345, ffFixed, 3, 2), "1.23E4");
    EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), "1.235E+03");
    EXPECT_EQ(FloatToStrF(-0.00012, ffExponent, 3, 0), "-1.20E-4");
}

TEST(FloatToStr, RoundTripsThroughStrToFloatAtFullPrecision)
{
    std::srand(7);
    for (int i = 0; i < 2000; ++i) {
        const double v = (std::rand() - RAND_MAX / 2) * std::pow(10.0, std::rand() % 40 - 20) / 997.0;
        const std::string s = FloatToStrF(v, ffGeneral, 17, 0);
        EXPECT_EQ(StrToFloat(s), v) << s;
    }
}

TEST(Bool, TextForms)
{
    EXPECT_EQ(BoolToStr(true, true), "True");
    EXPECT_EQ(BoolToStr(false), "0");
    EXPECT_EQ(BoolToStr(true), "-1");
    EXPECT_TRUE(StrToBool("TRUE"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_TRUE(StrToBool("-1"));
    EXPECT_THROW(StrToBool("yes"), EConvertError);
}

TEST(Format, ConversionsAndWidths)
{
    EXPECT_EQ(Format("%d items", 3), "3 items");
    EXPECT_EQ(Format("%s.%s", std::string("Owner"), "Name"), "Owner.Name");
    EXPECT_EQ(Format("Item%d", 0), "Item0");
    EXPECT_EQ(Format("(%dx%d)", 1024, 768), "(1024x768)");
    EXPECT_EQ(Format("%5d|%-5d|%05d", 42, 42, 42), "   42|42   |00042");
    EXPECT_EQ(Format("%d", std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(Format("%u", std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(Format("%x %X %08X", 255, 255, -1), "ff FF FFFFFFFF");
    EXPECT_EQ(Format("%.2f %e %g", 3.14159, 1500.0, 0.5), "3.14 1.500000e+03 0.5");
    EXPECT_EQ(Format("%f", 2), "2.000000");
    EXPECT_EQ(Format("%c%c", 'o', 'k'), "ok");
    EXPECT_EQ(Format("%.3s|%5s|%-3s|", "abcdef", "ab", "a"), "abc|   ab|a  |");
    EXPECT_EQ(Format("%*d", 4, 7), "   7");
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("%ld %lld %zu", 1L, 2LL, std::size_t{3}), "1 2 3");
    EXPECT_EQ(Format("%s", std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(Format("%d", true), "1");
}

TEST(Format, MismatchedOrMissingArgumentsRaiseInsteadOfReadingGarbage)
{
    EXPECT_THROW(Format("%d", "text"), EConvertError);
    EXPECT_THROW(Format("%s", 5), EConvertError);
    EXPECT_THROW(Format("%d %d", 5), EConvertError);
    EXPECT_THROW(Format("%"), EConvertError);
    EXPECT_THROW(Format("%q", 1), EConvertError);
    EXPECT_THROW(Format("%n", 1), EConvertError);
    EXPECT_EQ(Format("%d", 1, 2, 3), "1");
    EXPECT_THAT([] { Format("%d", "x"); }, testing::ThrowsMessage<EConvertError>(testing::StrEq(
                                               "Format '%d' invalid or incompatible with argument")));
}

TEST(Quoting, RoundTripsEmbeddedQuotes)
{
    EXPECT_EQ(QuotedStr("it's"), "'it''s'");
    EXPECT_EQ(AnsiQuotedStr("a\"b", '"'), "\"a\"\"b\"");
    EXPECT_EQ(AnsiDequotedStr("'it''s'", '\''), "it's");
    EXPECT_EQ(AnsiDequotedStr("plain", '\''), "plain");
    EXPECT_EQ(AnsiDequotedStr("''", '\''), "");
    EXPECT_EQ(AnsiDequotedStr("'unterminated", '\''), "unterminated");
    std::size_t pos = 2;
    EXPECT_EQ(AnsiExtractQuotedStr("x,\"a,b\",c", pos, '"'), "a,b");
    EXPECT_EQ(pos, 7u);
    pos = 0;
    EXPECT_EQ(AnsiExtractQuotedStr("abc", pos, '"'), "");
    EXPECT_EQ(pos, 0u);
}

TEST(Search, PosCopyLastDelimiterStayInBounds)
{
    EXPECT_EQ(Pos("b", "abcb"), 2u);
    EXPECT_EQ(Pos("b", "abcb", 3), 4u);
    EXPECT_EQ(Pos("x", "abc"), 0u);
    EXPECT_EQ(Pos("", "abc"), 0u);
    EXPECT_EQ(Pos("a", "abc", 10), 0u);
    EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
    EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
    EXPECT_EQ(Copy("abcdef", 7, 1), "");
    EXPECT_EQ(Copy("abcdef", 2, std::numeric_limits<std::int64_t>::max()), "bcdef");
    EXPECT_EQ(LastDelimiter("\\:", "C:\\dir\\file"), 7u);
    EXPECT_EQ(LastDelimiter(".", "none"), 0u);
}

TEST(StringReplace, FirstAllAndIgnoreCase)
{
    EXPECT_EQ(StringReplace("1,5", ",", ".", 0), "1.5");
    EXPECT_EQ(StringReplace("a-b-c", "-", "+", 0), "a+b-c");
    EXPECT_EQ(StringReplace("a-b-c", "-", "", rfReplaceAll), "abc");
    EXPECT_EQ(StringReplace("aaa", "aa", "b", rfReplaceAll), "ba");  // no overlap
    EXPECT_EQ(StringReplace("xAbxaB", "ab", "-", rfReplaceAll | rfIgnoreCase), "x-x-");
    EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
    EXPECT_EQ(StringReplace("aa", "a", "aa", rfReplaceAll), "aaaa");  // replacement not rescanned
}

TEST(Paths, PartsOfWindowsStylePaths)
{
    EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Zantic\\znt.exe"), "C:\\Program Files\\Zantic\\");
    EXPECT_EQ(ExtractFileName("C:\\Program Files\\Zantic\\znt.exe"), "znt.exe");
    EXPECT_EQ(ExtractFileName("C:znt.exe"), "znt.exe");
    EXPECT_EQ(ExtractFilePath("C:znt.exe"), "C:");
    EXPECT_EQ(ExtractFileName("plain"), "plain");
    EXPECT_EQ(ExtractFilePath("plain"), "");
    EXPECT_EQ(ExtractFileExt("a\\b.c\\file"), "");
    EXPECT_EQ(ExtractFileExt("a\\b.c\\file.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExt("file."), ".");
    EXPECT_EQ(ChangeFileExt("a\\b.c\\file", ".ini"), "a\\b.c\\file.ini");
    EXPECT_EQ(ChangeFileExt("x.bmp", ".png"), "x.png");
    EXPECT_EQ(ChangeFileExt("x.bmp", ""), "x");
    EXPECT_EQ(ExtractFileDir("C:\\a\\b.txt"), "C:\\a");
    EXPECT_EQ(ExtractFileDir("C:\\b.txt"), "C:\\");
    EXPECT_EQ(ExtractFileDrive("C:\\a"), "C:");
    EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\dir\\f"), "\\\\srv\\share");
    EXPECT_EQ(ExtractFileDrive("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(ExtractFileDrive("\\dir"), "");
}

TEST(Paths, TrailingBackslash)
{
    EXPECT_EQ(IncludeTrailingBackslash("C:\\Dir"), "C:\\Dir\\");
    EXPECT_EQ(IncludeTrailingBackslash("C:\\Dir\\"), "C:\\Dir\\");
    EXPECT_EQ(IncludeTrailingBackslash("C:"), "C:\\");
    EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
    EXPECT_EQ(ExcludeTrailingBackslash("C:\\Dir\\"), "C:\\Dir");
    EXPECT_EQ(ExcludeTrailingBackslash("C:\\Dir"), "C:\\Dir");
    EXPECT_EQ(ExcludeTrailingBackslash(""), "");
}

TEST(AnsiToUtf16, ReadsTheCodePagesHighHalf)
{
    EXPECT_EQ(rtl::AnsiToUtf16(""), u"");
    EXPECT_EQ(rtl::AnsiToUtf16("Plain"), u"Plain");
    EXPECT_EQ(rtl::AnsiToUtf16("Caf\xE9 \x80 \x9C\xFF"), u"Caf\u00E9 \u20AC \u0153\u00FF");
}
