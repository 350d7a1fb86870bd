// Text helpers over 8-bit ANSI strings.
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace rtl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// Windows-1252 case pairs beyond ASCII: the Latin-1 letters (except the multiplication and
// division signs) and the three letter pairs at 0x8A/0x9A, 0x8C/0x9C, 0x8E/0x9E, plus Y-diaeresis.
unsigned char UpperByte(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

unsigned char LowerByte(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 32);
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

unsigned char AsciiUpper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

template <class Fold>
int CompareFolded(std::string_view a, std::string_view b, Fold fold)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = fold(static_cast<unsigned char>(a[i]));
        const int cb = fold(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::atomic<char> gDecimalSeparator{'.'};

[[noreturn]] void ThrowFormatError(std::string_view format)
{
    throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

// Parses an integer in the accepted forms into a magnitude and sign. Hexadecimal text is the
// raw bit pattern of `bits` width.
bool ParseInteger(std::string_view s, int bits, std::int64_t& out)
{
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size())
        return false;
    std::uint64_t magnitude = 0;
    const char* first = s.data() + i;
    const char* last = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(first, last, magnitude, hex ? 16 : 10);
    if (ec != std::errc() || ptr != last)
        return false;
    if (hex) {
        // The text is the bit pattern: "$FFFFFFFF" is -1 for 32 bits.
        if (bits < 64 && magnitude >> bits != 0)
            return false;
        std::int64_t value;
        if (bits == 32)
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        else
            value = static_cast<std::int64_t>(magnitude);
        if (negative)
            value = static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(value));
        if (bits == 32 && (value < INT32_MIN || value > INT32_MAX))
            return false;
        out = value;
        return true;
    }
    const std::uint64_t limit = (std::uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
    if (magnitude > limit)
        return false;
    out = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

// Decimal digits of |v| rounded half away from zero to `precision` significant digits.
// `exponent` is such that |v| = 0.d1d2d3... * 10^exponent. Trailing zeros are removed.
struct Decimal {
    std::string digits;  // empty for zero
    int exponent = 0;
};

Decimal ToDecimal(double v, int precision)
{
    Decimal d;
    if (v == 0)
        return d;
    precision = std::clamp(precision, 1, 18);
    // 21 significant digits are enough that only true binary ties look like ties.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.20e", std::fabs(v));
    std::string mant;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.')
            mant += *p;
    int exp10 = std::atoi(p + 1) + 1;
    bool roundUp = mant[static_cast<std::size_t>(precision)] >= '5';
    mant.resize(static_cast<std::size_t>(precision));
    if (roundUp) {
        int i = precision - 1;
        for (; i >= 0; --i) {
            if (mant[static_cast<std::size_t>(i)] == '9') {
                mant[static_cast<std::size_t>(i)] = '0';
            } else {
                ++mant[static_cast<std::size_t>(i)];
                break;
            }
        }
        if (i < 0) {
            mant.insert(mant.begin(), '1');
            mant.pop_back();
            ++exp10;
        }
    }
    while (!mant.empty() && mant.back() == '0')
        mant.pop_back();
    d.digits = mant;
    d.exponent = exp10;
    return d;
}

std::string ExponentText(int e, int minDigits, bool plusSign)
{
    std::string s = "E";
    if (e < 0)
        s += '-';
    else if (plusSign)
        s += '+';
    std::string n = std::to_string(e < 0 ? -e : e);
    if (static_cast<int>(n.size()) < minDigits)
        n.insert(0, static_cast<std::size_t>(minDigits) - n.size(), '0');
    return s + n;
}

std::string FormatGeneral(const Decimal& d, bool negative, int precision, int digits, char sep)
{
    if (d.digits.empty())
        return "0";
    std::string s = negative ? "-" : "";
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent > precision || d.exponent < -3) {
        s += d.digits[0];
        if (n > 1) {
            s += sep;
            s.append(d.digits, 1);
        }
        return s + ExponentText(d.exponent - 1, digits, false);
    }
    if (d.exponent <= 0) {
        s += '0';
        s += sep;
        s.append(static_cast<std::size_t>(-d.exponent), '0');
        return s + d.digits;
    }
    if (n <= d.exponent)
        return s + d.digits + std::string(static_cast<std::size_t>(d.exponent - n), '0');
    s.append(d.digits, 0, static_cast<std::size_t>(d.exponent));
    s += sep;
    s.append(d.digits, static_cast<std::size_t>(d.exponent));
    return s;
}

}  // namespace

// ---- trimming and case ----

std::string Trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(b, e - b));
}

