// The dialog "Enter password" shown for real (under Wine) and driven from a
// second thread: the enabling of its buttons, what they do to the session's
// passwords, how it closes, the keyboard, its owner and its layout.
#include "ui/password_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/text.h"
#include "dialog_driver.h"
#include "engine/engine_objects.h"
#include "platform/unique_handle.h"
#include "platform/win_text.h"

namespace kosmara {
namespace {

using testing::DialogDriver;
using testing::FocusOf;
using testing::PressKey;
using testing::Send;
using testing::SetText;
using testing::TextOf;

using Passwords = std::vector<std::u16string>;

struct Controls {
    HWND dialog = nullptr;
    HWND group = nullptr;
    HWND field = nullptr;
    HWND add = nullptr;
    HWND remove = nullptr;
    HWND removeAll = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
};

Controls ControlsOf(HWND dialog) {
    return {dialog,
            ::GetDlgItem(dialog, kPasswordGroupId),
            ::GetDlgItem(dialog, kPasswordFieldId),
            ::GetDlgItem(dialog, kPasswordAddId),
            ::GetDlgItem(dialog, kPasswordRemoveId),
            ::GetDlgItem(dialog, kPasswordRemoveAllId),
            ::GetDlgItem(dialog, IDOK),
            ::GetDlgItem(dialog, IDCANCEL)};
}

bool Enabled(HWND window) { return ::IsWindowEnabled(window) != FALSE; }

// Waits until the dialog's thread has handled every message posted to the
// field before this call: a marker posted behind them (a text limit) is
// seen handled, and the field's own limit is put back.
void HandlePosted(DialogDriver& driver, HWND field) {
    const LRESULT limit = Send(field, EM_GETLIMITTEXT);
    const WPARAM marker = 4711;
    ::PostMessageW(field, EM_SETLIMITTEXT, marker, 0);
    EXPECT_TRUE(driver.WaitUntil([&] { return Send(field, EM_GETLIMITTEXT) == static_cast<LRESULT>(marker); }));
    Send(field, EM_SETLIMITTEXT, static_cast<WPARAM>(limit));
}

// The dialog run on the test thread, driven by `script` with its controls.
class PasswordDialogTest : public ::testing::Test {
protected:
    using Script = std::function<void(DialogDriver&, const Controls&)>;

    std::optional<std::u16string> Run(Script script, HWND owner = nullptr) {
        DialogDriver driver([script = std::move(script)](DialogDriver& d) {
            const HWND dialog = d.WaitForDialog(kPasswordDialogTitle);
            ASSERT_NE(dialog, nullptr) << "the password dialog did not come up";
            script(d, ControlsOf(dialog));
        });
        std::optional<std::u16string> result = RunPasswordDialog(owner, session_);
        EXPECT_FALSE(driver.Finish()) << "the dialog was left open";
        return result;
    }

