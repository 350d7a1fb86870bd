// The system's character classes and text conversions from the user's ANSI code page.
#include "platform/rtl/Strings.h"

#include "platform/rtl/Win32.h"

namespace rtl {

void BuildSystemCharTables(std::array<std::uint8_t, 256>& lower, std::array<bool, 256>& alnum)
{
    char bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    // Byte 0 would end the string for the lower-casing call; start at 1.
    ::CharLowerBuffA(bytes + 1, 255);
    for (int i = 0; i < 256; ++i) {
        lower[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
        alnum[static_cast<std::size_t>(i)] = i != 0 && ::IsCharAlphaNumericA(static_cast<CHAR>(i));
    }
}

std::u16string AnsiToUtf16(std::string_view s)
{
    if (s.empty())
        return {};
    const int size = static_cast<int>(s.size());
    const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), size, nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n > 0 ? n : 0), u'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_ACP, 0, s.data(), size, reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
}

}  // namespace rtl
