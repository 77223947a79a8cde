// Edges of the table reader found by reviewing it against the format notes:
// a cursor after a failed step, pointers into the middle of a memo block,
// BCD scales and chains longer than the header says; and how often it asks
// the files for bytes.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "engine/byte_source.h"
#include "engine/engine_error.h"
#include "engine/paradox_table.h"
#include "paradox_builder.h"
#include "test_support.h"

namespace kosmara {
namespace {

using testing::BuiltTable;
using testing::TableBuilder;
using testing::paradox_detail::PutU16;
using testing::paradox_detail::PutU32;

// Bytes that a test can change after the table has been opened, as another
// program may change a table file that we hold open in shared mode.
class ChangingSource : public ByteSource {
public:
    explicit ChangingSource(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override {
        return MemorySource(*bytes_).ReadAt(offset, buffer, size);
    }

private:
    std::shared_ptr<std::string> bytes_;
};

ParadoxTable FromMemory(const BuiltTable& built) {
    std::unique_ptr<ByteSource> blobs;
    if (!built.mb.empty()) blobs = std::make_unique<MemorySource>(built.mb);
    return ParadoxTable(std::make_unique<MemorySource>(built.db), u"Review.DB", std::move(blobs), u"Review.MB", {});
}

// Records of 100 bytes in 1 KiB blocks: ten fill a block, leaving 18 bytes,
// so the slot after the tenth record reaches 82 bytes beyond the block.
BuiltTable FullBlocks() {
    TableBuilder builder(12, 1);
    builder.AddField("Name", FieldType::kAlpha, 92).AddField("Zahl", FieldType::kNumber);
    for (int i = 0; i < 15; ++i) builder.AddRecord({testing::Alpha("Satz " + std::to_string(i)), testing::Number(i)});
    return builder.Build();
}

// When the next block cannot be read, the cursor is at the end: it must not
// still claim the slot after the tenth record, 82 bytes of which lie beyond
// the block.
TEST(EngineEdges, CursorIsAtTheEndAfterAFailedNext) {
    BuiltTable table = FullBlocks();
    ASSERT_EQ(table.chain.size(), 2u);
    PutU16(table.db, table.BlockOffset(1), 9);  // next block: beyond the file
    ParadoxTable reader = FromMemory(table);
    int records = 0;
    bool failed = false;
    try {
        for (; !reader.Eof(); reader.Next()) ++records;
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), EngineErrorCode::kBlockDamaged) << error.what();
        failed = true;
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(records, 10);
    EXPECT_TRUE(reader.Eof()) << "a failed step leaves a current record behind the block's last one";
}

// The same when the first block cannot be read (the file changed since it
// was opened).
TEST(EngineEdges, CursorIsAtTheEndAfterAFailedFirst) {
    const BuiltTable table = FullBlocks();
    auto bytes = std::make_shared<std::string>(table.db);
    ParadoxTable reader(std::make_unique<ChangingSource>(bytes), u"Review.DB", nullptr, u"Review.MB", {});
    ASSERT_FALSE(reader.Eof());
    bytes->resize(table.BlockOffset(1) + 100);  // block 1 cut short
    EXPECT_ENGINE_ERROR(reader.First(), EngineErrorCode::kBlockDamaged);
    EXPECT_TRUE(reader.Eof()) << "a failed First() leaves a current record";
}

// Every .MB block starts at a multiple of 4096. A pointer damaged in its
// second byte lands inside another blob's data, which here looks like a
// type-2 block header holding "Hallo": that is damage, not a value.
TEST(EngineEdges, BlobPointerInsideABlockIsDamage) {
    constexpr std::size_t kSingleData = 0x1009;  // first type-2 block at 0x1000, its data after 9 bytes
    constexpr std::size_t kFake = 0x1100;         // 256-aligned, inside that data
    std::string big(3000, 'x');
    std::string fake("\x02\x01\x00", 3);
    fake += std::string("\x05\x00\x00\x00\x01\x00", 6) + "Hallo";
    big.replace(kFake - kSingleData, fake.size(), fake);

    TableBuilder builder(12, 2);
    builder.AddField("Daten", FieldType::kBlob, 10);
    builder.AddRecord({testing::Blob(big, testing::BlobStorage::kSingle)});
    builder.AddRecord({testing::Blob("Welt!", testing::BlobStorage::kSubAllocated)});
    BuiltTable table = builder.Build();
    ASSERT_EQ(table.blobs.size(), 2u);
    ASSERT_EQ(table.blobs[0].dataOffset, kSingleData);
    PutU32(table.db, table.blobs[1].pointerOffset, static_cast<std::uint32_t>(kFake | 0xFF));

    ParadoxTable reader = FromMemory(table);
    reader.Next();
    ASSERT_FALSE(reader.Eof());
    EXPECT_ENGINE_ERROR(reader.Value(0), EngineErrorCode::kBlobDamaged);
}

// Bytes in memory that count the reads made of them.
class CountingSource : public ByteSource {
public:
    CountingSource(std::string bytes, int& reads) : bytes_(std::move(bytes)), reads_(reads) {}
    std::uint64_t Size() const override { return bytes_.Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override {
        ++reads_;
        return bytes_.ReadAt(offset, buffer, size);
    }

private:
    MemorySource bytes_;
    int& reads_;
};

// A walk asks the files once for each block: a data block with one read, a
// .MB block with one read for every value in it, a value that runs on
// beyond the first 4 KiB of its block with one more for the rest. The same
// for a scrambled table, whose values end anywhere in a 256-byte chunk.
TEST(EngineEdges, EachBlockIsReadOnce) {
    for (const std::string password : {"", "geheim"}) {
        SCOPED_TRACE("password \"" + password + "\"");
        TableBuilder builder(12, 1);
        builder.AddField("Nr", FieldType::kLong).AddField("Kommentar", FieldType::kMemo, 20);
        if (!password.empty()) builder.Encrypt(password);
        std::vector<std::string> comments;
        for (int i = 0; i < 60; ++i) {
            // Small values share sub-allocated blocks; every tenth value
            // has a block of its own of three 4 KiB units between them.
            comments.push_back(i % 10 == 3 ? std::string(9000 + 37 * i, static_cast<char>('a' + i % 26))
                                           : "Kommentar " + std::to_string(i) + std::string(i, '.'));
            builder.AddRecord({testing::Long(i), testing::Memo(comments.back())});
        }
        const BuiltTable table = builder.Build();
        std::set<std::size_t> blobBlocks;
        int runningOn = 0;
        for (const testing::BlobPlacement& blob : table.blobs) {
            blobBlocks.insert(blob.blockOffset);
            if (blob.index == 0xFF && comments[static_cast<std::size_t>(blob.record)].size() + 9 > 4096) ++runningOn;
        }
        ASSERT_GT(table.chain.size(), 1u);
        ASSERT_EQ(runningOn, 6);

        int tableReads = 0;
        int blobReads = 0;
        const std::vector<std::u16string> passwords{FromUtf8(password)};
        ParadoxTable reader(std::make_unique<CountingSource>(table.db, tableReads), u"Review.DB",
                            std::make_unique<CountingSource>(table.mb, blobReads), u"Review.MB", passwords);
        tableReads = 0;
        blobReads = 0;
        std::size_t record = 0;
        for (reader.First(); !reader.Eof(); reader.Next(), ++record) {
            ASSERT_LT(record, comments.size());
            EXPECT_EQ(ToUtf8(reader.Value(1).text), comments[record]) << "record " << record;
        }
        EXPECT_EQ(record, comments.size());
        EXPECT_EQ(tableReads, static_cast<int>(table.chain.size()));
        EXPECT_EQ(blobReads, static_cast<int>(blobBlocks.size()) + runningOn);
    }
}

// A BCD value carries its scale in byte 0; one that differs from the
// field's (pxlib refuses it as well) would give another number without a
// word, so it is damage.
TEST(EngineEdges, BcdDecimalsOtherThanTheFieldsAreDamage) {
    struct Case {
        const char* name;
        unsigned char byte0;
    };
    for (const Case& c : {Case{"four decimals in a field of two", 0xC4}, Case{"63 decimals", 0xFF}}) {
        SCOPED_TRACE(c.name);
        std::string value = testing::paradox_detail::EncodeBcd("123.45", 2);
        value[0] = static_cast<char>(c.byte0);
        TableBuilder builder(12, 2);
        builder.AddField("Betrag", FieldType::kBcd, 2);
        builder.AddRecord({testing::Raw(value)});
        ParadoxTable reader = FromMemory(builder.Build());
        ASSERT_FALSE(reader.Eof());
        try {
            const FieldValue read = reader.Value(0);
            ADD_FAILURE() << "read as " << ToUtf8(read.text);
        } catch (const EngineError&) {
        }
    }
}

// A chain that links to a block beyond the header's block count (0x0C) is
// damage, like a first block beyond it.
TEST(EngineEdges, ChainBeyondTheHeadersBlockCountIsDamage) {
    BuiltTable table = FullBlocks();
    ASSERT_EQ(table.chain.size(), 2u);
    PutU16(table.db, 0x0C, 1);
    try {
        ParadoxTable reader = FromMemory(table);
        for (; !reader.Eof(); reader.Next()) {
        }
        ADD_FAILURE() << "the walk used block 2 of a file the header says has 1";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.code(), EngineErrorCode::kBlockDamaged) << error.what();
    }
}

}  // namespace
}  // namespace kosmara
