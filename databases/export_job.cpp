#include "databases/export_job.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "databases/discovery.h"
#include "engine/engine_error.h"
#include "export/aaf_writer.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace kosmara {

namespace {

// Characters no Windows path may hold; POSIX names take every byte but 0.
bool HasInvalidPathCharacters(std::u16string_view path) {
    return std::any_of(path.begin(), path.end(), [](char16_t c) {
#ifdef _WIN32
        return c < 0x20 || c == u'"' || c == u'<' || c == u'>' || c == u'|';
#else
        return c == 0;
#endif
    });
}

bool SameMaskCharacter(char16_t a, char16_t b) {
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; };
    return upper(a) == upper(b);
}

// Closes the table and ends the connection on every way out.
class ConnectionGuard {
public:
    ConnectionGuard(Table& table, Database& database) : table_(table), database_(database) {}
    ConnectionGuard(const ConnectionGuard&) = delete;
    ConnectionGuard& operator=(const ConnectionGuard&) = delete;
    ~ConnectionGuard() {
        table_.Close();
        database_.Disconnect();
    }

private:
    Table& table_;
    Database& database_;
};

// Copies the files of folder that match mask into staging, in the order the
// file system lists them, each replacing a file of its name.
void CopyMatchingFiles(std::u16string_view folder, std::u16string_view mask, std::u16string_view staging) {
    const std::optional<std::vector<std::u16string>> names = ListFiles(folder);
    if (!names) throw Error(kPathNotFound);
    for (const std::u16string& name : *names) {
        if (!MatchesFileMask(name, mask)) continue;
        const std::u16string source = JoinPath(folder, name);
        const std::u16string target = JoinPath(staging, name);
        if (source.size() >= MaxCopyPathLength() || target.size() >= MaxCopyPathLength()) throw Error(kPathTooLong);
        // A staging folder that could not be made.
        if (!FolderExists(staging)) throw Error(kPathNotFound);
        CopyFileReplacing(source, target);
    }
}

// The table's files from its folder, then their VirtualStore copies, so a
// file in both ends up as the VirtualStore's.
void MergeIntoStaging(std::u16string_view tableFolder, std::u16string_view storeFolder, std::u16string_view staging,
                      std::u16string_view tableName) {
    CreateFolders(staging);
    // Were the staging folder one of the database's own (a link, or a
    // database kept there), the copies would change the database.
    const std::optional<FileIdentity> stagingIdentity = IdentityOfPath(staging);
    if (stagingIdentity &&
        (stagingIdentity == IdentityOfPath(tableFolder) || stagingIdentity == IdentityOfPath(storeFolder))) {
        throw Error(FillMessage(kStagingFolderIsTableFolder, {staging}));
    }
    const std::u16string mask = FileMaskOf(tableName);
    CopyMatchingFiles(tableFolder, mask, staging);
    CopyMatchingFiles(storeFolder, mask, staging);
}

// Opens the table with the session's passwords; a protected table that none
// of them opens makes the user interface ask for another, until one opens
// it or the user gives up.
void OpenTable(ExportContext& context) {
    for (;;) {
        try {
            context.table.Open();
            return;
        } catch (const EngineError& error) {
            if (error.code() != EngineErrorCode::kInsufficientRights) throw;
            const std::optional<std::u16string> password = context.ui.AskPassword(context.table.TablePath());
            if (!password) throw;
            if (!password->empty()) context.session.AddPassword(*password);
        }
    }
}

// Every file the export reads, by identity: the files the engine holds open,
// and in each folder the export reads from the table's companion files, the
// ones named like the table (as given and in long form) followed by ".".
// Earlier AAF files beside the table are no table files.
std::vector<FileIdentity> FilesOfTable(const Table& table, const std::vector<std::u16string>& folders,
                                       std::u16string_view tableName) {
    std::vector<FileIdentity> identities = table.OpenFileIdentities();
    std::u16string engineName(tableName);
    if (ExtensionStart(engineName) == std::u16string::npos) engineName += u".DB";
    for (const std::u16string& folder : folders) {
        const std::u16string bases[] = {BaseNameOf(engineName),
                                        BaseNameOf(NameOfPath(LongPathOf(JoinPath(folder, engineName))))};
        for (const std::u16string& base : bases) {
            for (const std::u16string& path : FilesNamedLike(folder, base + u".")) {
                if (EndsWithIgnoringCase(path, u".aaf")) continue;
                if (const std::optional<FileIdentity> identity = IdentityOfPath(path)) identities.push_back(*identity);
            }
        }
    }
    return identities;
}

