// The manual page made from the help text: its paragraphs read as sections,
// calls and entries (see man_page.h), written with the man macros.
#include "cli/man_page.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "core/version.h"

namespace kosmara {

namespace {

constexpr std::string_view kProgram = "kosmara2aaf";

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::size_t Indent(std::string_view line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string_view::npos ? line.size() : first;
}

std::string_view Trim(std::string_view text) {
    text.remove_prefix(std::min(Indent(text), text.size()));
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The lines of one text as one: a word broken after its hyphen
// ("Kosmara-3.5-" / "Installation") is joined without a space.
std::string Join(const std::vector<std::string_view>& lines) {
    std::string joined;
    for (std::string_view line : lines) {
        line = Trim(line);
        if (line.empty()) continue;
        const bool brokenWord = joined.size() >= 2 && joined.back() == '-' && joined[joined.size() - 2] != ' ';
        if (!joined.empty() && !brokenWord) joined += ' ';
        joined += line;
    }
    return joined;
}

// A word as roff text: backslashes kept, and the hyphens of an option
// ("--wine-prefix", also in "[--xp-mode]") as minus signs, so the reader can
// copy them; hyphens inside German words stay hyphens.
std::string EscapeWord(std::string_view word) {
    const std::size_t start = word.find_first_not_of("[(\"");
    const bool option = start != std::string_view::npos && word[start] == '-';
    std::string escaped;
    for (const char c : word) {
        if (c == '\\') {
            escaped += "\\e";
        } else if (c == '-' && option) {
            escaped += "\\-";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// text's words, split at blanks, each made roff by transform and joined by
// blanks again; a line that would start with a control character is made
// plain text.
template <typename Transform>
std::string RoffLine(std::string_view text, Transform transform) {
    std::string line;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (at > 0) line += ' ';
        line += transform(text.substr(at, end - at));
        at = end + 1;
    }
    if (!line.empty() && (line[0] == '.' || line[0] == '\'')) line.insert(0, "\\&");
    return line;
}

// Running text as one roff text line: words escaped.
std::string Escape(std::string_view text) { return RoffLine(text, EscapeWord); }

// A word a user replaces ("TABELLE", "N", "KENNWORT"): capitals only.
bool IsPlaceholder(std::string_view word) {
    const std::u16string text = FromUtf8(word);
    bool letter = false;
    for (const char16_t c : text) {
        if ((c >= u'A' && c <= u'Z') || c == u'\u00C4' || c == u'\u00D6' || c == u'\u00DC') {
            letter = true;
        } else if (!(c >= u'0' && c <= u'9') && c != u'_') {
            return false;
        }
    }
    return letter;
}

// A call or a term: placeholders in italics, the rest (program, command,
// options) in bold, brackets, commas and "..." upright.
std::string Markup(std::string_view text) {
    return RoffLine(text, [](std::string_view word) {
        const std::size_t coreStart = std::min(word.find_first_not_of('['), word.size());
        std::size_t coreEnd = word.size();
        while (coreEnd > coreStart && std::string_view("],.").find(word[coreEnd - 1]) != std::string_view::npos) --coreEnd;
        const std::string_view core = word.substr(coreStart, coreEnd - coreStart);
        std::string marked(word.substr(0, coreStart));
        if (!core.empty()) {
            marked += IsPlaceholder(core) ? "\\fI" : "\\fB";
            marked += EscapeWord(core);
            marked += "\\fR";
        }
        marked += word.substr(coreEnd);
        return marked;
    });
}

// A section name as man pages write it: in capitals (umlauts too).
std::string Capitals(std::string_view name) {
    std::u16string text = FromUtf8(name);
    for (char16_t& c : text) {
        if ((c >= u'a' && c <= u'z') || c == u'\u00E4' || c == u'\u00F6' || c == u'\u00FC') c = static_cast<char16_t>(c - 0x20);
    }
    return ToUtf8(text);
}

// The indented lines of a section as calls.
void WriteCalls(const std::vector<std::string_view>& lines, std::string& page) {
    page += ".PP\n.in +4n\n";
    for (const std::string_view line : lines) {
        page += ".ti -4n\n";
        page += Markup(Trim(line));
        page += '\n';
    }
    page += ".in -4n\n";
}

// The indented lines of a section as entries: a term at column 2, its text
// from the column where the section's further lines start.
void WriteEntries(const std::vector<std::string_view>& lines, std::string& page) {
    std::size_t column = 0;
    for (const std::string_view line : lines) {
        const std::size_t indent = Indent(line);
        if (indent > 2 && (column == 0 || indent < column)) column = indent;
    }
    std::vector<std::string_view> text;
    const auto flush = [&] {
        if (!text.empty()) page += Escape(Join(text)) + '\n';
        text.clear();
    };
    for (const std::string_view line : lines) {
        if (Indent(line) > 2 || Indent(line) == line.size()) {
            text.push_back(line);
            continue;
        }
        flush();
        // Where the term runs into the text column, the term ends at its
        // first double space.
        std::size_t termEnd = column > 0 && column <= line.size() && line[column - 1] == ' ' ? column : line.size();
        const std::size_t gap = line.find("  ", 2);
        if (gap != std::string_view::npos && gap < termEnd) termEnd = gap;
        page += ".TP\n";
        page += Markup(Trim(line.substr(0, termEnd)));
        page += '\n';
        text.push_back(line.substr(termEnd));
    }
    flush();
}

}  // namespace

std::string ManPageFromHelp(std::string_view help, std::string_view date) {
    std::vector<std::vector<std::string_view>> paragraphs(1);
    for (const std::string_view line : Lines(help)) {
        if (Trim(line).empty()) {
            if (!paragraphs.back().empty()) paragraphs.emplace_back();
        } else {
            paragraphs.back().push_back(line);
        }
    }
    if (paragraphs.back().empty()) paragraphs.pop_back();

    std::string page;
    page += "'\\\" -*- coding: UTF-8 -*-\n";
    page += ".\\\" Made from the text of \"kosmara2aaf --help\" (cli/man_page.cpp); do not edit.\n";
    page += ".TH KOSMARA2AAF 1 \"";
    page += date;
    page += "\" \"kosmara2aaf " KOSMARA_VERSION_SHORT_TEXT "\" \"Benutzerbefehle\"\n";
    // No hyphenation: groff's patterns are English and break German words wrongly.
    page += ".nh\n";
    if (paragraphs.empty()) return page;

    // The first paragraph: what the program does.
    const std::string description = Join(paragraphs[0]);
    std::string_view summary = description;
    if (summary.starts_with(kProgram) && summary.size() > kProgram.size() && summary[kProgram.size()] == ' ')
        summary.remove_prefix(kProgram.size() + 1);
    if (summary.ends_with('.')) summary.remove_suffix(1);
    page += ".SH NAME\n";
    page += std::string(kProgram) + " \\- " + Escape(summary) + '\n';
    page += ".SH BESCHREIBUNG\n";
    page += Escape(description) + '\n';

    for (std::size_t i = 1; i < paragraphs.size(); ++i) {
        const std::vector<std::string_view>& lines = paragraphs[i];
        const std::string_view first = lines[0];
        const std::size_t colon = first.find(": ");
        if (Indent(first) == 0 && first.ends_with(':')) {
            page += ".SH " + Capitals(first.substr(0, first.size() - 1)) + '\n';
            const std::vector<std::string_view> body(lines.begin() + 1, lines.end());
            const bool calls = std::all_of(body.begin(), body.end(), [](std::string_view line) {
                return Trim(line).starts_with(std::string(kProgram) + ' ') || Trim(line) == kProgram;
            });
            if (calls) {
                WriteCalls(body, page);
            } else {
                WriteEntries(body, page);
            }
        } else if (Indent(first) == 0 && colon != std::string_view::npos && first.find(' ') > colon) {
            // "Rückgabewerte: 0 Erfolg, ...": a section of one text.
            page += ".SH " + Capitals(first.substr(0, colon)) + '\n';
            std::vector<std::string_view> text(lines);
            text[0] = first.substr(colon + 2);
            page += Escape(Join(text)) + '\n';
        } else {
            page += ".PP\n" + Escape(Join(lines)) + '\n';
        }
    }
    return page;
}

}  // namespace kosmara
