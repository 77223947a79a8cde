#include "export/calendar.h"

#include <cmath>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "export/extended_precision.h"

namespace kosmara {

namespace {

using Extended = long double;

// The year estimate and the bias of a thousandth of a second of arc are the
// extended values nearest to 122.1 and 1/3600000 (the compiler rounds the
// literal and the quotient correctly in the 64-bit significand format).
constexpr Extended kYearEstimate = 122.1L;
constexpr Extended kThousandthSecond = 1.0L / 3600000.0L;
// The month factor (not the textbook 30.6001) is held as the value
// 30.600000000099999653..., the double nearest to 30.6000000001. For every
// whole day count its quotients and products lie far from whole numbers, so
// its last bits never change a date.
constexpr Extended kMonthFactor = static_cast<Extended>(30.6000000001);
constexpr Extended kTwoTo63 = 0x1p63L;

[[noreturn]] void ThrowInvalidOperation() { throw Error(kInvalidFloatOperation); }

void RequireFinite(Extended x) {
    if (!std::isfinite(x)) ThrowInvalidOperation();
}

// whole(x): cut toward zero, still a real.
Extended Whole(Extended x) {
    if (!(std::fabs(x) < kTwoTo63)) return x;  // already integral (or not finite)
    return std::copysign(static_cast<Extended>(static_cast<std::int64_t>(x)), x);
}

Extended Frac(Extended x) { return x - Whole(x); }

// trunc(x) as a 64-bit integer; beyond that range the operation is invalid.
std::int64_t Trunc64(Extended x) {
    if (!(x >= -kTwoTo63 && x < kTwoTo63)) ThrowInvalidOperation();
    return static_cast<std::int64_t>(x);
}

// A 64-bit value stored into a 32-bit integer keeps its low 32 bits.
std::int32_t Wrap32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

std::int32_t Trunc32(Extended x) { return Wrap32(Trunc64(x)); }

// The steps below are kept out of line and opaque to the optimiser, so that
// none of their arithmetic can be moved across the control-word guard of
// the public routines.

[[gnu::noipa]] CalendarDate ComputeDate(Extended julianDay) {
    RequireFinite(julianDay);
    const Extended s = julianDay + 0.5L;
    const Extended z = Whole(s);
    const Extended f = s - z;
    Extended a = z;
    if (z >= 2299161.0L) {
        const Extended alpha = Whole((z - 1867216.25L) / 36524.25L);
        a = ((z + 1.0L) + alpha) - Whole(alpha / 4.0L);
    }
    const Extended b = a + 1524.0L;
    const std::int32_t c = Trunc32((b - kYearEstimate) / 365.25L);
    const std::int32_t d = Trunc32(static_cast<Extended>(c) * 365.25L);
    const std::int32_t e = Trunc32((b - static_cast<Extended>(d)) / kMonthFactor);
    const std::int32_t day =
        Trunc32(((b - static_cast<Extended>(d)) - Whole(static_cast<Extended>(e) * kMonthFactor)) + f);
    const std::int32_t month = Wrap32(e < 14 ? std::int64_t{e} - 1 : std::int64_t{e} - 13);
    const std::int32_t year = Wrap32(month <= 2 ? std::int64_t{c} - 4715 : std::int64_t{c} - 4716);
    return {year, month, day};
}

struct ClockTime {
    int hours, minutes, seconds;
};

[[gnu::noipa]] ClockTime ComputeTimeOfDay(Extended julianDay) {
    RequireFinite(julianDay);
    const double fraction = static_cast<double>(Frac(julianDay + 0.5L));
    const Extended product = static_cast<Extended>(fraction) * 86400000.0L;
    // Round to the nearest millisecond, ties to even (|product| < 2^27).
    Extended rounded = Whole(product);
    const Extended rest = std::fabs(product - rounded);
    if (rest > 0.5L || (rest == 0.5L && static_cast<std::int64_t>(rounded) % 2 != 0))
        rounded += product < 0 ? -1.0L : 1.0L;
    std::int64_t milliseconds = static_cast<std::int64_t>(rounded);
    if (milliseconds < 0) milliseconds = -milliseconds;
    const std::int64_t t = milliseconds % 86400000;
    return {static_cast<int>(t / 3600000), static_cast<int>((t / 60000) % 60), static_cast<int>((t / 1000) % 60)};
}

// Exact decimal digits of a non-negative extended value: value = digits × 10^exponent.
struct DecimalDigits {
    std::string digits;  // no leading zeros
    int exponent;
};

// A small unsigned big number in base 10^9, least significant limb first.
class DecimalAccumulator {
public:
    explicit DecimalAccumulator(std::uint64_t value) {
        do {
            limbs_.push_back(static_cast<std::uint32_t>(value % kBase));
            value /= kBase;
        } while (value != 0);
    }