// The output file, opened without emptying it; refused, and left as it was,
// when it is one of the table's files, however its name was spelled.
OutputFile OpenOutputFile(std::u16string_view path, const std::vector<FileIdentity>& tableFiles,
                          std::u16string_view tablePath) {
    const auto isTableFile = [&](const FileIdentity& identity) {
        return std::find(tableFiles.begin(), tableFiles.end(), identity) != tableFiles.end();
    };
    const auto refuse = [&] { return Error(FillMessage(kOutputIsTableFile, {FullPath(path), tablePath})); };
    std::optional<OutputFile> file;
    try {
        file.emplace(OutputFile::Open(path));
    } catch (const Error&) {
        // A file the engine holds open cannot be opened unshared; say why.
        const std::optional<FileIdentity> identity = IdentityOfPath(path);
        if (identity && isTableFile(*identity)) throw refuse();
        throw;
    }
    if (isTableFile(file->Identity())) throw refuse();
    return std::move(*file);
}

}  // namespace

std::u16string StagingFolderOf(const SystemServices& system) {
    return WithClosingSeparator(JoinPath(system.TemporaryFolder(), kStagingFolderName));
}

std::u16string ProposedOutputName(std::u16string_view tablePath) { return ReplaceExtension(tablePath, u".aaf"); }

std::u16string FileMaskOf(std::u16string_view tableName) { return BaseNameOf(tableName) + u".*"; }

bool MatchesFileMask(std::u16string_view name, std::u16string_view mask) {
    // Greedy matching with one point to return to: the last "*" seen.
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starAt = std::u16string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starAt = m++;
            starName = n;
        } else if (m < mask.size() && SameMaskCharacter(name[n], mask[m])) {
            ++n;
            ++m;
        } else if (starAt != std::u16string_view::npos) {
            m = starAt + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}

namespace {

std::optional<std::int32_t> Export(ExportContext& context, std::u16string_view tablePath, bool xpMode,
                                   std::vector<RecordFinding>* findings, const std::u16string* reportFile) {
    // The table as the file calls reach it; the system's own path for the
    // VirtualStore mapping and the messages.
    const SystemServices& system = context.system;
    const std::u16string tableFile = system.FileSystemPath(tablePath);
    const std::optional<std::u16string> output = context.ui.AskOutputFile(ProposedOutputName(tableFile));
    if (!output) return std::nullopt;

    if (HasInvalidPathCharacters(tablePath)) throw Error(kInvalidPathCharacters);
    const std::u16string tableName = NameOfPath(tableFile);
    const std::u16string temporaryFolder = system.TemporaryFolder();
    if (tableFile.size() >= MaxPathLength()) throw Error(kPathTooLong);
    const std::u16string tableFolder = FolderOfPath(tableFile);

    std::u16string dataFolder = tableFolder;
    std::u16string mapped;
    if (xpMode && MapToVirtualStore(system, system.FolderOf(tablePath), mapped)) dataFolder = system.FileSystemPath(mapped);
    std::vector<std::u16string> foldersRead = {tableFolder};
    if (dataFolder != tableFolder) {
        const std::u16string staging = StagingFolderOf(system);
        MergeIntoStaging(tableFolder, dataFolder, staging, tableName);
        foldersRead.push_back(dataFolder);
        foldersRead.push_back(staging);
        dataFolder = staging;
    }

    context.session.SetNetworkControlFolder(temporaryFolder);
    context.database.SetParam(u"PATH", dataFolder);
    context.database.Connect();
    const ConnectionGuard guard(context.table, context.database);
    context.table.SetTableName(tableName);
    OpenTable(context);

    const std::vector<FileIdentity> tableFiles = FilesOfTable(context.table, foldersRead, tableName);
    OutputFile file = OpenOutputFile(*output, tableFiles, tablePath);
    std::optional<OutputFile> report;
    if (reportFile != nullptr) {
        const std::optional<FileIdentity> existing = IdentityOfPath(*reportFile);
        if (existing && *existing == file.Identity()) throw Error(FillMessage(kReportIsOutput, {FullPath(*reportFile)}));
        report.emplace(OpenOutputFile(*reportFile, tableFiles, tablePath));
        if (report->Identity() == file.Identity()) throw Error(FillMessage(kReportIsOutput, {FullPath(*reportFile)}));
    }
    file.Truncate();
    if (findings == nullptr) return WriteAafFile(file, context.table, context.ui, context.timeFormat);
    CheckingCursor checked(context.table, *findings);
    if (!report) return WriteAafFile(file, checked, context.ui, context.timeFormat);
    report->Truncate();
    std::int32_t count = 0;
    try {
        count = WriteAafFile(file, checked, context.ui, context.timeFormat);
    } catch (const Error& failure) {
        // The report of the records walked so far still tells the user where
        // the table broke; the export's failure is what is reported.
        try {
            WriteCheckReportFile(*report, *findings);
        } catch (const Error& reportFailure) {
            throw Error(failure.message() + u"\n" + reportFailure.message());
        }
        throw;
    }
    WriteCheckReportFile(*report, *findings);
    return count;
}

}  // namespace

std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode) {
    return Export(context, tablePath, xpMode, nullptr, nullptr);
}

std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode,
                                           std::vector<RecordFinding>& findings) {
    return Export(context, tablePath, xpMode, &findings, nullptr);
}

std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode,
                                           std::vector<RecordFinding>& findings, const std::u16string& reportFile) {
    return Export(context, tablePath, xpMode, &findings, &reportFile);
}

}  // namespace kosmara
