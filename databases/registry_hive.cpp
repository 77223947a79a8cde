#include "databases/registry_hive.h"

#include <cstdint>
#include <functional>

#include "core/error.h"
#include "core/text.h"

namespace kosmara {

namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRelativeTo = ";; All keys relative to ";

// Why a line is refused; shown after the line number.
struct LineFault {
    const char16_t* reason;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void SkipBlanks(std::string_view line, std::size_t& at) {
    while (at < line.size() && IsBlank(line[at])) ++at;
}

char16_t SimpleEscape(char c) {
    switch (c) {
    case 'a': return u'\a';
    case 'b': return u'\b';
    case 'e': return u'\x1B';
    case 'f': return u'\f';
    case 'n': return u'\n';
    case 'r': return u'\r';
    case 't': return u'\t';
    case 'v': return u'\v';
    default: return 0;
    }
}

// The escaped text from at up to the unescaped end character, which at is
// left behind. Bytes outside ASCII, which Wine never writes but an editor
// may, are read as UTF-8.
std::u16string EscapedText(std::string_view line, std::size_t& at, char end) {
    std::u16string text;
    while (at < line.size() && line[at] != end) {
        const char c = line[at];
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t from = at;
            while (at < line.size() && static_cast<unsigned char>(line[at]) >= 0x80) ++at;
            text += FromUtf8(line.substr(from, at - from));
            continue;
        }
        ++at;
        if (c != '\\') {
            text += static_cast<char16_t>(c);
            continue;
        }
        if (at == line.size()) break;
        const char e = line[at++];
        if (const char16_t simple = SimpleEscape(e)) {
            text += simple;
        } else if (e == 'x') {
            // One to four hexadecimal digits; none: the letter itself.
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && at < line.size() && HexDigit(line[at]) >= 0) {
                value = value * 16 + static_cast<unsigned>(HexDigit(line[at++]));
                ++digits;
            }
            text += digits == 0 ? u'x' : static_cast<char16_t>(value);
        } else if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            for (int digits = 1; digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7'; ++digits)
                value = value * 8 + static_cast<unsigned>(line[at++] - '0');
            text += static_cast<char16_t>(value);
        } else {
            text += static_cast<char16_t>(e);
        }
    }
    if (at == line.size()) throw LineFault{end == ']' ? u"dem Schlüsselnamen fehlt die schließende Klammer"
                                                       : u"der Zeichenkette fehlt das schließende Anführungszeichen"};
    ++at;
    return text;
}

void ExpectLineEnd(std::string_view line, std::size_t at) {
    SkipBlanks(line, at);
    if (at != line.size()) throw LineFault{u"unerwartete Zeichen nach dem Wert"};
}

std::string Utf16Data(std::u16string_view text) {
    std::string data;
    data.reserve(text.size() * 2 + 2);
    for (const char16_t c : text) {
        data += static_cast<char>(c & 0xFF);
        data += static_cast<char>(c >> 8);
    }
    data.append(2, '\0');
    return data;
}

std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) c = FoldCase(c);
    return folded;
}

