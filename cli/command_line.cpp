#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "core/byte_sink.h"
#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "core/user_interface.h"
#include "databases/discovery.h"
#include "databases/export_job.h"
#include "databases/wine_prefix.h"
#include "engine/code_page_check.h"
#include "engine/engine_error.h"
#include "engine/engine_objects.h"
#include "engine/table_dump.h"
#include "export/record_check.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

constexpr char kUsage[] =
    "Aufruf: kosmara2aaf list [--wine-prefix ORDNER]\n"
    "        kosmara2aaf export [--xp-mode] [--password KENNWORT]... [--codepage N] [--report DATEI] TABELLE [AUSGABE]\n"
    "        kosmara2aaf export [--password KENNWORT]... [--codepage N] [--report DATEI] [--wine-prefix ORDNER] --row N [AUSGABE]\n"
    "        kosmara2aaf export --all [--into ORDNER] [--password KENNWORT]... [--wine-prefix ORDNER]\n"
    "        kosmara2aaf dump [--password KENNWORT]... [--codepage N] TABELLE\n"
    "        kosmara2aaf check [--password KENNWORT]... [--codepage N] TABELLE\n"
    "        kosmara2aaf --help\n";

constexpr char kHelp[] =
    "kosmara2aaf wandelt Horoskop-Datenbanken von Kosmara 3.5 (Paradox-Tabellen)\n"
    "in AAF-Dateien um.\n"
    "\n"
    "Aufruf:\n"
    "  kosmara2aaf list [--wine-prefix ORDNER]\n"
    "  kosmara2aaf export [--xp-mode] [--password KENNWORT]... [--codepage N] [--report DATEI] TABELLE [AUSGABE]\n"
    "  kosmara2aaf export [--password KENNWORT]... [--codepage N] [--report DATEI] [--wine-prefix ORDNER] --row N [AUSGABE]\n"
    "  kosmara2aaf export --all [--into ORDNER] [--password KENNWORT]... [--wine-prefix ORDNER]\n"
    "  kosmara2aaf dump [--password KENNWORT]... [--codepage N] TABELLE\n"
    "  kosmara2aaf check [--password KENNWORT]... [--codepage N] TABELLE\n"
    "  kosmara2aaf --help\n"
    "\n"
    "Befehle:\n"
    "  list     zeigt die Datenbanken, die Kosmara 3.5 für den angemeldeten\n"
    "           Benutzer eingetragen hat, eine Zeile je Datenbank: Nummer,\n"
    "           Anzeigetext und bei Zeilen im XP-Modus der Ordner, aus dem\n"
    "           gelesen wird. Unter Linux liest es die Registrierung eines\n"
    "           Wine-Präfixes (siehe --wine-prefix) und zeigt statt des Ordners\n"
    "           den Linux-Pfad der Datei, die gelesen wird.\n"
    "  export   schreibt jeden Datensatz der Tabelle als Horoskop in die AAF-Datei\n"
    "           AUSGABE. Ohne AUSGABE wird die Endung des Tabellenpfads durch\n"
    "           \".aaf\" ersetzt. Eine Datei der Tabelle wird nie überschrieben.\n"
    "           Im Terminal zeigt eine Zeile auf der Fehlerausgabe den Fortschritt.\n"
    "  dump     gibt die Felder und alle Datensätze der Tabelle als Text mit\n"
    "           Tabulatoren aus, einen Datensatz je Zeile.\n"
    "  check    listet Werte, die zwar umgewandelt werden, aber kaum gemeint sein\n"
    "           können (Geburtszeitpunkt 0, Breite jenseits der Pole, leerer Name,\n"
    "           Zeichen, die die Codepage der Tabelle nicht kennt, unlesbare\n"
    "           Kommentare ...), mit Tabulatoren: Datensatz, Feld, Wert, Grund.\n"
    "           Sieht der Text in der Codepage aus dem Tabellenkopf falsch aus,\n"
    "           nennt ein Hinweis auf der Fehlerausgabe --codepage.\n"
    "\n"
    "Optionen:\n"
    "  --row N              exportiert die Datenbank der Zeile N von \"list\",\n"
    "                       im XP-Modus, wenn die Zeile es zeigt.\n"
    "  --all                exportiert jede Datenbank, die \"list\" zeigt, der\n"
    "                       Reihe nach (Zeilen im XP-Modus im XP-Modus); fehlende\n"
    "                       werden gemeldet und übersprungen. Am Ende steht eine\n"
    "                       Übersicht mit Tabulatoren: Datenbank, Modus, Horoskope,\n"
    "                       AAF-Datei, Ergebnis. Rückgabewert 0 nur, wenn jede\n"
    "                       Datenbank umgewandelt wurde.\n"
    "  --into ORDNER        (mit --all) schreibt jede AAF-Datei in ORDNER unter dem\n"
    "                       Namen ihrer Tabelle, etwa \"Horoskop.aaf\"; bei gleichen\n"
    "                       Namen \"Horoskop (2).aaf\" und so fort. Ohne --into geht\n"
    "                       jede Datei neben ihre Tabelle.\n"
    "  --xp-mode            liest die Tabelle aus ihrer VirtualStore-Kopie\n"
    "                       (XP-Modus), wenn es eine gibt.\n"
    "  --password KENNWORT  Kennwort einer geschützten Tabelle; mehrfach möglich.\n"
    "                       Ohne passendes Kennwort wird im Terminal danach\n"
    "                       gefragt; eine leere Eingabe bricht ab.\n"
    "  --codepage N         liest die Texte der Tabelle in der Codepage N (etwa\n"
    "                       1251 für Kyrillisch) statt in der, die ihr Kopf nennt;\n"
    "                       für Tabellen, deren Kopf die falsche Codepage angibt.\n"
    "  --report DATEI       (mit export) schreibt die Liste von \"check\" für die\n"
    "                       umgewandelte Tabelle in DATEI; die AAF-Datei bleibt\n"
    "                       dieselbe.\n"
    "  --wine-prefix ORDNER (nur Linux) liest die Datenbanken einer Kosmara-3.5-\n"
    "                       Installation unter Wine aus der Registrierung des\n"
    "                       Wine-Präfixes ORDNER; ohne die Option aus $WINEPREFIX,\n"
    "                       sonst aus ~/.wine. Die Pfade der Zeilen sind\n"
    "                       Windows-Pfade des Präfixes.\n"
    "  -h, --help           zeigt diese Hilfe.\n"
    "\n"
    "Rückgabewerte: 0 Erfolg, 1 Fehler, 2 falscher Aufruf.\n";

