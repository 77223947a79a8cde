// The manual page kosmara2aaf(1), rendered as roff from the help text, so
// the two say the same. Used by tools/make_man_page.cpp, which the Debian
// package's build runs.
#pragma once

#include <string>
#include <string_view>

namespace kosmara {

// The help text's layout, read as sections:
// - the first paragraph describes the program: NAME and BESCHREIBUNG;
// - a paragraph whose first line is "Überschrift:" alone starts a section of
//   that name, in capitals; its indented lines are either calls (each starts
//   with "kosmara2aaf ") or entries: a term at column 2 and its text at the
//   column where the entry's further lines start;
// - a paragraph "Überschrift: Text" is a section with that text;
// - any other paragraph is a paragraph of the section before it.
// date is the page's date (YYYY-MM-DD); the version is the program's.
// The result is UTF-8 roff for the man macros.
std::string ManPageFromHelp(std::string_view help, std::string_view date);

}  // namespace kosmara