// The lines of the text with their line ends ("\n" or "\r\n") taken off.
std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The data after "=" of a value: a quoted text, a dword or a list of bytes.
// next is the index of the line after the value's, moved on past the lines
// a list of bytes continues on; lineNumber follows them.
RegistryValue ValueData(std::u16string name, std::string_view line, std::size_t at,
                        const std::vector<std::string_view>& lines, std::size_t& next, std::size_t& lineNumber) {
    struct TextTag {
        std::string_view tag;
        std::uint32_t type;
    };
    static constexpr TextTag kTextTags[] = {
        {"\"", kRegSz}, {"str:\"", kRegSz}, {"str(2):\"", kRegExpandSz}, {"str(7):\"", kRegMultiSz}};
    const std::string_view rest = line.substr(at);
    for (const TextTag& tag : kTextTags) {
        if (rest.substr(0, tag.tag.size()) != tag.tag) continue;
        at += tag.tag.size();
        const std::u16string text = EscapedText(line, at, '"');
        ExpectLineEnd(line, at);
        return {std::move(name), tag.type, Utf16Data(text)};
    }
    if (rest.substr(0, 6) == "dword:") {
        at += 6;
        std::uint32_t value = 0;
        int digits = 0;
        while (at < line.size() && HexDigit(line[at]) >= 0) {
            if (++digits > 8) throw LineFault{u"die Zahl hat mehr als acht Hexadezimalziffern"};
            value = value * 16 + static_cast<std::uint32_t>(HexDigit(line[at++]));
        }
        if (digits == 0) throw LineFault{u"nach \"dword:\" fehlt die Zahl"};
        ExpectLineEnd(line, at);
        std::string data(4, '\0');
        for (int i = 0; i < 4; ++i) data[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        return {std::move(name), kRegDword, std::move(data)};
    }
    std::uint32_t type = kRegBinary;
    if (rest.substr(0, 4) == "hex:") {
        at += 4;
    } else if (rest.substr(0, 4) == "hex(") {
        at += 4;
        std::uint32_t number = 0;
        int digits = 0;
        while (at < line.size() && HexDigit(line[at]) >= 0 && digits < 8) {
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(line[at++]));
            ++digits;
        }
        if (digits == 0 || line.substr(at, 2) != "):") throw LineFault{u"der Typ in \"hex(...):\" ist keine Hexadezimalzahl"};
        at += 2;
        type = number;
    } else {
        throw LineFault{u"unbekannter Werttyp"};
    }
    // Bytes of one or two hexadecimal digits, separated by commas; a closing
    // backslash continues the list on the next line.
    std::string data;
    for (;;) {
        SkipBlanks(line, at);
        while (at < line.size() && HexDigit(line[at]) >= 0) {
            unsigned byte = static_cast<unsigned>(HexDigit(line[at++]));
            if (at < line.size() && HexDigit(line[at]) >= 0) byte = byte * 16 + static_cast<unsigned>(HexDigit(line[at++]));
            if (at < line.size() && HexDigit(line[at]) >= 0) throw LineFault{u"ein Byte hat mehr als zwei Hexadezimalziffern"};
            data += static_cast<char>(byte);
            SkipBlanks(line, at);
            if (at < line.size() && line[at] == ',') ++at;
            SkipBlanks(line, at);
        }
        if (at == line.size()) break;
        if (line[at] != '\\') throw LineFault{u"ungültiges Zeichen in der Bytefolge"};
        ExpectLineEnd(line, at + 1);
        if (next >= lines.size()) throw LineFault{u"die fortgesetzte Bytefolge bricht am Dateiende ab"};
        lineNumber = next + 1;
        line = lines[next++];
        at = 0;
    }
    return {std::move(name), type, std::move(data)};
}

}  // namespace

