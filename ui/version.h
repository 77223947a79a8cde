// The texts of KosmaraExport.exe's version resource beside the version and
// licence of core/version.h. Read by kosmara_export.rc (through windres' C
// preprocessor) and by the program, so it holds only macros: narrow string
// literals in UTF-8 (the .rc says #pragma code_page(65001)).
#ifndef KOSMARA_UI_VERSION_H
#define KOSMARA_UI_VERSION_H

#include "../core/version.h"

#define KOSMARA_FILE_DESCRIPTION "Datenübernahme aus Kosmara 3.5"
#define KOSMARA_PRODUCT_NAME "Kosmara-Export"
#define KOSMARA_INTERNAL_NAME "KosmaraExport"
#define KOSMARA_ORIGINAL_FILENAME "KosmaraExport.exe"

#endif
