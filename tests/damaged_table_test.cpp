// Damaged and foreign tables. Each case starts from a good table made by the
// builder, damages it, opens it and walks every record reading every field:
// it must end in an EngineError of the right code whose German message names
// the file — never a crash, a hang or a silently short walk.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/byte_sink.h"
#include "core/text.h"
#include "core/time_format.h"
#include "core/user_interface.h"
#include "engine/byte_source.h"
#include "engine/engine_error.h"
#include "engine/field_value.h"
#include "engine/paradox_table.h"
#include "export/aaf_writer.h"
#include "platform/unique_handle.h"
#include "paradox_builder.h"
#include "temp_folder.h"

namespace kosmara {
namespace {

using testing::BuiltTable;
using testing::TableBuilder;
using testing::paradox_detail::PutU16;
using testing::paradox_detail::PutU32;

constexpr char16_t kTableName[] = u"Horoskop.DB";
constexpr char16_t kBlobName[] = u"Horoskop.MB";
constexpr int kRecords = 6;
constexpr int kWalkLimit = 100000;

// Six records in three 1 KiB blocks; memos inline, in a type-3 and in a
// type-2 block. v3 tables lack the header extension, so they get their own.
BuiltTable GoodTable(int versionId = 12, const std::string& password = "") {
    TableBuilder builder(versionId, 1);
    builder.AddField("Name", FieldType::kAlpha, 20)
        .AddField("Zahl", FieldType::kNumber)
        .AddField("Datum", FieldType::kDate)
        .AddField("Kommentar", FieldType::kMemo, 20)
        .AddField("Septar", FieldType::kLogical)
        .SetRecordsPerBlock(2);
    if (versionId < 5) builder.SetSortOrder(0, "");
    if (!password.empty()) builder.Encrypt(password);
    const std::string memos[kRecords] = {"kurz", std::string(100, 'k'), std::string(3000, 'g'), "",
                                         std::string(40, 'm') + "\r\nEnde", "zehn Bytes"};
    for (int i = 0; i < kRecords; ++i) {
        builder.AddRecord({testing::Alpha("Name " + std::to_string(i)), testing::Number(i + 0.5),
                           testing::Date(testing::CivilDays(1990, 1, 1 + i)),
                           memos[i].empty() ? testing::Null() : testing::Memo(memos[i]), testing::Logical(i % 2)});
    }
    return builder.Build();
}

const testing::BlobPlacement& FirstBlob(const BuiltTable& table, bool single) {
    for (const auto& blob : table.blobs)
        if ((blob.index == 0xFF) == single) return blob;
    throw std::logic_error("no such blob");
}

std::size_t SubEntry(const BuiltTable& table) {
    const auto& blob = FirstBlob(table, false);
    return blob.blockOffset + 12 + 5 * static_cast<std::size_t>(blob.index);
}

// Walks the whole table reading every field in every form; the number of
// records, or the engine's error.
struct WalkResult {
    int records = 0;
    std::optional<EngineError> error;
};

WalkResult Walk(ParadoxTable& table) {
    WalkResult result;
    try {
        for (table.First(); !table.Eof(); table.Next()) {
            for (int i = 0; i < static_cast<int>(table.fields().size()); ++i) {
                const FieldValue value = table.Value(i);
                (void)ValueAsText(value, table.codePage());
            }
            if (++result.records > kWalkLimit) {
                ADD_FAILURE() << "the walk does not end";
                break;
            }
        }
    } catch (const EngineError& error) {
        result.error = error;
    }
    return result;
}

// mb: nothing when there is no .MB at all (an empty one is still a file).
WalkResult OpenAndWalk(const std::string& db, const std::optional<std::string>& mb,
                       std::vector<std::u16string> passwords = {}) {
    try {
        ParadoxTable table(std::make_unique<MemorySource>(db), kTableName,
                           mb ? std::make_unique<MemorySource>(*mb) : nullptr, kBlobName, passwords);
        return Walk(table);
    } catch (const EngineError& error) {
        return WalkResult{0, error};
    }
}

void ExpectError(const WalkResult& result, EngineErrorCode code, std::u16string_view fileName) {
    ASSERT_TRUE(result.error.has_value()) << "no error; " << result.records << " records walked";
    EXPECT_EQ(static_cast<int>(result.error->code()), static_cast<int>(code))
        << std::hex << "got code 0x" << static_cast<int>(result.error->code()) << ": " << result.error->what();
    EXPECT_NE(result.error->message().find(fileName), std::u16string::npos)
        << "the message does not name " << ToUtf8(fileName) << ": " << result.error->what();
    EXPECT_EQ(result.error->message().find(u"BDE-Fehler"), std::u16string::npos) << result.error->what();
}

TEST(DamagedTableTest, GoodTablesWalkToTheEnd) {
    for (int version : {3, 4, 9, 11, 12}) {
        SCOPED_TRACE(version);
        const BuiltTable table = GoodTable(version);
        const WalkResult result = OpenAndWalk(table.db, table.mb);
        EXPECT_FALSE(result.error.has_value()) << result.error->what();
        EXPECT_EQ(result.records, kRecords);
        // Every .MB byte beyond the blobs' data may be missing (pxlib writes no padding).
        const auto& single = FirstBlob(table, true);
        const WalkResult unpadded = OpenAndWalk(table.db, table.mb.substr(0, single.dataOffset + 3000));
        EXPECT_FALSE(unpadded.error.has_value()) << unpadded.error->what();
    }
}

struct DamageCase {
    std::string name;
    std::function<void(BuiltTable&)> damage;
    EngineErrorCode code;
    std::function<BuiltTable()> make;  // the good table it starts from
};

std::ostream& operator<<(std::ostream& out, const DamageCase& damage) { return out << damage.name; }

void Truncate(std::string& bytes, std::size_t size) { bytes.resize(std::min(bytes.size(), size)); }

std::vector<DamageCase> DamageCases() {
    using enum EngineErrorCode;
    std::vector<DamageCase> cases;
    auto add = [&](std::string name, std::function<void(BuiltTable&)> damage, EngineErrorCode code,
                   int versionId = 12) {
        cases.push_back({std::move(name), std::move(damage), code, [versionId] { return GoodTable(versionId); }});
    };

    // Too short to hold the fixed header: nothing tells it is a table.
    for (std::size_t size : {0, 1, 0x20, 0x57})
        add("DbCutAt" + std::to_string(size), [size](BuiltTable& t) { Truncate(t.db, size); }, kNotAParadoxTable);
    // Cut inside the header extension, the field descriptors, the table name,
    // the field names and the sort order name.
    for (int version : {12, 4}) {
        const std::string v = "V" + std::to_string(version);
        add(v + "DbCutInDescriptors", [](BuiltTable& t) { Truncate(t.db, t.descriptorsOffset + 3); }, kHeaderDamaged,
            version);
        add(v + "DbCutInTableName", [](BuiltTable& t) { Truncate(t.db, t.fieldNamesOffset - 20); }, kHeaderDamaged,
            version);
        add(v + "DbCutInFieldNames", [](BuiltTable& t) { Truncate(t.db, t.fieldNamesOffset + 7); }, kHeaderDamaged,
            version);
        // Cut where the blocks start and inside block 1, 2 and 3: the header
        // is whole, the blocks are not.
        add(v + "DbCutAtFirstBlock", [](BuiltTable& t) { Truncate(t.db, t.headerSize); }, kBlockDamaged, version);
        add(v + "DbCutInBlockHeader", [](BuiltTable& t) { Truncate(t.db, t.headerSize + 3); }, kBlockDamaged, version);
        add(v + "DbCutInFirstRecord", [](BuiltTable& t) { Truncate(t.db, t.recordOffsets[0] + 10); }, kBlockDamaged,
            version);
        add(v + "DbCutInSecondBlock", [](BuiltTable& t) { Truncate(t.db, t.recordOffsets[2] + 40); }, kBlockDamaged,
            version);
        add(v + "DbCutInLastBlock", [](BuiltTable& t) { Truncate(t.db, t.recordOffsets[5] + 1); }, kBlockDamaged,
            version);
        add(v + "DbCutBehindLastRecord", [](BuiltTable& t) { Truncate(t.db, t.db.size() - 1); }, kBlockDamaged,
            version);
        add(v + "UnknownFieldType", [](BuiltTable& t) { t.db[t.descriptorsOffset] = 0x07; }, kHeaderDamaged, version);
    }
    add("V12DbCutInExtension", [](BuiltTable& t) { Truncate(t.db, 0x60); }, kHeaderDamaged);
    add("V12DbCutInFieldNumbers", [](BuiltTable& t) { Truncate(t.db, t.fieldNumbersOffset + 3); }, kHeaderDamaged);
    add("V12DbCutInSortOrderName", [](BuiltTable& t) { Truncate(t.db, t.fieldNumbersOffset + 10 + 3); },
        kHeaderDamaged);

    // Header fields out of range.
    add("HeaderSizeBeyondFile", [](BuiltTable& t) { PutU16(t.db, 0x02, 0xF800); }, kHeaderDamaged);
    add("HeaderSizeInsideFieldNames", [](BuiltTable& t) { PutU16(t.db, 0x02, t.fieldNamesOffset + 4); },
        kHeaderDamaged);
    add("FieldNamesNotEnded", [](BuiltTable& t) {
        for (std::size_t i = t.fieldNamesOffset; i < static_cast<std::size_t>(t.headerSize); ++i) t.db[i] = 'X';
    }, kHeaderDamaged);
    // Paradox writes blocks of 1, 2, 3, 4 and 16 KiB (pxlib also accepts 8 and 32).
    for (int kib : {0, 5, 64, 255})
        add("BlockSize" + std::to_string(kib) + "KiB", [kib](BuiltTable& t) { t.db[0x05] = static_cast<char>(kib); },
            kHeaderDamaged);
    for (int count : {0, -1, -32768, 0x7FFF, 6})
        add("FieldCount" + std::string(count < 0 ? "Minus" : "") + std::to_string(std::abs(count)),
            [count](BuiltTable& t) { PutU16(t.db, 0x21, static_cast<std::uint16_t>(count)); }, kHeaderDamaged);
    for (int delta : {-1, 1, 1000})
        add("RecordSize" + std::string(delta < 0 ? "Minus" : "Plus") + std::to_string(std::abs(delta)),
            [delta](BuiltTable& t) { PutU16(t.db, 0x00, static_cast<std::uint32_t>(t.recordSize + delta)); },
            kHeaderDamaged);
    add("RecordSizeZero", [](BuiltTable& t) { PutU16(t.db, 0x00, 0); }, kHeaderDamaged);
    for (int code : {0x00, 0x07, 0x0B, 0x11, 0x19, 0xFF}) {
        // The number field (same size, so only the type is wrong).
        add("FieldType" + std::to_string(code),
            [code](BuiltTable& t) { t.db[t.descriptorsOffset + 2] = static_cast<char>(code); }, kHeaderDamaged);
    }
    add("AlphaSizeZero", [](BuiltTable& t) { t.db[t.descriptorsOffset + 1] = 0; }, kHeaderDamaged);
    // Five alpha fields of 255 bytes fill a 2 KiB block; the header then says 1 KiB.
    cases.push_back({"RecordLargerThanBlock", [](BuiltTable& t) { t.db[0x05] = 1; }, kHeaderDamaged, [] {
        TableBuilder builder(12, 2);
        for (const char* name : {"A", "B", "C", "D", "E"}) builder.AddField(name, FieldType::kAlpha, 255);
        builder.AddRecord({testing::Alpha("gross")});
        return builder.Build();
    }});
    for (int type : {1, 3, 4, 5, 8, 0xFF})
        add("FileType" + std::to_string(type), [type](BuiltTable& t) { t.db[0x04] = static_cast<char>(type); },
            kNotAParadoxTable);
    for (int version : {0, 1, 2, 13, 0x20, 0xFF})
        add("Version" + std::to_string(version),
            [version](BuiltTable& t) { t.db[0x39] = static_cast<char>(version); }, kUnsupportedVersion);
    add("UnknownCodePage", [](BuiltTable& t) { PutU16(t.db, 0x6A, 12345); }, kUnsupportedCodePage);

    // The chain of blocks: the header's first block, then the blocks' links.
    add("FirstBlockZeroWithRecords", [](BuiltTable& t) { PutU16(t.db, 0x0E, 0); }, kHeaderDamaged);
    add("FirstBlockBeyondFile", [](BuiltTable& t) { PutU16(t.db, 0x0E, 4); }, kHeaderDamaged);
    add("FirstBlockHuge", [](BuiltTable& t) { PutU16(t.db, 0x0E, 0xFFFF); }, kHeaderDamaged);
    add("NextBlockBeyondFile", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(1), 4); }, kBlockDamaged);
    add("NextBlockHuge", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(2), 0xFFFF); }, kBlockDamaged);
    add("ChainCycle", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(2), 1); }, kBlockDamaged);
    add("ChainSelfLoop", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(1), 1); }, kBlockDamaged);
    add("ChainEndsEarly", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(2), 0); }, kBlockDamaged);
    add("RecordCountTooHigh", [](BuiltTable& t) { PutU32(t.db, 0x06, kRecords + 1); }, kBlockDamaged);
    add("RecordCountTooLow", [](BuiltTable& t) { PutU32(t.db, 0x06, kRecords - 1); }, kBlockDamaged);
    add("AddDataSizeNotAMultiple", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(1) + 4, t.recordSize + 1); },
        kBlockDamaged);
    add("AddDataSizeBeyondBlock", [](BuiltTable& t) {
        PutU16(t.db, t.BlockOffset(2) + 4, static_cast<std::uint32_t>((t.blockSize - 6) / t.recordSize * t.recordSize));
    }, kBlockDamaged);
    add("AddDataSizeHuge", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(3) + 4, 0x7FFF); }, kBlockDamaged);
    add("AddDataSizeNegative", [](BuiltTable& t) { PutU16(t.db, t.BlockOffset(1) + 4, 0xFFFF); }, kBlockDamaged);

    // Blob pointers and the .MB.
    auto pointer = [](const BuiltTable& t, bool single) { return FirstBlob(t, single).pointerOffset; };
    add("BlobOffsetBeyondFile", [=](BuiltTable& t) { PutU32(t.db, pointer(t, false), 0x00FF003F); }, kBlobDamaged);
    add("BlobOffsetHuge", [=](BuiltTable& t) { PutU32(t.db, pointer(t, true), 0xFFFFFFFF); }, kBlobDamaged);
    add("BlobOffsetAtHeaderBlock", [=](BuiltTable& t) { PutU32(t.db, pointer(t, false), 0x0000003F); }, kBlobDamaged);
    add("BlobOffsetInsideBlock", [=](BuiltTable& t) { PutU32(t.db, pointer(t, false), 0x0000113F); }, kBlobDamaged);
    add("BlobIndexBeyondEntries", [=](BuiltTable& t) { t.db[pointer(t, false)] = 0x40; }, kBlobDamaged);
    add("BlobIndexUnusedEntry", [=](BuiltTable& t) { t.db[pointer(t, false)] = 0x00; }, kBlobDamaged);
    add("BlobIndexOfSingleBlock", [=](BuiltTable& t) { t.db[pointer(t, true)] = 0x3F; }, kBlobDamaged);
    add("BlobLengthAboveEntry", [=](BuiltTable& t) { PutU32(t.db, pointer(t, false) + 4, 101); }, kBlobDamaged);
    add("BlobLengthBelowEntry", [=](BuiltTable& t) { PutU32(t.db, pointer(t, false) + 4, 99); }, kBlobDamaged);
    add("BlobLengthHuge", [=](BuiltTable& t) { PutU32(t.db, pointer(t, true) + 4, 0xFFFFFFF0); }, kBlobDamaged);
    add("SingleBlobLengthMismatch", [](BuiltTable& t) { PutU32(t.mb, FirstBlob(t, true).blockOffset + 3, 2999); },
        kBlobDamaged);
    add("SingleBlobBeyondFile", [](BuiltTable& t) {
        PutU32(t.db, FirstBlob(t, true).pointerOffset + 4, 9000);
        PutU32(t.mb, FirstBlob(t, true).blockOffset + 3, 9000);
    }, kBlobDamaged);
    // Record 0 holds its memo in the 10-byte leader; a length of 11 cannot be there.
    add("InlineLengthBeyondLeader",
        [](BuiltTable& t) { PutU32(t.db, t.recordOffsets[0] + static_cast<std::size_t>(t.fieldOffsets[3]) + 14, 11); },
        kBlobDamaged);
    add("SubEntryOutsideBlock", [](BuiltTable& t) { t.mb[SubEntry(t)] = static_cast<char>(0xFF); }, kBlobDamaged);
    add("SubEntryDeleted", [](BuiltTable& t) { t.mb[SubEntry(t) + 4] = 0; }, kBlobDamaged);
    add("SubEntryLastChunkTooLong", [](BuiltTable& t) { t.mb[SubEntry(t) + 4] = 17; }, kBlobDamaged);
    for (int type : {0, 1, 4, 5, 0xFF}) {
        add("BlobBlockType" + std::to_string(type),
            [type](BuiltTable& t) { t.mb[FirstBlob(t, false).blockOffset] = static_cast<char>(type); }, kBlobDamaged);
    }
    add("MbEmpty", [](BuiltTable& t) { Truncate(t.mb, 0); }, kBlobDamaged);
    add("MbCutInHeaderBlock", [](BuiltTable& t) { Truncate(t.mb, 100); }, kBlobDamaged);
    add("MbCutInSubBlockHeader", [](BuiltTable& t) { Truncate(t.mb, FirstBlob(t, false).blockOffset + 5); },
        kBlobDamaged);
    add("MbCutInSubBlockData", [](BuiltTable& t) { Truncate(t.mb, FirstBlob(t, false).dataOffset + 50); },
        kBlobDamaged);
    add("MbCutInSingleBlockHeader", [](BuiltTable& t) { Truncate(t.mb, FirstBlob(t, true).blockOffset + 4); },
        kBlobDamaged);
    add("MbCutInSingleBlockData", [](BuiltTable& t) { Truncate(t.mb, FirstBlob(t, true).dataOffset + 2999); },
        kBlobDamaged);
    return cases;
}

class DamagedTableTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedTableTest, FailsWithEngineError) {
    const DamageCase& damage = GetParam();
    BuiltTable table = damage.make();
    damage.damage(table);
    // A blob or .MB error names the .MB file, every other the table file;
    // both carry the base name.
    ExpectError(OpenAndWalk(table.db, table.mb), damage.code, u"Horoskop");
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedTableTest, ::testing::ValuesIn(DamageCases()),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST(DamagedTableTest, BlobErrorsNameTheBlobFile) {
    BuiltTable table = GoodTable();
    PutU32(table.mb, FirstBlob(table, true).blockOffset + 3, 2999);
    ExpectError(OpenAndWalk(table.db, table.mb), EngineErrorCode::kBlobDamaged, kBlobName);
}

// A value in a block of its own lies within that block: the block's size
// in 4 KiB units (its 9-byte head included) bounds the length, however many
// bytes the file holds behind it.
TEST(DamagedTableTest, SingleBlobLengthIsBoundByItsBlock) {
    struct BlockCase {
        std::uint32_t units;
        std::uint32_t length;
        bool fits;
    };
    const BlockCase cases[] = {
        {1, 3000, true},  {1, 4087, true},  {1, 4088, false},      {2, 8183, true},
        {2, 8184, false}, {0, 3000, false}, {3, 100000, false}, {0xFFFF, 100000, true},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.units << " units, " << c.length << " bytes");
        BuiltTable table = GoodTable();
        const testing::BlobPlacement& blob = FirstBlob(table, true);
        PutU16(table.mb, blob.blockOffset + 1, c.units);
        PutU32(table.mb, blob.blockOffset + 3, c.length);
        PutU32(table.db, blob.pointerOffset + 4, c.length);
        table.mb.append(100000, 'x');  // every length asked for is in the file
        const WalkResult result = OpenAndWalk(table.db, table.mb);
        if (c.fits) {
            EXPECT_FALSE(result.error.has_value()) << result.error->what();
            EXPECT_EQ(result.records, kRecords);
        } else {
            ExpectError(result, EngineErrorCode::kBlobDamaged, kBlobName);
            if (result.error) {
                EXPECT_NE(result.error->message().find(u"fasst nur"), std::u16string::npos) << result.error->what();
            }
        }
    }
}

