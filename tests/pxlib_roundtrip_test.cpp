// Tables written by pxlib, an independent Paradox writer, read back through
// our engine: every field of every record must come back exactly as it was
// handed to pxlib (texts as UTF-16, doubles bit for bit), with the header's
// field names, types, sizes, code page and record count.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "engine/paradox_table.h"
#include "tests/pxlib/pxlib_writer.h"
#include "tests/pxlib/table_generator.h"
#include "tests/temp_folder.h"

namespace kosmara {
namespace {

using testing::ColumnDefinition;
using testing::PxType;
using testing::TableCase;

// Letters beyond ASCII that each code page has.
constexpr char16_t kWestern[] = u"äöüÄÖÜßéèêàáçñÑåÅ";
constexpr char16_t kCyrillic[] = u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюяЁё";
constexpr char16_t kCentral[] = u"ąćęłńóśźżĄĆĘŁŃÓŚŹŻčďěňřšťůžČĎĚŇŘŠŤŮŽäöüÄÖÜß";

// Every type PX_insert_record writes, with alpha fields of several sizes and
// memos whose leaders hold 1, 50 and 240 bytes.
// German field names where the code page has their letters.
std::vector<ColumnDefinition> AllInsertTypes(std::u16string nameLetters, bool germanNames = true) {
    return {
        {u"Name", PxType::kAlpha, 10},
        {u"Ort " + nameLetters, PxType::kAlpha, 40},
        {germanNames ? u"Kürzel" : u"Kuerzel", PxType::kAlpha, 1},
        {u"Lang", PxType::kAlpha, 255},
        {u"Datum", PxType::kDate, 4},
        {u"Klein", PxType::kShort, 2},
        {germanNames ? u"Groß" : u"Gross", PxType::kLong, 4},
        {u"Betrag", PxType::kMoney, 8},
        {u"Zahl", PxType::kNumber, 8},
        {u"Ja", PxType::kLogical, 1},
        {u"Notiz", PxType::kMemo, 11},
        {u"Text", PxType::kMemo, 60},
        {u"Bericht", PxType::kMemo, 250},
        {u"Uhrzeit", PxType::kTime, 4},
        {u"Zeitpunkt", PxType::kTimestamp, 8},
        {u"Nummer", PxType::kAutoIncrement, 4},
        {u"Roh", PxType::kBytes, 16},
        {u"Byte", PxType::kBytes, 1},
    };
}

std::vector<ColumnDefinition> TextTypes(std::u16string nameLetters) {
    return {
        {nameLetters, PxType::kAlpha, 40},
        {u"A255", PxType::kAlpha, 255},
        {u"Memo", PxType::kMemo, 240},
        {u"N", PxType::kNumber, 8},
        {u"L", PxType::kLogical, 1},
        {u"D", PxType::kDate, 4},
    };
}

// BLOB, OLE and BCD fields, which PX_insert_record cannot write.
std::vector<ColumnDefinition> RawTypes() {
    return {
        {u"Kennung", PxType::kLong, 4},
        {u"Bild", PxType::kBlob, 10},
        {u"Daten", PxType::kBlob, 40},
        {u"Objekt", PxType::kOle, 20},
        {u"Summe", PxType::kBcd, 17, 2},
        {u"Ganz", PxType::kBcd, 17, 0},
        {u"Fein", PxType::kBcd, 17, 5},
        {u"Memo", PxType::kMemo, 20},
        {u"Name", PxType::kAlpha, 20},
        {u"Nummer", PxType::kAutoIncrement, 4},
        {u"Zeit", PxType::kTimestamp, 8},
    };
}

std::vector<TableCase> Cases() {
    return {
        {"WEST1252", 1252, kWestern, AllInsertTypes(u"äß"), 400, 1252, false},
        {"DOS850", 850, kWestern, AllInsertTypes(u"Öl"), 300, 850, false},
        {"DOS437", 437, u"äöüÄÖÜßéèàçñÑåÅ", TextTypes(u"Größe"), 300, 437, false},
        {"CYRR866", 866, kCyrillic, AllInsertTypes(u"Имя", false), 300, 866, false},
        {"CYRR1251", 1251, kCyrillic, TextTypes(u"Город"), 250, 1251, false},
        {"EAST1250", 1250, kCentral, AllInsertTypes(u"Żółw"), 300, 1250, false},
        {"EAST852", 852, kCentral, TextTypes(u"Łódź"), 250, 852, false},
        {"RAW1252", 1252, kWestern, RawTypes(), 400, 7, true},
        {"RAW866", 866, kCyrillic, RawTypes(), 200, 8, true},
        {"LEER", 1252, kWestern, TextTypes(u"ä"), 0, 9, false},
    };
}

}  // namespace
}  // namespace kosmara

