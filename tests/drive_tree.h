// A folder tree whose paths begin with a drive letter on both systems, so
// discovery and the export job meet the paths they are made for: on Windows
// the test's own temporary folder ("C:\users\...\Temp\kosmara-..."); on
// POSIX a folder named "C:" in it, entered as the current folder, so that
// "C:/Daten/Horoskop.DB" is a path the file system knows. The local
// application-data folder lies beside it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "core/path.h"
#include "core/text.h"
#include "temp_folder.h"

namespace kosmara::testing {

class DriveTree {
public:
    DriveTree() {
#ifdef _WIN32
        root_ = temp_.path().u16string();
#else
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(temp_.path());
        std::filesystem::create_directory("C:");
        root_ = u"C:";
#endif
        appData_ = (temp_.path() / "AppData" / "Local").u16string();
        std::filesystem::create_directories(Native(appData_));
        std::filesystem::create_directories(temp_.path() / "Temp");
    }
    ~DriveTree() {
#ifndef _WIN32
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
#endif
    }
    DriveTree(const DriveTree&) = delete;
    DriveTree& operator=(const DriveTree&) = delete;

    // A path below the drive's folder; "/" in relative stands for the separator.
    std::u16string Path(std::u16string_view relative) const {
        std::u16string path = root_;
        path += kPathSeparator;
        for (const char16_t c : relative) path += c == u'/' ? kPathSeparator : c;
        return path;
    }
    // Where the user's VirtualStore keeps the copy of a path that begins
    // with a drive letter.
    std::u16string StorePath(std::u16string_view path) const {
        return appData_ + u"\\VirtualStore" + std::u16string(path.substr(2));
    }
    const std::u16string& appData() const { return appData_; }
    // A temporary folder of the test's own, with its closing separator.
    std::u16string TemporaryFolder() const { return WithClosingSeparator((temp_.path() / "Temp").u16string()); }
    const std::filesystem::path& root() const { return temp_.path(); }

    static std::filesystem::path Native(std::u16string_view path) {
#ifdef _WIN32
        return std::filesystem::path(std::u16string(path));
#else
        return std::filesystem::path(ToNativeBytes(path));
#endif
    }
    static void CreateFolder(std::u16string_view path) { std::filesystem::create_directories(Native(path)); }
    static void CreateFile(std::u16string_view path, const std::string& bytes) {
        std::filesystem::create_directories(Native(path).parent_path());
        WriteFileBytes(Native(path), bytes);
    }

private:
    TempFolder temp_;
    std::u16string root_;
    std::u16string appData_;
#ifndef _WIN32
    std::filesystem::path saved_;
#endif
};

}  // namespace kosmara::testing
