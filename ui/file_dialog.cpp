#include "ui/file_dialog.h"

#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdint>

#include "core/error.h"
#include "core/path.h"
#include "core/text.h"
#include "platform/win_handles.h"
#include "platform/win_text.h"
#include "platform/x87_control.h"

namespace kosmara {
namespace {

// Room for any path the classic dialog gives back (the longest Windows path
// and then some).
constexpr std::size_t kClassicBufferSize = 32768;

// The error code as upper-case hexadecimal digits, at least `digits` of them.
std::u16string Hex(std::uint32_t value, int digits) {
    std::u16string text;
    AppendHex(text, value, digits);
    return text;
}

// Shell extensions loaded by a file dialog may leave the x87 unit in
// another precision or rounding; the caller gets its own word back.
class X87ControlWordKeeper {
public:
    X87ControlWordKeeper() noexcept : saved_(ReadX87ControlWord()) {}
    ~X87ControlWordKeeper() { WriteX87ControlWord(saved_); }
    X87ControlWordKeeper(const X87ControlWordKeeper&) = delete;
    X87ControlWordKeeper& operator=(const X87ControlWordKeeper&) = delete;

private:
    std::uint16_t saved_;
};

// A folder given as a full path ("C:\..." or "\\server\share\...").
bool IsFullFolderPath(std::u16string_view folder) {
    if (folder.size() >= 3 && DrivePrefixLength(folder) == 2 && IsPathSeparator(folder[2])) return true;
    return folder.size() >= 2 && IsPathSeparator(folder[0]) && IsPathSeparator(folder[1]);
}

// The shell item of an existing folder; none when there is no such folder.
ComPtr<IShellItem> FolderItem(const std::u16string& folder) {
    const DWORD attributes = ::GetFileAttributesW(Wide(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {};
    IShellItem* item = nullptr;
    if (FAILED(::SHCreateItemFromParsingName(Wide(folder), nullptr, IID_PPV_ARGS(&item)))) return {};
    return ComPtr<IShellItem>(item);
}

}  // namespace

FileDialog::FileDialog(FileDialogKind kind, std::u16string_view filter, std::u16string defaultExtension,
                       FileDialogStyle style)
    : kind_(kind), style_(style), defaultExtension_(std::move(defaultExtension)) {
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = filter.find(u'|', start);
        parts.emplace_back(filter.substr(start, bar == std::u16string_view::npos ? bar : bar - start));
        if (bar == std::u16string_view::npos) break;
        start = bar + 1;
    }
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i + 1].empty()) filter_.push_back({std::move(parts[i]), std::move(parts[i + 1])});
    }
}

bool FileDialog::Execute(HWND owner) {
    const X87ControlWordKeeper keeper;
    lastShown_ = FileDialogShown::kNone;
    std::u16string chosen;
    Outcome outcome = Outcome::kNotShown;
    if (style_ == FileDialogStyle::kItemDialogWhereAvailable) outcome = RunItemDialog(owner, chosen);
    if (outcome == Outcome::kNotShown) {
        lastShown_ = FileDialogShown::kClassic;
        outcome = RunClassicDialog(owner, chosen) ? Outcome::kConfirmed : Outcome::kCancelled;
    }
    if (outcome != Outcome::kConfirmed) return false;
    fileName_ = WithDefaultExtension(std::move(chosen));
    return true;
}

