#include "cli/console_ui.h"

#include <ostream>
#include <utility>

#include "core/error.h"
#include "core/text.h"
#include "platform/interrupt.h"

namespace kosmara {

namespace {

constexpr char16_t kPasswordPrompt[] = u"Kennwort für \"%s\" (leer: abbrechen): ";

// The progress line: records done, of how many, and the rate.
constexpr char16_t kProgressOf[] = u"%s von %s Datensätzen, %s je Sekunde";
constexpr char16_t kProgress[] = u"%s Datensätze, %s je Sekunde";
constexpr double kProgressInterval = 0.1;  // at most ten updates a second

// Another conversion holds the staging folder: %s the folder.
constexpr char16_t kWaitingForStaging[] =
    u"Eine andere Umwandlung benutzt den Exportordner \"%s\"; es wird gewartet, bis sie fertig ist "
    u"(höchstens eine Minute).";

}  // namespace

PasswordScope::PasswordScope(Session& session, const std::vector<std::u16string>& passwords)
    : session_(session), before_(session.passwords()) {
    for (const std::u16string& password : passwords) session_.AddPassword(password);
}

PasswordScope::~PasswordScope() {
    session_.RemoveAllPasswords();
    for (const std::u16string& password : before_) session_.AddPassword(password);
}

ProgressLine::ProgressLine(CommandLineEnvironment& environment) : environment_(environment) {
    if (environment_.errIsTerminal && environment_.clock) started_ = last_ = environment_.clock();
}

void ProgressLine::Show(std::uint32_t done, std::optional<std::uint32_t> total) {
    if (!started_) return;
    const double now = environment_.clock();
    if (now - last_ < kProgressInterval) return;
    last_ = now;
    const double seconds = now - *started_;
    std::u16string doneText, totalText, rateText;
    AppendDecimal(doneText, done, 1);
    AppendDecimal(rateText, seconds > 0 ? static_cast<long long>(done / seconds + 0.5) : 0, 1);
    std::u16string line;
    if (total) {
        AppendDecimal(totalText, *total, 1);
        line = FillMessage(kProgressOf, {doneText, totalText, rateText});
    } else {
        line = FillMessage(kProgress, {doneText, rateText});
    }
    const std::size_t width = line.size();
    if (line.size() < width_) line.append(width_ - line.size(), u' ');
    width_ = width;
    environment_.err << '\r' << ToReadableUtf8(line) << std::flush;
    // What an interrupt must clear: as wide as what stands there now.
    SetStatusLineWidth(line.size());
}

void ProgressLine::Clear() {
    if (width_ == 0) return;
    SetStatusLineWidth(0);
    environment_.err << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
}

void ConsoleUserInterface::ShowMessage(std::u16string_view text) {
    progress_.Clear();
    if (!quiet_) environment_.out << ToReadableUtf8(text) << '\n' << std::flush;
}

std::optional<std::u16string> ConsoleUserInterface::AskOutputFile(std::u16string_view proposed) {
    chosen_ = output_ ? *output_ : std::u16string(proposed);
    return chosen_;
}

void ConsoleUserInterface::WaitingForStagingFolder(std::u16string_view folder) {
    progress_.Clear();
    environment_.err << ToReadableUtf8(FillMessage(kWaitingForStaging, {folder})) << '\n' << std::flush;
}

std::optional<std::u16string> ConsoleUserInterface::AskPassword(std::u16string_view tablePath) {
    progress_.Clear();
    if (!environment_.readPassword) return std::nullopt;
    std::optional<std::u16string> password = environment_.readPassword(
        FillMessage(kPasswordPrompt, {VisibleText(tablePath, Backslashes::kKept)}));
    if (!password || password->empty()) return std::nullopt;
    return password;
}

}  // namespace kosmara
