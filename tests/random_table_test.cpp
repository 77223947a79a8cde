// Randomized round trips through our own table writer, on shapes pxlib
// cannot write: versions 3 to 7, every block size, DOS and Windows code
// pages, chains in any block order with free blocks and stale slots,
// protected tables, every field type with its extremes, BCD of every scale,
// blobs in every storage around the leader, 2 KiB and 4 KiB. The seeds are
// fixed: a failure names the seed and the table, and the same run repeats it.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/time_format.h"
#include "engine/byte_source.h"
#include "engine/code_page.h"
#include "engine/engine_objects.h"
#include "engine/field_value.h"
#include "engine/paradox_table.h"
#include "export/aaf_writer.h"
#include "memory_table.h"
#include "paradox_builder.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

using testing::BlobStorage;
using testing::Cell;
using testing::TableBuilder;
using Kind = FieldValue::Kind;

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    double Real(double low, double high) { return std::uniform_real_distribution<double>(low, high)(engine_); }
    bool Chance(int percent) { return Int(0, 99) < percent; }
    template <typename T>
    T Pick(std::initializer_list<T> choices) {
        return choices.begin()[Int(0, static_cast<int>(choices.size()) - 1)];
    }
    std::uint64_t Bits() { return (std::uint64_t{engine_()} << 32) | engine_(); }
    std::string Text(int length, std::string_view alphabet) {
        std::string out;
        const int last = static_cast<int>(alphabet.size()) - 1;
        for (int i = 0; i < length; ++i) out += alphabet[static_cast<std::size_t>(Int(0, last))];
        return out;
    }
    template <typename T>
    void Shuffle(std::vector<T>& items) { std::shuffle(items.begin(), items.end(), engine_); }

private:
    std::mt19937 engine_;
};

std::string AllBytes() {
    std::string out(256, '\0');
    std::iota(out.begin(), out.end(), '\0');
    return out;
}

// The bytes 1..255 that have a character in the code page.
std::string AssignedBytes(const CodePage& page) {
    std::string out;
    for (int b = 1; b < 256; ++b)
        if (page.Decode(std::string(1, static_cast<char>(b))) != u"\uFFFD") out += static_cast<char>(b);
    return out;
}

// Records per block, block order with free blocks and stale slots: the shape
// of a table that lived through inserts and deletes. Returns its description.
std::string ShapeBlocks(Random& r, TableBuilder& builder, int records, int blockSize) {
    const int capacity = (blockSize - 6) / builder.RecordSize();
    const int perBlock = r.Chance(50) ? capacity : r.Int(1, capacity);
    const int chain = (records + perBlock - 1) / perBlock;
    std::vector<int> order(static_cast<std::size_t>(chain + (chain > 0 && r.Chance(50) ? r.Int(1, 4) : 0)));
    std::iota(order.begin(), order.end(), 1);
    if (r.Chance(60)) r.Shuffle(order);
    order.resize(static_cast<std::size_t>(chain));
    const bool stale = r.Chance(50);
    builder.SetRecordsPerBlock(perBlock).SetBlockOrder(order).SetStaleSlots(stale);
    std::string text = std::to_string(records) + " records, " + std::to_string(perBlock) + " per block, chain";
    for (int n : order) text += " " + std::to_string(n);
    return text + (stale ? ", stale slots" : "");
}

struct Generated {
    Cell cell;
    FieldValue value;
};

struct Column {
    FieldType type;
    int size;  // the builder's size argument (BCD: decimals)
};

Column RandomColumn(Random& r) {
    const FieldType type = r.Pick({FieldType::kAlpha, FieldType::kDate, FieldType::kShort, FieldType::kLong,
                                   FieldType::kMoney, FieldType::kNumber, FieldType::kLogical, FieldType::kMemo,
                                   FieldType::kBlob, FieldType::kFormattedMemo, FieldType::kOle, FieldType::kGraphic,
                                   FieldType::kTime, FieldType::kTimestamp, FieldType::kAutoIncrement, FieldType::kBcd,
                                   FieldType::kBytes});
    const int leader = r.Chance(50) ? r.Int(0, 20) : r.Int(0, 240);
    switch (type) {
        case FieldType::kAlpha:
        case FieldType::kBytes: return {type, r.Chance(20) ? r.Pick({1, 255}) : r.Int(1, 255)};
        case FieldType::kMemo:
        case FieldType::kFormattedMemo: return {type, 10 + std::max(leader, 1)};
        case FieldType::kBlob:
        case FieldType::kOle:
        case FieldType::kGraphic: return {type, 10 + leader};
        case FieldType::kBcd: return {type, r.Chance(20) ? r.Pick({0, 32}) : r.Int(0, 32)};
        default: return {type, 0};
    }
}