namespace kosmara::testing {
// Test names instead of the bytes of the case.
void PrintTo(const TableCase& table, std::ostream* out) { *out << table.name; }
}  // namespace kosmara::testing

namespace kosmara {
namespace {

class PxlibRoundTrip : public ::testing::TestWithParam<TableCase> {};

TEST_P(PxlibRoundTrip, EngineReadsWhatPxlibWrote) {
    const TableCase& table = GetParam();
    testing::TempFolder folder;
    const auto path = folder.path() / (std::string(table.name) + ".DB");
    bool hasBlobs = false;
    for (const ColumnDefinition& column : table.columns)
        hasBlobs |= column.type == PxType::kMemo || column.type == PxType::kBlob || column.type == PxType::kOle;

    testing::GeneratedTable generated = testing::GenerateTable(table);
    {
        testing::PxlibWriter writer(path, generated.fields, table.codePage, hasBlobs);
        for (const auto& record : generated.cells) {
            if (table.raw) {
                writer.PutRaw(record);
            } else {
                writer.Insert(record);
            }
        }
    }

    std::optional<ParadoxTable> reader;
    try {
        reader.emplace(ParadoxTable::Open(FromUtf8(path.string()), {}));
    } catch (const Error& error) {
        FAIL() << "cannot open " << path << ": " << ToUtf8(error.message());
    }

    const TableInfo& info = reader->info();
    EXPECT_EQ(info.versionId, 12);
    EXPECT_EQ(info.fileType, 2);
    EXPECT_EQ(info.codePage, table.codePage);
    EXPECT_EQ(info.recordCount, static_cast<std::uint32_t>(table.records));
    ASSERT_EQ(reader->fields().size(), table.columns.size());
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const FieldDescription& field = reader->fields()[i];
        const ColumnDefinition& column = table.columns[i];
        SCOPED_TRACE("field " + std::to_string(i) + " " + ToUtf8(column.name));
        EXPECT_EQ(ToUtf8(field.name), ToUtf8(column.name));
        EXPECT_EQ(static_cast<int>(field.type), static_cast<int>(column.type));
        EXPECT_EQ(field.size, column.size);
        if (column.type == PxType::kBcd) {
            EXPECT_EQ(field.decimals, column.decimals);
        }
    }

    // Every field of every record; after a few mismatches the rest are only counted.
    int records = 0;
    int mismatches = 0;
    try {
        for (reader->First(); !reader->Eof(); reader->Next(), ++records) {
            if (records >= table.records) continue;
            const auto& expected = generated.expected[static_cast<std::size_t>(records)];
            for (std::size_t i = 0; i < expected.size(); ++i) {
                FieldValue actual = reader->Value(static_cast<int>(i));
                EXPECT_EQ(reader->IsNull(static_cast<int>(i)), expected[i].kind == FieldValue::Kind::kNull)
                    << "record " << records << " field " << ToUtf8(table.columns[i].name);
                if (testing::SameValue(actual, expected[i])) continue;
                if (++mismatches <= 12) {
                    ADD_FAILURE() << table.name << " record " << records << " field " << i << " ("
                                  << ToUtf8(table.columns[i].name) << "):\n  actual   " << testing::Describe(actual)
                                  << "\n  expected " << testing::Describe(expected[i]);
                }
            }
        }
    } catch (const Error& error) {
        FAIL() << "reading record " << records << " failed: " << ToUtf8(error.message());
    }
    EXPECT_EQ(records, table.records);
    EXPECT_EQ(mismatches, 0) << "values that differ in " << table.name;
}

INSTANTIATE_TEST_SUITE_P(Tables, PxlibRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kosmara
