#include "tests/pxlib/table_generator.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <stdexcept>

#include "core/text.h"

namespace kosmara::testing {

namespace {

constexpr int kMillisecondsPerDay = 86'400'000;
constexpr int kLastDay = 3'652'059;  // 31 December 9999
// The first records carry each column's extreme values in turn; the one
// after them is blank in every column.
constexpr int kExtremeRecords = 14;

PxCell IntegerCell(std::int64_t integer) {
    PxCell cell;
    cell.null = false;
    cell.integer = integer;
    return cell;
}

PxCell RealCell(double real) {
    PxCell cell;
    cell.null = false;
    cell.real = real;
    return cell;
}

PxCell BytesCell(std::string bytes) {
    PxCell cell;
    cell.null = false;
    cell.bytes = std::move(bytes);
    return cell;
}

FieldValue Text(std::u16string text) { return FieldValue::OfText(std::move(text)); }
FieldValue Integer(FieldValue::Kind kind, std::int64_t integer) { return FieldValue::OfInteger(integer, kind); }
FieldValue Real(FieldValue::Kind kind, double real) { return FieldValue::OfReal(real, kind); }
FieldValue Bytes(std::string bytes) { return FieldValue::OfBytes(std::move(bytes)); }

class ValueMaker {
public:
    ValueMaker(const TableCase& table) : table_(table), random_(table.seed) {
        alphabet_ = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,-'()/";
        alphabet_ += table.letters;
    }

    // One value of column for record (extremes first, then random ones).
    std::pair<PxCell, FieldValue> Make(const ColumnDefinition& column, int record) {
        bool extreme = record < kExtremeRecords;
        if (record == kExtremeRecords || (!extreme && Chance(12))) return Blank(column);
        switch (column.type) {
        case PxType::kAlpha: return MakeAlpha(column, record, extreme);
        case PxType::kShort: return MakeInteger(Pick({-32767, 32767, 0, -1, 1, 256}, record, extreme, -32767, 32767),
                                                FieldValue::Kind::kInteger);
        case PxType::kLong:
            return MakeInteger(
                Pick({-2147483647, 2147483647, 0, -1, -40, 40}, record, extreme, -2147483647, 2147483647),
                FieldValue::Kind::kInteger);
        case PxType::kDate:
            return MakeInteger(Pick({1, 719163, kLastDay, 36160, 728783, -366, 0}, record, extreme, 1, kLastDay),
                               FieldValue::Kind::kDate);
        case PxType::kTime:
            return MakeInteger(Pick({0, kMillisecondsPerDay - 1, 3601000, 43200000}, record, extreme, 0,
                                    kMillisecondsPerDay - 1),
                               FieldValue::Kind::kTime);
        case PxType::kAutoIncrement: return MakeAutoIncrement(record, extreme);
        case PxType::kMoney:
        case PxType::kNumber: return MakeNumber(column, record, extreme);
        case PxType::kTimestamp: return MakeTimestamp(record, extreme);
        case PxType::kLogical: {
            bool truth = extreme ? record % 2 == 0 : Chance(2);
            PxCell cell = IntegerCell(truth ? 1 : 0);
            FieldValue value;
            value.kind = FieldValue::Kind::kBoolean;
            value.boolean = truth;
            return {cell, value};
        }
        case PxType::kMemo: return MakeMemo(column, record, extreme);
        case PxType::kBlob:
        case PxType::kOle: return MakeBlob(column, record, extreme);
        case PxType::kBytes: return MakeBytes(column, record, extreme);
        case PxType::kBcd: return MakeBcd(column, record, extreme);
        }
        throw std::logic_error("unknown column type");
    }

    std::string Encode(std::u16string_view text) const { return EncodeCodePage(text, table_.codePage); }

private:
    bool Chance(int oneIn) { return std::uniform_int_distribution<int>(1, oneIn)(random_) == 1; }
    std::int64_t Uniform(std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random_);
    }
    std::int64_t Pick(std::initializer_list<std::int64_t> extremes, int record, bool extreme, std::int64_t low,
                      std::int64_t high) {
        if (extreme) return extremes.begin()[record % extremes.size()];
        return Uniform(low, high);
    }

