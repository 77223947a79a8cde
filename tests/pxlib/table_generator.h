// Random tables for the pxlib round trip: for every record the values pxlib
// is given and, kept beside them, the values our reader must give back.
// Fixed seeds, so a failure names a record that stays the same.
#pragma once

#include <string>
#include <vector>

#include "engine/paradox_table.h"
#include "tests/pxlib/pxlib_writer.h"

namespace kosmara::testing {

struct ColumnDefinition {
    std::u16string name;
    PxType type = PxType::kAlpha;
    int size = 0;      // bytes in the record; BCD: 17
    int decimals = 0;  // BCD only
};

struct TableCase {
    const char* name;        // also the file name
    int codePage;
    std::u16string letters;  // characters of the code page beyond ASCII for texts and names
    std::vector<ColumnDefinition> columns;
    int records;
    unsigned seed;
    bool raw;  // written with PX_put_data_* + PX_put_record instead of PX_insert_record
};

struct GeneratedTable {
    std::vector<PxField> fields;                       // as pxlib gets them
    std::vector<std::vector<PxCell>> cells;            // per record, as pxlib gets them
    std::vector<std::vector<FieldValue>> expected;     // per record, as our reader must give them
};

GeneratedTable GenerateTable(const TableCase& table);

// The value as readable text for failure messages.
std::string Describe(const FieldValue& value);
// Same kind and same contents; doubles compared bit for bit.
bool SameValue(const FieldValue& actual, const FieldValue& expected);

}  // namespace kosmara::testing
