// The console's side of a command: the progress line on a terminal, the
// export's questions answered from the command line and the terminal, and
// the scope of the passwords a command brings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "core/user_interface.h"
#include "engine/engine_objects.h"

namespace kosmara {

// The session's passwords as they were before the command: the command's own
// (given or typed) serve its run only.
class PasswordScope {
public:
    PasswordScope(Session& session, const std::vector<std::u16string>& passwords);
    PasswordScope(const PasswordScope&) = delete;
    PasswordScope& operator=(const PasswordScope&) = delete;
    ~PasswordScope();

private:
    Session& session_;
    std::vector<std::u16string> before_;
};

// The progress of an export on a terminal: one line on err, rewritten in
// place at most ten times a second, cleared when the export ends however it
// ends. Nothing at all when err is no terminal.
class ProgressLine {
public:
    explicit ProgressLine(CommandLineEnvironment& environment);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Clear(); }

    void Show(std::uint32_t done, std::optional<std::uint32_t> total);
    void Clear();

private:
    CommandLineEnvironment& environment_;
    std::optional<double> started_;
    double last_ = 0;
    std::size_t width_ = 0;  // of the line shown; 0: none
};

// The export's questions answered from the command line: the output from
// the arguments, passwords from the terminal, the count on standard output
// (unless quiet), the progress on a terminal.
class ConsoleUserInterface final : public UserInterface {
public:
    ConsoleUserInterface(CommandLineEnvironment& environment, std::optional<std::u16string> output, bool quiet = false)
        : environment_(environment), output_(std::move(output)), quiet_(quiet), progress_(environment) {}

    void ShowMessage(std::u16string_view text) override;
    std::optional<std::u16string> AskOutputFile(std::u16string_view proposed) override;
    std::optional<std::u16string> AskPassword(std::u16string_view tablePath) override;
    void WaitingForStagingFolder(std::u16string_view folder) override;
    void ShowProgress(std::uint32_t done, std::optional<std::uint32_t> total) override { progress_.Show(done, total); }

    // The output file the export was given; empty before it asked.
    const std::u16string& chosen() const noexcept { return chosen_; }

private:
    CommandLineEnvironment& environment_;
    std::optional<std::u16string> output_;
    bool quiet_;
    ProgressLine progress_;
    std::u16string chosen_;
};

}  // namespace kosmara