    std::pair<PxCell, FieldValue> Blank(const ColumnDefinition& column) {
        // An autoincrement left NULL is numbered by PX_insert_record.
        if (column.type == PxType::kAutoIncrement && !table_.raw)
            return {PxCell{}, Integer(FieldValue::Kind::kInteger, ++autoIncrement_)};
        return {PxCell{}, FieldValue{}};
    }

    std::pair<PxCell, FieldValue> MakeInteger(std::int64_t integer, FieldValue::Kind kind) {
        return {IntegerCell(integer), Integer(kind, integer)};
    }

    std::pair<PxCell, FieldValue> MakeAutoIncrement(int record, bool extreme) {
        if (!table_.raw && !extreme && Chance(2)) return Blank(ColumnDefinition{u"", PxType::kAutoIncrement, 4, 0});
        return MakeInteger(Pick({1, 2147483647, 1000}, record, extreme, 1, 2147483647), FieldValue::Kind::kInteger);
    }

    std::pair<PxCell, FieldValue> MakeNumber(const ColumnDefinition& column, int record, bool extreme) {
        constexpr double kTiny = std::numeric_limits<double>::denorm_min();
        static const double kExtremes[] = {0.0,    -0.0,    DBL_MIN, -DBL_MIN, kTiny, -kTiny, DBL_MAX,
                                           -DBL_MAX, 1e-300, -1e300, 0.1,     -40.0,    1234.5, -0.125};
        double real;
        if (extreme) {
            real = kExtremes[record % std::size(kExtremes)];
        } else if (Chance(2)) {
            // Any finite double, by its bits.
            do {
                real = std::bit_cast<double>(std::uniform_int_distribution<std::uint64_t>()(random_));
            } while (!std::isfinite(real));
        } else if (column.type == PxType::kMoney) {
            real = static_cast<double>(Uniform(-1'000'000'000, 1'000'000'000)) / 100.0;
        } else {
            real = std::uniform_real_distribution<double>(-1e7, 1e7)(random_);
        }
        // pxlib tests "value >= 0", so -0.0 is stored as +0.0.
        double stored = real == 0.0 ? 0.0 : real;
        return {RealCell(real), Real(FieldValue::Kind::kReal, stored)};
    }

    std::pair<PxCell, FieldValue> MakeTimestamp(int record, bool extreme) {
        constexpr double kLastMillisecond = static_cast<double>(kLastDay) * kMillisecondsPerDay + kMillisecondsPerDay - 1;
        static const double kExtremes[] = {0.0, 86'400'000.0, 62'135'722'800'000.0, kLastMillisecond};
        double real = extreme ? kExtremes[record % std::size(kExtremes)]
                              : static_cast<double>(Uniform(1, kLastDay)) * kMillisecondsPerDay +
                                    static_cast<double>(Uniform(0, kMillisecondsPerDay - 1));
        return {RealCell(real), Real(FieldValue::Kind::kTimestamp, real)};
    }

    std::u16string RandomText(std::size_t length, bool lineBreaks) {
        std::u16string text;
        while (text.size() < length) {
            if (lineBreaks && length - text.size() >= 2 && Chance(40)) {
                text += u"\r\n";
                continue;
            }
            // Letters of the code page come up often enough to fill every text.
            if (!table_.letters.empty() && Chance(4))
                text += table_.letters[static_cast<std::size_t>(Uniform(0, std::ssize(table_.letters) - 1))];
            else
                text += alphabet_[static_cast<std::size_t>(Uniform(0, std::ssize(alphabet_) - 1))];
        }
        return text;
    }

    std::pair<PxCell, FieldValue> TextValue(std::u16string text) {
        PxCell cell = BytesCell(Encode(text));
        return {cell, Text(std::move(text))};
    }

    std::pair<PxCell, FieldValue> MakeAlpha(const ColumnDefinition& column, int record, bool extreme) {
        auto size = static_cast<std::size_t>(column.size);
        std::u16string text;
        if (extreme) {
            switch (record % 4) {
            case 0: text = RandomText(size, false); break;  // full: no NUL after it
            case 1: text = RandomText(1, false); break;
            case 2: text = u" " + RandomText(size > 2 ? size - 2 : 0, false) + u" "; break;
            default: text = table_.letters.substr(0, size); break;
            }
            if (text.empty()) text = u"x";
            text.resize(std::min(text.size(), size));
        } else {
            text = RandomText(static_cast<std::size_t>(Uniform(1, column.size)), false);
        }
        return TextValue(std::move(text));
    }

