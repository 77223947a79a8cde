// The command line: its arguments parsed, its usage and help texts, and
// the command asked for run, its errors turned into the exit code. The
// commands themselves live beside it (cli/commands.h).
#include "cli/command_line.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "cli/commands.h"
#include "core/error.h"
#include "core/text.h"
#include "core/version.h"
#include "engine/code_page.h"
#include "engine/engine_error.h"

namespace kosmara {

namespace {

constexpr char kUsage[] =
    "Aufruf: kosmara2aaf list [--wine-prefix ORDNER]\n"
    "        kosmara2aaf export [--xp-mode] [--password KENNWORT]... [--codepage N] [--report DATEI] TABELLE [AUSGABE]\n"
    "        kosmara2aaf export [--password KENNWORT]... [--codepage N] [--report DATEI] [--wine-prefix ORDNER] --row N [AUSGABE]\n"
    "        kosmara2aaf export --all [--into ORDNER] [--password KENNWORT]... [--wine-prefix ORDNER]\n"
    "        kosmara2aaf dump [--password KENNWORT]... [--codepage N] TABELLE\n"
    "        kosmara2aaf check [--password KENNWORT]... [--codepage N] TABELLE\n"
    "        kosmara2aaf --help\n"
    "        kosmara2aaf --version\n";

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
    "  kosmara2aaf --version\n"
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
    "           \".aaf\" ersetzt; nimmt der Ordner der Tabelle keine neue Datei an,\n"
    "           kommt die AAF-Datei unter diesem Namen in den Ordner \"Dokumente\"\n"
    "           des Benutzers (sonst in seinen Home-Ordner), und eine Zeile nach\n"
    "           der Anzahl nennt sie. Eine Datei der Tabelle wird nie überschrieben.\n"
    "           Im Terminal zeigt eine Zeile auf der Fehlerausgabe den Fortschritt.\n"
    "  dump     gibt die Felder und alle Datensätze der Tabelle als Text mit\n"
    "           Tabulatoren aus, einen Datensatz je Zeile.\n"
    "  check    listet Werte, die zwar umgewandelt werden, aber kaum gemeint sein\n"
    "           können (Geburtszeitpunkt 0, Breite jenseits der Pole, leerer Name,\n"
    "           Zeichen, die die Codepage der Tabelle nicht kennt, unlesbare\n"
    "           Kommentare ...), mit Tabulatoren: Datensatz, Feld, Wert, Grund.\n"
    "           Sieht der Text in der Codepage aus dem Tabellenkopf falsch aus,\n"
    "           nennt ein Hinweis auf der Fehlerausgabe --codepage. Ist die Tabelle\n"
    "           ab einem Datensatz nicht lesbar, endet die Prüfung dort mit dem\n"
    "           Rückgabewert 1.\n"
    "\n"
    "Optionen:\n"
    "  --row N              exportiert die Datenbank der Zeile N von \"list\",\n"
    "                       im XP-Modus, wenn die Zeile es zeigt.\n"
    "  --all                exportiert jede Datenbank, die \"list\" zeigt, der\n"
    "                       Reihe nach (Zeilen im XP-Modus im XP-Modus); fehlende\n"
    "                       werden gemeldet und übersprungen. Am Ende steht eine\n"
    "                       Übersicht mit Tabulatoren: Datenbank, Modus, Horoskope,\n"
    "                       AAF-Datei, Ergebnis. Rückgabewert 0 nur, wenn jede\n"
    "                       Datenbank umgewandelt wurde. Jede Zeile bekommt ihre\n"
    "                       eigene AAF-Datei; eine vorhandene Datei dieses Namens\n"
    "                       wird ersetzt wie bei \"export\".\n"
    "  --into ORDNER        (mit --all) schreibt jede AAF-Datei in ORDNER unter dem\n"
    "                       Namen ihrer Tabelle, etwa \"Horoskop.aaf\"; bei gleichen\n"
    "                       Namen \"Horoskop (2).aaf\" und so fort. Ohne --into geht\n"
    "                       jede Datei dorthin, wo \"export\" ohne AUSGABE sie\n"
    "                       anlegt: neben ihre Tabelle oder in \"Dokumente\".\n"
    "                       Nennen zwei Zeilen dieselbe Tabelle (etwa normal und\n"
    "                       im XP-Modus), heißt auch dort die zweite Datei\n"
    "                       \"Horoskop (2).aaf\". ORDNER darf weder der Ordner\n"
    "                       einer der Tabellen noch der Exportordner des XP-Modus\n"
    "                       sein; er wird angelegt, wenn es ihn nicht gibt.\n"
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
    "  --version            zeigt Version und Lizenz von kosmara2aaf.\n"
    "\n"
    "Ausgaben in eine Datei oder Pipe sind UTF-8; im Konsolenfenster von Windows\n"
    "erscheint der Text, wie er ist, und dessen Codepage bleibt unverändert.\n"
    "\n"
    "Rückgabewerte: 0 Erfolg, 1 Fehler, 2 falscher Aufruf.\n";

// "--version": the program's name and version, then its licence.
constexpr char kVersion[] = "kosmara2aaf " KOSMARA_VERSION_SHORT_TEXT "\n" KOSMARA_LICENCE_LINE "\n";

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
// A code page after --codepage that neither our tables nor the system's
// converter read: %s its number.
constexpr char16_t kCodePageNotSupported[] =
    u"Die Codepage %s (nach \"--codepage\") wird auf diesem System nicht unterstützt.";
constexpr char16_t kPasswordHint[] = u"Geben Sie das Kennwort mit --password KENNWORT an.";
constexpr char16_t kCannotWriteOutput[] = u"Die Ausgabe kann nicht geschrieben werden.";
constexpr char16_t kMissingWinePrefix[] = u"Nach \"--wine-prefix\" fehlt der Ordner des Wine-Präfixes.";
constexpr char16_t kWinePrefixOnLinuxOnly[] = u"Die Option \"--wine-prefix\" gibt es nur unter Linux.";
constexpr char16_t kPrefixWithTable[] =
    u"\"--wine-prefix\" gilt für \"--row\" und \"--all\"; eine Tabelle wird mit ihrem Linux-Pfad angegeben.";

// What the arguments ask for: a command to run, the help, or nothing valid
// (a wrong call; its message goes to err with the usage text).
struct ParsedArguments {
    enum class Kind { kRun, kHelp, kVersion, kWrongUsage } kind = Kind::kRun;
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
         if (command.row) return FillMessage(kOptionTwice, {u"--row"});
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
    if (name == u"--version") {
        if (arguments.size() > 1) return WrongUsage(FillMessage(kTooManyArguments, {arguments[1]}));
        return {ParsedArguments::Kind::kVersion, {}, {}};
    }
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
        // One operand is the output. Of more, one that names a Paradox
        // table shows the table given besides the row; else the extra one
        // is named.
        if (command.operands.size() > allowed) {
            for (const std::u16string& operand : command.operands) {
                if (EndsWithIgnoringCase(operand, u".db")) return WrongUsage(FillMessage(kRowAndTable, {operand}));
            }
        }
    }
    if (tables == 1 && (command.operands.empty() || command.operands[0].empty())) return WrongUsage(kMissingTable);
    if (command.operands.size() > allowed)
        return WrongUsage(FillMessage(kTooManyArguments, {command.operands[allowed]}));
    if (command.kind == CommandKind::kExport && command.operands.size() == tables + 1 && command.operands[tables].empty())
        return WrongUsage(kEmptyOutput);
    return {ParsedArguments::Kind::kRun, std::move(command), {}};
}

}  // namespace