// A sparse .MB of a few kilobytes on disk whose memo claims 64 MiB in a
// block of 4 KiB: refused before anything is read, never 64 MiB of zeros
// (nor the hundreds of megabytes their way to the text would take).
TEST(DamagedTableTest, SparseMemoFileClaimingMoreThanItsBlock) {
    testing::TempFolder folder;
    BuiltTable table = GoodTable();
    const testing::BlobPlacement& blob = FirstBlob(table, true);
    constexpr std::uint32_t kClaimed = 64u << 20;
    PutU32(table.mb, blob.blockOffset + 3, kClaimed);
    PutU32(table.db, blob.pointerOffset + 4, kClaimed);
    const std::filesystem::path db = testing::WriteTable(table, folder.path(), "Horoskop");
    const std::filesystem::path mb = folder / "Horoskop.MB";
    std::filesystem::resize_file(mb, blob.dataOffset + kClaimed);
    ASSERT_EQ(std::filesystem::file_size(mb), blob.dataOffset + kClaimed);

    WalkResult result;
    try {
        ParadoxTable opened = ParadoxTable::Open(db.u16string(), {});
        result = Walk(opened);
    } catch (const EngineError& error) {
        result.error = error;
    }
    ExpectError(result, EngineErrorCode::kBlobDamaged, mb.u16string());
    EXPECT_EQ(result.records, 2) << "the two records before the memo are read";
}

