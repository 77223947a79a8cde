#include "export/calendar.h"

#include <array>
#include <charconv>
#include <cmath>

#include "core/error.h"
#include "core/text.h"
#include "platform/x87_control.h"

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
    return std::copysign(static_cast<Extended>(CutToInteger64(x)), x);
}

Extended Frac(Extended x) { return x - Whole(x); }

// trunc(x) as a 64-bit integer; beyond that range the operation is invalid.
std::int64_t Trunc64(Extended x) {
    if (!(x >= -kTwoTo63 && x < kTwoTo63)) ThrowInvalidOperation();
    return CutToInteger64(x);
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
    if (rest > 0.5L || (rest == 0.5L && CutToInteger64(rounded) % 2 != 0)) rounded += product < 0 ? -1.0L : 1.0L;
    std::int64_t milliseconds = CutToInteger64(rounded);
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
// The largest extended value has 4933 digits, so 560 limbs hold any.
class DecimalAccumulator {
public:
    explicit DecimalAccumulator(std::uint64_t value) {
        do {
            limbs_[count_++] = static_cast<std::uint32_t>(value % kBase);
            value /= kBase;
        } while (value != 0);
    }

    void Multiply(std::uint32_t factor) {  // factor < 2^31
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < count_; ++i) {
            const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
            limbs_[i] = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            limbs_[count_++] = static_cast<std::uint32_t>(carry % kBase);
            carry /= kBase;
        }
    }

    void MultiplyByPower(std::uint32_t base, std::uint32_t chunk, int chunkExponent, int exponent) {
        for (; exponent >= chunkExponent; exponent -= chunkExponent) Multiply(chunk);
        for (; exponent > 0; --exponent) Multiply(base);
    }

    std::string ToString() const {
        std::string out;
        out.reserve(count_ * 9);
        char limb[16];
        const auto top = std::to_chars(limb, limb + sizeof limb, limbs_[count_ - 1]);
        out.append(limb, top.ptr);
        for (std::size_t i = count_ - 1; i-- > 0;) {
            std::uint32_t value = limbs_[i];
            for (int digit = 8; digit >= 0; --digit) {
                limb[digit] = static_cast<char>('0' + value % 10);
                value /= 10;
            }
            out.append(limb, 9);
        }
        return out;
    }

private:
    static constexpr std::uint32_t kBase = 1000000000;
    std::array<std::uint32_t, 560> limbs_;
    std::size_t count_ = 0;
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
void AppendFixedFiveDecimals(std::u16string& out, Extended value) {
    const bool negative = std::signbit(value);
    const Extended magnitude = std::fabs(value);
    // Below this, neither rounding step can reach the fifth decimal.
    if (magnitude < 4e-6L) {
        out += u"0000000.00000";
        return;
    }

    DecimalDigits exact = ExactDecimal(magnitude);
    // Digits before the decimal point (may be zero or negative).
    int pointPosition = static_cast<int>(exact.digits.size()) + exact.exponent;
    std::string& digits = exact.digits;
    if (digits.size() > 18) {
        const char first = digits[18];
        const bool restBeyondHalf = digits.find_first_not_of('0', 19) != std::string::npos;
        digits.resize(18);
        const bool up = first > '5' || (first == '5' && (restBeyondHalf || (digits.back() - '0') % 2 != 0));
        if (up && !IncrementDigits(digits)) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++pointPosition;
        }
    }

    // Whole part and five decimals of the 18-digit value; the sixth decimal
    // decides the rounding.
    const auto digitAt = [&digits](long long index) {
        return index >= 0 && index < static_cast<long long>(digits.size()) ? digits[static_cast<std::size_t>(index)]
                                                                            : '0';
    };
    std::string all;
    if (pointPosition > 0) {
        all.reserve(static_cast<std::size_t>(pointPosition) + 6);
        for (int i = 0; i < pointPosition; ++i) all += digitAt(i);
    }
    for (int i = 0; i < 5; ++i) all += digitAt(static_cast<long long>(pointPosition) + i);
    const bool roundUp = digitAt(static_cast<long long>(pointPosition) + 5) >= '5';
    if (roundUp && !IncrementDigits(all)) all.insert(all.begin(), '1');

    const bool allZero = all.find_first_not_of('0') == std::string::npos;
    if (negative && !allZero) out += u'-';
    const std::size_t wholeSize = all.size() - 5;
    if (wholeSize < 7) out.append(7 - wholeSize, u'0');
    for (std::size_t i = 0; i < wholeSize; ++i) out += static_cast<char16_t>(all[i]);
    out += u'.';
    for (std::size_t i = wholeSize; i < all.size(); ++i) out += static_cast<char16_t>(all[i]);
}

