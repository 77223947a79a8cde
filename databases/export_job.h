// The export job: one horoscope table to one AAF file. It asks the user for
// the output file, decides from which folder the engine reads the table (in
// XP mode merging the table's files and their VirtualStore copies into the
// export staging folder first), opens the table through the engine objects
// it is given, writes the AAF file and closes table and connection again on
// every way out. Apart from the output file it writes only into the export
// staging folder.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/time_format.h"
#include "core/user_interface.h"
#include "databases/system_services.h"
#include "engine/engine_objects.h"
#include "export/record_check.h"

namespace kosmara {

inline constexpr char16_t kInvalidPathCharacters[] = u"Ungültige Zeichen im Pfad";
inline constexpr char16_t kPathTooLong[] = u"Der angegebene Pfad ist zu lang";
inline constexpr char16_t kPathNotFound[] = u"Der angegebene Pfad wurde nicht gefunden";
// %s: the output's full path, %s: the table path.
inline constexpr char16_t kOutputIsTableFile[] =
    u"Die Ausgabedatei \"%s\" ist eine Datei der Tabelle \"%s\" und wird nicht überschrieben.";
// %s: the staging folder.
inline constexpr char16_t kStagingFolderIsTableFolder[] =
    u"Der Exportordner \"%s\" ist ein Ordner der Datenbank; in ihn wird nicht kopiert.";
// %s: the report's full path, %s: the table path.
inline constexpr char16_t kReportIsTableFile[] =
    u"Der Prüfbericht \"%s\" ist eine Datei der Tabelle \"%s\" und wird nicht überschrieben.";
// %s: the report's full path.
inline constexpr char16_t kReportIsOutput[] =
    u"Der Prüfbericht \"%s\" wäre die AAF-Datei selbst und wird nicht geschrieben.";
// %s: the staging folder another conversion kept for a whole minute.
inline constexpr char16_t kStagingFolderBusy[] =
    u"Der Exportordner \"%s\" wird seit einer Minute von einer anderen Umwandlung benutzt. Versuchen Sie es "
    u"später noch einmal.";
// The staging folder's name in the user's temporary folder.
inline constexpr char16_t kStagingFolderName[] = u"Kosmara 3.5 Export";
// The file in the staging folder that one export at a time holds, from
// before the merge until the table is closed. No "." in it: no table's file
// mask can take it.
inline constexpr char16_t kStagingLockName[] = u"kosmara-sperre";

// What an export works with. The engine objects belong to the caller (the
// window holds db1 and tbl1 for its life; the session is the process's
// default one and keeps its passwords for the run).
struct ExportContext {
    const SystemServices& system;
    Session& session;
    Database& database;  // db1
    Table& table;        // tbl1
    UserInterface& ui;
    TimeFormatSettings timeFormat;
    // How long an XP-mode export waits for another one that holds the
    // staging folder.
    std::chrono::milliseconds stagingWait = std::chrono::minutes(1);
};

// Opens table (named and connected already) with the session's passwords; a
// protected table that none of them opens makes ui ask for another, added
// to the session, until one opens it or ui gives none (then the engine's
// kInsufficientRights error goes on). The export opens its table so, and
// so do the command line's "dump" and "check".
void OpenTableAskingPasswords(Session& session, Table& table, UserInterface& ui);

// The export staging folder of system, with its closing separator: the
// folder "Kosmara 3.5 Export" in the user's temporary folder.
std::u16string StagingFolderOf(const SystemServices& system);

// The output name proposed for a table: its extension (from the last "."
// of the last component) replaced by ".aaf", or ".aaf" appended.
std::u16string ProposedOutputName(std::u16string_view tablePath);

// The output file proposed for the table at tablePath (a path of system), as
// the file calls reach it: its ProposedOutputName beside it where the
// table's folder takes a new file; where it does not (a protected program
// folder, a read-only share, a CD), the same name in the user's documents
// folder, else in the home folder, the first of them that takes one; beside
// the table again where neither does.
std::u16string ProposedOutputFile(const SystemServices& system, std::u16string_view tablePath);

// The file mask of the merge: the table name without its last extension,
// followed by ".*".
std::u16string FileMaskOf(std::u16string_view tableName);

// Whether a file name matches a mask as a whole: "*" stands for any run of
// characters (none included), the letters A to Z match without regard to
// case, every other character only itself.
bool MatchesFileMask(std::u16string_view name, std::u16string_view mask);

// Whether a file extension (without ".") is one of a Paradox table's own
// files: DB, MB, PX, Xnn, Ynn, XGn, YGn, VAL, TV, FAM, SET and the family's
// forms and reports; without regard to case.
bool IsParadoxFamilyExtension(std::u16string_view extension);

// Exports the table at tablePath, in XP mode from its VirtualStore copy
// where one exists. tablePath is a path of context.system: the VirtualStore
// mapping and the messages take it as it is, the files are read at its
// FileSystemPath, and the output proposed is its ProposedOutputFile. Returns the number of horoscopes written, or nothing when
// the user cancelled the question for the output file (then nothing has been
// created, copied or opened). Failures are Errors carrying the message; the
// table is closed and the database disconnected before they go on.
std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode);
// The same, checking the records for doubtful values in the writer's walk
// (export/record_check.h): every finding of the records walked is added to
// findings, also those found before a failure ends the export. The AAF file
// is the same as without the check.
std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode,
                                           std::vector<RecordFinding>& findings);
// The same, and the findings written as the report (with a UTF-8 byte-order
// mark) into reportFile, which is guarded as the output is: never a file of
// the table, nor the AAF file itself. The report is written also when the
// export fails after the table was opened, with the records walked so far.
std::optional<std::int32_t> ExportDatabase(ExportContext& context, std::u16string_view tablePath, bool xpMode,
                                           std::vector<RecordFinding>& findings, const std::u16string& reportFile);

}  // namespace kosmara
