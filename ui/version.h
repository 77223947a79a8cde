// Version of KosmaraExport.exe: the numbers and the German texts of its
// version resource. Read by kosmara_export.rc (through windres' C
// preprocessor) and by the program, so it holds only macros: numbers, and
// narrow string literals in UTF-8 (the .rc says #pragma code_page(65001)).
// In C++, KOSMARA_WIDE(KOSMARA_PRODUCT_NAME) gives the UTF-16 literal.
#ifndef KOSMARA_UI_VERSION_H
#define KOSMARA_UI_VERSION_H

#define KOSMARA_VERSION_MAJOR 1
#define KOSMARA_VERSION_MINOR 0
#define KOSMARA_VERSION_PATCH 0
#define KOSMARA_VERSION_BUILD 0

#define KOSMARA_STRINGIZE_(x) #x
#define KOSMARA_STRINGIZE(x) KOSMARA_STRINGIZE_(x)
#define KOSMARA_WIDE_(s) L##s
#define KOSMARA_WIDE(s) KOSMARA_WIDE_(s)

// "1.0.0.0", made from the numbers above so the two cannot drift apart.
#define KOSMARA_VERSION_TEXT                                                                         \
  KOSMARA_STRINGIZE(KOSMARA_VERSION_MAJOR) "." KOSMARA_STRINGIZE(KOSMARA_VERSION_MINOR) "."        \
  KOSMARA_STRINGIZE(KOSMARA_VERSION_PATCH) "." KOSMARA_STRINGIZE(KOSMARA_VERSION_BUILD)

#define KOSMARA_COMPANY_NAME "kosmara2aaf"
#define KOSMARA_FILE_DESCRIPTION "Datenübernahme aus Kosmara 3.5"
#define KOSMARA_PRODUCT_NAME "Kosmara-Export"
#define KOSMARA_LEGAL_COPYRIGHT "Freie Software"
#define KOSMARA_INTERNAL_NAME "KosmaraExport"
#define KOSMARA_ORIGINAL_FILENAME "KosmaraExport.exe"

#endif
