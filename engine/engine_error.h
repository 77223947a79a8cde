// Errors of the table engine: a code and a German text naming the file.
// The password dialog of the window and the command line's password option
// recognise kInsufficientRights by its code.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/error.h"

namespace kosmara {

enum class EngineErrorCode : std::uint16_t {
    // The database and its files.
    kFolderNotFound = 0x2701,     // %s: folder
    kTableNotFound = 0x2702,      // %s: table file
    kBlobFileNotFound = 0x2703,   // %s: .MB file expected beside the table
    kNoTableName = 0x2704,
    kFileLocked = 0x2801,         // %s: file
    kAccessDenied = 0x2802,       // %s: file, %s: system text
    kCannotOpenFile = 0x2803,     // %s: file, %s: system text
    kNotARegularFile = 0x2804,    // %s: file (a device, FIFO or socket)
    kInsufficientRights = 0x2902, // %s: table file (password-protected, no matching password)
    // Damaged or foreign files.
    kNotAParadoxTable = 0x2101,   // %s: file
    kUnsupportedVersion = 0x2102, // %s: file, %s: version byte
    kHeaderDamaged = 0x2103,      // %s: file, %s: what is wrong
    kBlockDamaged = 0x2104,       // %s: file, %s: what is wrong
    kBlobDamaged = 0x2105,        // %s: .MB file, %s: what is wrong
    kUnsupportedCodePage = 0x2106,// %s: file, %s: code page number
    // Fields.
    kNotANumber = 0x3001,         // %s: text, %s: field name
    kNotABoolean = 0x3002,        // %s: text, %s: field name
    kCannotReadAsNumber = 0x3003, // %s: field name
    kCannotReadAsBoolean = 0x3004,// %s: field name
    // Use of the engine objects.
    kNotConnected = 0x3101,
    kTableNotOpen = 0x3102,
    kNoCurrentRecord = 0x3103,
};

class EngineError : public Error {
public:
    EngineError(EngineErrorCode code, std::u16string message) : Error(std::move(message)), code_(code) {}
    EngineErrorCode code() const noexcept { return code_; }

private:
    EngineErrorCode code_;
};

// The German text of a code with its arguments filled in; "BDE-Fehler $%.4x"
// (the code as four upper-case hexadecimal digits) for a code without text.
std::u16string EngineErrorMessage(EngineErrorCode code, std::initializer_list<std::u16string_view> args);

[[noreturn]] void ThrowEngineError(EngineErrorCode code, std::initializer_list<std::u16string_view> args = {});

}  // namespace kosmara
