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

// Names and arguments on POSIX are bytes: whatever is no UTF-8 travels as an
// escape and comes back as the same byte; people read it as Windows-1252.
TEST(Text, NativeBytesSurviveTheRoundTrip) {
    const struct {
        std::string bytes;
        std::u16string text;
        std::string readable;
    } cases[] = {
        {"Horoskop.DB", u"Horoskop.DB", "Horoskop.DB"},
        {"Hör", u"Hör", "Hör"},
        {"Hor\xF6skop", u"Hor\xDCF6skop", "Horöskop"},
        {"\x80\x9F\xFF", u"\xDC80\xDC9F\xDCFF", "€Ÿÿ"},
        {"\xC3", u"\xDCC3", "Ã"},                       // a sequence cut off
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80", "í\xC2\xA0€"},  // an encoded surrogate is no UTF-8
        {"\x81", u"\xDC81", "\xEF\xBF\xBD"},               // no character in Windows-1252
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(FromNativeBytes(c.bytes), c.text);
        EXPECT_EQ(ToNativeBytes(FromNativeBytes(c.bytes)), c.bytes);
        EXPECT_EQ(ToReadableUtf8(FromNativeBytes(c.bytes)), c.readable);
    }
    // Plain text is unchanged; other lone surrogates still become U+FFFD.
    EXPECT_EQ(ToReadableUtf8(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(ToUtf8(u"\xDCF6"), "\xEF\xBF\xBD");
}

TEST(Text, MessagesAreFilledInOrder) {
    EXPECT_EQ(FillMessage(u"Datei \"%s\" kann nicht erstellt werden. %s", {u"C:\\a.aaf", u"Zugriff verweigert"}),
              u"Datei \"C:\\a.aaf\" kann nicht erstellt werden. Zugriff verweigert");
    EXPECT_EQ(FillMessage(u"100%s%", {u"%s"}), u"100%s%");
}

// Control characters shown visibly; a backslash doubled only where the
// text must read back (the check report), kept in paths on the console.
TEST(Text, ControlCharactersAreShownVisibly) {
    const struct {
        std::u16string text;
        std::u16string doubled;
        std::u16string kept;
    } cases[] = {
        {u"Müller", u"Müller", u"Müller"},
        {u"a\tb\r\nc", u"a\\tb\\r\\nc", u"a\\tb\\r\\nc"},
        {u"C:\\Daten\\Horoskop.DB", u"C:\\\\Daten\\\\Horoskop.DB", u"C:\\Daten\\Horoskop.DB"},
        {u"\u0001\u0007\u001B[2J\u001F", u"\\x01\\x07\\x1B[2J\\x1F", u"\\x01\\x07\\x1B[2J\\x1F"},
        {u"\u007F\u0080\u0085\u009F\u00A0", u"\\x7F\\x80\\x85\\x9F\u00A0", u"\\x7F\\x80\\x85\\x9F\u00A0"},
        // A byte of a name that is no UTF-8 is no control: the console shows it as a letter.
        {FromNativeBytes("Hor\xF6skop\x85"), FromNativeBytes("Hor\xF6skop\x85"), FromNativeBytes("Hor\xF6skop\x85")},
    };
    for (const auto& c : cases) {
        const std::u16string doubled = VisibleText(c.text, Backslashes::kDoubled);
        const std::u16string kept = VisibleText(c.text, Backslashes::kKept);
        EXPECT_TRUE(doubled == c.doubled) << ToReadableUtf8(c.text) << " -> " << ToReadableUtf8(doubled);
        EXPECT_TRUE(kept == c.kept) << ToReadableUtf8(c.text) << " -> " << ToReadableUtf8(kept);
    }
}

}  // namespace
}  // namespace kosmara
