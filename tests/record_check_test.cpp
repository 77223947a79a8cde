// The check of doubtful records: each rule on a real table made by the
// builder, a table with planted findings, the bundled sample, the report's
// text, the shared walk with the AAF writer (the file must not change), and
// the judgement of a header's code page.
#include "export/record_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/time_format.h"
#include "core/user_interface.h"
#include "engine/byte_source.h"
#include "engine/code_page_check.h"
#include "engine/engine_error.h"
#include "engine/engine_objects.h"
#include "engine/field_value.h"
#include "export/aaf_writer.h"
#include "memory_table.h"
#include "paradox_builder.h"
#include "temp_folder.h"
#include "test_support.h"

namespace kosmara {
namespace {

using testing::BuiltTable;
using testing::HoroscopeRecord;
using testing::HoroscopeTableBuilder;

constexpr char16_t kJulianDayZero[] = u"Geburtszeitpunkt leer oder 0 (ergibt den 01.01.-4712)";
constexpr char16_t kJulianDayNotFinite[] = u"Geburtszeitpunkt ist keine endliche Zahl";
constexpr char16_t kLatitude[] = u"Breite außerhalb von ±90°";
constexpr char16_t kLongitude[] = u"Länge außerhalb von ±180°";
constexpr char16_t kZoneOffset[] = u"Zeitzone außerhalb von ±15 Stunden";
constexpr char16_t kEmptyName[] = u"Name leer";
constexpr char16_t kUnassigned[] = u"Zeichen, das die Codepage der Tabelle nicht kennt";
constexpr char16_t kControlInLine[] = u"Steuerzeichen in einem einzeiligen Feld";
constexpr char16_t kControlInLines[] = u"Steuerzeichen (außer Zeilenumbruch CR LF und Tabulator)";

class SilentUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view) override {}
};

// A table in memory, read by the engine as the export reads it.
struct OpenedTable {
    explicit OpenedTable(const BuiltTable& built)
        : table(std::make_unique<MemorySource>(built.db), u"Horoskop.DB",
                built.mb.empty() ? nullptr : std::make_unique<MemorySource>(built.mb), u"Horoskop.MB", {}),
          cursor(table) {}
    ParadoxTable table;
    TableCursor cursor;
};

BuiltTable BuildHoroscopes(const std::vector<HoroscopeRecord>& records, int codePage = 1252, int perBlock = 0) {
    auto builder = HoroscopeTableBuilder();
    builder.SetCodePage(codePage).SetRecordsPerBlock(perBlock);
    for (const HoroscopeRecord& record : records) builder.AddRecord(record.Cells());
    return builder.Build();
}

std::string Describe(const std::vector<RecordFinding>& findings) {
    std::string text;
    for (const RecordFinding& f : findings)
        text += std::to_string(f.record) + " | " + ToUtf8(CheckFieldLabel(f.field)) + " | " + ToUtf8(f.value) + " | " +
                ToUtf8(f.reason) + "\n";
    return text;
}

// ---- every rule, one record each ----

struct RuleCase {
    const char* name;
    void (*plant)(HoroscopeRecord&);
    std::vector<RecordFinding> expected;  // of record 1
    int codePage = 1252;
};

