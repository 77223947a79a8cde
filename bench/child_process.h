// The benchmarks measure each step in a child process of its own: a fresh
// image of the benchmark itself, so the child's peak memory (ru_maxrss) is
// its own and not the parent's heap.
#pragma once

#include <string>
#include <vector>

namespace kosmara::bench {

struct ChildRun {
    std::string printed;  // the child's standard output
    long peakKiB = 0;     // its peak resident memory
};

// Runs this program again with arguments (argv[0] is programName) and waits
// for it; a child that fails or cannot be started is a runtime_error.
ChildRun RunSelf(const char* programName, const std::vector<std::string>& arguments);

}  // namespace kosmara::bench