TEST(DamagedTableTest, MissingBlobFileFails) {
    ExpectError(OpenAndWalk(GoodTable().db, std::nullopt), EngineErrorCode::kBlobFileNotFound, kBlobName);
    // Also when every memo is null or in its record.
    TableBuilder builder(12, 1);
    builder.AddField("Name", FieldType::kAlpha, 10).AddField("Kommentar", FieldType::kMemo, 20);
    builder.AddRecord({testing::Alpha("ohne")}).AddRecord({testing::Alpha("kurz"), testing::Memo("im Satz")});
    ExpectError(OpenAndWalk(builder.Build().db, std::nullopt), EngineErrorCode::kBlobFileNotFound, kBlobName);
}

// Scrambled in 256-byte chunks: a memo file that ends inside the chunk after
// a blob's last byte cannot give that blob back unscrambled.
TEST(DamagedTableTest, ProtectedMemoFileCutInsideAChunk) {
    BuiltTable table = GoodTable(12, "geheim");
    const testing::BlobPlacement& blob = FirstBlob(table, true);
    Truncate(table.mb, blob.dataOffset + 3000 + 10);
    ASSERT_NE(table.mb.size() % 256, 0u);
    ExpectError(OpenAndWalk(table.db, table.mb, {u"geheim"}), EngineErrorCode::kBlobDamaged, kBlobName);
}

