#include "ui/file_dialog.h"
#include <commdlg.h>
namespace kosmara {
bool FileDialog::Execute(HWND owner) {
    std::u16string filter = filter_; for (auto& c : filter) if (c == u'|') c = 0; filter.push_back(0); filter.push_back(0);
    std::u16string buffer = name_; buffer.resize(32768);
    OPENFILENAMEW ofn{}; ofn.lStructSize = sizeof ofn; ofn.hwndOwner = owner;
    ofn.lpstrFilter = reinterpret_cast<const wchar_t*>(filter.c_str());
    ofn.lpstrFile = reinterpret_cast<wchar_t*>(buffer.data()); ofn.nMaxFile = 32768;
    ofn.lpstrDefExt = reinterpret_cast<const wchar_t*>(extension_.c_str());
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
    const BOOL ok = kind_ == Kind::kOpen ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!ok) return false;
    name_ = buffer.c_str(); return true;
}
}
