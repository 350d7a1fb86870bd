// Text helpers over 8-bit ANSI strings: trimming, case, comparison, number conversion,
// formatting, quoting and Windows-style path parts.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace rtl {

// ---- trimming and case ----

// Trim removes every character up to and including the blank (control characters too).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ASCII only: 'a'..'z' <-> 'A'..'Z'; other bytes unchanged.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// The ANSI code page (Windows-1252) letters as well, accented ones included.
std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
// The lower-case map and the alphanumeric classes of every byte as the system classes them: the
// user's ANSI code page on Windows, ASCII only elsewhere (per platform). Byte 0 is not
// alphanumeric and lower-cases to itself.
void BuildSystemCharTables(std::array<std::uint8_t, 256>& lower, std::array<bool, 256>& alnum);
// The text in UTF-16, read in the system's ANSI code page: the user's on Windows, Windows-1252
// elsewhere (per platform). Bytes the code page leaves undefined keep their value.
std::u16string AnsiToUtf16(std::string_view s);

// ---- comparison ----

// Byte-wise; negative, zero or positive.
int CompareStr(std::string_view a, std::string_view b);
// ASCII case-insensitive.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
// Case-insensitive over the ANSI code page letters; ordinal otherwise, so the order does not
// depend on the user's locale.
int AnsiCompareText(std::string_view a, std::string_view b);
int AnsiCompareStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// ---- numbers and text ----

std::string IntToStr(std::int64_t value);
std::string UIntToStr(std::uint64_t value);
// Upper-case hexadecimal, zero-padded to at least `digits`. A negative value shows the two's
// complement bits of its own width: IntToHex(-1, 2) = "FFFFFFFF" for a 32-bit argument.
std::string IntToHex(std::int32_t value, int digits);
std::string IntToHex(std::uint32_t value, int digits);
std::string IntToHex(std::int64_t value, int digits);
std::string IntToHex(std::uint64_t value, int digits);

// Accepts optional leading blanks, a sign and decimal digits, or "$"/"0x" followed by
// hexadecimal digits (taken as the two's complement bits of the type). Anything else,
// trailing characters included, or a value out of range fails.
bool TryStrToInt(std::string_view s, std::int32_t& value);
bool TryStrToInt64(std::string_view s, std::int64_t& value);
// Raise EConvertError "'<s>' is not a valid integer value".
std::int32_t StrToInt(std::string_view s);
std::int64_t StrToInt64(std::string_view s);
std::int32_t StrToIntDef(std::string_view s, std::int32_t defaultValue);
std::int64_t StrToInt64Def(std::string_view s, std::int64_t defaultValue);

// The character that separates the integer part from the fraction in text, '.' unless the
// Windows layer sets the user's choice at start-up. Read by the float conversions below.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// Accepts blanks around, an optional sign, digits with at most one decimal separator and an
// optional exponent ("E", sign, digits). No "inf", "nan" or hexadecimal forms.
bool TryStrToFloat(std::string_view s, double& value);
// Raise EConvertError "'<s>' is not a valid floating point value".
double StrToFloat(std::string_view s);
double StrToFloatDef(std::string_view s, double defaultValue);

enum TFloatFormat { ffGeneral, ffExponent, ffFixed };
// ffGeneral: the shortest of fixed or scientific notation with `precision` significant digits
// (scientific when the exponent exceeds the precision or the value is below 0.0001), no trailing
// zeros, exponent as "E-5"/"E15" with at least `digits` digits. ffExponent: "d.dddE+ddd" with
// `precision` digits and at least `digits` exponent digits. ffFixed: `digits` decimals, and
// ffGeneral's scientific form when the value has more integer digits than `precision`.
// Ties round away from zero. NaN and infinities give "NAN", "INF" and "-INF".
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);
// ffGeneral with 15 digits: FloatToStr(0.1) = "0.1", FloatToStr(1e15) = "1E15".
std::string FloatToStr(double value);

// "True"/"False", or "-1"/"0" when useBoolStrs is false.
std::string BoolToStr(bool value, bool useBoolStrs = false);
// Accepts "True"/"False" in any case and numbers (non-zero is true); EConvertError
// "'<s>' is not a valid boolean value" otherwise.
bool StrToBool(std::string_view s);
bool TryStrToBool(std::string_view s, bool& value);

// ---- formatting ----