    Session session_{u"Test"};
};

// Closes the dialog with Cancel and waits until it has gone.
void CancelAndWait(DialogDriver& driver, const Controls& c) {
    testing::Click(c.cancel);
    EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
}

TEST_F(PasswordDialogTest, OpensWithTheSystemsTextsAndTheFieldEmpty) {
    Run([](DialogDriver& driver, const Controls& c) {
        EXPECT_EQ(ToUtf8(TextOf(c.dialog)), "Enter password");
        EXPECT_EQ(ToUtf8(TextOf(c.group)), "Password");
        EXPECT_EQ(ToUtf8(TextOf(c.add)), "&Add");
        EXPECT_EQ(ToUtf8(TextOf(c.remove)), "&Remove");
        EXPECT_EQ(ToUtf8(TextOf(c.removeAll)), "Re&move all");
        EXPECT_EQ(ToUtf8(TextOf(c.ok)), "&OK");
        EXPECT_EQ(ToUtf8(TextOf(c.cancel)), "Cancel");
        EXPECT_EQ(ToUtf8(TextOf(c.field)), "");
        EXPECT_NE(::GetWindowLongPtrW(c.field, GWL_STYLE) & ES_PASSWORD, 0) << "the field is not masked";
        EXPECT_NE(Send(c.field, EM_GETPASSWORDCHAR), 0);
        EXPECT_EQ(FocusOf(driver.target()), c.field);
        EXPECT_FALSE(Enabled(c.add));
        EXPECT_FALSE(Enabled(c.remove));
        EXPECT_TRUE(Enabled(c.removeAll));
        EXPECT_FALSE(Enabled(c.ok));
        EXPECT_TRUE(Enabled(c.cancel));
        CancelAndWait(driver, c);
    });
}

TEST_F(PasswordDialogTest, AddRemoveAndOkAreEnabledWhileTheFieldHoldsText) {
    Run([](DialogDriver& driver, const Controls& c) {
        for (const char16_t* text : {u"k", u"Kennwort 2", u"", u"ä", u""}) {
            SCOPED_TRACE(ToUtf8(text));
            SetText(c.field, text);
            const bool hasText = *text != u'\0';
            EXPECT_EQ(Enabled(c.add), hasText);
            EXPECT_EQ(Enabled(c.remove), hasText);
            EXPECT_EQ(Enabled(c.ok), hasText);
            EXPECT_TRUE(Enabled(c.removeAll));
            EXPECT_TRUE(Enabled(c.cancel));
        }
        CancelAndWait(driver, c);
    });
}

TEST_F(PasswordDialogTest, AddPutsThePasswordInTheListEmptiesTheFieldAndEnablesOk) {
    session_.AddPassword(u"alt");
    const std::optional<std::u16string> result = Run([this](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"geheim");
        testing::Click(c.add);
        EXPECT_EQ(session_.passwords(), (Passwords{u"alt", u"geheim"}));
        EXPECT_EQ(ToUtf8(TextOf(c.field)), "");
        EXPECT_FALSE(Enabled(c.add));
        EXPECT_FALSE(Enabled(c.remove));
        EXPECT_TRUE(Enabled(c.ok)) << "a password was added in this dialog";
        EXPECT_EQ(FocusOf(driver.target()), c.field) << "the focus is back in the field";
        // Adding a password the list holds keeps it once.
        SetText(c.field, u"alt");
        testing::Click(c.add);
        EXPECT_EQ(session_.passwords(), (Passwords{u"alt", u"geheim"}));
        CancelAndWait(driver, c);
    });
    EXPECT_EQ(result, std::nullopt);
    // Cancel takes nothing back.
    EXPECT_EQ(session_.passwords(), (Passwords{u"alt", u"geheim"}));
}

TEST_F(PasswordDialogTest, RemoveTakesThePasswordOutOfTheList) {
    session_.AddPassword(u"eins");
    session_.AddPassword(u"zwei");
    Run([this](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"eins");
        testing::Click(c.remove);
        EXPECT_EQ(session_.passwords(), (Passwords{u"zwei"}));
        EXPECT_EQ(ToUtf8(TextOf(c.field)), "");
        EXPECT_FALSE(Enabled(c.ok)) << "nothing was added in this dialog";
        EXPECT_EQ(FocusOf(driver.target()), c.field);
        // A password the list does not hold: the list stays, the field is emptied.
        SetText(c.field, u"ZWEI");
        testing::Click(c.remove);
        EXPECT_EQ(session_.passwords(), (Passwords{u"zwei"}));
        EXPECT_EQ(ToUtf8(TextOf(c.field)), "");
        CancelAndWait(driver, c);
    });
    EXPECT_EQ(session_.passwords(), (Passwords{u"zwei"}));
}

TEST_F(PasswordDialogTest, RemoveAllEmptiesTheList) {
    session_.AddPassword(u"eins");
    session_.AddPassword(u"zwei");
    Run([this](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"drei");
        testing::Click(c.removeAll);
        EXPECT_TRUE(session_.passwords().empty());
        EXPECT_EQ(ToUtf8(TextOf(c.field)), "drei") << "the field is left as it is";
        EXPECT_TRUE(::IsWindowVisible(c.dialog));
        CancelAndWait(driver, c);
    });
    EXPECT_TRUE(session_.passwords().empty());
}

TEST_F(PasswordDialogTest, OkGivesTheTypedPasswordAndAddsIt) {
    session_.AddPassword(u"alt");
    const std::optional<std::u16string> result = Run([](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"Neues Kennwort");
        testing::Click(c.ok);
        EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
    });
    EXPECT_EQ(result, std::optional<std::u16string>(u"Neues Kennwort"));
    EXPECT_EQ(session_.passwords(), (Passwords{u"alt", u"Neues Kennwort"}));
}

TEST_F(PasswordDialogTest, OkAfterAddingWithTheFieldEmptyGivesTheEmptyText) {
    const std::optional<std::u16string> result = Run([](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"eins");
        testing::Click(c.add);
        SetText(c.field, u"zwei");
        testing::Click(c.add);
        // Taking them out again leaves "&OK" enabled: they were added here.
        testing::Click(c.removeAll);
        EXPECT_TRUE(Enabled(c.ok));
        SetText(c.field, u"eins");
        testing::Click(c.add);
        ASSERT_TRUE(Enabled(c.ok));
        PressKey(c.field, VK_RETURN);
        EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
    });
    EXPECT_EQ(result, std::optional<std::u16string>(u""));
    EXPECT_EQ(session_.passwords(), (Passwords{u"eins"}));
}

