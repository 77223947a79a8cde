// Identifiers of the resources of KosmaraExport.exe, for kosmara_export.rc
// and the program. Macros only: windres reads this file too.
#ifndef KOSMARA_UI_RESOURCE_IDS_H
#define KOSMARA_UI_RESOURCE_IDS_H

// The application icon. The lowest icon number: the one Explorer shows for the .exe.
#define IDI_APP 1

#endif
