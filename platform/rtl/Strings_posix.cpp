// The system's character classes for the native build: ASCII, as the C locale classes them; text
// conversions in Windows-1252.
#include "platform/rtl/Strings.h"

#include <cctype>

namespace rtl {

void BuildSystemCharTables(std::array<std::uint8_t, 256>& lower, std::array<bool, 256>& alnum)
{
    for (int i = 0; i < 256; ++i) {
        lower[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i < 128 ? std::tolower(i) : i);
        alnum[static_cast<std::size_t>(i)] = i < 128 && std::isalnum(i);
    }
}

std::u16string AnsiToUtf16(std::string_view s)
{
    // 0x80..0x9F; the rest of the code page is Latin-1, and its five holes keep their value.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::u16string out;
    out.reserve(s.size());
    for (unsigned char c : s)
        out += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t(c);
    return out;
}

}  // namespace rtl
