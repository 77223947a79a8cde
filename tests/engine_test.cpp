// The engine as the export job uses it: values read in the writer's three
// forms, the session, database and table objects with their lifetimes, and
// a whole AAF file written from a Paradox table.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "core/text.h"
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

using namespace testing;

std::u16string PathText(const std::filesystem::path& path) { return path.u16string(); }

ParadoxTable FromMemory(const BuiltTable& built, std::span<const std::u16string> passwords = {}) {
    std::unique_ptr<ByteSource> blobs;
    if (!built.mb.empty()) blobs = std::make_unique<MemorySource>(built.mb);
    return ParadoxTable(std::make_unique<MemorySource>(built.db), u"Test.DB", std::move(blobs), u"Test.MB", passwords);
}

// One field of each kind, one record; each row says what the three forms
// give: the text, and the real and boolean or the error code.
struct FormCase {
    const char* name;
    FieldType type;
    int size;
    Cell cell;
    std::u16string text;
    std::optional<double> real;  // nothing: an error
    EngineErrorCode realError;
    std::optional<bool> boolean;
    EngineErrorCode booleanError;
};

const EngineErrorCode kNone{};

TEST(FieldForms, EachTypeInEachForm) {
    const std::vector<FormCase> cases = {
        {"AlphaText", FieldType::kAlpha, 20, Alpha("M\xFCller"), u"Müller", std::nullopt, EngineErrorCode::kNotANumber,
         std::nullopt, EngineErrorCode::kNotABoolean},
        {"AlphaNumber", FieldType::kAlpha, 20, Alpha(" -12,5 "), u" -12,5 ", -12.5, kNone, std::nullopt,
         EngineErrorCode::kNotABoolean},
        {"AlphaExponent", FieldType::kAlpha, 20, Alpha("1.5e3"), u"1.5e3", 1500.0, kNone, std::nullopt,
         EngineErrorCode::kNotABoolean},
        {"AlphaYes", FieldType::kAlpha, 20, Alpha("Ja"), u"Ja", std::nullopt, EngineErrorCode::kNotANumber, true, kNone},
        {"AlphaFalse", FieldType::kAlpha, 20, Alpha("FALSE"), u"FALSE", std::nullopt, EngineErrorCode::kNotANumber,
         false, kNone},
        {"AlphaNull", FieldType::kAlpha, 20, Null(), u"", 0.0, kNone, false, kNone},
        {"AlphaFullWidth", FieldType::kAlpha, 3, Alpha("abc"), u"abc", std::nullopt, EngineErrorCode::kNotANumber,
         std::nullopt, EngineErrorCode::kNotABoolean},
        {"Short", FieldType::kShort, 0, Short(-32767), u"-32767", -32767.0, kNone, true, kNone},
        {"ShortZero", FieldType::kShort, 0, Short(0), u"0", 0.0, kNone, false, kNone},
        {"Long", FieldType::kLong, 0, Long(2147483647), u"2147483647", 2147483647.0, kNone, true, kNone},
        {"AutoIncrement", FieldType::kAutoIncrement, 0, AutoIncrement(7), u"7", 7.0, kNone, true, kNone},
        {"Number", FieldType::kNumber, 0, Number(2451545.25), u"2451545.25", 2451545.25, kNone, true, kNone},
        {"NumberNoGrouping", FieldType::kNumber, 0, Number(1234567.5), u"1234567.5", 1234567.5, kNone, true, kNone},
        {"NumberNegativeZero", FieldType::kNumber, 0, Number(-0.0), u"-0", -0.0, kNone, false, kNone},
        {"NumberTenth", FieldType::kNumber, 0, Number(-13.41), u"-13.41", -13.41, kNone, true, kNone},
        {"NumberNull", FieldType::kNumber, 0, Null(), u"", 0.0, kNone, false, kNone},
        {"Money", FieldType::kMoney, 0, Money(19.99), u"19.99", 19.99, kNone, true, kNone},
        {"Bcd", FieldType::kBcd, 2, Bcd("-1.25"), u"-1.25", -1.25, kNone, true, kNone},
        {"Logical", FieldType::kLogical, 0, Logical(true), u"True", std::nullopt, EngineErrorCode::kCannotReadAsNumber,
         true, kNone},
        {"LogicalFalse", FieldType::kLogical, 0, Logical(false), u"False", std::nullopt,
         EngineErrorCode::kCannotReadAsNumber, false, kNone},
        {"Date", FieldType::kDate, 0, Date(CivilDays(1999, 9, 9)), u"09.09.1999", 36412.0, kNone, std::nullopt,
         EngineErrorCode::kCannotReadAsBoolean},
        {"DateBeforeYearOne", FieldType::kDate, 0, Date(-366), u"31.12.-0001", -366.0 - 693594.0, kNone, std::nullopt,
         EngineErrorCode::kCannotReadAsBoolean},
        {"Time", FieldType::kTime, 0, Time(3601000), u"01:00:01", 3601000.0 / 86400000.0, kNone, std::nullopt,
         EngineErrorCode::kCannotReadAsBoolean},
        {"TimeMilliseconds", FieldType::kTime, 0, Time(45296789), u"12:34:56,789", 45296789.0 / 86400000.0, kNone,
         std::nullopt, EngineErrorCode::kCannotReadAsBoolean},
        {"Timestamp", FieldType::kTimestamp, 0, Timestamp(62135722800000.0), u"01.01.1970 11:00:00",
         25569.0 + 11.0 / 24.0, kNone, std::nullopt, EngineErrorCode::kCannotReadAsBoolean},
        {"Memo", FieldType::kMemo, 20, Memo("Zeile 1\r\nZeile 2"), u"Zeile 1\r\nZeile 2", std::nullopt,
         EngineErrorCode::kNotANumber, std::nullopt, EngineErrorCode::kNotABoolean},
        {"Bytes", FieldType::kBytes, 3, Bytes("AB\0"), std::u16string(u"AB\0", 3), std::nullopt, EngineErrorCode::kCannotReadAsNumber,
         std::nullopt, EngineErrorCode::kCannotReadAsBoolean},
        {"Blob", FieldType::kBlob, 10, Blob("xyz"), u"xyz", std::nullopt, EngineErrorCode::kCannotReadAsNumber,
         std::nullopt, EngineErrorCode::kCannotReadAsBoolean},
    };
    TableBuilder builder;
    builder.SetCodePage(1252);
    std::vector<Cell> record;
    for (const FormCase& c : cases) {
        builder.AddField(c.name, c.type, c.size);
        record.push_back(c.cell);
    }
    builder.AddRecord(record);
    ParadoxTable table = FromMemory(builder.Build());
    ASSERT_FALSE(table.Eof());

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const FormCase& c = cases[i];
        SCOPED_TRACE(c.name);
        const FieldValue value = table.Value(static_cast<int>(i));
        const FieldDescription& field = table.fields()[i];
        EXPECT_EQ(ToUtf8(ValueAsText(value, table.codePage())), ToUtf8(c.text));
        if (c.real) {
            const double real = ValueAsReal(value, field);
            EXPECT_EQ(real, *c.real);
            EXPECT_EQ(std::signbit(real), std::signbit(*c.real));
        } else {
            EXPECT_ENGINE_ERROR(ValueAsReal(value, field), c.realError);
        }
        if (c.boolean) {
            EXPECT_EQ(ValueAsBoolean(value, field), *c.boolean);
        } else {
            EXPECT_ENGINE_ERROR(ValueAsBoolean(value, field), c.booleanError);
        }
    }
}

