// The AAF record writer: every record of an open horoscope table becomes a
// block of "#A93:", "#EXT_...", "#B93:", "#ZNAM:" and "#COM:" lines and an
// empty line, in a UTF-8 file with byte-order mark and CR LF line ends.
//
// Fields of the horoscope record by position: 1 name, 2 birth Julian day
// (local time), 3 place, 4 longitude, 5 latitude, 6 zone offset in hours,
// 7 zone name, 8 comment, 9 Septar text, 12 Septar flag.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/time_format.h"
#include "core/byte_sink.h"
#include "core/record_cursor.h"
#include "core/user_interface.h"

namespace kosmara {

// Removes every "," and then every "#".
std::u16string CleanField(std::u16string_view text);
// Removes every "#"; commas and line breaks stay.
std::u16string CleanComment(std::u16string_view text);
// The extension line that carries `value` in full under `tag`, without the
// final line end: "#EXT_<tag>_<terminator>:<value><terminator>;", each
// CR LF of the value followed by the prefix again.
std::u16string ExtensionLine(std::u16string_view tag, std::u16string_view value);
// "1 Horoskop gespeichert", "N Horoskope gespeichert".
std::u16string CountMessage(std::int32_t count);

// Writes the AAF file for every record of `table`, from its first record to
// its end, shows the count message and returns the count. The file is
// created anew; on a failure it keeps every line written before it, and no
// message is shown. `table` is left at its end.
std::int32_t WriteAafFile(std::u16string_view outputFileName, RecordCursor& table, UserInterface& ui,
                          const TimeFormatSettings& timeFormat);
// The same into an output the caller has opened and emptied (the export
// job, after making sure the file is none the table is read from) or into
// memory.
std::int32_t WriteAafFile(ByteSink& output, RecordCursor& table, UserInterface& ui,
                          const TimeFormatSettings& timeFormat);

}  // namespace kosmara
