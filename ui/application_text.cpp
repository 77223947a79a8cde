#include "ui/application_text.h"

#include <algorithm>

#include "core/text.h"

namespace kosmara {

std::u16string ApplicationTitleOf(std::u16string_view executableName) {
    std::u16string name(executableName);
    name.resize(std::min(name.find(u'.'), name.size()));
    for (std::size_t i = 1; i < name.size(); ++i) name[i] = FoldCase(name[i]);
    return name;
}

std::u16string ErrorBoxText(std::u16string_view message) {
    std::u16string text(message);
    if (!text.empty() && text.back() > u'.') text += u'.';
    return text;
}

}  // namespace kosmara