TEST_F(PasswordDialogTest, EnterIsOkOnlyWhileOkIsEnabled) {
    const std::optional<std::u16string> result = Run([](DialogDriver& driver, const Controls& c) {
        PressKey(c.field, VK_RETURN);
        HandlePosted(driver, c.field);
        EXPECT_TRUE(::IsWindowVisible(c.dialog)) << "Enter closed the dialog with \"&OK\" disabled";
        // Even a command sent straight to it does nothing then.
        Send(c.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(c.ok));
        EXPECT_TRUE(::IsWindowVisible(c.dialog));
        SetText(c.field, u"getippt");
        PressKey(c.field, VK_RETURN);
        EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
    });
    EXPECT_EQ(result, std::optional<std::u16string>(u"getippt"));
}

TEST_F(PasswordDialogTest, CancelEscapeAndTheCloseBoxGiveNothing) {
    enum class Way { kCancelButton, kEscape, kCloseBox };
    for (Way way : {Way::kCancelButton, Way::kEscape, Way::kCloseBox}) {
        SCOPED_TRACE(static_cast<int>(way));
        session_.RemoveAllPasswords();
        const std::optional<std::u16string> result = Run([way](DialogDriver& driver, const Controls& c) {
            SetText(c.field, u"hinzugefügt");
            testing::Click(c.add);
            SetText(c.field, u"getippt");
            switch (way) {
            case Way::kCancelButton:
                testing::Click(c.cancel);
                break;
            case Way::kEscape:
                PressKey(c.field, VK_ESCAPE);
                break;
            case Way::kCloseBox:
                ::PostMessageW(c.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            }
            EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
        });
        EXPECT_EQ(result, std::nullopt);
        EXPECT_EQ(session_.passwords(), (Passwords{u"hinzugefügt"}));
    }
}

TEST_F(PasswordDialogTest, TabGoesFromTheFieldThroughTheButtons) {
    Run([](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"x");  // every button enabled
        const HWND order[] = {c.add, c.remove, c.removeAll, c.ok, c.cancel, c.field};
        for (HWND next : order) {
            PressKey(FocusOf(driver.target()), VK_TAB);
            HandlePosted(driver, c.field);
            EXPECT_EQ(FocusOf(driver.target()), next) << "control " << ::GetDlgCtrlID(next);
        }
        CancelAndWait(driver, c);
    });
}

TEST_F(PasswordDialogTest, MnemonicsWorkTheButtons) {
    session_.AddPassword(u"eins");
    session_.AddPassword(u"zwei");
    const std::optional<std::u16string> result = Run([this](DialogDriver& driver, const Controls& c) {
        SetText(c.field, u"drei");
        PressKey(c.field, 'A', true);  // &Add
        HandlePosted(driver, c.field);
        EXPECT_EQ(session_.passwords(), (Passwords{u"eins", u"zwei", u"drei"}));
        SetText(c.field, u"eins");
        PressKey(FocusOf(driver.target()), 'R', true);  // &Remove
        HandlePosted(driver, c.field);
        EXPECT_EQ(session_.passwords(), (Passwords{u"zwei", u"drei"}));
        PressKey(FocusOf(driver.target()), 'M', true);  // Re&move all
        HandlePosted(driver, c.field);
        EXPECT_TRUE(session_.passwords().empty());
        SetText(c.field, u"vier");
        PressKey(FocusOf(driver.target()), 'O', true);  // &OK
        EXPECT_TRUE(driver.WaitUntilClosed(c.dialog));
    });
    EXPECT_EQ(result, std::optional<std::u16string>(u"vier"));
}

TEST_F(PasswordDialogTest, IsCentredOnItsDisabledOwnerInsideTheWorkArea) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    struct Case {
        const char* what;
        int left, top, width, height;  // of the owner; negative from the work area's right or bottom
    };
    const Case cases[] = {
        {"in the middle", 200, 150, 500, 300},
        {"near the bottom right corner", -120, -60, 300, 200},
    };
    for (const Case& owner : cases) {
        SCOPED_TRACE(owner.what);
        const int left = owner.left >= 0 ? work.left + owner.left : work.right + owner.left;
        const int top = owner.top >= 0 ? work.top + owner.top : work.bottom + owner.top;
        const testing::Window window = testing::MakeOwnerWindow(left, top, owner.width, owner.height);
        ASSERT_TRUE(window.valid());
        RECT ownerRect{};
        ::GetWindowRect(window.get(), &ownerRect);
        RECT dialogRect{};
        bool ownerEnabled = true;
        HWND dialogOwner = nullptr;
        Run(
            [&](DialogDriver& driver, const Controls& c) {
                ownerEnabled = Enabled(window.get());
                dialogOwner = ::GetWindow(c.dialog, GW_OWNER);
                ::GetWindowRect(c.dialog, &dialogRect);
                CancelAndWait(driver, c);
            },
            window.get());
        EXPECT_FALSE(ownerEnabled);
        EXPECT_EQ(dialogOwner, window.get());
        EXPECT_TRUE(Enabled(window.get())) << "the owner is enabled again";
        const int width = dialogRect.right - dialogRect.left;
        const int height = dialogRect.bottom - dialogRect.top;
        // Centred, then moved inside the work area where it would stick out.
        const int x = std::max(std::min<int>(ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2,
                                             work.right - width),
                               static_cast<int>(work.left));
        const int y = std::max(std::min<int>(ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2,
                                             work.bottom - height),
                               static_cast<int>(work.top));
        EXPECT_EQ(dialogRect.left, x);
        EXPECT_EQ(dialogRect.top, y);
        EXPECT_GE(dialogRect.left, work.left);
        EXPECT_GE(dialogRect.top, work.top);
        EXPECT_LE(dialogRect.right, work.right);
        EXPECT_LE(dialogRect.bottom, work.bottom);
    }
}

