// The resources of KosmaraExport.exe, read back from this test program, which
// links the same ui/kosmara_export.rc: the icon in every size, the version
// resource with its German texts, and the manifest: the only one, accepted by
// Windows, declaring what the program relies on, and in effect (the common
// controls of version 6 are the ones loaded, which only its dependency
// brings). And those of kosmara2aaf.exe, read from the program's file: its
// version resource and its manifest. Windows only.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/resource_ids.h"
#include "ui/version.h"

namespace kosmara {
namespace {

constexpr int kIconSizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

// The bytes of one resource of this program; empty when there is none.
std::span<const std::uint8_t> Resource(const wchar_t* type, const wchar_t* name) {
    HRSRC info = ::FindResourceW(nullptr, name, type);
    if (info == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(nullptr, info);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return {static_cast<const std::uint8_t*>(data), ::SizeofResource(nullptr, info)};
}

std::uint32_t Little(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) value = value << 8 | bytes[at + i];
    return value;
}

std::uint32_t Big32(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | bytes[at + i];
    return value;
}

// One image of the icon group as the group lists it (GRPICONDIRENTRY).
struct GroupEntry {
    int width = 0;  // 0 in the entry stands for 256
    int height = 0;
    int bitCount = 0;
    std::uint32_t bytes = 0;
    unsigned id = 0;
};

std::span<const std::uint8_t> IconGroupBytes() { return Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP)); }

// The entries of the application icon's group; none when it is missing or not an icon group.
std::vector<GroupEntry> IconGroup() {
    const auto dir = IconGroupBytes();
    std::vector<GroupEntry> entries;
    if (dir.size() < 6 || Little(dir, 0, 2) != 0 || Little(dir, 2, 2) != 1) return entries;
    const std::size_t count = Little(dir, 4, 2);
    for (std::size_t i = 0; i < count && 6 + 14 * (i + 1) <= dir.size(); ++i) {
        const std::size_t at = 6 + 14 * i;
        entries.push_back({dir[at] == 0 ? 256 : dir[at], dir[at + 1] == 0 ? 256 : dir[at + 1],
                           static_cast<int>(Little(dir, at + 6, 2)), Little(dir, at + 8, 4),
                           static_cast<unsigned>(Little(dir, at + 12, 2))});
    }
    return entries;
}

std::optional<GroupEntry> IconEntryOfSize(int size) {
    for (const GroupEntry& entry : IconGroup()) {
        if (entry.width == size) return entry;
    }
    return std::nullopt;
}

// What an icon image says of itself: a PNG by its IHDR chunk, else a
// BITMAPINFOHEADER whose height covers the colour image and the AND mask.
struct ImageHeader {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::size_t minimumBytes = 0;  // what a bitmap of these dimensions needs (a PNG is compressed: 0)
};

std::optional<ImageHeader> ReadImageHeader(std::span<const std::uint8_t> image) {
    static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (image.size() >= 33 && std::equal(std::begin(kPngSignature), std::end(kPngSignature), image.begin())) {
        if (Big32(image, 8) != 13 || !std::equal(image.begin() + 12, image.begin() + 16, "IHDR")) return std::nullopt;
        const int bitCount = image[24] * (image[25] == 6 ? 4 : image[25] == 2 ? 3 : 1);  // depth x channels
        return ImageHeader{static_cast<int>(Big32(image, 16)), static_cast<int>(Big32(image, 20)), bitCount, 0};
    }
    if (image.size() < 40 || Little(image, 0, 4) != 40) return std::nullopt;
    const int width = static_cast<int>(Little(image, 4, 4));
    const int height = static_cast<int>(Little(image, 8, 4)) / 2;
    const int bitCount = static_cast<int>(Little(image, 14, 2));
    const std::size_t colourRow = (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
    const std::size_t maskRow = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    return ImageHeader{width, height, bitCount, 40 + (colourRow + maskRow) * height};
}

TEST(ApplicationIcon, GroupHoldsEverySizeOnceIn32Bits) {
    std::vector<int> sizes;
    for (const GroupEntry& entry : IconGroup()) {
        EXPECT_EQ(entry.height, entry.width) << "image " << entry.id;
        EXPECT_EQ(entry.bitCount, 32) << entry.width << " px";
        sizes.push_back(entry.width);
    }
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, std::vector<int>(std::begin(kIconSizes), std::end(kIconSizes)));
}