std::vector<RuleCase> RuleCases() {
    return {
        {"CleanRecord", [](HoroscopeRecord&) {}, {}},
        {"JulianDayNull", [](HoroscopeRecord& r) { r.julianDay.reset(); }, {{1, kJulianDayField, u"0", kJulianDayZero}}},
        {"JulianDayZero", [](HoroscopeRecord& r) { r.julianDay = 0.0; }, {{1, kJulianDayField, u"0", kJulianDayZero}}},
        {"JulianDayNegativeIsADate", [](HoroscopeRecord& r) { r.julianDay = -0.5; }, {}},
        {"JulianDayInfinite", [](HoroscopeRecord& r) { r.julianDay = std::numeric_limits<double>::infinity(); },
         {{1, kJulianDayField, u"inf", kJulianDayNotFinite}}},
        {"LatitudeAtThePole", [](HoroscopeRecord& r) { r.latitude = -90.0; }, {}},
        {"LatitudeBeyondNorth", [](HoroscopeRecord& r) { r.latitude = 90.25; }, {{1, kLatitudeField, u"90.25", kLatitude}}},
        {"LatitudeBeyondSouth", [](HoroscopeRecord& r) { r.latitude = -512.0; }, {{1, kLatitudeField, u"-512", kLatitude}}},
        {"LatitudeNotANumber", [](HoroscopeRecord& r) { r.latitude = std::numeric_limits<double>::quiet_NaN(); },
         {{1, kLatitudeField, u"nan", kLatitude}}},
        {"LongitudeAtTheDateLine", [](HoroscopeRecord& r) { r.longitude = 180.0; }, {}},
        {"LongitudeBeyondWest", [](HoroscopeRecord& r) { r.longitude = 180.0001; },
         {{1, kLongitudeField, u"180.0001", kLongitude}}},
        {"LongitudeBeyondEast", [](HoroscopeRecord& r) { r.longitude = -1341.0; },
         {{1, kLongitudeField, u"-1341", kLongitude}}},
        {"ZoneOffsetAtLimit", [](HoroscopeRecord& r) { r.zoneOffset = -15.0; }, {}},
        {"ZoneOffsetBeyondWest", [](HoroscopeRecord& r) { r.zoneOffset = 15.5; },
         {{1, kZoneOffsetField, u"15.5", kZoneOffset}}},
        {"ZoneOffsetInMinutes", [](HoroscopeRecord& r) { r.zoneOffset = -60.0; },
         {{1, kZoneOffsetField, u"-60", kZoneOffset}}},
        {"NameNull", [](HoroscopeRecord& r) { r.name.clear(); }, {{1, kNameField, u"", kEmptyName}}},
        {"NameBlanks", [](HoroscopeRecord& r) { r.name = "   "; }, {{1, kNameField, u"   ", kEmptyName}}},
        {"NameWithUnassignedByte", [](HoroscopeRecord& r) { r.name = "M\xFCller\x81"; },
         {{1, kNameField, u"Müller\u0081", kUnassigned}}},
        {"NameWithTab", [](HoroscopeRecord& r) { r.name = "M\xFCller\tAnna"; },
         {{1, kNameField, u"Müller\tAnna", kControlInLine}}},
        {"PlaceWithLineBreak", [](HoroscopeRecord& r) { r.place = "Berlin\r\nMitte"; },
         {{1, kPlaceField, u"Berlin\r\nMitte", kControlInLine}}},
        {"PlaceWithUnassignedByte", [](HoroscopeRecord& r) { r.place = "\x8D"; },
         {{1, kPlaceField, u"\u008D", kUnassigned}}},
        {"ZoneNameWithControl", [](HoroscopeRecord& r) { r.zoneName = "MEZ\x7F"; },
         {{1, kZoneNameField, u"MEZ\u007F", kControlInLine}}},
        {"ZoneNameWithUnassignedByte", [](HoroscopeRecord& r) { r.zoneName = "\x90MEZ"; },
         {{1, kZoneNameField, u"\u0090MEZ", kUnassigned}}},
        {"CommentLinesAndTabs", [](HoroscopeRecord& r) { r.comment = "a\r\n\tb\r\n\r\nc"; }, {}},
        {"CommentLoneLineFeed", [](HoroscopeRecord& r) { r.comment = "a\r\nb\nc"; },
         {{1, kCommentField, u"a\r\nb\nc", kControlInLines}}},
        {"CommentLoneCarriageReturnAtEnd", [](HoroscopeRecord& r) { r.comment = "ab\r"; },
         {{1, kCommentField, u"ab\r", kControlInLines}}},
        {"CommentWithNulAndUnassigned", [](HoroscopeRecord& r) { r.comment = std::string("x\0y\x9D", 4); },
         {{1, kCommentField, std::u16string(u"x\0y\u009D", 4), kUnassigned},
          {1, kCommentField, std::u16string(u"x\0y\u009D", 4), kControlInLines}}},
        {"SeptarTextWithBell", [](HoroscopeRecord& r) {
             r.septar = true;
             r.septarText = "Variante\x07";
         },
         {{1, kSeptarTextField, u"Variante\u0007", kControlInLines}}},
        {"SeptarTextWithUnassignedByte", [](HoroscopeRecord& r) {
             r.septar = true;
             r.septarText = "\x81";
         },
         {{1, kSeptarTextField, u"\u0081", kUnassigned}}},
        {"SeptarTextIgnoredWithoutFlag", [](HoroscopeRecord& r) {
             r.septar = false;
             r.septarText = "Variante\x07\x81";
         },
         {}},
        // Code page 936: a lead byte without its trail byte has no character.
        {"NameCutInMultiBytePage", [](HoroscopeRecord& r) { r.name = "\xD6\xD0 \xC0"; },
         {{1, kNameField, u"中 \uFFFD", kUnassigned}}, 936},
        {"SeveralFieldsInPositionOrder", [](HoroscopeRecord& r) {
             r.name.clear();
             r.zoneOffset = 99.0;
             r.latitude = 100.0;
             r.julianDay = 0.0;
         },
         {{1, kNameField, u"", kEmptyName},
          {1, kJulianDayField, u"0", kJulianDayZero},
          {1, kLatitudeField, u"100", kLatitude},
          {1, kZoneOffsetField, u"99", kZoneOffset}}},
    };
}

