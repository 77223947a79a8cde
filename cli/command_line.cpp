#include "cli/command_line.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "engine/engine_error.h"
#include "engine/engine_objects.h"
#include "engine/table_dump.h"
#include "export/aaf_writer.h"
#include "export/user_interface.h"
#include "platform/file.h"
#include "platform/input_file.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

constexpr char kUsage[] =
    "Aufruf: kosmara2aaf export [--password KENNWORT]... TABELLE [AUSGABE]\n"
    "        kosmara2aaf dump [--password KENNWORT]... TABELLE\n"
    "        kosmara2aaf --help\n";

constexpr char kHelp[] =
    "kosmara2aaf wandelt eine Horoskoptabelle (Paradox-Tabelle) in eine AAF-Datei um.\n"
    "\n"
    "Aufruf:\n"
    "  kosmara2aaf export [--password KENNWORT]... TABELLE [AUSGABE]\n"
    "  kosmara2aaf dump [--password KENNWORT]... TABELLE\n"
    "  kosmara2aaf --help\n"
    "\n"
    "Befehle:\n"
    "  export   schreibt jeden Datensatz der Tabelle als Horoskop in die AAF-Datei\n"
    "           AUSGABE. Ohne AUSGABE wird die Endung des Tabellenpfads durch\n"
    "           \".aaf\" ersetzt. Eine Datei der Tabelle selbst wird nie überschrieben.\n"
    "  dump     gibt die Felder und alle Datensätze der Tabelle als Text mit\n"
    "           Tabulatoren aus, einen Datensatz je Zeile.\n"
    "\n"
    "Optionen:\n"
    "  --password KENNWORT  Kennwort einer geschützten Tabelle; mehrfach möglich.\n"
    "  -h, --help           zeigt diese Hilfe.\n"
    "\n"
    "Rückgabewerte: 0 Erfolg, 1 Fehler, 2 falscher Aufruf.\n";

constexpr char16_t kUnknownCommand[] = u"Unbekannter Befehl \"%s\".";
constexpr char16_t kUnknownOption[] = u"Unbekannte Option \"%s\".";
constexpr char16_t kMissingPassword[] = u"Nach \"--password\" fehlt das Kennwort.";
constexpr char16_t kMissingTable[] = u"Es fehlt die Tabelle.";
constexpr char16_t kTooManyArguments[] = u"Zu viele Argumente: \"%s\".";
constexpr char16_t kOutputIsTableFile[] =
    u"Die Ausgabedatei \"%s\" ist eine Datei der Tabelle \"%s\" und wird nicht überschrieben.";
constexpr char16_t kPasswordHint[] = u"Geben Sie das Kennwort mit --password KENNWORT an.";
constexpr char16_t kCannotWriteOutput[] = u"Die Ausgabe kann nicht geschrieben werden.";

#ifdef _WIN32
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/' || c == u':'; }
#else
bool IsSeparator(char16_t c) { return c == u'/'; }
#endif

// Where the extension of the last path component starts ("." included), or
// npos when it has none.
std::size_t ExtensionStart(std::u16string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return std::u16string_view::npos;
        if (path[i - 1] == u'.') return i - 1;
    }
    return std::u16string_view::npos;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && EqualIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

enum class CommandKind { kDump, kExport };

struct Command {
    CommandKind kind = CommandKind::kExport;
    std::vector<std::u16string> passwords;
    std::vector<std::u16string> operands;
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

ParsedArguments ParseArguments(const std::vector<std::u16string>& arguments) {
    const auto isHelp = [](std::u16string_view a) { return a == u"--help" || a == u"-h"; };
    const ParsedArguments help{ParsedArguments::Kind::kHelp, {}, {}};
    if (arguments.empty()) return WrongUsage({});
    Command command;
    const std::u16string& name = arguments[0];
    if (isHelp(name)) return help;
    if (name == u"dump") {
        command.kind = CommandKind::kDump;
    } else if (name == u"export") {
        command.kind = CommandKind::kExport;
    } else {
        return WrongUsage(FillMessage(name.starts_with(u'-') ? kUnknownOption : kUnknownCommand, {name}));
    }
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != u'-') {
            command.operands.push_back(argument);
        } else if (argument == u"--") {
            optionsEnded = true;
        } else if (isHelp(argument)) {
            return help;
        } else if (argument == u"--password") {
            if (++i == arguments.size()) return WrongUsage(kMissingPassword);
            command.passwords.push_back(arguments[i]);
        } else if (argument.starts_with(u"--password=")) {
            command.passwords.push_back(argument.substr(11));
        } else {
            return WrongUsage(FillMessage(kUnknownOption, {argument}));
        }
    }
    const std::size_t allowed = command.kind == CommandKind::kDump ? 1 : 2;
    if (command.operands.empty() || command.operands[0].empty()) return WrongUsage(kMissingTable);
    if (command.operands.size() > allowed)
        return WrongUsage(FillMessage(kTooManyArguments, {command.operands[allowed]}));
    return {ParsedArguments::Kind::kRun, std::move(command), {}};
}

// The session's passwords as they were before the command: the command's own
// are added for its run only.
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

