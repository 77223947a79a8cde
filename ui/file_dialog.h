// The window's open and save dialogs (dlgOpen1, dlgSave1): a file name that
// stays with the dialog object from one use to the next, a filter, a default
// extension, and Execute, which shows the system's dialog. Windows only.
//
// Which dialog shows: the common item dialog (IFileOpenDialog or
// IFileSaveDialog) where the system has it, else the classic one
// (GetOpenFileNameW or GetSaveFileNameW). Both are set up alike:
// - no title of their own (the system's "Öffnen", "Speichern unter"), no
//   initial folder of their own: the folder comes from the file name;
// - the read-only box hidden, the dialog resizable;
// - no check that the file or its folder exists: the open dialog takes a
//   typed name of a file that does not exist;
// - the save dialog asks the system's own question before an existing file
//   is replaced (FOS_OVERWRITEPROMPT, OFN_OVERWRITEPROMPT): "No" leaves the
//   user in the dialog to choose another name;
// - only file-system paths are given back; the program's current folder is
//   left as it was.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace kosmara {

// Shown when a dialog could not be shown at all; %s: the error code in
// hexadecimal.
inline constexpr char16_t kFileDialogFailed[] = u"Das Dateiauswahlfenster kann nicht angezeigt werden (Fehler $%s)";
// Shown when the dialog was confirmed but the chosen file could not be
// named as a path; %s: the error code in hexadecimal.
inline constexpr char16_t kFileDialogNoPath[] = u"Die gewählte Datei kann nicht übernommen werden (Fehler $%s)";

enum class FileDialogKind { kOpen, kSave };

// Which of the system's dialogs Execute may show. kClassicOnly exists for
// the tests of the classic dialog; the window uses the default.
enum class FileDialogStyle { kItemDialogWhereAvailable, kClassicOnly };

// Which dialog the last Execute showed.
enum class FileDialogShown { kNone, kItemDialog, kClassic };

class FileDialog {
public:
    // filter: pairs of description and pattern, each separated by "|", as
    // "AAF-Dateien (*.aaf)|*.aaf"; the first pair is selected. A pattern may
    // list several patterns separated by ";"; a description without a
    // pattern is left out. defaultExtension without its dot ("aaf").
    FileDialog(FileDialogKind kind, std::u16string_view filter, std::u16string defaultExtension,
               FileDialogStyle style = FileDialogStyle::kItemDialogWhereAvailable);

    // The file name the dialog proposes at its next Execute: a full path
    // (folder and name are proposed), a bare name (shown in the folder the
    // system chooses), or empty. A full path whose folder does not exist is
    // proposed whole in the item dialog's name box; the classic dialog shows
    // only its name, in a folder of its own choosing.
    void SetFileName(std::u16string fileName) { fileName_ = std::move(fileName); }
    // The file the user confirmed last, as a full path; otherwise the name
    // last set (empty at first).
    const std::u16string& FileName() const noexcept { return fileName_; }

    // Shows the dialog modal to owner (which may be null) and waits for the
    // user. True when the user confirmed a file: FileName() is then its full
    // path, with ".<default extension>" appended when the name the user gave
    // has no extension. False when the user cancelled: FileName() stays.
    //
    // The item dialog needs COM initialised on the calling thread as a
    // single-threaded apartment (the program does it once at its start).
    // Where COM is not initialised, the system has no item dialog, setting
    // it up fails or showing it fails other than by the user's cancel, the
    // classic dialog is shown instead. A classic dialog that cannot be shown
    // is an Error (kFileDialogFailed); so is a confirmed file that cannot be
    // named as a file-system path (kFileDialogNoPath). The caller's x87
    // control word is given back when the dialog closes, whatever the
    // shell's extensions did with it.
    bool Execute(HWND owner);

    FileDialogKind kind() const noexcept { return kind_; }
    const std::u16string& defaultExtension() const noexcept { return defaultExtension_; }
    FileDialogShown lastShown() const noexcept { return lastShown_; }

private:
    struct FilterEntry {
        std::u16string description;
        std::u16string pattern;
    };
    enum class Outcome { kNotShown, kCancelled, kConfirmed };

    Outcome RunItemDialog(HWND owner, std::u16string& chosen);
    bool RunClassicDialog(HWND owner, std::u16string& chosen);
    std::u16string WithDefaultExtension(std::u16string path) const;

    FileDialogKind kind_;
    FileDialogStyle style_;
    std::vector<FilterEntry> filter_;
    std::u16string defaultExtension_;
    std::u16string fileName_;
    FileDialogShown lastShown_ = FileDialogShown::kNone;
};

}  // namespace kosmara
