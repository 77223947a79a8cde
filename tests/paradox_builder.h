// Paradox tables made in memory for tests and the fuzzer's seed corpus: our
// own writer of the .DB and .MB bytes, following shared/paradox-format.md.
// Tests build a good table, then damage bytes at the offsets BuiltTable
// reports. Header-only; needs engine/paradox_crypt.cpp for protected tables.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/paradox_crypt.h"
#include "engine/paradox_table.h"

namespace kosmara::testing {

// Where a blob goes: in the record's leader, in a sub-allocated (type 3) block
// of the .MB or in a block of its own (type 2). kAuto chooses as Paradox does.
enum class BlobStorage { kAuto, kInline, kSubAllocated, kSingle };

// One field value of a record before encoding. Null is all zero bytes.
struct Cell {
    enum class Kind { kNull, kStored, kBcd, kBlob };
    Kind kind = Kind::kNull;
    std::string bytes;  // kStored: the record bytes (zero-padded); kBcd: decimal text; kBlob: the blob
    BlobStorage storage = BlobStorage::kAuto;
};

namespace paradox_detail {

inline std::string BigEndian(std::uint64_t value, int size) {
    std::string out(static_cast<std::size_t>(size), '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8) out[static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
    return out;
}

// Integers: big-endian with the sign bit flipped (§4.1).
inline std::string SortableInteger(std::int64_t value, int size) {
    const std::uint64_t bits = static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << (size * 8 - 1));
    return BigEndian(bits & (size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (size * 8)) - 1), size);
}

// Doubles: positive values get the top bit set, negative ones all bits inverted.
inline std::string SortableDouble(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
    return BigEndian(bits, 8);
}

// Little-endian numbers into bytes, also for tests that damage a table.
inline void PutU16(std::string& out, std::size_t offset, std::uint32_t value) {
    out.at(offset) = static_cast<char>(value & 0xFF);
    out.at(offset + 1) = static_cast<char>((value >> 8) & 0xFF);
}

inline void PutU32(std::string& out, std::size_t offset, std::uint32_t value) {
    PutU16(out, offset, value & 0xFFFF);
    PutU16(out, offset + 2, value >> 16);
}

inline Cell Stored(std::string bytes) { return Cell{Cell::Kind::kStored, std::move(bytes), BlobStorage::kAuto}; }

// 17 bytes: sign/decimals byte, then 32 nibbles, the last `decimals` of them
// the fraction; negative values have every nibble inverted (§4.2).
inline std::string EncodeBcd(std::string_view text, int decimals) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string whole(text.substr(0, point));
    std::string fraction(point == std::string_view::npos ? std::string_view() : text.substr(point + 1));
    if (fraction.size() > static_cast<std::size_t>(decimals)) throw std::invalid_argument("BCD: too many decimals");
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    std::string digits = whole + fraction;
    if (digits.size() > 32) throw std::invalid_argument("BCD: too many digits");
    digits.insert(0, 32 - digits.size(), '0');
    std::string out(17, '\0');
    out[0] = static_cast<char>((negative ? 0x40 : 0xC0) | decimals);
    for (std::size_t i = 0; i < 32; ++i) {
        if (digits[i] < '0' || digits[i] > '9') throw std::invalid_argument("BCD: not a digit");
        int nibble = digits[i] - '0';
        if (negative) nibble ^= 0xF;
        out[1 + i / 2] = static_cast<char>(static_cast<unsigned char>(out[1 + i / 2]) | (i % 2 ? nibble : nibble << 4));
    }
    return out;
}

constexpr std::size_t kMbBlock = 4096;
constexpr std::size_t kSmallBlobLimit = 0x800;   // longer blobs get a type-2 block
constexpr std::size_t kSubDataStart = 0x150;     // first data chunk of a type-3 block
constexpr int kSubEntries = 64;

}  // namespace paradox_detail

