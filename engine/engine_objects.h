// The engine objects the export job works with: the default session, a
// database on a folder of table files (db1) and a table of it (tbl1). The
// table is the record cursor the AAF writer walks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/paradox_table.h"
#include "core/record_cursor.h"

namespace kosmara {

class Table;

class Session {
public:
    // The process's one session, named "Default".
    static Session& Default();

    explicit Session(std::u16string name) : name_(std::move(name)) {}

    const std::u16string& name() const noexcept { return name_; }

    // The folder for the network control file. Our engine keeps no such file
    // (it writes nothing anywhere); the folder is stored and kept.
    void SetNetworkControlFolder(std::u16string folder) { networkControlFolder_ = std::move(folder); }
    const std::u16string& networkControlFolder() const noexcept { return networkControlFolder_; }

    // Passwords for protected tables; they stay until removed.
    void AddPassword(std::u16string_view password);
    void RemovePassword(std::u16string_view password);
    void RemoveAllPasswords() { passwords_.clear(); }
    const std::vector<std::u16string>& passwords() const noexcept { return passwords_; }

private:
    std::u16string name_;
    std::u16string networkControlFolder_;
    std::vector<std::u16string> passwords_;
};

// A read-only, shared connection to a folder of Paradox tables: driver
// "STANDARD", parameters "PATH=<folder>", "DEFAULT DRIVER=PARADOX" and
// "ENABLE BCD=FALSE". It keeps no connection: closing its last open table
// disconnects it.
class Database {
public:
    explicit Database(Session& session = Session::Default());
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    Session& session() const noexcept { return session_; }
    const std::u16string& name() const noexcept { return name_; }
    const std::u16string& driverName() const noexcept { return driverName_; }
    bool readOnly() const noexcept { return true; }
    bool exclusive() const noexcept { return false; }
    bool keepConnection() const noexcept { return false; }

    // "NAME=VALUE" lines; SetParam replaces the value of a name (compared
    // without regard to case) or adds the line.
    const std::vector<std::u16string>& params() const noexcept { return params_; }
    void SetParam(std::u16string_view name, std::u16string_view value);
    std::u16string Param(std::u16string_view name) const;

    // Opens the folder named by "PATH" (kFolderNotFound when there is none).
    // Connecting a connected database does nothing.
    void Connect();
    // Closes every open table of the database, then ends the connection; a
    // disconnected database stays as it is.
    void Disconnect();
    bool connected() const noexcept { return connected_; }
    // The folder opened by Connect.
    const std::u16string& folder() const noexcept { return folder_; }

private:
    friend class Table;
    void TableOpened(Table* table);
    void TableClosed(Table* table);
    // Without a kept connection, a database with no open table disconnects.
    void EndUnusedConnection();

    Session& session_;
    std::u16string name_;
    std::u16string driverName_;
    std::vector<std::u16string> params_;
    bool connected_ = false;
    std::u16string folder_;
    std::vector<Table*> openTables_;
};

// A table of a database, opened by file name, read-only and shared. A name
// without an extension is taken as a Paradox table (".DB" is added).
class Table : public RecordCursor {
public:
    explicit Table(Database& database);
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ~Table() override;

    Database& database() const noexcept { return database_; }
    void SetTableName(std::u16string name) { tableName_ = std::move(name); }
    const std::u16string& tableName() const noexcept { return tableName_; }
    // Reads the table's text in this code page instead of the one its header
    // names (for tables whose header is wrong); takes effect at Open.
    void SetCodePage(std::optional<int> codePage) { codePage_ = codePage; }
    std::optional<int> codePage() const noexcept { return codePage_; }
    // The path of the table file in the database's folder.
    std::u16string TablePath() const;

    // Connects the database when needed, opens the table with the session's
    // passwords and moves to the first record. Opening an open table does
    // nothing.
    void Open();
    // Releases the files; the database disconnects when no table of it stays
    // open. Closing a closed table does nothing.
    void Close();
    bool active() const noexcept { return reader_.has_value(); }

    const std::vector<FieldDescription>& Fields() const;
    FieldValue Value(int position) const;
    const ParadoxTable& reader() const;
    // The same for walking the table's raw bytes; moving it moves the table.
    ParadoxTable& reader();
    // The identities of the files the open table is read from; none when closed.
    std::vector<FileIdentity> OpenFileIdentities() const;

    void First() override;
    bool Eof() const override;
    void Next() override;
    int FieldCount() const override;
    std::optional<std::uint32_t> RecordCountHint() const override;

protected:
    std::u16string ReadText(int position) override;
    void ReadTextInto(int position, std::u16string& text) override;
    double ReadReal(int position) override;
    bool ReadBoolean(int position) override;

private:
    ParadoxTable& OpenReader();
    const ParadoxTable& OpenReader() const;

    Database& database_;
    std::u16string tableName_ = u"Horoskop.DB";
    std::optional<int> codePage_;
    std::optional<ParadoxTable> reader_;
};

}  // namespace kosmara
