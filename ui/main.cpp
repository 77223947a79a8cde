// The Windows program: the application is initialised, the main window made
// (discovery runs while it is created) and the message loop runs until the
// window is closed. The exit code is 0.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "databases/system_services.h"
#include "ui/application.h"
#include "ui/unit1.h"

namespace {

// COM for the file dialogs, for the life of the program.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialised_) ::CoUninitialize();
    }

private:
    bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const ComApartment com;
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    const kosmara::SystemServicesOfPlatform system;
    std::unique_ptr<kosmara::TForm1> form;
    kosmara::RunGuarded(nullptr, [&] {
        form = std::make_unique<kosmara::TForm1>(instance, system);
        form->Show(showCommand);
    });
    if (!form) return 0;

    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (form->handle() != nullptr && ::IsDialogMessageW(form->handle(), &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
