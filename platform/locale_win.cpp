#include <windows.h>

#include <optional>
#include <string>

#include "core/text.h"
#include "platform/locale.h"

namespace kosmara {

namespace {

// Reads one setting through `query` (GetLocaleInfoW or GetLocaleInfoEx);
// empty when the platform does not supply it.
template <typename Query>
std::optional<std::u16string> Setting(Query query, LCTYPE type) {
    wchar_t buffer[128];
    const int length = query(type, buffer, static_cast<int>(std::size(buffer)));
    if (length <= 0) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(length - 1));
}

template <typename Query>
TimeFormatSettings ReadSettings(Query query) {
    TimeFormatSettings format;
    if (auto value = Setting(query, LOCALE_ITLZERO)) format.leadingZeroInHours = *value == u"1";
    if (auto value = Setting(query, LOCALE_ITIME)) format.twelveHourClock = *value != u"1";
    if (auto value = Setting(query, LOCALE_ITIMEMARKPOSN)) format.designatorFirst = *value == u"1";
    if (auto value = Setting(query, LOCALE_S1159)) format.amDesignator = *value;
    if (auto value = Setting(query, LOCALE_S2359)) format.pmDesignator = *value;
    // Only a single separator character is taken.
    if (auto value = Setting(query, LOCALE_STIME); value && value->size() == 1) format.timeSeparator = (*value)[0];
    return format;
}

}  // namespace

TimeFormatSettings UserTimeFormatSettings() {
    return ReadSettings([](LCTYPE type, wchar_t* buffer, int size) {
        return ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, size);
    });
}

std::optional<TimeFormatSettings> TimeFormatSettingsOfLocale(std::string_view name) {
    const std::u16string wideName = FromUtf8(name);
    const auto* localeName = reinterpret_cast<const wchar_t*>(wideName.c_str());
    if (!::IsValidLocaleName(localeName)) return std::nullopt;
    return ReadSettings([localeName](LCTYPE type, wchar_t* buffer, int size) {
        return ::GetLocaleInfoEx(localeName, type, buffer, size);
    });
}

}  // namespace kosmara