std::string_view HelpText() { return kHelp; }

void WriteLine(std::ostream& out, const std::string& line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.put('\n');
}

int RunCommandLine(const std::vector<std::u16string>& arguments, CommandLineEnvironment& environment) {
    std::ostream& out = environment.out;
    std::ostream& err = environment.err;
    const ParsedArguments parsed = ParseArguments(arguments);
    if (parsed.kind == ParsedArguments::Kind::kWrongUsage) {
        if (!parsed.message.empty()) err << ToReadableUtf8(parsed.message) << '\n';
        err << kUsage << std::flush;
        return 2;
    }
    if (parsed.kind == ParsedArguments::Kind::kHelp || parsed.kind == ParsedArguments::Kind::kVersion) {
        out << (parsed.kind == ParsedArguments::Kind::kHelp ? kHelp : kVersion) << std::flush;
        return out ? 0 : 1;
    }

    bool succeeded = true;
    try {
        // Said before any table is opened, which would otherwise be blamed.
        if (parsed.command.codePage && !CodePage::Find(*parsed.command.codePage)) {
            std::u16string number;
            AppendDecimal(number, *parsed.command.codePage, 1);
            throw Error(FillMessage(kCodePageNotSupported, {number}));
        }
        switch (parsed.command.kind) {
        case CommandKind::kList: RunList(parsed.command, environment); break;
        case CommandKind::kDump: RunDump(parsed.command, environment); break;
        case CommandKind::kCheck: succeeded = RunCheck(parsed.command, environment); break;
        case CommandKind::kExport:
            if (parsed.command.all) {
                succeeded = RunExportAll(parsed.command, environment);
            } else {
                RunExport(parsed.command, environment);
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