// Typed values, encoded as the record stores them.
inline Cell Null() { return Cell{}; }
inline Cell Raw(std::string bytes) { return paradox_detail::Stored(std::move(bytes)); }  // exact bytes, any field
inline Cell Alpha(std::string bytes) { return paradox_detail::Stored(std::move(bytes)); }
inline Cell Bytes(std::string bytes) { return paradox_detail::Stored(std::move(bytes)); }
inline Cell Short(std::int16_t value) { return paradox_detail::Stored(paradox_detail::SortableInteger(value, 2)); }
inline Cell Long(std::int32_t value) { return paradox_detail::Stored(paradox_detail::SortableInteger(value, 4)); }
inline Cell Date(std::int32_t days) { return Long(days); }  // 1 = 0001-01-01
inline Cell Time(std::int32_t milliseconds) { return Long(milliseconds); }
inline Cell AutoIncrement(std::int32_t value) { return Long(value); }
inline Cell Number(double value) { return paradox_detail::Stored(paradox_detail::SortableDouble(value)); }
inline Cell Money(double value) { return Number(value); }
inline Cell Timestamp(double milliseconds) { return Number(milliseconds); }
inline Cell Logical(bool value) { return paradox_detail::Stored(std::string(1, value ? '\x81' : '\x80')); }
// Decimal text such as "-12.5"; the field's decimals decide the scale.
inline Cell Bcd(std::string text) { return Cell{Cell::Kind::kBcd, std::move(text), BlobStorage::kAuto}; }
// Memo, formatted memo, binary, OLE and graphic fields: the blob's bytes (for
// a graphic the image, without the 8-byte prefix the .MB stores before it).
inline Cell Memo(std::string bytes, BlobStorage storage = BlobStorage::kAuto) {
    return Cell{Cell::Kind::kBlob, std::move(bytes), storage};
}
inline Cell Blob(std::string bytes, BlobStorage storage = BlobStorage::kAuto) { return Memo(std::move(bytes), storage); }
inline Cell Graphic(std::string image) { return Memo(std::move(image), BlobStorage::kSingle); }

// The Date field's day number of a proleptic Gregorian date (1 = 0001-01-01).
inline std::int32_t CivilDays(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468 + 719163;  // days since 1970-01-01, moved to day 1 = 0001-01-01
}

// A blob the builder put into the .MB.
struct BlobPlacement {
    int record = 0;                // in table order
    int field = 0;
    std::size_t pointerOffset = 0;  // .DB offset of the 10-byte pointer after the leader
    std::size_t blockOffset = 0;    // .MB offset of its block
    int index = 0;                  // type-3 entry, 0xFF for a type-2 block
    std::size_t dataOffset = 0;     // .MB offset of its data
};

// The bytes of a table and where things are in them (offsets into the
// unscrambled layout; of a protected table the data blocks are scrambled).
struct BuiltTable {
    std::string db;
    std::string mb;  // empty when the table has no blob field
    int headerSize = 0;
    int blockSize = 0;
    int recordSize = 0;
    std::vector<int> fieldOffsets;            // within a record
    std::size_t descriptorsOffset = 0;        // field descriptors: type and size byte per field
    std::size_t fieldNamesOffset = 0;         // first field name in the header
    std::size_t fieldNumbersOffset = 0;       // v4+: the field-number array
    std::vector<std::size_t> recordOffsets;   // .DB offset of every record, in table order
    std::vector<int> chain;                   // block numbers in chain order
    std::vector<BlobPlacement> blobs;

    std::size_t BlockOffset(int number) const {
        return static_cast<std::size_t>(headerSize) + static_cast<std::size_t>(number - 1) * blockSize;
    }
};

class TableBuilder {
public:
    struct Field {
        std::string name;  // bytes in the table's code page
        FieldType type;
        int descriptor;    // the descriptor's size byte (BCD: decimals)
        int size;          // bytes in the record
    };

    // versionId: header byte 0x39 (3, 4, 9, 11, 12 seen in real files).
    explicit TableBuilder(int versionId = 12, int blockKiB = 2) : version_(versionId), blockKiB_(blockKiB) {}