TEST(FieldForms, ConversionErrorsNameTheFieldAndTheValue) {
    TableBuilder builder;
    builder.SetCodePage(1252).AddField("Geburtsort", FieldType::kAlpha, 20).AddRecord({Alpha("Hamburg")});
    ParadoxTable table = FromMemory(builder.Build());
    EXPECT_ERROR_MESSAGE(ValueAsReal(table.Value(0), table.fields()[0]),
                         u"Der Wert \"Hamburg\" des Feldes \"Geburtsort\" ist keine gültige Zahl.");
    EXPECT_ERROR_MESSAGE(ValueAsBoolean(table.Value(0), table.fields()[0]),
                         u"Der Wert \"Hamburg\" des Feldes \"Geburtsort\" ist kein gültiger Wahrheitswert.");
}

TEST(EngineErrors, CodeWithoutTextGivesTheEngineErrorNumber) {
    EXPECT_EQ(ToUtf8(EngineErrorMessage(static_cast<EngineErrorCode>(0x2a0f), {})), "BDE-Fehler $2A0F");
    EXPECT_EQ(ToUtf8(EngineErrorMessage(EngineErrorCode::kTableNotFound, {u"C:\\Daten\\Horoskop.DB"})),
              "Die Tabelle \"C:\\Daten\\Horoskop.DB\" wurde nicht gefunden.");
}

