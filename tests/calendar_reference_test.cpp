// The calendar and Julian day texts against independent references: an
// integer-only day-number conversion for every day of the calendar range,
// and the C library's exact decimal conversion for many random Julian days.
#include <cstdio>
#include <random>
#include <string>

#include "export/calendar.h"
#include "test_support.h"

namespace kosmara {
namespace {

// Julian day number (the day beginning at noon) to a calendar date with
// integers only: Gregorian from 2299161 on, Julian before.
CalendarDate ReferenceDate(long long dayNumber) {
    long long f = dayNumber + 1401;
    if (dayNumber >= 2299161) f += (((4 * dayNumber + 274277) / 146097) * 3) / 4 - 38;
    const long long e = 4 * f + 3;
    const long long g = (e % 1461) / 4;
    const long long h = 5 * g + 2;
    const auto day = static_cast<std::int32_t>((h % 153) / 5 + 1);
    const auto month = static_cast<std::int32_t>((h / 153 + 2) % 12 + 1);
    const auto year = static_cast<std::int32_t>(e / 1461 - 4716 + (12 + 2 - month) / 12);
    return {year, month, day};
}

TEST(CalendarReference, EveryDayFromTheStartOfTheCountToTheYear10000) {
    int mismatches = 0;
    for (long long day = 0; day <= 5373484 && mismatches < 10; ++day) {
        const CalendarDate expected = ReferenceDate(day);
        // Midnight at the start of the civil day and a moment in its evening.
        for (double moment : {static_cast<double>(day) - 0.5, static_cast<double>(day) + 0.4999}) {
            const CalendarDate actual = JulianDayToDate(moment);
            if (!(actual == expected)) {
                ++mismatches;
                ADD_FAILURE() << "julian day " << moment << ": " << actual.year << "-" << actual.month << "-"
                              << actual.day << ", expected " << expected.year << "-" << expected.month << "-"
                              << expected.day;
            }
        }
    }
}

// The five-decimal text from the C library's correctly rounded 18 digits.
std::u16string ReferenceJulianDayText(long double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17Le", value);  // d.ddddddddddddddddde±x
    std::string text = buffer;
    const bool negative = text[0] == '-';
    if (negative) text.erase(0, 1);
    const int exponent = std::stoi(text.substr(text.find('e') + 1));
    std::string digits = text.substr(0, 1) + text.substr(2, 17);
    // Place the decimal point, then round the sixth decimal away from zero.
    std::string whole, decimals;
    const int point = exponent + 1;
    if (point > 0) {
        whole = digits.substr(0, point);
        decimals = digits.substr(point);
    } else {
        decimals = std::string(-point, '0') + digits;
    }
    decimals.resize(6, '0');
    long long scaled = std::stoll((whole.empty() ? "0" : whole) + decimals.substr(0, 5));
    if (decimals[5] >= '5') ++scaled;
    std::string number = std::to_string(scaled);
    if (number.size() < 12) number.insert(0, 12 - number.size(), '0');
    std::string out = (negative && scaled != 0 ? "-" : "") + number.substr(0, number.size() - 5) + "." +
                      number.substr(number.size() - 5);
    return std::u16string(out.begin(), out.end());
}

TEST(CalendarReference, JulianDayTextOfRandomMoments) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> days(-10.0, 5400000.0);
    std::uniform_int_distribution<int> minutes(-14 * 60, 14 * 60);
    std::uniform_real_distribution<double> anyOffset(-24.0, 24.0);
    for (int i = 0; i < 200000; ++i) {
        const double julianDay = days(random);
        const double zone = i % 2 == 0 ? minutes(random) / 60.0 : anyOffset(random);
        const long double value = static_cast<long double>(julianDay) + static_cast<long double>(zone) / 24.0L;
        const std::u16string expected = ReferenceJulianDayText(value);
        const std::u16string actual = JulianDayText(julianDay, zone);
        if (actual != expected) {
            ADD_FAILURE() << "julian day " << julianDay << " zone " << zone << ": " << ToUtf8(actual) << " != "
                          << ToUtf8(expected);
            break;
        }
    }
}

}  // namespace
}  // namespace kosmara