// A device context for measuring text in a control's font.
struct MemoryDcTraits {
    using Value = HDC;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::DeleteDC(value); }
};

std::u16string WithoutMnemonic(std::u16string text) {
    text.erase(std::remove(text.begin(), text.end(), u'&'), text.end());
    return text;
}

TEST_F(PasswordDialogTest, UsesTahomaOf8PointsAndNoTextIsCut) {
    Run([](DialogDriver& driver, const Controls& c) {
        const UniqueHandle<MemoryDcTraits> dc(::CreateCompatibleDC(nullptr));
        ASSERT_TRUE(dc.valid());
        const int dpi = ::GetDeviceCaps(dc.get(), LOGPIXELSY);
        const auto font = reinterpret_cast<HFONT>(Send(c.dialog, WM_GETFONT));
        ASSERT_NE(font, nullptr);
        LOGFONTW logFont{};
        ASSERT_NE(::GetObjectW(font, sizeof(logFont), &logFont), 0);
        EXPECT_EQ(ToUtf8(FromWide(logFont.lfFaceName)), "Tahoma");
        EXPECT_EQ(logFont.lfHeight, -::MulDiv(8, dpi, 72));

        RECT client{};
        ::GetClientRect(c.dialog, &client);
        const HGDIOBJ previous = ::SelectObject(dc.get(), font);
        struct Item {
            HWND control;
            int margin;  // room the control needs beside its text, in pixels
        };
        // Push buttons draw a frame and a focus rectangle around the text; a
        // group box starts its text after its corner.
        for (const Item& item : {Item{c.group, 16}, Item{c.add, 8}, Item{c.remove, 8}, Item{c.removeAll, 8},
                                 Item{c.ok, 8}, Item{c.cancel, 8}}) {
            const std::u16string text = WithoutMnemonic(TextOf(item.control));
            SCOPED_TRACE(ToUtf8(text));
            EXPECT_EQ(reinterpret_cast<HFONT>(Send(item.control, WM_GETFONT)), font);
            SIZE extent{};
            ASSERT_TRUE(::GetTextExtentPoint32W(dc.get(), Wide(text), static_cast<int>(text.size()), &extent));
            RECT box{};
            ::GetWindowRect(item.control, &box);
            ::MapWindowPoints(nullptr, c.dialog, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_LE(extent.cx + item.margin, box.right - box.left);
            EXPECT_LE(extent.cy, box.bottom - box.top);
            // Inside the dialog's client area.
            EXPECT_GE(box.left, client.left);
            EXPECT_GE(box.top, client.top);
            EXPECT_LE(box.right, client.right);
            EXPECT_LE(box.bottom, client.bottom);
        }
        ::SelectObject(dc.get(), previous);
        CancelAndWait(driver, c);
    });
}

TEST(PasswordDialogFailure, AnOwnerThatIsNoWindowIsAnError) {
    Session session(u"Test");
    // A handle no window has had: the dialog cannot be made.
    const HWND noWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0F0E));
    ASSERT_FALSE(::IsWindow(noWindow));
    DialogDriver driver([](DialogDriver&) {});  // cancels the dialog should it come up
    try {
        (void)RunPasswordDialog(noWindow, session);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        const std::u16string start = u"Das Kennwortfenster kann nicht angezeigt werden: ";
        EXPECT_EQ(ToUtf8(error.message().substr(0, start.size())), ToUtf8(start)) << error.what();
        EXPECT_GT(error.message().size(), start.size()) << "the system's text is missing";
    }
    EXPECT_FALSE(driver.Finish()) << "a dialog came up";
}

}  // namespace
}  // namespace kosmara
