#include "core/time_format.h"

#include <string>

namespace kosmara {

namespace {

void AppendNumber(std::u16string& out, int value, bool twoDigits) {
    if (twoDigits && value < 10) out += u'0';
    for (char c : std::to_string(value)) out += static_cast<char16_t>(c);
}

}  // namespace

TimeFormatSettings GermanTimeFormat() {
    TimeFormatSettings format;
    format.leadingZeroInHours = true;
    format.twelveHourClock = false;
    format.amDesignator = u"";
    format.pmDesignator = u"";
    return format;
}

std::u16string FormatTimeOfDay(int hours, int minutes, int seconds, const TimeFormatSettings& format) {
    int shownHours = hours;
    if (format.twelveHourClock) {
        if (hours == 0) shownHours = 12;
        else if (hours > 12) shownHours = hours - 12;
    }
    std::u16string time;
    AppendNumber(time, shownHours, format.leadingZeroInHours);
    time += format.timeSeparator;
    AppendNumber(time, minutes, true);
    time += format.timeSeparator;
    AppendNumber(time, seconds, true);
    if (!format.twelveHourClock) return time;

    const std::u16string& designator = hours < 12 ? format.amDesignator : format.pmDesignator;
    return format.designatorFirst ? designator + u' ' + time : time + u' ' + designator;
}

}  // namespace kosmara
