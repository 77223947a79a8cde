// The version of kosmara2aaf and the texts both programs say about it: in
// their version resources (read by ui/kosmara_export.rc and
// cli/kosmara2aaf.rc through windres' C preprocessor), in the command line's
// help and "--version", in the project's CMake version and in the release
// zip's and the Debian package's names (scripts/make_release.sh and
// scripts/make_package.sh read the numbers from the lines below). So it holds
// only macros: numbers, and narrow string literals in UTF-8 (the .rc files say
// #pragma code_page(65001)). In C++, KOSMARA_WIDE(KOSMARA_LEGAL_COPYRIGHT)
// gives the UTF-16 literal.
#ifndef KOSMARA_CORE_VERSION_H
#define KOSMARA_CORE_VERSION_H

#define KOSMARA_VERSION_MAJOR 1
#define KOSMARA_VERSION_MINOR 0
#define KOSMARA_VERSION_PATCH 0
#define KOSMARA_VERSION_BUILD 0

#define KOSMARA_STRINGIZE_(x) #x
#define KOSMARA_STRINGIZE(x) KOSMARA_STRINGIZE_(x)
#define KOSMARA_WIDE_(s) L##s
#define KOSMARA_WIDE(s) KOSMARA_WIDE_(s)

// "1.0.0", the version people read; made from the numbers above so the texts
// cannot drift apart from them.
#define KOSMARA_VERSION_SHORT_TEXT                                                                   \
  KOSMARA_STRINGIZE(KOSMARA_VERSION_MAJOR) "." KOSMARA_STRINGIZE(KOSMARA_VERSION_MINOR) "."        \
  KOSMARA_STRINGIZE(KOSMARA_VERSION_PATCH)
// "1.0.0.0", the four numbers of a Windows version resource.
#define KOSMARA_VERSION_TEXT KOSMARA_VERSION_SHORT_TEXT "." KOSMARA_STRINGIZE(KOSMARA_VERSION_BUILD)

// The project's licence (LICENSE at the top of the sources), as the version
// resources and "--version" name it.
#define KOSMARA_COMPANY_NAME "Die Autoren von kosmara2aaf"
#define KOSMARA_LEGAL_COPYRIGHT "© 2026 die Autoren von kosmara2aaf; MIT-Lizenz"
#define KOSMARA_LICENCE_LINE "Freie Software unter der MIT-Lizenz; © 2026 die Autoren von kosmara2aaf."

#endif