class IconSize : public testing::TestWithParam<int> {};

TEST_P(IconSize, ImageIsWhatTheGroupSays) {
    const int size = GetParam();
    const auto entry = IconEntryOfSize(size);
    ASSERT_TRUE(entry) << "no image of " << size << " px in the icon group";
    const auto image = Resource(RT_ICON, MAKEINTRESOURCEW(entry->id));
    ASSERT_FALSE(image.empty()) << "the group names image " << entry->id << ", which is missing";
    EXPECT_EQ(image.size(), entry->bytes);
    const auto header = ReadImageHeader(image);
    ASSERT_TRUE(header) << "image " << entry->id << " is neither PNG nor a bitmap";
    EXPECT_EQ(header->width, size);
    EXPECT_EQ(header->height, size);
    EXPECT_EQ(header->bitCount, 32) << "colour with alpha";
    EXPECT_GE(image.size(), header->minimumBytes);
}

TEST_P(IconSize, WindowsPicksAndLoadsIt) {
    const int size = GetParam();
    const auto entry = IconEntryOfSize(size);
    ASSERT_TRUE(entry) << "no image of " << size << " px in the icon group";
    const auto dir = IconGroupBytes();
    EXPECT_EQ(::LookupIconIdFromDirectoryEx(const_cast<PBYTE>(dir.data()), TRUE, size, size, LR_DEFAULTCOLOR),
              static_cast<int>(entry->id));

    HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << ::GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP colour{};
    EXPECT_TRUE(info.hbmColor != nullptr && ::GetObjectW(info.hbmColor, sizeof colour, &colour) != 0);
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
}

INSTANTIATE_TEST_SUITE_P(EverySize, IconSize, testing::ValuesIn(kIconSizes),
                         [](const testing::TestParamInfo<int>& size) { return std::to_string(size.param) + "px"; });

// The version resource of a program file, as GetFileVersionInfoW reads it.
std::vector<std::uint8_t> VersionInfoOf(const std::wstring& file) {
    DWORD ignored = 0;
    std::vector<std::uint8_t> block(::GetFileVersionInfoSizeW(file.c_str(), &ignored));
    if (block.empty() || !::GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data())) {
        block.clear();
    }
    return block;
}

// The version resource of this program.
std::vector<std::uint8_t> OwnVersionInfo() {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return VersionInfoOf(self);
}

// The command line program beside the tests, as the build made it.
std::wstring CommandLineProgram() {
    const std::string_view path = KOSMARA2AAF_PROGRAM;
    return std::wstring(path.begin(), path.end());
}

// UTF-8 for messages: GoogleTest prints wide strings character by character.
std::string Utf8(std::wstring_view text) {
    std::string out(text.size() * 3, '\0');
    out.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                     static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

template <typename T>
const T* Query(std::vector<std::uint8_t>& block, const std::wstring& path, UINT* length = nullptr) {
    void* value = nullptr;
    UINT size = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &size) || value == nullptr) return nullptr;
    if (length != nullptr) *length = size;
    return static_cast<const T*>(value);
}