constexpr char16_t kUnknownCommand[] = u"Unbekannter Befehl \"%s\".";
constexpr char16_t kUnknownOption[] = u"Unbekannte Option \"%s\".";
constexpr char16_t kOptionNotFor[] = u"Die Option \"%s\" gilt nicht für \"%s\".";
constexpr char16_t kOptionTwice[] = u"Die Option \"%s\" ist doppelt angegeben.";
constexpr char16_t kMissingPassword[] = u"Nach \"--password\" fehlt das Kennwort.";
constexpr char16_t kMissingRow[] = u"Nach \"--row\" fehlt die Zeilennummer.";
constexpr char16_t kMissingFolder[] = u"Nach \"--into\" fehlt der Ordner.";
constexpr char16_t kMissingReport[] = u"Nach \"--report\" fehlt die Datei für den Prüfbericht.";
constexpr char16_t kEmptyReport[] = u"Die Datei für den Prüfbericht ist leer angegeben.";
constexpr char16_t kMissingCodePage[] = u"Nach \"--codepage\" fehlt die Nummer der Codepage.";
constexpr char16_t kNoValueFor[] = u"Die Option \"%s\" nimmt keinen Wert: \"%s\".";
constexpr char16_t kMissingTable[] = u"Es fehlt die Tabelle.";
constexpr char16_t kEmptyOutput[] = u"Die Ausgabedatei ist leer angegeben.";
constexpr char16_t kEmptyFolder[] = u"Der Ordner nach \"--into\" ist leer angegeben.";
constexpr char16_t kRowAndTable[] = u"Mit \"--row\" wird keine Tabelle angegeben: \"%s\".";
constexpr char16_t kRowAndXpMode[] = u"\"--xp-mode\" und \"--row\" schließen sich aus: die Zeile bestimmt den Modus.";
constexpr char16_t kAllAndOther[] = u"\"--all\" und \"%s\" schließen sich aus.";
constexpr char16_t kAllAndOperand[] = u"Mit \"--all\" werden weder Tabelle noch Ausgabedatei angegeben: \"%s\".";
constexpr char16_t kIntoWithoutAll[] = u"\"--into\" gilt nur zusammen mit \"--all\".";
constexpr char16_t kBadRowNumber[] = u"\"%s\" ist keine Zeilennummer (1, 2, 3 ...).";
constexpr char16_t kBadCodePage[] = u"\"%s\" ist keine Nummer einer Codepage (etwa 1251).";
constexpr char16_t kTooManyArguments[] = u"Zu viele Argumente: \"%s\".";
constexpr char16_t kPasswordHint[] = u"Geben Sie das Kennwort mit --password KENNWORT an.";
constexpr char16_t kPasswordPrompt[] = u"Kennwort für \"%s\" (leer: abbrechen): ";
constexpr char16_t kCannotWriteOutput[] = u"Die Ausgabe kann nicht geschrieben werden.";
constexpr char16_t kNoRegistry[] =
    u"Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken einträgt.";
