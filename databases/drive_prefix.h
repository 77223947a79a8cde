// The test whether a path begins with a drive letter and a colon, made with
// the anchored regular expression "^[a-zA-Z]:" on the path's UTF-16 code
// units. Only whether it matches is used.
#pragma once

#include <string_view>

namespace kosmara {

bool HasDrivePrefix(std::u16string_view path);

}  // namespace kosmara
