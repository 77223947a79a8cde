// First form of the password question: none is asked.
#pragma once
#include <windows.h>
#include <optional>
#include <string>
#include "engine/engine_objects.h"
namespace kosmara {
inline std::optional<std::u16string> RunPasswordDialog(HWND, Session&) { return std::nullopt; }
}