RegistryHive RegistryHive::Parse(std::string_view text, std::u16string_view fileName) {
    const std::vector<std::string_view> lines = LinesOf(text);
    RegistryHive hive;
    Key* key = nullptr;
    std::size_t next = 0;
    std::size_t lineNumber = 0;
    try {
        lineNumber = 1;
        if (lines.empty() || lines[0] != kHeader) throw LineFault{u"die Kopfzeile \"WINE REGISTRY Version 2\" fehlt"};
        next = 1;
        while (next < lines.size()) {
            lineNumber = next + 1;
            const std::string_view line = lines[next++];
            std::size_t at = 0;
            SkipBlanks(line, at);
            if (at == line.size() || line[at] == '#') continue;  // options: #arch, #time, #class, #link
            if (line[at] == ';') {
                if (key == nullptr && line.substr(0, kRelativeTo.size()) == kRelativeTo) {
                    const std::string rest = std::string(line.substr(kRelativeTo.size())) + '\n';
                    std::size_t from = 0;
                    hive.relativeTo_ = EscapedText(rest, from, '\n');
                }
                continue;
            }
            if (line[at] == '[') {
                ++at;
                // The keys on the way exist too.
                key = &hive.keys_[hive.MadeKey(EscapedText(line, at, ']'))];
                continue;
            }
            if (line[at] != '"' && line[at] != '@') throw LineFault{u"die Zeile ist weder Schlüssel noch Wert"};
            if (key == nullptr) throw LineFault{u"Wert vor dem ersten Schlüssel"};
            std::u16string name;
            if (line[at++] == '"') name = EscapedText(line, at, '"');
            SkipBlanks(line, at);
            if (at == line.size() || line[at] != '=') throw LineFault{u"nach dem Wertnamen fehlt \"=\""};
            ++at;
            SkipBlanks(line, at);
            RegistryValue value = ValueData(std::move(name), line, at, lines, next, lineNumber);
            // A name given twice: the last data counts, at the first place.
            const auto [named, added] = key->byName.try_emplace(Folded(value.name), key->values.size());
            if (added) key->values.push_back(std::move(value));
            else key->values[named->second] = std::move(value);
        }
    } catch (const LineFault& fault) {
        std::u16string number;
        AppendDecimal(number, static_cast<long long>(lineNumber), 1);
        throw Error(FillMessage(kDamagedHive, {fileName, number, fault.reason}));
    }
    return hive;
}

std::size_t RegistryHive::PlaceHash::operator()(const Place& place) const noexcept {
    const std::size_t name = std::hash<std::u16string>{}(place.name);
    return name ^ (place.parent + 0x9E3779B97F4A7C15ull + (name << 6) + (name >> 2));
}

namespace {

// The component of keyPath that starts at from, its letters folded, into
// name; returns where it ends. Every "\" ends a component, so an empty one
// ("A\\B") is a key of its own.
std::size_t NextComponent(std::u16string_view keyPath, std::size_t from, std::u16string& name) {
    std::size_t cut = keyPath.find(u'\\', from);
    if (cut == std::u16string_view::npos) cut = keyPath.size();
    name.assign(keyPath.substr(from, cut - from));
    for (char16_t& c : name) c = FoldCase(c);
    return cut;
}

}  // namespace

std::size_t RegistryHive::MadeKey(std::u16string_view keyPath) {
    Place place{kTop, {}};
    for (std::size_t from = 0;;) {
        const std::size_t cut = NextComponent(keyPath, from, place.name);
        const auto [found, added] = places_.try_emplace(place, keys_.size());
        if (added) keys_.emplace_back();
        if (cut == keyPath.size()) return found->second;
        place.parent = found->second;
        from = cut + 1;
    }
}

std::size_t RegistryHive::FoundKey(std::u16string_view keyPath) const {
    Place place{kTop, {}};
    for (std::size_t from = 0;;) {
        const std::size_t cut = NextComponent(keyPath, from, place.name);
        const auto found = places_.find(place);
        if (found == places_.end()) return kTop;
        if (cut == keyPath.size()) return found->second;
        place.parent = found->second;
        from = cut + 1;
    }
}

const std::vector<RegistryValue>* RegistryHive::Values(std::u16string_view keyPath) const {
    const std::size_t index = FoundKey(keyPath);
    return index == kTop ? nullptr : &keys_[index].values;
}

std::optional<std::u16string> RegistryHive::Text(std::u16string_view keyPath, std::u16string_view name) const {
    const std::size_t index = FoundKey(keyPath);
    if (index == kTop) return std::nullopt;
    const Key& key = keys_[index];
    const auto named = key.byName.find(Folded(name));
    if (named == key.byName.end()) return std::nullopt;
    const RegistryValue& value = key.values[named->second];
    if (!value.type || (*value.type != kRegSz && *value.type != kRegExpandSz) || !value.data) return std::nullopt;
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value.data->size(); i += 2) {
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>((*value.data)[i]) |
                                                 (static_cast<unsigned char>((*value.data)[i + 1]) << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

}  // namespace kosmara
