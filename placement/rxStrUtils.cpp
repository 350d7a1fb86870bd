// Text routines of the placement units.
#include "placement/rxStrUtils.h"

namespace placement {

TCharSet CharSet(std::string_view chars)
{
    TCharSet set;
    for (char c : chars)
        set.set(static_cast<unsigned char>(c));
    return set;
}

std::string ReplaceStr(std::string_view s, std::string_view srch, std::string_view replace)
{
    if (srch.empty())
        return std::string(s);
    std::string result;
    result.reserve(s.size());
    std::size_t from = 0;
    for (;;) {
        std::size_t at = s.find(srch, from);
        if (at == std::string_view::npos)
            break;
        result.append(s.substr(from, at - from));
        result.append(replace);
        from = at + srch.size();
    }
    result.append(s.substr(from));
    return result;
}

namespace {

bool IsDelim(char c, const TCharSet& delims) { return delims.test(static_cast<unsigned char>(c)); }

}  // namespace

std::int32_t WordCount(std::string_view s, const TCharSet& wordDelims)
{
    std::int32_t count = 0;
    bool inWord = false;
    for (char c : s) {
        bool delim = IsDelim(c, wordDelims);
        if (!delim && !inWord)
            ++count;
        inWord = !delim;
    }
    return count;
}

std::int32_t WordPosition(std::int32_t n, std::string_view s, const TCharSet& wordDelims)
{
    if (n < 1)
        return 0;
    std::int32_t count = 0;
    bool inWord = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        bool delim = IsDelim(s[i], wordDelims);
        if (!delim && !inWord && ++count == n)
            return static_cast<std::int32_t>(i + 1);
        inWord = !delim;
    }
    return 0;
}

std::string ExtractWord(std::int32_t n, std::string_view s, const TCharSet& wordDelims)
{
    std::int32_t pos = WordPosition(n, s, wordDelims);
    if (pos == 0)
        return {};
    std::size_t start = static_cast<std::size_t>(pos - 1);
    std::size_t end = start;
    while (end < s.size() && !IsDelim(s[end], wordDelims))
        ++end;
    return std::string(s.substr(start, end - start));
}

std::string XorEncode(std::string_view key, std::string_view source)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string result;
    result.reserve(source.size() * 2);
    for (std::size_t i = 0; i < source.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(source[i]);
        if (!key.empty())
            b ^= static_cast<unsigned char>(key[i % key.size()]);
        result.push_back(kDigits[b >> 4]);
        result.push_back(kDigits[b & 15]);
    }
    return result;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string XorDecode(std::string_view key, std::string_view source)
{
    std::string result;
    std::size_t pairs = source.size() / 2;
    result.reserve(pairs);
    for (std::size_t k = 0; k < pairs; ++k) {
        int hi = HexValue(source[2 * k]);
        int lo = HexValue(source[2 * k + 1]);
        unsigned char b = (hi < 0 || lo < 0) ? ' ' : static_cast<unsigned char>(hi * 16 + lo);
        if (!key.empty())
            b ^= static_cast<unsigned char>(key[k % key.size()]);
        result.push_back(static_cast<char>(b));
    }
    return result;
}

}  // namespace placement
