// Writes the fuzzer's seed corpus: small tables of every field type, version,
// blob storage and block layout, made by the test builder, each as one file
// in table_fuzzer's input format. Usage: make_corpus FOLDER
//
// With --regressions it writes instead the inputs of tests/data/damaged that
// were made rather than found (see the README there), each with the outcome
// its export must have. Usage: make_corpus --regressions FOLDER
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"
#include "engine/byte_source.h"
#include "engine/paradox_crypt.h"
#include "paradox_builder.h"

namespace {

using namespace kosmara;
using namespace kosmara::testing;

// The .MB may end right after its last blob (§6.1), which keeps the seeds
// small; a protected one is cut at a 256-byte chunk.
std::string TrimBlobFile(std::string mb, std::uint32_t key) {
    if (mb.empty()) return mb;
    if (key != 0) DecryptBlobChunks(reinterpret_cast<std::uint8_t*>(mb.data()), mb.size(), key);
    std::size_t end = mb.find_last_not_of('\0') + 1;
    if (key != 0) end = (end + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    mb.resize(end);
    if (key != 0) EncryptBlobChunks(reinterpret_cast<std::uint8_t*>(mb.data()), mb.size(), key);
    return mb;
}

// A seed is only worth its bytes when the reader takes it whole.
int ReadBack(const std::string& db, const std::string& mb) {
    const std::vector<std::u16string> passwords = {u"geheim"};
    ParadoxTable table(std::make_unique<MemorySource>(db), u"Seed.DB",
                       mb.empty() ? nullptr : std::make_unique<MemorySource>(mb), u"Seed.MB", passwords);
    int records = 0;
    for (table.First(); !table.Eof(); table.Next(), ++records)
        for (int i = 0; i < static_cast<int>(table.fields().size()); ++i) (void)table.Value(i);
    return records;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// table_fuzzer's input: the .DB's length (4 bytes, little-endian), the .DB, the .MB.
std::string FuzzerInput(const std::string& db, const std::string& mb) {
    std::string input(4, '\0');
    for (int i = 0; i < 4; ++i) input[static_cast<std::size_t>(i)] = static_cast<char>((db.size() >> (8 * i)) & 0xFF);
    return input + db + mb;
}

void Write(const std::filesystem::path& folder, const std::string& name, const TableBuilder& builder) {
    const BuiltTable table = builder.Build();
    const std::string mb = TrimBlobFile(table.mb, builder.Key());
    const int records = ReadBack(table.db, mb);
    const std::string input = FuzzerInput(table.db, mb);
    WriteFile(folder / (name + ".bin"), input);
    std::cout << name << ": " << input.size() << " bytes, " << records << " records\n";
}

// A regression input and, in <name>.expected, what its export ends with: the
// count message or a piece of the error message.
void WriteRegression(const std::filesystem::path& folder, const std::string& name, const BuiltTable& table,
                     const std::string& expected) {
    const std::string input = FuzzerInput(table.db, table.mb);
    WriteFile(folder / (name + ".bin"), input);
    WriteFile(folder / (name + ".expected"), expected + "\n");
    std::cout << name << ": " << input.size() << " bytes, export: " << expected << "\n";
}

void WriteRegressions(const std::filesystem::path& folder) {
    {
        // A comment of 48 K slashes before ";": the extension line's
        // terminator was searched for in time cubic in them (hours).
        TableBuilder horoscopes = HoroscopeTableBuilder(12, 1);
        HoroscopeRecord record;
        record.comment = "#" + std::string(48 * 1024, '/') + ";";
        horoscopes.AddRecord(record.Cells());
        WriteRegression(folder, "slash_comment", horoscopes.Build(), "1 Horoskop gespeichert");
    }
    {
        // A memo whose record and block head claim 6000 bytes in a block of
        // 4 KiB: the bytes behind the block were read as the memo's.
        TableBuilder horoscopes = HoroscopeTableBuilder(12, 1);
        HoroscopeRecord record;
        record.comment = std::string(3000, 'k');
        horoscopes.AddRecord(record.Cells());
        BuiltTable table = horoscopes.Build();
        const BlobPlacement& memo = table.blobs.at(0);
        paradox_detail::PutU32(table.db, memo.pointerOffset + 4, 6000);
        paradox_detail::PutU32(table.mb, memo.blockOffset + 3, 6000);
        table.mb.append(4096, 'n');
        WriteRegression(folder, "memo_longer_than_its_block", table, "fasst nur 4087 Bytes");
    }
}

TableBuilder AllTypes(int version) {
    TableBuilder builder(version, 1);
    builder.AddField("Text", FieldType::kAlpha, 12)
        .AddField("Datum", FieldType::kDate)
        .AddField("Kurz", FieldType::kShort)
        .AddField("Lang", FieldType::kLong)
        .AddField("Geld", FieldType::kMoney)
        .AddField("Zahl", FieldType::kNumber)
        .AddField("Ja", FieldType::kLogical)
        .AddField("Zeit", FieldType::kTime)
        .AddField("Stempel", FieldType::kTimestamp)
        .AddField("Nr", FieldType::kAutoIncrement)
        .AddField("Dezimal", FieldType::kBcd, 2)
        .AddField("Roh", FieldType::kBytes, 4);
    if (version < 5) builder.SetSortOrder(0, "").SetHeaderSize(0);
    builder.AddRecord({Alpha("Erster"), Date(CivilDays(1996, 5, 4)), Short(1), Long(40), Money(12.5), Number(40.0),
                       Logical(true), Time(3601000), Timestamp(62135722800000.0), AutoIncrement(1), Bcd("1.23"),
                       Bytes(std::string("\x01\x00\xFF\x7F", 4))});
    builder.AddRecord({Alpha("Zweiter"), Date(-366), Short(-1), Long(-40), Money(-0.01), Number(-40.0),
                       Logical(false), Time(0), Timestamp(0.0), AutoIncrement(2), Bcd("-12345.67"),
                       Bytes(std::string(4, '\xFF'))});
    builder.AddRecord({});
    return builder;
}

TableBuilder Memos(int version, const std::string& memo) {
    TableBuilder builder(version, 1);
    builder.AddField("Name", FieldType::kAlpha, 8).AddField("Notiz", FieldType::kMemo, 20);
    builder.AddRecord({Alpha("eins"), Memo(memo)});
    builder.AddRecord({Alpha("zwei"), Memo("kurz")});
    builder.AddRecord({Alpha("drei")});
    return builder;
}

}  // namespace

int main(int argc, char** argv) try {
    if (argc == 3 && std::string(argv[1]) == "--regressions") {
        std::filesystem::create_directories(argv[2]);
        WriteRegressions(argv[2]);
        return 0;
    }
    if (argc != 2) {
        std::cerr << "usage: make_corpus FOLDER | make_corpus --regressions FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    Write(folder, "all_types_v7", AllTypes(12));
    Write(folder, "all_types_v5_keyed", AllTypes(11).SetKeyFields(1));
    {
        TableBuilder v3 = AllTypes(3);
        v3.SetHeaderSize(static_cast<int>(v3.Build().fieldNamesOffset) + 80);  // compact, as some v3.0 files are
        Write(folder, "all_types_v3_compact_header", v3);
    }
    Write(folder, "all_types_v35_protected", AllTypes(4).Encrypt("geheim"));
    Write(folder, "memo_inline_v4", Memos(9, "im Satz"));
    Write(folder, "memo_sub_allocated_v5", Memos(11, std::string(200, 'm') + "\r\nZeile zwei"));
    Write(folder, "memo_single_block_v7", Memos(12, std::string(2100, 's')));
    Write(folder, "memo_protected_v7", Memos(12, std::string(300, 'p')).Encrypt("geheim"));
    {
        TableBuilder blobs(12, 1);
        blobs.AddField("Bild", FieldType::kGraphic, 20)
            .AddField("Daten", FieldType::kBlob, 10)
            .AddField("Format", FieldType::kFormattedMemo, 12)
            .AddField("Ole", FieldType::kOle, 10);
        blobs.AddRecord({Graphic("BM" + std::string(40, '\x11')), Blob(std::string(30, '\x22')),
                         Blob(std::string("\x07\x00\x00\x00Text", 8)), Blob("ole")});
        Write(folder, "graphic_blob_ole_v7", blobs);
    }
    {
        // Chain 3 -> 1 -> 6 -> 2; blocks 4 and 5 are free with stale records.
        TableBuilder blocks(12, 1);
        blocks.AddField("Name", FieldType::kAlpha, 6).AddField("Nr", FieldType::kShort).SetRecordsPerBlock(3);
        for (int i = 0; i < 11; ++i)
            blocks.AddRecord({Alpha("Satz" + std::to_string(i)), Short(static_cast<std::int16_t>(i))});
        blocks.SetBlockOrder({3, 1, 6, 2});
        Write(folder, "blocks_out_of_order_v7", blocks);
    }
    {
        TableBuilder horoscopes = HoroscopeTableBuilder(12, 1);
        HoroscopeRecord record;
        horoscopes.AddRecord(record.Cells());
        record.name = "M\xFCller";
        record.comment = "Geburt laut Urkunde; Zeit " + std::string(60, '?');
        record.septar = true;
        record.septarText = "Septar";
        horoscopes.AddRecord(record.Cells());
        Write(folder, "horoscopes_v7", horoscopes);
    }
    Write(folder, "empty_v7", TableBuilder(12, 1).AddField("Name", FieldType::kAlpha, 10));
    {
        TableBuilder cyrillic(9, 1);
        cyrillic.SetCodePage(866).SetSortOrder(0xC0, "cyrr").AddField("\x88\xAC\xEF", FieldType::kAlpha, 10);
        cyrillic.AddRecord({Alpha("\x8C\xAE\xE1\xAA\xA2\xA0")});
        Write(folder, "code_page_866_v4", cyrillic);
    }
    {
        TableBuilder roman(9, 1);
        roman.SetCodePage(0).SetSortOrder(0x14, "BLROM800").AddField("A", FieldType::kAlpha, 20);
        roman.AddRecord({Alpha("\xEB\xF8\xBE\xF4")});
        Write(folder, "roman8_v4", roman);
    }
    return 0;
} catch (const kosmara::Error& error) {
    std::cerr << "make_corpus: " << error.what() << "\n";
    return 1;
}