TEST(RecordCheckTest, EachRuleFindsWhatItShould) {
    for (const RuleCase& test : RuleCases()) {
        SCOPED_TRACE(test.name);
        HoroscopeRecord record;
        test.plant(record);
        OpenedTable table(BuildHoroscopes({record}, test.codePage));
        const std::vector<RecordFinding> findings = CheckRecords(table.cursor);
        EXPECT_EQ(findings, test.expected) << Describe(findings);
    }
}

TEST(RecordCheckTest, EveryRuleOfTheTableHasACase) {
    // Each reason of the rule table is expected by some case above.
    const std::vector<RuleCase> cases = RuleCases();
    for (const CheckRule& rule : CheckRules()) {
        bool covered = false;
        for (const RuleCase& test : cases)
            for (const RecordFinding& finding : test.expected)
                covered = covered || (finding.field == rule.field && finding.reason == rule.reason);
        EXPECT_TRUE(covered) << ToUtf8(CheckFieldLabel(rule.field)) << ": " << ToUtf8(rule.reason);
        EXPECT_NE(rule.doubtfulReal == nullptr, rule.doubtfulText == nullptr);
    }
}

// ---- values the cursor cannot give, tables too narrow or broken ----

TEST(RecordCheckTest, UnreadableFieldsAreReportedAndTheCheckGoesOn) {
    using testing::Horoscope;
    Horoscope text;
    text.latitude = std::u16string(u"zweiundfünfzig");  // stored as text, read as a real
    Horoscope flag;
    flag.septar = std::u16string(u"vielleicht");  // the Septar text is then left aside
    flag.septarText = std::u16string(u"\u0001");
    Horoscope zero;
    zero.julianDay = 0.0;
    testing::MemoryTable table = testing::HoroscopeTable({text, flag, zero});
    const std::vector<RecordFinding> expected = {
        {1, kLatitudeField, testing::kFieldConversionError, kUnreadableField},
        {2, kSeptarFlagField, testing::kFieldConversionError, kUnreadableField},
        {3, kJulianDayField, u"0", kJulianDayZero},
    };
    EXPECT_EQ(CheckRecords(table), expected) << Describe(CheckRecords(table));
}

