#include <langinfo.h>
#include <locale.h>

#include <optional>
#include <string>

#include "core/text.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

// Derives the settings from the locale's time format (T_FMT) and its AM and
// PM strings. An empty AM or PM string counts as not supplied.
TimeFormatSettings ReadSettings(locale_t locale) {
    TimeFormatSettings format;
    std::string pattern = nl_langinfo_l(T_FMT, locale);
    // Expand the composite conversions that stand for a whole time.
    for (std::size_t at = 0; (at = pattern.find('%', at)) != std::string::npos;) {
        if (at + 1 >= pattern.size()) break;
        const char c = pattern[at + 1];
        if (c == 'T' || c == 'R' || c == 'r') {
            const std::string expansion = c == 'T' ? "%H:%M:%S" : c == 'R' ? "%H:%M" : nl_langinfo_l(T_FMT_AMPM, locale);
            pattern.replace(at, 2, expansion.empty() ? "%I:%M:%S %p" : expansion);
            continue;
        }
        at += 2;
    }

    std::size_t hourAt = std::string::npos;
    std::size_t hourEnd = 0;
    std::size_t designatorAt = std::string::npos;
    for (std::size_t at = 0; at + 1 < pattern.size(); ++at) {
        if (pattern[at] != '%') continue;
        std::size_t conversion = at + 1;
        const bool unpadded = pattern[conversion] == '-' || pattern[conversion] == '_';
        if (unpadded || pattern[conversion] == '0') ++conversion;
        if (conversion >= pattern.size()) break;
        const char c = pattern[conversion];
        if (hourAt == std::string::npos && (c == 'H' || c == 'k' || c == 'I' || c == 'l')) {
            hourAt = at;
            hourEnd = conversion + 1;
            format.twelveHourClock = c == 'I' || c == 'l';
            format.leadingZeroInHours = (c == 'H' || c == 'I') && !unpadded;
        } else if (designatorAt == std::string::npos && (c == 'p' || c == 'P')) {
            designatorAt = at;
        }
        at = conversion;
    }
    if (hourAt == std::string::npos) return TimeFormatSettings{};
    if (hourEnd < pattern.size() && pattern[hourEnd] != '%' && static_cast<unsigned char>(pattern[hourEnd]) < 0x80)
        format.timeSeparator = static_cast<char16_t>(pattern[hourEnd]);
    format.designatorFirst = designatorAt != std::string::npos && designatorAt < hourAt;

    const std::string am = nl_langinfo_l(AM_STR, locale);
    const std::string pm = nl_langinfo_l(PM_STR, locale);
    if (!am.empty()) format.amDesignator = FromUtf8(am);
    if (!pm.empty()) format.pmDesignator = FromUtf8(pm);
    return format;
}

class LocaleHandle {
public:
    explicit LocaleHandle(locale_t locale) : locale_(locale) {}
    ~LocaleHandle() {
        if (locale_ != nullptr) freelocale(locale_);
    }
    LocaleHandle(const LocaleHandle&) = delete;
    LocaleHandle& operator=(const LocaleHandle&) = delete;
    locale_t get() const { return locale_; }

private:
    locale_t locale_;
};

}  // namespace

TimeFormatSettings UserTimeFormatSettings() {
    // The environment's LC_TIME (LC_ALL, LC_TIME, LANG), whatever setlocale did.
    locale_t environment = newlocale(LC_TIME_MASK, "", nullptr);
    if (environment == nullptr) environment = newlocale(LC_TIME_MASK, "C", nullptr);
    const LocaleHandle locale(environment);
    return locale.get() != nullptr ? ReadSettings(locale.get()) : TimeFormatSettings{};
}

std::optional<TimeFormatSettings> TimeFormatSettingsOfLocale(std::string_view name) {
    LocaleHandle locale(newlocale(LC_TIME_MASK, std::string(name).c_str(), nullptr));
    if (locale.get() == nullptr) return std::nullopt;
    return ReadSettings(locale.get());
}

}  // namespace kosmara
