#include "cli/command_line.h"

#include <charconv>
#include <optional>
#include <string>
#include <utility>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "core/user_interface.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "engine/engine_error.h"
#include "engine/engine_objects.h"
#include "engine/table_dump.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

constexpr char kUsage[] =
    "Aufruf: kosmara2aaf list\n"
    "        kosmara2aaf export [--xp-mode] [--password KENNWORT]... TABELLE [AUSGABE]\n"
    "        kosmara2aaf export [--password KENNWORT]... --row N [AUSGABE]\n"
    "        kosmara2aaf dump [--password KENNWORT]... TABELLE\n"
    "        kosmara2aaf --help\n";

constexpr char kHelp[] =
    "kosmara2aaf wandelt Horoskop-Datenbanken von Kosmara 3.5 (Paradox-Tabellen)\n"
    "in AAF-Dateien um.\n"
    "\n"
    "Aufruf:\n"
    "  kosmara2aaf list\n"
    "  kosmara2aaf export [--xp-mode] [--password KENNWORT]... TABELLE [AUSGABE]\n"
    "  kosmara2aaf export [--password KENNWORT]... --row N [AUSGABE]\n"
    "  kosmara2aaf dump [--password KENNWORT]... TABELLE\n"
    "  kosmara2aaf --help\n"
    "\n"
    "Befehle:\n"
    "  list     zeigt die Datenbanken, die Kosmara 3.5 für den angemeldeten\n"
    "           Benutzer eingetragen hat, eine Zeile je Datenbank: Nummer,\n"
    "           Anzeigetext und bei Zeilen im XP-Modus der Ordner, aus dem\n"
    "           gelesen wird. Nur unter Windows.\n"
    "  export   schreibt jeden Datensatz der Tabelle als Horoskop in die AAF-Datei\n"
    "           AUSGABE. Ohne AUSGABE wird die Endung des Tabellenpfads durch\n"
    "           \".aaf\" ersetzt. Eine Datei der Tabelle wird nie überschrieben.\n"
    "  dump     gibt die Felder und alle Datensätze der Tabelle als Text mit\n"
    "           Tabulatoren aus, einen Datensatz je Zeile.\n"
    "\n"
    "Optionen:\n"
    "  --row N              exportiert die Datenbank der Zeile N von \"list\",\n"
    "                       im XP-Modus, wenn die Zeile es zeigt.\n"
    "  --xp-mode            liest die Tabelle aus ihrer VirtualStore-Kopie\n"
    "                       (XP-Modus), wenn es eine gibt.\n"
    "  --password KENNWORT  Kennwort einer geschützten Tabelle; mehrfach möglich.\n"
    "                       Ohne passendes Kennwort wird im Terminal danach\n"
    "                       gefragt; eine leere Eingabe bricht ab.\n"
    "  -h, --help           zeigt diese Hilfe.\n"
    "\n"
    "Rückgabewerte: 0 Erfolg, 1 Fehler, 2 falscher Aufruf.\n";

constexpr char16_t kUnknownCommand[] = u"Unbekannter Befehl \"%s\".";
constexpr char16_t kUnknownOption[] = u"Unbekannte Option \"%s\".";
constexpr char16_t kOptionNotFor[] = u"Die Option \"%s\" gilt nicht für \"%s\".";
constexpr char16_t kMissingPassword[] = u"Nach \"--password\" fehlt das Kennwort.";
constexpr char16_t kMissingRow[] = u"Nach \"--row\" fehlt die Zeilennummer.";
constexpr char16_t kMissingTable[] = u"Es fehlt die Tabelle.";
constexpr char16_t kEmptyOutput[] = u"Die Ausgabedatei ist leer angegeben.";
constexpr char16_t kRowAndTable[] = u"Mit \"--row\" wird keine Tabelle angegeben: \"%s\".";
constexpr char16_t kRowAndXpMode[] = u"\"--xp-mode\" und \"--row\" schließen sich aus: die Zeile bestimmt den Modus.";
constexpr char16_t kBadRowNumber[] = u"\"%s\" ist keine Zeilennummer (1, 2, 3 ...).";
constexpr char16_t kTooManyArguments[] = u"Zu viele Argumente: \"%s\".";
constexpr char16_t kPasswordHint[] = u"Geben Sie das Kennwort mit --password KENNWORT an.";
constexpr char16_t kPasswordPrompt[] = u"Kennwort für \"%s\" (leer: abbrechen): ";
constexpr char16_t kCannotWriteOutput[] = u"Die Ausgabe kann nicht geschrieben werden.";
constexpr char16_t kNoRegistry[] =
    u"Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken einträgt.";
constexpr char16_t kNoSuchRow[] = u"Es gibt keine Zeile %s; \"kosmara2aaf list\" zeigt die Zeilen 1 bis %s.";
constexpr char16_t kNoRows[] = u"Es sind keine Datenbanken eingetragen.";

