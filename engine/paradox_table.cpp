#include "engine/paradox_table.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <charconv>
#include <cstring>

#include "core/text.h"
#include "engine/engine_error.h"
#include "engine/paradox_crypt.h"
#include "platform/file.h"

namespace kosmara {
namespace {

// Offsets of the fixed header.
constexpr std::size_t kFixedHeaderSize = 0x58;   // v3 tables: the field descriptors follow
constexpr std::size_t kExtendedHeaderSize = 0x78;  // v4+ tables: after the data-header extension
constexpr std::size_t kBlockHeaderSize = 6;
constexpr std::uint32_t kKeyInExtension = 0xFF00FF00;

// .MB structure.
constexpr std::uint64_t kBlobBlockSize = 4096;
constexpr std::uint64_t kSingleBlobHeadSize = 9;  // type, 4 KiB units, length, modification number
constexpr int kBlobPointerSize = 10;
constexpr int kGraphicPrefixSize = 8;
constexpr std::uint32_t kSubAllocatedEntries = 64;
constexpr std::uint64_t kSubAllocatedDataStart = 0x150;
// The buffer of memo bytes read as text is kept up to this size.
constexpr std::size_t kKeptBlobBytes = 1 << 20;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::int16_t S16(const std::uint8_t* p) { return static_cast<std::int16_t>(U16(p)); }
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::u16string Number(long long value) {
    std::u16string text;
    AppendDecimal(text, value, 1);
    return text;
}

std::u16string Hex2(unsigned value) {
    std::u16string text = u"0x";
    AppendHex(text, value & 0xFF, 2);
    return text;
}

bool AllZero(const std::uint8_t* p, std::size_t size) {
    return std::all_of(p, p + size, [](std::uint8_t b) { return b == 0; });
}

// Integers are stored big-endian with the sign bit inverted.
std::int64_t DecodeInteger(const std::uint8_t* p, int size) {
    std::uint32_t raw = 0;
    for (int i = 0; i < size; ++i) raw = (raw << 8) | p[i];
    const std::uint32_t sign = 1u << (8 * size - 1);
    return static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(sign);
}

// Doubles are stored big-endian; positive ones with the sign bit set,
// negative ones with every bit inverted.
double DecodeDouble(const std::uint8_t* p) {
    std::uint64_t raw = 0;
    for (int i = 0; i < 8; ++i) raw = (raw << 8) | p[i];
    if (raw & 0x8000000000000000ull) {
        raw &= 0x7FFFFFFFFFFFFFFFull;
    } else {
        raw = ~raw;
    }
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

int FixedSize(FieldType type) {
    switch (type) {
        case FieldType::kLogical: return 1;
        case FieldType::kShort: return 2;
        case FieldType::kDate:
        case FieldType::kLong:
        case FieldType::kTime:
        case FieldType::kAutoIncrement: return 4;
        case FieldType::kMoney:
        case FieldType::kNumber:
        case FieldType::kTimestamp: return 8;
        case FieldType::kBcd: return 17;
        default: return 0;
    }
}

bool KnownType(std::uint8_t code) {
    switch (static_cast<FieldType>(code)) {
        case FieldType::kAlpha:
        case FieldType::kDate:
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kMoney:
        case FieldType::kNumber:
        case FieldType::kLogical:
        case FieldType::kMemo:
        case FieldType::kBlob:
        case FieldType::kFormattedMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
        case FieldType::kTime:
        case FieldType::kTimestamp:
        case FieldType::kAutoIncrement:
        case FieldType::kBcd:
        case FieldType::kBytes: return true;
    }
    return false;
}

// BCD: byte 0 holds the sign (bit 7 set: positive) and the number of
// decimals; 32 nibbles follow, inverted for negative values. A value
// with bit 6 clear is blank. Nibbles that are no decimal digit (written by
// the engine far behind the precision of a double) end the digits; the
// places after them read as zeros.
FieldValue DecodeBcd(const std::uint8_t* p) {
    FieldValue value;
    if ((p[0] & 0x40) == 0) return value;
    const bool negative = (p[0] & 0x80) == 0;
    const int decimals = p[0] & 0x3F;  // at most 32, as the field's
    char digits[32];
    bool valid = true;
    for (int i = 0; i < 32; ++i) {
        int nibble = (i % 2 == 0) ? (p[1 + i / 2] >> 4) : (p[1 + i / 2] & 0xF);
        if (negative) nibble ^= 0xF;
        if (nibble > 9) valid = false;
        digits[i] = valid ? static_cast<char>('0' + nibble) : '0';
    }
    const int integerDigits = 32 - decimals;
    std::string text;
    int first = 0;
    while (first < integerDigits - 1 && digits[first] == '0') ++first;
    text.assign(digits + first, digits + integerDigits);
    if (text.empty()) text = "0";
    // A decimal of fixed scale: every decimal of the value is written.
    if (decimals > 0) {
        text += '.';
        text.append(digits + integerDigits, digits + 32);
    }
    if (negative && text.find_first_not_of("0.") != std::string::npos) text.insert(text.begin(), '-');
    value.kind = FieldValue::Kind::kDecimal;
    std::from_chars(text.data(), text.data() + text.size(), value.real);
    value.text = FromAscii(text);
    return value;
}

// An alpha field's text: its bytes up to the first zero byte.
std::string_view AlphaBytes(const std::uint8_t* data, std::size_t size) {
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    return {reinterpret_cast<const char*>(data), nul ? static_cast<std::size_t>(nul - data) : size};
}

// A memo or BLOB field whose pointer gives no length holds nothing.
bool BlobIsNull(const std::uint8_t* data, std::size_t size) { return U32(data + size - kBlobPointerSize + 4) == 0; }

}  // namespace

char FieldTypeLetter(FieldType type) {
    switch (type) {
        case FieldType::kAlpha: return 'A';
        case FieldType::kDate: return 'D';
        case FieldType::kShort: return 'S';
        case FieldType::kLong: return 'I';
        case FieldType::kMoney: return '$';
        case FieldType::kNumber: return 'N';
        case FieldType::kLogical: return 'L';
        case FieldType::kMemo: return 'M';
        case FieldType::kBlob: return 'B';
        case FieldType::kFormattedMemo: return 'F';
        case FieldType::kOle: return 'O';
        case FieldType::kGraphic: return 'G';
        case FieldType::kTime: return 'T';
        case FieldType::kTimestamp: return '@';
        case FieldType::kAutoIncrement: return '+';
        case FieldType::kBcd: return '#';
        case FieldType::kBytes: return 'Y';
    }
    return '?';
}

bool IsBlobType(FieldType type) {
    return type == FieldType::kMemo || type == FieldType::kBlob || type == FieldType::kFormattedMemo ||
           type == FieldType::kOle || type == FieldType::kGraphic;
}

struct ParadoxTable::State {
    std::unique_ptr<ByteSource> table;
    std::u16string tableName;
    std::unique_ptr<ByteSource> blobs;
    std::u16string blobName;
    std::uint64_t tableSize = 0;
    std::uint64_t blobSize = 0;
    TableInfo info;
    std::optional<CodePage> codePage;
    std::optional<int> codePageOverride;  // read the text in this page, not the header's
    std::string blobBytes;                 // the bytes of the last memo read as text