TEST(RecordCheckTest, TooFewColumnsIsOneFinding) {
    testing::MemoryTable table = testing::HoroscopeTable({testing::Horoscope{}}, 12);
    const std::vector<RecordFinding> expected = {{0, kTableField, u"12", kTooFewColumns}};
    EXPECT_EQ(CheckRecords(table), expected);
    EXPECT_EQ(CheckReportText(expected), "Datensatz\tFeld\tWert\tGrund\r\n\tTabelle\t12\t" + ToUtf8(kTooFewColumns) +
                                             "\r\n");
}

// Three records, one per block; the memo of record 1 points nowhere.
BuiltTable TableWithDamagedMemo() {
    std::vector<HoroscopeRecord> records(3);
    records[0].comment = std::string(300, 'k');
    records[1].julianDay = 0.0;
    records[2].comment = "kurz";
    BuiltTable built = BuildHoroscopes(records, 1252, 1);
    testing::paradox_detail::PutU32(built.db, built.blobs.at(0).pointerOffset, 0x00FF003F);
    return built;
}

TEST(RecordCheckTest, UnreadableMemoGivesTheEnginesMessage) {
    OpenedTable table(TableWithDamagedMemo());
    table.table.First();
    std::u16string message;
    try {
        (void)table.cursor.FieldAsText(kCommentField);
        FAIL() << "the damaged memo was read";
    } catch (const EngineError& error) {
        message = error.message();
    }
    const std::vector<RecordFinding> expected = {
        {1, kCommentField, message, kUnreadableField},
        {2, kJulianDayField, u"0", kJulianDayZero},
    };
    const std::vector<RecordFinding> findings = CheckRecords(table.cursor);
    EXPECT_EQ(findings, expected) << Describe(findings);
}

TEST(RecordCheckTest, ABrokenChainEndsTheCheckWithAFinding) {
    std::vector<HoroscopeRecord> records(3);
    records[0].name.clear();
    records[2].name.clear();  // never reached
    BuiltTable built = BuildHoroscopes(records, 1252, 1);
    testing::paradox_detail::PutU16(built.db, built.BlockOffset(2), 7);  // block 2 points beyond the file
    OpenedTable table(built);
    const std::vector<RecordFinding> findings = CheckRecords(table.cursor);
    ASSERT_EQ(findings.size(), 2u) << Describe(findings);
    EXPECT_EQ(findings[0], (RecordFinding{1, kNameField, u"", kEmptyName}));
    EXPECT_EQ(findings[1].record, 3);
    EXPECT_EQ(findings[1].field, kTableField);
    EXPECT_EQ(findings[1].reason, kTableNotWalkable);
    EXPECT_NE(findings[1].value.find(u"Horoskop.DB"), std::u16string::npos) << ToUtf8(findings[1].value);
}

// ---- a table with planted findings, and the shared walk with the writer ----

// Ten records in blocks of three, doubtful ones planted among clean ones.
BuiltTable PlantedTable() {
    std::vector<HoroscopeRecord> records(10);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].id = std::to_string(i + 1);
        records[i].name = "Person " + std::to_string(i + 1);
        records[i].comment = i % 2 ? "Zeile 1\r\nZeile 2" : "";
    }
    records[1].latitude = 95.0;
    records[3].name = "Eva\x81";
    records[3].longitude = -200.0;
    records[6].julianDay.reset();
    records[6].zoneOffset = 24.0;
    records[8].comment = "Zeile 1\nZeile 2";
    records[9].septar = true;
    records[9].septarText = "Variante\x1B";
    return BuildHoroscopes(records, 1252, 3);
}

std::vector<RecordFinding> PlantedFindings() {
    return {
        {2, kLatitudeField, u"95", kLatitude},
        {4, kNameField, u"Eva\u0081", kUnassigned},
        {4, kLongitudeField, u"-200", kLongitude},
        {7, kJulianDayField, u"0", kJulianDayZero},
        {7, kZoneOffsetField, u"24", kZoneOffset},
        {9, kCommentField, u"Zeile 1\nZeile 2", kControlInLines},
        {10, kSeptarTextField, u"Variante\u001B", kControlInLines},
    };
}