FileDialog::Outcome FileDialog::RunItemDialog(HWND owner, std::u16string& chosen) {
    // Anything that fails before Show leaves the classic dialog to the caller.
    ComPtr<IFileDialog> dialog;
    {
        IFileDialog* created = nullptr;
        const CLSID& id = kind_ == FileDialogKind::kOpen ? CLSID_FileOpenDialog : CLSID_FileSaveDialog;
        if (FAILED(::CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created)))) {
            return Outcome::kNotShown;
        }
        dialog.reset(created);
    }

    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog.get()->GetOptions(&options))) return Outcome::kNotShown;
    // The same checks as the classic dialog with its flags below: none on
    // existence (a typed name of a missing file is taken), no refusal of
    // read-only files; the save dialog asks the system's own question
    // before an existing file is replaced; file-system paths only; the
    // current folder stays.
    options &= ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_FILEMUSTEXIST | FOS_PATHMUSTEXIST | FOS_OVERWRITEPROMPT |
                                                   FOS_NOREADONLYRETURN | FOS_CREATEPROMPT);
    options |= FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR;
    if (kind_ == FileDialogKind::kSave) options |= FOS_OVERWRITEPROMPT;
    if (FAILED(dialog.get()->SetOptions(options))) return Outcome::kNotShown;

    if (!filter_.empty()) {
        std::vector<COMDLG_FILTERSPEC> specs;
        for (const FilterEntry& entry : filter_) specs.push_back({Wide(entry.description), Wide(entry.pattern)});
        if (FAILED(dialog.get()->SetFileTypes(static_cast<UINT>(specs.size()), specs.data()))) {
            return Outcome::kNotShown;
        }
        if (FAILED(dialog.get()->SetFileTypeIndex(1))) return Outcome::kNotShown;
    }
    if (!defaultExtension_.empty() && FAILED(dialog.get()->SetDefaultExtension(Wide(defaultExtension_)))) {
        return Outcome::kNotShown;
    }

    // A full path proposes its folder and its name. The folder is opened and
    // the name alone put in the name box, as the system's own programs do;
    // a folder that does not exist cannot be opened, and then the whole path
    // goes into the name box, where confirming takes it as it stands.
    if (!fileName_.empty()) {
        const std::u16string folder = FolderOfPath(fileName_);
        const std::u16string name = NameOfPath(fileName_);
        ComPtr<IShellItem> folderItem;
        if (!name.empty() && IsFullFolderPath(folder)) folderItem = FolderItem(folder);
        if (folderItem) {
            if (FAILED(dialog.get()->SetFolder(folderItem.get()))) return Outcome::kNotShown;
            if (FAILED(dialog.get()->SetFileName(Wide(name)))) return Outcome::kNotShown;
        } else if (FAILED(dialog.get()->SetFileName(Wide(fileName_)))) {
            return Outcome::kNotShown;
        }
    }

    lastShown_ = FileDialogShown::kItemDialog;
    const HRESULT shown = dialog.get()->Show(owner);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return Outcome::kCancelled;
    if (FAILED(shown)) return Outcome::kNotShown;

    // Confirmed: from here on a failure is the user's file we cannot name.
    ComPtr<IShellItem> result;
    {
        IShellItem* item = nullptr;
        const HRESULT got = dialog.get()->GetResult(&item);
        result.reset(item);
        if (FAILED(got) || !result) {
            throw Error(FillMessage(kFileDialogNoPath, {Hex(static_cast<std::uint32_t>(got), 8)}));
        }
    }
    CoTaskMemText path;
    {
        wchar_t* text = nullptr;
        const HRESULT named = result.get()->GetDisplayName(SIGDN_FILESYSPATH, &text);
        path.reset(text);
        if (FAILED(named) || !path) {
            throw Error(FillMessage(kFileDialogNoPath, {Hex(static_cast<std::uint32_t>(named), 8)}));
        }
    }
    chosen = FromWide(path.get());
    return Outcome::kConfirmed;
}

bool FileDialog::RunClassicDialog(HWND owner, std::u16string& chosen) {
    std::u16string filter;
    for (const FilterEntry& entry : filter_) {
        filter += entry.description;
        filter += u'\0';
        filter += entry.pattern;
        filter += u'\0';
    }
    // The list ends with an empty entry (the string's own terminator is the second zero).
    filter += u'\0';

    // The proposed name goes in the same buffer the chosen one comes back in;
    // its folder, when it has one, is where the dialog opens.
    std::u16string buffer(std::max(kClassicBufferSize, fileName_.size() + 1), u'\0');
    std::copy(fileName_.begin(), fileName_.end(), buffer.begin());

    OPENFILENAMEW parameters{};
    parameters.lStructSize = sizeof(parameters);
    parameters.hwndOwner = owner;
    parameters.lpstrFilter = filter_.empty() ? nullptr : Wide(filter);
    parameters.nFilterIndex = 1;
    parameters.lpstrFile = WideBuffer(buffer);
    parameters.nMaxFile = static_cast<DWORD>(buffer.size());
    parameters.lpstrDefExt = defaultExtension_.empty() ? nullptr : Wide(defaultExtension_);
    parameters.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
    if (kind_ == FileDialogKind::kSave) parameters.Flags |= OFN_OVERWRITEPROMPT;

    const BOOL confirmed =
        kind_ == FileDialogKind::kOpen ? ::GetOpenFileNameW(&parameters) : ::GetSaveFileNameW(&parameters);
    if (!confirmed) {
        const DWORD error = ::CommDlgExtendedError();
        if (error == 0) return false;  // cancelled
        throw Error(FillMessage(kFileDialogFailed, {Hex(error, 4)}));
    }
    chosen = FromWide(Wide(buffer));
    return true;
}

// The system's dialogs append the default extension to a typed name without
// one, but not all of them in every case (Wine's open dialogs never do); the
// rule is kept here, the same for every dialog.
std::u16string FileDialog::WithDefaultExtension(std::u16string path) const {
    if (defaultExtension_.empty() || ExtensionStart(path) != std::u16string::npos) return path;
    path += u'.';
    path += defaultExtension_;
    return path;
}

}  // namespace kosmara
