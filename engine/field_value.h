// A field value read in the three forms the AAF writer asks for.
//
// As text:    null: empty. Alpha, memo, formatted memo: the text. Short, long,
//             autoincrement: decimal. Number, money, BCD: the shortest decimal
//             that reads back as the same double, with "." and no grouping
//             ("1234.5", "-0.125", "1e+21"). Date "DD.MM.YYYY", time
//             "HH:MM:SS" (",mmm" added when there are milliseconds),
//             timestamp both, separated by a space. Logical "True"/"False".
//             Bytes, BLOB, OLE, graphic: the bytes taken as text of the
//             table's code page.
// As a real:  null: 0.0. Numbers: their value. Date, time and timestamp:
//             days since 30 December 1899 (the time as a fraction of a day).
//             Text: a number written with "." or "," as decimal separator,
//             optional sign and exponent, blanks around it ignored; any other
//             text fails with kNotANumber naming the field. Logical, bytes
//             and BLOBs fail with kCannotReadAsNumber.
// As boolean: null: false. Logical: its value. Numbers: not zero. Text:
//             true/t/yes/y/ja/j/wahr/w/1 or false/f/no/n/nein/falsch/0 in any
//             case, blanks around it ignored; other text fails with
//             kNotABoolean. Dates, times, bytes and BLOBs fail with
//             kCannotReadAsBoolean.
#pragma once

#include <cstdint>
#include <string>

#include "core/record_cursor.h"
#include "engine/code_page.h"
#include "engine/paradox_table.h"

namespace kosmara {

// A date field's day number (1 = 1 January 0001) in the proleptic Gregorian
// calendar; years before 1 are astronomical (0 is 1 BC, -1 is 2 BC).
struct CivilDate {
    std::int64_t year;
    int month;
    int day;
};
CivilDate DateOfDay(std::int64_t day);

std::u16string ValueAsText(const FieldValue& value, const CodePage& codePage);
// The same from a value no longer needed: text is moved out, not copied (a
// memo may be many megabytes).
std::u16string ValueAsText(FieldValue&& value, const CodePage& codePage);
double ValueAsReal(const FieldValue& value, const FieldDescription& field);
bool ValueAsBoolean(const FieldValue& value, const FieldDescription& field);

// A field of the table's current record in the three forms (the position is
// the caller's to check).
std::u16string FieldText(const ParadoxTable& table, int position);
// The same into text, whose storage is reused (text fields are decoded
// straight into it).
void FieldTextInto(const ParadoxTable& table, int position, std::u16string& text);
double FieldReal(const ParadoxTable& table, int position);
bool FieldBoolean(const ParadoxTable& table, int position);

// The record cursor the AAF writer walks, over a table the caller keeps
// open: the engine object Table reads its fields the same way; the fuzzer
// and the tests walk tables in memory with it.
class TableCursor : public RecordCursor {
public:
    explicit TableCursor(ParadoxTable& table) : table_(table) {}

    void First() override { table_.First(); }
    bool Eof() const override { return table_.Eof(); }
    void Next() override { table_.Next(); }
    int FieldCount() const override { return static_cast<int>(table_.fields().size()); }

protected:
    std::u16string ReadText(int position) override { return FieldText(table_, position); }
    void ReadTextInto(int position, std::u16string& text) override { FieldTextInto(table_, position, text); }
    double ReadReal(int position) override { return FieldReal(table_, position); }
    bool ReadBoolean(int position) override { return FieldBoolean(table_, position); }

private:
    ParadoxTable& table_;
};

}  // namespace kosmara