    TableBuilder& SetVersion(int versionId) { version_ = versionId; return *this; }
    TableBuilder& SetBlockSize(int kib) { blockKiB_ = kib; return *this; }
    // v4+: header code page (0x6A). Sort order: byte 0x29 and, in v4+, its name.
    TableBuilder& SetCodePage(int codePage) { codePage_ = codePage; return *this; }
    TableBuilder& SetSortOrder(int byte, std::string name) {
        sortOrder_ = byte;
        sortOrderName_ = std::move(name);
        return *this;
    }
    TableBuilder& SetKeyFields(int count) { keyFields_ = count; return *this; }
    TableBuilder& SetTableName(std::string name) { tableName_ = std::move(name); return *this; }
    // 0: the used part rounded up to 2048 bytes; real v3 files have e.g. 221.
    TableBuilder& SetHeaderSize(int bytes) { headerSize_ = bytes; return *this; }
    // Records in each block (at most what fits; 0 = fill the blocks).
    TableBuilder& SetRecordsPerBlock(int count) { recordsPerBlock_ = count; return *this; }
    // Block numbers of the chain in table order, e.g. {1, 4, 2}: numbers up to
    // the largest that the chain does not use become free blocks full of stale
    // records, linked from header 0x4D.
    TableBuilder& SetBlockOrder(std::vector<int> numbers) { blockOrder_ = std::move(numbers); return *this; }
    // Fill the slots after a block's last record with stale copies of records
    // (as Paradox leaves them) instead of zeros.
    TableBuilder& SetStaleSlots(bool stale) { staleSlots_ = stale; return *this; }
    // Protects the table: the key is the password's checksum (§7).
    TableBuilder& Encrypt(std::string password) { password_ = std::move(password); return *this; }

    // size: alpha and bytes length, blob fields leader + 10, BCD decimals;
    // 0 for the fixed sizes of the other types. An unknown type needs a size.
    TableBuilder& AddField(std::string name, FieldType type, int size = 0) {
        int stored = size;
        switch (type) {
            case FieldType::kDate: case FieldType::kLong: case FieldType::kTime: case FieldType::kAutoIncrement:
                stored = 4; break;
            case FieldType::kShort: stored = 2; break;
            case FieldType::kMoney: case FieldType::kNumber: case FieldType::kTimestamp: stored = 8; break;
            case FieldType::kLogical: stored = 1; break;
            case FieldType::kBcd: stored = 17; break;
            default:
                if (size <= 0) throw std::invalid_argument("field needs a size");
        }
        const int descriptor = size > 0 || type == FieldType::kBcd ? size : stored;
        fields_.push_back(Field{std::move(name), type, descriptor, stored});
        return *this;
    }
    // Fewer cells than fields: the rest are null.
    TableBuilder& AddRecord(std::vector<Cell> cells) {
        if (cells.size() > fields_.size()) throw std::invalid_argument("more values than fields");
        records_.push_back(std::move(cells));
        return *this;
    }

    const std::vector<Field>& fields() const { return fields_; }
    int RecordSize() const {
        int size = 0;
        for (const Field& field : fields_) size += field.size;
        return size;
    }
    std::uint32_t Key() const { return PasswordChecksum(password_); }