// The fixed part: the numbers of core/version.h, a released application.
void ExpectVersionNumbers(std::vector<std::uint8_t>& block) {
    ASSERT_FALSE(block.empty()) << "no version resource";
    const auto* fixed = Query<VS_FIXEDFILEINFO>(block, L"\\");
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(KOSMARA_VERSION_MINOR, KOSMARA_VERSION_MAJOR);
    const DWORD low = MAKELONG(KOSMARA_VERSION_BUILD, KOSMARA_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug, pre-release or patched build";
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(VersionResource, NumbersAreTheProgramsVersion) {
    auto block = OwnVersionInfo();
    ExpectVersionNumbers(block);
}

TEST(VersionResource, CommandLineNumbersAreTheProgramsVersion) {
    auto block = VersionInfoOf(CommandLineProgram());
    ExpectVersionNumbers(block);
}

struct VersionText {
    const wchar_t* name;
    std::wstring_view expected;
};

// One language, German (Germany) in Unicode, and each text as expected.
void ExpectGermanTexts(std::vector<std::uint8_t>& block, std::span<const VersionText> texts) {
    ASSERT_FALSE(block.empty()) << "no version resource";
    UINT length = 0;
    const auto* translation = Query<WORD>(block, L"\\VarFileInfo\\Translation", &length);
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u) << "one language";
    EXPECT_EQ(translation[0], 0x0407) << "German (Germany)";
    EXPECT_EQ(translation[1], 1200) << "Unicode";

    for (const VersionText& text : texts) {
        const auto* value = Query<wchar_t>(block, std::wstring(L"\\StringFileInfo\\040704B0\\") + text.name);
        EXPECT_NE(value, nullptr) << "no " << Utf8(text.name);
        if (value != nullptr) {
            EXPECT_EQ(Utf8(value), Utf8(text.expected)) << Utf8(text.name);
        }
    }
}

std::wstring FourPartVersion() {
    return std::to_wstring(KOSMARA_VERSION_MAJOR) + L"." + std::to_wstring(KOSMARA_VERSION_MINOR) + L"." +
           std::to_wstring(KOSMARA_VERSION_PATCH) + L"." + std::to_wstring(KOSMARA_VERSION_BUILD);
}

constexpr std::wstring_view kAuthors = L"Die Autoren von kosmara2aaf";
constexpr std::wstring_view kCopyright = L"\u00A9 2026 die Autoren von kosmara2aaf; MIT-Lizenz";

TEST(VersionResource, TextsAreGermanInUnicode) {
    auto block = OwnVersionInfo();
    // The header hands the program the same texts the resource holds.
    struct Text {
        const wchar_t* name;
        std::wstring_view expected;
        std::wstring_view fromHeader;
    };
    const std::wstring version = FourPartVersion();
    const Text texts[] = {
        {L"CompanyName", kAuthors, KOSMARA_WIDE(KOSMARA_COMPANY_NAME)},
        // Garbled unless windres reads the .rc as UTF-8.
        {L"FileDescription", L"Daten\u00FCbernahme aus Kosmara 3.5", KOSMARA_WIDE(KOSMARA_FILE_DESCRIPTION)},
        {L"FileVersion", version, KOSMARA_WIDE(KOSMARA_VERSION_TEXT)},
        {L"InternalName", L"KosmaraExport", KOSMARA_WIDE(KOSMARA_INTERNAL_NAME)},
        {L"LegalCopyright", kCopyright, KOSMARA_WIDE(KOSMARA_LEGAL_COPYRIGHT)},
        {L"OriginalFilename", L"KosmaraExport.exe", KOSMARA_WIDE(KOSMARA_ORIGINAL_FILENAME)},
        {L"ProductName", L"Kosmara-Export", KOSMARA_WIDE(KOSMARA_PRODUCT_NAME)},
        {L"ProductVersion", version, KOSMARA_WIDE(KOSMARA_VERSION_TEXT)},
    };
    std::vector<VersionText> expected;
    for (const Text& text : texts) {
        expected.push_back({text.name, text.expected});
        EXPECT_EQ(Utf8(text.fromHeader), Utf8(text.expected)) << Utf8(text.name);
    }
    ExpectGermanTexts(block, expected);
}

TEST(VersionResource, CommandLineTextsAreGermanInUnicode) {
    auto block = VersionInfoOf(CommandLineProgram());
    const std::wstring version = FourPartVersion();
    const VersionText texts[] = {
        {L"CompanyName", kAuthors},
        {L"FileDescription", L"Kosmara-Export f\u00FCr die Eingabeaufforderung"},
        {L"FileVersion", version},
        {L"InternalName", L"kosmara2aaf"},
        {L"LegalCopyright", kCopyright},
        {L"OriginalFilename", L"kosmara2aaf.exe"},
        {L"ProductName", L"Kosmara-Export"},
        {L"ProductVersion", version},
    };
    ExpectGermanTexts(block, texts);
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(
        IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : std::wstring(name));
    return TRUE;
}

TEST(Manifest, IsResourceOneAndTheOnlyOne) {
    std::vector<std::wstring> names;
    ::EnumResourceNamesW(nullptr, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"#1"});
}