// Closes the table and disconnects its database on every way out.
class CloseGuard {
public:
    CloseGuard(Table& table, Database& database) : table_(table), database_(database) {}
    CloseGuard(const CloseGuard&) = delete;
    CloseGuard& operator=(const CloseGuard&) = delete;
    ~CloseGuard() {
        table_.Close();
        database_.Disconnect();
    }

private:
    Table& table_;
    Database& database_;
};

// Opens the table through the engine objects (the default session, a
// database on the table's folder, the table by its file name) and hands it
// to work.
template <typename Work>
void WithOpenTable(const Command& command, Work work) {
    Session& session = Session::Default();
    std::error_code ignored;
    session.SetNetworkControlFolder(std::filesystem::temp_directory_path(ignored).u16string());
    const PasswordScope passwords(session, command.passwords);

    const std::u16string tablePath = FullPath(command.operands[0]);
    Database db1(session);
    Table tbl1(db1);
    const CloseGuard guard(tbl1, db1);
    db1.SetParam(u"PATH", FolderOfPath(tablePath));
    db1.Connect();
    tbl1.SetTableName(NameOfPath(tablePath));
    tbl1.Open();
    work(tbl1);
}

// Refuses an output that is the table file or one of its companion files
// (same base name and a ".", whatever the case: .DB, .MB, .PX, .VAL ...),
// by file identity so that links and other spellings are caught as well.
// Earlier AAF exports beside the table are no table files.
void RefuseTableFileAsOutput(std::u16string_view tableArgument, std::u16string_view output) {
    const std::optional<FileIdentity> outputIdentity = IdentityOfPath(output);
    if (!outputIdentity) return;  // nothing there to overwrite
    const std::u16string tablePath = FullPath(tableArgument);
    const std::u16string folder = FolderOfPath(tablePath);
    const std::u16string name = NameOfPath(tablePath);
    const std::size_t extension = ExtensionStart(name);

    std::vector<std::u16string> tableFiles = {tablePath};
    if (extension == std::u16string::npos) tableFiles.push_back(tablePath + u".DB");  // as the engine opens it
    const std::u16string prefix = name.substr(0, extension) + u".";
    for (const std::u16string& file : ListFileNames(folder))
        if (StartsWithIgnoringCase(file, prefix) && !EndsWithIgnoringCase(file, u".aaf"))
            tableFiles.push_back(JoinPath(folder, file));

    for (const std::u16string& file : tableFiles)
        if (IdentityOfPath(file) == outputIdentity)
            throw Error(FillMessage(kOutputIsTableFile, {FullPath(output), tablePath}));
}

class ConsoleUserInterface final : public UserInterface {
public:
    explicit ConsoleUserInterface(std::ostream& out) : out_(out) {}
    void ShowMessage(std::u16string_view text) override { out_ << ToUtf8(text) << '\n' << std::flush; }

private:
    std::ostream& out_;
};

void WriteLine(std::ostream& out, const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.put('\n');
}

void Dump(const Command& command, std::ostream& out) {
    WithOpenTable(command, [&](Table& tbl1) {
        WriteLine(out, DumpFieldLine(tbl1.Fields()));
        for (tbl1.First(); !tbl1.Eof() && out; tbl1.Next()) WriteLine(out, DumpRecordLine(tbl1.reader()));
    });
}

void Export(const Command& command, std::ostream& out) {
    const std::u16string& table = command.operands[0];
    const std::u16string output = command.operands.size() > 1 ? command.operands[1] : DefaultOutputPath(table);
    RefuseTableFileAsOutput(table, output);
    WithOpenTable(command, [&](Table& tbl1) {
        ConsoleUserInterface ui(out);
        WriteAafFile(output, tbl1, ui, UserTimeFormatSettings());
    });
}

}  // namespace

std::u16string DefaultOutputPath(std::u16string_view tablePath) {
    std::u16string output(tablePath.substr(0, ExtensionStart(tablePath)));
    output += u".aaf";
    return output;
}

int RunCommandLine(const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err) {
    const ParsedArguments parsed = ParseArguments(arguments);
    if (parsed.kind == ParsedArguments::Kind::kWrongUsage) {
        if (!parsed.message.empty()) err << ToUtf8(parsed.message) << '\n';
        err << kUsage << std::flush;
        return 2;
    }
    if (parsed.kind == ParsedArguments::Kind::kHelp) {
        out << kHelp << std::flush;
        return out ? 0 : 1;
    }

    try {
        if (parsed.command.kind == CommandKind::kDump) {
            Dump(parsed.command, out);
        } else {
            Export(parsed.command, out);
        }
    } catch (const EngineError& error) {
        err << ToUtf8(error.message()) << '\n';
        if (error.code() == EngineErrorCode::kInsufficientRights) err << ToUtf8(kPasswordHint) << '\n';
        err << std::flush;
        return 1;
    } catch (const Error& error) {
        err << ToUtf8(error.message()) << '\n' << std::flush;
        return 1;
    }
    out.flush();
    if (!out) {
        err << ToUtf8(kCannotWriteOutput) << '\n' << std::flush;
        return 1;
    }
    return 0;
}

}  // namespace kosmara