    void Multiply(std::uint32_t factor) {  // factor < 2^31
        std::uint64_t carry = 0;
        for (auto& limb : limbs_) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            limbs_.push_back(static_cast<std::uint32_t>(carry % kBase));
            carry /= kBase;
        }
    }

    void MultiplyByPower(std::uint32_t base, std::uint32_t chunk, int chunkExponent, int exponent) {
        for (; exponent >= chunkExponent; exponent -= chunkExponent) Multiply(chunk);
        for (; exponent > 0; --exponent) Multiply(base);
    }

    std::string ToString() const {
        std::string out = std::to_string(limbs_.back());
        for (auto it = limbs_.rbegin() + 1; it != limbs_.rend(); ++it) {
            std::string part = std::to_string(*it);
            out.append(9 - part.size(), '0');
            out += part;
        }
        return out;
    }

private:
    static constexpr std::uint32_t kBase = 1000000000;
    std::vector<std::uint32_t> limbs_;
};

DecimalDigits ExactDecimal(Extended magnitude) {
    int binaryExponent = 0;
    const Extended mantissa = std::frexp(magnitude, &binaryExponent);  // [0.5, 1)
    const auto significand = static_cast<std::uint64_t>(std::ldexp(mantissa, 64));
    binaryExponent -= 64;  // magnitude = significand × 2^binaryExponent
    DecimalAccumulator number(significand);
    if (binaryExponent >= 0) {
        number.MultiplyByPower(2, 1u << 30, 30, binaryExponent);
        return {number.ToString(), 0};
    }
    // significand × 2^-k = significand × 5^k × 10^-k
    number.MultiplyByPower(5, 1220703125u /* 5^13 */, 13, -binaryExponent);
    return {number.ToString(), binaryExponent};
}

// Adds one to the last digit of a digit string; returns false when the
// carry runs out of the string (all nines became zeros).
bool IncrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return true;
        }
        *it = '0';
    }
    return false;
}

// The format "0000000.00000" without the user's regional settings: first
// rounded to 18 significant digits (to nearest, ties to even, on the exact
// value), then to five decimals with halves away from zero.
std::u16string FixedFiveDecimals(Extended value) {
    const bool negative = std::signbit(value);
    const Extended magnitude = std::fabs(value);
    // Below this, neither rounding step can reach the fifth decimal.
    if (magnitude < 4e-6L) return u"0000000.00000";

    DecimalDigits exact = ExactDecimal(magnitude);
    // Digits before the decimal point (may be zero or negative).
    int pointPosition = static_cast<int>(exact.digits.size()) + exact.exponent;
    std::string digits = exact.digits;
    if (digits.size() > 18) {
        const std::string rest = digits.substr(18);
        digits.resize(18);
        const bool restBeyondHalf = rest.find_first_not_of('0', 1) != std::string::npos;
        const bool up = rest[0] > '5' || (rest[0] == '5' && (restBeyondHalf || (digits.back() - '0') % 2 != 0));
        if (up && !IncrementDigits(digits)) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++pointPosition;
        }
    }

    // Whole part and decimals of the 18-digit value.
    std::string whole;
    std::string decimals;
    if (pointPosition > 0) {
        whole = digits.substr(0, std::min<std::size_t>(digits.size(), pointPosition));
        whole.append(static_cast<std::size_t>(pointPosition) - whole.size(), '0');
        if (static_cast<std::size_t>(pointPosition) < digits.size()) decimals = digits.substr(pointPosition);
    } else {
        decimals = std::string(static_cast<std::size_t>(-pointPosition), '0') + digits;
    }
    decimals.resize(6, '0');
    const bool roundUp = decimals[5] >= '5';
    decimals.resize(5);

    std::string all = whole + decimals;
    if (roundUp && !IncrementDigits(all)) all.insert(all.begin(), '1');
    whole = all.substr(0, all.size() - 5);
    decimals = all.substr(all.size() - 5);
    if (whole.size() < 7) whole.insert(0, 7 - whole.size(), '0');

    const bool allZero = all.find_first_not_of('0') == std::string::npos;
    std::u16string out;
    if (negative && !allZero) out += u'-';
    out += FromAscii(whole);
    out += u'.';
    out += FromAscii(decimals);
    return out;
}