TEST(RecordCheckTest, PlantedRecordsGiveExactlyThePlantedFindings) {
    OpenedTable table(PlantedTable());
    const std::vector<RecordFinding> findings = CheckRecords(table.cursor);
    EXPECT_EQ(findings, PlantedFindings()) << Describe(findings);
    EXPECT_EQ(CheckReportText(findings),
              "Datensatz\tFeld\tWert\tGrund\r\n"
              "2\tBreite\t95\tBreite außerhalb von ±90°\r\n"
              "4\tName\tEva\\x81\tZeichen, das die Codepage der Tabelle nicht kennt\r\n"
              "4\tLänge\t-200\tLänge außerhalb von ±180°\r\n"
              "7\tGeburtszeitpunkt\t0\tGeburtszeitpunkt leer oder 0 (ergibt den 01.01.-4712)\r\n"
              "7\tZeitzone\t24\tZeitzone außerhalb von ±15 Stunden\r\n"
              "9\tKommentar\tZeile 1\\nZeile 2\tSteuerzeichen (außer Zeilenumbruch CR LF und Tabulator)\r\n"
              "10\tSeptar-Text\tVariante\\x1B\tSteuerzeichen (außer Zeilenumbruch CR LF und Tabulator)\r\n");
}

TEST(RecordCheckTest, TheAafFileIsTheSameWithTheCheckInItsWalk) {
    for (const bool damaged : {false, true}) {
        SCOPED_TRACE(damaged);
        const BuiltTable built = damaged ? TableWithDamagedMemo() : PlantedTable();
        SilentUi ui;

        OpenedTable plain(built);
        MemorySink withoutCheck;
        std::optional<std::u16string> plainError;
        try {
            WriteAafFile(withoutCheck, plain.cursor, ui, GermanTimeFormat());
        } catch (const Error& error) {
            plainError = error.message();
        }

        OpenedTable checkedTable(built);
        std::vector<RecordFinding> findings;
        CheckingCursor checked(checkedTable.cursor, findings);
        MemorySink withCheck;
        std::optional<std::u16string> checkedError;
        try {
            WriteAafFile(withCheck, checked, ui, GermanTimeFormat());
        } catch (const Error& error) {
            checkedError = error.message();
        }

        EXPECT_EQ(withCheck.bytes(), withoutCheck.bytes());
        EXPECT_EQ(checkedError, plainError);
        EXPECT_EQ(checkedError.has_value(), damaged);
        if (!damaged) {
            EXPECT_EQ(findings, PlantedFindings()) << Describe(findings);
        } else {
            // The writer stops at the damaged memo of record 1: what was found is kept.
            ASSERT_FALSE(findings.empty());
            EXPECT_EQ(findings[0].reason, kUnreadableField);
        }

        // A second walk after the export finds the same.
        OpenedTable again(built);
        MemorySink afterCheck;
        const std::vector<RecordFinding> before = CheckRecords(again.cursor);
        try {
            WriteAafFile(afterCheck, again.cursor, ui, GermanTimeFormat());
        } catch (const Error&) {
        }
        EXPECT_EQ(afterCheck.bytes(), withoutCheck.bytes());
        if (!damaged) {
            EXPECT_EQ(before, PlantedFindings());
        }
    }
}

// ---- the bundled sample ----

