// The user's folders an output goes to where the table's folder takes no
// new file, and the probe that tells whether a folder takes one.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "core/text.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "temp_folder.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace kosmara {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteFileBytes;

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

std::u16string TextOf(const fs::path& path) {
#ifdef _WIN32
    return path.u16string();
#else
    return FromNativeBytes(path.native());
#endif
}

#ifndef _WIN32
// A folder made immutable (chattr +i) for one scope: as a protected program
// folder to an unelevated Windows user, it takes no new file, for root too.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const fs::path& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        int flags = 0;
        if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return;
        flags |= FS_IMMUTABLE_FL;
        set_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ~ImmutableFolder() {
        if (set_) {
            int flags = 0;
            if (::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd_, FS_IOC_SETFLAGS, &flags);
            }
        }
        if (fd_ >= 0) ::close(fd_);
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    bool set() const { return set_; }

private:
    int fd_;
    bool set_ = false;
};
#endif

TEST(UserFolders, TheProbeLeavesNothingBehind) {
    TempFolder folder;
    WriteFileBytes(folder / "Horoskop.DB", "x");
    const std::set<std::string> before = NamesIn(folder.path());
    for (int round = 0; round < 3; ++round) EXPECT_EQ(CannotCreateFilesIn(TextOf(folder.path())), std::nullopt);
    EXPECT_EQ(NamesIn(folder.path()), before);
    // A folder that is not there takes nothing, and says why.
    const std::optional<std::u16string> missing = CannotCreateFilesIn(TextOf(folder / "Fehlt"));
    ASSERT_TRUE(missing.has_value());
    EXPECT_FALSE(missing->empty());
}

#ifndef _WIN32
TEST(UserFolders, AnImmutableFolderTakesNoFile) {
    TempFolder folder;
    fs::create_directory(folder / "Programme");
    WriteFileBytes(folder / "Programme" / "Horoskop.DB", "x");
    const std::set<std::string> before = NamesIn(folder / "Programme");
    {
        const ImmutableFolder immutable(folder / "Programme");
        if (!immutable.set()) GTEST_SKIP() << "chattr +i is not available here (needs root and ext4, xfs, btrfs ...)";
        const std::optional<std::u16string> why = CannotCreateFilesIn(TextOf(folder / "Programme"));
        ASSERT_TRUE(why.has_value());
        EXPECT_NE(ToUtf8(*why), "");
    }
    EXPECT_EQ(NamesIn(folder / "Programme"), before);
}
#endif

TEST(UserFolders, XdgUserDirsAreReadAsXdgUserDirReadsThem) {
    const struct {
        const char* what;
        std::string text;
        std::optional<std::string> folder;
    } cases[] = {
        {"as xdg-user-dirs-update writes it",
         "# This file is written by xdg-user-dirs-update\n"
         "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         "/home/anna/Dokumente"},
        {"${HOME}", "XDG_DOCUMENTS_DIR=\"${HOME}/Eigene Dateien\"\n", "/home/anna/Eigene Dateien"},
        {"an absolute path, bare, after blanks", "  XDG_DOCUMENTS_DIR=/daten/texte/\n", "/daten/texte"},
        {"escapes in quotes", "XDG_DOCUMENTS_DIR=\"$HOME/\\\"Zitat\\\" \\$x \\\\ \\a\"\n",
         "/home/anna/\"Zitat\" $x \\ \\a"},
        {"escapes bare", "XDG_DOCUMENTS_DIR=$HOME/Meine\\ Texte # Kommentar\n", "/home/anna/Meine Texte"},
        {"the last assignment wins", "XDG_DOCUMENTS_DIR=\"$HOME/Alt\"\nXDG_DOCUMENTS_DIR=\"$HOME/Neu\"\n",
         "/home/anna/Neu"},
        {"a comment line", "#XDG_DOCUMENTS_DIR=\"$HOME/Nein\"\n", std::nullopt},
        {"home itself: there is none", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", std::nullopt},
        {"a relative path is passed over", "XDG_DOCUMENTS_DIR=\"$HOME/Ja\"\nXDG_DOCUMENTS_DIR=\"Dokumente\"\n",
         "/home/anna/Ja"},
        {"another variable cannot be followed", "XDG_DOCUMENTS_DIR=\"$HOMEPATH/x\"\n", std::nullopt},
        {"an unfinished quote", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\n", std::nullopt},
        {"blanks around = are no assignment", "XDG_DOCUMENTS_DIR = \"$HOME/Dokumente\"\n", std::nullopt},
        {"another entry only", "XDG_DOCUMENTS_DIRS=\"$HOME/x\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", std::nullopt},
        {"CR LF lines", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\r\n", "/home/anna/Dokumente"},
        {"no file text", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(XdgUserFolder(c.text, "XDG_DOCUMENTS_DIR", "/home/anna/"), c.folder);
    }
    // Where home is unknown, nothing relative to it is a folder.
    EXPECT_EQ(XdgUserFolder("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "XDG_DOCUMENTS_DIR", ""), std::nullopt);
}

#ifndef _WIN32
// Sets environment variables for one scope and restores them.
class Environment {
public:
    void Set(const char* name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) ::setenv(it->first, it->second->c_str(), 1);
            else ::unsetenv(it->first);
        }
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(UserFolders, DocumentsComeFromTheUsersXdgFile) {
    TempFolder temp;
    const fs::path home = temp / "heim";
    fs::create_directories(home / ".config");
    fs::create_directories(temp / "konfig");
    {
        Environment environment;
        environment.Set("HOME", home.string());
        environment.Set("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(HomeFolder(), TextOf(home));
        EXPECT_EQ(DocumentsFolder(), std::nullopt);  // no user-dirs.dirs
        WriteFileBytes(home / ".config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        EXPECT_EQ(DocumentsFolder(), TextOf(home / "Dokumente"));
        // XDG_CONFIG_HOME, where absolute, is read instead.
        WriteFileBytes(temp / "konfig" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/texte\"\n");
        environment.Set("XDG_CONFIG_HOME", (temp / "konfig").string());
        EXPECT_EQ(DocumentsFolder(), u"/texte");
        environment.Set("XDG_CONFIG_HOME", "konfig");
        EXPECT_EQ(DocumentsFolder(), TextOf(home / "Dokumente"));
    }
}
#endif

}  // namespace
}  // namespace kosmara
