// The regional long time format, as far as the time of day in the
// "#A93:" line needs it.
#pragma once

#include <string>

namespace kosmara {

// The six regional settings the time of day is composed from. The defaults
// are what applies when the platform supplies a setting not at all.
struct TimeFormatSettings {
    bool leadingZeroInHours = false;
    bool twelveHourClock = true;
    bool designatorFirst = false;
    std::u16string amDesignator = u"am";
    std::u16string pmDesignator = u"pm";
    char16_t timeSeparator = u':';

    bool operator==(const TimeFormatSettings&) const = default;
};

// German regional settings: 24-hour clock, leading zero, ":".
TimeFormatSettings GermanTimeFormat();

// hours 0..23, minutes and seconds 0..59, written in the given format.
std::u16string FormatTimeOfDay(int hours, int minutes, int seconds, const TimeFormatSettings& format);
// The same appended to out.
void AppendTimeOfDay(std::u16string& out, int hours, int minutes, int seconds, const TimeFormatSettings& format);

}  // namespace kosmara