TEST(DamagedTableTest, ProtectedTableNeedsItsPassword) {
    for (int version : {4, 12}) {
        SCOPED_TRACE(version);
        const BuiltTable table = GoodTable(version, "geheim");
        ExpectError(OpenAndWalk(table.db, table.mb), EngineErrorCode::kInsufficientRights, kTableName);
        ExpectError(OpenAndWalk(table.db, table.mb, {u"Geheim", u"falsch"}), EngineErrorCode::kInsufficientRights,
                    kTableName);
        const WalkResult opened = OpenAndWalk(table.db, table.mb, {u"falsch", u"geheim"});
        EXPECT_FALSE(opened.error.has_value()) << opened.error->what();
        EXPECT_EQ(opened.records, kRecords);
    }
}

// The same through files on disk, where the messages name the path.
TEST(DamagedTableTest, FilesOnDisk) {
    testing::TempFolder folder;
    BuiltTable table = GoodTable();
    Truncate(table.db, table.recordOffsets[3]);
    const std::filesystem::path truncated = testing::WriteTable(table, folder.path(), "Abgeschnitten");
    // Only the .DB: its memo field needs the .MB.
    BuiltTable alone = GoodTable();
    alone.mb.clear();
    const std::filesystem::path lonely = testing::WriteTable(alone, folder.path(), "Einsam");

    struct FileCase {
        std::filesystem::path path;
        EngineErrorCode code;
        std::u16string named;
    };
    for (const FileCase& file : {FileCase{truncated, EngineErrorCode::kBlockDamaged, u"Abgeschnitten.DB"},
                                 FileCase{lonely, EngineErrorCode::kBlobFileNotFound, u"Einsam"}}) {
        SCOPED_TRACE(file.path.string());
        WalkResult result;
        try {
            ParadoxTable opened = ParadoxTable::Open(file.path.u16string(), {});
            result = Walk(opened);
        } catch (const EngineError& error) {
            result.error = error;
        }
        ExpectError(result, file.code, file.named);
    }
}

