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

std::u16string FormatTimeOfDay(int hours, int minutes, int seconds, const TimeFormatSettings& format) {
    int shownHours = hours;
    if (format.twelveHourClock) {
        if (hours == 0) shownHours = 12;
        else if (hours > 12) shownHours = hours - 12;
    }
    std::u16string time;
    AppendDecimal(time, shownHours, format.leadingZeroInHours ? 2 : 1);
    time += format.timeSeparator;
    AppendDecimal(time, minutes, 2);
    time += format.timeSeparator;
    AppendDecimal(time, seconds, 2);
    if (!format.twelveHourClock) return time;

    const std::u16string& designator = hours < 12 ? format.amDesignator : format.pmDesignator;
    return format.designatorFirst ? designator + u' ' + time : time + u' ' + designator;
}

}  // namespace kosmara
