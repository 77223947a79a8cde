// Writes the bundled sample database: a horoscope table as the legacy program
// keeps it (Horoskop.DB with its memo file Horoskop.MB, code page 1252) with
// 28 records: made-up people and two historical figures (Martin Luther and
// Johannes Kepler, with their published birth data). Together they hold what
// users' tables hold:
//
// - umlauts, ß and other letters of code page 1252 (Ødegård, São Paulo,
//   Ramírez) in names, places and comments;
// - names and places with "," and "#", which the AAF file writes cleaned and
//   carries in full on extension lines;
// - comments over several lines (CR LF): short ones inside the record's memo
//   leader (up to 20 bytes, one of exactly 20), longer ones in a shared block
//   of the .MB and one over 2 KiB in a block of its own; two with "#";
// - Septar records with a Septar text, with an empty one, and a record whose
//   Septar flag is clear but which still holds an old Septar text;
// - the zone name "Wahre Ortszeit" (its zone offset longitude / 15, the
//   equation of time left aside), common zone names (MEZ, MESZ, EST, IST,
//   NPT, NST, ...) and an empty one;
// - all four quarters of the globe (longitude positive west, latitude
//   positive north), zone offsets from -13 to +5 hours, half and three-quarter
//   hours (India, Newfoundland, Nepal) and the Amsterdam time of 1925
//   (19 min 32 s east);
// - births from 1483 to 2023: Julian calendar before 15 October 1582, the
//   first Gregorian day, the 19th and 20th centuries and recent years;
// - a record whose every field but the number and the comment is null.
//
// Birth moments are local civil time as Julian days (whole days begin at
// noon), computed here from the calendar date and the time of day.
//
//   kosmara_make_sample [--password KENNWORT] [--records N] FOLDER
//
// The options make variants for tests: a table protected by a password (its
// blocks scrambled, as Paradox writes protected tables), and one holding only
// the first N records, so a test can tell two copies of the table apart; an N
// above 28 repeats the records, numbered on, for a table that takes a while
// to export.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/code_page.h"
#include "paradox_builder.h"