std::string TrimLeft(std::string_view s)
{
    std::size_t b = 0;
    while (b < s.size() && IsBlank(s[b]))
        ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s)
{
    std::size_t e = s.size();
    while (e > 0 && IsBlank(s[e - 1]))
        --e;
    return std::string(s.substr(0, e));
}

std::string UpperCase(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        c = static_cast<char>(AsciiUpper(static_cast<unsigned char>(c)));
    return r;
}

std::string LowerCase(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return r;
}

char AnsiUpperChar(char c) { return static_cast<char>(UpperByte(static_cast<unsigned char>(c))); }
char AnsiLowerChar(char c) { return static_cast<char>(LowerByte(static_cast<unsigned char>(c))); }

std::string AnsiUpperCase(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        c = AnsiUpperChar(c);
    return r;
}

std::string AnsiLowerCase(std::string_view s)
{
    std::string r(s);
    for (auto& c : r)
        c = AnsiLowerChar(c);
    return r;
}

// ---- comparison ----

int CompareStr(std::string_view a, std::string_view b)
{
    return CompareFolded(a, b, [](unsigned char c) { return c; });
}

int CompareText(std::string_view a, std::string_view b) { return CompareFolded(a, b, AsciiUpper); }
bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareText(a, b) == 0;
}
int AnsiCompareText(std::string_view a, std::string_view b) { return CompareFolded(a, b, LowerByte); }
int AnsiCompareStr(std::string_view a, std::string_view b) { return CompareStr(a, b); }
bool AnsiSameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

// ---- numbers ----

std::string IntToStr(std::int64_t value) { return std::to_string(value); }
std::string UIntToStr(std::uint64_t value) { return std::to_string(value); }