    BuiltTable Build() const {
        using namespace paradox_detail;
        BuiltTable out;
        out.blockSize = blockKiB_ * 1024;
        out.recordSize = RecordSize();
        for (int at = 0; const Field& field : fields_) {
            out.fieldOffsets.push_back(at);
            at += field.size;
        }
        const bool v4 = version_ >= 5;
        const bool hasBlobs = std::any_of(fields_.begin(), fields_.end(), [](const Field& f) { return IsBlob(f.type); });

        // The header's variable part, from 0x78 (v4+) or 0x58 (v3).
        std::string variable;
        for (const Field& field : fields_) {
            variable += static_cast<char>(static_cast<std::uint8_t>(field.type));
            variable += static_cast<char>(field.descriptor & 0xFF);
        }
        variable.append(4 + 4 * fields_.size(), '\0');  // name pointers: RAM garbage
        std::string name = tableName_.substr(0, (version_ >= 12 ? 261 : 79) - 1);
        name.resize(version_ >= 12 ? 261 : 79, '\0');
        variable += name;
        const std::size_t start = v4 ? 0x78 : 0x58;
        out.descriptorsOffset = start;
        out.fieldNamesOffset = start + variable.size();
        for (const Field& field : fields_) variable += field.name + '\0';
        if (v4) {
            out.fieldNumbersOffset = start + variable.size();
            for (std::size_t i = 0; i < fields_.size(); ++i) {
                variable += static_cast<char>((i + 1) & 0xFF);
                variable += static_cast<char>(((i + 1) >> 8) & 0xFF);
            }
            variable += sortOrderName_ + '\0';
        }
        const std::size_t used = start + variable.size();
        out.headerSize = headerSize_ > 0 ? headerSize_ : static_cast<int>((used + 0x7FF) / 0x800 * 0x800);
        if (static_cast<std::size_t>(out.headerSize) < used) throw std::invalid_argument("header size too small");

        // The records, with their blobs put into the .MB.
        MbWriter mb;
        std::vector<std::string> records;
        std::int64_t autoIncrement = 0;
        for (std::size_t r = 0; r < records_.size(); ++r) {
            std::string record(static_cast<std::size_t>(out.recordSize), '\0');
            for (std::size_t f = 0; f < records_[r].size(); ++f) {
                const Cell& cell = records_[r][f];
                const Field& field = fields_[f];
                const std::size_t at = static_cast<std::size_t>(out.fieldOffsets[f]);
                std::string bytes;
                if (cell.kind == Cell::Kind::kStored) {
                    bytes = cell.bytes;
                    if (field.type == FieldType::kAutoIncrement && bytes.size() == 4 && bytes != std::string(4, '\0'))
                        autoIncrement = std::max<std::int64_t>(autoIncrement, DecodeLong(bytes));
                } else if (cell.kind == Cell::Kind::kBcd) {
                    bytes = EncodeBcd(cell.bytes, field.descriptor);
                } else if (cell.kind == Cell::Kind::kBlob) {
                    bytes = mb.Place(cell, field, static_cast<int>(r), static_cast<int>(f), at);
                }
                if (bytes.size() > static_cast<std::size_t>(field.size)) throw std::invalid_argument("value too long");
                record.replace(at, bytes.size(), bytes);
            }
            records.push_back(std::move(record));
        }

        // The chain of blocks.
        const int capacity = out.recordSize > 0 ? (out.blockSize - 6) / out.recordSize : 0;
        const int perBlock = recordsPerBlock_ > 0 ? std::min(recordsPerBlock_, capacity) : capacity;
        if (!records.empty() && perBlock < 1) throw std::invalid_argument("record larger than a block");
        const std::size_t chainLength = records.empty() ? 0 : (records.size() + perBlock - 1) / perBlock;
        std::vector<int> chain = blockOrder_;
        if (chain.empty())
            for (std::size_t i = 0; i < chainLength; ++i) chain.push_back(static_cast<int>(i + 1));
        if (chain.size() != chainLength) throw std::invalid_argument("block order does not match the record count");
        const int fileBlocks = chain.empty() ? 0 : *std::max_element(chain.begin(), chain.end());
        std::set<int> freeBlocks;
        for (int n = 1; n <= fileBlocks; ++n) freeBlocks.insert(n);
        for (int n : chain)
            if (freeBlocks.erase(n) != 1) throw std::invalid_argument("block used twice");

        std::string db(static_cast<std::size_t>(out.headerSize) + static_cast<std::size_t>(fileBlocks) * out.blockSize, '\0');
        auto staleFill = [&](std::size_t from, std::size_t to, std::size_t seed) {
            if (!staleSlots_ || records.empty()) return;
            for (std::size_t at = from; at + out.recordSize <= to; at += out.recordSize, ++seed)
                db.replace(at, static_cast<std::size_t>(out.recordSize), records[seed % records.size()]);
        };
        for (std::size_t k = 0; k < chain.size(); ++k) {
            const std::size_t block = out.BlockOffset(chain[k]);
            const std::size_t first = k * perBlock;
            const std::size_t count = std::min<std::size_t>(perBlock, records.size() - first);
            PutU16(db, block, k + 1 < chain.size() ? chain[k + 1] : 0);
            PutU16(db, block + 2, k > 0 ? chain[k - 1] : 0);
            PutU16(db, block + 4, static_cast<std::uint32_t>((count - 1) * out.recordSize));
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t at = block + 6 + i * out.recordSize;
                db.replace(at, static_cast<std::size_t>(out.recordSize), records[first + i]);
                out.recordOffsets.push_back(at);
            }
            staleFill(block + 6 + count * out.recordSize, block + out.blockSize, first + count);
        }
        for (auto it = freeBlocks.begin(); it != freeBlocks.end(); ++it) {
            const std::size_t block = out.BlockOffset(*it);
            PutU16(db, block, std::next(it) != freeBlocks.end() ? *std::next(it) : 0);
            PutU16(db, block + 4, static_cast<std::uint32_t>(-out.recordSize) & 0xFFFF);
            staleFill(block + 6, block + out.blockSize, static_cast<std::size_t>(*it));
        }
        out.chain = chain;