// BCD: up to 32 digits in all, the fraction written shorter than the scale
// at times; the value reads back with exactly the field's decimals, leading
// zeros down to one and no sign on zero.
Generated RandomBcd(Random& r, int decimals) {
    const std::string_view digits = r.Chance(15) ? "0" : r.Chance(15) ? "9" : "0123456789";
    const int wholeDigits = r.Chance(20) ? 32 - decimals : r.Int(0, 32 - decimals);
    const std::string whole = r.Text(wholeDigits, digits);
    std::string fraction = r.Text(r.Chance(70) ? decimals : r.Int(0, decimals), digits);
    const bool negative = r.Chance(40);
    const std::string sign = negative ? "-" : r.Chance(10) ? "+" : "";
    const std::string point = decimals > 0 || r.Chance(50) ? "." : "";
    const std::string input = sign + whole + point + fraction;
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    const std::size_t first = std::min(whole.find_first_not_of('0'), whole.size());
    std::string text = whole.size() > first ? whole.substr(first) : "0";
    if (decimals > 0) text += "." + fraction;
    if (negative && (whole + fraction).find_first_not_of('0') != std::string::npos) text.insert(0, "-");
    FieldValue value = FieldValue::OfText(FromAscii(text), Kind::kDecimal);
    std::from_chars(text.data(), text.data() + text.size(), value.real);
    return {testing::Bcd(input), value};
}

// Lengths around the leader, the 2 KiB threshold and a 4 KiB block (the
// graphic's 8-byte prefix counted), small ones and ones beyond a block.
Generated RandomBlob(Random& r, const Column& column, const CodePage& page, const std::string& letters) {
    const bool graphic = column.type == FieldType::kGraphic;
    const bool text = column.type == FieldType::kMemo || column.type == FieldType::kFormattedMemo;
    const int leader = column.size - 10;
    const int prefix = graphic ? 8 : 0;
    int length = r.Chance(40)   ? r.Int(0, 300)
                 : r.Chance(70) ? r.Pick({leader - 1, leader, leader + 1, 0x800 - 1, 0x800, 0x800 + 1, 3760, 3761,
                                          4096 - 9, 4096 - 8}) - prefix
                                : r.Int(4097, 9000);
    length = std::max(length, 0);
    if (graphic && length == 0) return {testing::Null(), {}};
    const std::string bytes = r.Text(length, text ? letters + "\r\n" : AllBytes());
    const std::size_t stored = static_cast<std::size_t>(length + prefix);
    std::vector<BlobStorage> storages{BlobStorage::kAuto, BlobStorage::kSingle};
    if (stored <= static_cast<std::size_t>(leader)) storages.push_back(BlobStorage::kInline);
    if (stored <= 4096 - testing::paradox_detail::kSubDataStart) storages.push_back(BlobStorage::kSubAllocated);
    const BlobStorage storage = storages[static_cast<std::size_t>(r.Int(0, static_cast<int>(storages.size()) - 1))];
    FieldValue value;
    if (length > 0) value = text ? FieldValue::OfText(page.Decode(bytes)) : FieldValue::OfBytes(bytes);
    return {testing::Memo(bytes, storage), value};
}

// Doubles: any bit pattern (NaN payloads, infinities, subnormals, -0.0)
// except all ones, whose stored form is all zeros, i.e. blank.
Generated RandomDouble(Random& r, Kind kind) {
    std::uint64_t bits = r.Chance(40) ? r.Pick<std::uint64_t>({0x0, 0x8000000000000000, 0x7FF0000000000000,
                                                                0xFFF0000000000000, 0x7FF8000000000000,
                                                                0x7FF0000000000001, 0xFFF4000000000123,
                                                                0xFFFFFFFFFFFFFFFE, 0x0000000000000001,
                                                                0x7FEFFFFFFFFFFFFF, 0xFFEFFFFFFFFFFFFF})
                                      : r.Bits();
    if (bits == ~std::uint64_t{0}) bits = 0;
    const double real = std::bit_cast<double>(bits);
    return {testing::Number(real), FieldValue::OfReal(real, kind)};
}

