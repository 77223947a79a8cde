#include "bench/bench_support.h"

#include <stdlib.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>

#include "core/error.h"
#include "core/text.h"

namespace kosmara::bench {

WorkFolder::WorkFolder(const std::filesystem::path& given, const char* prefix) : temporary_(given.empty()) {
    if (!temporary_) {
        path_ = given;
        std::filesystem::create_directories(path_);
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    if (temporary_) std::filesystem::remove_all(path_, ignored);
}

int RunMain(const char* programName, int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Error& error) {
        std::fprintf(stderr, "%s: %s\n", programName, ToUtf8(error.message()).c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", programName, error.what());
    }
    return 1;
}

}  // namespace kosmara::bench