        // The header (§2.1 - 2.3).
        const std::uint32_t key = PasswordChecksum(password_);
        PutU16(db, 0x00, static_cast<std::uint32_t>(out.recordSize));
        PutU16(db, 0x02, static_cast<std::uint32_t>(out.headerSize));
        db[0x04] = static_cast<char>(keyFields_ > 0 ? 0 : 2);
        db[0x05] = static_cast<char>(blockKiB_);
        PutU32(db, 0x06, static_cast<std::uint32_t>(records.size()));
        PutU16(db, 0x0A, static_cast<std::uint32_t>(chain.size()));
        PutU16(db, 0x0C, static_cast<std::uint32_t>(fileBlocks));
        PutU16(db, 0x0E, chain.empty() ? 0 : static_cast<std::uint32_t>(chain.front()));
        PutU16(db, 0x10, chain.empty() ? 0 : static_cast<std::uint32_t>(chain.back()));
        PutU16(db, 0x21, static_cast<std::uint32_t>(fields_.size()));
        PutU16(db, 0x23, static_cast<std::uint32_t>(keyFields_));
        PutU32(db, 0x25, v4 ? 0xFF00FF00u : key);
        db[0x29] = static_cast<char>(sortOrder_);
        db[0x39] = static_cast<char>(version_);
        PutU16(db, 0x3A, static_cast<std::uint32_t>(fileBlocks));
        if (key == 0) PutU16(db, 0x3E, 0x0F1F);
        PutU32(db, 0x49, static_cast<std::uint32_t>(autoIncrement));
        PutU16(db, 0x4D, freeBlocks.empty() ? 0 : static_cast<std::uint32_t>(*freeBlocks.begin()));
        PutU16(db, 0x51, static_cast<std::uint32_t>(used));
        if (v4) {
            db[0x56] = 0x20;
            PutU16(db, 0x58, 0x0100u + static_cast<std::uint32_t>(version_));
            PutU16(db, 0x5A, 0x0100u + static_cast<std::uint32_t>(version_));
            PutU32(db, 0x5C, key);
            PutU16(db, 0x64, static_cast<std::uint32_t>(fields_.size() + 1));
            PutU16(db, 0x66, static_cast<std::uint32_t>(out.fieldNumbersOffset - 0x58));
            PutU16(db, 0x6A, static_cast<std::uint32_t>(codePage_));
            db[0x6C] = db[0x6D] = 1;
        }
        db.replace(start, variable.size(), variable);

        // Scrambling: every data block with its number, the whole .MB (§7.3).
        if (key != 0) {
            for (int n = 1; n <= fileBlocks; ++n) {
                auto* block = reinterpret_cast<std::uint8_t*>(db.data() + out.BlockOffset(n));
                EncryptTableBlock(block, static_cast<std::size_t>(out.blockSize), key, static_cast<std::uint32_t>(n));
            }
        }
        out.db = std::move(db);
        if (hasBlobs) {
            out.mb = mb.Finish();
            if (key != 0) EncryptBlobChunks(reinterpret_cast<std::uint8_t*>(out.mb.data()), out.mb.size(), key);
        }
        // Blob pointers are known relative to the record; make them file offsets.
        for (BlobPlacement blob : mb.placements) {
            blob.pointerOffset += out.recordOffsets[static_cast<std::size_t>(blob.record)];
            out.blobs.push_back(blob);
        }
        return out;
    }

