// The main window: the databases discovery found in a drop-down list, the
// export of the selected one, and the manual search for a table file. The
// window only hosts; discovery and the export job do the work. It is also
// the export's user interface: the save dialog, the password dialog and the
// count message.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_interface.h"
#include "databases/system_services.h"
#include "engine/engine_objects.h"
#include "platform/win_handles.h"
#include "ui/file_dialog.h"

namespace kosmara {

class TForm1 final : public UserInterface {
public:
    // Creates the window from its layout, hidden; creating it runs FormCreate.
    TForm1(HINSTANCE instance, const SystemServices& system);
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;
    ~TForm1() override;

    HWND handle() const noexcept { return window_; }
    // Centres the window in the work area and shows it; the focus goes to
    // the first enabled control in tab order.
    void Show(int showCommand);

    // The export's user interface.
    void ShowMessage(std::u16string_view text) override;
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override;
    std::optional<std::u16string> AskPassword(std::u16string_view tablePath) override;
    void WaitingForStagingFolder(std::u16string_view folder) override;
    void StillWaiting() override;
    // While the export writes its records the window keeps answering: the
    // messages waiting for it are handled here, now and then, and the
    // taskbar button shows how far the export has come.
    void ShowProgress(std::uint32_t done, std::optional<std::uint32_t> total) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void ApplyDpi(UINT dpi);
    void Layout();
    int Scale(int designPixels) const;
    int OuterHeight() const;
    void SetBusy(bool busy);
    void SetDefaultButton();
    // Runs a click handler that may export; a second click while it runs is
    // ignored, and closing the window waits until it is done.
    template <typename Handler>
    void RunExportingHandler(Handler&& handler);
    void HandleWaitingMessages();
    void ShowTaskbarProgress(std::optional<std::uint32_t> done, std::optional<std::uint32_t> total);

    void FormCreate();
    void FormDestroy();
    void btn1Click();
    void btn2Click();
    void btn3Click();

    void AddDatabaseEntry(std::u16string_view displayText, std::u16string_view path, std::u16string_view purePath);
    bool MapToVirtualStore(std::u16string_view path, std::u16string& mapped) const;
    void ExportDatabase(std::u16string_view path, bool xpMode);

    const SystemServices& system_;
    HWND window_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    GdiObject font_;
    bool busy_ = false;

    // A click handler is running (an export, its dialogs and boxes); the
    // window asked to close meanwhile; the end of the message loop asked
    // for meanwhile, with its exit code.
    bool exporting_ = false;
    bool closeRequested_ = false;
    std::optional<int> quitRequested_;
    // While busy: the controls greyed, whether each was enabled before, and
    // the control that had the focus.
    std::array<bool, 3> enabledBeforeBusy_{};
    HWND focusBeforeBusy_ = nullptr;
    // When the waiting messages were last handled, in GetTickCount64's milliseconds.
    ULONGLONG lastHandled_ = 0;
    // The taskbar button's progress, once the taskbar has made the button.
    UINT taskbarButtonCreated_ = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    ComPtr<ITaskbarList3> taskbar_;

    // The components, in the order the form declares them.
    Database db1;
    HWND btn1 = nullptr;
    Table tbl1;
    HWND cbb1 = nullptr;
    FileDialog dlgSave1;
    HWND lbl1 = nullptr;
    HWND btn2 = nullptr;
    FileDialog dlgOpen1;
    HWND btn3 = nullptr;
    // Per row of cbb1: where its data lies, and the registered path or the
    // file chosen by hand. Made by FormCreate, freed by FormDestroy.
    std::unique_ptr<std::vector<std::u16string>> Paths;
    std::unique_ptr<std::vector<std::u16string>> PurePaths;
};

}  // namespace kosmara
