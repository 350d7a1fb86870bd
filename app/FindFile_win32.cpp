// Windows side of the file search: ANSI character classes, local time and enumeration.
#include "app/FindFileMatch.h"

#include "platform/win/Win32.h"

namespace app {

void BuildPlatformCharTables(std::array<std::uint8_t, 256>& lower, std::array<bool, 256>& alnum) {
    char bytes[256];
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<char>(i);
    // Byte 0 would end the string for the lower-casing call; start at 1.
    CharLowerBuffA(bytes + 1, 255);
    for (int i = 0; i < 256; ++i) {
        lower[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
        alnum[static_cast<std::size_t>(i)] = i != 0 && IsCharAlphaNumericA(static_cast<CHAR>(i));
    }
}

TDateTime FileTimeToLocalDateTime(std::uint64_t fileTime) {
    FILETIME utc{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
        return 0;
    // Days from 1899-12-30 by the civil calendar, then the time of day.
    const int y = st.wYear - (st.wMonth <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int m = st.wMonth;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + st.wDay - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
    const double days = static_cast<double>(days1970) + 25569.0;
    const double time = (st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 +
                         st.wMilliseconds) / 86400000.0;
    return days + time;
}

}  // namespace app
