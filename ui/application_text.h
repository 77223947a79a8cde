// The texts of the program's own boxes that follow fixed rules: the
// application title and the text the default error handler shows. Portable,
// so the rules are checked on every build.
#pragma once

#include <string>
#include <string_view>

namespace kosmara {

// The executable's file name (without its folder) without everything from
// its first "." on, every character after the first in lower case:
// "KosmaraExport.exe" gives "Kosmaraexport".
std::u16string ApplicationTitleOf(std::u16string_view executableName);

// The message as the default error handler shows it: a "." is appended when
// the code of its last character is above that of ".".
std::u16string ErrorBoxText(std::u16string_view message);

// The window's texts.
inline constexpr char16_t kMainCaption[] = u"Datenübernahme aus Kosmara 3.5";
inline constexpr char16_t kLabelText[] = u"Erkannte Kosmara 3.5 - Datenbanken:";
inline constexpr char16_t kExportButtonText[] = u"Als AAF speichern";
inline constexpr char16_t kSearchButtonText[] = u"Nicht erkannte Datenbank manuell suchen";
inline constexpr char16_t kSpecialButtonText[] = u"Spezialdatenbanken umwandeln";
inline constexpr char16_t kOpenFilter[] = u"Horoskop-Datenbanken (*.db)|*.db";
inline constexpr char16_t kSaveFilter[] = u"AAF-Dateien (*.aaf)|*.aaf";
inline constexpr char16_t kXpQuestionCaption[] = u"XP Modus gefunden";
inline constexpr char16_t kXpQuestionText[] =
    u"Wollen Sie die Datenbank im XP-Modus öffnen?\r\nWenn Sie Kosmara im XP-Modus benutzt haben, drücken Sie \"Ja\".";
// Errors that are no kosmara::Error (the C++ library's, running out of memory).
inline constexpr char16_t kOutOfMemory[] = u"Nicht genügend Arbeitsspeicher";
inline constexpr char16_t kUnexpectedError[] = u"Unerwarteter Fehler: %s";

}  // namespace kosmara
