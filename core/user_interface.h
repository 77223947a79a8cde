// What the export needs of the user interface: the question for the output
// file, the question for a password, and a message the user reads and
// closes. The window answers with its dialogs and message boxes; the command
// line from its arguments and the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kosmara {

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // Returns when the user has taken note of the message.
    virtual void ShowMessage(std::u16string_view text) = 0;

    // The file the user confirms for the export's output, starting from
    // proposed (a full path); nothing when the user cancels. Unless a front
    // end asks, the proposal is taken.
    virtual std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) {
        return std::u16string(proposed);
    }

    // The table at tablePath is password-protected and no password given so
    // far opens it: asks for another one, which the export adds to the
    // session's passwords before it tries again (an empty text: try again
    // with the session's passwords as they are now). Nothing when the user
    // gives up; the export then fails with the engine's error. Unless a
    // front end asks, nobody is asked.
    virtual std::optional<std::u16string> AskPassword([[maybe_unused]] std::u16string_view tablePath) {
        return std::nullopt;
    }

    // The export has written done records of about total (nothing when the
    // table does not say). Called after every record; a front end that shows
    // progress decides how often it updates. Unless one does, nothing shows.
    virtual void ShowProgress([[maybe_unused]] std::uint32_t done,
                              [[maybe_unused]] std::optional<std::uint32_t> total) {}

    // Another conversion is using the export staging folder (folder); the
    // export waits for it, at most a minute. Called once when the waiting
    // starts. Unless a front end shows it, nothing shows.
    virtual void WaitingForStagingFolder([[maybe_unused]] std::u16string_view folder) {}

    // Called again and again while the export waits (for the staging
    // folder), a few times a second: a window handles what has come for it
    // meanwhile, so the system never takes it for hung.
    virtual void StillWaiting() {}
};

}  // namespace kosmara
