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
#include "engine/engine_objects.h"
#include "export/record_check.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

constexpr char16_t kNoSuchRow[] = u"Es gibt keine Zeile %s; \"kosmara2aaf list\" zeigt die Zeilen 1 bis %s.";
constexpr char16_t kNoRows[] = u"Es sind keine Datenbanken eingetragen.";

// The summary of "export --all".
constexpr char16_t kSummaryHeader[] = u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis";
constexpr char16_t kModePlain[] = u"normal";
constexpr char16_t kModeXp[] = u"XP-Modus";
constexpr char16_t kSaved[] = u"gespeichert";
constexpr char16_t kSkippedMissing[] = u"übersprungen: die Datenbank existiert nicht";
constexpr char16_t kCancelled[] = u"abgebrochen";

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

// The name for a table's AAF file in the --into folder: the table's base
// name with ".aaf", and " (2)", " (3)" ... before it when an earlier
// database of the run took that name (names compared as the file system
// compares them, without regard to case).
std::u16string UniqueOutputName(const SystemServices& system, std::u16string_view tablePath,
                                std::vector<std::u16string>& taken) {
    // The table's name by the rules of the system that names it (a Windows
    // path of a Wine prefix has "\" between its folders on Linux too).
    std::u16string_view name = tablePath.substr(std::min(system.FolderOf(tablePath).size(), tablePath.size()));
    while (!name.empty() && (name.front() == u'\\' || name.front() == u'/')) name.remove_prefix(1);
    const std::u16string base = BaseNameOf(name);
    for (int n = 1;; ++n) {
        std::u16string name = base;
        if (n > 1) {
            name += u" (";
            AppendDecimal(name, n, 1);
            name += u')';
        }
        name += u".aaf";
        const bool used = std::any_of(taken.begin(), taken.end(),
                                      [&](const std::u16string& other) { return EqualIgnoringCase(other, name); });
        if (!used) {
            taken.push_back(name);
            return name;
        }
    }
}

// One line of the summary; tabs and line breaks of a message become blanks.
std::string SummaryLine(std::initializer_list<std::u16string_view> columns) {
    std::u16string line;
    bool first = true;
    for (const std::u16string_view column : columns) {
        if (!first) line += u'\t';
        first = false;
        for (const char16_t c : column) line += (c == u'\t' || c == u'\r' || c == u'\n') ? u' ' : c;
    }
    return ToReadableUtf8(line);
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
    ExportOne(*registry.system, ui, tablePath, xpMode, command.codePage, command.report);
}

// Every registered database, one after the other, each failure noted and
// the next one taken; the summary at the end. True when every one was saved.
bool RunExportAll(const Command& command, CommandLineEnvironment& environment) {
    const RegistrySystem registry = SystemOfRegistry(command, environment);
    const DatabaseRows rows = DiscoveredRows(*registry.system);
    if (rows.paths.empty()) throw Error(kNoRows);
    std::optional<std::u16string> folder;
    if (command.into) {
        folder = FullPath(*command.into);
        CreateFolders(*folder);
    }
    const PasswordScope passwords(Session::Default(), command.passwords);
    std::vector<std::u16string> taken;
    std::vector<std::string> summary{ToReadableUtf8(kSummaryHeader)};
    bool allSaved = true;
    for (std::size_t row = 0; row < rows.paths.size(); ++row) {
        const std::u16string& registered = rows.purePaths[row];
        if (rows.items[row].starts_with(kMissingPrefix)) {
            environment.err << ToReadableUtf8(rows.items[row]) << '\n' << std::flush;
            summary.push_back(SummaryLine({registered, u"", u"", u"", kSkippedMissing}));
            allSaved = false;
            continue;
        }
        const RowExport exportOfRow = ExportOfRow(rows, static_cast<std::ptrdiff_t>(row));
        std::optional<std::u16string> output;
        if (folder) output = JoinPath(*folder, UniqueOutputName(*registry.system, exportOfRow.path, taken));
        ConsoleUserInterface ui(environment, output, /*quiet=*/true);
        const std::u16string_view mode = exportOfRow.xpMode ? kModeXp : kModePlain;
        try {
            const std::optional<std::int32_t> count =
                ExportOne(*registry.system, ui, exportOfRow.path, exportOfRow.xpMode, std::nullopt);
            if (count) {
                std::u16string number;
                AppendDecimal(number, *count, 1);
                summary.push_back(SummaryLine({registered, mode, number, ui.chosen(), kSaved}));
            } else {
                summary.push_back(SummaryLine({registered, mode, u"", u"", kCancelled}));
                allSaved = false;
            }
        } catch (const Error& error) {
            environment.err << ToReadableUtf8(registered) << ": " << ToReadableUtf8(error.message()) << '\n'
                            << std::flush;
            summary.push_back(SummaryLine({registered, mode, u"", ui.chosen(), error.message()}));
            allSaved = false;
        }
    }
    for (const std::string& line : summary) WriteLine(environment.out, line);
    return allSaved;
}

}  // namespace kosmara
