// The check of doubtful records: values that the AAF writer converts without
// complaint but that are probably not what the user meant (a birth moment of
// 0, a latitude beyond the pole, an empty name, text with bytes the table's
// code page has no character for, ...), and values the table cannot give at
// all. It reads the horoscope table through the record cursor exactly as the
// writer does (field positions as in aaf_writer.h) and never moves it other
// than from its first record to its end.
//
// Which text counts as doubtful, per field:
// - name, place, zone name (single lines in the AAF file): any control
//   character (below U+0020, U+007F to U+009F), line breaks and tabs too;
// - comment and Septar text (may span lines): control characters except the
//   line break CR LF and the tab; a lone CR or LF is doubtful, since the
//   writer passes it on without starting a new "#EXT_" prefix;
// - all five: U+FFFD or U+0080 to U+009F, which is what the engine makes of
//   a byte that has no character in the table's code page.
// The Septar text is looked at only when the Septar flag is set, as the
// writer reads it only then.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_sink.h"
#include "core/record_cursor.h"

namespace kosmara {

// Field positions of the horoscope record (the writer's), and kTableField
// for findings about the table as a whole.
inline constexpr int kTableField = -1;
inline constexpr int kNameField = 1;
inline constexpr int kJulianDayField = 2;
inline constexpr int kPlaceField = 3;
inline constexpr int kLongitudeField = 4;
inline constexpr int kLatitudeField = 5;
inline constexpr int kZoneOffsetField = 6;
inline constexpr int kZoneNameField = 7;
inline constexpr int kCommentField = 8;
inline constexpr int kSeptarTextField = 9;
inline constexpr int kSeptarFlagField = 12;
// The writer reads positions up to 12.
inline constexpr int kHoroscopeFieldCount = 13;

// Reasons of the findings that no rule of the table gives.
inline constexpr char16_t kUnreadableField[] = u"Feld nicht lesbar";
inline constexpr char16_t kTableNotWalkable[] = u"Tabelle ab hier nicht lesbar, Prüfung abgebrochen";
inline constexpr char16_t kTooFewColumns[] = u"Die Tabelle hat weniger als 13 Spalten";

struct RecordFinding {
    std::int64_t record = 0;  // 1-based in table order; 0: the table as a whole
    int field = kTableField;  // position in the record
    // As the table holds it: text unchanged, a real as the shortest decimal
    // that reads back as the same double ("." as separator, no grouping,
    // exponent form "1e+300" where that is shorter); the engine's message
    // for a value that cannot be read.
    std::u16string value;
    std::u16string reason;  // German

    friend bool operator==(const RecordFinding&, const RecordFinding&) = default;
};

// One rule: the field it looks at, whether that field is read as a real or
// as text, the test that finds the value doubtful, and the German reason.
struct CheckRule {
    int field;
    bool (*doubtfulReal)(double);             // set for fields read as a real
    bool (*doubtfulText)(std::u16string_view);  // set for fields read as text
    const char16_t* reason;
};

// Every rule, in the order findings of one field are listed.
std::span<const CheckRule> CheckRules();

// The German name of a field position in the report ("Name", "Breite", ...;
// "Tabelle" for kTableField).
std::u16string CheckFieldLabel(int field);

// Looks at one record: the cursor's current one, numbered `record`. A field
// the cursor cannot read gives a finding with the error's message as value
// and kUnreadableField as reason.
std::vector<RecordFinding> CheckRecord(RecordCursor& table, std::int64_t record);

// Walks the table from its first record to its end and returns every finding
// in table order, by field position within a record. When the walk itself
// fails (First or Next), the last finding names the record that could not be
// reached, with the error's message and kTableNotWalkable, and the check
// stops there. A table with fewer than 13 columns gives one finding
// (kTooFewColumns, the number of columns as value) and is not walked.
// Errors other than kosmara::Error (out of memory) go on.
std::vector<RecordFinding> CheckRecords(RecordCursor& table);

// A record cursor that hands every call to `table` and checks each record
// the walk arrives at, so the AAF writer and the check share one walk:
//   std::vector<RecordFinding> findings;
//   CheckingCursor checked(table, findings);
//   WriteAafFile(output, checked, ui, timeFormat);
// The writer sees the same values as without it. A failing First or Next is
// added as a kTableNotWalkable finding and then passed on; First adds the
// kTooFewColumns finding for a table too narrow for the writer.
class CheckingCursor final : public RecordCursor {
public:
    CheckingCursor(RecordCursor& table, std::vector<RecordFinding>& findings) : table_(table), findings_(findings) {}

    void First() override;
    bool Eof() const override { return table_.Eof(); }
    void Next() override;
    int FieldCount() const override { return table_.FieldCount(); }
    std::optional<std::uint32_t> RecordCountHint() const override { return table_.RecordCountHint(); }

protected:
    std::u16string ReadText(int position) override { return table_.FieldAsText(position); }
    double ReadReal(int position) override { return table_.FieldAsReal(position); }
    bool ReadBoolean(int position) override { return table_.FieldAsBoolean(position); }

private:
    void Arrived();

    RecordCursor& table_;
    std::vector<RecordFinding>& findings_;
    std::int64_t record_ = 0;
};

// The report: tab-separated UTF-8, lines ending in CR LF, the header line
// "Datensatz", "Feld", "Wert", "Grund", then one line per finding. The
// record column is empty for findings about the whole table. In values
// "\" is written "\\", tab "\t", LF "\n", CR "\r", and every other control
// character (below U+0020, U+007F to U+009F) "\xNN" with two upper-case
// hexadecimal digits, so a value never breaks a column or a line.
std::string CheckReportText(std::span<const RecordFinding> findings);
// The report into a sink (no byte-order mark: the console, a pipe) ...
void WriteCheckReport(ByteSink& output, std::span<const RecordFinding> findings);
// ... as a file's content: the UTF-8 byte-order mark first, so that Windows
// programs read its umlauts right ...
void WriteCheckReportFile(ByteSink& output, std::span<const RecordFinding> findings);
// ... or into a file created anew, with that mark.
void WriteCheckReport(std::u16string_view fileName, std::span<const RecordFinding> findings);

}  // namespace kosmara
