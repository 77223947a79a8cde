// What every benchmark program needs around its measuring: a folder to
// write its tables into, and main()'s frame that reports an error.
#pragma once

#include <filesystem>

namespace kosmara::bench {

// The folder given with --dir (created where missing, kept afterwards), or
// a fresh temporary one named after prefix, removed with everything in it
// when the object goes.
class WorkFolder {
public:
    WorkFolder(const std::filesystem::path& given, const char* prefix);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
    bool temporary_;
};

// Runs run(argc, argv); an error that escapes it is printed on standard
// error after the program's name, and the exit code is 1.
int RunMain(const char* programName, int (*run)(int, char**), int argc, char** argv);

}  // namespace kosmara::bench