TEST(RecordCheckTest, SampleDatabaseHasOnlyItsRecordOfNulls) {
    // Kepler, Luther and the other births before 1600 are no finding: their
    // Julian days are the dates they are.
    const std::filesystem::path samples(KOSMARA_SAMPLES_DIR);
    Session session(u"Test");
    Database db(session);
    db.SetParam(u"PATH", samples.u16string());
    Table tbl(db);
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    const std::vector<RecordFinding> findings = CheckRecords(tbl);
    const std::vector<RecordFinding> expected = {
        {5, kNameField, u"", kEmptyName},
        {5, kJulianDayField, u"0", kJulianDayZero},
    };
    EXPECT_EQ(findings, expected) << Describe(findings);

    tbl.Close();

    ParadoxTable table = ParadoxTable::Open((samples / "Horoskop.DB").u16string(), {});
    const CodePageJudgement judgement = JudgeCodePage(SampleTextBytes(table), table.info().codePage);
    EXPECT_EQ(table.info().codePage, 1252);
    EXPECT_FALSE(judgement.looksWrong);
    EXPECT_GT(judgement.characters, 50u);  // umlauts, ß, ø, ...
    EXPECT_EQ(judgement.unassigned + judgement.controls, 0u);
}

// ---- the report ----

TEST(RecordCheckTest, ReportEscapesWhatWouldBreakColumnsOrLines) {
    const std::vector<RecordFinding> findings = {
        {3, kCommentField, u"a\tb\r\nc\\d\u0001\u0085\u007F\uFFFDö", u"Grund"},
        {12, kPlaceField, u"", u"leer"},
        {7, kTableField, u"Meldung", kTableNotWalkable},
    };
    const std::string expected =
        "Datensatz\tFeld\tWert\tGrund\r\n"
        "3\tKommentar\ta\\tb\\r\\nc\\\\d\\x01\\x85\\x7F\xEF\xBF\xBD\xC3\xB6\tGrund\r\n"
        "12\tOrt\t\tleer\r\n"
        "7\tTabelle\tMeldung\tTabelle ab hier nicht lesbar, Prüfung abgebrochen\r\n";
    EXPECT_EQ(CheckReportText(findings), expected);
    EXPECT_EQ(CheckReportText({}), "Datensatz\tFeld\tWert\tGrund\r\n");

    MemorySink sink;
    WriteCheckReport(sink, findings);
    EXPECT_EQ(sink.bytes(), expected);

    testing::TempFolder folder;
    const std::filesystem::path file = folder / "Bericht.tsv";
    testing::WriteFileBytes(file, "alter, längerer Inhalt der Datei, der verschwinden muss ......................");
    WriteCheckReport(file.u16string(), findings);
    EXPECT_EQ(testing::ReadFileBytes(file), "\xEF\xBB\xBF" + expected);

    const std::filesystem::path missing = folder / "fehlt" / "Bericht.tsv";
    EXPECT_THROW(WriteCheckReport(missing.u16string(), findings), Error);
}

// ---- the header's code page ----

struct JudgeCase {
    const char* name;
    std::vector<std::string> texts;
    int codePage;
    bool looksWrong;
};

TEST(CodePageCheckTest, JudgesTextByUnassignedBytesAndControls) {
    const std::string russian1251 = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0, \xfd\xf2\xee \xf2\xe5\xf1\xf2";  // "Привет мир, это тест"
    const std::vector<JudgeCase> cases = {
        {"GermanIn1252", {"M\xFCller, Anna", "Stra\xDF" "e\r\n\tZeile"}, 1252, false},
        {"NothingAtAll", {}, 1252, false},
        {"RussianIn1251", {russian1251, russian1251}, 1251, false},
        {"RussianUnder936", {russian1251, russian1251}, 936, true},
        {"OneStrayByteAmongMuchText", {"\x81" + std::string(40, '\xE4')}, 1252, false},
        {"ThreeStrayBytesAmongMuchText", {"\x81\x8D\x90" + std::string(80, '\xE4')}, 1252, false},
        {"ThreeUnassignedBytesInShortText", {"\x81\x8D\x90\xE4\xE4"}, 1252, true},
        {"ControlsInPlainText", {"a\x01", "b\x02", "c\x1A"}, 437, true},
        {"TwoControlsAreNotEnough", {"a\x01", "b\x02"}, 437, false},
    };
    for (const JudgeCase& test : cases) {
        SCOPED_TRACE(test.name);
        const CodePageJudgement judgement = JudgeCodePage(test.texts, test.codePage);
        EXPECT_EQ(judgement.looksWrong, test.looksWrong)
            << judgement.unassigned << " unassigned, " << judgement.controls << " controls of "
            << judgement.characters;
    }
    EXPECT_ERROR_MESSAGE(JudgeCodePage({}, 12345), u"Die Codepage 12345 ist unbekannt.");
    EXPECT_EQ(ToUtf8(WrongCodePageHint(936)),
              "Der Text der Tabelle sieht nicht nach der Codepage 936 aus, die ihr Kopf nennt. Mit der Option "
              "--codepage N wird die Tabelle in der Codepage N gelesen (zum Beispiel --codepage 1251 für "
              "kyrillischen Text).");
}

