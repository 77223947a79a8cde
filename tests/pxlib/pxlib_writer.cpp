#include "tests/pxlib/pxlib_writer.h"

#include <iconv.h>

// paradox.h declares C functions without extern "C".
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kosmara::testing {

namespace {

// pxlib frees the field array and its names in PX_delete, so both come from
// its own allocator.
pxfield_t* MakeFieldArray(pxdoc_t* doc, const std::vector<PxField>& fields) {
    auto* array = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "kosmara fields"));
    if (array == nullptr) throw std::runtime_error("pxlib: no memory for the field array");
    for (std::size_t i = 0; i < fields.size(); ++i) {
        array[i].px_fname = PX_strdup(doc, fields[i].name.c_str());
        array[i].px_ftype = static_cast<char>(fields[i].type);
        array[i].px_flen = fields[i].type == PxType::kBcd ? 17 : fields[i].size;
        array[i].px_fdc = fields[i].decimals;
    }
    return array;
}

}  // namespace

PxlibWriter::PxlibWriter(const std::filesystem::path& path, const std::vector<PxField>& fields, int codePage,
                         bool withBlobFile)
    : fields_(fields) {
    doc_ = PX_new3(&PxlibWriter::OnError, nullptr, nullptr, nullptr, this);
    if (doc_ == nullptr) throw std::runtime_error("pxlib: PX_new3 failed");
    for (const PxField& field : fields_) recordSize_ += field.type == PxType::kBcd ? 17 : field.size;
    pxfield_t* array = MakeFieldArray(doc_, fields_);
    if (PX_create_file(doc_, array, static_cast<int>(fields_.size()), path.string().c_str(), pxfFileTypNonIndexDB) <
        0) {
        // The array is not owned by the document yet.
        for (std::size_t i = 0; i < fields_.size(); ++i) doc_->free(doc_, array[i].px_fname);
        doc_->free(doc_, array);
        PX_delete(doc_);
        doc_ = nullptr;
        throw std::runtime_error("pxlib: cannot create " + path.string());
    }
    // pxlib stores the full path as the table name; Paradox keeps the file name.
    PX_set_tablename(doc_, path.filename().string().c_str());
    // PX_create_file always writes code page 1252; the header is written
    // again with every record, so the code page set here is what lands.
    doc_->px_head->px_doscodepage = codePage;
    if (withBlobFile) {
        std::filesystem::path blobPath = path;
        blobPath.replace_extension(".MB");
        if (PX_set_blob_file(doc_, blobPath.string().c_str()) < 0) {
            Close();
            throw std::runtime_error("pxlib: cannot create " + blobPath.string());
        }
    }
    CheckErrors("create");
}

PxlibWriter::~PxlibWriter() { Close(); }

void PxlibWriter::Close() {
    if (doc_ == nullptr) return;
    PX_close(doc_);
    PX_delete(doc_);
    doc_ = nullptr;
}

void PxlibWriter::OnError(px_doc*, int level, const char* message, void* self) {
    static_cast<PxlibWriter*>(self)->errors_.push_back("[" + std::to_string(level) + "] " + message);
}

void PxlibWriter::CheckErrors(const char* what) {
    if (errors_.empty()) return;
    std::string text = std::string("pxlib ") + what + ":";
    for (const std::string& error : errors_) text += " " + error;
    errors_.clear();
    throw std::runtime_error(text);
}

void PxlibWriter::Insert(const std::vector<PxCell>& record) {
    if (record.size() != fields_.size()) throw std::logic_error("PxlibWriter::Insert: wrong number of values");
    std::vector<pxval_t*> values(record.size());
    for (std::size_t i = 0; i < record.size(); ++i) {
        pxval_t* value;
        MAKE_PXVAL(doc_, value);
        values[i] = value;
        const PxCell& cell = record[i];
        value->isnull = cell.null ? 1 : 0;
        value->type = static_cast<int>(fields_[i].type);
        switch (fields_[i].type) {
        case PxType::kMoney:
        case PxType::kNumber:
        case PxType::kTimestamp:
            value->value.dval = cell.real;
            break;
        case PxType::kAlpha:
        case PxType::kMemo:
        case PxType::kBlob:
        case PxType::kOle:
        case PxType::kBcd:
        case PxType::kBytes:
            // Alpha goes through strlen: the std::string keeps its NUL.
            value->value.str.val = const_cast<char*>(cell.bytes.c_str());
            value->value.str.len = static_cast<int>(cell.bytes.size());
            break;
        default:
            value->value.lval = static_cast<long>(cell.integer);
            break;
        }
    }
    int result = PX_insert_record(doc_, values.data());
    for (pxval_t* value : values) doc_->free(doc_, value);
    if (result < 0) errors_.push_back("PX_insert_record failed");
    CheckErrors("insert");
}

void PxlibWriter::PutRaw(const std::vector<PxCell>& record) {
    if (record.size() != fields_.size()) throw std::logic_error("PxlibWriter::PutRaw: wrong number of values");
    std::string data(static_cast<std::size_t>(recordSize_), '\0');
    int offset = 0;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const PxField& field = fields_[i];
        const PxCell& cell = record[i];
        char* at = data.data() + offset;
        char* bytes = const_cast<char*>(cell.bytes.c_str());
        int length = static_cast<int>(cell.bytes.size());
        offset += field.type == PxType::kBcd ? 17 : field.size;
        if (cell.null) continue;  // blank: all zero
        switch (field.type) {
        case PxType::kAlpha:
            PX_put_data_alpha(doc_, at, field.size, bytes);
            break;
        case PxType::kShort:
            PX_put_data_short(doc_, at, 2, static_cast<short>(cell.integer));
            break;
        case PxType::kDate:
        case PxType::kLong:
        case PxType::kTime:
        case PxType::kAutoIncrement:
            PX_put_data_long(doc_, at, 4, static_cast<int>(cell.integer));
            break;
        case PxType::kMoney:
        case PxType::kNumber:
        case PxType::kTimestamp:
            PX_put_data_double(doc_, at, 8, cell.real);
            break;
        case PxType::kLogical:
            PX_put_data_byte(doc_, at, 1, static_cast<char>(cell.integer));
            break;
        case PxType::kMemo:
        case PxType::kBlob:
        case PxType::kOle:
            if (PX_put_data_blob(doc_, at, field.size, bytes, length) < 0) errors_.push_back("PX_put_data_blob failed");
            break;
        case PxType::kBcd:
            // len is the number of decimals here.
            PX_put_data_bcd(doc_, at, field.decimals, bytes);
            break;
        case PxType::kBytes:
            PX_put_data_bytes(doc_, at, std::min(field.size, length), bytes);
            break;
        }
    }
    CheckErrors("put data");
    if (PX_put_record(doc_, data.data()) < 0) errors_.push_back("PX_put_record failed");
    CheckErrors("put record");
}

std::string EncodeCodePage(std::u16string_view text, int codePage) {
    std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open(name.c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv knows no " + name);
    std::string input;
    for (char16_t c : text) {
        input.push_back(static_cast<char>(c & 0xFF));
        input.push_back(static_cast<char>(c >> 8));
    }
    std::string output(text.size() * 4 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    int error = errno;
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1) || result != 0) {
        std::size_t at = (input.size() - inLeft) / 2;
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", at < text.size() ? static_cast<unsigned>(text[at]) : 0u);
        throw std::runtime_error(name + " cannot encode " + code + " (" + std::strerror(error) + ")");
    }
    output.resize(output.size() - outLeft);
    return output;
}

}  // namespace kosmara::testing