private:
    static bool IsBlob(FieldType type) {
        return type == FieldType::kMemo || type == FieldType::kBlob || type == FieldType::kFormattedMemo ||
               type == FieldType::kOle || type == FieldType::kGraphic;
    }
    static std::int64_t DecodeLong(const std::string& bytes) {
        std::uint32_t bits = 0;
        for (char c : bytes) bits = (bits << 8) | static_cast<std::uint8_t>(c);
        return static_cast<std::int32_t>(bits ^ 0x80000000u);
    }

    // The .MB file (§6): a header block, then type-3 blocks shared by small
    // blobs and type-2 blocks for big ones, in the order they were needed.
    struct MbWriter {
        static constexpr std::uint16_t kModification = 1;
        std::string file;
        std::size_t subBlock = 0;  // offset of the open type-3 block, 0: none
        int subEntry = 0;          // next entry, counting down from 63
        std::size_t subNext = 0;   // next free data chunk in it
        std::vector<BlobPlacement> placements;

        // The record bytes of the field: leader copy and 10-byte pointer.
        std::string Place(const Cell& cell, const Field& field, int record, int fieldIndex, std::size_t at) {
            using namespace paradox_detail;
            if (file.empty()) Start();
            const std::size_t leader = static_cast<std::size_t>(field.size - 10);
            const bool graphic = field.type == FieldType::kGraphic;
            std::string data = cell.bytes;
            if (graphic) {
                std::string prefix(8, '\0');
                PutU32(prefix, 0, 1);
                PutU32(prefix, 4, static_cast<std::uint32_t>(data.size()));
                data = prefix + data;
            }
            std::string out(static_cast<std::size_t>(field.size), '\0');
            if (data.empty()) return out;
            out.replace(0, std::min(leader, cell.bytes.size()), cell.bytes.substr(0, leader));
            BlobStorage storage = cell.storage;
            if (storage == BlobStorage::kAuto)
                storage = graphic ? BlobStorage::kSingle
                          : data.size() <= leader      ? BlobStorage::kInline
                          : data.size() <= kSmallBlobLimit ? BlobStorage::kSubAllocated
                                                           : BlobStorage::kSingle;
            PutU32(out, leader + 4, static_cast<std::uint32_t>(data.size()));
            if (storage == BlobStorage::kInline) {
                if (data.size() > leader) throw std::invalid_argument("blob longer than the leader");
                return out;
            }
            BlobPlacement placement{record, fieldIndex, at + leader, 0, 0, 0};
            if (storage == BlobStorage::kSubAllocated) {
                const std::size_t chunks = (data.size() + 15) / 16;
                if (chunks > 255 || chunks * 16 > kMbBlock - kSubDataStart) throw std::invalid_argument("blob too big");
                if (subBlock == 0 || subEntry < 0 || subNext + chunks * 16 > kMbBlock) {
                    subBlock = file.size();
                    file.append(kMbBlock, '\0');
                    file[subBlock] = 3;
                    PutU16(file, subBlock + 1, 1);
                    subEntry = kSubEntries - 1;
                    subNext = kSubDataStart;
                }
                const std::size_t entry = subBlock + 12 + 5 * static_cast<std::size_t>(subEntry);
                file[entry] = static_cast<char>(subNext / 16);
                file[entry + 1] = static_cast<char>(chunks);
                PutU16(file, entry + 2, kModification);
                file[entry + 4] = static_cast<char>(data.size() - (chunks - 1) * 16);
                file.replace(subBlock + subNext, data.size(), data);
                placement.blockOffset = subBlock;
                placement.index = subEntry;
                placement.dataOffset = subBlock + subNext;
                subNext += chunks * 16;
                --subEntry;
            } else {
                const std::size_t units = (9 + data.size() + kMbBlock - 1) / kMbBlock;
                const std::size_t block = file.size();
                file.append(units * kMbBlock, '\0');
                file[block] = 2;
                PutU16(file, block + 1, static_cast<std::uint32_t>(units));
                PutU32(file, block + 3, static_cast<std::uint32_t>(data.size()));
                PutU16(file, block + 7, kModification);
                file.replace(block + 9, data.size(), data);
                placement.blockOffset = block;
                placement.index = 0xFF;
                placement.dataOffset = block + 9;
            }
            PutU32(out, leader, static_cast<std::uint32_t>(placement.blockOffset | static_cast<std::size_t>(placement.index)));
            PutU16(out, leader + 8, kModification);
            placements.push_back(placement);
            return out;
        }

        void Start() {
            using namespace paradox_detail;
            file.assign(kMbBlock, '\0');
            PutU16(file, 0x01, 1);
            PutU16(file, 0x03, kModification);
            file.replace(0x05, 5, std::string("\x82\x73\x02\x00\x29", 5));
            PutU16(file, 0x0B, 0x1000);
            PutU16(file, 0x0D, 0x1000);
            file[0x10] = 0x10;
            PutU16(file, 0x11, 0x0040);
            PutU16(file, 0x13, 0x0800);
            PutU16(file, 0x29, 0x02A1);
        }

        std::string Finish() {
            if (file.empty()) Start();
            return file;
        }
    };

    int version_;
    int blockKiB_;
    int codePage_ = 1252;
    int sortOrder_ = 0x11;
    std::string sortOrderName_ = "ANSII850";
    int keyFields_ = 0;
    std::string tableName_ = "resttemp.DB";
    int headerSize_ = 0;
    int recordsPerBlock_ = 0;
    std::vector<int> blockOrder_;
    bool staleSlots_ = true;
    std::string password_;
    std::vector<Field> fields_;
    std::vector<std::vector<Cell>> records_;
};

