// The system's text type as the wide-character Windows API takes it.
// Windows only; included by the *_win.cpp files.
#pragma once

#include <string>

namespace kosmara {

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* WideBuffer(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }
inline std::u16string FromWide(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace kosmara
