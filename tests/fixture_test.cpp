// Every Paradox table of the shared fixtures (tables written by real Paradox
// software) read by our engine, dumped and compared line by line with the
// dump that an independent decoder, pxlib, made of it (shared/tools/pxdump.c,
// the `<table>.pxlib.tsv` beside each table). Where the two disagree because
// pxlib is wrong or decodes differently by design, the difference is listed
// in kKnownDifferences with its reason; every other difference fails, and
// so does a listed one that does not occur.
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/path.h"
#include "databases/export_job.h"
#include "engine/code_page.h"
#include "engine/engine_error.h"
#include "engine/paradox_table.h"
#include "engine/table_dump.h"
#include "export/aaf_writer.h"
#include "fake_system.h"
#include "temp_folder.h"
#include "test_support.h"

namespace kosmara {
namespace {

namespace fs = std::filesystem;

// Every password of the fixtures goes to every table.
const std::array<std::u16string, 2> kPasswords = {u"123", u"rparadox"};

struct KnownDifference {
    const char* table;  // path below the fixtures folder
    int record;         // 1 = the first record in table order
    const char* field;
    const char* pxlib;  // pxlib's text
    const char* ours;   // our text
    const char* why;
};

// Dates before year 1: pxlib converts through a Julian day number with the
// historians' years, which have no year 0, so 1 BC (astronomical year 0)
// is its year -1 and every earlier year is one lower than the astronomical
// year our dump writes. Day -366 is 31 December of astronomical year -1.
constexpr char kNoYearZero[] = "pxlib has no year 0: day -366 is -001-12-31 astronomically, 2 BC for pxlib";
// BCD without decimals: pxlib writes a bare point after the digits.
constexpr char kBcdBarePoint[] = "pxlib ends a BCD value without decimals with a bare point";
// BCD with nibbles A..F (BDE-written values far beyond a double's precision):
// pxlib turns them into the characters ':'..'?', we end the digits there and
// fill the remaining places with zeros.
constexpr char kBcdNibbles[] =
    "non-decimal nibbles after the 19th decimal: pxlib prints them as ':'..'?', we stop there and fill with 0";

// Where pxlib is known to go wrong but no fixture shows it, the two agree:
// blank N, $ and @ values (pxdump's getter flags them blank), bytes values
// whose first byte is 0 (none in the fixtures), the Roman-8 table and the v3
// tables (pxdump picks the code page by the same rules), the formatted memo
// (both give the whole rich-text structure as text of the table's code page).
const KnownDifference kKnownDifferences[] = {
    // TypSammlung: a German table with every common type; its plain and its
    // encrypted copy hold the same records.
    {"rparadox/TypSammlung.DB", 2, "BCD", "-??????????????????????????.??????", "\\N",
     "the blank BCD is stored as 06 00..00 (bit 6 clear); pxlib decodes it as an inverted negative number of "
     "nibbles 0xF, we take bit 6 clear as blank"},
    {"rparadox/TypSammlung.DB", 3, "Datum", "-002-12-31", "-001-12-31", kNoYearZero},
    {"rparadox/TypSammlung.DB", 3, "Datum/Zeit", "-002-12-31 01:00:00.000", "-001-12-31 01:00:00.000", kNoYearZero},
    {"rparadox/TypSammlung_encrypted.DB", 2, "BCD", "-??????????????????????????.??????", "\\N",
     "blank BCD stored as 06 00..00, as in the plain copy"},
    {"rparadox/TypSammlung_encrypted.DB", 3, "Datum", "-002-12-31", "-001-12-31", kNoYearZero},
    {"rparadox/TypSammlung_encrypted.DB", 3, "Datum/Zeit", "-002-12-31 01:00:00.000", "-001-12-31 01:00:00.000",
     kNoYearZero},
    // bcd.db: the values paradoxdriver's tests expect are (1.23, 1, 0.123),
    // (-1.23, -1, -0.123), (0, blank, 0.9999).
    {"leonhad-paradoxdriver/bcd.db", 1, "B", "1.", "1", kBcdBarePoint},
    {"leonhad-paradoxdriver/bcd.db", 1, "C", "0.1229999999999999980;00>00000;?4:", "0.12299999999999999800000000000000",
     kBcdNibbles},
    {"leonhad-paradoxdriver/bcd.db", 2, "B", "-1.", "-1", kBcdBarePoint},
    {"leonhad-paradoxdriver/bcd.db", 2, "C", "-0.1229999999999999980;00>00000;?4:", "-0.12299999999999999800000000000000",
     kBcdNibbles},
    {"leonhad-paradoxdriver/bcd.db", 3, "C", "0.9999000000000000118:00>00000>?4:", "0.99990000000000001180000000000000",
     kBcdNibbles},
};

// A header can name the wrong code page: NOTE1251.DB says 936 (Simplified
// Chinese) but holds Windows-1251 Russian text. We decode with the header's
// code page, like pxlib, and get garbage; but 936 is a multi-byte page that
// the platform's converter decodes (iconv here, MultiByteToWideChar on
// Windows), and the two disagree on the byte sequences that are no GBK
// characters, so pxlib's garbage (from iconv) is no reference for Windows.
// The reference for such a column is therefore the pxlib dump made with the
// true code page, turned back into the table's bytes and decoded with the
// code page the table says; on POSIX systems, where both use iconv, it must
// also equal pxlib's own dump.
struct RecodedColumn {
    const char* table;
    const char* field;
    const char* trueDump;  // beside the table
    int trueCodePage;
};

const RecodedColumn kRecodedColumns[] = {
    {"leonhad-paradoxdriver/NOTE1251.DB", "Note", "NOTE1251.cp1251.pxlib.tsv", 1251},
};

// ---- the fixtures folder and the pxlib dumps ----

std::optional<fs::path> FixturesFolder() {
#ifdef KOSMARA_FIXTURES_DIR
    fs::path folder(KOSMARA_FIXTURES_DIR);
    std::error_code error;
    if (fs::is_directory(folder, error)) return folder;
#endif
    return std::nullopt;
}

std::string FixturesFolderText() {
#ifdef KOSMARA_FIXTURES_DIR
    return KOSMARA_FIXTURES_DIR;
#else
    return "(KOSMARA_FIXTURES_DIR not defined)";
#endif
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Every .DB table below the folder, as paths relative to it ("a/b.DB"). The
// list is made before the tests run; a failing listing shows in a test.
std::vector<std::string> ListTables(std::error_code& error) {
    std::vector<std::string> tables;
    const std::optional<fs::path> folder = FixturesFolder();
    if (!folder) return tables;
    for (fs::recursive_directory_iterator it(*folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file() && Lower(it->path().extension().string()) == ".db") {
            tables.push_back(fs::relative(it->path(), *folder).generic_string());
        }
    }
    std::sort(tables.begin(), tables.end());
    return tables;
}

struct PxlibDump {
    std::map<std::string, std::string> facts;  // the # lines: key=value
    std::string fieldLine;
    std::vector<std::string> records;
};

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// The pxlib dump beside a table: TypSammlung.DB -> TypSammlung.pxlib.tsv.
fs::path DumpPath(const fs::path& table, const char* suffix = ".pxlib.tsv") {
    fs::path path = table;
    path.replace_extension(suffix);
    return path;
}

PxlibDump ReadDump(const fs::path& path) {
    PxlibDump dump;
    const std::string bytes = ReadBytes(path);
    if (bytes.empty()) throw std::runtime_error("no pxlib dump " + path.generic_string());
    std::vector<std::string> lines = Split(bytes, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    bool fieldLineSeen = false;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '#') {
            const std::size_t equals = line.find('=');
            dump.facts[line.substr(1, equals == std::string::npos ? std::string::npos : equals - 1)] =
                equals == std::string::npos ? "" : line.substr(equals + 1);
        } else if (!fieldLineSeen) {
            dump.fieldLine = line;
            fieldLineSeen = true;
        } else {
            dump.records.push_back(line);
        }
    }
    return dump;
}

ParadoxTable OpenTable(const fs::path& path) { return ParadoxTable::Open(path.u16string(), kPasswords); }

// pxlib's name for a version id (header byte 0x39).
int PxlibFileVersion(int versionId) {
    if (versionId == 3) return 30;
    if (versionId == 4) return 35;
    if (versionId <= 9) return 40;
    if (versionId <= 11) return 50;
    return 70;
}

// The code page pxdump decoded the text with ("CP850 (header code page)").
std::optional<int> PxlibTextCodePage(const std::string& encoding) {
    if (encoding.rfind("HP-ROMAN8", 0) == 0) return kHpRoman8;
    if (encoding.rfind("CP", 0) == 0) return std::stoi(encoding.substr(2));
    return std::nullopt;
}

std::string Hex(std::uint32_t value, int digits) {
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[value & 0xF];
    }
    return text;
}

// The text of a dump column: the escapes undone, as UTF-16.
std::u16string Unescape(const std::string& column) {
    std::string bytes;
    for (std::size_t i = 0; i < column.size(); ++i) {
        if (column[i] != '\\' || i + 1 == column.size()) {
            bytes += column[i];
            continue;
        }
        switch (const char next = column[++i]) {
            case 't': bytes += '\t'; break;
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 'x':
                bytes += static_cast<char>(std::stoi(column.substr(i + 1, 2), nullptr, 16));
                i += 2;
                break;
            default: bytes += next;
        }
    }
    return FromUtf8(bytes);
}

// A column of the dump made with the true code page as the dump of the text
// decoded with the table's code page.
std::string Recode(const std::string& column, int trueCodePage, const CodePage& tableCodePage) {
    const std::optional<CodePage> truePage = CodePage::Find(trueCodePage);
    EXPECT_TRUE(truePage.has_value()) << trueCodePage;
    if (!truePage) return {};
    const std::optional<std::string> bytes = truePage->Encode(Unescape(column));
    EXPECT_TRUE(bytes.has_value()) << column;
    if (!bytes) return {};
    FieldValue value;
    value.kind = FieldValue::Kind::kText;
    value.text = tableCodePage.Decode(*bytes);
    return DumpValue(value, FieldType::kMemo);
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// ---- one test per table ----

class FixtureTable : public ::testing::TestWithParam<std::string> {};

TEST_P(FixtureTable, HeaderFactsMatchPxlib) {
    const fs::path path = *FixturesFolder() / GetParam();
    const PxlibDump dump = ReadDump(DumpPath(path));
    const ParadoxTable table = OpenTable(path);
    const TableInfo& info = table.info();
    EXPECT_EQ(std::to_string(PxlibFileVersion(info.versionId)), dump.facts.at("file_version"));
    EXPECT_EQ(std::to_string(info.fileType), dump.facts.at("file_type"));
    EXPECT_EQ(std::to_string(info.recordSize), dump.facts.at("record_size"));
    EXPECT_EQ(std::to_string(info.headerSize), dump.facts.at("header_size"));
    EXPECT_EQ(std::to_string(info.blockSize), dump.facts.at("block_size"));
    EXPECT_EQ(std::to_string(info.recordCount), dump.facts.at("num_records_header"));
    EXPECT_EQ(Split(dump.facts.at("file_blocks"), ' ').at(0), std::to_string(info.fileBlocks));
    EXPECT_EQ(Split(dump.facts.at("file_blocks"), ' ').at(1), "first_block=" + std::to_string(info.firstBlock));
    EXPECT_EQ(std::to_string(info.headerCodePage), dump.facts.at("code_page"));
    EXPECT_EQ("0x" + Hex(static_cast<std::uint32_t>(info.sortOrder), 2), dump.facts.at("sort_order_byte"));
    EXPECT_EQ(info.sortOrderName, dump.facts.at("sort_order_id"));
    EXPECT_EQ("0x" + Hex(info.encryptionKey, 8), dump.facts.at("encryption"));
    // The code page the text is decoded with: the header's, the Roman-8 of
    // the BLROM800 driver, or for v3 tables the one the sort order implies.
    const std::optional<int> pxlibCodePage = PxlibTextCodePage(dump.facts.at("text_encoding"));
    ASSERT_TRUE(pxlibCodePage.has_value()) << dump.facts.at("text_encoding");
    EXPECT_EQ(info.codePage, *pxlibCodePage) << dump.facts.at("text_encoding");
    EXPECT_EQ(table.codePage().number(), info.codePage);
}

TEST_P(FixtureTable, RecordsMatchPxlibExceptTheKnownDifferences) {
    const std::string name = GetParam();
    const fs::path path = *FixturesFolder() / name;
    const PxlibDump dump = ReadDump(DumpPath(path));
    ParadoxTable table = OpenTable(path);
    ASSERT_EQ(DumpFieldLine(table.fields()), dump.fieldLine);

    std::vector<std::string> fieldNames;
    for (const std::string& column : Split(dump.fieldLine, '\t')) {
        fieldNames.push_back(column.substr(0, column.rfind(':', column.rfind(':') - 1)));
    }
    // Columns whose reference is a dump made with the true code page.
    std::map<std::size_t, std::pair<const RecodedColumn*, PxlibDump>> recoded;
    for (const RecodedColumn& column : kRecodedColumns) {
        if (name != column.table) continue;
        const auto at = std::find(fieldNames.begin(), fieldNames.end(), column.field);
        ASSERT_NE(at, fieldNames.end()) << column.field;
        recoded[static_cast<std::size_t>(at - fieldNames.begin())] = {&column,
                                                                      ReadDump(path.parent_path() / column.trueDump)};
    }

    std::set<const KnownDifference*> seen;
    int record = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        ++record;
        if (static_cast<std::size_t>(record) > dump.records.size()) continue;
        const std::vector<std::string> ours = Split(DumpRecordLine(table), '\t');
        std::vector<std::string> theirs = Split(dump.records[static_cast<std::size_t>(record) - 1], '\t');
        ASSERT_EQ(ours.size(), fieldNames.size()) << "record " << record;
        ASSERT_EQ(theirs.size(), fieldNames.size()) << "record " << record;
        for (const auto& [i, reference] : recoded) {
            const std::vector<std::string> trueColumns =
                Split(reference.second.records.at(static_cast<std::size_t>(record) - 1), '\t');
            const std::string expected = Recode(trueColumns.at(i), reference.first->trueCodePage, table.codePage());
#ifndef _WIN32
            EXPECT_EQ(expected, theirs[i]) << "iconv's decoding of record " << record << " field " << fieldNames[i];
#endif
            theirs[i] = expected;
        }
        for (std::size_t i = 0; i < fieldNames.size(); ++i) {
            const KnownDifference* known = nullptr;
            for (const KnownDifference& difference : kKnownDifferences) {
                if (name == difference.table && record == difference.record && fieldNames[i] == difference.field) {
                    known = &difference;
                }
            }
            if (known == nullptr) {
                if (ours[i] != theirs[i]) {
                    ADD_FAILURE() << "unexpected difference:\n    {" << Quoted(name) << ", " << record << ", "
                                  << Quoted(fieldNames[i]) << ", " << Quoted(theirs[i]) << ", " << Quoted(ours[i])
                                  << ", \"?\"},";
                }
                continue;
            }
            seen.insert(known);
            EXPECT_EQ(theirs[i], known->pxlib) << "pxlib's text, record " << record << " field " << fieldNames[i];
            EXPECT_EQ(ours[i], known->ours) << "our text, record " << record << " field " << fieldNames[i];
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(record), dump.records.size()) << "records read";
    EXPECT_EQ(std::to_string(record), dump.facts.at("num_records_header"));
    for (const KnownDifference& difference : kKnownDifferences) {
        if (name == difference.table && !seen.contains(&difference)) {
            ADD_FAILURE() << "known difference not met: record " << difference.record << " field "
                          << difference.field;
        }
    }
}

// As a horoscope table, through the export job: every fixture converts, or
// fails with a German message ("Argument außerhalb des Bereichs" when it has
// records but fewer than 13 columns, the engine's field error where a
// column cannot be read as the writer reads it), never a crash; the table is
// closed again either way.
TEST_P(FixtureTable, ConvertsOrFailsWithAMessage) {
    const fs::path path = *FixturesFolder() / GetParam();
    const ParadoxTable probe = OpenTable(path);
    std::size_t records = 0;
    for (ParadoxTable walk = OpenTable(path); !walk.Eof(); walk.Next()) ++records;

    testing::TempFolder out;
    testing::FakeSystem system;
    system.temporaryFolder = WithClosingSeparator(out.path().u16string());
    Session session(u"Fixture");
    for (const std::u16string& password : kPasswords) session.AddPassword(password);
    Database db(session);
    Table table(db);
    struct : UserInterface {
        std::u16string output;
        std::vector<std::u16string> messages;
        void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
        std::optional<std::u16string> AskOutputFile(std::u16string_view) override { return output; }
    } ui;
    ui.output = (out.path() / "fixture.aaf").u16string();
    ExportContext context{system, session, db, table, ui, GermanTimeFormat()};
    try {
        const std::optional<std::int32_t> count = ExportDatabase(context, path.u16string(), false);
        EXPECT_TRUE(probe.fields().size() >= 13 || records == 0) << "converted with too few columns";
        EXPECT_EQ(count, static_cast<std::int32_t>(records));
        EXPECT_EQ(ui.messages, std::vector<std::u16string>{CountMessage(static_cast<std::int32_t>(records))});
    } catch (const Error& error) {
        if (probe.fields().size() < 13) {
            EXPECT_EQ(ToUtf8(error.message()), ToUtf8(kArgumentOutOfRange));
        } else {
            EXPECT_FALSE(error.message().empty());
        }
        EXPECT_TRUE(ui.messages.empty());
    }
    EXPECT_FALSE(table.active());
    EXPECT_FALSE(db.connected());
}

std::vector<std::string> ListTables() {
    std::error_code ignored;
    return ListTables(ignored);
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Pxlib, FixtureTable, ::testing::ValuesIn(ListTables()), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FixtureTable);

// ---- facts about single tables ----

class FixtureFacts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FixturesFolder()) GTEST_SKIP() << "Paradox fixtures folder not found: " << FixturesFolderText();
    }
    fs::path Path(const char* name) const { return *FixturesFolder() / name; }
};