std::string IntToHex(std::uint64_t value, int digits)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string r;
    do {
        r.insert(r.begin(), kHex[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(r.size()) < digits)
        r.insert(0, static_cast<std::size_t>(std::min(digits, 64)) - r.size(), '0');
    return r;
}

std::string IntToHex(std::int64_t value, int digits)
{
    return IntToHex(static_cast<std::uint64_t>(value), digits);
}
std::string IntToHex(std::uint32_t value, int digits)
{
    return IntToHex(static_cast<std::uint64_t>(value), digits);
}
std::string IntToHex(std::int32_t value, int digits)
{
    return IntToHex(static_cast<std::uint32_t>(value), digits);
}

bool TryStrToInt(std::string_view s, std::int32_t& value)
{
    std::int64_t v;
    if (!ParseInteger(s, 32, v))
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool TryStrToInt64(std::string_view s, std::int64_t& value) { return ParseInteger(s, 64, value); }

std::int32_t StrToInt(std::string_view s)
{
    std::int32_t v;
    if (!TryStrToInt(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return v;
}

std::int64_t StrToInt64(std::string_view s)
{
    std::int64_t v;
    if (!TryStrToInt64(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    return v;
}

std::int32_t StrToIntDef(std::string_view s, std::int32_t defaultValue)
{
    std::int32_t v;
    return TryStrToInt(s, v) ? v : defaultValue;
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t defaultValue)
{
    std::int64_t v;
    return TryStrToInt64(s, v) ? v : defaultValue;
}

char DecimalSeparator() { return gDecimalSeparator.load(std::memory_order_relaxed); }
void SetDecimalSeparator(char separator) { gDecimalSeparator.store(separator, std::memory_order_relaxed); }

bool TryStrToFloat(std::string_view s, double& value)
{
    const std::string t = Trim(s);
    const char sep = DecimalSeparator();
    std::string canon;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        canon += t[i++];
    int mantissaDigits = 0;
    bool seenSep = false;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9') {
            canon += c;
            ++mantissaDigits;
        } else if (c == sep && !seenSep) {
            canon += '.';
            seenSep = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        canon += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            canon += t[i++];
        int expDigits = 0;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, ++expDigits)
            canon += t[i];
        if (expDigits == 0)
            return false;
    }
    if (i != t.size())
        return false;
    const char* first = canon.data() + (canon[0] == '+' ? 1 : 0);
    double v;
    const auto [ptr, ec] = std::from_chars(first, canon.data() + canon.size(), v);
    if (ec != std::errc() || ptr != canon.data() + canon.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

double StrToFloat(std::string_view s)
{
    double v;
    if (!TryStrToFloat(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}

double StrToFloatDef(std::string_view s, double defaultValue)
{
    double v;
    return TryStrToFloat(s, v) ? v : defaultValue;
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    const char sep = DecimalSeparator();
    const bool negative = std::signbit(value) && value != 0;
    const Decimal d = ToDecimal(value, precision);
    switch (format) {
    case ffGeneral: return FormatGeneral(d, negative && !d.digits.empty(), precision, digits, sep);
    case ffExponent: {
        std::string s = negative ? "-" : "";
        std::string m = d.digits.empty() ? "0" : d.digits;
        m.resize(static_cast<std::size_t>(precision), '0');
        s += m[0];
        if (precision > 1) {
            s += sep;
            s.append(m, 1);
        }
        return s + ExponentText(d.digits.empty() ? 0 : d.exponent - 1, digits, true);
    }
    case ffFixed: {
        if (d.exponent > precision)
            return FormatGeneral(d, negative, precision, 0, sep);
        // Digits beyond the precision are zeros: the value was rounded to `precision` first.
        std::string intPart, fracPart;
        for (int k = 0; k < d.exponent; ++k)
            intPart += k < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(k)] : '0';
        if (intPart.empty())
            intPart = "0";
        for (int k = 0; k < digits; ++k) {
            const int idx = d.exponent + k;
            fracPart += idx >= 0 && idx < static_cast<int>(d.digits.size())
                            ? d.digits[static_cast<std::size_t>(idx)]
                            : '0';
        }
        // Rounding to `digits` decimals when the precision kept more.
        const int next = d.exponent + digits;
        if (next >= 0 && next < static_cast<int>(d.digits.size()) &&
            d.digits[static_cast<std::size_t>(next)] >= '5') {
            std::string all = intPart + fracPart;
            int i = static_cast<int>(all.size()) - 1;
            for (; i >= 0; --i) {
                if (all[static_cast<std::size_t>(i)] == '9') {
                    all[static_cast<std::size_t>(i)] = '0';
                } else {
                    ++all[static_cast<std::size_t>(i)];
                    break;
                }
            }
            if (i < 0)
                all.insert(all.begin(), '1');
            intPart = all.substr(0, all.size() - fracPart.size());
            fracPart = all.substr(all.size() - fracPart.size());
        }
        const bool allZero = std::all_of(intPart.begin(), intPart.end(), [](char c) { return c == '0'; }) &&
                             std::all_of(fracPart.begin(), fracPart.end(), [](char c) { return c == '0'; });
        std::string s = negative && !allZero ? "-" : "";
        s += intPart;
        if (digits > 0) {
            s += sep;
            s += fracPart;
        }
        return s;
    }
    }
    return {};
}

std::string FloatToStr(double value) { return FloatToStrF(value, ffGeneral, 15, 0); }

std::string BoolToStr(bool value, bool useBoolStrs)
{
    if (useBoolStrs)
        return value ? "True" : "False";
    return value ? "-1" : "0";
}

bool TryStrToBool(std::string_view s, bool& value)
{
    const std::string t = Trim(s);
    if (SameText(t, "True")) {
        value = true;
        return true;
    }
    if (SameText(t, "False")) {
        value = false;
        return true;
    }
    double f;
    if (TryStrToFloat(t, f)) {
        value = f != 0;
        return true;
    }
    return false;
}

bool StrToBool(std::string_view s)
{
    bool v;
    if (!TryStrToBool(s, v))
        throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
    return v;
}

// ---- formatting ----

std::string FormatArgs(std::string_view format, const std::vector<FormatArg>& args)
{
    std::string out;
    std::size_t argIndex = 0;
    auto next = [&]() -> const FormatArg& {
        if (argIndex >= args.size())
            ThrowFormatError(format);
        return args[argIndex++];
    };
    auto nextInt = [&]() -> int {
        const FormatArg& a = next();
        if (a.GetKind() == FormatArg::Kind::Signed)
            return static_cast<int>(std::clamp<std::int64_t>(a.Signed(), -4096, 4096));
        if (a.GetKind() == FormatArg::Kind::Unsigned)
            return static_cast<int>(std::min<std::uint64_t>(a.Unsigned(), 4096));
        ThrowFormatError(format);
    };

    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        std::string flags;
        while (i < format.size() && std::string_view("-+ 0#").find(format[i]) != std::string_view::npos)
            flags += format[i++];
        int width = -1;
        if (i < format.size() && format[i] == '*') {
            ++i;
            width = nextInt();
            if (width < 0) {
                flags += '-';
                width = -width;
            }
        } else {
            int w = 0;
            bool any = false;
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                w = std::min(w * 10 + (format[i++] - '0'), 4096);
                any = true;
            }
            if (any)
                width = w;
        }
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (i < format.size() && format[i] == '*') {
                ++i;
                precision = std::max(nextInt(), -1);
            } else {
                int p = 0;
                while (i < format.size() && format[i] >= '0' && format[i] <= '9')
                    p = std::min(p * 10 + (format[i++] - '0'), 4096);
                precision = p;
            }
        }
        while (i < format.size() && std::string_view("hlLqjzt").find(format[i]) != std::string_view::npos)
            ++i;
        if (i >= format.size())
            ThrowFormatError(format);
        const char conv = format[i++];

        // Each conversion is rebuilt as a C format with the length modifier of our own type.
        std::string directive = "%" + flags;
        if (width >= 0)
            directive += std::to_string(width);
        if (precision >= 0)
            directive += "." + std::to_string(precision);

        const FormatArg& a = next();
        std::vector<char> buf;
        auto emit = [&](auto value) {
            const int n = std::snprintf(nullptr, 0, directive.c_str(), value);
            if (n < 0)
                ThrowFormatError(format);
            buf.resize(static_cast<std::size_t>(n) + 1);
            std::snprintf(buf.data(), buf.size(), directive.c_str(), value);
            out.append(buf.data(), static_cast<std::size_t>(n));
        };
        switch (conv) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (a.GetKind() == FormatArg::Kind::Signed) {
                if (conv == 'd' || conv == 'i') {
                    directive += "lld";
                    emit(static_cast<long long>(a.Signed()));
                } else {
                    // Hexadecimal of a negative value shows its bits; 32-bit values stay 32 bits.
                    const std::int64_t v = a.Signed();
                    const unsigned long long bits =
                        v >= INT32_MIN && v <= INT32_MAX
                            ? static_cast<std::uint32_t>(static_cast<std::int32_t>(v))
                            : static_cast<std::uint64_t>(v);
                    directive += "ll";
                    directive += conv;
                    emit(bits);
                }
            } else if (a.GetKind() == FormatArg::Kind::Unsigned) {
                directive += "ll";
                directive += conv == 'i' ? 'u' : conv == 'd' ? 'u' : conv;
                emit(static_cast<unsigned long long>(a.Unsigned()));
            } else {
                ThrowFormatError(format);
            }
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G': {
            double v;
            if (a.GetKind() == FormatArg::Kind::Float)
                v = a.Float();
            else if (a.GetKind() == FormatArg::Kind::Signed)
                v = static_cast<double>(a.Signed());
            else if (a.GetKind() == FormatArg::Kind::Unsigned)
                v = static_cast<double>(a.Unsigned());
            else
                ThrowFormatError(format);
            directive += conv;
            emit(v);
            break;
        }
        case 's':
        case 'c': {
            std::string text;
            if (a.GetKind() == FormatArg::Kind::String)
                text = std::string(a.String());
            else if (a.GetKind() == FormatArg::Kind::Char)
                text = std::string(1, static_cast<char>(a.Signed()));
            else
                ThrowFormatError(format);
            if (conv == 's' && precision >= 0 && static_cast<std::size_t>(precision) < text.size())
                text.resize(static_cast<std::size_t>(precision));
            // Strings may hold NUL bytes, so pad by hand rather than through %s.
            const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
            const std::string pad = text.size() < w ? std::string(w - text.size(), ' ') : std::string();
            out += flags.find('-') != std::string::npos ? text + pad : pad + text;
            break;
        }
        case 'p':
            if (a.GetKind() != FormatArg::Kind::Pointer)
                ThrowFormatError(format);
            directive += 'p';
            emit(a.Pointer());
            break;
        default: ThrowFormatError(format);
        }
    }
    return out;
}

// ---- quoting ----

std::string AnsiQuotedStr(std::string_view s, char quote)
{
    std::string r(1, quote);
    for (const char c : s) {
        r += c;
        if (c == quote)
            r += quote;
    }
    r += quote;
    return r;
}

std::string QuotedStr(std::string_view s) { return AnsiQuotedStr(s, '\''); }

std::string AnsiExtractQuotedStr(std::string_view s, std::size_t& pos, char quote)
{
    if (pos >= s.size() || s[pos] != quote)
        return {};
    std::string r;
    std::size_t i = pos + 1;
    while (i < s.size()) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                r += quote;
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        r += s[i++];
    }
    pos = i;
    return r;
}

std::string AnsiDequotedStr(std::string_view s, char quote)
{
    if (s.empty() || s[0] != quote)
        return std::string(s);
    std::size_t pos = 0;
    return AnsiExtractQuotedStr(s, pos, quote);
}

// ---- searching and replacing ----

std::size_t Pos(std::string_view sub, std::string_view s, std::size_t offset)
{
    if (sub.empty() || offset == 0 || offset > s.size())
        return 0;
    const std::size_t p = s.find(sub, offset - 1);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string Copy(std::string_view s, std::int64_t index, std::int64_t count)
{
    if (index < 1)
        index = 1;
    if (count <= 0 || index > static_cast<std::int64_t>(s.size()))
        return {};
    const auto start = static_cast<std::size_t>(index - 1);
    const std::size_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), s.size() - start);
    return std::string(s.substr(start, n));
}