TEST(CodePageCheckTest, TextBytesAreTheStoredBytes) {
    HoroscopeRecord record;
    record.name = "Gr\xFC\xDF";
    record.comment = std::string(300, '\x81');  // in a block of the .MB
    HoroscopeRecord empty;
    empty.name.clear();
    empty.comment = "kurz";  // in the record's leader
    OpenedTable table(BuildHoroscopes({record, empty}));
    table.table.First();
    EXPECT_EQ(table.table.TextBytes(kNameField), "Gr\xFC\xDF");
    EXPECT_EQ(table.table.TextBytes(kCommentField), std::string(300, '\x81'));
    EXPECT_EQ(table.table.TextBytes(kJulianDayField), "");  // not text
    EXPECT_ERROR_MESSAGE(table.table.TextBytes(13), kArgumentOutOfRange);
    table.table.Next();
    EXPECT_EQ(table.table.TextBytes(kNameField), "");
    EXPECT_EQ(table.table.TextBytes(kCommentField), "kurz");
    EXPECT_EQ(SampleTextBytes(table.table).size(), 9u);  // id, name, place, zone, comment; twice, less one name
    table.table.Next();
    EXPECT_ENGINE_ERROR(table.table.TextBytes(kNameField), EngineErrorCode::kNoCurrentRecord);
}

std::optional<std::filesystem::path> FixturesFolder() {
    std::error_code error;
    const std::filesystem::path folder(KOSMARA_FIXTURES_DIR);
    if (std::filesystem::is_directory(folder, error)) return folder;
    return std::nullopt;
}

TEST(CodePageCheckTest, FindsTheFixtureWithTheWrongCodePageInItsHeader) {
    const std::optional<std::filesystem::path> fixtures = FixturesFolder();
    if (!fixtures) GTEST_SKIP() << "Paradox fixtures folder not found: " << KOSMARA_FIXTURES_DIR;
    struct FixtureCase {
        const char* file;
        bool looksWrong;
    };
    // NOTE1251 holds Windows-1251 Russian under a header naming 936; the
    // others hold text of the page their header names.
    const FixtureCase cases[] = {
        {"leonhad-paradoxdriver/NOTE1251.DB", true},  {"leonhad-paradoxdriver/CUSTOMER.DB", false},
        {"leonhad-paradoxdriver/GENERAL.DB", false},  {"leonhad-paradoxdriver/HERCULES.DB", false},
        {"rparadox/of_cp866.db", false},              {"rparadox/TypSammlung.DB", false},
        {"python-pxlib/KOMMENT.DB", false},
    };
    for (const FixtureCase& test : cases) {
        SCOPED_TRACE(test.file);
        ParadoxTable table = ParadoxTable::Open((*fixtures / test.file).u16string(), {});
        const CodePageJudgement judgement = JudgeCodePage(SampleTextBytes(table), table.info().codePage);
        EXPECT_EQ(judgement.looksWrong, test.looksWrong)
            << judgement.unassigned << " unassigned, " << judgement.controls << " controls of "
            << judgement.characters;
        if (test.looksWrong) {
            // Read as what it is, the same text looks right.
            EXPECT_FALSE(JudgeCodePage(SampleTextBytes(table), 1251).looksWrong);
        }
    }
}

}  // namespace
}  // namespace kosmara
