// A registry hive as Wine keeps it on disk (user.reg, system.reg): a text
// file that begins "WINE REGISTRY Version 2", then one section per key,
// "[Software\\Veltrane] 1700000000", with its "#" option lines and its
// values, one a line:
//   "Name"="Text"            REG_SZ        @=...   the default value
//   "Name"=str(2):"Text"     REG_EXPAND_SZ         (str(7): REG_MULTI_SZ)
//   "Name"=dword:0000002a    REG_DWORD
//   "Name"=hex:01,02,\       REG_BINARY, a list of bytes that a closing
//     03                     backslash continues on the next line
//   "Name"=hex(6):...        any other type by its number, in hexadecimal
// Names, key paths and texts escape as Wine writes them: \\ \" \[ \] \n \r
// \t \a \b \e \f \v, octal \0 to \377 (one to three digits) and \x with one
// to four hexadecimal digits for a UTF-16 code unit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"

namespace kosmara {

// %s: the file, %s: the line number, %s: what is wrong there.
inline constexpr char16_t kDamagedHive[] = u"Die Registrierungsdatei \"%s\" ist in Zeile %s beschädigt: %s";

class RegistryHive {
public:
    // The hive in text, whose file name the messages show. A text that is no
    // hive or is damaged fails with kDamagedHive, naming the first line at
    // fault.
    static RegistryHive Parse(std::string_view text, std::u16string_view fileName);

    // The values of a key, in the order of the file, each with its type and
    // its data as the registry returns them (strings as UTF-16 little-endian
    // with their closing null); nothing when the hive has no such key. Key
    // paths are relative to the hive's root, their components separated by
    // "\", and compared without regard to case. A key that only holds other
    // keys exists, with no values.
    const std::vector<RegistryValue>* Values(std::u16string_view keyPath) const;

    // The text of a value whose type is REG_SZ or REG_EXPAND_SZ, up to its
    // first null; the name is compared without regard to case.
    std::optional<std::u16string> Text(std::u16string_view keyPath, std::u16string_view name) const;

    // The registry path the file's keys hang below, from its comment line
    // ";; All keys relative to REGISTRY\\User\\S-1-5-21-..."; empty when the
    // file does not say.
    const std::u16string& relativeTo() const { return relativeTo_; }

private:
    struct Key {
        std::vector<RegistryValue> values;
        // The index in values of each name, its letters folded.
        std::unordered_map<std::u16string, std::size_t> byName;
    };
    // A key's place in the tree: the index of its parent (kTop for a key
    // below the root) and its last path component, its letters folded.
    // Keys are found one component at a time, so a long path costs its
    // length once, not a copy of every parent's path.
    struct Place {
        std::size_t parent;
        std::u16string name;
        bool operator==(const Place&) const = default;
    };
    struct PlaceHash {
        std::size_t operator()(const Place& place) const noexcept;
    };
    static constexpr std::size_t kTop = static_cast<std::size_t>(-1);

    // The index of the key at keyPath, made with the keys on the way.
    std::size_t MadeKey(std::u16string_view keyPath);
    // The index of the key at keyPath; kTop when there is none.
    std::size_t FoundKey(std::u16string_view keyPath) const;

    std::vector<Key> keys_;
    std::unordered_map<Place, std::size_t, PlaceHash> places_;
    std::u16string relativeTo_;
};

}  // namespace kosmara
