// Calendar and angle texts of the AAF lines: the birth date and time of day
// from a Julian day, the Julian day in universal time, and latitude,
// longitude and zone offset in sexagesimal form.
//
// Every routine computes in x87 extended precision (64-bit significand,
// round to nearest) whatever the caller's floating-point control word is; the
// texts depend on it. A non-finite input, or one so large that a value cut to
// an integer leaves the 64-bit signed range, fails with
// "Ungültige Gleitkommaoperation".
#pragma once

#include <cstdint>
#include <string>

#include "core/time_format.h"

namespace kosmara {

struct CalendarDate {
    std::int32_t year;   // astronomical numbering: year 0 precedes year 1
    std::int32_t month;  // 1..12
    std::int32_t day;    // 1..31

    bool operator==(const CalendarDate&) const = default;
};

// The calendar date of the moment: Julian calendar before Julian day
// 2299160.5 (4 October 1582), Gregorian from it on.
CalendarDate JulianDayToDate(long double julianDay);
// "DD.MM.YYYY"; a negative year is written "-0043".
std::u16string JulianDayToDateText(long double julianDay);
// The time of day, rounded to the millisecond and written without the
// milliseconds, in the given regional long time format.
std::u16string TimeOfDayText(long double julianDay, const TimeFormatSettings& format);
// julianDay + zoneOffsetHours / 24 with five decimals, at least seven whole digits.
std::u16string JulianDayText(long double julianDay, long double zoneOffsetHours);
// "52n30:00": degrees, "n" or "s", minutes and seconds.
std::u16string LatitudeText(long double latitude);
// "13e24:36": degrees, "w" (west, zero included) or "e", minutes and seconds.
std::u16string LongitudeText(long double longitude);
// "5e30", "0e15:30": hours, "w" (west) or "e" (zero and east), minutes, and
// seconds only when there are whole seconds.
std::u16string ZoneOffsetText(long double zoneOffsetHours);

// The same texts appended to out, so that a line is composed in storage
// the caller keeps from record to record. On failure out may hold part of
// the text.
void AppendJulianDayToDateText(std::u16string& out, long double julianDay);
void AppendTimeOfDayText(std::u16string& out, long double julianDay, const TimeFormatSettings& format);
void AppendJulianDayText(std::u16string& out, long double julianDay, long double zoneOffsetHours);
void AppendLatitudeText(std::u16string& out, long double latitude);
void AppendLongitudeText(std::u16string& out, long double longitude);
void AppendZoneOffsetText(std::u16string& out, long double zoneOffsetHours);

}  // namespace kosmara