// One argument of Format, typed so that each conversion can be checked.
class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Float, String, Char, Pointer };

    template <class T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>) FormatArg(T v)
    {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::Signed;
            i_ = v;
        } else {
            kind_ = Kind::Unsigned;
            u_ = v;
        }
    }
    FormatArg(bool v) : kind_(Kind::Signed), i_(v ? 1 : 0) {}
    FormatArg(char v) : kind_(Kind::Char), i_(static_cast<unsigned char>(v)) {}
    FormatArg(double v) : kind_(Kind::Float), f_(v) {}
    FormatArg(float v) : kind_(Kind::Float), f_(v) {}
    FormatArg(long double v) : kind_(Kind::Float), f_(static_cast<double>(v)) {}
    FormatArg(const std::string& v) : kind_(Kind::String), s_(v) {}
    FormatArg(std::string_view v) : kind_(Kind::String), s_(v) {}
    FormatArg(const char* v) : kind_(Kind::String), s_(v ? v : "") {}
    FormatArg(const void* v) : kind_(Kind::Pointer), p_(v) {}

    Kind GetKind() const { return kind_; }
    std::int64_t Signed() const { return i_; }
    std::uint64_t Unsigned() const { return u_; }
    double Float() const { return f_; }
    std::string_view String() const { return s_; }
    const void* Pointer() const { return p_; }

private:
    Kind kind_;
    std::int64_t i_ = 0;
    std::uint64_t u_ = 0;
    double f_ = 0;
    std::string_view s_;
    const void* p_ = nullptr;
};

// printf-style formatting with checked argument types: %d %i %u %x %X %o %e %E %f %g %G %s %c %p
// and %%, with flags "-+ 0#", width and precision (or "*"); length modifiers (l, ll, h, z...)
// are accepted and ignored since the argument carries its own type. %d takes any integer,
// %s a string or a char, %f/%e/%g a float or an integer. A mismatch or a missing argument raises
// EConvertError "Format '<format>' invalid or incompatible with argument"; extra arguments
// are ignored.
std::string FormatArgs(std::string_view format, const std::vector<FormatArg>& args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args)
{
    return FormatArgs(format, std::vector<FormatArg>{FormatArg(args)...});
}

// ---- quoting ----

// 'text' with each inner ' doubled.
std::string QuotedStr(std::string_view s);
std::string AnsiQuotedStr(std::string_view s, char quote);
// Reads a quoted string that starts at s[pos] (which must be `quote`): doubled quotes become one;
// stops after the closing quote, or at the end when there is none. pos is left after what was
// read. Returns "" and leaves pos alone when s[pos] is not the quote.
std::string AnsiExtractQuotedStr(std::string_view s, std::size_t& pos, char quote);
// The unquoted text when s starts with the quote, else s unchanged.
std::string AnsiDequotedStr(std::string_view s, char quote);

// ---- searching and replacing ----

// 1-based position of the first `sub` in s at or after `offset` (1-based), 0 when absent.
std::size_t Pos(std::string_view sub, std::string_view s, std::size_t offset = 1);
// Substring from the 1-based `index`, clamped to s; never throws.
std::string Copy(std::string_view s, std::int64_t index, std::int64_t count);
// 1-based position of the last character of s that is in `delimiters`, 0 when none.
std::size_t LastDelimiter(std::string_view delimiters, std::string_view s);

enum TReplaceFlag : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
using TReplaceFlags = unsigned;
// Replaces the first occurrence, or all of them with rfReplaceAll, scanning left to right
// without overlap. rfIgnoreCase compares ANSI letters without case. An empty `from` changes nothing.
std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          TReplaceFlags flags);

std::string StringOfChar(char c, std::size_t count);

// ---- Windows-style paths: "\" separates folders, ":" ends a drive ----

// Everything up to and including the last "\" or ":"; "" when there is none.
std::string ExtractFilePath(std::string_view fileName);
// ExtractFilePath without its trailing "\", unless that would leave a bare root ("C:\", "\").
std::string ExtractFileDir(std::string_view fileName);
// Everything after the last "\" or ":".
std::string ExtractFileName(std::string_view fileName);
// From the last "." of the file-name part, dot included; "" when the name has no dot.
std::string ExtractFileExt(std::string_view fileName);
// "C:" for a drive path, "\\server\share" for a UNC path, else "".
std::string ExtractFileDrive(std::string_view fileName);
// Replaces the extension (or appends `extension` when there is none); `extension` carries its dot.
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);

}  // namespace rtl
