#include "databases/export_job.h"

#include <algorithm>
#include <functional>
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
// file system lists them, each replacing a file of its name; the identities
// of the copies go to copied.
void CopyMatchingFiles(std::u16string_view folder, std::u16string_view mask, std::u16string_view staging,
                       std::vector<FileIdentity>& copied) {
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
        if (const std::optional<FileIdentity> identity = IdentityOfPath(target)) copied.push_back(*identity);
    }
}

// Whether a file left in the staging folder by an earlier export could be
// taken for one of this table's files: its name matches the mask, or
// continues the table's base name and a "." in any letter case.
bool IsStaleTableFile(std::u16string_view name, std::u16string_view mask, std::u16string_view base) {
    if (MatchesFileMask(name, mask)) return true;
    return name.size() > base.size() && EqualIgnoringCase(name.substr(0, base.size()), base) &&
           name[base.size()] == u'.';
}

// Takes the staging folder for this export: made where missing (a folder
// only the user can reach), held against other exports until the returned
// lock goes, and emptied of every file an earlier export left there under
// this table's names, so the engine finds this export's copies only.
FolderLock HoldStagingFolder(ExportContext& context, std::u16string_view staging, std::u16string_view tableFolder,
                             std::u16string_view storeFolder, std::u16string_view tableName) {
    CreatePrivateFolder(staging);
    // Were the staging folder one of the database's own (a link, or a
    // database kept there), the lock file, the clearing and the copies would
    // change the database.
    const std::optional<FileIdentity> stagingIdentity = IdentityOfPath(staging);
    if (stagingIdentity &&
        (stagingIdentity == IdentityOfPath(tableFolder) || stagingIdentity == IdentityOfPath(storeFolder))) {
        throw Error(FillMessage(kStagingFolderIsTableFolder, {staging}));
    }
    bool told = false;
    std::optional<FolderLock> lock =
        FolderLock::Acquire(staging, kStagingLockName, context.stagingWait, [&context, &told, staging] {
            if (!told) context.ui.WaitingForStagingFolder(staging);
            told = true;
            context.ui.StillWaiting();
        });
    if (!lock) throw Error(FillMessage(kStagingFolderBusy, {staging}));
    const std::u16string mask = FileMaskOf(tableName);
    const std::u16string base = BaseNameOf(tableName);
    if (const std::optional<std::vector<std::u16string>> names = ListFiles(staging)) {
        for (const std::u16string& name : *names) {
            if (IsStaleTableFile(name, mask, base)) RemoveFile(JoinPath(staging, name));
        }
    }
    return std::move(*lock);
}

// The table's files from its folder, then their VirtualStore copies, so a
// file in both ends up as the VirtualStore's.
void MergeIntoStaging(std::u16string_view tableFolder, std::u16string_view storeFolder, std::u16string_view staging,
                      std::u16string_view tableName, std::vector<FileIdentity>& copied) {
    const std::u16string mask = FileMaskOf(tableName);
    CopyMatchingFiles(tableFolder, mask, staging, copied);
    CopyMatchingFiles(storeFolder, mask, staging, copied);
}

// Every file the export reads, by identity: the files the engine holds open,
// the copies the merge made, and in each folder the table's files are read
// from the table's own Paradox files, named like the table (as given and in
// long form), a "." and an extension of the family. Other files beside the
// table (an earlier AAF file, the user's Horoskop.txt) are no table files.
std::vector<FileIdentity> FilesOfTable(const Table& table, const std::vector<std::u16string>& folders,
                                       std::u16string_view tableName, const std::vector<FileIdentity>& copied) {
    std::vector<FileIdentity> identities = table.OpenFileIdentities();
    identities.insert(identities.end(), copied.begin(), copied.end());
    std::u16string engineName(tableName);
    if (ExtensionStart(engineName) == std::u16string::npos) engineName += u".DB";
    for (const std::u16string& folder : folders) {
        const std::u16string bases[] = {BaseNameOf(engineName),
                                        BaseNameOf(NameOfPath(LongPathOf(JoinPath(folder, engineName))))};
        for (const std::u16string& base : bases) {
            for (const std::u16string& path : FilesNamedLike(folder, base + u".")) {
                const std::u16string name = NameOfPath(path);
                // The whole rest of the name is the extension: "Horoskop.DB.old" is none of the family.
                const std::u16string_view rest = std::u16string_view(name).substr(std::min(name.size(), base.size() + 1));
                if (!IsParadoxFamilyExtension(rest)) continue;
                if (const std::optional<FileIdentity> identity = IdentityOfPath(path)) identities.push_back(*identity);
            }
        }
    }
    return identities;
}