    // The walk: the current block, its records and the current one.
    std::vector<std::uint8_t> block;
    int blockNumber = 0;
    int recordsInBlock = 0;
    int recordInBlock = 0;
    std::uint64_t recordsSeen = 0;
    bool eof = true;
    std::bitset<65536> visited;

    // The .MB blocks the last values came from, unscrambled as far as they
    // were read whole: a sub-allocated block serves all its values, a block
    // of its own its head and the start of its value, each with one read.
    // Two of them, so that the large values between the small ones of a
    // sub-allocated block do not push it out.
    struct BlobBlock {
        std::vector<std::uint8_t> bytes;
        std::uint64_t offset = 0;
        std::size_t read = 0;  // bytes read; fewer than a block only at the end of the file
        std::uint64_t lastUse = 0;  // 0: nothing loaded
    };
    mutable std::array<BlobBlock, 2> blobBlocks;
    mutable std::uint64_t blobUses = 0;

    [[noreturn]] void HeaderDamaged(std::u16string_view what) const {
        ThrowEngineError(EngineErrorCode::kHeaderDamaged, {tableName, what});
    }
    [[noreturn]] void BlockDamaged(std::u16string_view what) const {
        ThrowEngineError(EngineErrorCode::kBlockDamaged, {tableName, what});
    }
    [[noreturn]] void BlobDamaged(std::u16string_view what) const {
        ThrowEngineError(EngineErrorCode::kBlobDamaged, {blobName, what});
    }

    void ReadHeader(std::span<const std::u16string> passwords);
    void ReadFields(const std::vector<std::uint8_t>& header, std::size_t position);
    void CheckPassword(std::span<const std::u16string> passwords) const;
    void CheckBlobFile();

