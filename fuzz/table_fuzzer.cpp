// libFuzzer target over the table and BLOB readers and the AAF writer. The
// input is a .DB and a .MB: a 4-byte little-endian length of the .DB part,
// the .DB bytes, then the .MB bytes (none: no .MB file). The table is opened
// with a few passwords and walked to the end, every field read in every
// form; then the AAF writer writes the table into memory, so hostile values
// reach it too. kosmara::Error is the expected way to fail; anything else
// escapes and is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/byte_sink.h"
#include "core/error.h"
#include "core/text.h"
#include "core/time_format.h"
#include "core/user_interface.h"
#include "engine/byte_source.h"
#include "engine/field_value.h"
#include "engine/paradox_table.h"
#include "export/aaf_writer.h"

namespace {

// The seed corpus protects its tables with "geheim".
const std::vector<std::u16string> kPasswords = {u"falsch", u"geheim"};
constexpr int kRecordLimit = 1 << 20;

void ReadEveryField(const kosmara::ParadoxTable& table) {
    const auto& fields = table.fields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        (void)table.IsNull(i);
        const kosmara::FieldValue value = table.Value(i);
        (void)kosmara::ValueAsText(value, table.codePage());
        try {
            (void)kosmara::ValueAsReal(value, fields[static_cast<std::size_t>(i)]);
        } catch (const kosmara::Error&) {
        }
        try {
            (void)kosmara::ValueAsBoolean(value, fields[static_cast<std::size_t>(i)]);
        } catch (const kosmara::Error&) {
        }
    }
    (void)table.RecordBytes();
}

// Keeps the messages the writer shows.
class RecordingUi : public kosmara::UserInterface {
public:
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    std::vector<std::u16string> messages;
};

// The writer over the table from its first record: on success one count
// message for the records the read walk found and the cursor at the end; on
// failure no message. Either way the output starts with the byte-order mark
// and is well-formed UTF-8.
void WriteAaf(kosmara::ParadoxTable& table, bool walkedToTheEnd, int records) {
    kosmara::TableCursor cursor(table);
    kosmara::MemorySink sink;
    RecordingUi ui;
    try {
        const std::int32_t count = kosmara::WriteAafFile(sink, cursor, ui, kosmara::GermanTimeFormat());
        if (!walkedToTheEnd || count != records || !cursor.Eof()) __builtin_trap();
        if (ui.messages.size() != 1 || ui.messages[0] != kosmara::CountMessage(count)) __builtin_trap();
    } catch (const kosmara::Error&) {
        if (!ui.messages.empty()) __builtin_trap();
    }
    const std::string& bytes = sink.bytes();
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) __builtin_trap();
    if (kosmara::ToUtf8(kosmara::FromUtf8(bytes)) != bytes) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4 && i < input.size(); ++i) length |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    const std::string rest = input.size() >= 4 ? input.substr(4) : input;
    const std::size_t split = std::min<std::size_t>(length, rest.size());
    std::unique_ptr<kosmara::ByteSource> blobs;
    if (split < rest.size()) blobs = std::make_unique<kosmara::MemorySource>(rest.substr(split));

    std::optional<kosmara::ParadoxTable> table;
    try {
        table.emplace(std::make_unique<kosmara::MemorySource>(rest.substr(0, split)), u"Fuzz.DB", std::move(blobs),
                      u"Fuzz.MB", kPasswords);
    } catch (const kosmara::Error&) {
        return 0;
    }
    (void)table->info();

    // A step that fails leaves the cursor at the end, with no current record.
    const auto step = [&](auto move) {
        try {
            move();
            return true;
        } catch (const kosmara::Error&) {
            if (!table->Eof()) __builtin_trap();
            return false;
        }
    };
    int records = 0;
    bool walked = step([&] { table->First(); });
    while (walked && !table->Eof() && records < kRecordLimit) {
        // A damaged value fails alone; the walk goes on to the next record.
        try {
            ReadEveryField(*table);
        } catch (const kosmara::Error&) {
        }
        walked = step([&] { table->Next(); });
        ++records;
    }
    if (!table->Eof()) __builtin_trap();  // the walk does not end
    try {
        (void)table->Value(0);  // past the end: kNoCurrentRecord
        __builtin_trap();
    } catch (const kosmara::Error&) {
    }
    WriteAaf(*table, walked, records);
    return 0;
}