// The output, written beside its destination and put in place only when
// whole; refused, with the destination left as it was, when the destination
// is one of the table's files, however its name was spelled.
ReplacingOutputFile OpenOutputFile(std::u16string_view path, const std::vector<FileIdentity>& tableFiles,
                                   std::u16string_view tablePath, std::u16string_view message = kOutputIsTableFile) {
    const auto isTableFile = [&](const FileIdentity& identity) {
        return std::find(tableFiles.begin(), tableFiles.end(), identity) != tableFiles.end();
    };
    const auto refuse = [&] { return Error(FillMessage(message, {FullPath(path), tablePath})); };
    std::optional<ReplacingOutputFile> file;
    try {
        file.emplace(ReplacingOutputFile::Open(path));
    } catch (const Error&) {
        // A file the engine holds open cannot be opened unshared; say why.
        const std::optional<FileIdentity> identity = IdentityOfPath(path);
        if (identity && isTableFile(*identity)) throw refuse();
        throw;
    }
    if (file->DestinationIdentity() && isTableFile(*file->DestinationIdentity())) throw refuse();
    return std::move(*file);
}

// Whether two outputs would replace the same file.
bool SameDestination(const ReplacingOutputFile& a, const ReplacingOutputFile& b) {
    if (a.DestinationIdentity() && b.DestinationIdentity()) return *a.DestinationIdentity() == *b.DestinationIdentity();
    return SameFinalPath(a.finalPath(), b.finalPath());
}

// The AAF file's bytes into its temporary file; when the writer is done,
// first whatever must be in place with it (the report), then the AAF file
// itself, before the count message is shown.
class OutputSink final : public ByteSink {
public:
    OutputSink(ReplacingOutputFile& file, std::function<void()> beforeCommit)
        : file_(file), beforeCommit_(std::move(beforeCommit)) {}
    void Write(const char* data, std::size_t size) override { file_.Write(data, size); }
    void Finish() override {
        if (beforeCommit_) beforeCommit_();
        file_.Commit();
    }

private:
    ReplacingOutputFile& file_;
    std::function<void()> beforeCommit_;
};

}  // namespace

void OpenTableAskingPasswords(Session& session, Table& table, UserInterface& ui) {
    for (;;) {
        try {
            table.Open();
            return;
        } catch (const EngineError& error) {
            if (error.code() != EngineErrorCode::kInsufficientRights) throw;
            const std::optional<std::u16string> password = ui.AskPassword(table.TablePath());
            if (!password) throw;
            if (!password->empty()) session.AddPassword(*password);
        }
    }
}

std::u16string StagingFolderOf(const SystemServices& system) {
    return WithClosingSeparator(JoinPath(system.TemporaryFolder(), kStagingFolderName));
}

std::u16string ProposedOutputName(std::u16string_view tablePath) { return ReplaceExtension(tablePath, u".aaf"); }

std::u16string ProposedOutputFile(const SystemServices& system, std::u16string_view tablePath) {
    const std::u16string beside = ProposedOutputName(system.FileSystemPath(tablePath));
    if (system.FolderTakesNewFiles(FolderOfPath(beside))) return beside;
    const std::u16string name = NameOfPath(beside);
    for (const std::optional<std::u16string>& folder : {system.DocumentsFolder(), system.HomeFolder()}) {
        if (folder && system.FolderTakesNewFiles(*folder)) return JoinPath(*folder, name);
    }
    return beside;
}

std::u16string FileMaskOf(std::u16string_view tableName) { return BaseNameOf(tableName) + u".*"; }