Generated RandomValue(Random& r, const Column& column, const CodePage& page, const std::string& letters) {
    if (r.Chance(12)) return {testing::Null(), {}};
    constexpr int kLongMax = std::numeric_limits<std::int32_t>::max();
    switch (column.type) {
        case FieldType::kAlpha: {
            const std::string bytes = r.Text(r.Chance(20) ? column.size : r.Int(1, column.size), letters);
            return {testing::Alpha(bytes), FieldValue::OfText(page.Decode(bytes))};
        }
        case FieldType::kBytes: {
            std::string bytes = r.Text(r.Int(1, column.size), AllBytes());
            const Cell cell = testing::Bytes(bytes);
            bytes.resize(static_cast<std::size_t>(column.size), '\0');
            if (bytes.find_first_not_of('\0') == std::string::npos) return {cell, {}};
            return {cell, FieldValue::OfBytes(bytes)};
        }
        case FieldType::kShort: {
            const int value = r.Chance(30) ? r.Pick({-32767, 32767, -1, 0, 1}) : r.Int(-32767, 32767);
            return {testing::Short(static_cast<std::int16_t>(value)), FieldValue::OfInteger(value)};
        }
        case FieldType::kDate:
        case FieldType::kTime:
        case FieldType::kLong:
        case FieldType::kAutoIncrement: {
            const int value = r.Chance(30) ? r.Pick({-kLongMax, kLongMax, -1, 0, 1}) : r.Int(-kLongMax, kLongMax);
            const Kind kind = column.type == FieldType::kDate   ? Kind::kDate
                              : column.type == FieldType::kTime ? Kind::kTime
                                                                : Kind::kInteger;
            return {testing::Long(value), FieldValue::OfInteger(value, kind)};
        }
        case FieldType::kMoney:
        case FieldType::kNumber: return RandomDouble(r, Kind::kReal);
        case FieldType::kTimestamp: return RandomDouble(r, Kind::kTimestamp);
        case FieldType::kLogical: {
            const bool value = r.Chance(50);
            return {testing::Logical(value), FieldValue::OfBoolean(value)};
        }
        case FieldType::kBcd: return RandomBcd(r, column.size);
        default: return RandomBlob(r, column, page, letters);
    }
}

struct RandomTable {
    TableBuilder builder;
    std::string password;
    int codePage = 0;
    std::vector<FieldDescription> fields;
    std::vector<std::vector<FieldValue>> rows;
    std::string shape;
};

