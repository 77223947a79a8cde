// The command line program: the process's arguments as UTF-16 (wmain on
// Windows; on POSIX the bytes as they came, see FromNativeBytes) handed to
// RunCommandLine with the system's registry, files and terminal.
#include <chrono>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "core/error.h"
#include "core/text.h"
#include "databases/system_services.h"
#include "platform/console.h"
#include "platform/interrupt.h"

namespace {

// RunCommandLine reports its own errors; one that escapes it is still shown.
template <typename Argument, typename Convert>
int Run(int argc, Argument* argv[], Convert convert) {
    // Every line, the last error's too, reaches a console as it reads.
    const kosmara::ConsoleOutput console;
    try {
        // Ctrl-C, a closed console or a terminal hung up part-way: no
        // temporary file stays, the terminal echoes again.
        kosmara::InstallInterruptCleanup();
        std::vector<std::u16string> arguments;
        for (int i = 1; i < argc; ++i) arguments.push_back(convert(argv[i]));
        const kosmara::SystemServicesOfPlatform system;
        kosmara::CommandLineEnvironment environment{std::cout, std::cerr, system, kosmara::ReadSecretLine,
                                                    kosmara::StandardErrorIsTerminal(), [] {
                                                        return std::chrono::duration<double>(
                                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                            .count();
                                                    }};
#ifndef _WIN32
        // Linux has no registry of its own: the legacy program's lies in a Wine prefix.
        environment.useDefaultWinePrefix = true;
#endif
        return kosmara::RunCommandLine(arguments, environment);
    } catch (const kosmara::Error& error) {
        std::cerr << kosmara::ToReadableUtf8(error.message()) << '\n';
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "Nicht genügend Arbeitsspeicher.\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "Interner Fehler: " << error.what() << '\n';
        return 1;
    }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t* argv[]) {
    return Run(argc, argv, [](const wchar_t* argument) {
        return std::u16string(reinterpret_cast<const char16_t*>(argument));
    });
}
#else
int main(int argc, char* argv[]) {
    return Run(argc, argv, [](const char* argument) { return kosmara::FromNativeBytes(argument); });
}
#endif