// A FIFO, a device or a socket under the name of the table or of its .MB is
// named as what it is, not as missing, and opening it does not wait for a
// writer. On Windows the devices are the reserved names and Wine's view of
// the Linux devices.
TEST(DamagedTableTest, FilesThatAreNoRegularFiles) {
    testing::TempFolder folder;
    struct OddFileCase {
        const char* what;
        std::filesystem::path table;    // opened
        std::filesystem::path odd;      // the file that is none
    };
    std::vector<OddFileCase> cases;
#ifdef _WIN32
    cases.push_back({"reserved device name", "NUL", "NUL"});
    cases.push_back({"device of the Linux side", "Z:\\dev\\zero", "Z:\\dev\\zero"});
#else
    // Each case in a folder of its own, with a good table where one of
    // its files is replaced.
    std::vector<NativeFile> sockets;
    auto prepare = [&](const char* what, const char* tableName, const char* oddName, auto make) {
        const std::filesystem::path dir = folder / what;
        std::filesystem::create_directories(dir);
        BuiltTable table = GoodTable();
        testing::WriteTable(table, dir, "Horoskop");
        std::filesystem::remove(dir / oddName);
        make(dir / oddName);
        cases.push_back({what, dir / tableName, dir / oddName});
    };
    const auto fifo = [](const std::filesystem::path& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); };
    const auto device = [](const std::filesystem::path& path) { std::filesystem::create_symlink("/dev/null", path); };
    const auto socket = [&sockets](const std::filesystem::path& path) {
        NativeFile listener(::socket(AF_UNIX, SOCK_STREAM, 0));
        ASSERT_TRUE(listener.valid());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.native().size(), sizeof address.sun_path);
        std::memcpy(address.sun_path, path.c_str(), path.native().size());
        ASSERT_EQ(::bind(static_cast<int>(listener.get()), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        sockets.push_back(std::move(listener));
    };
    prepare("fifo_table", "Horoskop.DB", "Horoskop.DB", fifo);
    prepare("fifo_memo", "Horoskop.DB", "Horoskop.MB", fifo);
    prepare("fifo_memo_lower_case", "Horoskop.DB", "horoskop.mb", [&](const std::filesystem::path& path) {
        std::filesystem::remove(path.parent_path() / "Horoskop.MB");
        fifo(path);
    });
    prepare("device_table", "Horoskop.DB", "Horoskop.DB", device);
    prepare("device_memo", "Horoskop.DB", "Horoskop.MB", device);
    prepare("socket_table", "Horoskop.DB", "Horoskop.DB", socket);
    prepare("socket_memo", "Horoskop.DB", "Horoskop.MB", socket);
#endif
    for (const OddFileCase& c : cases) {
        SCOPED_TRACE(c.what);
        // On a thread of its own: should the open wait for a writer of a
        // FIFO, one comes after ten seconds and the wait is reported.
        std::future<WalkResult> opened = std::async(std::launch::async, [&c] {
            WalkResult result;
            try {
                ParadoxTable table = ParadoxTable::Open(c.table.u16string(), {});
                result = Walk(table);
            } catch (const EngineError& error) {
                result.error = error;
            }
            return result;
        });
        if (opened.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            ADD_FAILURE() << "the open waits for a writer";
#ifndef _WIN32
            const NativeFile writer(::open(c.odd.c_str(), O_WRONLY | O_NONBLOCK));
            opened.wait();
#endif
        }
        const WalkResult result = opened.get();
        ExpectError(result, EngineErrorCode::kNotARegularFile, c.odd.u16string());
        if (result.error) {
            EXPECT_EQ(ToUtf8(result.error->message()),
                      ToUtf8(EngineErrorMessage(EngineErrorCode::kNotARegularFile, {c.odd.u16string()})));
        }
    }
}