    std::uint64_t AvailableBlocks() const;
    void LoadBlock(int number);
    void Advance();
    const std::uint8_t* Record() const {
        return block.data() + kBlockHeaderSize + static_cast<std::size_t>(recordInBlock) * info.recordSize;
    }
    FieldValue Decode(int field) const;
    // The description of a field of the current record; fails at the end of
    // the table and for a position the table does not have.
    const FieldDescription& CurrentField(int field) const {
        if (eof) ThrowEngineError(EngineErrorCode::kNoCurrentRecord);
        if (field < 0 || static_cast<std::size_t>(field) >= info.fields.size()) throw Error(kArgumentOutOfRange);
        return info.fields[static_cast<std::size_t>(field)];
    }
    std::string ReadBlob(const FieldDescription& field, const std::uint8_t* data) const;
    // The same into value, whose storage is reused.
    void ReadBlob(const FieldDescription& field, const std::uint8_t* data, std::string& value) const;
    void CheckBlobRange(std::uint64_t offset, std::uint64_t size) const;
    const BlobBlock& LoadBlobBlock(std::uint64_t blockOffset) const;
    const std::uint8_t* BlobBytesInBlock(std::uint64_t blockOffset, std::uint64_t offset, std::uint64_t size) const;
    void ReadBlobValue(std::uint64_t blockOffset, std::uint64_t offset, std::uint64_t size, std::string& value) const;
};

void ParadoxTable::State::ReadHeader(std::span<const std::u16string> passwords) {
    tableSize = table->Size();
    std::uint8_t fixed[kFixedHeaderSize];
    if (table->ReadAt(0, fixed, sizeof fixed) != sizeof fixed) {
        ThrowEngineError(EngineErrorCode::kNotAParadoxTable, {tableName});
    }
    info.recordSize = U16(fixed + 0x00);
    info.headerSize = U16(fixed + 0x02);
    info.fileType = fixed[0x04];
    info.blockSize = fixed[0x05] * 1024;
    info.recordCount = U32(fixed + 0x06);
    info.usedBlocks = U16(fixed + 0x0A);
    info.fileBlocks = U16(fixed + 0x0C);
    info.firstBlock = U16(fixed + 0x0E);
    const int fieldCount = S16(fixed + 0x21);
    info.sortOrder = fixed[0x29];
    info.versionId = fixed[0x39];

    // A keyed (0) or unkeyed (2) table; index files and foreign files are not.
    if (info.fileType != 0 && info.fileType != 2) ThrowEngineError(EngineErrorCode::kNotAParadoxTable, {tableName});
    if (info.versionId < 3 || info.versionId > 12) {
        ThrowEngineError(EngineErrorCode::kUnsupportedVersion, {tableName, Hex2(static_cast<unsigned>(info.versionId))});
    }
    const bool extended = info.versionId >= 5;
    const std::size_t variableStart = extended ? kExtendedHeaderSize : kFixedHeaderSize;
    if (static_cast<std::size_t>(info.headerSize) < variableStart) {
        HeaderDamaged(u"Die Kopflänge " + Number(info.headerSize) + u" ist zu klein");
    }
    if (static_cast<std::uint64_t>(info.headerSize) > tableSize) {
        HeaderDamaged(u"Die Kopflänge " + Number(info.headerSize) + u" ist größer als die Datei");
    }
    // Paradox writes blocks of 1, 2, 3, 4, 8, 16 or 32 KiB.
    switch (fixed[0x05]) {
        case 1: case 2: case 3: case 4: case 8: case 16: case 32: break;
        default: HeaderDamaged(u"Die Blockgröße " + Number(fixed[0x05]) + u" KiB ist ungültig");
    }
    if (info.recordSize == 0) HeaderDamaged(u"Die Satzlänge ist 0");
    if (static_cast<std::size_t>(info.recordSize) > static_cast<std::size_t>(info.blockSize) - kBlockHeaderSize) {
        HeaderDamaged(u"Die Satzlänge " + Number(info.recordSize) + u" ist größer als ein Block");
    }
    if (fieldCount < 1 || fieldCount > info.recordSize) {
        HeaderDamaged(u"Die Feldanzahl " + Number(fieldCount) + u" ist ungültig");
    }

    std::vector<std::uint8_t> header(static_cast<std::size_t>(info.headerSize));
    if (table->ReadAt(0, header.data(), header.size()) != header.size()) HeaderDamaged(u"Der Kopf ist unvollständig");

    std::uint32_t key = U32(header.data() + 0x25);
    if (extended) {
        info.headerCodePage = U16(header.data() + 0x6A);
        if (key == kKeyInExtension) key = U32(header.data() + 0x5C);
    }
    info.encryptionKey = key;

    info.fields.resize(static_cast<std::size_t>(fieldCount));
    ReadFields(header, variableStart);
    CheckPassword(passwords);
}

// Field descriptors, pointers, the table name and the field names; v4+
// tables then hold the field numbers and the sort order name.
void ParadoxTable::State::ReadFields(const std::vector<std::uint8_t>& header, std::size_t position) {
    const std::size_t count = info.fields.size();
    const std::size_t end = header.size();
    if (end - position < 2 * count) HeaderDamaged(u"Die Feldbeschreibungen fehlen");
    int offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t code = header[position + 2 * i];
        const int size = header[position + 2 * i + 1];
        FieldDescription& field = info.fields[i];
        if (!KnownType(code)) HeaderDamaged(u"Feld " + Number(static_cast<long long>(i) + 1) + u" hat den unbekannten Typ " + Hex2(code));
        field.type = static_cast<FieldType>(code);
        if (field.type == FieldType::kBcd) {
            if (size > 32) HeaderDamaged(u"Feld " + Number(static_cast<long long>(i) + 1) + u" hat zu viele Nachkommastellen");
            field.decimals = size;
            field.size = 17;
        } else {
            field.size = size;
            const int fixed = FixedSize(field.type);
            const bool valid = fixed != 0 ? size == fixed : (IsBlobType(field.type) ? size >= kBlobPointerSize : size >= 1);
            if (!valid) {
                HeaderDamaged(u"Feld " + Number(static_cast<long long>(i) + 1) + u" hat die ungültige Größe " + Number(size));
            }
        }
        field.offset = offset;
        offset += field.size;
    }
    if (offset != info.recordSize) {
        HeaderDamaged(u"Die Satzlänge " + Number(info.recordSize) + u" passt nicht zu den Feldern (" + Number(offset) +
                      u" Bytes)");
    }
    position += 2 * count;