    // A memo or BLOB length: inline in the record, sub-allocated in the .MB
    // (up to 2048 bytes) or a block of its own.
    std::size_t BlobLength(const ColumnDefinition& column, int record, bool extreme) {
        auto leader = static_cast<std::size_t>(column.size - 10);
        std::size_t choices[] = {leader, leader + 1, 300, 2048, 2049, 1, 4500};
        if (extreme) return std::max<std::size_t>(1, choices[record % std::size(choices)]);
        switch (Uniform(0, 3)) {
        case 0: {
            auto inlineMax = std::max<std::int64_t>(1, static_cast<std::int64_t>(leader));
            return static_cast<std::size_t>(Uniform(1, inlineMax));
        }
        case 1: return static_cast<std::size_t>(Uniform(250, 350));
        case 2: return static_cast<std::size_t>(Uniform(2049, 6000));
        default: return static_cast<std::size_t>(Uniform(1, 2048));
        }
    }

    std::pair<PxCell, FieldValue> MakeMemo(const ColumnDefinition& column, int record, bool extreme) {
        return TextValue(RandomText(BlobLength(column, record, extreme), true));
    }

    std::string RandomBytes(std::size_t length) {
        std::string bytes(length, '\0');
        for (char& byte : bytes) byte = static_cast<char>(Uniform(0, 255));
        return bytes;
    }

    std::pair<PxCell, FieldValue> MakeBlob(const ColumnDefinition& column, int record, bool extreme) {
        std::string bytes = RandomBytes(BlobLength(column, record, extreme));
        return {BytesCell(bytes), Bytes(bytes)};
    }

    std::pair<PxCell, FieldValue> MakeBytes(const ColumnDefinition& column, int record, bool extreme) {
        auto size = static_cast<std::size_t>(column.size);
        std::string bytes = RandomBytes(size);
        if (extreme && record % 3 == 0) bytes[0] = '\0';  // blank only when every byte is zero
        if (extreme && record % 3 == 1) bytes.assign(size, '\xFF');
        if (bytes.find_first_not_of('\0') == std::string::npos) bytes.back() = '\x01';
        return {BytesCell(bytes), Bytes(bytes)};
    }

    std::pair<PxCell, FieldValue> MakeBcd(const ColumnDefinition& column, int record, bool extreme) {
        int decimals = column.decimals;
        int maxDigits = std::min(18, 32 - decimals);
        bool negative;
        std::string integerPart;
        std::string fraction;
        if (extreme) {
            negative = record % 2 == 1;
            switch (record % 4) {
            case 0: integerPart = "0"; fraction.assign(static_cast<std::size_t>(decimals), '0'); break;
            case 1:
                integerPart = "0";
                fraction.assign(static_cast<std::size_t>(decimals), '0');
                if (decimals > 0) fraction.back() = '1'; else integerPart = "1";
                break;
            default:
                integerPart.assign(static_cast<std::size_t>(32 - decimals), '9');
                fraction.assign(static_cast<std::size_t>(decimals), '9');
                break;
            }
        } else {
            negative = Chance(2);
            int digits = static_cast<int>(Uniform(1, maxDigits));
            integerPart = std::to_string(Uniform(1, 9));
            for (int i = 1; i < digits; ++i) integerPart += static_cast<char>('0' + Uniform(0, 9));
            for (int i = 0; i < decimals; ++i) fraction += static_cast<char>('0' + Uniform(0, 9));
        }
        // Our reader gives every decimal of the field's scale, no point
        // without decimals, and no sign for zero.
        bool zero = integerPart.find_first_not_of('0') == std::string::npos &&
                    fraction.find_first_not_of('0') == std::string::npos;
        std::string text = (negative && !zero ? "-" : "") + integerPart + (decimals == 0 ? "" : "." + fraction);
        // PX_put_data_bcd finds the integer digits through the '.'; without one
        // it takes the first `decimals` characters.
        std::string written = (negative ? "-" : "") + integerPart + "." + fraction;
        FieldValue value;
        value.kind = FieldValue::Kind::kDecimal;
        value.text = FromAscii(text);
        value.real = std::strtod(text.c_str(), nullptr);
        return {BytesCell(written), value};
    }