std::size_t LastDelimiter(std::string_view delimiters, std::string_view s)
{
    const std::size_t p = s.find_last_of(delimiters);
    return p == std::string_view::npos ? 0 : p + 1;
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to, TReplaceFlags flags)
{
    if (from.empty())
        return std::string(s);
    const bool ignoreCase = (flags & rfIgnoreCase) != 0;
    const std::string hay = ignoreCase ? AnsiUpperCase(s) : std::string(s);
    const std::string needle = ignoreCase ? AnsiUpperCase(from) : std::string(from);
    std::string r;
    std::size_t i = 0;
    while (true) {
        const std::size_t p = hay.find(needle, i);
        if (p == std::string::npos)
            break;
        r.append(s.substr(i, p - i));
        r.append(to);
        i = p + from.size();
        if ((flags & rfReplaceAll) == 0)
            break;
    }
    r.append(s.substr(i));
    return r;
}

std::string StringOfChar(char c, std::size_t count) { return std::string(count, c); }

// ---- paths ----

namespace {
std::size_t AfterLastPathDelimiter(std::string_view f)
{
    const std::size_t p = f.find_last_of("\\:");
    return p == std::string_view::npos ? 0 : p + 1;
}
}  // namespace

std::string ExtractFilePath(std::string_view fileName)
{
    return std::string(fileName.substr(0, AfterLastPathDelimiter(fileName)));
}