bool IsParadoxFamilyExtension(std::u16string_view extension) {
    static constexpr std::u16string_view kNames[] = {u"DB",  u"MB",  u"PX",  u"VAL", u"TV",  u"TVF", u"FAM",
                                                     u"SET", u"F",   u"R",   u"FSL", u"RSL", u"SSL"};
    for (const std::u16string_view name : kNames) {
        if (EqualIgnoringCase(extension, name)) return true;
    }
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    const auto isHexDigit = [&](char16_t c) { return isDigit(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); };
    const auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; };
    if (extension.size() == 3) {
        const char16_t first = upper(extension[0]);
        // Secondary indexes .Xnn and .Ynn (hexadecimal), .XGn and .YGn.
        if ((first == u'X' || first == u'Y') && isHexDigit(extension[1]) && isHexDigit(extension[2])) return true;
        if ((first == u'X' || first == u'Y') && upper(extension[1]) == u'G' && isHexDigit(extension[2])) return true;
        // Numbered forms and reports .Fnn and .Rnn.
        if ((first == u'F' || first == u'R') && isDigit(extension[1]) && isDigit(extension[2])) return true;
    }
    if (extension.size() == 2) {
        const char16_t first = upper(extension[0]);
        if ((first == u'F' || first == u'R') && isDigit(extension[1])) return true;
    }
    return false;
}

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
    const std::optional<std::u16string> output = context.ui.AskOutputFile(ProposedOutputFile(system, tablePath));
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
    std::vector<FileIdentity> copied;
    // Held from before the merge until the table is closed (the connection
    // guard below goes first): no other export changes the copies meanwhile.
    std::optional<FolderLock> stagingLock;
    if (dataFolder != tableFolder) {
        const std::u16string staging = StagingFolderOf(system);
        stagingLock.emplace(HoldStagingFolder(context, staging, tableFolder, dataFolder, tableName));
        MergeIntoStaging(tableFolder, dataFolder, staging, tableName, copied);
        foldersRead.push_back(dataFolder);
        foldersRead.push_back(staging);
        dataFolder = staging;
    }

    context.session.SetNetworkControlFolder(temporaryFolder);
    context.database.SetParam(u"PATH", dataFolder);
    context.database.Connect();
    const ConnectionGuard guard(context.table, context.database);
    context.table.SetTableName(tableName);
    OpenTableAskingPasswords(context.session, context.table, context.ui);

    const std::vector<FileIdentity> tableFiles = FilesOfTable(context.table, foldersRead, tableName, copied);
    ReplacingOutputFile file = OpenOutputFile(*output, tableFiles, tablePath);
    std::optional<ReplacingOutputFile> report;
    if (reportFile != nullptr) {
        report.emplace(OpenOutputFile(*reportFile, tableFiles, tablePath, kReportIsTableFile));
        if (SameDestination(*report, file)) throw Error(FillMessage(kReportIsOutput, {FullPath(*reportFile)}));
    }
    if (findings == nullptr) {
        OutputSink sink(file, nullptr);
        return WriteAafFile(sink, context.table, context.ui, context.timeFormat);
    }
    CheckingCursor checked(context.table, *findings);
    if (!report) {
        OutputSink sink(file, nullptr);
        return WriteAafFile(sink, checked, context.ui, context.timeFormat);
    }
    // The report is put in place just before the AAF file, so the count
    // message finds both; after a failure it still tells the user where the
    // table broke, while the AAF file stays as it was.
    bool reportWritten = false;
    const auto writeReport = [&] {
        reportWritten = true;
        WriteCheckReportFile(*report, *findings);
        report->Commit();
    };
    OutputSink sink(file, writeReport);
    try {
        return WriteAafFile(sink, checked, context.ui, context.timeFormat);
    } catch (const Error& failure) {
        // The export's failure is what is reported.
        try {
            if (!reportWritten) writeReport();
        } catch (const Error& reportFailure) {
            throw Error(failure.message() + u"\n" + reportFailure.message());
        }
        throw;
    }
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
