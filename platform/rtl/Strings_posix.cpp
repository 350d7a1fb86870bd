// The system's character classes for the native build: ASCII, as the C locale classes them.
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

}  // namespace rtl
