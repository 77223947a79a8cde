// The notation of the table dump: it must equal what the pxlib-based dumper
// of our test tools prints (C's printf on Linux) on every platform, so the
// cases here are the places where printf's rules are easy to miss.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/table_dump.h"
#include "test_support.h"

namespace kosmara {
namespace {

FieldValue Null() { return FieldValue{}; }

FieldValue Text(std::u16string text, FieldValue::Kind kind = FieldValue::Kind::kText) {
    return FieldValue::OfText(std::move(text), kind);
}
FieldValue Integer(std::int64_t integer, FieldValue::Kind kind = FieldValue::Kind::kInteger) {
    return FieldValue::OfInteger(integer, kind);
}
FieldValue Real(double real, FieldValue::Kind kind = FieldValue::Kind::kReal) { return FieldValue::OfReal(real, kind); }
FieldValue Boolean(bool boolean) { return FieldValue::OfBoolean(boolean); }
FieldValue Bytes(std::string bytes) { return FieldValue::OfBytes(std::move(bytes)); }
FieldValue Date(std::int64_t day) { return Integer(day, FieldValue::Kind::kDate); }
FieldValue Time(std::int64_t milliseconds) { return Integer(milliseconds, FieldValue::Kind::kTime); }
FieldValue Timestamp(double milliseconds) { return Real(milliseconds, FieldValue::Kind::kTimestamp); }

struct Case {
    const char* what;
    FieldValue value;
    FieldType type;
    const char* expected;
};

void ExpectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(DumpValue(c.value, c.type), c.expected) << c.what;
}

constexpr double kDay = 86400000.0;

TEST(TableDump, NumbersAsPrintfWrites17SignificantDigits) {
    const FieldType n = FieldType::kNumber;
    ExpectCases({
        {"zero", Real(0.0), n, "0"},
        {"negative zero keeps its sign", Real(-0.0), n, "-0"},
        {"whole numbers have no point", Real(40.0), n, "40"},
        {"negative", Real(-1.387), n, "-1.387"},
        {"all 17 digits", Real(1.34), n, "1.3400000000000001"},
        {"money is not rounded", Real(13.002), FieldType::kMoney, "13.002000000000001"},
        {"0.1", Real(0.1), n, "0.10000000000000001"},
        {"largest without exponent", Real(1e16), n, "10000000000000000"},
        {"exponent from 1e17 on", Real(1e17), n, "1e+17"},
        {"exponent with rounding", Real(123456789012345678.0), n, "1.2345678901234568e+17"},
        {"1e21", Real(1e21), n, "1e+21"},
        {"smallest without exponent", Real(0.0001), n, "0.0001"},
        {"just below 1e-4", Real(0.0001 * 0.999), n, "9.9900000000000002e-05"},
        {"two exponent digits", Real(1e-5), n, "1.0000000000000001e-05"},
        {"negative with exponent", Real(-123.456e-7), n, "-1.2345599999999999e-05"},
        {"subnormal", Real(2.5e-310), n, "2.5000000000000171e-310"},
        {"smallest subnormal", Real(std::numeric_limits<double>::denorm_min()), n, "4.9406564584124654e-324"},
        {"largest", Real(std::numeric_limits<double>::max()), n, "1.7976931348623157e+308"},
    });
}

// The C library as the second opinion for many bit patterns (the tests never
// change the locale, so printf writes "." as the decimal point).
TEST(TableDump, NumbersMatchPrintfForRandomBitPatterns) {
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.17g", value);
        ASSERT_EQ(DumpValue(Real(value), FieldType::kNumber), expected) << "bits " << bits;
    }
}

TEST(TableDump, TextIsUtf8WithEscapesForControlCharacters) {
    const FieldType a = FieldType::kAlpha;
    ExpectCases({
        {"plain", Text(u"Fünfter Datensatz"), a, "Fünfter Datensatz"},
        {"backslash", Text(u"C:\\Daten"), a, "C:\\\\Daten"},
        {"tab and line ends", Text(u"a\tb\r\nc"), FieldType::kMemo, "a\\tb\\r\\nc"},
        {"other control characters in upper-case hexadecimal", Text(std::u16string(u"\x01\x1F\x7F x", 5)), a,
         "\\x01\\x1F\\x7F x"},
        {"NUL inside a memo", Text(std::u16string(u"1\0" u"2", 3)), FieldType::kFormattedMemo, "1\\x002"},
        {"C1 controls are not escaped", Text(u"\u0085"), a, "\xC2\x85"},
        {"Cyrillic", Text(u"Дата"), a, "\xD0\x94\xD0\xB0\xD1\x82\xD0\xB0"},
        {"replacement character", Text(u"\uFFFD"), a, "\xEF\xBF\xBD"},
        {"BCD text", Text(u"-0.123", FieldValue::Kind::kDecimal), FieldType::kBcd, "-0.123"},
        {"null", Null(), a, "\\N"},
    });
}

