// File times to local date-times through the Windows kernel, with its own time-zone rules.
#include "platform/rtl/DateTime.h"

#include "platform/rtl/Win32.h"

namespace rtl {

TDateTime FileTimeToLocalDateTime(std::uint64_t fileTime)
{
    FILETIME utc{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st))
        return 0;
    // Days from 1899-12-30 by the civil calendar, then the time of day; years past 9999 still
    // convert, where EncodeDate would refuse them.
    const int y = st.wYear - (st.wMonth <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int m = st.wMonth;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + st.wDay - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
    const double days = static_cast<double>(days1970) + 25569.0;
    const double time =
        (st.wHour * 3600000.0 + st.wMinute * 60000.0 + st.wSecond * 1000.0 + st.wMilliseconds) / 86400000.0;
    return days + time;
}

}  // namespace rtl