enum class CommandKind { kList, kDump, kExport };

struct Command {
    CommandKind kind = CommandKind::kExport;
    std::vector<std::u16string> passwords;
    std::vector<std::u16string> operands;
    bool xpMode = false;
    std::optional<int> row;  // from 1
};

// What the arguments ask for: a command to run, the help, or nothing valid
// (a wrong call; its message goes to err with the usage text).
struct ParsedArguments {
    enum class Kind { kRun, kHelp, kWrongUsage } kind = Kind::kRun;
    Command command;
    std::u16string message;
};

ParsedArguments WrongUsage(std::u16string message) {
    return {ParsedArguments::Kind::kWrongUsage, {}, std::move(message)};
}

std::optional<int> RowNumber(std::u16string_view text) {
    const std::string digits = ToUtf8(text);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 1 || digits.front() == '+')
        return std::nullopt;
    return value;
}

std::u16string_view CommandName(CommandKind kind) {
    return kind == CommandKind::kList ? u"list" : kind == CommandKind::kDump ? u"dump" : u"export";
}

ParsedArguments ParseArguments(const std::vector<std::u16string>& arguments) {
    const auto isHelp = [](std::u16string_view a) { return a == u"--help" || a == u"-h"; };
    const ParsedArguments help{ParsedArguments::Kind::kHelp, {}, {}};
    if (arguments.empty()) return WrongUsage({});
    Command command;
    const std::u16string& name = arguments[0];
    if (isHelp(name)) return help;
    if (name == u"list") {
        command.kind = CommandKind::kList;
    } else if (name == u"dump") {
        command.kind = CommandKind::kDump;
    } else if (name == u"export") {
        command.kind = CommandKind::kExport;
    } else {
        return WrongUsage(FillMessage(name.starts_with(u'-') ? kUnknownOption : kUnknownCommand, {name}));
    }
    const auto notFor = [&](std::u16string_view option) {
        return WrongUsage(FillMessage(kOptionNotFor, {option, CommandName(command.kind)}));
    };
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != u'-') {
            command.operands.push_back(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (isHelp(argument)) return help;
        // "--name value" or "--name=value".
        const std::size_t equals = argument.find(u'=');
        const std::u16string option = argument.substr(0, equals);
        const auto value = [&]() -> std::optional<std::u16string> {
            if (equals != std::u16string::npos) return argument.substr(equals + 1);
            if (i + 1 == arguments.size()) return std::nullopt;
            return arguments[++i];
        };
        if (option == u"--password") {
            if (command.kind == CommandKind::kList) return notFor(option);
            const std::optional<std::u16string> password = value();
            if (!password) return WrongUsage(kMissingPassword);
            command.passwords.push_back(*password);
        } else if (option == u"--row") {
            if (command.kind != CommandKind::kExport) return notFor(option);
            const std::optional<std::u16string> text = value();
            if (!text) return WrongUsage(kMissingRow);
            command.row = RowNumber(*text);
            if (!command.row) return WrongUsage(FillMessage(kBadRowNumber, {*text}));
        } else if (argument == u"--xp-mode") {
            if (command.kind != CommandKind::kExport) return notFor(argument);
            command.xpMode = true;
        } else {
            return WrongUsage(FillMessage(kUnknownOption, {argument}));
        }
    }

    std::size_t tables = 1;
    std::size_t allowed = command.kind == CommandKind::kExport ? 2 : 1;
    if (command.kind == CommandKind::kList) tables = allowed = 0;
    if (command.row) {
        if (command.xpMode) return WrongUsage(kRowAndXpMode);
        tables = 0;
        allowed = 1;
        if (!command.operands.empty() && command.operands.size() > allowed)
            return WrongUsage(FillMessage(kRowAndTable, {command.operands[0]}));
    }
    if (tables == 1 && (command.operands.empty() || command.operands[0].empty())) return WrongUsage(kMissingTable);
    if (command.operands.size() > allowed)
        return WrongUsage(FillMessage(kTooManyArguments, {command.operands[allowed]}));
    if (command.kind == CommandKind::kExport && command.operands.size() == tables + 1 && command.operands[tables].empty())
        return WrongUsage(kEmptyOutput);
    return {ParsedArguments::Kind::kRun, std::move(command), {}};
}

// The session's passwords as they were before the command: the command's own
// (given or typed) serve its run only.
class PasswordScope {
public:
    PasswordScope(Session& session, const std::vector<std::u16string>& passwords)
        : session_(session), before_(session.passwords()) {
        for (const std::u16string& password : passwords) session_.AddPassword(password);
    }
    PasswordScope(const PasswordScope&) = delete;
    PasswordScope& operator=(const PasswordScope&) = delete;
    ~PasswordScope() {
        session_.RemoveAllPasswords();
        for (const std::u16string& password : before_) session_.AddPassword(password);
    }

private:
    Session& session_;
    std::vector<std::u16string> before_;
};