// The Windows versions both programs are made for.
constexpr const char* kSupportedSystems[] = {
    R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",  // Windows 7
    R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)",  // Windows 8
    R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)",  // Windows 8.1
    R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",  // Windows 10 and 11
};

void ExpectDeclared(std::string_view manifest, std::span<const char* const> declarations) {
    for (const char* declaration : declarations) {
        EXPECT_NE(manifest.find(declaration), std::string_view::npos) << "missing: " << declaration;
    }
}

TEST(Manifest, DeclaresWhatTheProgramReliesOn) {
    const auto bytes = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(bytes.empty()) << "no manifest";
    const std::string_view manifest(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const char* const declarations[] = {
        // Runs unelevated, without file and registry virtualisation: sees the real files.
        R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
        R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
        R"(publicKeyToken="6595b64144ccf1df")",
        R"(>true/pm</dpiAware>)",
        R"(>PerMonitorV2, PerMonitor</dpiAwareness>)",
    };
    ExpectDeclared(manifest, declarations);
    ExpectDeclared(manifest, kSupportedSystems);
    // The program speaks UTF-16 to Windows; a UTF-8 ANSI code page would change what the -A calls of
    // libraries see.
    EXPECT_EQ(manifest.find("<activeCodePage"), std::string_view::npos);
}

TEST(Manifest, WindowsAcceptsIt) {
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.hModule = ::GetModuleHandleW(nullptr);
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE created = ::CreateActCtxW(&context);
    EXPECT_NE(created, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    if (created != INVALID_HANDLE_VALUE) ::ReleaseActCtx(created);
}

// kosmara2aaf.exe loaded as data, for its resources.
class CommandLineManifest : public testing::Test {
protected:
    void SetUp() override {
        module_ = ::LoadLibraryExW(CommandLineProgram().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << "cannot load " << KOSMARA2AAF_PROGRAM << ": error " << ::GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    std::string_view Manifest() const {
        HRSRC info = ::FindResourceW(module_, MAKEINTRESOURCEW(1), RT_MANIFEST);
        HGLOBAL loaded = info != nullptr ? ::LoadResource(module_, info) : nullptr;
        const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
        if (data == nullptr) return {};
        return {static_cast<const char*>(data), ::SizeofResource(module_, info)};
    }
    HMODULE module_ = nullptr;
};

TEST_F(CommandLineManifest, IsResourceOneAndTheOnlyOne) {
    std::vector<std::wstring> names;
    ::EnumResourceNamesW(module_, RT_MANIFEST, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"#1"});
}

TEST_F(CommandLineManifest, DeclaresWhatTheProgramReliesOn) {
    const std::string_view manifest = Manifest();
    ASSERT_FALSE(manifest.empty()) << "no manifest";
    const char* const declarations[] = {
        R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
        R"(<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>)",
    };
    ExpectDeclared(manifest, declarations);
    ExpectDeclared(manifest, kSupportedSystems);
    // No window: neither common controls nor DPI awareness; UTF-16 to Windows: no UTF-8 ANSI code page.
    for (const char* absent : {"Common-Controls", "dpiAware", "<activeCodePage"}) {
        EXPECT_EQ(manifest.find(absent), std::string_view::npos) << "unexpected: " << absent;
    }
}

TEST_F(CommandLineManifest, WindowsAcceptsIt) {
    const std::wstring program = CommandLineProgram();
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = program.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE created = ::CreateActCtxW(&context);
    EXPECT_NE(created, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    if (created != INVALID_HANDLE_VALUE) ::ReleaseActCtx(created);
}

TEST(Manifest, BringsTheCommonControlsOfVersionSix) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    // The version 6 library lives in the side-by-side store; without the
    // manifest's dependency the system folder's version 5 is loaded.
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(::GetModuleHandleW(L"comctl32.dll"), path.data(), static_cast<DWORD>(path.size())));
    std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
    EXPECT_NE(path.find(L"microsoft.windows.common-controls_"), std::wstring::npos) << Utf8(path);
    EXPECT_NE(path.find(L"_6.0."), std::wstring::npos) << Utf8(path);
}

}  // namespace
}  // namespace kosmara
