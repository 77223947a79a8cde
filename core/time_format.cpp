#include "core/time_format.h"

#include <string>

#include "core/text.h"

namespace kosmara {

TimeFormatSettings GermanTimeFormat() {
    TimeFormatSettings format;
    format.leadingZeroInHours = true;
    format.twelveHourClock = false;
    format.amDesignator = u"";
    format.pmDesignator = u"";
    return format;
}

void AppendTimeOfDay(std::u16string& out, int hours, int minutes, int seconds, const TimeFormatSettings& format) {
    int shownHours = hours;
    if (format.twelveHourClock) {
        if (hours == 0) shownHours = 12;
        else if (hours > 12) shownHours = hours - 12;
    }
    const std::u16string& designator = hours < 12 ? format.amDesignator : format.pmDesignator;
    if (format.twelveHourClock && format.designatorFirst) {
        out += designator;
        out += u' ';
    }
    AppendDecimal(out, shownHours, format.leadingZeroInHours ? 2 : 1);
    out += format.timeSeparator;
    AppendDecimal(out, minutes, 2);
    out += format.timeSeparator;
    AppendDecimal(out, seconds, 2);
    if (format.twelveHourClock && !format.designatorFirst) {
        out += u' ';
        out += designator;
    }
}

std::u16string FormatTimeOfDay(int hours, int minutes, int seconds, const TimeFormatSettings& format) {
    std::u16string time;
    AppendTimeOfDay(time, hours, minutes, seconds, format);
    return time;
}

}  // namespace kosmara
