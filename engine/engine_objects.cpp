#include "engine/engine_objects.h"

#include <algorithm>

#include "engine/engine_error.h"
#include "engine/field_value.h"
#include "platform/input_file.h"

namespace kosmara {
namespace {

bool SameName(std::u16string_view a, std::u16string_view b) { return EqualIgnoringCase(a, b); }

// The part of a "NAME=VALUE" line before its "=".
std::u16string_view ParamName(std::u16string_view line) { return line.substr(0, line.find(u'=')); }

}  // namespace

Session& Session::Default() {
    static Session session(u"Default");
    return session;
}

void Session::AddPassword(std::u16string_view password) {
    if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end()) {
        passwords_.emplace_back(password);
    }
}

void Session::RemovePassword(std::u16string_view password) {
    passwords_.erase(std::remove(passwords_.begin(), passwords_.end(), password), passwords_.end());
}

Database::Database(Session& session)
    : session_(session),
      name_(u"Kosmara2AafDatabase"),
      driverName_(u"STANDARD"),
      params_{u"PATH=", u"DEFAULT DRIVER=PARADOX", u"ENABLE BCD=FALSE"} {}

Database::~Database() { Disconnect(); }

void Database::SetParam(std::u16string_view name, std::u16string_view value) {
    std::u16string line(name);
    line += u'=';
    line += value;
    for (std::u16string& param : params_) {
        if (SameName(ParamName(param), name)) {
            param = std::move(line);
            return;
        }
    }
    params_.push_back(std::move(line));
}

std::u16string Database::Param(std::u16string_view name) const {
    for (const std::u16string& param : params_) {
        const std::u16string_view key = ParamName(param);
        if (key.size() < param.size() && SameName(key, name)) return param.substr(key.size() + 1);
    }
    return {};
}

void Database::Connect() {
    if (connected_) return;
    // Without a folder the current one is the database.
    const std::u16string path = Param(u"PATH");
    std::u16string folder = path.empty() ? std::u16string(1, u'.') : path;
    if (!FolderExists(folder)) ThrowEngineError(EngineErrorCode::kFolderNotFound, {folder});
    folder_ = std::move(folder);
    connected_ = true;
}

void Database::Disconnect() {
    if (!connected_) return;
    // Close() reports back through TableClosed, which edits the list.
    const std::vector<Table*> tables = openTables_;
    for (Table* table : tables) table->Close();
    openTables_.clear();
    connected_ = false;
}

void Database::TableOpened(Table* table) { openTables_.push_back(table); }

void Database::TableClosed(Table* table) {
    openTables_.erase(std::remove(openTables_.begin(), openTables_.end(), table), openTables_.end());
    EndUnusedConnection();
}

void Database::EndUnusedConnection() {
    if (openTables_.empty() && !keepConnection()) connected_ = false;
}

Table::Table(Database& database) : database_(database) {}

Table::~Table() { Close(); }

std::u16string Table::TablePath() const {
    std::u16string name = tableName_;
    // No extension: a Paradox table.
    if (NameOfPath(name).find(u'.') == std::u16string::npos) name += u".DB";
    return JoinPath(database_.connected() ? database_.folder() : database_.Param(u"PATH"), name);
}

void Table::Open() {
    if (reader_) return;
    if (tableName_.empty()) ThrowEngineError(EngineErrorCode::kNoTableName);
    const bool connectedHere = !database_.connected();
    database_.Connect();
    try {
        reader_.emplace(ParadoxTable::Open(TablePath(), database_.session().passwords(), codePage_));
    } catch (...) {
        // A connection made only for this table ends with the failed open.
        if (connectedHere) database_.EndUnusedConnection();
        throw;
    }
    database_.TableOpened(this);
}

void Table::Close() {
    if (!reader_) return;
    reader_.reset();
    database_.TableClosed(this);
}

ParadoxTable& Table::OpenReader() {
    if (!reader_) ThrowEngineError(EngineErrorCode::kTableNotOpen);
    return *reader_;
}

const ParadoxTable& Table::OpenReader() const {
    if (!reader_) ThrowEngineError(EngineErrorCode::kTableNotOpen);
    return *reader_;
}

const std::vector<FieldDescription>& Table::Fields() const { return OpenReader().fields(); }
FieldValue Table::Value(int position) const { return OpenReader().Value(position); }
const ParadoxTable& Table::reader() const { return OpenReader(); }
ParadoxTable& Table::reader() { return OpenReader(); }
std::vector<FileIdentity> Table::OpenFileIdentities() const {
    return reader_ ? reader_->FileIdentities() : std::vector<FileIdentity>{};
}

void Table::First() { OpenReader().First(); }
bool Table::Eof() const { return OpenReader().Eof(); }
void Table::Next() { OpenReader().Next(); }
int Table::FieldCount() const { return static_cast<int>(OpenReader().fields().size()); }

std::optional<std::uint32_t> Table::RecordCountHint() const {
    if (!reader_) return std::nullopt;
    return reader_->info().recordCount;
}

std::u16string Table::ReadText(int position) { return FieldText(OpenReader(), position); }
void Table::ReadTextInto(int position, std::u16string& text) { FieldTextInto(OpenReader(), position, text); }
double Table::ReadReal(int position) { return FieldReal(OpenReader(), position); }
bool Table::ReadBoolean(int position) { return FieldBoolean(OpenReader(), position); }

}  // namespace kosmara