TEST_F(FixtureFacts, FolderListsAndHoldsTheTablesOfEveryKnownDifference) {
    std::error_code error;
    const std::vector<std::string> tables = ListTables(error);
    EXPECT_FALSE(error) << error.message();
    for (const KnownDifference& difference : kKnownDifferences) {
        EXPECT_TRUE(std::find(tables.begin(), tables.end(), difference.table) != tables.end()) << difference.table;
    }
    for (const RecodedColumn& column : kRecodedColumns) {
        EXPECT_TRUE(std::find(tables.begin(), tables.end(), column.table) != tables.end()) << column.table;
    }
}

TEST_F(FixtureFacts, EmptyTableWithoutDataBlockHasNoRecords) {
    ParadoxTable table = OpenTable(Path("rparadox/empty.db"));
    EXPECT_EQ(table.info().recordCount, 0u);
    EXPECT_EQ(table.info().firstBlock, 0);
    table.First();
    EXPECT_TRUE(table.Eof());
}

// KOMMENT.DB: 24 blocks, 6 in the chain 1 -> 20 -> ... -> 24; the free
// blocks 2..19 still hold old records, which must not be read.
TEST_F(FixtureFacts, OnlyTheLiveChainIsWalked) {
    ParadoxTable table = OpenTable(Path("python-pxlib/KOMMENT.DB"));
    EXPECT_EQ(table.info().fileBlocks, 24);
    EXPECT_EQ(table.info().usedBlocks, 6);
    int records = 0;
    for (table.First(); !table.Eof(); table.Next()) ++records;
    EXPECT_EQ(records, 59);
}