TEST(Session, PasswordListKeepsEachPasswordOnce) {
    Session session(u"Test");
    session.AddPassword(u"geheim");
    session.AddPassword(u"geheim");
    session.AddPassword(u"Geheim");
    EXPECT_EQ(session.passwords(), (std::vector<std::u16string>{u"geheim", u"Geheim"}));
    session.RemovePassword(u"geheim");
    EXPECT_EQ(session.passwords(), (std::vector<std::u16string>{u"Geheim"}));
    session.RemovePassword(u"fehlt");
    session.RemoveAllPasswords();
    EXPECT_TRUE(session.passwords().empty());
    EXPECT_EQ(Session::Default().name(), u"Default");
}

TEST(Database, SettingsAndParameters) {
    Session session(u"Test");
    Database db(session);
    EXPECT_EQ(db.driverName(), u"STANDARD");
    EXPECT_TRUE(db.readOnly());
    EXPECT_FALSE(db.exclusive());
    EXPECT_FALSE(db.keepConnection());
    EXPECT_EQ(db.params(), (std::vector<std::u16string>{u"PATH=", u"DEFAULT DRIVER=PARADOX", u"ENABLE BCD=FALSE"}));
    db.SetParam(u"PATH", u"C:\\Daten");
    db.SetParam(u"path", u"C:\\Andere");
    EXPECT_EQ(db.Param(u"PATH"), u"C:\\Andere");
    EXPECT_EQ(db.params().size(), 3u);
}

class EngineObjects : public ::testing::Test {
protected:
    void SetUp() override {
        TableBuilder builder = HoroscopeTableBuilder();
        HoroscopeRecord first;
        first.name = "M\xFCller, Hans";  // "Müller" in code page 1252
        first.comment = "Erste Zeile\r\nZweite Zeile";
        HoroscopeRecord second;
        second.id = "2";
        second.name = "Septar";
        second.septar = true;
        second.septarText = "Zweittext";
        builder.SetCodePage(1252).AddRecord(first.Cells()).AddRecord(second.Cells());
        tablePath = WriteTable(builder.Build(), folder.path(), "Horoskop");
        db.SetParam(u"PATH", PathText(folder.path()));
    }

    std::vector<std::pair<std::string, std::string>> FolderContents() const {
        std::vector<std::pair<std::string, std::string>> contents;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            contents.emplace_back(entry.path().filename().string(), ReadFileBytes(entry.path()));
        }
        std::sort(contents.begin(), contents.end());
        return contents;
    }

    TempFolder folder;
    std::filesystem::path tablePath;
    Session session{u"Test"};
    Database db{session};
    Table tbl{db};
};

