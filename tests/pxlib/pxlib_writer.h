// Paradox tables written by pxlib (Debian's pxlib-dev), an independent
// writer the round-trip tests and the benchmark check our reader against.
// Only tests and benchmarks link pxlib; the product never does.
//
// Values are handed over as pxlib stores them: text and memos already in the
// table's code page (pxlib converts alpha text only when a target encoding is
// set as well, copies strlen(input) bytes of the converted text, and never
// converts memos), integers and doubles as they are, BCD as a decimal string.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct px_doc;

namespace kosmara::testing {

// pxlib's field type codes (pxfAlpha ...), the same numbers as FieldType.
enum class PxType : std::uint8_t {
    kAlpha = 0x01,
    kDate = 0x02,
    kShort = 0x03,
    kLong = 0x04,
    kMoney = 0x05,
    kNumber = 0x06,
    kLogical = 0x09,
    kMemo = 0x0C,
    kBlob = 0x0D,
    kOle = 0x0F,
    kTime = 0x14,
    kTimestamp = 0x15,
    kAutoIncrement = 0x16,
    kBcd = 0x17,
    kBytes = 0x18,
};

struct PxField {
    std::string name;  // bytes in the table's code page
    PxType type = PxType::kAlpha;
    int size = 0;      // bytes in the record; BCD: 17
    int decimals = 0;  // BCD only
};

// One value as pxlib takes it. Which member counts depends on the field type.
struct PxCell {
    bool null = true;
    std::int64_t integer = 0;  // short, long, date, time, autoincrement; logical 0/1
    double real = 0.0;         // money, number, timestamp
    std::string bytes;         // alpha and memo (code page bytes), BLOB, bytes, BCD ("-12.50")
};

class PxlibWriter {
public:
    // Creates an unkeyed table at path whose header names codePage, and its
    // .MB file beside it when withBlobFile is set.
    PxlibWriter(const std::filesystem::path& path, const std::vector<PxField>& fields, int codePage,
                bool withBlobFile);
    PxlibWriter(const PxlibWriter&) = delete;
    PxlibWriter& operator=(const PxlibWriter&) = delete;
    ~PxlibWriter();

    // PX_insert_record: pxlib converts the values itself. It leaves BLOB and
    // OLE fields blank and writes BCD with 17 decimals whatever the field
    // says, so tables with those types use PutRaw.
    void Insert(const std::vector<PxCell>& record);
    // The record assembled with PX_put_data_* and stored with PX_put_record.
    void PutRaw(const std::vector<PxCell>& record);
    // Closes the files; the destructor does it too.
    void Close();

    int recordSize() const { return recordSize_; }

private:
    void CheckErrors(const char* what);
    static void OnError(px_doc* doc, int level, const char* message, void* self);

    px_doc* doc_ = nullptr;
    std::vector<PxField> fields_;
    int recordSize_ = 0;
    std::vector<std::string> errors_;
};

// Text to the bytes of a code page through iconv ("CP850", ...); throws
// std::runtime_error naming the character when the code page lacks it.
std::string EncodeCodePage(std::u16string_view text, int codePage);

}  // namespace kosmara::testing
