// The rules of the program's own box texts: the application title from the
// executable's name, and the "." the default error handler appends.
#include "ui/application_text.h"

#include <gtest/gtest.h>

#include "core/text.h"

namespace kosmara {
namespace {

TEST(ApplicationTextTest, TitleComesFromTheExecutablesName) {
    const struct {
        const char16_t* name;
        const char16_t* title;
    } cases[] = {
        {u"KosmaraExport.exe", u"Kosmaraexport"},
        {u"DATEN.UEBERNAHME.EXE", u"Daten"},  // everything from the first "." goes
        {u"Export", u"Export"},
        {u"ÄRGER.exe", u"Ärger"},
        {u"kosmara.exe", u"kosmara"},  // the first character stays as it is
        {u".exe", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(ApplicationTitleOf(c.name)), ToUtf8(c.title)) << ToUtf8(c.name);
}

TEST(ApplicationTextTest, ErrorBoxAppendsADotAfterCharactersAboveIt) {
    const struct {
        const char16_t* message;
        const char16_t* shown;
    } cases[] = {
        {u"Der angegebene Pfad wurde nicht gefunden", u"Der angegebene Pfad wurde nicht gefunden."},
        {u"Die Tabelle ist beschädigt.", u"Die Tabelle ist beschädigt."},
        {u"BDE-Fehler $2A0F", u"BDE-Fehler $2A0F."},
        {u"Fehler (Code 5)", u"Fehler (Code 5)"},  // ")" lies below "."
        {u"Wirklich?", u"Wirklich?."},             // "?" lies above it
        {u"Ende -", u"Ende -"},
        {u"Pfad /", u"Pfad /."},
        {u"Umlaut ä", u"Umlaut ä."},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(ErrorBoxText(c.message)), ToUtf8(c.shown)) << ToUtf8(c.message);
}

}  // namespace
}  // namespace kosmara