TEST_F(EngineObjects, OpenWalkAndCloseEndTheConnection) {
    db.Connect();
    EXPECT_TRUE(db.connected());
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    EXPECT_TRUE(tbl.active());
    EXPECT_EQ(tbl.FieldCount(), 13);
    EXPECT_EQ(tbl.FieldAsText(1), u"Müller, Hans");
    EXPECT_EQ(tbl.FieldAsReal(2), 2451545.0);
    EXPECT_EQ(tbl.FieldAsText(8), u"Erste Zeile\r\nZweite Zeile");
    EXPECT_FALSE(tbl.FieldAsBoolean(12));
    EXPECT_EQ(tbl.FieldAsText(10), u"");
    tbl.Next();
    EXPECT_TRUE(tbl.FieldAsBoolean(12));
    tbl.Next();
    EXPECT_TRUE(tbl.Eof());
    tbl.First();
    EXPECT_EQ(tbl.FieldAsText(0), u"1");
    EXPECT_ERROR_MESSAGE(tbl.FieldAsText(13), kArgumentOutOfRange);

    // No connection is kept: closing the last table ends it.
    tbl.Close();
    EXPECT_FALSE(tbl.active());
    EXPECT_FALSE(db.connected());
    db.Disconnect();  // nothing to do
    EXPECT_FALSE(db.connected());
    tbl.Close();
}

TEST_F(EngineObjects, NameWithoutExtensionIsAParadoxTable) {
    tbl.SetTableName(u"Horoskop");
    tbl.Open();  // connects by itself
    EXPECT_TRUE(db.connected());
    EXPECT_EQ(tbl.FieldCount(), 13);
    db.Disconnect();  // closes the table first
    EXPECT_FALSE(tbl.active());
    EXPECT_ENGINE_ERROR(tbl.Eof(), EngineErrorCode::kTableNotOpen);
}

TEST_F(EngineObjects, FailuresNameTheFolderOrTheFile) {
    Database elsewhere(session);
    const std::u16string missingFolder = PathText(folder.path() / "fehlt");
    elsewhere.SetParam(u"PATH", missingFolder);
    EXPECT_ERROR_MESSAGE(elsewhere.Connect(), u"Der Ordner \"" + missingFolder + u"\" wurde nicht gefunden.");
    EXPECT_FALSE(elsewhere.connected());

    tbl.SetTableName(u"Kunden.db");
    EXPECT_ERROR_MESSAGE(tbl.Open(),
                         u"Die Tabelle \"" + PathText(folder.path() / "Kunden.db") + u"\" wurde nicht gefunden.");
    // A connection made for the failed open does not stay.
    EXPECT_FALSE(db.connected());
    EXPECT_FALSE(tbl.active());

    std::filesystem::remove(folder.path() / "Horoskop.MB");
    tbl.SetTableName(u"Horoskop.DB");
    EXPECT_ENGINE_ERROR(tbl.Open(), EngineErrorCode::kBlobFileNotFound);
}

TEST_F(EngineObjects, CompanionFileIsFoundWhateverItsCase) {
    std::filesystem::rename(folder.path() / "Horoskop.MB", folder.path() / "HOROSKOP.mb");
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    EXPECT_EQ(tbl.FieldAsText(8), u"Erste Zeile\r\nZweite Zeile");
}

TEST_F(EngineObjects, ReadingWritesNothing) {
    const auto before = FolderContents();
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    for (tbl.First(); !tbl.Eof(); tbl.Next()) {
        for (int i = 0; i < tbl.FieldCount(); ++i) (void)tbl.FieldAsText(i);
    }
    tbl.Close();
    EXPECT_EQ(FolderContents(), before);
}

TEST_F(EngineObjects, ProtectedTableNeedsTheRightPassword) {
    TableBuilder builder = HoroscopeTableBuilder();
    builder.SetCodePage(1252).Encrypt("Sterne").AddRecord(HoroscopeRecord{}.Cells());
    WriteTable(builder.Build(), folder.path(), "Geheim");
    tbl.SetTableName(u"Geheim.DB");
    EXPECT_ERROR_MESSAGE(tbl.Open(), u"Unzureichende Rechte für die Tabelle \"" + PathText(folder.path() / "Geheim.DB") +
                                         u"\": Sie ist kennwortgeschützt, und kein passendes Kennwort wurde angegeben.");
    session.AddPassword(u"sterne");  // the checksum tells case apart
    EXPECT_ENGINE_ERROR(tbl.Open(), EngineErrorCode::kInsufficientRights);
    session.AddPassword(u"Sterne");
    tbl.Open();
    EXPECT_EQ(tbl.FieldAsText(1), u"Test");
}