namespace {

using kosmara::testing::HoroscopeRecord;

// Text as the table stores it, in code page 1252.
std::string Cp1252(std::u16string_view text) {
    static const std::optional<kosmara::CodePage> page = kosmara::CodePage::Find(1252);
    std::optional<std::string> bytes = page->Encode(text);
    if (!bytes) throw std::invalid_argument("a letter outside code page 1252");
    return *bytes;
}

// Lines joined with CR LF, as the program stores a comment.
std::string Lines(std::initializer_list<std::u16string_view> lines) {
    std::string out;
    bool first = true;
    for (std::u16string_view line : lines) {
        if (!first) out += "\r\n";
        out += Cp1252(line);
        first = false;
    }
    return out;
}

// The Julian day of a local civil moment: Julian calendar before 15 October
// 1582, Gregorian from then on; the day begins at noon.
double LocalJulianDay(int year, int month, int day, int hour, int minute) {
    const bool gregorian = year * 10000 + month * 100 + day >= 15821015;
    const int a = (14 - month) / 12;
    const int y = year + 4800 - a;
    const int m = month + 12 * a - 3;
    int dayNumber = day + (153 * m + 2) / 5 + 365 * y + y / 4;
    dayNumber += gregorian ? -y / 100 + y / 400 - 32045 : -32083;
    return dayNumber + (hour * 60 + minute - 720) / 1440.0;
}

// The zone offset of local time at a longitude (both positive west).
double LocalTimeOffset(double longitude) { return longitude / 15.0; }

// A record with every value set and the Septar flag clear.
HoroscopeRecord Person(std::u16string_view name, double julianDay, std::u16string_view place, double longitude,
                       double latitude, double zoneOffset, std::u16string_view zoneName, std::string comment = {}) {
    HoroscopeRecord record;
    record.name = Cp1252(name);
    record.julianDay = julianDay;
    record.place = Cp1252(place);
    record.longitude = longitude;
    record.latitude = latitude;
    record.zoneOffset = zoneOffset;
    record.zoneName = Cp1252(zoneName);
    record.comment = std::move(comment);
    return record;
}

// The record with a Septar text and the flag set or, as after the user
// cleared it, not set.
HoroscopeRecord Septar(HoroscopeRecord record, std::u16string_view text, bool flag = true) {
    record.septarText = Cp1252(text);
    record.septar = flag;
    return record;
}

// Only the number and a comment: name, place and zone name empty, the
// numbers and the Septar flag null.
HoroscopeRecord Unknown(std::string comment) {
    HoroscopeRecord record;
    record.name.clear();
    record.julianDay.reset();
    record.place.clear();
    record.longitude.reset();
    record.latitude.reset();
    record.zoneOffset.reset();
    record.zoneName.clear();
    record.comment = std::move(comment);
    record.septar.reset();
    return record;
}

HoroscopeRecord WithoutSeptarFlag(HoroscopeRecord record) {
    record.septar.reset();
    return record;
}

std::string KarlsNotes() {
    return Lines({
        u"Lebenslauf (nach eigenen Angaben, Gespräch vom 12.03.1998):",
        u"1941  geboren in Zürich-Wiedikon, zweites Kind eines Buchdruckers",
        u"1948  Primarschule im Kreis 3, später Sekundarschule",
        u"1957  Lehre als Schriftsetzer bei der Druckerei des Vaters",
        u"1961  Rekrutenschule in Bülach, danach Wanderjahre in Lyon und Hamburg",
        u"1964  Rückkehr nach Zürich, Stelle als Korrektor bei einer Tageszeitung",
        u"1966  Heirat mit Verena Kälin (geb. 1943 in Einsiedeln)",
        u"1967  Geburt der Tochter Regula, 1970 des Sohnes Matthias",
        u"1972  Wechsel in den Verlag, zuständig für Sachbücher und Kalender",
        u"1979  schwere Lungenentzündung im Winter, drei Monate arbeitsunfähig",
        u"1983  Umzug nach Winterthur, Haus mit Garten am Stadtrand",
        u"1988  Trennung von Verena, Scheidung 1990",
        u"1991  Teilhaber eines kleinen Verlags für Astronomie und Kalenderwesen",
        u"1996  Tod der Mutter im Alter von 84 Jahren",
        u"2004  Übergabe des Verlags an die Tochter, seither im Ruhestand",
        u"2008  Umzug in eine kleinere Wohnung in Winterthur-Seen",
        u"2013  Reise nach Buenos Aires und Montevideo mit dem Sohn",
        u"",
        u"Beratungen:",
        u"12.03.1998  Grundhoroskop besprochen; Fragen zu Beruf und Partnerschaft.",
        u"            Er hält die Geburtszeit für gesichert (Familienbibel, 6 Uhr früh).",
        u"20.11.1999  Solar 2000 besprochen; Pläne für eine Reise nach Südamerika.",
        u"04.02.2001  Transite Saturn über die Sonne; Sorgen um den Verlag.",
        u"18.06.2003  Gespräch mit der Tochter über die Übergabe, Direktionen gerechnet.",
        u"09.01.2006  Nachfrage zur Gesundheit; Hinweis auf die Ärztin, keine Deutung.",
        u"15.03.2011  Kurzer Besuch, bringt alte Fotos der Eltern und des Hauses mit.",
        u"22.10.2014  Telefonat: Frage nach dem Horoskop der Enkelin Lea (geb. 2014).",
        u"07.05.2016  Letzte Sitzung; Rückblick auf die Saturnzyklen seit 1941.",
        u"            Er möchte die Notizen behalten und bekommt eine Kopie davon.",
        u"",
        u"Zur Geburtszeit: Die Hebamme hat nach Angabe der Schwester 6 Uhr notiert,",
        u"das Zivilstandsamt nennt nur das Datum. Rektifikation über die Heirat 1966",
        u"und den Umzug 1983 ergibt etwa 05:56 Uhr; die Tabelle behält 06:00 Uhr.",
        u"Vergleichshoroskop der Tochter siehe Schröder, Regula (nicht in dieser Tabelle).",
    });
}

std::vector<HoroscopeRecord> SampleRecords() {
    // Person: name, Julian day, place, longitude, latitude, zone offset,
    // zone name, comment.
    std::vector<HoroscopeRecord> records = {
        Person(u"Müller, Anna", LocalJulianDay(1990, 1, 1, 16, 30), u"München", -11.575, 48.1375, -1.0, u"MEZ",
               Lines({u"Geburtszeit laut Urkunde.", u"Quelle: Standesamt München"})),
        Person(u"Schröder, Karl", LocalJulianDay(1941, 1, 6, 6, 0), u"Zürich", -8.5417, 47.3769, -1.0, u"MEZ",
               KarlsNotes()),
        Septar(Person(u"Weiß, Greta", LocalJulianDay(2000, 1, 1, 12, 0), u"Buenos Aires", 58.3816, -34.6037, 3.0,
                      u"ART"),
               u"Zweithoroskop"),
        WithoutSeptarFlag(
            Person(u"Ødegård, Jens", LocalJulianDay(1969, 7, 20, 13, 0), u"Tromsø", -18.9553, 69.6492, -1.0, u"")),
        Unknown(Lines({u"Name, Ort und Zeit unbekannt.", u"Anfrage per Brief, Antwort steht aus."})),
        Person(u"Kepler, Johannes", LocalJulianDay(1571, 12, 27, 14, 30), u"Weil der Stadt, Württemberg", -8.8714,
               48.7508, LocalTimeOffset(-8.8714), u"Wahre Ortszeit",
               Lines({u"Nach seinem eigenen Horoskop:", u"27. Dezember 1571, 14:30 Uhr",
                      u"Julianischer Kalender (Württemberg bis 1700)"})),
        Person(u"Luther, Martin", LocalJulianDay(1483, 11, 10, 23, 0), u"Eisleben", -11.5464, 51.5275,
               LocalTimeOffset(-11.5464), u"Wahre Ortszeit",
               Lines({u"Nach Melanchthon gegen 23 Uhr, Angabe der Mutter.", u"Geburtsjahr umstritten: 1483 oder 1484",
                      u"#Gauricus: 22.10.1484"})),
        Person(u"Fuchs, Ursula", LocalJulianDay(1536, 3, 2, 5, 0), u"Augsburg", -10.8978, 48.3705,
               LocalTimeOffset(-10.8978), u"Wahre Ortszeit", Cp1252(u"Taufbuch St. Ulrich")),
        Person(u"Vargas y Ortiz, Inés", LocalJulianDay(1582, 10, 15, 10, 0), u"Toledo, Kastilien", 4.0273, 39.8628,
               LocalTimeOffset(4.0273), u"Wahre Ortszeit", Cp1252(u"1. Tag gregorianisch")),
        Person(u"Kühn, Ludwig", LocalJulianDay(1885, 9, 3, 4, 20), u"Ulm", -9.9876, 48.4011, LocalTimeOffset(-9.9876),
               u"Wahre Ortszeit"),
        Person(u"Hoffmann, Käthe", LocalJulianDay(1905, 2, 28, 23, 50), u"Leipzig", -12.3731, 51.3397, -1.0, u"MEZ",
               Lines({u"Zwilling", u"2. Kind"})),
        Person(u"Grünwald, Franz Xaver", LocalJulianDay(1942, 8, 15, 9, 10), u"Wien, Döbling", -16.332, 48.2565, -2.0,
               u"MESZ",
               Lines({u"Geburt im Gartenhaus der Großeltern, Hofzeile 14.",
                      u"Zeit laut Taufschein: 9 Uhr 10, Sommerzeit.",
                      u"Vater Schlosser, Mutter Näherin; älterer Bruder Josef (1939)."})),
        Person(u"Van der Berg, Marieke", LocalJulianDay(1925, 1, 30, 10, 15), u"Amsterdam", -4.9041, 52.3676,
               -(19.0 / 60.0 + 32.0 / 3600.0), u"AMT", Lines({u"Amsterdamer Zeit", u"UT + 0:19:32"})),
        Septar(Person(u"Björklund, Åsa", LocalJulianDay(1947, 9, 12, 18, 5), u"Göteborg", -11.9746, 57.7089, -1.0,
                      u"MEZ"),
               u""),
        Person(u"Goldberg, Nathan #2", LocalJulianDay(1958, 1, 17, 8, 25), u"New York, NY", 74.006, 40.7128, 5.0,
               u"EST", Lines({u"Variante #2: Zeit rektifiziert,", u"die Urkunde nennt 08:10 Uhr."})),
        Septar(Person(u"Sharma, Priya", LocalJulianDay(1984, 11, 3, 7, 15), u"Mumbai, Maharashtra", -72.8777, 19.076,
                      -5.5, u"IST", Cp1252(u"Zeit aus dem Entlassungsbrief der Klinik")),
               u"alt: Variante B", false),
        Person(u"Shrestha, Bikash", LocalJulianDay(1995, 5, 22, 21, 40), u"Kathmandu", -85.324, 27.7172, -5.75,
               u"NPT"),
        Person(u"O'Brien, Siobhan", LocalJulianDay(1978, 2, 10, 3, 20), u"St. John's, Neufundland", 52.7126, 47.5615,
               3.5, u"NST", Lines({u"Schneesturm in der Nacht,", u"Geburt zu Hause."})),
        Person(u"Tanaka, Yuko", LocalJulianDay(1971, 4, 5, 6, 45), u"Tokio", -139.6917, 35.6895, -9.0, u"JST"),
        Person(u"Ngata, Aroha", LocalJulianDay(1999, 12, 31, 23, 45), u"Wellington", -174.7762, -41.2865, -13.0,
               u"NZDT", Lines({u"Kurz vor Mitternacht,", u"Sommerzeit in Neuseeland."})),
        Septar(Person(u"Fitzgerald, Liam", LocalJulianDay(1988, 1, 26, 15, 5), u"Sydney", -151.2093, -33.8688, -11.0,
                      u"AEDT"),
               u"Partnerhoroskop, Variante A"),
        Person(u"da Silva, João", LocalJulianDay(1970, 6, 21, 17, 30), u"São Paulo", 46.6333, -23.5505, 3.0, u"BRT",
               Cp1252(u"Tag des WM-Finales")),
        Person(u"Dlamini, Thandiwe", LocalJulianDay(1994, 4, 27, 9, 0), u"Kapstadt", -18.4241, -33.9249, -2.0,
               u"SAST"),
        Person(u"Iversen, Sigrid", LocalJulianDay(1981, 3, 15, 2, 55), u"Reykjavík", 21.9426, 64.1466, 0.0, u"GMT"),
        Person(u"Yilmaz, Elif", LocalJulianDay(2015, 3, 20, 9, 45), u"Berlin-Neukölln", -13.435, 52.4811, -1.0, u"MEZ",
               Cp1252(u"Während der Sonnenfinsternis")),
        Person(u"Schäfer, Noah", LocalJulianDay(2021, 7, 14, 22, 12), u"Köln", -6.9603, 50.9375, -2.0, u"MESZ",
               Cp1252(u"Hausgeburt")),
        Person(u"Ramírez, Sofía", LocalJulianDay(2019, 9, 19, 13, 14), u"Ciudad de México, CDMX", 99.1332, 19.4326, 5.0,
               u"CDT", Lines({u"Kaiserschnitt, Zeit laut Klinik.", u"Mutter: Lucía Ramírez Ortega"})),
        Person(u"Okafor, Chidi", LocalJulianDay(2023, 2, 25, 11, 20), u"Lagos (Ikeja) #ungenau", -3.3515, 6.6018, -1.0,
               u"WAT"),
    };
    for (std::size_t i = 0; i < records.size(); ++i) records[i].id = std::to_string(i + 1);
    return records;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kosmara::testing;
    std::optional<std::string> password;
    std::optional<std::size_t> recordCount;
    int at = 1;
    for (; at + 1 < argc; at += 2) {
        const std::string_view option = argv[at];
        if (option == "--password") password = argv[at + 1];
        else if (option == "--records") recordCount = std::strtoul(argv[at + 1], nullptr, 10);
        else break;
    }
    if (at + 1 != argc) {
        std::fprintf(stderr, "Aufruf: kosmara_make_sample [--password KENNWORT] [--records N] ORDNER\n");
        return 2;
    }
    try {
        TableBuilder builder = HoroscopeTableBuilder();
        builder.SetCodePage(1252).SetSortOrder(0x62, "ANSIINTL");
        if (password) builder.Encrypt(*password);
        std::vector<HoroscopeRecord> records = SampleRecords();
        if (recordCount && *recordCount < records.size()) records.resize(*recordCount);
        const std::size_t sampleCount = records.size();
        for (std::size_t i = sampleCount; recordCount && i < *recordCount; ++i) {
            HoroscopeRecord repeated = records[i % sampleCount];
            repeated.id = std::to_string(i + 1);
            records.push_back(std::move(repeated));
        }
        for (const HoroscopeRecord& record : records) builder.AddRecord(record.Cells());
        const std::filesystem::path db = WriteTable(builder.Build(), argv[at], "Horoskop");
        std::printf("%s\n", db.string().c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