// Keeps the messages the AAF writer shows.
class RecordingUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
    std::vector<std::u16string> messages;
};

// Writes the AAF file of the table into memory, as the fuzzer does: the
// count message it shows, or the message of the error it ends with (and
// then no count message).
std::u16string ExportOutcome(const std::string& db, const std::optional<std::string>& mb,
                             const std::vector<std::u16string>& passwords) {
    RecordingUi ui;
    try {
        ParadoxTable table(std::make_unique<MemorySource>(db), kTableName,
                           mb ? std::make_unique<MemorySource>(*mb) : nullptr, kBlobName, passwords);
        TableCursor cursor(table);
        MemorySink sink;
        const std::int32_t count = WriteAafFile(sink, cursor, ui, GermanTimeFormat());
        EXPECT_TRUE(cursor.Eof());
        EXPECT_EQ(sink.bytes().substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_EQ(ui.messages, std::vector<std::u16string>{CountMessage(count)});
        return ui.messages.empty() ? std::u16string() : ui.messages.front();
    } catch (const Error& error) {
        EXPECT_TRUE(ui.messages.empty());
        return error.message();
    }
}

// Inputs the fuzzer once failed on, and inputs made to show a fault once
// fixed (tests/data/damaged, see its README), in the fuzzer's format: a
// 4-byte little-endian length, the .DB bytes, then the .MB bytes if any.
// Each must open and walk, or fail with an EngineError naming the file, and
// its export into memory must end; where <name>.expected says how (the
// count message, or a piece of the error message), it ends so.
TEST(DamagedTableTest, FuzzerFindingsStayFixed) {
    const std::filesystem::path folder = KOSMARA_DAMAGED_DATA_DIR;
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << "no folder " << folder;
    const std::vector<std::u16string> passwords = {u"geheim"};
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".bin") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string input = testing::ReadFileBytes(entry.path());
        std::uint32_t length = 0;
        for (int i = 3; i >= 0 && input.size() >= 4; --i)
            length = (length << 8) | static_cast<std::uint8_t>(input[static_cast<std::size_t>(i)]);
        const std::string rest = input.size() >= 4 ? input.substr(4) : input;
        const std::size_t split = std::min<std::size_t>(length, rest.size());
        std::optional<std::string> mb;
        if (split < rest.size()) mb = rest.substr(split);
        const std::string db = rest.substr(0, split);

        const WalkResult result = OpenAndWalk(db, mb, passwords);
        if (result.error) {
            EXPECT_NE(result.error->message().find(u"Horoskop"), std::u16string::npos) << result.error->what();
        }
        const std::u16string outcome = ExportOutcome(db, mb, passwords);
        std::filesystem::path expectedPath = entry.path();
        expectedPath.replace_extension(".expected");
        if (std::filesystem::exists(expectedPath)) {
            std::string expected = testing::ReadFileBytes(expectedPath);
            expected = expected.substr(0, expected.find_first_of("\r\n"));
            EXPECT_NE(outcome.find(FromUtf8(expected)), std::u16string::npos)
                << "the export ends with \"" << ToUtf8(outcome) << "\", not with \"" << expected << "\"";
        }
        ++replayed;
    }
    EXPECT_GT(replayed, 0) << "no inputs in " << folder;
}

}  // namespace
}  // namespace kosmara