RandomTable MakeRandomTable(Random& r) {
    const int version = r.Pick({3, 4, 9, 11, 12});
    const int blockKiB = r.Pick({1, 2, 3, 4, 8, 16, 32});
    RandomTable t;
    t.builder = TableBuilder(version, blockKiB);
    if (version >= 5) {
        t.codePage = r.Pick({437, 850, 852, 865, 866, 1250, 1251, 1252});
        t.builder.SetCodePage(t.codePage);
    } else {
        // Version 3 tables name no code page; the sort order decides it.
        const int sortOrder = r.Pick({0x00, 0xB7, 0xF0, 0x82, 0xE6, 0xC0});
        t.codePage = sortOrder == 0xC0 ? 866 : sortOrder == 0x82 || sortOrder == 0xE6 ? 865 : 437;
        t.builder.SetSortOrder(sortOrder, "");
    }
    const CodePage page = *CodePage::Find(t.codePage);
    const std::string letters = AssignedBytes(page);
    t.shape = "version " + std::to_string(version) + ", " + std::to_string(blockKiB) + " KiB, code page " +
              std::to_string(t.codePage);

    std::vector<Column> columns;
    const int blockSize = blockKiB * 1024;
    const int fieldCount = r.Int(1, 12);
    for (int attempt = 0; static_cast<int>(columns.size()) < fieldCount && attempt < 100; ++attempt) {
        const Column column = RandomColumn(r);
        const int stored = TableBuilder().AddField("x", column.type, column.size).fields().back().size;
        if (t.builder.RecordSize() + stored > blockSize - 6) continue;
        const std::string name = r.Text(r.Int(1, 25), letters);
        t.builder.AddField(name, column.type, column.size);
        const bool bcd = column.type == FieldType::kBcd;
        t.fields.push_back(
            {page.Decode(name), column.type, stored, bcd ? column.size : 0, t.builder.RecordSize() - stored});
        columns.push_back(column);
        t.shape += std::string(columns.size() == 1 ? ", fields " : " ") + FieldTypeLetter(column.type) +
                   std::to_string(column.size);
    }
    const int keyFields = r.Chance(30) ? r.Int(1, std::min<int>(3, static_cast<int>(columns.size()))) : 0;
    t.builder.SetKeyFields(keyFields);

    const int records = r.Chance(10) ? r.Pick({0, 1}) : r.Int(0, 300);
    for (int i = 0; i < records; ++i) {
        std::vector<Cell> cells;
        std::vector<FieldValue> values;
        for (const Column& column : columns) {
            Generated generated = RandomValue(r, column, page, letters);
            cells.push_back(std::move(generated.cell));
            values.push_back(std::move(generated.value));
        }
        t.builder.AddRecord(std::move(cells));
        t.rows.push_back(std::move(values));
    }
    if (r.Chance(30)) {
        t.password = r.Text(r.Int(1, 12), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !$%&");
        t.builder.Encrypt(t.password);
    }
    t.shape += ", " + std::to_string(keyFields) + " key fields, " + ShapeBlocks(r, t.builder, records, blockSize) +
               (t.password.empty() ? "" : ", password \"" + t.password + "\"");
    return t;
}

std::string Show(const FieldValue& value) {
    char real[80];
    std::snprintf(real, sizeof real, "%a (bits %016" PRIx64 ")", value.real, std::bit_cast<std::uint64_t>(value.real));
    std::string bytes;
    for (std::size_t i = 0; i < std::min<std::size_t>(value.bytes.size(), 40); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned char>(value.bytes[i]));
        bytes += hex;
    }
    return "kind " + std::to_string(static_cast<int>(value.kind)) + ", text (" + std::to_string(value.text.size()) +
           ") \"" + ToUtf8(value.text.substr(0, 60)) + "\", bytes (" + std::to_string(value.bytes.size()) + ") " +
           bytes + ", integer " + std::to_string(value.integer) + ", real " + real + ", boolean " +
           std::to_string(value.boolean);
}

bool Same(const FieldValue& a, const FieldValue& b) {
    return a.kind == b.kind && a.text == b.text && a.bytes == b.bytes && a.integer == b.integer &&
           std::bit_cast<std::uint64_t>(a.real) == std::bit_cast<std::uint64_t>(b.real) && a.boolean == b.boolean;
}