constexpr char16_t kNoSuchRow[] = u"Es gibt keine Zeile %s; \"kosmara2aaf list\" zeigt die Zeilen 1 bis %s.";
constexpr char16_t kNoRows[] = u"Es sind keine Datenbanken eingetragen.";
constexpr char16_t kNoRegistryNorPrefix[] =
    u"Auf diesem System gibt es keine Windows-Registrierung, in der Kosmara 3.5 seine Datenbanken einträgt, "
    u"und kein Wine-Präfix \"%s\" (ein anderes nennt --wine-prefix ORDNER).";
constexpr char16_t kMissingWinePrefix[] = u"Nach \"--wine-prefix\" fehlt der Ordner des Wine-Präfixes.";
constexpr char16_t kWinePrefixOnLinuxOnly[] = u"Die Option \"--wine-prefix\" gibt es nur unter Linux.";
constexpr char16_t kPrefixWithTable[] =
    u"\"--wine-prefix\" gilt für \"--row\" und \"--all\"; eine Tabelle wird mit ihrem Linux-Pfad angegeben.";

// The summary of "export --all".
constexpr char16_t kSummaryHeader[] = u"Datenbank\tModus\tHoroskope\tAAF-Datei\tErgebnis";
constexpr char16_t kModePlain[] = u"normal";
constexpr char16_t kModeXp[] = u"XP-Modus";
constexpr char16_t kSaved[] = u"gespeichert";
constexpr char16_t kSkippedMissing[] = u"übersprungen: die Datenbank existiert nicht";
constexpr char16_t kCancelled[] = u"abgebrochen";

// The progress line: records done, of how many, and the rate.
constexpr char16_t kProgressOf[] = u"%s von %s Datensätzen, %s je Sekunde";
constexpr char16_t kProgress[] = u"%s Datensätze, %s je Sekunde";
constexpr double kProgressInterval = 0.1;  // at most ten updates a second

enum class CommandKind { kList, kDump, kExport, kCheck };

struct Command {
    CommandKind kind = CommandKind::kExport;
    std::vector<std::u16string> passwords;
    std::vector<std::u16string> operands;
    bool xpMode = false;
    bool all = false;
    std::optional<std::u16string> into;
    std::optional<int> codePage;
    std::optional<std::u16string> report;
    std::optional<std::u16string> winePrefix;
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

// A whole decimal number from 1 to maximum, digits only.
std::optional<int> PositiveNumber(std::u16string_view text, int maximum) {
    const std::string digits = ToUtf8(text);
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 1 || value > maximum ||
        digits.front() == '+')
        return std::nullopt;
    return value;
}

std::u16string_view CommandName(CommandKind kind) {
    switch (kind) {
    case CommandKind::kList: return u"list";
    case CommandKind::kDump: return u"dump";
    case CommandKind::kCheck: return u"check";
    case CommandKind::kExport: break;
    }
    return u"export";
}

// The options: which commands take them, whether they take a value, and
// what they do with it (an error text when the value is wrong).
constexpr unsigned Bit(CommandKind kind) { return 1u << static_cast<unsigned>(kind); }

