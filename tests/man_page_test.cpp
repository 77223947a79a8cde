#include "cli/man_page.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "cli/command_line.h"

namespace kosmara {
namespace {

// What a reader sees of roff text: request lines and comments left out,
// font changes dropped, escapes turned back into their characters.
std::string Readable(std::string_view roff) {
    std::string text;
    std::istringstream lines{std::string(roff)};
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(".") || line.starts_with("'")) {
            // A macro's arguments are text too (.SH NAME); requests are not.
            if (!line.starts_with(".SH ")) continue;
            line = line.substr(4);
        }
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                text += line[i];
                continue;
            }
            const char escape = line[++i];
            if (escape == 'f') {
                ++i;  // \fB, \fI, \fR
            } else if (escape == '-') {
                text += '-';
            } else if (escape == 'e') {
                text += '\\';
            } else if (escape != '&') {
                text += '\\';
                text += escape;
            }
        }
        text += ' ';
    }
    return text;
}

// The words of a text with how often each occurs; the help's words broken
// after a hyphen at a line's end joined again.
std::map<std::string, int> Words(std::string text) {
    text = std::regex_replace(text, std::regex("([^ ])-\\n *"), "$1-");
    std::map<std::string, int> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) ++words[word];
    return words;
}

TEST(ManPage, SaysEverythingTheHelpSays) {
    const std::string page = ManPageFromHelp(HelpText(), "2026-12-10");
    const std::map<std::string, int> pageWords = Words(Readable(page));
    std::map<std::string, int> helpWords = Words(std::string(HelpText()));
    // The help's headings end with a colon; the page's sections are named in capitals.
    for (const char* heading : {"Aufruf:", "Befehle:", "Optionen:", "Rückgabewerte:"}) helpWords.erase(heading);
    for (const auto& [word, count] : helpWords) {
        const auto found = pageWords.find(word);
        EXPECT_GE(found == pageWords.end() ? 0 : found->second, count) << "\"" << word << "\" missing";
    }
}

TEST(ManPage, ExplainsEveryCommandAndOptionOfTheHelpAsAnEntry) {
    const std::string page = ManPageFromHelp(HelpText(), "2026-12-10");
    const std::string help(HelpText());
    std::set<std::string> named;
    const std::regex option("(^|[ \\[(])(--?[a-z][a-z-]*)");
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) named.insert((*it)[2]);
    for (const char* command : {"list", "export", "dump", "check"}) named.insert(command);
    ASSERT_GE(named.size(), 15u) << "the help names fewer options than it does today";
    for (const std::string& name : named) {
        std::string marked;
        for (const char c : name) marked += c == '-' ? std::string("\\-") : std::string(1, c);
        // An entry: ".TP" and on the next line the name in bold, first or after "-h, ".
        const std::regex entry("\\n\\.TP\\n(\\\\fB\\\\-h\\\\fR, )?\\\\fB" + std::regex_replace(marked, std::regex("\\\\"), "\\\\") +
                               "\\\\fR");
        EXPECT_TRUE(std::regex_search(page, entry)) << name << " has no entry of its own";
    }
}

TEST(ManPage, HeaderNameAndSections) {
    const std::string page = ManPageFromHelp(HelpText(), "2026-12-10");
    for (const char* expected : {
             "\n.TH KOSMARA2AAF 1 \"2026-12-10\" \"kosmara2aaf 1.0.0\" \"Benutzerbefehle\"\n.nh\n",
             "\n.SH NAME\nkosmara2aaf \\- wandelt Horoskop-Datenbanken von Kosmara 3.5 (Paradox-Tabellen) in "
             "AAF-Dateien um\n",
             "\n.SH AUFRUF\n", "\n.SH BEFEHLE\n", "\n.SH OPTIONEN\n",
             "\n.SH RÜCKGABEWERTE\n0 Erfolg, 1 Fehler, 2 falscher Aufruf.\n",
             // A call: program and options in bold, what the user fills in in italics.
             "\n\\fBkosmara2aaf\\fR \\fBexport\\fR \\fB\\-\\-all\\fR [\\fB\\-\\-into\\fR \\fIORDNER\\fR]",
         }) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
    }
    // The encoding is declared, for man to read the umlauts right; no blank line, which roff would print.
    EXPECT_TRUE(page.starts_with("'\\\" -*- coding: UTF-8 -*-\n"));
    EXPECT_EQ(page.find("\n\n"), std::string::npos);
}

// The layout rules on texts of their own.
TEST(ManPage, ReadsTheLayoutOfAHelpText) {
    const struct {
        const char* help;
        const char* expected;  // part of the page
    } cases[] = {
        // A word broken after its hyphen is joined without a space; other lines with one.
        {"p tut\nwas.\n\nOptionen:\n  --eins X  liest die Kosmara-3.5-\n            Installation\n            ganz.\n",
         ".TP\n\\fB\\-\\-eins\\fR \\fIX\\fR\nliest die Kosmara-3.5-Installation ganz.\n"},
        // A term running into the text column ends at the column.
        {"p.\n\nOptionen:\n  --lang X (nur hier) tut\n           es.\n  -k       kurz.\n",
         ".TP\n\\fB\\-\\-lang\\fR \\fIX\\fR\n(nur hier) tut es.\n.TP\n\\fB\\-k\\fR\nkurz.\n"},
        // Backslashes and a leading dot stay text; hyphens of options become minus signs.
        {"p.\n\nHinweis: .aaf in C:\\Daten, siehe --all und Wine-Pr\xC3\xA4" "fix.\n",
         ".SH HINWEIS\n\\&.aaf in C:\\eDaten, siehe \\-\\-all und Wine-Präfix.\n"},
        // A paragraph of plain text belongs to the section before it.
        {"p.\n\nAufruf:\n  kosmara2aaf --x\n\nNoch ein Satz.\n",
         ".SH AUFRUF\n.PP\n.in +4n\n.ti -4n\n\\fBkosmara2aaf\\fR \\fB\\-\\-x\\fR\n.in -4n\n.PP\nNoch ein Satz.\n"},
        // Section names in capitals, umlauts included.
        {"p.\n\n\xC3\x9C" "bersicht \xC3\xA4ndern:\n  a  b\n", ".SH ÜBERSICHT ÄNDERN\n.TP\n\\fBa\\fR\nb\n"},
    };
    for (const auto& c : cases) {
        const std::string page = ManPageFromHelp(c.help, "2000-01-01");
        EXPECT_NE(page.find(c.expected), std::string::npos) << c.help << "\n---\n" << page;
    }
}

}  // namespace
}  // namespace kosmara
