// The time of day in the user's regional long time format, composed from the
// six regional settings; and those settings as the platform reports them.
#include "core/time_format.h"

#include "export/calendar.h"
#include "platform/locale.h"
#include "test_support.h"

namespace kosmara {
namespace {

TimeFormatSettings TwelveHour(bool leadingZero, bool designatorFirst) {
    TimeFormatSettings format;
    format.leadingZeroInHours = leadingZero;
    format.twelveHourClock = true;
    format.designatorFirst = designatorFirst;
    format.amDesignator = u"AM";
    format.pmDesignator = u"PM";
    return format;
}

struct TimeCase {
    int hours, minutes, seconds;
    const char16_t* german;
    const char16_t* designatorLast;   // 12-hour, no leading zero
    const char16_t* designatorFirst;  // 12-hour, leading zero
};

const TimeCase kTimeCases[] = {
    {0, 0, 0, u"00:00:00", u"12:00:00 AM", u"AM 12:00:00"},
    {7, 5, 9, u"07:05:09", u"7:05:09 AM", u"AM 07:05:09"},
    {11, 59, 59, u"11:59:59", u"11:59:59 AM", u"AM 11:59:59"},
    {12, 0, 0, u"12:00:00", u"12:00:00 PM", u"PM 12:00:00"},
    {13, 2, 4, u"13:02:04", u"1:02:04 PM", u"PM 01:02:04"},
    {23, 59, 59, u"23:59:59", u"11:59:59 PM", u"PM 11:59:59"},
};

TEST(TimeFormat, ComposesTheSixSettings) {
    for (const TimeCase& c : kTimeCases) {
        SCOPED_TRACE(::testing::Message() << c.hours << ":" << c.minutes << ":" << c.seconds);
        EXPECT_EQ(FormatTimeOfDay(c.hours, c.minutes, c.seconds, GermanTimeFormat()), c.german);
        EXPECT_EQ(FormatTimeOfDay(c.hours, c.minutes, c.seconds, TwelveHour(false, false)), c.designatorLast);
        EXPECT_EQ(FormatTimeOfDay(c.hours, c.minutes, c.seconds, TwelveHour(true, true)), c.designatorFirst);
    }
}

TEST(TimeFormat, DefaultsApplyWhereThePlatformSuppliesNothing) {
    // 12-hour clock, no leading zero, designators "am" and "pm" after the time, ":".
    EXPECT_EQ(FormatTimeOfDay(0, 1, 2, TimeFormatSettings{}), u"12:01:02 am");
    EXPECT_EQ(FormatTimeOfDay(18, 0, 0, TimeFormatSettings{}), u"6:00:00 pm");
}

TEST(TimeFormat, OwnSeparatorAndTheJulianDay) {
    TimeFormatSettings format = GermanTimeFormat();
    format.timeSeparator = u'.';
    EXPECT_EQ(TimeOfDayText(2451545.25, format), u"18.00.00");
    EXPECT_EQ(TimeOfDayText(2451545.25, TwelveHour(false, false)), u"6:00:00 PM");
}

TEST(TimeFormat, PlatformReportsGermanSettings) {
#ifdef _WIN32
    const char* german = "de-DE";
#else
    const char* german = "de_DE.UTF-8";
#endif
    const auto format = TimeFormatSettingsOfLocale(german);
    if (!format) GTEST_SKIP() << "locale " << german << " is not installed (scripts/setup.sh generates it)";
    EXPECT_FALSE(format->twelveHourClock);
    EXPECT_TRUE(format->leadingZeroInHours);
    EXPECT_EQ(format->timeSeparator, u':');
    EXPECT_EQ(FormatTimeOfDay(7, 5, 9, *format), u"07:05:09");
}

TEST(TimeFormat, PlatformReportsAmericanSettings) {
#ifdef _WIN32
    const char* american = "en-US";
#else
    const char* american = "en_US.UTF-8";
#endif
    const auto format = TimeFormatSettingsOfLocale(american);
    if (!format) GTEST_SKIP() << "locale " << american << " is not installed (scripts/setup.sh generates it)";
    EXPECT_TRUE(format->twelveHourClock);
    EXPECT_FALSE(format->designatorFirst);
    EXPECT_EQ(format->amDesignator, u"AM");
    EXPECT_EQ(format->pmDesignator, u"PM");
    EXPECT_EQ(format->timeSeparator, u':');
}

TEST(TimeFormat, UnknownLocaleIsReportedAsSuch) {
    EXPECT_FALSE(TimeFormatSettingsOfLocale("xx-nowhere").has_value());
}

TEST(TimeFormat, UserSettingsAreReadable) {
    // Whatever the machine's locale is, the composed text has the time in it.
    const std::u16string text = FormatTimeOfDay(13, 2, 4, UserTimeFormatSettings());
    EXPECT_NE(text.find(u"02"), std::u16string::npos);
    EXPECT_NE(text.find(u"04"), std::u16string::npos);
}

}  // namespace
}  // namespace kosmara
