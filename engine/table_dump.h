// A table as UTF-8 tab-separated text: the field list, then one line per
// record in table order. The values are written the way the pxlib-based
// dumper in our test tools writes them, so the two can be compared line by
// line:
//   field line   NAME:TYPE:SIZE per field (SIZE: decimals for BCD)
//   null         \N
//   text         as is, with \\ \t \n \r and \xNN for other control characters
//   date         YYYY-MM-DD (years before 1 as the proleptic year, e.g. -001)
//   time         HH:MM:SS.mmm
//   timestamp    YYYY-MM-DD HH:MM:SS.mmm
//   short, long, autoincrement   decimal
//   number, money                printf %.17g
//   BCD          its exact decimal text
//   logical      0 or 1
//   bytes        lower-case hexadecimal
//   BLOB, OLE, graphic   BLOB[len=N crc32=XXXXXXXX]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/paradox_table.h"

namespace kosmara {

std::string DumpFieldLine(const std::vector<FieldDescription>& fields);
// The current record as one line, without its line end.
std::string DumpRecordLine(const ParadoxTable& table);

// One value in this notation; type tells bytes (hexadecimal) from BLOB, OLE
// and graphic values (length and CRC-32).
std::string DumpValue(const FieldValue& value, FieldType type);

// The CRC-32 of zlib (and of ZIP and PNG).
std::uint32_t Crc32(std::string_view bytes);

}  // namespace kosmara