[[gnu::noipa]] std::u16string ComputeJulianDayText(Extended julianDay, Extended zoneOffsetHours) {
    const Extended value = julianDay + (zoneOffsetHours / 24.0L);
    RequireFinite(value);
    return FixedFiveDecimals(value);
}

enum class Angle { Latitude, Longitude, ZoneOffset };

[[gnu::noipa]] std::u16string ComputeSexagesimal(Extended a, Angle kind) {
    RequireFinite(a);
    const bool zone = kind == Angle::ZoneOffset;
    Extended x = zone ? std::fabs(a) : std::fabs(a) + kThousandthSecond;
    std::int64_t whole = Trunc64(x);
    if (!zone) whole = Wrap32(whole);
    x = Frac(x) * 60.0L;
    const std::int64_t minutes = Trunc64(x);
    bool hasSeconds = true;
    std::int64_t seconds = 0;
    if (zone) {
        const Extended q = Frac(x) * 60.0L;
        hasSeconds = q >= 1.0L;
        if (hasSeconds) seconds = Trunc64(q);
    } else {
        x = Frac(x) * 60.0L;
        seconds = Trunc64(x);
    }

    char16_t letter;
    switch (kind) {
        case Angle::Latitude: letter = a >= 0 ? u'n' : u's'; break;
        case Angle::Longitude: letter = a >= 0 ? u'w' : u'e'; break;
        default: letter = a > 0 ? u'w' : u'e'; break;
    }
    std::u16string out;
    AppendDecimal(out, whole, 1);
    out += letter;
    AppendDecimal(out, minutes, 2);  // 0 to 59
    if (hasSeconds) {
        out += u':';
        AppendDecimal(out, seconds, 2);
    }
    return out;
}

}  // namespace

CalendarDate JulianDayToDate(long double julianDay) {
    ExtendedPrecisionScope precision;
    return ComputeDate(julianDay);
}

std::u16string JulianDayToDateText(long double julianDay) {
    const CalendarDate date = JulianDayToDate(julianDay);
    std::u16string out;
    AppendDecimal(out, date.day, 2);
    out += u'.';
    AppendDecimal(out, date.month, 2);
    out += u'.';
    AppendDecimal(out, date.year, 4);
    return out;
}

std::u16string TimeOfDayText(long double julianDay, const TimeFormatSettings& format) {
    ClockTime time;
    {
        ExtendedPrecisionScope precision;
        time = ComputeTimeOfDay(julianDay);
    }
    return FormatTimeOfDay(time.hours, time.minutes, time.seconds, format);
}

std::u16string JulianDayText(long double julianDay, long double zoneOffsetHours) {
    ExtendedPrecisionScope precision;
    return ComputeJulianDayText(julianDay, zoneOffsetHours);
}

std::u16string LatitudeText(long double latitude) {
    ExtendedPrecisionScope precision;
    return ComputeSexagesimal(latitude, Angle::Latitude);
}

std::u16string LongitudeText(long double longitude) {
    ExtendedPrecisionScope precision;
    return ComputeSexagesimal(longitude, Angle::Longitude);
}

std::u16string ZoneOffsetText(long double zoneOffsetHours) {
    ExtendedPrecisionScope precision;
    return ComputeSexagesimal(zoneOffsetHours, Angle::ZoneOffset);
}

}  // namespace kosmara
