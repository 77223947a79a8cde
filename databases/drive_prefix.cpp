#include "databases/drive_prefix.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>

#include "core/error.h"

namespace kosmara {

namespace {

struct CodeDeleter {
    void operator()(pcre2_code* code) const noexcept { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const noexcept { pcre2_match_data_free(data); }
};

// Compiled once; the pattern is fixed.
const pcre2_code* DrivePattern() {
    static const std::unique_ptr<pcre2_code, CodeDeleter> code = [] {
        static constexpr char16_t kPattern[] = u"^[a-zA-Z]:";
        int error = 0;
        PCRE2_SIZE offset = 0;
        std::unique_ptr<pcre2_code, CodeDeleter> compiled(pcre2_compile(
            reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0, &error, &offset, nullptr));
        if (!compiled) throw Error(u"Der Ausdruck für Laufwerksbuchstaben lässt sich nicht übersetzen");
        return compiled;
    }();
    return code.get();
}

}  // namespace

bool HasDrivePrefix(std::u16string_view path) {
    const pcre2_code* pattern = DrivePattern();
    const std::unique_ptr<pcre2_match_data, MatchDataDeleter> match(pcre2_match_data_create_from_pattern(pattern, nullptr));
    if (!match) throw Error(u"Nicht genügend Arbeitsspeicher");
    // A path of one character cannot match; an empty view needs a valid pointer.
    static constexpr char16_t kEmpty[] = u"";
    const char16_t* subject = path.empty() ? kEmpty : path.data();
    const int result = pcre2_match(pattern, reinterpret_cast<PCRE2_SPTR>(subject), path.size(), 0, 0, match.get(), nullptr);
    return result >= 0;
}

}  // namespace kosmara
