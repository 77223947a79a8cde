// Helpers of the POSIX file code: names as bytes, folders being listed.
// POSIX only; included by the *_posix.cpp files.
#pragma once

#include <dirent.h>

#include <string>
#include <string_view>

#include "core/text.h"
#include "platform/unique_handle.h"

namespace kosmara {

// A path as the kernel takes it: the bytes the user gave, byte for byte.
inline std::string NativePath(std::u16string_view path) { return ToNativeBytes(path); }

struct DirectoryTraits {
    using Value = DIR*;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::closedir(value); }
};
using Directory = UniqueHandle<DirectoryTraits>;

// The folder for listing: "" is the current folder.
inline Directory OpenDirectory(std::u16string_view folder) {
    return Directory(::opendir(folder.empty() ? "." : NativePath(folder).c_str()));
}

}  // namespace kosmara
