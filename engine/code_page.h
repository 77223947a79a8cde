// Text of a table in its code page, converted to the system's text type.
// The DOS and Windows code pages of European tables come from our own tables,
// so every platform decodes them byte for byte the same; other code pages go
// to the platform's converter.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kosmara {

// HP Roman-8 has no DOS or Windows number; tables with code page 0 and the
// sort order "BLROM800" use it.
inline constexpr int kHpRoman8 = 1051;

class CodePage {
public:
    // Nothing when neither our tables nor the platform know the number.
    static std::optional<CodePage> Find(int number);

    int number() const noexcept { return number_; }

    // Every byte sequence gives text; a byte without a character becomes
    // U+FFFD (single-byte pages map unassigned bytes as Windows does).
    std::u16string Decode(std::string_view bytes) const;
    // The same into text, whose storage is reused.
    void DecodeInto(std::string_view bytes, std::u16string& text) const;
    // Text to bytes (passwords); nothing when a character has no byte.
    std::optional<std::string> Encode(std::u16string_view text) const;

private:
    CodePage(int number, const char16_t* table) : number_(number), table_(table) {}

    int number_;
    const char16_t* table_;  // 256 entries for our single-byte pages, else null
};

// The code page a table's text is in, from its header: v4+ tables name it at
// 0x6A; code page 0 follows the sort order name; v3 tables follow the sort
// order byte (0xC0 cyrr: 866; 0x82, 0xE6 nordan: 865; otherwise 437).
int TableCodePage(int versionId, int headerCodePage, int sortOrderByte, std::string_view sortOrderName);

}  // namespace kosmara
