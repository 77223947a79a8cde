// A Paradox table (.DB, versions 3.0 to 7) read record by record in table
// order, with its memo and BLOB values from the companion .MB file. Blocks
// are read as the cursor walks, so memory stays flat however large the table
// is. Nothing is ever written; damage gives an EngineError naming the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/byte_source.h"
#include "engine/code_page.h"

namespace kosmara {

enum class FieldType : std::uint8_t {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kMoney = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBlob = 0x0D,
    kFormattedMemo = 0x0E,
    kOle = 0x0F,
    kGraphic = 0x10,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoIncrement = 0x16,
    kBcd = 0x17,
    kBytes = 0x18,
};

// The letter Paradox shows for a type ("A", "D", "S", "I", "$", "N", "L",
// "M", "B", "F", "O", "G", "T", "@", "+", "#", "Y").
char FieldTypeLetter(FieldType type);
bool IsBlobType(FieldType type);

struct FieldDescription {
    std::u16string name;
    FieldType type = FieldType::kAlpha;
    int size = 0;      // bytes in the record (17 for BCD)
    int decimals = 0;  // BCD: digits after the decimal point
    int offset = 0;    // within the record
};

// One decoded value.
struct FieldValue {
    enum class Kind {
        kNull,
        kText,       // alpha, memo, formatted memo: text
        kInteger,    // short, long, autoincrement: integer
        kReal,       // number, money: real
        kDecimal,    // BCD: text holds the exact decimal with the value's decimals ("-1.20"), real its nearest double
        kBoolean,    // logical: boolean
        kDate,       // integer: days, 1 = 1 January 0001 (proleptic Gregorian)
        kTime,       // integer: milliseconds since midnight
        kTimestamp,  // real: milliseconds on the date scale (day 1 = 0001-01-01)
        kBytes,      // bytes, BLOB, OLE, graphic (without its 8-byte prefix): bytes
    };
    Kind kind = Kind::kNull;
    std::u16string text;
    std::string bytes;
    std::int64_t integer = 0;
    double real = 0.0;
    bool boolean = false;

    static FieldValue OfText(std::u16string text, Kind kind = Kind::kText) {
        FieldValue value;
        value.kind = kind;
        value.text = std::move(text);
        return value;
    }
    static FieldValue OfInteger(std::int64_t integer, Kind kind = Kind::kInteger) {
        FieldValue value;
        value.kind = kind;
        value.integer = integer;
        return value;
    }
    static FieldValue OfReal(double real, Kind kind = Kind::kReal) {
        FieldValue value;
        value.kind = kind;
        value.real = real;
        return value;
    }
    static FieldValue OfBoolean(bool boolean) {
        FieldValue value;
        value.kind = Kind::kBoolean;
        value.boolean = boolean;
        return value;
    }
    static FieldValue OfBytes(std::string bytes) {
        FieldValue value;
        value.kind = Kind::kBytes;
        value.bytes = std::move(bytes);
        return value;
    }
};

// What the header says, as far as a reader needs it.
struct TableInfo {
    int versionId = 0;  // header byte 0x39: 3 = 3.0, 4 = 3.5, 5..9 = 4.x, 10/11 = 5.x, 12 = 7
    int fileType = 0;   // 0 keyed, 2 unkeyed
    int recordSize = 0;
    int headerSize = 0;
    int blockSize = 0;
    std::uint32_t recordCount = 0;  // as the header says
    int fileBlocks = 0;
    int firstBlock = 0;
    int usedBlocks = 0;
    int headerCodePage = 0;
    int sortOrder = 0;
    std::string sortOrderName;
    int codePage = 0;  // the one text is decoded with
    std::uint32_t encryptionKey = 0;  // 0: not protected
    std::vector<FieldDescription> fields;
};

class ParadoxTable {
public:
    // Opens the table file at path and, when it has memo or BLOB fields, the
    // .MB file of the same base name beside it (found whatever the case of its
    // name). A protected table opens only when one of passwords matches.
    // codePage, when given, is the code page the text is read in instead of
    // the one the header names.
    static ParadoxTable Open(const std::u16string& path, std::span<const std::u16string> passwords,
                             std::optional<int> codePage = std::nullopt);

    // A table from other sources (memory in tests and the fuzzer). blobs may
    // be null; names are used in error messages.
    ParadoxTable(std::unique_ptr<ByteSource> table, std::u16string tableName, std::unique_ptr<ByteSource> blobs,
                 std::u16string blobName, std::span<const std::u16string> passwords,
                 std::optional<int> codePage = std::nullopt);

    ParadoxTable(ParadoxTable&&) noexcept;
    ParadoxTable& operator=(ParadoxTable&&) noexcept;
    ~ParadoxTable();

    const TableInfo& info() const;
    const std::vector<FieldDescription>& fields() const;
    const CodePage& codePage() const;

    // The walk in table order: the first record (or Eof() at once), then on.
    void First();
    bool Eof() const;
    void Next();

    bool IsNull(int field) const;
    // The field of the current record; fails with kNoCurrentRecord at the end.
    FieldValue Value(int field) const;
    // The raw bytes of the current record (tests).
    std::string_view RecordBytes() const;
    // The bytes of a text field (alpha, memo, formatted memo) of the current
    // record before they are decoded: alpha up to its first zero byte, memo
    // as the .MB holds it. Empty for null and for other types.
    std::string TextBytes(int field) const;
    // An alpha, memo or formatted memo field of the current record as text
    // (Value's text, empty for null) into text, whose storage is reused;
    // false, with text untouched, for the other types. Fails as Value does.
    bool TextInto(int field, std::u16string& text) const;

    // The identities of the files the table is read from (.DB and .MB).
    std::vector<FileIdentity> FileIdentities() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kosmara