struct OptionRule {
    std::u16string_view name;
    unsigned commands;
    std::u16string_view missingValue;  // empty: the option takes no value
    std::optional<std::u16string> (*apply)(Command& command, std::u16string_view value);
};

const OptionRule kOptionRules[] = {
    {u"--password", Bit(CommandKind::kExport) | Bit(CommandKind::kDump) | Bit(CommandKind::kCheck), kMissingPassword,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
         command.passwords.emplace_back(value);
         return std::nullopt;
     }},
    {u"--row", Bit(CommandKind::kExport), kMissingRow,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
         command.row = PositiveNumber(value, std::numeric_limits<int>::max());
         if (!command.row) return FillMessage(kBadRowNumber, {value});
         return std::nullopt;
     }},
    {u"--xp-mode", Bit(CommandKind::kExport), {},
     [](Command& command, std::u16string_view) -> std::optional<std::u16string> {
         command.xpMode = true;
         return std::nullopt;
     }},
    {u"--all", Bit(CommandKind::kExport), {},
     [](Command& command, std::u16string_view) -> std::optional<std::u16string> {
         command.all = true;
         return std::nullopt;
     }},
    {u"--into", Bit(CommandKind::kExport), kMissingFolder,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
         if (command.into) return FillMessage(kOptionTwice, {u"--into"});
         if (value.empty()) return std::u16string(kEmptyFolder);
         command.into = std::u16string(value);
         return std::nullopt;
     }},
    {u"--report", Bit(CommandKind::kExport), kMissingReport,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
         if (command.report) return FillMessage(kOptionTwice, {u"--report"});
         if (value.empty()) return std::u16string(kEmptyReport);
         command.report = std::u16string(value);
         return std::nullopt;
     }},
    {u"--codepage", Bit(CommandKind::kExport) | Bit(CommandKind::kDump) | Bit(CommandKind::kCheck), kMissingCodePage,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
         if (command.codePage) return FillMessage(kOptionTwice, {u"--codepage"});
         command.codePage = PositiveNumber(value, 65535);
         if (!command.codePage) return FillMessage(kBadCodePage, {value});
         return std::nullopt;
     }},
    {u"--wine-prefix", Bit(CommandKind::kList) | Bit(CommandKind::kExport), kMissingWinePrefix,
     [](Command& command, std::u16string_view value) -> std::optional<std::u16string> {
#ifdef _WIN32
         static_cast<void>(command);
         static_cast<void>(value);
         return std::u16string(kWinePrefixOnLinuxOnly);
#else
         if (command.winePrefix) return FillMessage(kOptionTwice, {u"--wine-prefix"});
         command.winePrefix = std::u16string(value);
         return std::nullopt;
#endif
     }},
};

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
    } else if (name == u"check") {
        command.kind = CommandKind::kCheck;
    } else {
        return WrongUsage(FillMessage(name.starts_with(u'-') ? kUnknownOption : kUnknownCommand, {name}));
    }
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
        const std::u16string_view option = std::u16string_view(argument).substr(0, equals);
        const OptionRule* rule = nullptr;
        for (const OptionRule& candidate : kOptionRules) {
            if (candidate.name == option) rule = &candidate;
        }
        if (rule == nullptr) return WrongUsage(FillMessage(kUnknownOption, {argument}));
        if ((rule->commands & Bit(command.kind)) == 0)
            return WrongUsage(FillMessage(kOptionNotFor, {option, CommandName(command.kind)}));
        std::u16string value;
        if (rule->missingValue.empty()) {
            if (equals != std::u16string::npos) return WrongUsage(FillMessage(kNoValueFor, {option, argument}));
        } else if (equals != std::u16string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return WrongUsage(std::u16string(rule->missingValue));
        }
        if (std::optional<std::u16string> wrong = rule->apply(command, value)) return WrongUsage(std::move(*wrong));
    }

    if (command.into && !command.all) return WrongUsage(kIntoWithoutAll);
    if (command.winePrefix && command.kind == CommandKind::kExport && !command.all && !command.row)
        return WrongUsage(kPrefixWithTable);
    if (command.all) {
        if (command.row) return WrongUsage(FillMessage(kAllAndOther, {u"--row"}));
        if (command.xpMode) return WrongUsage(FillMessage(kAllAndOther, {u"--xp-mode"}));
        if (command.codePage) return WrongUsage(FillMessage(kAllAndOther, {u"--codepage"}));
        if (command.report) return WrongUsage(FillMessage(kAllAndOther, {u"--report"}));
        if (!command.operands.empty()) return WrongUsage(FillMessage(kAllAndOperand, {command.operands[0]}));
        return {ParsedArguments::Kind::kRun, std::move(command), {}};
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

// The progress of an export on a terminal: one line on err, rewritten in
// place at most ten times a second, cleared when the export ends however it
// ends. Nothing at all when err is no terminal.
class ProgressLine {
public:
    explicit ProgressLine(CommandLineEnvironment& environment) : environment_(environment) {
        if (environment_.errIsTerminal && environment_.clock) started_ = last_ = environment_.clock();
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Clear(); }

    void Show(std::uint32_t done, std::optional<std::uint32_t> total) {
        if (!started_) return;
        const double now = environment_.clock();
        if (now - last_ < kProgressInterval) return;
        last_ = now;
        const double seconds = now - *started_;
        std::u16string doneText, totalText, rateText;
        AppendDecimal(doneText, done, 1);
        AppendDecimal(rateText, seconds > 0 ? static_cast<long long>(done / seconds + 0.5) : 0, 1);
        std::u16string line;
        if (total) {
            AppendDecimal(totalText, *total, 1);
            line = FillMessage(kProgressOf, {doneText, totalText, rateText});
        } else {
            line = FillMessage(kProgress, {doneText, rateText});
        }
        const std::size_t width = line.size();
        if (line.size() < width_) line.append(width_ - line.size(), u' ');
        width_ = width;
        environment_.err << '\r' << ToReadableUtf8(line) << std::flush;
    }

    void Clear() {
        if (width_ == 0) return;
        environment_.err << '\r' << std::string(width_, ' ') << '\r' << std::flush;
        width_ = 0;
    }

private:
    CommandLineEnvironment& environment_;
    std::optional<double> started_;
    double last_ = 0;
    std::size_t width_ = 0;  // of the line shown; 0: none
};

// The export's questions answered from the command line: the output from
// the arguments, passwords from the terminal, the count on standard output
// (unless quiet), the progress on a terminal.
class ConsoleUserInterface final : public UserInterface {
public:
    ConsoleUserInterface(CommandLineEnvironment& environment, std::optional<std::u16string> output, bool quiet = false)
        : environment_(environment), output_(std::move(output)), quiet_(quiet), progress_(environment) {}

    void ShowMessage(std::u16string_view text) override {
        progress_.Clear();
        if (!quiet_) environment_.out << ToReadableUtf8(text) << '\n' << std::flush;
    }
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override {
        chosen_ = output_ ? *output_ : std::u16string(proposed);
        return chosen_;
    }
    std::optional<std::u16string> AskPassword(std::u16string_view tablePath) override {
        progress_.Clear();
        if (!environment_.readPassword) return std::nullopt;
        std::optional<std::u16string> password = environment_.readPassword(FillMessage(kPasswordPrompt, {tablePath}));
        if (!password || password->empty()) return std::nullopt;
        return password;
    }
    void ShowProgress(std::uint32_t done, std::optional<std::uint32_t> total) override { progress_.Show(done, total); }

    // The output file the export was given; empty before it asked.
    const std::u16string& chosen() const noexcept { return chosen_; }

private:
    CommandLineEnvironment& environment_;
    std::optional<std::u16string> output_;
    bool quiet_;
    ProgressLine progress_;
    std::u16string chosen_;
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

// The system whose registry lists the databases and whose files a row names:
// the Wine prefix named by --wine-prefix, the default one where the system
// has no registry of its own and reading it is wanted, else the system's.
struct RegistrySystem {
    std::unique_ptr<WinePrefixSystem> prefix;
    const SystemServices* system = nullptr;
};

RegistrySystem SystemOfRegistry(const Command& command, const CommandLineEnvironment& environment) {
    RegistrySystem chosen;
    if (command.winePrefix) {
        chosen.prefix = OpenWinePrefix(*command.winePrefix);
    } else if (!environment.system.HasRegistry() && environment.useDefaultWinePrefix) {
        const std::u16string folder = DefaultWinePrefix();
        if (!FolderExists(folder)) throw Error(FillMessage(kNoRegistryNorPrefix, {folder}));
        chosen.prefix = OpenWinePrefix(folder);
    }
    chosen.system = chosen.prefix ? chosen.prefix.get() : &environment.system;
    return chosen;
}

// One line per row: number, display text, and for an XP-mode row the
// folder read; from a Wine prefix instead the Linux path of the file read.
void List(const Command& command, CommandLineEnvironment& environment) {
    const RegistrySystem registry = SystemOfRegistry(command, environment);
    const DatabaseRows rows = DiscoveredRows(*registry.system);
    if (rows.paths.empty()) {
        WriteLine(environment.out, ToReadableUtf8(rows.items.front()));
        return;
    }
    for (std::size_t row = 0; row < rows.items.size(); ++row) {
        std::u16string line;
        AppendDecimal(line, static_cast<long long>(row) + 1, 1);
        line += u'\t';
        line += rows.items[row];
        if (registry.prefix) {
            line += u'\t';
            line += LinuxPathOfRow(*registry.prefix, rows, row).value_or(std::u16string());
        } else if (rows.paths[row] != rows.purePaths[row]) {
            line += u'\t';
            line += registry.system->FolderOf(rows.paths[row]);
        }
        WriteLine(environment.out, ToReadableUtf8(line));
    }
}

// The table named on the command line, opened read-only as "dump" and
// "check" read it: through db1 on its folder, in the code page asked for.
void OpenNamedTable(const Command& command, Database& db1, Table& tbl1) {
    const std::u16string tablePath = FullPath(command.operands[0]);
    db1.SetParam(u"PATH", FolderOfPath(tablePath));
    db1.Connect();
    tbl1.SetTableName(NameOfPath(tablePath));
    tbl1.SetCodePage(command.codePage);
    tbl1.Open();
}

void Dump(const Command& command, CommandLineEnvironment& environment) {
    Session& session = Session::Default();
    session.SetNetworkControlFolder(TemporaryFolder());
    const PasswordScope passwords(session, command.passwords);
    Database db1(session);
    Table tbl1(db1);
    OpenNamedTable(command, db1, tbl1);
    WriteLine(environment.out, DumpFieldLine(tbl1.Fields()));
    for (tbl1.First(); !tbl1.Eof() && environment.out; tbl1.Next())
        WriteLine(environment.out, DumpRecordLine(tbl1.reader()));
}

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

// The doubtful records on out; on err the hint when the table's text looks
// as if its header named the wrong code page.
void Check(const Command& command, CommandLineEnvironment& environment) {
    Session& session = Session::Default();
    session.SetNetworkControlFolder(TemporaryFolder());
    const PasswordScope passwords(session, command.passwords);
    Database db1(session);
    Table tbl1(db1);
    OpenNamedTable(command, db1, tbl1);
    const std::vector<RecordFinding> findings = CheckRecords(tbl1);
    StreamSink sink(environment.out);
    WriteCheckReport(sink, findings);
    // The raw text of the same open table, in the code page it was read in.
    ParadoxTable& sample = tbl1.reader();
    const int codePage = sample.info().codePage;
    if (JudgeCodePage(SampleTextBytes(sample), codePage).looksWrong)
        environment.err << ToReadableUtf8(WrongCodePageHint(codePage)) << '\n' << std::flush;
}

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

void Export(const Command& command, CommandLineEnvironment& environment) {
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

// Every registered database, one after the other, each failure noted and
// the next one taken; the summary at the end. True when every one was saved.
bool ExportAll(const Command& command, CommandLineEnvironment& environment) {
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

    bool succeeded = true;
    try {
        switch (parsed.command.kind) {
        case CommandKind::kList: List(parsed.command, environment); break;
        case CommandKind::kDump: Dump(parsed.command, environment); break;
        case CommandKind::kCheck: Check(parsed.command, environment); break;
        case CommandKind::kExport:
            if (parsed.command.all) {
                succeeded = ExportAll(parsed.command, environment);
            } else {
                Export(parsed.command, environment);
            }
            break;
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
    return succeeded ? 0 : 1;
}

}  // namespace kosmara
