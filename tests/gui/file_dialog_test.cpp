// The open and save dialogs shown for real (under Wine) and driven from a
// second thread: once as the item dialog, once as the classic dialog the
// program falls back to. Both must give the same files for the same input.
#include "ui/file_dialog.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "dialog_driver.h"
#include "export/calendar.h"
#include "platform/win_text.h"
#include "platform/x87_control.h"
#include "temp_folder.h"

namespace kosmara {

void PrintTo(FileDialogShown shown, std::ostream* out) {
    *out << (shown == FileDialogShown::kItemDialog ? "item dialog"
             : shown == FileDialogShown::kClassic  ? "classic dialog"
                                                   : "none");
}

namespace {

using testing::ClassNameOf;
using testing::DescendantsOf;
using testing::DialogDriver;
using testing::PressKey;
using testing::Send;
using testing::SetText;
using testing::TempFolder;
using testing::TextOf;

namespace fs = std::filesystem;

constexpr char16_t kAafFilter[] = u"AAF-Dateien (*.aaf)|*.aaf";
constexpr char16_t kDatabaseFilter[] = u"Horoskop-Datenbanken (*.db)|*.db";

// COM on the test thread as a single-threaded apartment, as the program has it.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        EXPECT_TRUE(initialised_);
    }
    ~ComApartment() {
        if (initialised_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

// The name box as Wine's dialogs have it: the edit of the classic dialog's
// combo box cmb13 (1148), or the item dialog's edit edt1 (1152).
HWND FileNameField(HWND dialog) {
    for (HWND child : DescendantsOf(dialog)) {
        const int id = ::GetDlgCtrlID(child);
        if ((id == 1148 || id == 1152) && ClassNameOf(child) == u"Edit" && ::IsWindowVisible(child)) return child;
    }
    return nullptr;
}

// The file-type box cmb1 of both.
HWND FileTypeBox(HWND dialog) { return ::GetDlgItem(dialog, 1136); }

std::u16string PathText(const fs::path& path) { return path.u16string(); }

// How a driver ends the dialog.
enum class Ending { kReturn, kOkCommand, kEscape, kCancelButton, kCloseBox };

void End(HWND dialog, HWND field, Ending ending) {
    switch (ending) {
    case Ending::kReturn:
        PressKey(field, VK_RETURN);
        break;
    case Ending::kOkCommand:
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        break;
    case Ending::kEscape:
        PressKey(field, VK_ESCAPE);
        break;
    case Ending::kCancelButton:
        testing::Click(::GetDlgItem(dialog, IDCANCEL));
        break;
    case Ending::kCloseBox:
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

// What the driver saw of the dialog.
struct Seen {
    bool dialog = false;
    std::u16string proposed;  // the name box's text when it came up
};

// Waits for the dialog, types `typed` into its name box when given, ends it
// the given way and waits until it has closed.
DialogDriver::Script TypeAndEnd(Seen& seen, std::optional<std::u16string> typed, Ending ending) {
    return [&seen, typed, ending](DialogDriver& driver) {
        const HWND dialog = driver.WaitForDialog();
        ASSERT_NE(dialog, nullptr) << "no file dialog came up";
        seen.dialog = true;
        const HWND field = FileNameField(dialog);
        ASSERT_NE(field, nullptr) << "the dialog has no name box";
        seen.proposed = TextOf(field);
        if (typed) SetText(field, *typed);
        End(dialog, field, ending);
        EXPECT_TRUE(driver.WaitUntilClosed(dialog));
    };
}

struct Style {
    FileDialogStyle style;
    FileDialogShown shown;
    const char* name;
};

void PrintTo(const Style& style, std::ostream* out) { *out << style.name; }

class FileDialogTest : public ::testing::TestWithParam<Style> {
protected:
    FileDialog Make(FileDialogKind kind) const {
        return kind == FileDialogKind::kSave ? FileDialog(kind, kAafFilter, u"aaf", GetParam().style)
                                             : FileDialog(kind, kDatabaseFilter, u"db", GetParam().style);
    }

    // Runs the dialog with the driver's script; false when the driver had
    // to cancel a window the script did not expect (such as a question
    // before replacing a file).
    bool Run(FileDialog& dialog, DialogDriver::Script script, HWND owner = nullptr) {
        DialogDriver driver(std::move(script));
        confirmed_ = dialog.Execute(owner);
        const bool leftOpen = driver.Finish();
        EXPECT_EQ(dialog.lastShown(), GetParam().shown);
        return !leftOpen;
    }

    ComApartment com_;
    TempFolder folder_;
    bool confirmed_ = false;
};

struct NameCase {
    const char* what;
    FileDialogKind kind;
    const char* proposed;                 // in the test's folder; "" for none
    std::optional<std::u16string> typed;  // "{F}" stands for the test's folder
    const char* expected;                 // in the test's folder
    // The classic dialog cannot open a folder that does not exist: it shows
    // the name in a folder of its own choosing (Wine: the current folder).
    bool classicChoosesTheFolder = false;
};

std::u16string InFolder(const fs::path& folder, std::u16string text) {
    const std::u16string marker = u"{F}";
    const std::size_t at = text.find(marker);
    if (at != std::u16string::npos) text.replace(at, marker.size(), PathText(folder));
    return text;
}

const NameCase kNameCases[] = {
    {"save: the proposed full path as it stands", FileDialogKind::kSave, "Horoskop.aaf", std::nullopt,
     "Horoskop.aaf"},
    {"save: a typed name goes to the proposed folder, with the default extension", FileDialogKind::kSave,
     "Horoskop.aaf", u"Neu", "Neu.aaf"},
    {"save: a typed name with the extension keeps it", FileDialogKind::kSave, "Horoskop.aaf", u"Neu.aaf",
     "Neu.aaf"},
    {"save: a typed full path into another folder", FileDialogKind::kSave, "Horoskop.aaf",
     u"{F}\\Unter\\Voll.aaf", "Unter\\Voll.aaf"},
    {"save: a proposal in a folder that does not exist", FileDialogKind::kSave, "Fehlt\\Horoskop.aaf",
     std::nullopt, "Fehlt\\Horoskop.aaf", true},
    {"save: a typed full path into a folder that does not exist", FileDialogKind::kSave, "Horoskop.aaf",
     u"{F}\\Fehlt\\Getippt.aaf", "Fehlt\\Getippt.aaf"},
    {"open: a typed full path into a folder that does not exist", FileDialogKind::kOpen, "Vorhanden.db",
     u"{F}\\Fehlt\\Getippt.db", "Fehlt\\Getippt.db"},
    {"open: an existing table", FileDialogKind::kOpen, "Vorhanden.db", std::nullopt, "Vorhanden.db"},
    {"open: a proposed file that does not exist is taken", FileDialogKind::kOpen, "Fehlt.db", std::nullopt,
     "Fehlt.db"},
    {"open: a typed name without extension", FileDialogKind::kOpen, "Vorhanden.db", u"Neu", "Neu.db"},
    {"open: a typed full path to a file that does not exist", FileDialogKind::kOpen, "Vorhanden.db",
     u"{F}\\Unter\\Fehlt.db", "Unter\\Fehlt.db"},
    {"open: no proposal, a typed full path", FileDialogKind::kOpen, "", u"{F}\\Vorhanden.db", "Vorhanden.db"},
};

TEST_P(FileDialogTest, GivesTheConfirmedFullPath) {
    fs::create_directories(folder_ / "Unter");
    testing::WriteFileBytes(folder_ / "Vorhanden.aaf", "alt");
    testing::WriteFileBytes(folder_ / "Vorhanden.db", "");
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.what);
        FileDialog dialog = Make(c.kind);
        const std::u16string proposed = *c.proposed ? PathText(folder_ / c.proposed) : u"";
        dialog.SetFileName(proposed);
        std::optional<std::u16string> typed;
        if (c.typed) typed = InFolder(folder_.path(), *c.typed);
        Seen seen;
        EXPECT_TRUE(Run(dialog, TypeAndEnd(seen, typed, Ending::kReturn))) << "an unexpected window came up";
        EXPECT_TRUE(seen.dialog);
        EXPECT_TRUE(confirmed_);
        const fs::path expected = folder_ / c.expected;
        if (c.classicChoosesTheFolder && GetParam().shown == FileDialogShown::kClassic) {
            EXPECT_EQ(ToUtf8(NameOfPath(dialog.FileName())), ToUtf8(expected.filename().u16string()));
        } else {
            EXPECT_EQ(ToUtf8(dialog.FileName()), ToUtf8(PathText(expected)));
        }
    }
    // Nothing was written: the existing file is as it was.
    EXPECT_EQ(testing::ReadFileBytes(folder_ / "Vorhanden.aaf"), "alt");
}

// The save dialog asks the system's own question before it gives an
// existing file: "Yes" takes it, "No" leaves the user in the dialog. The
// open dialog and a new name ask nothing (GivesTheConfirmedFullPath would
// report the question as a window left open).
TEST_P(FileDialogTest, SavingOverAnExistingFileAsksFirst) {
    testing::WriteFileBytes(folder_ / "Vorhanden.aaf", "alt");
    for (const int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "Ja" : "Nein");
        FileDialog dialog = Make(FileDialogKind::kSave);
        dialog.SetFileName(PathText(folder_ / "Horoskop.aaf"));
        bool asked = false;
        bool stayedOpen = false;
        EXPECT_TRUE(Run(dialog, [&](DialogDriver& driver) {
            const HWND window = driver.WaitForDialog();
            ASSERT_NE(window, nullptr);
            const HWND field = FileNameField(window);
            ASSERT_NE(field, nullptr);
            SetText(field, PathText(folder_ / "Vorhanden.aaf"));
            PressKey(field, VK_RETURN);
            const HWND question = driver.WaitForDialog({}, {window});
            ASSERT_NE(question, nullptr) << "no question before replacing the file";
            asked = ::GetDlgItem(question, IDYES) != nullptr && ::GetDlgItem(question, IDNO) != nullptr;
            ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
            EXPECT_TRUE(driver.WaitUntilClosed(question));
            if (answer == IDNO) {
                // Back in the dialog, which the user then leaves.
                ::Sleep(200);
                stayedOpen = ::IsWindow(window) && ::IsWindowVisible(window);
                PressKey(FileNameField(window), VK_ESCAPE);
            }
            EXPECT_TRUE(driver.WaitUntilClosed(window));
        }));
        EXPECT_TRUE(asked) << "the question has no Yes and No";
        if (answer == IDYES) {
            EXPECT_TRUE(confirmed_);
            EXPECT_EQ(ToUtf8(dialog.FileName()), ToUtf8(PathText(folder_ / "Vorhanden.aaf")));
        } else {
            EXPECT_TRUE(stayedOpen);
            EXPECT_FALSE(confirmed_);
        }
    }
    // The dialog itself writes nothing.
    EXPECT_EQ(testing::ReadFileBytes(folder_ / "Vorhanden.aaf"), "alt");
}

TEST_P(FileDialogTest, ProposesFolderAndNameOfTheFullPath) {
    // The name box shows the name, or the whole path where the folder does
    // not exist; confirming unchanged gives the proposal back (above).
    struct Case {
        const char* proposed;
        const char* shownItem;     // by the item dialog
        const char* shownClassic;  // by the classic dialog
    };
    const Case cases[] = {
        {"Horoskop.aaf", "Horoskop.aaf", "Horoskop.aaf"},
        {"Fehlt\\Horoskop.aaf", nullptr, "Horoskop.aaf"},  // nullptr: the whole path
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        FileDialog dialog = Make(FileDialogKind::kSave);
        dialog.SetFileName(PathText(folder_ / c.proposed));
        Seen seen;
        EXPECT_TRUE(Run(dialog, TypeAndEnd(seen, std::nullopt, Ending::kEscape)));
        const char* shown = GetParam().shown == FileDialogShown::kItemDialog ? c.shownItem : c.shownClassic;
        EXPECT_EQ(ToUtf8(seen.proposed), shown ? std::string(shown) : ToUtf8(PathText(folder_ / c.proposed)));
    }
}

TEST_P(FileDialogTest, CancellingKeepsTheNameOfTheLastUse) {
    FileDialog dialog = Make(FileDialogKind::kSave);
    dialog.SetFileName(PathText(folder_ / "Horoskop.aaf"));
    Seen first;
    ASSERT_TRUE(Run(dialog, TypeAndEnd(first, u"Erst", Ending::kOkCommand)));
    ASSERT_TRUE(confirmed_);
    const std::u16string chosen = PathText(folder_ / "Erst.aaf");
    ASSERT_EQ(ToUtf8(dialog.FileName()), ToUtf8(chosen));

    for (Ending ending : {Ending::kEscape, Ending::kCancelButton, Ending::kCloseBox}) {
        SCOPED_TRACE(static_cast<int>(ending));
        Seen seen;
        EXPECT_TRUE(Run(dialog, TypeAndEnd(seen, u"Verworfen", ending)));
        EXPECT_FALSE(confirmed_);
        EXPECT_EQ(ToUtf8(dialog.FileName()), ToUtf8(chosen));
    }

    // The next use starts from the last confirmed file.
    Seen again;
    EXPECT_TRUE(Run(dialog, TypeAndEnd(again, std::nullopt, Ending::kReturn)));
    EXPECT_TRUE(confirmed_);
    EXPECT_EQ(ToUtf8(again.proposed), "Erst.aaf");
    EXPECT_EQ(ToUtf8(dialog.FileName()), ToUtf8(chosen));
}

TEST_P(FileDialogTest, ListsTheFilterEntries) {
    struct Case {
        const char16_t* filter;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {kAafFilter, {"AAF-Dateien (*.aaf)"}},
        {u"Horoskop-Datenbanken (*.db)|*.db|Alle Dateien (*.*)|*.*",
         {"Horoskop-Datenbanken (*.db)", "Alle Dateien (*.*)"}},
        {u"Horoskop-Datenbanken (*.db)|*.db|Ohne Muster", {"Horoskop-Datenbanken (*.db)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.filter));
        FileDialog dialog(FileDialogKind::kOpen, c.filter, u"db", GetParam().style);
        std::vector<std::string> entries;
        LRESULT selected = -1;
        EXPECT_TRUE(Run(dialog, [&](DialogDriver& driver) {
            const HWND window = driver.WaitForDialog();
            ASSERT_NE(window, nullptr);
            const HWND types = FileTypeBox(window);
            ASSERT_NE(types, nullptr);
            const LRESULT count = Send(types, CB_GETCOUNT);
            for (LRESULT i = 0; i < count; ++i) {
                std::u16string text(static_cast<std::size_t>(Send(types, CB_GETLBTEXTLEN, i)) + 1, u'\0');
                text.resize(static_cast<std::size_t>(
                    Send(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(WideBuffer(text)))));
                entries.push_back(ToUtf8(text));
            }
            selected = Send(types, CB_GETCURSEL);
            PressKey(FileNameField(window), VK_ESCAPE);
            EXPECT_TRUE(driver.WaitUntilClosed(window));
        }));
        EXPECT_EQ(entries, c.entries);
        EXPECT_EQ(selected, 0);
    }
}

TEST_P(FileDialogTest, IsModalToItsOwner) {
    const testing::Window owner = testing::MakeOwnerWindow(100, 100, 400, 300);
    ASSERT_TRUE(owner.valid());
    for (FileDialogKind kind : {FileDialogKind::kOpen, FileDialogKind::kSave}) {
        FileDialog dialog = Make(kind);
        bool ownerEnabled = true;
        HWND dialogOwner = nullptr;
        EXPECT_TRUE(Run(
            dialog,
            [&](DialogDriver& driver) {
                const HWND window = driver.WaitForDialog();
                ASSERT_NE(window, nullptr);
                ownerEnabled = ::IsWindowEnabled(owner.get()) != FALSE;
                dialogOwner = ::GetWindow(window, GW_OWNER);
                PressKey(FileNameField(window), VK_ESCAPE);
                EXPECT_TRUE(driver.WaitUntilClosed(window));
            },
            owner.get()));
        EXPECT_FALSE(ownerEnabled);
        EXPECT_EQ(dialogOwner, owner.get());
        EXPECT_TRUE(::IsWindowEnabled(owner.get()));
    }
}

// A shell extension that changes the x87 control word while the dialog is
// open, played by a thread timer: the dialog's message loop calls it.
std::atomic<int> timerCalls{0};
void CALLBACK ChangeControlWord(HWND, UINT, UINT_PTR, DWORD) {
    ++timerCalls;
    WriteX87ControlWord(0x027F);  // 53-bit precision
}

TEST_P(FileDialogTest, TheCallersControlWordComesBackAndTheTextsStayExact) {
    const std::uint16_t callers = ReadX87ControlWord();
    ASSERT_EQ(callers, kExtendedControlWord);  // as main starts it
    timerCalls = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, ChangeControlWord);
    ASSERT_NE(timer, 0u);
    FileDialog dialog = Make(FileDialogKind::kSave);
    dialog.SetFileName(PathText(folder_ / "Horoskop.aaf"));
    EXPECT_TRUE(Run(dialog, [](DialogDriver& driver) {
        const HWND window = driver.WaitForDialog();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(driver.WaitUntil([] { return timerCalls > 0; }));
        PressKey(FileNameField(window), VK_RETURN);
        EXPECT_TRUE(driver.WaitUntilClosed(window));
    }));
    ::KillTimer(nullptr, timer);
    EXPECT_GT(timerCalls.load(), 0);
    EXPECT_EQ(ReadX87ControlWord(), callers);

    // Whatever the word is after a dialog, the texts are computed in 64-bit
    // precision: these come out otherwise in 53-bit mode.
    WriteX87ControlWord(0x027F);
    EXPECT_EQ(ZoneOffsetText(-0.15), u"0e08:59");
    EXPECT_EQ(JulianDayText(2451545.0, -1.0), u"2451544.95833");
    EXPECT_EQ(ReadX87ControlWord(), 0x027F);
    WriteX87ControlWord(callers);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, FileDialogTest,
                         ::testing::Values(Style{FileDialogStyle::kItemDialogWhereAvailable,
                                                 FileDialogShown::kItemDialog, "ItemDialog"},
                                           Style{FileDialogStyle::kClassicOnly, FileDialogShown::kClassic,
                                                 "Classic"}),
                         [](const ::testing::TestParamInfo<Style>& info) { return std::string(info.param.name); });

// Without COM on the thread there is no item dialog: the classic one shows
// and works the same.
TEST(FileDialogWithoutCom, ShowsTheClassicDialog) {
    TempFolder folder;
    FileDialogShown shown = FileDialogShown::kNone;
    bool confirmed = false;
    bool leftOpen = true;
    std::u16string name;
    std::thread worker = testing::ThreadOnThisDesktop([&] {
        FileDialog dialog(FileDialogKind::kSave, kAafFilter, u"aaf");
        dialog.SetFileName(PathText(folder / "Horoskop.aaf"));
        Seen seen;
        DialogDriver driver(TypeAndEnd(seen, u"Neu", Ending::kReturn));
        confirmed = dialog.Execute(nullptr);
        leftOpen = driver.Finish();
        shown = dialog.lastShown();
        name = dialog.FileName();
    });
    worker.join();
    EXPECT_EQ(shown, FileDialogShown::kClassic);
    EXPECT_FALSE(leftOpen);
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(ToUtf8(name), ToUtf8(PathText(folder / "Neu.aaf")));
}

}  // namespace
}  // namespace kosmara
