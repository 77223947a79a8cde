// Dates, times of day, Julian day texts and sexagesimal texts, each checked
// against values computed by hand in x87 extended precision. The inputs are
// the double-precision values nearest to the decimals shown.
#include "export/calendar.h"

#include <cmath>
#include <limits>

#include "core/error.h"
#include "test_support.h"

namespace kosmara {
namespace {

struct DateCase {
    double julianDay;
    CalendarDate date;
    const char16_t* dateText;
    const char16_t* timeText;  // German regional settings
};

const DateCase kDateCases[] = {
    {2451545.0, {2000, 1, 1}, u"01.01.2000", u"12:00:00"},
    {2451544.5, {2000, 1, 1}, u"01.01.2000", u"00:00:00"},
    {2451545.25, {2000, 1, 1}, u"01.01.2000", u"18:00:00"},
    {2451603.5, {2000, 2, 29}, u"29.02.2000", u"00:00:00"},
    {2415079.5, {1900, 3, 1}, u"01.03.1900", u"00:00:00"},  // Gregorian 1900 has no 29 February
    {2268991.5, {1500, 2, 29}, u"29.02.1500", u"00:00:00"},  // Julian calendar
    {2299159.5, {1582, 10, 4}, u"04.10.1582", u"00:00:00"},
    {2299160.0, {1582, 10, 4}, u"04.10.1582", u"12:00:00"},  // the switch is at 2299160.5
    {2299160.5, {1582, 10, 15}, u"15.10.1582", u"00:00:00"},  // first Gregorian day
    {2299161.0, {1582, 10, 15}, u"15.10.1582", u"12:00:00"},
    {1721423.5, {1, 1, 1}, u"01.01.0001", u"00:00:00"},
    {1721057.5, {0, 1, 1}, u"01.01.0000", u"00:00:00"},
    {1705425.5, {-43, 3, 15}, u"15.03.-0043", u"00:00:00"},
    {0.0, {-4712, 1, 1}, u"01.01.-4712", u"12:00:00"},  // also a null Julian day
    {-0.5, {-4712, 1, 1}, u"01.01.-4712", u"00:00:00"},
    {5373484.5, {10000, 1, 1}, u"01.01.10000", u"00:00:00"},
    // 23:59:59.9996 rounds to the millisecond 24:00:00.000 and wraps; no day is carried.
    {2451545.499999996, {2000, 1, 1}, u"01.01.2000", u"00:00:00"},
    // The millisecond rounding carries into the seconds ...
    {2451545.043101847, {2000, 1, 1}, u"01.01.2000", u"13:02:04"},
    // ... but milliseconds are dropped, not rounded into the seconds (13:02:03.999).
    {2451545.043101845, {2000, 1, 1}, u"01.01.2000", u"13:02:03"},
    // More dates across the calendars and the month table.
    {2440587.5, {1970, 1, 1}, u"01.01.1970", u"00:00:00"},
    {2451604.5, {2000, 3, 1}, u"01.03.2000", u"00:00:00"},
    {2451909.5, {2000, 12, 31}, u"31.12.2000", u"00:00:00"},
    {2415078.5, {1900, 2, 28}, u"28.02.1900", u"00:00:00"},
    {2433282.5 + 0.75, {1950, 1, 1}, u"01.01.1950", u"18:00:00"},
};

TEST(Calendar, DatesAndTimesOfDay) {
    for (const DateCase& c : kDateCases) {
        SCOPED_TRACE(::testing::Message() << "julian day " << c.julianDay);
        EXPECT_EQ(JulianDayToDate(c.julianDay), c.date);
        EXPECT_EQ(JulianDayToDateText(c.julianDay), c.dateText);
        EXPECT_EQ(TimeOfDayText(c.julianDay, GermanTimeFormat()), c.timeText);
    }
}

TEST(Calendar, BelowTheCalendarRangeStillGivesATime) {
    // Before -0.5 the fraction is negative; the time uses its magnitude.
    EXPECT_EQ(TimeOfDayText(-0.75, GermanTimeFormat()), u"06:00:00");
}

struct JulianDayTextCase {
    double julianDay;
    double zoneOffset;
    const char16_t* text;
};

const JulianDayTextCase kJulianDayTextCases[] = {
    {2451545.0, 0.0, u"2451545.00000"},
    {2451545.0, -1.0, u"2451544.95833"},
    {2451545.0, 1.0, u"2451545.04167"},
    {2451545.0, -5.5, u"2451544.77083"},
    {245.5, 0.0, u"0000245.50000"},
    {12345678.5, 0.0, u"12345678.50000"},
    {2447892.9999951, 0.0, u"2447893.00000"},  // the carry reaches the whole part
    {2447892.9999949, 0.0, u"2447892.99999"},
    {-0.25, 0.0, u"-0000000.25000"},
    {-0.000001, 0.0, u"0000000.00000"},  // rounds to zero: no sign
    {0.0, 0.0, u"0000000.00000"},
    {-0.0, 0.0, u"0000000.00000"},
    {0.000005, 0.0, u"0000000.00001"},     // half rounds away from zero ...
    {-0.000005, 0.0, u"-0000000.00001"},   // ... on both sides
    {0.0000049, 0.0, u"0000000.00000"},
    {9999999.999995, 0.0, u"10000000.00000"},
    {2451545.0, -0.25, u"2451544.98958"},  // 2451544.989583333...
    {1e17, 0.0, u"100000000000000000.00000"},
    // 2451545 + 1/4096 = 2451545.000244140625 exactly; the 18-digit step rounds
    // the tie to even, the 5-decimal step is unaffected.
    {2451545.000244140625, 0.0, u"2451545.00024"},
};

TEST(Calendar, JulianDayText) {
    for (const JulianDayTextCase& c : kJulianDayTextCases) {
        SCOPED_TRACE(::testing::Message() << "julian day " << c.julianDay << " zone " << c.zoneOffset);
        EXPECT_EQ(JulianDayText(c.julianDay, c.zoneOffset), c.text);
    }
}

TEST(Calendar, JulianDayTextRoundsTo18DigitsBeforeTheFiveDecimals) {
    // Two units in the last place below the extended value nearest to a half
    // of the fifth decimal lies surely below that half, yet within 10^-17 of
    // it: its 18 significant digits end in ...500000000000, so it rounds up.
    const auto twoBelow = [](long double x) { return std::nextafter(std::nextafter(x, 0.0L), 0.0L); };
    EXPECT_EQ(JulianDayText(twoBelow(1.000005L), 0.0L), u"0000001.00001");
    EXPECT_EQ(JulianDayText(twoBelow(0.000005L), 0.0L), u"0000000.00001");
    EXPECT_EQ(JulianDayText(-twoBelow(2451545.000005L), 0.0L), u"-2451545.00001");
    // Clearly below at 18 digits: rounds down.
    EXPECT_EQ(JulianDayText(1.0000049999999999, 0.0), u"0000001.00000");
}

struct AngleCase {
    double input;
    const char16_t* latitude;
    const char16_t* longitude;
};

const AngleCase kAngleCases[] = {
    {52.5, u"52n30:00", u"52w30:00"},
    {-13.41, u"13s24:36", u"13e24:36"},
    {-33.8688, u"33s52:07", u"33e52:07"},
    {0.0, u"0n00:00", u"0w00:00"},  // also a null value
    {-0.0, u"0n00:00", u"0w00:00"},
    {90.0, u"90n00:00", u"90w00:00"},
    {180.0, u"180n00:00", u"180w00:00"},
    {52.516666666666666, u"52n31:00", u"52w31:00"},  // without the bias: 52n30:59
    {48.1333333333333, u"48n08:00", u"48w08:00"},
    {89.99999999, u"90n00:00", u"90w00:00"},  // within a thousandth of a second below 90
    {10.999999722222222, u"11n00:00", u"11w00:00"},
    {10.99999972, u"10n59:59", u"10w59:59"},  // a little more than a thousandth below 11
    {51.999999, u"51n59:59", u"51w59:59"},
    {0.0002777777777777778, u"0n00:01", u"0w00:01"},
    {-179.99999, u"179s59:59", u"179e59:59"},
};

TEST(Calendar, LatitudeAndLongitudeTexts) {
    for (const AngleCase& c : kAngleCases) {
        SCOPED_TRACE(::testing::Message() << "input " << c.input);
        EXPECT_EQ(LatitudeText(c.input), c.latitude);
        EXPECT_EQ(LongitudeText(c.input), c.longitude);
    }
}

struct ZoneCase {
    double offset;
    const char16_t* text;
};

// The comments give what a double-precision evaluation would wrongly write.
const ZoneCase kZoneCases[] = {
    {1.0, u"1w00"},
    {-1.0, u"1e00"},
    {0.0, u"0e00"},
    {-0.0, u"0e00"},
    {-5.5, u"5e30"},
    {5.75, u"5w45"},
    {12.0, u"12w00"},
    {-10.5, u"10e30"},
    {-0.25833333333333336, u"0e15:30"},  // 15 min 30 s east
    {-0.15, u"0e08:59"},                 // double: 0e09
    {0.5041666666666667, u"0w30:14"},    // double: 0w30:15
    {0.016666666666666666, u"0w00:59"},  // double: 0w01
    {-0.8911111111111111, u"0e53:27"},
    {-1.0169444444444444, u"1e01"},  // the seconds fraction stays below 1
    {2.0083333333333333, u"2w00:29"},
    {1e15, u"1000000000000000w00"},  // whole hours are 64-bit
};

TEST(Calendar, ZoneOffsetTexts) {
    for (const ZoneCase& c : kZoneCases) {
        SCOPED_TRACE(::testing::Message() << "offset " << c.offset);
        EXPECT_EQ(ZoneOffsetText(c.offset), c.text);
    }
}

TEST(Calendar, InvalidInputsFail) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {nan, inf, -inf}) {
        SCOPED_TRACE(::testing::Message() << "input " << bad);
        EXPECT_ERROR_MESSAGE(JulianDayToDate(bad), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(JulianDayToDateText(bad), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(TimeOfDayText(bad, GermanTimeFormat()), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(JulianDayText(bad, 0.0), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(JulianDayText(0.0, bad), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(LatitudeText(bad), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(LongitudeText(bad), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(ZoneOffsetText(bad), kInvalidFloatOperation);
    }
    // Values whose whole part leaves the 64-bit signed range.
    for (double huge : {1e19, -1e19, 1e300}) {
        SCOPED_TRACE(::testing::Message() << "input " << huge);
        EXPECT_ERROR_MESSAGE(LatitudeText(huge), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(LongitudeText(huge), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(ZoneOffsetText(huge), kInvalidFloatOperation);
        EXPECT_ERROR_MESSAGE(JulianDayToDate(huge * 400), kInvalidFloatOperation);
    }
    // A finite time of day is always defined, however large the day.
    EXPECT_EQ(TimeOfDayText(1e300, GermanTimeFormat()), u"00:00:00");
}

TEST(Calendar, JustInsideThe64BitRangeGivesAText) {
    // 2^63 - 1024 is the largest double below 2^63; its whole hours fit.
    EXPECT_EQ(ZoneOffsetText(9223372036854774784.0), u"9223372036854774784w00");
    EXPECT_ERROR_MESSAGE(ZoneOffsetText(9223372036854775808.0), kInvalidFloatOperation);
}

}  // namespace
}  // namespace kosmara
