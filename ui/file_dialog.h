// First form of the file dialogs: the classic common dialogs.
#pragma once
#include <windows.h>
#include <string>
namespace kosmara {
class FileDialog {
public:
    enum class Kind { kOpen, kSave };
    FileDialog(Kind kind, std::u16string filter, std::u16string defaultExtension)
        : kind_(kind), filter_(std::move(filter)), extension_(std::move(defaultExtension)) {}
    void SetFileName(std::u16string name) { name_ = std::move(name); }
    const std::u16string& FileName() const { return name_; }
    bool Execute(HWND owner);
private:
    Kind kind_; std::u16string filter_, extension_, name_;
};
}
