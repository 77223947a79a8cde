// The modal dialog "Enter password", shown when a protected table opens
// with none of the session's passwords. Its texts are the system's own,
// in English: the group "Password" with a masked field, the buttons "&Add",
// "&Remove", "Re&move all", "&OK" and "Cancel". Windows only.
//
// - "&Add" and "&Remove" are enabled while the field holds text; they add the
//   typed password to the session's list or take it out of the list, then
//   empty the field (and give it the focus again).
// - "Re&move all" empties the session's list.
// - "&OK" is enabled while the field holds text or a password has been added
//   with "&Add" since the dialog opened (taking it out again or emptying the
//   list does not change that); it adds the typed password to the list and
//   closes the dialog. Enter is "&OK" when it is enabled.
// - "Cancel", Escape and the close box close it and change nothing more.
// Tab order: the field, then the buttons in the order above.
//
// The dialog is made from a template in memory, in Tahoma 8 points and
// dialog units, so the dialog manager scales it with its font for the
// display's density (for each monitor's own where the program declares
// per-monitor awareness, version 2, in its manifest); the sizes leave room
// for every text. It is centred on its owner (kept inside
// the owner's monitor's work area), and the owner is disabled while it is
// open.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kosmara {

class Session;

// The controls, for those who drive the dialog (the tests).
inline constexpr int kPasswordGroupId = 100;
inline constexpr int kPasswordFieldId = 101;
inline constexpr int kPasswordAddId = 102;
inline constexpr int kPasswordRemoveId = 103;
inline constexpr int kPasswordRemoveAllId = 104;
// "&OK" and "Cancel" are IDOK and IDCANCEL.

inline constexpr char16_t kPasswordDialogTitle[] = u"Enter password";
// %s: the system's text for the error.
inline constexpr char16_t kPasswordDialogFailed[] = u"Das Kennwortfenster kann nicht angezeigt werden: %s";

// Shows the dialog modal to owner (may be null) and returns when it closes.
// "&OK" gives the text of the field, which it has also added to the
// session's list (the export, which adds what it is given, finds it there
// already); that text is empty when the field was and passwords had been
// added. Cancelling gives nothing. "&Add", "&Remove" and "Re&move all"
// change the session's list while the dialog is open, and those changes
// stay whichever way it closes. A dialog that cannot be shown is an Error
// (kPasswordDialogFailed); an exception from the session closes the dialog
// and goes on to the caller.
std::optional<std::u16string> RunPasswordDialog(HWND owner, Session& session);

}  // namespace kosmara
