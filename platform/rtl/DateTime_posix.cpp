// File times to local date-times through the C library's time-zone rules, for the native build.
#include "platform/rtl/DateTime.h"

#include <ctime>

namespace rtl {

TDateTime FileTimeToLocalDateTime(std::uint64_t fileTime)
{
    // 1601-01-01 to 1970-01-01 is 11644473600 seconds.
    const std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
    const std::uint64_t ticks = fileTime % 10000000ULL;
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return 0;
    const std::int64_t localSeconds = seconds + local.tm_gmtoff;
    // 1899-12-30 to 1970-01-01 is 25569 days.
    return static_cast<double>(localSeconds) / 86400.0 + 25569.0 +
           static_cast<double>(ticks) / 864000000000.0;
}

}  // namespace rtl
