// "export": one table or one registered row through the export job, and
// "export --all", every registered database in turn with its summary.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/console_ui.h"
#include "cli/registry_rows.h"
#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "engine/engine_error.h"
#include "engine/engine_objects.h"
#include "export/record_check.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

constexpr char16_t kNoSuchRow[] = u"Es gibt keine Zeile %s; \"kosmara2aaf list\" zeigt die Zeilen 1 bis %s.";
constexpr char16_t kNoRows[] = u"Es sind keine Datenbanken eingetragen.";
// After the count message of an export without AUSGABE whose table's folder
// took no new file; %s: the AAF file's path.
constexpr char16_t kSavedElsewhere[] =
    u"Im Ordner der Tabelle kann keine Datei angelegt werden; die AAF-Datei liegt stattdessen in \"%s\".";

// The summary of "export --all".
constexpr char16_t kSummaryHeader[] = u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis";
constexpr char16_t kModePlain[] = u"normal";
constexpr char16_t kModeXp[] = u"XP-Modus";
constexpr char16_t kSaved[] = u"gespeichert";
constexpr char16_t kSkippedMissing[] = u"übersprungen: die Datenbank existiert nicht";
constexpr char16_t kCancelled[] = u"abgebrochen";

// The --into folder refused before the first export; %s: its full path.
constexpr char16_t kIntoNotAFolder[] = u"\"%s\" (nach \"--into\") ist kein Ordner.";
constexpr char16_t kIntoCannotCreate[] = u"Der Ordner \"%s\" (nach \"--into\") kann nicht angelegt werden.";
// %s: the folder, %s: the system's reason.
constexpr char16_t kIntoNotWritable[] = u"In den Ordner \"%s\" (nach \"--into\") kann nicht geschrieben werden: %s.";
constexpr char16_t kIntoIsStagingFolder[] =
    u"Der Ordner \"%s\" (nach \"--into\") ist der Exportordner, in den Tabellen im XP-Modus kopiert werden; "
    u"die AAF-Dateien werden nicht dorthin geschrieben.";
// %s: the folder, %s: the registered table path.
constexpr char16_t kIntoIsTableFolder[] =
    u"Der Ordner \"%s\" (nach \"--into\") ist ein Ordner der Datenbank \"%s\"; "
    u"die AAF-Dateien werden nicht dorthin geschrieben.";

// One export through the export job with engine objects of its own; the
// number of horoscopes saved, nothing when the user gave up.
std::optional<std::int32_t> ExportOne(const SystemServices& system, ConsoleUserInterface& ui,
                                      std::u16string_view tablePath, bool xpMode, std::optional<int> codePage,
                                      const std::optional<std::u16string>& report = std::nullopt) {
    Session& session = Session::Default();
    Database db1(session);
    Table tbl1(db1);
    tbl1.SetCodePage(codePage);
    ExportContext context{system, session, db1, tbl1, ui, UserTimeFormatSettings()};
    if (!report) return ExportDatabase(context, tablePath, xpMode);
    std::vector<RecordFinding> findings;
    return ExportDatabase(context, tablePath, xpMode, findings, *report);
}

// Whether the file system compares names without regard to case: Windows
// does, and so do the Windows paths of a Wine prefix.
#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

// The AAF files of one "export --all", each row's a file of its own: when
// an earlier row of the run took a name, " (2)", " (3)" ... go before its
// ".aaf". Two names are one file when their folders are one (by identity
// where the folder exists, so two spellings of it count as one; else by the
// full path) and their last components are equal, both compared as the
// file system compares them: without regard to case on Windows and for the
// Windows paths of a Wine prefix, else exactly.
class BatchOutputNames {
public:
    explicit BatchOutputNames(bool ignoreCase) : ignoreCase_(ignoreCase) {}

    // stem: the output's path without its ".aaf". Returns the path to write,
    // stem as it was given with the number and ".aaf".
    std::u16string Take(std::u16string_view stem) {
        const std::u16string full = FullPath(stem);
        Taken candidate{FolderOfPath(full), IdentityOfPath(FolderOfPath(full)), {}};
        const std::u16string base = NameOfPath(full);
        for (int n = 1;; ++n) {
            std::u16string suffix;
            if (n > 1) {
                suffix = u" (";
                AppendDecimal(suffix, n, 1);
                suffix += u')';
            }
            suffix += u".aaf";
            candidate.name = base + suffix;
            const bool used =
                std::any_of(taken_.begin(), taken_.end(), [&](const Taken& other) { return Same(other, candidate); });
            if (!used) {
                taken_.push_back(std::move(candidate));
                return std::u16string(stem) + suffix;
            }
        }
    }

private:
    struct Taken {
        std::u16string folder;
        std::optional<FileIdentity> folderIdentity;
        std::u16string name;
    };