    const TableCase& table_;
    std::mt19937_64 random_;
    std::u16string alphabet_;
    std::int64_t autoIncrement_ = 0;
};

}  // namespace

GeneratedTable GenerateTable(const TableCase& table) {
    GeneratedTable generated;
    ValueMaker maker(table);
    for (const ColumnDefinition& column : table.columns)
        generated.fields.push_back(PxField{maker.Encode(column.name), column.type, column.size, column.decimals});
    for (int record = 0; record < table.records; ++record) {
        std::vector<PxCell> cells;
        std::vector<FieldValue> expected;
        for (const ColumnDefinition& column : table.columns) {
            auto [cell, value] = maker.Make(column, record);
            cells.push_back(std::move(cell));
            expected.push_back(std::move(value));
        }
        generated.cells.push_back(std::move(cells));
        generated.expected.push_back(std::move(expected));
    }
    return generated;
}

namespace {

const char* KindName(FieldValue::Kind kind) {
    switch (kind) {
    case FieldValue::Kind::kNull: return "null";
    case FieldValue::Kind::kText: return "text";
    case FieldValue::Kind::kInteger: return "integer";
    case FieldValue::Kind::kReal: return "real";
    case FieldValue::Kind::kDecimal: return "decimal";
    case FieldValue::Kind::kBoolean: return "boolean";
    case FieldValue::Kind::kDate: return "date";
    case FieldValue::Kind::kTime: return "time";
    case FieldValue::Kind::kTimestamp: return "timestamp";
    case FieldValue::Kind::kBytes: return "bytes";
    }
    return "?";
}

std::string RealText(double real) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g (bits %016llx)", real,
                  static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(real)));
    return buffer;
}

}  // namespace

std::string Describe(const FieldValue& value) {
    std::string text = KindName(value.kind);
    switch (value.kind) {
    case FieldValue::Kind::kNull: break;
    case FieldValue::Kind::kText: {
        std::string utf8 = ToUtf8(value.text);
        text += " \"" + (utf8.size() > 120 ? utf8.substr(0, 120) + "...\" (" + std::to_string(value.text.size()) +
                                                 " units)"
                                           : utf8 + "\"");
        break;
    }
    case FieldValue::Kind::kInteger:
    case FieldValue::Kind::kDate:
    case FieldValue::Kind::kTime: text += " " + std::to_string(value.integer); break;
    case FieldValue::Kind::kReal:
    case FieldValue::Kind::kTimestamp: text += " " + RealText(value.real); break;
    case FieldValue::Kind::kDecimal: text += " \"" + ToUtf8(value.text) + "\" " + RealText(value.real); break;
    case FieldValue::Kind::kBoolean: text += value.boolean ? " true" : " false"; break;
    case FieldValue::Kind::kBytes: {
        text += " [" + std::to_string(value.bytes.size()) + "]";
        char hex[4];
        for (std::size_t i = 0; i < value.bytes.size() && i < 24; ++i) {
            std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(value.bytes[i]));
            text += hex;
        }
        if (value.bytes.size() > 24) text += " ...";
        break;
    }
    }
    return text;
}

bool SameValue(const FieldValue& actual, const FieldValue& expected) {
    if (actual.kind != expected.kind) return false;
    auto sameReal = [](double a, double b) {
        return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
    };
    switch (expected.kind) {
    case FieldValue::Kind::kNull: return true;
    case FieldValue::Kind::kText: return actual.text == expected.text;
    case FieldValue::Kind::kInteger:
    case FieldValue::Kind::kDate:
    case FieldValue::Kind::kTime: return actual.integer == expected.integer;
    case FieldValue::Kind::kReal:
    case FieldValue::Kind::kTimestamp: return sameReal(actual.real, expected.real);
    case FieldValue::Kind::kDecimal: return actual.text == expected.text && sameReal(actual.real, expected.real);
    case FieldValue::Kind::kBoolean: return actual.boolean == expected.boolean;
    case FieldValue::Kind::kBytes: return actual.bytes == expected.bytes;
    }
    return false;
}

}  // namespace kosmara::testing
