// The user's regional settings for the time of day.
#pragma once

#include <optional>
#include <string_view>

#include "core/time_format.h"

namespace kosmara {

// The current user's long time format: on Windows the user locale's
// settings, on POSIX the time locale (LC_TIME) of the environment. A setting
// the platform does not supply keeps its default.
TimeFormatSettings UserTimeFormatSettings();

// The same for a named locale ("de-DE" on Windows, "de_DE.UTF-8" on POSIX);
// empty when the platform does not know the locale.
std::optional<TimeFormatSettings> TimeFormatSettingsOfLocale(std::string_view name);

}  // namespace kosmara