std::string ExtractFileDir(std::string_view fileName)
{
    std::size_t n = AfterLastPathDelimiter(fileName);
    // Keep the root: "C:\" stays, "\" stays, "C:" stays.
    if (n > 1 && fileName[n - 1] == '\\' && fileName[n - 2] != ':' && fileName[n - 2] != '\\')
        --n;
    return std::string(fileName.substr(0, n));
}

std::string ExtractFileName(std::string_view fileName)
{
    return std::string(fileName.substr(AfterLastPathDelimiter(fileName)));
}

std::string ExtractFileExt(std::string_view fileName)
{
    const std::size_t p = fileName.find_last_of(".\\:");
    if (p == std::string_view::npos || fileName[p] != '.')
        return {};
    return std::string(fileName.substr(p));
}

std::string ExtractFileDrive(std::string_view fileName)
{
    if (fileName.size() >= 2 && fileName[1] == ':')
        return std::string(fileName.substr(0, 2));
    if (fileName.size() >= 2 && fileName[0] == '\\' && fileName[1] == '\\') {
        // "\\server\share": up to the separator after the share name.
        std::size_t count = 0;
        std::size_t i = 2;
        for (; i < fileName.size(); ++i)
            if (fileName[i] == '\\' && ++count == 2)
                break;
        if (count >= 1)
            return std::string(fileName.substr(0, i));
    }
    return {};
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension)
{
    const std::size_t p = fileName.find_last_of(".\\:");
    const std::size_t end = p != std::string_view::npos && fileName[p] == '.' ? p : fileName.size();
    return std::string(fileName.substr(0, end)) + std::string(extension);
}

std::string IncludeTrailingBackslash(std::string_view path)
{
    std::string r(path);
    if (r.empty() || r.back() != '\\')
        r += '\\';
    return r;
}

std::string ExcludeTrailingBackslash(std::string_view path)
{
    std::string r(path);
    if (!r.empty() && r.back() == '\\')
        r.pop_back();
    return r;
}

}  // namespace rtl