    // The table name pointer, the field name pointers and the table name.
    const std::size_t tableNameSize = info.versionId >= 12 ? 261 : 79;
    const std::size_t skip = 4 + 4 * count + tableNameSize;
    if (end - position < skip) HeaderDamaged(u"Die Feldnamen fehlen");
    position += skip;

    std::vector<std::string> names(count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto* start = header.data() + position;
        const auto* nul = static_cast<const std::uint8_t*>(std::memchr(start, 0, end - position));
        if (nul == nullptr) HeaderDamaged(u"Die Feldnamen fehlen");
        names[i].assign(reinterpret_cast<const char*>(start), static_cast<std::size_t>(nul - start));
        position += names[i].size() + 1;
    }

    // The sort order name is only needed for tables without a code page.
    if (info.versionId >= 5 && end - position >= 2 * count) {
        position += 2 * count;
        const auto* start = header.data() + position;
        const auto* nul = static_cast<const std::uint8_t*>(std::memchr(start, 0, end - position));
        if (nul != nullptr) info.sortOrderName.assign(reinterpret_cast<const char*>(start), static_cast<std::size_t>(nul - start));
    }

    const int codePageNumber = codePageOverride ? *codePageOverride
                                                : TableCodePage(info.versionId, info.headerCodePage, info.sortOrder,
                                                                info.sortOrderName);
    codePage = CodePage::Find(codePageNumber);
    if (!codePage) ThrowEngineError(EngineErrorCode::kUnsupportedCodePage, {tableName, Number(codePageNumber)});
    info.codePage = codePageNumber;
    for (std::size_t i = 0; i < count; ++i) info.fields[i].name = codePage->Decode(names[i]);
}

void ParadoxTable::State::CheckPassword(std::span<const std::u16string> passwords) const {
    if (info.encryptionKey == 0) return;
    // The checksum is taken over the password's bytes: in the table's code
    // page, or in the Windows code page of Western Europe a user typed it in.
    static const std::optional<CodePage> windows = CodePage::Find(1252);
    for (const std::u16string& password : passwords) {
        for (const CodePage* page : {&*codePage, windows ? &*windows : &*codePage}) {
            const std::optional<std::string> bytes = page->Encode(password);
            if (bytes && !bytes->empty() && PasswordChecksum(*bytes) == info.encryptionKey) return;
        }
    }
    ThrowEngineError(EngineErrorCode::kInsufficientRights, {tableName});
}

// The .MB begins with its header block (type 0).
void ParadoxTable::State::CheckBlobFile() {
    blobSize = blobs->Size();
    if (blobSize < 3 || BlobBytesInBlock(0, 0, 3)[0] != 0) BlobDamaged(u"Der Dateikopf fehlt");
}

void ParadoxTable::State::CheckBlobRange(std::uint64_t offset, std::uint64_t size) const {
    if (offset > blobSize || size > blobSize - offset) {
        BlobDamaged(u"Ein Verweis zeigt hinter das Dateiende (Offset " + Number(static_cast<long long>(offset)) + u")");
    }
}

// One read for the whole block (less at the end of the file), unless it is
// one of the two kept. A protected .MB is scrambled in 256-byte chunks; a
// chunk cut off by the end of the file stays as it is and is never served.
const ParadoxTable::State::BlobBlock& ParadoxTable::State::LoadBlobBlock(std::uint64_t blockOffset) const {
    ++blobUses;
    for (BlobBlock& block : blobBlocks) {
        if (block.lastUse != 0 && block.offset == blockOffset) {
            block.lastUse = blobUses;
            return block;
        }
    }
    BlobBlock& block = blobBlocks[0].lastUse <= blobBlocks[1].lastUse ? blobBlocks[0] : blobBlocks[1];
    block.lastUse = 0;
    block.bytes.resize(static_cast<std::size_t>(kBlobBlockSize));
    block.read = blobs->ReadAt(blockOffset, block.bytes.data(), block.bytes.size());
    if (info.encryptionKey != 0) {
        DecryptBlobChunks(block.bytes.data(), block.read / kCryptChunkSize * kCryptChunkSize, info.encryptionKey);
    }
    block.offset = blockOffset;
    block.lastUse = blobUses;
    return block;
}

// The bytes of a range within the 4 KiB block at blockOffset, from memory.
// The checks are those of reading the range on its own: a range past the
// end of the file, or one whose bytes (whose scrambled chunks) the file
// does not hold in full.
const std::uint8_t* ParadoxTable::State::BlobBytesInBlock(std::uint64_t blockOffset, std::uint64_t offset,
                                                          std::uint64_t size) const {
    CheckBlobRange(offset, size);
    const BlobBlock& block = LoadBlobBlock(blockOffset);
    std::uint64_t end = offset + size;
    if (info.encryptionKey != 0) end = (end + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    if (end - blockOffset > block.read) BlobDamaged(u"Die Datei ist unvollständig");
    return block.bytes.data() + (offset - blockOffset);
}

// A value of the .MB in the one buffer it keeps: what lies in the block at
// blockOffset comes from memory, the rest of a value running on through
// further 4 KiB units of its block is read straight into the buffer, so a
// memo of many megabytes is not copied on its way.
void ParadoxTable::State::ReadBlobValue(std::uint64_t blockOffset, std::uint64_t offset, std::uint64_t size,
                                        std::string& value) const {
    CheckBlobRange(offset, size);
    const std::uint64_t blockEnd = blockOffset + kBlobBlockSize;
    const std::uint64_t inBlock = std::min(offset + size, blockEnd) - offset;
    const std::uint8_t* first = BlobBytesInBlock(blockOffset, offset, inBlock);
    if (inBlock == size) {
        value.assign(reinterpret_cast<const char*>(first), static_cast<std::size_t>(size));
        return;
    }

    // The rest begins at a 4 KiB boundary: scrambled, it is read in whole chunks.
    const std::uint64_t rest = size - inBlock;
    const std::uint64_t restRead =
        info.encryptionKey == 0 ? rest : (rest + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    value.reserve(static_cast<std::size_t>(inBlock + restRead));
    value.assign(reinterpret_cast<const char*>(first), static_cast<std::size_t>(inBlock));
    value.resize(static_cast<std::size_t>(inBlock + restRead));
    char* tail = value.data() + inBlock;
    if (blobs->ReadAt(blockEnd, tail, static_cast<std::size_t>(restRead)) != restRead) {
        BlobDamaged(u"Die Datei ist unvollständig");
    }
    if (info.encryptionKey != 0) {
        DecryptBlobChunks(reinterpret_cast<std::uint8_t*>(tail), static_cast<std::size_t>(restRead), info.encryptionKey);
    }
    value.resize(static_cast<std::size_t>(size));
}

std::uint64_t ParadoxTable::State::AvailableBlocks() const {
    return tableSize > static_cast<std::uint64_t>(info.headerSize)
               ? (tableSize - static_cast<std::uint64_t>(info.headerSize)) / static_cast<std::uint64_t>(info.blockSize)
               : 0;
}

void ParadoxTable::State::LoadBlock(int number) {
    if (number > info.fileBlocks) {
        BlockDamaged(u"Block " + Number(number) + u" liegt hinter dem letzten Block " + Number(info.fileBlocks));
    }
    if (number < 1 || static_cast<std::uint64_t>(number) > AvailableBlocks()) {
        BlockDamaged(u"Block " + Number(number) + u" liegt außerhalb der Datei");
    }
    if (visited.test(static_cast<std::size_t>(number))) {
        BlockDamaged(u"Die Blockkette kehrt zu Block " + Number(number) + u" zurück");
    }
    visited.set(static_cast<std::size_t>(number));

    block.resize(static_cast<std::size_t>(info.blockSize));
    const std::uint64_t offset = static_cast<std::uint64_t>(info.headerSize) +
                                 static_cast<std::uint64_t>(number - 1) * static_cast<std::uint64_t>(info.blockSize);
    if (table->ReadAt(offset, block.data(), block.size()) != block.size()) {
        BlockDamaged(u"Block " + Number(number) + u" ist unvollständig");
    }
    if (info.encryptionKey != 0) {
        DecryptTableBlock(block.data(), block.size(), info.encryptionKey, static_cast<std::uint32_t>(number));
    }
    blockNumber = number;
    const int lastRecordOffset = S16(block.data() + 4);
    if (lastRecordOffset < 0) {
        recordsInBlock = 0;
    } else {
        if (lastRecordOffset % info.recordSize != 0 ||
            static_cast<std::size_t>(lastRecordOffset + info.recordSize) > block.size() - kBlockHeaderSize) {
            BlockDamaged(u"Block " + Number(number) + u" hat die ungültige Datenlänge " + Number(lastRecordOffset));
        }
        recordsInBlock = lastRecordOffset / info.recordSize + 1;
    }
    recordInBlock = 0;
}

// On to the next record: within the block, else along the chain to the
// next block that holds records. At the end the records found must be the
// ones the header counts.
void ParadoxTable::State::Advance() {
    // Until a record is reached there is none: a failure on the way leaves
    // the cursor at the end, never on a record of a block that is gone.
    eof = true;
    ++recordInBlock;
    while (recordInBlock >= recordsInBlock) {
        const int next = U16(block.data());
        if (next == 0) {
            if (recordsSeen != info.recordCount) {
                BlockDamaged(u"Der Kopf zählt " + Number(info.recordCount) + u" Datensätze, die Blockkette enthält " +
                             Number(static_cast<long long>(recordsSeen)));
            }
            return;
        }
        LoadBlock(next);
    }
    ++recordsSeen;
    eof = false;
}

std::string ParadoxTable::State::ReadBlob(const FieldDescription& field, const std::uint8_t* data) const {
    std::string value;
    ReadBlob(field, data, value);
    return value;
}

void ParadoxTable::State::ReadBlob(const FieldDescription& field, const std::uint8_t* data, std::string& value) const {
    const int leaderSize = field.size - kBlobPointerSize;
    const std::uint8_t* pointer = data + leaderSize;
    const std::uint32_t location = U32(pointer);
    const std::uint32_t length = U32(pointer + 4);
    const bool graphic = field.type == FieldType::kGraphic;
    const auto fieldText = [&field] { return u"Feld \"" + field.name + u"\""; };
    if (graphic && length < static_cast<std::uint32_t>(kGraphicPrefixSize)) {
        BlobDamaged(u"Die Grafik in " + fieldText() + u" ist zu kurz");
    }

    if (location == 0) {
        // The whole value is in the leader (a graphic's without its prefix).
        const std::uint32_t inLeader = graphic ? length - kGraphicPrefixSize : length;
        if (inLeader > static_cast<std::uint32_t>(leaderSize)) {
            BlobDamaged(u"Der Wert von " + fieldText() + u" ist länger als sein Platz im Datensatz");
        }
        value.assign(reinterpret_cast<const char*>(data), inLeader);
        return;
    }

    if (!blobs) BlobDamaged(u"Die Datei fehlt");
    const std::uint64_t offset = location & 0xFFFFFF00u;
    const std::uint32_t index = location & 0xFFu;
    // Blocks of the .MB begin at multiples of 4 KiB.
    if (offset % kBlobBlockSize != 0) {
        BlobDamaged(u"Der Verweis von " + fieldText() + u" zeigt in einen Block hinein (Offset " +
                    Number(static_cast<long long>(offset)) + u")");
    }
    const std::uint8_t type = BlobBytesInBlock(offset, offset, 3)[0];
    std::uint64_t start = 0;
    if (type == 2) {
        // One value in a block of its own: the block's length in 4 KiB
        // units, the value's length and modification number, then the data.
        const std::uint8_t* head = BlobBytesInBlock(offset, offset, kSingleBlobHeadSize);
        if (index != 0xFF || U32(head + 3) != length) {
            BlobDamaged(u"Der Verweis von " + fieldText() + u" auf Offset " + Number(static_cast<long long>(offset)) +
                        u" passt nicht zum Block");
        }
        // The value lies within its block: a length the block cannot hold
        // is damage, however large the file is (a sparse file may claim
        // gigabytes on a few kilobytes of disk).
        const std::uint64_t blockSize = U16(head + 1) * kBlobBlockSize;
        const std::uint64_t room = blockSize > kSingleBlobHeadSize ? blockSize - kSingleBlobHeadSize : 0;
        if (length > room) {
            BlobDamaged(u"Der Wert von " + fieldText() + u" ist " + Number(length) + u" Bytes lang, sein Block bei Offset " +
                        Number(static_cast<long long>(offset)) + u" fasst nur " + Number(static_cast<long long>(room)) +
                        u" Bytes");
        }
        start = offset + kSingleBlobHeadSize;
    } else if (type == 3) {
        // Up to 64 small values in one block: a table of 5-byte entries,
        // then the data in 16-byte chunks.
        if (index >= kSubAllocatedEntries) {
            BlobDamaged(u"Der Verweis von " + fieldText() + u" nennt den ungültigen Eintrag " + Number(index));
        }
        const std::uint8_t* entry = BlobBytesInBlock(offset, offset + 12 + 5 * index, 5);
        const std::uint64_t dataOffset = static_cast<std::uint64_t>(entry[0]) * 16;
        const std::uint64_t size = entry[1] == 0 || entry[4] == 0 || entry[4] > 16
                                       ? 0
                                       : (static_cast<std::uint64_t>(entry[1]) - 1) * 16 + entry[4];
        if (size != length || dataOffset < kSubAllocatedDataStart || dataOffset + size > kBlobBlockSize) {
            BlobDamaged(u"Der Verweis von " + fieldText() + u" auf Offset " + Number(static_cast<long long>(offset)) +
                        u" passt nicht zum Block");
        }
        start = offset + dataOffset;
    } else {
        BlobDamaged(u"Der Verweis von " + fieldText() + u" zeigt auf keinen Datenblock (Offset " +
                    Number(static_cast<long long>(offset)) + u")");
    }
    // A graphic's prefix is not read at all: the range ends where the value does.
    const std::uint32_t skip = graphic ? kGraphicPrefixSize : 0;
    ReadBlobValue(offset, start + skip, length - skip, value);
}

FieldValue ParadoxTable::State::Decode(int index) const {
    const FieldDescription& field = info.fields[static_cast<std::size_t>(index)];
    const std::uint8_t* data = Record() + field.offset;
    const auto size = static_cast<std::size_t>(field.size);
    FieldValue value;
    using Kind = FieldValue::Kind;
    switch (field.type) {
        case FieldType::kAlpha: {
            const std::string_view bytes = AlphaBytes(data, size);
            if (bytes.empty()) return value;
            value.kind = Kind::kText;
            value.text = codePage->Decode(bytes);
            return value;
        }
        case FieldType::kDate:
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kTime:
        case FieldType::kAutoIncrement:
            if (AllZero(data, size)) return value;
            value.kind = field.type == FieldType::kDate ? Kind::kDate
                         : field.type == FieldType::kTime ? Kind::kTime
                                                          : Kind::kInteger;
            value.integer = DecodeInteger(data, field.size);
            return value;
        case FieldType::kMoney:
        case FieldType::kNumber:
        case FieldType::kTimestamp:
            if (AllZero(data, size)) return value;
            value.kind = field.type == FieldType::kTimestamp ? Kind::kTimestamp : Kind::kReal;
            value.real = DecodeDouble(data);
            return value;
        case FieldType::kLogical:
            if (data[0] == 0) return value;
            value.kind = Kind::kBoolean;
            value.boolean = data[0] != 0x80;
            return value;
        case FieldType::kBcd:
            if (AllZero(data, size) || (data[0] & 0x40) == 0) return value;
            // The value's scale is the field's.
            if ((data[0] & 0x3F) != field.decimals) {
                BlockDamaged(u"Der BCD-Wert von Feld \"" + field.name + u"\" hat " + Number(data[0] & 0x3F) +
                             u" statt " + Number(field.decimals) + u" Nachkommastellen");
            }
            return DecodeBcd(data);
        case FieldType::kBytes:
            if (AllZero(data, size)) return value;
            value.kind = Kind::kBytes;
            value.bytes.assign(reinterpret_cast<const char*>(data), size);
            return value;
        case FieldType::kMemo:
        case FieldType::kFormattedMemo:
        case FieldType::kBlob:
        case FieldType::kOle:
        case FieldType::kGraphic: {
            if (BlobIsNull(data, size)) return value;
            std::string bytes = ReadBlob(field, data);
            if (field.type == FieldType::kMemo || field.type == FieldType::kFormattedMemo) {
                // Decoded from the buffer the bytes were read into.
                value.kind = Kind::kText;
                value.text = codePage->Decode(bytes);
            } else {
                value.kind = Kind::kBytes;
                value.bytes = std::move(bytes);
            }
            return value;
        }
    }
    return value;
}

ParadoxTable::ParadoxTable(std::unique_ptr<ByteSource> table, std::u16string tableName,
                           std::unique_ptr<ByteSource> blobs, std::u16string blobName,
                           std::span<const std::u16string> passwords, std::optional<int> codePage)
    : state_(std::make_unique<State>()) {
    state_->codePageOverride = codePage;
    state_->table = std::move(table);
    state_->tableName = std::move(tableName);
    state_->blobs = std::move(blobs);
    state_->blobName = std::move(blobName);
    state_->ReadHeader(passwords);
    const bool needsBlobs = std::any_of(state_->info.fields.begin(), state_->info.fields.end(),
                                        [](const FieldDescription& field) { return IsBlobType(field.type); });
    if (needsBlobs) {
        if (!state_->blobs) {
            ThrowEngineError(EngineErrorCode::kBlobFileNotFound, {state_->blobName, state_->tableName});
        }
        state_->CheckBlobFile();
    }
    First();
}

namespace {

std::unique_ptr<ByteSource> OpenSource(const std::u16string& path) {
    OpenError error;
    std::optional<InputFile> file = InputFile::Open(path, error);
    // The name in another case, where the file system tells case apart.
    if (!file && error.failure == OpenFailure::kNotFound) {
        if (const std::optional<std::u16string> other = FindFileIgnoringCase(FolderOfPath(path), NameOfPath(path)))
            file = InputFile::Open(*other, error);
    }
    if (file) return std::make_unique<FileSource>(std::move(*file));
    switch (error.failure) {
        case OpenFailure::kNotFound:
        case OpenFailure::kIsFolder: ThrowEngineError(EngineErrorCode::kTableNotFound, {path});
        case OpenFailure::kFolderNotFound: ThrowEngineError(EngineErrorCode::kFolderNotFound, {FolderOfPath(path)});
        case OpenFailure::kLocked: ThrowEngineError(EngineErrorCode::kFileLocked, {path});
        case OpenFailure::kAccessDenied:
            ThrowEngineError(EngineErrorCode::kAccessDenied, {path, SystemErrorText(error.systemCode)});
        case OpenFailure::kNotARegularFile: ThrowEngineError(EngineErrorCode::kNotARegularFile, {path});
        case OpenFailure::kOther: break;
    }
    ThrowEngineError(EngineErrorCode::kCannotOpenFile, {path, SystemErrorText(error.systemCode)});
}

}  // namespace

ParadoxTable ParadoxTable::Open(const std::u16string& path, std::span<const std::u16string> passwords,
                                std::optional<int> codePage) {
    std::unique_ptr<ByteSource> table = OpenSource(path);

    // The .MB of the same base name, whatever the case of its name; a table
    // named by its 8.3 short name has it under its long name.
    const std::u16string folder = FolderOfPath(path);
    std::u16string base = NameOfPath(LongPathOf(path));
    if (const std::size_t dot = base.rfind(u'.'); dot != std::u16string::npos) base.resize(dot);
    const std::u16string blobFileName = base + u".MB";
    std::u16string blobPath = JoinPath(folder, blobFileName);
    std::unique_ptr<ByteSource> blobs;
    if (std::optional<std::u16string> found = FindFileIgnoringCase(folder, blobFileName)) {
        blobPath = *found;
        OpenError error;
        if (std::optional<InputFile> file = InputFile::Open(blobPath, error)) {
            blobs = std::make_unique<FileSource>(std::move(*file));
        } else if (error.failure == OpenFailure::kLocked) {
            ThrowEngineError(EngineErrorCode::kFileLocked, {blobPath});
        } else if (error.failure == OpenFailure::kAccessDenied) {
            ThrowEngineError(EngineErrorCode::kAccessDenied, {blobPath, SystemErrorText(error.systemCode)});
        } else if (error.failure == OpenFailure::kNotARegularFile) {
            ThrowEngineError(EngineErrorCode::kNotARegularFile, {blobPath});
        } else if (error.failure != OpenFailure::kNotFound) {
            ThrowEngineError(EngineErrorCode::kCannotOpenFile, {blobPath, SystemErrorText(error.systemCode)});
        }
    }
    return ParadoxTable(std::move(table), path, std::move(blobs), blobPath, passwords, codePage);
}

ParadoxTable::ParadoxTable(ParadoxTable&&) noexcept = default;
ParadoxTable& ParadoxTable::operator=(ParadoxTable&&) noexcept = default;
ParadoxTable::~ParadoxTable() = default;

const TableInfo& ParadoxTable::info() const { return state_->info; }
const std::vector<FieldDescription>& ParadoxTable::fields() const { return state_->info.fields; }
const CodePage& ParadoxTable::codePage() const { return *state_->codePage; }

void ParadoxTable::First() {
    State& s = *state_;
    s.visited.reset();
    for (State::BlobBlock& block : s.blobBlocks) block.lastUse = 0;  // a new walk reads the .MB anew
    s.recordsSeen = 0;
    s.recordsInBlock = 0;
    s.recordInBlock = 0;
    s.eof = true;
    // An empty table may have no data block at all. Otherwise the chain is
    // walked even when the header counts no record, so records it holds
    // against the count are reported, not dropped.
    if (s.info.recordCount == 0 && (s.info.firstBlock == 0 || s.info.usedBlocks == 0)) return;
    if (s.info.firstBlock == 0) {
        s.HeaderDamaged(u"Der Kopf zählt " + Number(s.info.recordCount) + u" Datensätze, aber keinen ersten Block");
    }
    if (s.info.firstBlock > s.info.fileBlocks) {
        s.HeaderDamaged(u"Der erste Block " + Number(s.info.firstBlock) + u" liegt hinter dem letzten Block " +
                        Number(s.info.fileBlocks));
    }
    s.LoadBlock(s.info.firstBlock);
    s.recordInBlock = -1;
    s.Advance();
}

bool ParadoxTable::Eof() const { return state_->eof; }

void ParadoxTable::Next() {
    if (!state_->eof) state_->Advance();
}

bool ParadoxTable::IsNull(int field) const { return Value(field).kind == FieldValue::Kind::kNull; }

FieldValue ParadoxTable::Value(int field) const {
    state_->CurrentField(field);
    return state_->Decode(field);
}

bool ParadoxTable::TextInto(int field, std::u16string& text) const {
    const FieldDescription& description = state_->CurrentField(field);
    const std::uint8_t* data = state_->Record() + description.offset;
    const auto size = static_cast<std::size_t>(description.size);
    switch (description.type) {
        case FieldType::kAlpha:
            state_->codePage->DecodeInto(AlphaBytes(data, size), text);
            return true;
        case FieldType::kMemo:
        case FieldType::kFormattedMemo: {
            if (BlobIsNull(data, size)) {
                text.clear();
                return true;
            }
            std::string& bytes = state_->blobBytes;
            state_->ReadBlob(description, data, bytes);
            state_->codePage->DecodeInto(bytes, text);
            // A memo of many megabytes is not kept until the table closes.
            if (bytes.capacity() > kKeptBlobBytes) std::string().swap(bytes);
            return true;
        }
        default: return false;
    }
}

std::vector<FileIdentity> ParadoxTable::FileIdentities() const {
    std::vector<FileIdentity> identities;
    for (const ByteSource* source : {state_->table.get(), state_->blobs.get()}) {
        if (source == nullptr) continue;
        if (const std::optional<FileIdentity> identity = source->Identity()) identities.push_back(*identity);
    }
    return identities;
}

std::string_view ParadoxTable::RecordBytes() const {
    if (state_->eof) ThrowEngineError(EngineErrorCode::kNoCurrentRecord);
    return {reinterpret_cast<const char*>(state_->Record()), static_cast<std::size_t>(state_->info.recordSize)};
}

std::string ParadoxTable::TextBytes(int field) const {
    const FieldDescription& description = state_->CurrentField(field);
    const std::uint8_t* data = state_->Record() + description.offset;
    const auto size = static_cast<std::size_t>(description.size);
    switch (description.type) {
        case FieldType::kAlpha: return std::string(AlphaBytes(data, size));
        case FieldType::kMemo:
        case FieldType::kFormattedMemo:
            if (BlobIsNull(data, size)) return {};
            return state_->ReadBlob(description, data);
        default: return {};
    }
}

}  // namespace kosmara
