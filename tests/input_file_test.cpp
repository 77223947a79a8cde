#include "platform/input_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kosmara {
namespace {

using testing::TempFolder;
using testing::WriteFileBytes;

std::u16string U16(const std::filesystem::path& path) { return path.u16string(); }

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

std::string ReadAll(const InputFile& file, std::uint64_t offset, std::size_t size) {
    std::string bytes(size, '\0');
    bytes.resize(file.ReadAt(offset, bytes.data(), size));
    return bytes;
}

InputFile OpenOrFail(const std::u16string& path) {
    OpenError error;
    std::optional<InputFile> file = InputFile::Open(path, error);
    if (!file) throw std::runtime_error("cannot open " + Utf8(path) + ", code " + std::to_string(error.systemCode));
    return std::move(*file);
}

TEST(InputFileTest, ReadsAtOffsetsAndStopsAtTheEnd) {
    TempFolder folder;
    WriteFileBytes(folder / "table.db", "0123456789");
    const InputFile file = OpenOrFail(U16(folder / "table.db"));
    EXPECT_EQ(file.path(), U16(folder / "table.db"));
    EXPECT_EQ(file.Size(), 10u);
    EXPECT_EQ(ReadAll(file, 0, 10), "0123456789");
    EXPECT_EQ(ReadAll(file, 2, 4), "2345");
    EXPECT_EQ(ReadAll(file, 8, 4), "89");       // partly past the end
    EXPECT_EQ(ReadAll(file, 10, 4), "");        // at the end
    EXPECT_EQ(ReadAll(file, 1000000, 4), "");   // far past it
    EXPECT_EQ(ReadAll(file, ~std::uint64_t{0} - 1, 4), "");
}

TEST(InputFileTest, MovedFileKeepsItsHandle) {
    TempFolder folder;
    WriteFileBytes(folder / "a.db", "abc");
    InputFile first = OpenOrFail(U16(folder / "a.db"));
    InputFile second = std::move(first);
    EXPECT_EQ(ReadAll(second, 0, 3), "abc");
    WriteFileBytes(folder / "b.db", "xyz");
    second = OpenOrFail(U16(folder / "b.db"));
    EXPECT_EQ(ReadAll(second, 0, 3), "xyz");
    EXPECT_EQ(second.path(), U16(folder / "b.db"));
}

TEST(InputFileTest, TellsWhyAFileCannotBeOpened) {
    TempFolder folder;
    WriteFileBytes(folder / "plain.db", "x");
    std::filesystem::create_directory(folder / "sub");
    const struct {
        std::filesystem::path path;
        OpenFailure failure;
    } cases[] = {
        {folder / "missing.db", OpenFailure::kNotFound},
        {folder / "nofolder" / "missing.db", OpenFailure::kFolderNotFound},
        {folder / "nofolder" / "deeper" / "missing.db", OpenFailure::kFolderNotFound},
        {folder / "plain.db" / "x.db", OpenFailure::kFolderNotFound},  // a file where a folder should be
        {folder / "sub", OpenFailure::kIsFolder},
        {folder.path(), OpenFailure::kIsFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        OpenError error;
        EXPECT_FALSE(InputFile::Open(U16(c.path), error).has_value());
        EXPECT_EQ(error.failure, c.failure);
        EXPECT_NE(error.systemCode, 0u);
    }
}

TEST(InputFileTest, OtherSpellingsAndLinksHaveTheSameIdentity) {
    TempFolder folder;
    WriteFileBytes(folder / "Horoskopdaten.DB", "table");
    WriteFileBytes(folder / "Other.DB", "other");
    std::filesystem::create_directory(folder / "sub");
    std::filesystem::create_hard_link(folder / "Horoskopdaten.DB", folder / "hardlink.DB");
    const std::u16string path = U16(folder / "Horoskopdaten.DB");
    const FileIdentity identity = OpenOrFail(path).Identity();

    std::vector<std::u16string> spellings = {path, U16(folder / "hardlink.DB"),
                                             U16(folder / "sub" / ".." / "Horoskopdaten.DB")};
#ifdef _WIN32
    spellings.push_back(U16(folder / "HOROSKOPDATEN.db"));
    spellings.push_back(U16(folder / "sub") + u"\\..\\horoskopdaten.db");
    wchar_t shortPath[MAX_PATH];
    const DWORD length = ::GetShortPathNameW(reinterpret_cast<const wchar_t*>(path.c_str()), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    const std::u16string shortSpelling(reinterpret_cast<const char16_t*>(shortPath), length);
    EXPECT_NE(NameOfPath(shortSpelling), u"Horoskopdaten.DB");  // an 8.3 name indeed
    spellings.push_back(shortSpelling);
#else
    std::filesystem::create_symlink(folder / "Horoskopdaten.DB", folder / "symlink.DB");
    spellings.push_back(U16(folder / "symlink.DB"));
#endif
    for (const std::u16string& spelling : spellings) {
        SCOPED_TRACE(Utf8(spelling));
        EXPECT_EQ(OpenOrFail(spelling).Identity(), identity);
        EXPECT_EQ(IdentityOfPath(spelling), identity);
    }
    EXPECT_NE(IdentityOfPath(U16(folder / "Other.DB")), identity);
    EXPECT_NE(IdentityOfPath(U16(folder / "sub")), identity);
    EXPECT_TRUE(IdentityOfPath(U16(folder / "sub")).has_value());  // folders have one too
    EXPECT_FALSE(IdentityOfPath(U16(folder / "missing.DB")).has_value());
    EXPECT_FALSE(IdentityOfPath(U16(folder / "nofolder" / "missing.DB")).has_value());
    EXPECT_FALSE(IdentityOfPath(u"").has_value());
}

// The legacy program may keep its tables open for writing while we read.
TEST(InputFileTest, OpensAFileAnotherProgramHoldsOpenForWriting) {
    TempFolder folder;
    WriteFileBytes(folder / "table.db", "before");
    const std::u16string path = U16(folder / "table.db");
#ifdef _WIN32
    const auto openWith = [&](DWORD share) {
        return ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, share, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE writer = openWith(FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    {
        const InputFile file = OpenOrFail(path);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(writer, "AFTER", 5, &written, nullptr));
        EXPECT_EQ(ReadAll(file, 0, 6), "AFTERe");
    }
    ::CloseHandle(writer);

    // Held exclusively: locked.
    HANDLE exclusive = openWith(0);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    OpenError error;
    EXPECT_FALSE(InputFile::Open(path, error).has_value());
    EXPECT_EQ(error.failure, OpenFailure::kLocked);
    EXPECT_EQ(error.systemCode, static_cast<unsigned long>(ERROR_SHARING_VIOLATION));
    // Its identity can still be asked.
    EXPECT_TRUE(IdentityOfPath(path).has_value());
    ::CloseHandle(exclusive);
#else
    const int writer = ::open((folder / "table.db").c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    {
        const InputFile file = OpenOrFail(path);
        ASSERT_EQ(::pwrite(writer, "AFTER", 5, 0), 5);
        EXPECT_EQ(ReadAll(file, 0, 6), "AFTERe");
    }
    ::close(writer);
#endif
    // Our own handle shares with a second reader.
    const InputFile first = OpenOrFail(path);
    const InputFile second = OpenOrFail(path);
    EXPECT_EQ(first.Identity(), second.Identity());
}

TEST(InputFileTest, FindsAFileWhateverTheCaseOfItsName) {
    TempFolder folder;
    WriteFileBytes(folder / "Horoskop.DB", "db");
    WriteFileBytes(folder / "HOROSKOP.MB", "mb");
    std::filesystem::create_directory(folder / "Horoskop.PX");  // a folder is no file
    const std::u16string base = U16(folder.path());
    const struct {
        const char16_t* name;
        const char16_t* found;  // nullptr: none
    } cases[] = {
        {u"Horoskop.DB", u"Horoskop.DB"}, {u"horoskop.db", u"Horoskop.DB"}, {u"Horoskop.MB", u"HOROSKOP.MB"},
        {u"horoskop.Mb", u"HOROSKOP.MB"}, {u"Horoskop.PX", nullptr},        {u"Horoskop.VAL", nullptr},
        {u"Horoskop.*", nullptr},         {u"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        const std::optional<std::u16string> found = FindFileIgnoringCase(base, c.name);
        if (c.found == nullptr) {
            EXPECT_FALSE(found.has_value());
        } else {
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(Utf8(*found), Utf8(JoinPath(base, c.found)));
        }
    }
    EXPECT_FALSE(FindFileIgnoringCase(JoinPath(base, u"nofolder"), u"Horoskop.DB").has_value());
}

#ifndef _WIN32
// A case-sensitive file system may hold both spellings: the exact one wins.
TEST(InputFileTest, FindPrefersTheExactName) {
    TempFolder folder;
    WriteFileBytes(folder / "a.mb", "lower");
    WriteFileBytes(folder / "A.MB", "upper");
    const std::u16string base = U16(folder.path());
    EXPECT_EQ(FindFileIgnoringCase(base, u"A.MB"), JoinPath(base, u"A.MB"));
    EXPECT_EQ(FindFileIgnoringCase(base, u"a.mb"), JoinPath(base, u"a.mb"));
}
#endif

}  // namespace
}  // namespace kosmara
