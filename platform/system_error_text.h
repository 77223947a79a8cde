#pragma once

#include <string>

namespace kosmara {

// System error texts end in a dot and a line end; the messages they are
// placed into add their own punctuation.
inline std::u16string TrimSystemErrorText(std::u16string text) {
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
    return text;
}

}  // namespace kosmara
