// The one error type of the system: an exception that carries the German
// message the user is shown. Front ends catch it at the top and show or
// print the message; nothing below them catches it.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kosmara {

class Error : public std::exception {
public:
    explicit Error(std::u16string message);

    const std::u16string& message() const noexcept { return message_; }
    // The message as UTF-8, for logs of test runners and the console.
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::u16string message_;
    std::string utf8_;
};

// Messages of the floating-point environment.
inline constexpr char16_t kInvalidFloatOperation[] = u"Ungültige Gleitkommaoperation";
// Reading a field position that the record does not have.
inline constexpr char16_t kArgumentOutOfRange[] = u"Argument außerhalb des Bereichs";

// Replaces each "%s" of a message template by the next argument, in order.
std::u16string FillMessage(std::u16string_view pattern, std::initializer_list<std::u16string_view> args);

}  // namespace kosmara
