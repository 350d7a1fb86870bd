// Date-time encoding and decoding over day counts.
#include "platform/rtl/DateTime.h"

#include "platform/rtl/Numeric.h"

#include <chrono>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <mutex>

namespace rtl {

namespace {

constexpr int kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// Whole days since 1 January 0001 (day 1) and milliseconds into the day.
void Split(TDateTime value, std::int64_t& days, std::int64_t& msec)
{
    // 1 January 0001 is -693593, 31 December 9999 is 2958465.
    if (!(value > -693594.0 && value < 2958466.0))
        throw EConvertError("Invalid date-time value");
    const double whole = std::trunc(value);
    days = static_cast<std::int64_t>(whole) + kDateDelta;
    msec = static_cast<std::int64_t>(std::llround(std::fabs(value - whole) * kMSecsPerDay));
    if (msec >= kMSecsPerDay) {
        // The fraction counts forward from midnight even before 1899, so 24:00 is always the next day.
        msec -= kMSecsPerDay;
        days += 1;
    }
    if (days < 1 || days > 3652059)
        throw EConvertError("Invalid date-time value");
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    return kMonthDays[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    const int* table = kMonthDays[IsLeapYear(year) ? 1 : 0];
    for (int m = 0; m < month - 1; ++m)
        day += table[m];
    const int y = year - 1;
    value = static_cast<double>(y * 365 + y / 4 - y / 100 + y / 400 + day - kDateDelta);
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime v;
    if (!TryEncodeDate(year, month, day, v))
        throw EConvertError("Invalid argument to date encode");
    return v;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value)
{
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || msec < 0 ||
        msec >= 1000)
        return false;
    value = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / kMSecsPerDay;
    return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime v;
    if (!TryEncodeTime(hour, minute, second, msec, v))
        throw EConvertError("Invalid argument to time encode");
    return v;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    std::int64_t days, msec;
    Split(value, days, msec);
    // Count back from day 1 of year 1 in 400-, 100-, 4- and 1-year cycles.
    std::int64_t t = days - 1;
    std::int64_t y = 1;
    y += 400 * (t / 146097);
    t %= 146097;
    std::int64_t c = t / 36524;
    if (c == 4)
        c = 3;  // the last day of a 400-year cycle
    y += 100 * c;
    t -= c * 36524;
    y += 4 * (t / 1461);
    t %= 1461;
    std::int64_t r = t / 365;
    if (r == 4)
        r = 3;  // the leap day closing a 4-year cycle
    y += r;
    t -= r * 365;
    year = static_cast<int>(y);
    const int* table = kMonthDays[IsLeapYear(year) ? 1 : 0];
    month = 1;
    while (t >= table[month - 1]) {
        t -= table[month - 1];
        ++month;
    }
    day = static_cast<int>(t) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec)
{
    std::int64_t days, ms;
    Split(value, days, ms);
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec)
{
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
}

int DayOfWeek(TDateTime value)
{
    std::int64_t days, msec;
    Split(value, days, msec);
    // Day 1 (1 January 0001) was a Monday.
    return static_cast<int>(days % 7) + 1;
}

TDateTime Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    {
        // localtime keeps its result in shared storage.
        static std::mutex lock;
        std::lock_guard guard(lock);
        if (const std::tm* p = std::localtime(&t))
            local = *p;
    }
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms));
}

TDateTime Date() { return std::trunc(Now()); }

}  // namespace rtl
