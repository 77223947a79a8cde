#include "core/text.h"

#include "core/error.h"
#include "test_support.h"

namespace kosmara {
namespace {

TEST(Text, Utf8RoundTrip) {
    const std::u16string text = u"Müller, Hans – 東京 \U0001F600 ß";
    EXPECT_EQ(ToUtf8(text), "Müller, Hans – 東京 \xF0\x9F\x98\x80 ß");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(Text, MessagesAreFilledInOrder) {
    EXPECT_EQ(FillMessage(u"Datei \"%s\" kann nicht erstellt werden. %s", {u"C:\\a.aaf", u"Zugriff verweigert"}),
              u"Datei \"C:\\a.aaf\" kann nicht erstellt werden. Zugriff verweigert");
    EXPECT_EQ(FillMessage(u"100%s%", {u"%s"}), u"100%s%");
}

}  // namespace
}  // namespace kosmara