// The export's questions answered from the command line: the output from
// the arguments, passwords from the terminal, the count on standard output.
class ConsoleUserInterface final : public UserInterface {
public:
    ConsoleUserInterface(CommandLineEnvironment& environment, std::optional<std::u16string> output)
        : environment_(environment), output_(std::move(output)) {}

    void ShowMessage(std::u16string_view text) override {
        environment_.out << ToReadableUtf8(text) << '\n' << std::flush;
    }
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override {
        return output_ ? *output_ : std::u16string(proposed);
    }
    std::optional<std::u16string> AskPassword(std::u16string_view tablePath) override {
        if (!environment_.readPassword) return std::nullopt;
        std::optional<std::u16string> password = environment_.readPassword(FillMessage(kPasswordPrompt, {tablePath}));
        if (!password || password->empty()) return std::nullopt;
        return password;
    }

private:
    CommandLineEnvironment& environment_;
    std::optional<std::u16string> output_;
};

void WriteLine(std::ostream& out, const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.put('\n');
}

DatabaseRows DiscoveredRows(const SystemServices& system) {
    if (!system.HasRegistry()) throw Error(kNoRegistry);
    DatabaseRows rows;
    DiscoverDatabases(system, rows);
    return rows;
}

void List(CommandLineEnvironment& environment) {
    const DatabaseRows rows = DiscoveredRows(environment.system);
    if (rows.paths.empty()) {
        WriteLine(environment.out, ToReadableUtf8(rows.items.front()));
        return;
    }
    for (std::size_t row = 0; row < rows.items.size(); ++row) {
        std::u16string line;
        AppendDecimal(line, static_cast<long long>(row) + 1, 1);
        line += u'\t';
        line += rows.items[row];
        if (rows.paths[row] != rows.purePaths[row]) {
            line += u'\t';
            line += FolderOfPath(rows.paths[row]);
        }
        WriteLine(environment.out, ToReadableUtf8(line));
    }
}

void Dump(const Command& command, CommandLineEnvironment& environment) {
    Session& session = Session::Default();
    session.SetNetworkControlFolder(TemporaryFolder());
    const PasswordScope passwords(session, command.passwords);
    const std::u16string tablePath = FullPath(command.operands[0]);
    Database db1(session);
    Table tbl1(db1);
    db1.SetParam(u"PATH", FolderOfPath(tablePath));
    db1.Connect();
    tbl1.SetTableName(NameOfPath(tablePath));
    tbl1.Open();
    WriteLine(environment.out, DumpFieldLine(tbl1.Fields()));
    for (tbl1.First(); !tbl1.Eof() && environment.out; tbl1.Next())
        WriteLine(environment.out, DumpRecordLine(tbl1.reader()));
}

void Export(const Command& command, CommandLineEnvironment& environment) {
    std::u16string tablePath;
    bool xpMode = command.xpMode;
    std::size_t outputOperand = 1;
    if (command.row) {
        const DatabaseRows rows = DiscoveredRows(environment.system);
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

    Session& session = Session::Default();
    const PasswordScope passwords(session, command.passwords);
    Database db1(session);
    Table tbl1(db1);
    ConsoleUserInterface ui(environment, std::move(output));
    ExportContext context{environment.system, session, db1, tbl1, ui, UserTimeFormatSettings()};
    ExportDatabase(context, tablePath, xpMode);
}

}  // namespace

int RunCommandLine(const std::vector<std::u16string>& arguments, CommandLineEnvironment& environment) {
    std::ostream& out = environment.out;
    std::ostream& err = environment.err;
    const ParsedArguments parsed = ParseArguments(arguments);
    if (parsed.kind == ParsedArguments::Kind::kWrongUsage) {
        if (!parsed.message.empty()) err << ToReadableUtf8(parsed.message) << '\n';
        err << kUsage << std::flush;
        return 2;
    }
    if (parsed.kind == ParsedArguments::Kind::kHelp) {
        out << kHelp << std::flush;
        return out ? 0 : 1;
    }

    try {
        switch (parsed.command.kind) {
        case CommandKind::kList: List(environment); break;
        case CommandKind::kDump: Dump(parsed.command, environment); break;
        case CommandKind::kExport: Export(parsed.command, environment); break;
        }
    } catch (const EngineError& error) {
        err << ToReadableUtf8(error.message()) << '\n';
        if (error.code() == EngineErrorCode::kInsufficientRights) err << ToReadableUtf8(kPasswordHint) << '\n';
        err << std::flush;
        return 1;
    } catch (const Error& error) {
        err << ToReadableUtf8(error.message()) << '\n' << std::flush;
        return 1;
    }
    out.flush();
    if (!out) {
        err << ToReadableUtf8(kCannotWriteOutput) << '\n' << std::flush;
        return 1;
    }
    return 0;
}

}  // namespace kosmara
