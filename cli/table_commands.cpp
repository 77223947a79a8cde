// "dump" and "check": the table named on the command line, opened read-only.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console_ui.h"
#include "core/byte_sink.h"
#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "databases/export_job.h"
#include "engine/code_page_check.h"
#include "engine/engine_objects.h"
#include "engine/table_dump.h"
#include "export/record_check.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace kosmara {

namespace {

// The table named on the command line, opened read-only as "dump" and
// "check" read it: through db1 on its folder, in the code page asked for,
// with the command's passwords for as long as it is open; a protected table
// that no given password opens is asked for at the terminal as the export
// asks.
struct NamedTable {
    NamedTable(const Command& command, CommandLineEnvironment& environment)
        : passwords(Session::Default(), command.passwords) {
        Session::Default().SetNetworkControlFolder(TemporaryFolder());
        const std::u16string tablePath = FullPath(command.operands[0]);
        db1.SetParam(u"PATH", FolderOfPath(tablePath));
        db1.Connect();
        tbl1.SetTableName(NameOfPath(tablePath));
        tbl1.SetCodePage(command.codePage);
        ConsoleUserInterface ui(environment, std::nullopt, /*quiet=*/true);
        OpenTableAskingPasswords(db1.session(), tbl1, ui);
    }

    const PasswordScope passwords;
    Database db1{Session::Default()};
    Table tbl1{db1};
};

// The check stopped at a record it could not reach: %s the record's number.
constexpr char16_t kCheckStopped[] =
    u"Die Tabelle ist ab Datensatz %s nicht lesbar; die Prüfung wurde dort abgebrochen.";

// Bytes for out; whether they arrived shows when out is flushed.
class StreamSink final : public ByteSink {
public:
    explicit StreamSink(std::ostream& out) : out_(out) {}
    void Write(const char* data, std::size_t size) override {
        out_.write(data, static_cast<std::streamsize>(size));
    }

private:
    std::ostream& out_;
};

}  // namespace

void RunDump(const Command& command, CommandLineEnvironment& environment) {
    NamedTable table(command, environment);
    Table& tbl1 = table.tbl1;
    WriteLine(environment.out, DumpFieldLine(tbl1.Fields()));
    for (tbl1.First(); !tbl1.Eof() && environment.out; tbl1.Next())
        WriteLine(environment.out, DumpRecordLine(tbl1.reader()));
}

// The doubtful records on out; on err the hint when the table's text looks
// as if its header named the wrong code page, and a line when the walk
// could not reach the table's end (then false).
bool RunCheck(const Command& command, CommandLineEnvironment& environment) {
    NamedTable table(command, environment);
    Table& tbl1 = table.tbl1;
    const std::vector<RecordFinding> findings = CheckRecords(tbl1);
    StreamSink sink(environment.out);
    WriteCheckReport(sink, findings);
    // The raw text of the same open table, in the code page it was read in.
    ParadoxTable& sample = tbl1.reader();
    const int codePage = sample.info().codePage;
    if (JudgeCodePage(SampleTextBytes(sample), codePage).looksWrong)
        environment.err << ToReadableUtf8(WrongCodePageHint(codePage)) << '\n' << std::flush;
    if (findings.empty() || findings.back().reason != kTableNotWalkable) return true;
    std::u16string record;
    AppendDecimal(record, findings.back().record, 1);
    environment.err << ToReadableUtf8(FillMessage(kCheckStopped, {record})) << '\n' << std::flush;
    return false;
}

}  // namespace kosmara