// Opens the built table from memory with a wrong and the right password,
// walks it and returns the differences from what was generated.
std::vector<std::string> Differences(const RandomTable& t) {
    const testing::BuiltTable built = t.builder.Build();
    std::vector<std::u16string> passwords{u"falsch"};
    if (!t.password.empty()) passwords.push_back(FromAscii(t.password));
    ParadoxTable table(std::make_unique<MemorySource>(built.db), u"Zufall.DB",
                       built.mb.empty() ? nullptr : std::make_unique<MemorySource>(built.mb), u"Zufall.MB", passwords);
    std::vector<std::string> out;
    if (table.info().recordCount != t.rows.size())
        out.push_back("record count " + std::to_string(table.info().recordCount));
    if (table.info().codePage != t.codePage) out.push_back("code page " + std::to_string(table.info().codePage));
    const auto& fields = table.fields();
    if (fields.size() != t.fields.size()) return {"field count " + std::to_string(fields.size())};
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const FieldDescription& want = t.fields[f];
        const FieldDescription& got = fields[f];
        if (got.name != want.name || got.type != want.type || got.size != want.size || got.decimals != want.decimals ||
            got.offset != want.offset)
            out.push_back("field " + std::to_string(f + 1) + ": \"" + ToUtf8(got.name) + "\" " +
                          FieldTypeLetter(got.type) + " size " + std::to_string(got.size) + " decimals " +
                          std::to_string(got.decimals) + " offset " + std::to_string(got.offset) + ", expected \"" +
                          ToUtf8(want.name) + "\" size " + std::to_string(want.size) + " decimals " +
                          std::to_string(want.decimals) + " offset " + std::to_string(want.offset));
    }
    std::size_t row = 0;
    std::u16string reused;  // read into from field to field and record to record
    for (table.First(); !table.Eof() && out.size() < 5; table.Next(), ++row) {
        if (row >= t.rows.size()) {
            out.push_back("more records than written");
            return out;
        }
        for (std::size_t f = 0; f < fields.size() && out.size() < 5; ++f) {
            const FieldValue got = table.Value(static_cast<int>(f));
            if (!Same(got, t.rows[row][f]))
                out.push_back("record " + std::to_string(row) + ", field " + std::to_string(f + 1) + " (" +
                              FieldTypeLetter(fields[f].type) + "): expected " + Show(t.rows[row][f]) + "; got " +
                              Show(got));
            FieldTextInto(table, static_cast<int>(f), reused);
            const std::u16string fresh = FieldText(table, static_cast<int>(f));
            if (reused != fresh)
                out.push_back("record " + std::to_string(row) + ", field " + std::to_string(f + 1) +
                              ": text read into reused storage \"" + ToUtf8(reused.substr(0, 60)) + "\", afresh \"" +
                              ToUtf8(fresh.substr(0, 60)) + "\"");
        }
    }
    if (out.empty() && row != t.rows.size()) out.push_back(std::to_string(row) + " records walked");
    return out;
}

TEST(RandomTables, ReadBackExactly) {
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        Random r(seed);
        for (int index = 0; index < 50; ++index) {
            const RandomTable t = MakeRandomTable(r);
            const std::string where = "seed " + std::to_string(seed) + ", table " + std::to_string(index) + " (" +
                                      t.shape + ")";
            try {
                for (const std::string& difference : Differences(t)) ADD_FAILURE() << where << ": " << difference;
            } catch (const std::exception& error) {
                ADD_FAILURE() << where << ": " << error.what();
            }
        }
    }
}

class SilentUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view text) override { message = text; }
    std::u16string message;
};

// Horoscope text in code page 1252: umlauts, the euro sign, the commas,
// semicolons and "#" the writer removes or escapes, line breaks in comments.
constexpr std::string_view kHoroscopeLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .-,;#/()'\"\xE4\xF6\xFC\xC4\xD6\xDC\xDF\xE9\x80";

// One random horoscope record for the table builder and the same values as
// the in-memory table holds them.
std::pair<testing::HoroscopeRecord, std::vector<testing::Value>> RandomHoroscope(Random& r, const CodePage& page) {
    testing::HoroscopeRecord record;
    auto text = [&](int maxLength) { return r.Text(r.Chance(15) ? 0 : r.Int(1, maxLength), kHoroscopeLetters); };
    auto number = [&](std::initializer_list<double> special, double low, double high) -> std::optional<double> {
        if (r.Chance(10)) return std::nullopt;
        return r.Chance(30) ? r.Pick(special) : r.Real(low, high);
    };
    record.id = r.Text(r.Int(1, 10), "0123456789");
    record.name = text(40);
    record.julianDay = number({2451545.0, 2299160.5, 2299159.5, 0.0, -0.0, 2440587.999999}, -1e6, 5e6);
    record.place = text(40);
    record.longitude = number({0.0, -0.0, 180.0, -180.0, 13.41}, -180.0, 180.0);
    record.latitude = number({0.0, -0.0, 90.0, -90.0, 52.5}, -90.0, 90.0);
    record.zoneOffset = number({0.0, -0.0, -1.0, 5.5, -12.0, 14.0, 0.25 * r.Int(-48, 56)}, -12.0, 14.0);
    record.zoneName = text(20);
    const int commentLength = r.Chance(30) ? 0 : r.Chance(50) ? r.Int(1, 300)
                                                : r.Pick({19, 20, 21, 0x7FF, 0x800, 0x801, 5000});
    for (int i = 0; i < commentLength; ++i)
        record.comment += r.Chance(5) ? "\r\n" : r.Text(1, kHoroscopeLetters);
    record.septarText = text(40);
    record.septar = r.Chance(20) ? std::nullopt : std::optional<bool>(r.Chance(50));

    auto value = [&](const std::string& bytes) {
        return bytes.empty() ? testing::Value{} : testing::Value{page.Decode(bytes)};
    };
    auto real = [](std::optional<double> v) { return v ? testing::Value{*v} : testing::Value{}; };
    std::vector<testing::Value> row{value(record.id), value(record.name), real(record.julianDay), value(record.place),
                                    real(record.longitude), real(record.latitude), real(record.zoneOffset),
                                    value(record.zoneName), value(record.comment), value(record.septarText),
                                    testing::Value{}, testing::Value{},
                                    record.septar ? testing::Value{*record.septar} : testing::Value{}};
    return {record, row};
}