TEST(TableDump, IntegersLogicalsBytesAndBlobs) {
    ExpectCases({
        {"short", Integer(-32767), FieldType::kShort, "-32767"},
        {"long", Integer(2147483647), FieldType::kLong, "2147483647"},
        {"autoincrement", Integer(1), FieldType::kAutoIncrement, "1"},
        {"false", Boolean(false), FieldType::kLogical, "0"},
        {"true", Boolean(true), FieldType::kLogical, "1"},
        {"bytes in lower-case hexadecimal, all of them", Bytes(std::string("\x31\x00\xAB\x00", 4)),
         FieldType::kBytes, "3100ab00"},
        {"blob: length and zlib's CRC-32", Bytes("123456789"), FieldType::kBlob, "BLOB[len=9 crc32=CBF43926]"},
        {"graphic", Bytes("123456789"), FieldType::kGraphic, "BLOB[len=9 crc32=CBF43926]"},
        {"OLE, CRC with leading zeros", Bytes(""), FieldType::kOle, "BLOB[len=0 crc32=00000000]"},
    });
    EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(TableDump, DatesAreProlepticGregorianWithAYearZero) {
    const FieldType d = FieldType::kDate;
    ExpectCases({
        {"day 1", Date(1), d, "0001-01-01"},
        {"day 0 is in year 0 (1 BC)", Date(0), d, "0000-12-31"},
        {"year 0 is a leap year", Date(-365), d, "0000-01-01"},
        {"day -366", Date(-366), d, "-001-12-31"},
        {"year -1 is no leap year", Date(-730), d, "-001-01-01"},
        {"four digits with the sign", Date(-730 - 365 * 998 - 242 - 365), d, "-1000-01-01"},
        {"0100-01-01", Date(36160), d, "0100-01-01"},
        {"1582-10-04 (no Julian calendar)", Date(577725), d, "1582-10-04"},
        {"1582-10-15", Date(577736), d, "1582-10-15"},
        {"1600 is a leap year", Date(584082), d, "1600-02-29"},
        {"1900 is none", Date(693654), d, "1900-02-28"},
        {"1900-03-01", Date(693655), d, "1900-03-01"},
        {"2000-02-29", Date(730179), d, "2000-02-29"},
        {"1970-01-01", Date(719163), d, "1970-01-01"},
        {"9999-12-31", Date(3652059), d, "9999-12-31"},
        {"five-digit year", Date(3652060), d, "10000-01-01"},
    });
}

// Every day against a calendar counted forward and backward one day at a time.
TEST(TableDump, DatesOfEveryDayFromYearMinus2700ToYear10100) {
    auto daysInMonth = [](long long year, int month) {
        static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return month == 2 && leap ? 29 : kDays[month - 1];
    };
    auto text = [](long long year, int month, int day) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d", year, month, day);
        return std::string(buffer);
    };
    int failures = 0;
    long long year = 1;
    int month = 1, day = 1;
    for (std::int64_t number = 1; number <= 3700000 && failures < 5; ++number) {
        if (DumpValue(Date(number), FieldType::kDate) != text(year, month, day)) {
            ++failures;
            ADD_FAILURE() << "day " << number << ": " << DumpValue(Date(number), FieldType::kDate) << ", expected "
                          << text(year, month, day);
        }
        if (++day > daysInMonth(year, month)) {
            day = 1;
            if (++month > 12) month = 1, ++year;
        }
    }
    year = 0, month = 12, day = 31;
    for (std::int64_t number = 0; number >= -1000000 && failures < 5; --number) {
        if (DumpValue(Date(number), FieldType::kDate) != text(year, month, day)) {
            ++failures;
            ADD_FAILURE() << "day " << number << ": " << DumpValue(Date(number), FieldType::kDate) << ", expected "
                          << text(year, month, day);
        }
        if (--day < 1) {
            if (--month < 1) month = 12, --year;
            day = daysInMonth(year, month);
        }
    }
}

TEST(TableDump, TimesAndTimestamps) {
    const FieldType t = FieldType::kTime;
    const FieldType ts = FieldType::kTimestamp;
    ExpectCases({
        {"midnight", Time(0), t, "00:00:00.000"},
        {"01:00:01", Time(3601000), t, "01:00:01.000"},
        {"last millisecond", Time(86399999), t, "23:59:59.999"},
        {"hours are not taken modulo 24", Time(90000000), t, "25:00:00.000"},
        // C's truncating division, as printf("%02ld") shows it.
        {"negative milliseconds", Time(-5), t, "00:00:00.-05"},
        {"negative time", Time(-3601001), t, "-1:00:-1.-01"},
        {"timestamp", Timestamp(62135722800000.0), ts, "1970-01-01 11:00:00.000"},
        {"timestamp before year 1", Timestamp(-366 * kDay + 3600000.0), ts, "-001-12-31 01:00:00.000"},
        {"a negative remainder belongs to the day before", Timestamp(-1.0), ts, "0000-12-30 23:59:59.999"},
        {"a fraction of a millisecond adds the raw value", Timestamp(62135722800000.5), ts,
         "1970-01-01 11:00:00.000(raw=62135722800000.5)"},
        {"the fraction is cut, not rounded", Timestamp(kDay + 1999.75), ts,
         "0001-01-01 00:00:01.999(raw=86401999.75)"},
        {"9999-12-31 23:59:59.999", Timestamp(3652060 * kDay - 1), ts, "9999-12-31 23:59:59.999"},
        {"not a number", Timestamp(std::numeric_limits<double>::quiet_NaN()), ts, "(raw=nan)"},
        {"infinite", Timestamp(-std::numeric_limits<double>::infinity()), ts, "(raw=-inf)"},
        {"far beyond any calendar", Timestamp(1e300), ts, "(raw=1.0000000000000001e+300)"},
    });
}

TEST(TableDump, FieldLineNamesTypesAndSizes) {
    std::vector<FieldDescription> fields = {
        {u"Währung", FieldType::kMoney, 8, 0, 0},
        {u"BCD", FieldType::kBcd, 17, 6, 8},
        {u"Tab\there", FieldType::kAlpha, 30, 0, 25},
        {u"Binär", FieldType::kBlob, 10, 0, 55},
        {u"Datum/Zeit", FieldType::kTimestamp, 8, 0, 65},
    };
    EXPECT_EQ(DumpFieldLine(fields), "Währung:$:8\tBCD:#:6\tTab\\there:A:30\tBinär:B:10\tDatum/Zeit:@:8");
    EXPECT_EQ(DumpFieldLine({}), "");
}

}  // namespace
}  // namespace kosmara