// The horoscope table as the legacy program keeps it: 13 columns, of which
// positions 1 to 9 and 12 are read.
inline TableBuilder HoroscopeTableBuilder(int versionId = 12, int blockKiB = 2) {
    TableBuilder builder(versionId, blockKiB);
    builder.AddField("Nr", FieldType::kAlpha, 10)
        .AddField("Name", FieldType::kAlpha, 40)
        .AddField("Julianisch", FieldType::kNumber)
        .AddField("Ort", FieldType::kAlpha, 40)
        .AddField("L\xE4nge", FieldType::kNumber)  // "Länge" in code page 1252
        .AddField("Breite", FieldType::kNumber)
        .AddField("Zone", FieldType::kNumber)
        .AddField("Zonenname", FieldType::kAlpha, 20)  // room for "Wahre Ortszeit"
        .AddField("Kommentar", FieldType::kMemo, 30)
        .AddField("SeptarText", FieldType::kAlpha, 40)
        .AddField("Frei1", FieldType::kAlpha, 20)
        .AddField("Frei2", FieldType::kAlpha, 20)
        .AddField("Septar", FieldType::kLogical);
    return builder;
}

// One record of it; null where a member is empty (text) or unset.
struct HoroscopeRecord {
    std::string id = "1";
    std::string name = "Test";
    std::optional<double> julianDay = 2451545.0;
    std::string place = "Berlin";
    std::optional<double> longitude = -13.41;
    std::optional<double> latitude = 52.5;
    std::optional<double> zoneOffset = -1.0;
    std::string zoneName = "MEZ";
    std::string comment;
    std::string septarText;
    std::optional<bool> septar = false;

    std::vector<Cell> Cells() const {
        auto text = [](const std::string& value) { return value.empty() ? Null() : Alpha(value); };
        auto number = [](std::optional<double> value) { return value ? Number(*value) : Null(); };
        return {text(id), text(name), number(julianDay), text(place), number(longitude), number(latitude),
                number(zoneOffset), text(zoneName), comment.empty() ? Null() : Memo(comment), text(septarText),
                Null(), Null(), septar ? Logical(*septar) : Null()};
    }
};

// Writes the table as folder/<baseName>.DB (and .MB when it has one);
// returns the path of the .DB file.
inline std::filesystem::path WriteTable(const BuiltTable& table, const std::filesystem::path& folder,
                                        const std::string& baseName, const std::string& dbExtension = ".DB",
                                        const std::string& mbExtension = ".MB") {
    auto write = [](const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + path.string());
    };
    const std::filesystem::path db = folder / (baseName + dbExtension);
    write(db, table.db);
    if (!table.mb.empty()) write(folder / (baseName + mbExtension), table.mb);
    return db;
}

}  // namespace kosmara::testing