// Tables written to a folder and exported through Session, Database and
// Table give the same AAF file as the same records in memory.
TEST(RandomTables, HoroscopeExportMatchesMemoryTable) {
    const CodePage page = *CodePage::Find(1252);
    testing::TempFolder folder;
    for (const std::uint32_t seed : {11u, 12u, 13u}) {
        Random r(seed);
        for (int index = 0; index < 12; ++index) {
            const int version = r.Pick({9, 11, 12});
            const int blockKiB = r.Pick({1, 2, 3, 4, 8, 16, 32});
            TableBuilder builder = testing::HoroscopeTableBuilder(version, blockKiB);
            std::vector<std::vector<testing::Value>> rows;
            const int records = r.Int(0, 40);
            for (int i = 0; i < records; ++i) {
                auto [record, row] = RandomHoroscope(r, page);
                builder.AddRecord(record.Cells());
                rows.push_back(std::move(row));
            }
            const std::string password = r.Chance(30) ? r.Text(r.Int(1, 10), "abcXYZ123") : "";
            if (!password.empty()) builder.Encrypt(password);
            const std::string where = "seed " + std::to_string(seed) + ", table " + std::to_string(index) +
                                      " (version " + std::to_string(version) + ", " + std::to_string(blockKiB) +
                                      " KiB, " + ShapeBlocks(r, builder, records, blockKiB * 1024) +
                                      (password.empty() ? "" : ", password " + password) + ")";
            SCOPED_TRACE(where);
            const std::string name = "Horoskop" + std::to_string(seed) + "_" + std::to_string(index);
            try {
                testing::WriteTable(builder.Build(), folder.path(), name);
                Session session(u"Zufall");
                if (!password.empty()) session.AddPassword(FromAscii(password));
                Database db(session);
                db.SetParam(u"PATH", folder.path().u16string());
                Table tbl(db);
                tbl.SetTableName(FromAscii(name));
                tbl.Open();
                SilentUi engineUi, memoryUi;
                const auto engineFile = folder.path() / (name + ".engine.aaf");
                const auto memoryFile = folder.path() / (name + ".memory.aaf");
                EXPECT_EQ(WriteAafFile(engineFile.u16string(), tbl, engineUi, GermanTimeFormat()), records);
                tbl.Close();
                testing::MemoryTable memory(13, std::move(rows));
                EXPECT_EQ(WriteAafFile(memoryFile.u16string(), memory, memoryUi, GermanTimeFormat()), records);
                EXPECT_EQ(engineUi.message, memoryUi.message);
                const std::string engineAaf = testing::ReadFileBytes(engineFile);
                const std::string memoryAaf = testing::ReadFileBytes(memoryFile);
                if (engineAaf != memoryAaf) {
                    const auto at =
                        std::mismatch(engineAaf.begin(), engineAaf.end(), memoryAaf.begin(), memoryAaf.end());
                    const std::size_t offset = static_cast<std::size_t>(at.first - engineAaf.begin());
                    ADD_FAILURE() << "the AAF files differ at byte " << offset << ": engine \""
                                  << engineAaf.substr(offset > 40 ? offset - 40 : 0, 120) << "\", memory \""
                                  << memoryAaf.substr(offset > 40 ? offset - 40 : 0, 120) << "\"";
                }
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
            }
        }
    }
}

}  // namespace
}  // namespace kosmara