    bool SameText(std::u16string_view a, std::u16string_view b) const {
        return ignoreCase_ ? EqualIgnoringCase(a, b) : a == b;
    }
    bool Same(const Taken& a, const Taken& b) const {
        const bool sameFolder = a.folderIdentity && b.folderIdentity ? *a.folderIdentity == *b.folderIdentity
                                                                     : SameText(a.folder, b.folder);
        return sameFolder && SameText(a.name, b.name);
    }

    bool ignoreCase_;
    std::vector<Taken> taken_;
};

// The table's name without its extension, by the rules of the system that
// names it (a Windows path of a Wine prefix has "\" between its folders on
// Linux too).
std::u16string TableBaseName(const SystemServices& system, std::u16string_view tablePath) {
    std::u16string_view name = tablePath.substr(std::min(system.FolderOf(tablePath).size(), tablePath.size()));
    while (!name.empty() && (name.front() == u'\\' || name.front() == u'/')) name.remove_prefix(1);
    return BaseNameOf(name);
}

// Where a row's AAF file goes before it is numbered, without its ".aaf":
// in the --into folder under the table's name, else where the export job
// proposes it (beside the table, or in the documents folder where the
// table's folder takes no new file).
std::u16string OutputStem(const SystemServices& system, std::u16string_view tablePath,
                          const std::optional<std::u16string>& folder) {
    if (folder) return JoinPath(*folder, TableBaseName(system, tablePath));
    const std::u16string proposed = ProposedOutputFile(system, tablePath);
    return proposed.substr(0, proposed.size() - std::u16string_view(u".aaf").size());
}

// The identity of what one of system's paths names; nothing where nothing
// is, or where the file calls cannot reach the path.
std::optional<FileIdentity> IdentityOfSystemPath(const SystemServices& system, std::u16string_view path) {
    try {
        return IdentityOfPath(system.FileSystemPath(path));
    } catch (const Error&) {
        return std::nullopt;
    }
}

// The --into folder, made absolute, created where missing and checked
// before the first export: a folder the batch can write into that is
// neither the export staging folder (the XP-mode merge copies tables there)
// nor a folder any of the rows reads its table from.
std::u16string IntoFolder(std::u16string_view given, const SystemServices& system, const DatabaseRows& rows) {
    const std::u16string folder = FullPath(given);
    if (FileExists(folder)) throw Error(FillMessage(kIntoNotAFolder, {folder}));
    CreateFolders(folder);
    if (!FolderExists(folder)) throw Error(FillMessage(kIntoCannotCreate, {folder}));
    if (const std::optional<FileIdentity> identity = IdentityOfPath(folder)) {
        if (identity == IdentityOfSystemPath(system, StagingFolderOf(system)))
            throw Error(FillMessage(kIntoIsStagingFolder, {folder}));
        for (std::size_t row = 0; row < rows.paths.size(); ++row) {
            if (rows.items[row].starts_with(kMissingPrefix)) continue;
            // The registered folder, and for an XP-mode row its VirtualStore folder.
            for (const std::u16string* path : {&rows.purePaths[row], &rows.paths[row]}) {
                if (identity == IdentityOfSystemPath(system, system.FolderOf(*path)))
                    throw Error(FillMessage(kIntoIsTableFolder,
                                            {folder, VisibleText(rows.purePaths[row], Backslashes::kKept)}));
            }
        }
    }
    if (const std::optional<std::u16string> why = CannotCreateFilesIn(folder))
        throw Error(FillMessage(kIntoNotWritable, {folder, *why}));
    return folder;
}

// Text from the registry, or a message quoting it, as the console shows it:
// control characters visible (core/text.h), a backslash as it is.
std::string Shown(std::u16string_view text) { return ToReadableUtf8(VisibleText(text, Backslashes::kKept)); }

// One line of the summary; a tab, line break or other control character in
// a path or message is shown visibly and never breaks the columns.
std::string SummaryLine(std::initializer_list<std::u16string_view> columns) {
    std::u16string line;
    bool first = true;
    for (const std::u16string_view column : columns) {
        if (!first) line += u'\t';
        first = false;
        line += VisibleText(column, Backslashes::kKept);
    }
    return ToReadableUtf8(line);
}

