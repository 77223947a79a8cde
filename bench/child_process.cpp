#include "bench/child_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace kosmara::bench {

ChildRun RunSelf(const char* programName, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(programName)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    ChildRun run;
    char buffer[256];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) run.printed.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) throw std::runtime_error("wait4 failed");
    const std::string what = arguments.empty() ? std::string(programName) : arguments.front();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(what + " failed (status " + std::to_string(status) + ")");
    run.peakKiB = usage.ru_maxrss;
    return run;
}

}  // namespace kosmara::bench
