// Date-time values as the platform keeps them: days since 30 December 1899 as a double, with the
// time of day as the fraction.
#pragma once

#include "platform/rtl/Exceptions.h"

#include <cstdint>

namespace rtl {

using TDateTime = double;

inline constexpr std::int32_t kDateDelta = 693594;  // days from 1 January 0001 to 30 December 1899
inline constexpr std::int64_t kMSecsPerDay = 86400000;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// Year 1..9999, month 1..12, day within the month; EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
// Hour < 24, minute and second < 60, millisecond < 1000; EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);

// For dates before 1899 the fraction still counts forward from midnight: -1.25 is 29 December
// 1899, 06:00. Times are rounded to the millisecond, carrying into the next day at 24:00.
// Values outside years 1..9999 (and NaN) raise EConvertError "Invalid date-time value".
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

// The local date and time of the machine's clock.
TDateTime Now();
TDateTime Date();

// A file time (100 ns ticks since 1601-01-01 UTC, as file systems keep them) in the local time
// zone as a date-time; 0 when the system cannot convert it (per platform).
TDateTime FileTimeToLocalDateTime(std::uint64_t fileTime);

}  // namespace rtl