[[gnu::noipa]] void ComputeJulianDayText(std::u16string& out, Extended julianDay, Extended zoneOffsetHours) {
    const Extended value = julianDay + (zoneOffsetHours / 24.0L);
    RequireFinite(value);
    AppendFixedFiveDecimals(out, value);
}

enum class Angle { Latitude, Longitude, ZoneOffset };

[[gnu::noipa]] void ComputeSexagesimal(std::u16string& out, Extended a, Angle kind) {
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
    AppendDecimal(out, whole, 1);
    out += letter;
    AppendDecimal(out, minutes, 2);  // 0 to 59
    if (hasSeconds) {
        out += u':';
        AppendDecimal(out, seconds, 2);
    }
}

}  // namespace

CalendarDate JulianDayToDate(long double julianDay) {
    ExtendedPrecisionScope precision;
    return ComputeDate(julianDay);
}

void AppendJulianDayToDateText(std::u16string& out, long double julianDay) {
    const CalendarDate date = JulianDayToDate(julianDay);
    AppendDecimal(out, date.day, 2);
    out += u'.';
    AppendDecimal(out, date.month, 2);
    out += u'.';
    AppendDecimal(out, date.year, 4);
}

void AppendTimeOfDayText(std::u16string& out, long double julianDay, const TimeFormatSettings& format) {
    ClockTime time;
    {
        ExtendedPrecisionScope precision;
        time = ComputeTimeOfDay(julianDay);
    }
    AppendTimeOfDay(out, time.hours, time.minutes, time.seconds, format);
}

void AppendJulianDayText(std::u16string& out, long double julianDay, long double zoneOffsetHours) {
    ExtendedPrecisionScope precision;
    ComputeJulianDayText(out, julianDay, zoneOffsetHours);
}

void AppendLatitudeText(std::u16string& out, long double latitude) {
    ExtendedPrecisionScope precision;
    ComputeSexagesimal(out, latitude, Angle::Latitude);
}

void AppendLongitudeText(std::u16string& out, long double longitude) {
    ExtendedPrecisionScope precision;
    ComputeSexagesimal(out, longitude, Angle::Longitude);
}

void AppendZoneOffsetText(std::u16string& out, long double zoneOffsetHours) {
    ExtendedPrecisionScope precision;
    ComputeSexagesimal(out, zoneOffsetHours, Angle::ZoneOffset);
}

namespace {

template <typename... Args>
std::u16string Returned(void (*append)(std::u16string&, Args...), Args... args) {
    std::u16string out;
    append(out, args...);
    return out;
}

}  // namespace

std::u16string JulianDayToDateText(long double julianDay) { return Returned(AppendJulianDayToDateText, julianDay); }

std::u16string TimeOfDayText(long double julianDay, const TimeFormatSettings& format) {
    std::u16string out;
    AppendTimeOfDayText(out, julianDay, format);
    return out;
}

std::u16string JulianDayText(long double julianDay, long double zoneOffsetHours) {
    return Returned(AppendJulianDayText, julianDay, zoneOffsetHours);
}

std::u16string LatitudeText(long double latitude) { return Returned(AppendLatitudeText, latitude); }
std::u16string LongitudeText(long double longitude) { return Returned(AppendLongitudeText, longitude); }
std::u16string ZoneOffsetText(long double zoneOffsetHours) { return Returned(AppendZoneOffsetText, zoneOffsetHours); }

}  // namespace kosmara