TEST_F(FixtureFacts, ProtectedTablesOpenOnlyWithTheirPassword) {
    struct Case {
        const char* table;
        const char16_t* password;
    };
    for (const Case& c : {Case{"leonhad-paradoxdriver/encrypted.db", u"123"},
                          Case{"leonhad-paradoxdriver/encrypted35.db", u"123"},
                          Case{"leonhad-paradoxdriver/encryptedmemo.db", u"123"},
                          Case{"rparadox/country_encrypted.db", u"rparadox"},
                          Case{"rparadox/TypSammlung_encrypted.DB", u"rparadox"}}) {
        SCOPED_TRACE(c.table);
        const std::u16string path = Path(c.table).u16string();
        const std::u16string fileName = Path(c.table).filename().u16string();
        const std::u16string right[] = {c.password};
        const std::u16string wrong[] = {u"falsch", u"", u"RPARADOX"};
        for (std::span<const std::u16string> passwords :
             {std::span<const std::u16string>(), std::span<const std::u16string>(wrong)}) {
            try {
                ParadoxTable::Open(path, passwords);
                ADD_FAILURE() << "opened with " << passwords.size() << " wrong passwords";
            } catch (const EngineError& error) {
                EXPECT_EQ(error.code(), EngineErrorCode::kInsufficientRights);
                EXPECT_NE(error.message().find(fileName), std::u16string::npos) << error.what();
            }
        }
        ParadoxTable table = ParadoxTable::Open(path, right);
        EXPECT_FALSE(table.Eof());
    }
}

}  // namespace
}  // namespace kosmara
