// Whether a table's text looks as if its header names the wrong code page:
// text written in one code page (Windows-1251 Russian, say) under a header
// that names another (936) decodes to many bytes without a character, or to
// control characters. Text that happens to decode cleanly in the wrong page
// (Windows-1251 read as Windows-1252) is not found this way.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/paradox_table.h"

namespace kosmara {

struct CodePageJudgement {
    std::size_t characters = 0;  // decoded characters outside plain ASCII text (from bytes 0x80 on, or controls)
    std::size_t unassigned = 0;  // U+FFFD, or U+0080..U+009F from a single-byte page
    std::size_t controls = 0;    // below U+0020 except tab, LF and CR, and U+007F
    bool looksWrong = false;
};

// At least this many doubtful characters, and at least this share of the
// characters counted, make the text look wrong: a stray byte in one record
// does not.
inline constexpr std::size_t kWrongCodePageMinimum = 3;
inline constexpr double kWrongCodePageShare = 0.05;

// %s: the code page number.
inline constexpr char16_t kUnknownCodePage[] = u"Die Codepage %s ist unbekannt.";

// Judges the raw bytes of text fields as text of codePage; a number the
// engine does not know fails with kUnknownCodePage.
CodePageJudgement JudgeCodePage(std::span<const std::string> texts, int codePage);

// The raw bytes of every non-empty alpha and memo field
// of the first maxRecords records, walking the table from its first record.
// A memo that cannot be read is left out; a walk that fails ends the
// sample there. The table is left wherever the sample ended.
std::vector<std::string> SampleTextBytes(ParadoxTable& table, std::size_t maxRecords = 1000);

// The German hint for text that looks wrong in codePage, naming the option
// that reads the table in another code page.
std::u16string WrongCodePageHint(int codePage);

}  // namespace kosmara
