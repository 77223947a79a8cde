// Owners of the Windows handles the platform and user-interface layers use.
// Windows only; included by the *_win.cpp files and by ui/.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "platform/unique_handle.h"

namespace kosmara {

// CreateFileW and friends: INVALID_HANDLE_VALUE or null is no handle.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value value) noexcept { return value != INVALID_HANDLE_VALUE && value != nullptr; }
    static void Close(Value value) noexcept { ::CloseHandle(value); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// FindFirstFileW.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value value) noexcept { return value != INVALID_HANDLE_VALUE; }
    static void Close(Value value) noexcept { ::FindClose(value); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// RegOpenKeyExW.
struct RegistryKeyTraits {
    using Value = HKEY;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::RegCloseKey(value); }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// Fonts, brushes and the other objects of CreateFontW and friends.
struct GdiObjectTraits {
    using Value = HGDIOBJ;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::DeleteObject(value); }
};
using GdiObject = UniqueHandle<GdiObjectTraits>;

// COM interface pointers (the shell's file dialogs and items): Release.
template <typename Interface>
struct ComTraits {
    using Value = Interface*;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { value->Release(); }
};
template <typename Interface>
using ComPtr = UniqueHandle<ComTraits<Interface>>;

// Texts the shell allocates for the caller (IShellItem::GetDisplayName): CoTaskMemFree.
struct CoTaskMemTextTraits {
    using Value = wchar_t*;
    static Value Invalid() noexcept { return nullptr; }
    static bool IsValid(Value value) noexcept { return value != nullptr; }
    static void Close(Value value) noexcept { ::CoTaskMemFree(value); }
};
using CoTaskMemText = UniqueHandle<CoTaskMemTextTraits>;

}  // namespace kosmara
