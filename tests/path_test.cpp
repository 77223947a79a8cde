// Paths taken apart as text, and names compared without regard to case.
#include "core/path.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace kosmara {
namespace {

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

TEST(PathTest, SplitsAndJoinsPaths) {
    const struct {
        const char16_t* path;
        const char16_t* folder;
        const char16_t* name;
    } cases[] = {
#ifdef _WIN32
        {u"C:\\Daten\\Horoskop.DB", u"C:\\Daten", u"Horoskop.DB"},
        {u"C:\\x.db", u"C:\\", u"x.db"},
        {u"C:/Daten/x.db", u"C:/Daten", u"x.db"},
        {u"C:\\Daten/Sub\\x.db", u"C:\\Daten/Sub", u"x.db"},
        {u"C:x.db", u"C:", u"x.db"},
        {u"\\x.db", u"\\", u"x.db"},
        {u"\\\\server\\share\\x.db", u"\\\\server\\share", u"x.db"},
        {u"Daten\\", u"Daten", u""},
        {u"D.x:Horoskop", u"", u"Horoskop"},  // the name ends at any ":"
#else
        {u"/daten/Horoskop.DB", u"/daten", u"Horoskop.DB"},
        {u"/x.db", u"/", u"x.db"},
        {u"daten/sub/x.db", u"daten/sub", u"x.db"},
        {u"C:\\x.db", u"", u"C:\\x.db"},  // no separators on POSIX
        {u"daten/", u"daten", u""},
#endif
        {u"x.db", u"", u"x.db"},
        {u"", u"", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        EXPECT_EQ(Utf8(FolderOfPath(c.path)), Utf8(c.folder));
        EXPECT_EQ(Utf8(NameOfPath(c.path)), Utf8(c.name));
    }

    const struct {
        const char16_t* folder;
        const char16_t* name;
        const char16_t* joined;
    } joins[] = {
#ifdef _WIN32
        {u"C:\\Daten", u"x.db", u"C:\\Daten\\x.db"},
        {u"C:\\Daten\\", u"x.db", u"C:\\Daten\\x.db"},
        {u"C:/Daten/", u"x.db", u"C:/Daten/x.db"},
        {u"C:\\", u"x.db", u"C:\\x.db"},
        {u"C:", u"x.db", u"C:x.db"},
#else
        {u"/daten", u"x.db", u"/daten/x.db"},
        {u"/daten/", u"x.db", u"/daten/x.db"},
        {u"/", u"x.db", u"/x.db"},
#endif
        {u"", u"x.db", u"x.db"},
    };
    for (const auto& c : joins) {
        SCOPED_TRACE(Utf8(c.folder));
        EXPECT_EQ(Utf8(JoinPath(c.folder, c.name)), Utf8(c.joined));
    }
}

// The proposed output name and the base name of the merge's file mask.
TEST(PathTest, ReplacesTheExtensionOfTheLastComponentOnly) {
    const struct {
        const char16_t* path;
        const char16_t* replaced;
        const char16_t* base;  // of the last component
    } cases[] = {
        {u"Horoskop.DB", u"Horoskop.aaf", u"Horoskop"},
        {u"Horoskop", u"Horoskop.aaf", u"Horoskop"},
        {u"Horoskop.", u"Horoskop.aaf", u"Horoskop"},
        {u"Horo.skop.db", u"Horo.skop.aaf", u"Horo.skop"},
        {u"Horoskop.aaf", u"Horoskop.aaf", u"Horoskop"},
        {u".db", u".aaf", u""},
        {u"daten/Horoskop.DB", u"daten/Horoskop.aaf", u"Horoskop"},
        {u"daten.alt/Horoskop", u"daten.alt/Horoskop.aaf", u"Horoskop"},
#ifdef _WIN32
        {u"C:\\Daten\\Horoskop.DB", u"C:\\Daten\\Horoskop.aaf", u"Horoskop"},
        {u"C:\\Daten.alt\\Horoskop", u"C:\\Daten.alt\\Horoskop.aaf", u"Horoskop"},
        {u"C:\\Daten.alt/Horoskop", u"C:\\Daten.alt/Horoskop.aaf", u"Horoskop"},
        {u"C:Horoskop", u"C:Horoskop.aaf", u"Horoskop"},
        {u"D.x:Horoskop", u"D.x:Horoskop.aaf", u"Horoskop"},
#else
        {u"/daten.alt/Horoskop", u"/daten.alt/Horoskop.aaf", u"Horoskop"},
        {u"daten.alt\\Horoskop", u"daten.aaf", u"daten"},  // "\" is a letter on POSIX
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        EXPECT_EQ(Utf8(ReplaceExtension(c.path, u".aaf")), Utf8(c.replaced));
        EXPECT_EQ(Utf8(BaseNameOf(NameOfPath(c.path))), Utf8(c.base));
    }
}

TEST(PathTest, ComparesNamesIgnoringCase) {
    const struct {
        const char16_t* a;
        const char16_t* b;
        bool equal;
    } cases[] = {
        {u"HOROSKOP.MB", u"horoskop.mb", true},
        {u"ÄÖÜÀÉÞ", u"äöüàéþ", true},
        {u"Ÿ", u"ÿ", true},
        {u"ŁĄŻŹĆŃŒŠŽĲ", u"łążźćńœšžĳ", true},
        {u"ΑΒΓΣΩΆΈΌΏ", u"αβγσωάέόώ", true},
        {u"σ", u"ς", true},
        {u"ДОМЁЖЯ", u"домёжя", true},
        {u"ЀЏҐӁӐ", u"ѐџґӂӑ", true},
        {u"×", u"÷", false},
        {u"ß", u"ss", false},
        {u"a", u"b", false},
        {u"abc", u"ab", false},
        {u"Ĳ", u"ĳx", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.a) + " / " + Utf8(c.b));
        EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal);
    }
    // Letters without a pair stay as they are.
    for (const char16_t c : {u'ĸ', u'ŉ', u'ı', u'ſ', u'1', u'_', u'µ', u'ß'}) EXPECT_EQ(FoldCase(c), c);
    EXPECT_TRUE(StartsWithIgnoringCase(u"HOROSKOP.MB", u"horoskop."));
    EXPECT_FALSE(StartsWithIgnoringCase(u"HORO", u"horoskop."));
    EXPECT_TRUE(EndsWithIgnoringCase(u"x.AAF", u".aaf"));
}

}  // namespace
}  // namespace kosmara