// The checksum covers the password's bytes; a password with letters outside
// ASCII may have been set in the table's own code page or in the Windows one.
TEST(Passwords, LettersBeyondAsciiInEitherCodePage) {
    struct Case {
        const char* name;
        std::string setBytes;       // the bytes the table was protected with
        std::u16string typed;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"TableCodePage", "Stern\x84", u"Sternä", true},    // ä in code page 850
        {"WindowsCodePage", "Stern\xE4", u"Sternä", true},  // ä in code page 1252
        {"OtherLetter", "Stern\x84", u"Sternö", false},
        {"NotEncodable", "Stern\x84", u"Stern\u20AC\u0416", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TableBuilder builder(9);
        builder.SetCodePage(850).Encrypt(c.setBytes).AddField("Name", FieldType::kAlpha, 10).AddRecord({Alpha("x")});
        const std::vector<std::u16string> passwords = {c.typed};
        if (c.opens) {
            EXPECT_EQ(FromMemory(builder.Build(), passwords).Value(0).text, u"x");
        } else {
            EXPECT_ENGINE_ERROR(FromMemory(builder.Build(), passwords), EngineErrorCode::kInsufficientRights);
        }
    }
}

class CountingUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    std::vector<std::u16string> messages;
};

// The same horoscopes through the engine and through an in-memory table
// give the same file, byte for byte.
TEST_F(EngineObjects, AafFileFromTheTableEqualsTheWritersOwn) {
    tbl.SetTableName(u"Horoskop.DB");
    tbl.Open();
    CountingUi ui;
    const std::u16string fromTable = PathText(folder.path() / "table.aaf");
    EXPECT_EQ(WriteAafFile(fromTable, tbl, ui, TimeFormatSettings{}), 2);

    Horoscope first;
    first.name = std::u16string(u"Müller, Hans");
    first.comment = std::u16string(u"Erste Zeile\r\nZweite Zeile");
    Horoscope second;
    second.name = std::u16string(u"Septar");
    second.septar = true;
    second.septarText = std::u16string(u"Zweittext");
    MemoryTable memory = HoroscopeTable({first, second});
    const std::u16string fromMemory = PathText(folder.path() / "memory.aaf");
    EXPECT_EQ(WriteAafFile(fromMemory, memory, ui, TimeFormatSettings{}), 2);

    EXPECT_EQ(ReadFileBytes(folder.path() / "table.aaf"), ReadFileBytes(folder.path() / "memory.aaf"));
    ASSERT_EQ(ui.messages.size(), 2u);
}

// A value the engine cannot give in the form the writer asks for stops the
// writer with the engine's own error, unchanged.
TEST(EngineAndWriter, FieldErrorPassesThroughTheWriter) {
    TempFolder folder;
    TableBuilder builder;
    builder.SetCodePage(1252);
    for (int i = 0; i < 13; ++i) builder.AddField("F" + std::to_string(i), FieldType::kAlpha, 10);
    builder.AddRecord({Alpha("1"), Alpha("Name"), Alpha("gestern")});
    WriteTable(builder.Build(), folder.path(), "Text");
    Session session(u"Test");
    Database db(session);
    db.SetParam(u"PATH", PathText(folder.path()));
    Table tbl(db);
    tbl.SetTableName(u"Text");
    tbl.Open();
    CountingUi ui;
    EXPECT_ERROR_MESSAGE(WriteAafFile(PathText(folder / "Text.aaf"), tbl, ui, TimeFormatSettings{}),
                         u"Der Wert \"gestern\" des Feldes \"F2\" ist keine gültige Zahl.");
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace kosmara
