// What the export needs of the user interface: a message the user reads and
// closes (a message box in the window, a line on standard output in the
// command line).
#pragma once

#include <string_view>

namespace kosmara {

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // Returns when the user has taken note of the message.
    virtual void ShowMessage(std::u16string_view text) = 0;
};

}  // namespace kosmara