// The export of a registered row: its failure's message quotes the path
// from the registry, so it goes on with the control characters visible (an
// engine error keeps its code, which the password hint looks at).
template <typename Run>
auto WithRegisteredPathShown(Run run) {
    try {
        return run();
    } catch (const EngineError& error) {
        throw EngineError(error.code(), VisibleText(error.message(), Backslashes::kKept));
    } catch (const Error& error) {
        throw Error(VisibleText(error.message(), Backslashes::kKept));
    }
}

}  // namespace

void RunExport(const Command& command, CommandLineEnvironment& environment) {
    std::u16string tablePath;
    bool xpMode = command.xpMode;
    std::size_t outputOperand = 1;
    RegistrySystem registry;
    registry.system = &environment.system;
    if (command.row) {
        registry = SystemOfRegistry(command, environment);
        const DatabaseRows rows = DiscoveredRows(*registry.system);
        if (rows.paths.empty()) throw Error(kNoRows);
        if (static_cast<std::size_t>(*command.row) > rows.paths.size()) {
            std::u16string number;
            std::u16string last;
            AppendDecimal(number, *command.row, 1);
            AppendDecimal(last, static_cast<long long>(rows.paths.size()), 1);
            throw Error(FillMessage(kNoSuchRow, {number, last}));
        }
        const RowExport row = ExportOfRow(rows, *command.row - 1);
        tablePath = row.path;
        xpMode = row.xpMode;
        outputOperand = 0;
    } else {
        tablePath = FullPath(command.operands[0]);
    }
    std::optional<std::u16string> output;
    if (command.operands.size() > outputOperand) output = command.operands[outputOperand];

    const PasswordScope passwords(Session::Default(), command.passwords);
    ConsoleUserInterface ui(environment, std::move(output));
    const auto run = [&] { return ExportOne(*registry.system, ui, tablePath, xpMode, command.codePage, command.report); };
    const std::optional<std::int32_t> count = command.row ? WithRegisteredPathShown(run) : run();
    // Without AUSGABE the file went where the export job proposed it; one
    // line says so where that is not beside the table.
    if (count && command.operands.size() <= outputOperand &&
        ui.chosen() != ProposedOutputName(registry.system->FileSystemPath(tablePath))) {
        WriteLine(environment.out, Shown(FillMessage(kSavedElsewhere, {FullPath(ui.chosen())})));
    }
}

// Every registered database, one after the other, each failure noted and
// the next one taken; the summary at the end. True when every one was saved.
bool RunExportAll(const Command& command, CommandLineEnvironment& environment) {
    const RegistrySystem registry = SystemOfRegistry(command, environment);
    const DatabaseRows rows = DiscoveredRows(*registry.system);
    if (rows.paths.empty()) throw Error(kNoRows);
    std::optional<std::u16string> folder;
    if (command.into) folder = IntoFolder(*command.into, *registry.system, rows);
    const PasswordScope passwords(Session::Default(), command.passwords);
    BatchOutputNames outputs(kNamesIgnoreCase || registry.prefix != nullptr);
    std::vector<std::string> summary{ToReadableUtf8(kSummaryHeader)};
    bool allSaved = true;
    for (std::size_t row = 0; row < rows.paths.size(); ++row) {
        const std::u16string& registered = rows.purePaths[row];
        if (rows.items[row].starts_with(kMissingPrefix)) {
            environment.err << Shown(rows.items[row]) << '\n' << std::flush;
            summary.push_back(SummaryLine({registered, u"", u"", u"", kSkippedMissing}));
            allSaved = false;
            continue;
        }
        const RowExport exportOfRow = ExportOfRow(rows, static_cast<std::ptrdiff_t>(row));
        const std::u16string_view mode = exportOfRow.xpMode ? kModeXp : kModePlain;
        std::optional<ConsoleUserInterface> ui;
        try {
            ui.emplace(environment, outputs.Take(OutputStem(*registry.system, exportOfRow.path, folder)),
                       /*quiet=*/true);
            const std::optional<std::int32_t> count =
                ExportOne(*registry.system, *ui, exportOfRow.path, exportOfRow.xpMode, std::nullopt);
            if (count) {
                std::u16string number;
                AppendDecimal(number, *count, 1);
                summary.push_back(SummaryLine({registered, mode, number, ui->chosen(), kSaved}));
            } else {
                summary.push_back(SummaryLine({registered, mode, u"", u"", kCancelled}));
                allSaved = false;
            }
        } catch (const Error& error) {
            environment.err << Shown(registered) << ": " << Shown(error.message()) << '\n' << std::flush;
            summary.push_back(SummaryLine({registered, mode, u"", ui ? ui->chosen() : u"", error.message()}));
            allSaved = false;
        }
    }
    for (const std::string& line : summary) WriteLine(environment.out, line);
    return allSaved;
}

}  // namespace kosmara
