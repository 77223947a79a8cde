// Writes the bundled sample database: a small horoscope table as the legacy
// program keeps it (Horoskop.DB with its memo file Horoskop.MB), made up
// people with umlauts, comments over several lines, a comment long enough to
// live in the memo file, a Septar record and empty fields.
//
//   kosmara_make_sample FOLDER
#include <cstdio>
#include <exception>
#include <filesystem>

#include "paradox_builder.h"

int main(int argc, char** argv) {
    using namespace kosmara::testing;
    if (argc != 2) {
        std::fprintf(stderr, "Aufruf: kosmara_make_sample ORDNER\n");
        return 2;
    }
    try {
        TableBuilder builder = HoroscopeTableBuilder();
        builder.SetCodePage(1252).SetSortOrder(0x62, "ANSIINTL");

        // Texts in code page 1252.
        HoroscopeRecord anna;
        anna.id = "1";
        anna.name = "M\xFCller, Anna";
        anna.julianDay = 2447893.1875;  // 01.01.1990, 16:30 local time
        anna.place = "M\xFCnchen";
        anna.longitude = -11.575;
        anna.latitude = 48.1375;
        anna.zoneOffset = -1.0;
        anna.zoneName = "MEZ";
        anna.comment = "Geburtszeit laut Urkunde.\r\nQuelle: Standesamt";

        HoroscopeRecord karl;
        karl.id = "2";
        karl.name = "Schr\xF6" "der, Karl";
        karl.julianDay = 2430000.75;  // 06.01.1941, 06:00 local time
        karl.place = "Z\xFCrich";
        karl.longitude = -8.5417;
        karl.latitude = 47.3769;
        karl.zoneOffset = -2.0;
        karl.zoneName = "MESZ";
        std::string longComment = "Lebenslauf:\r\n";
        for (int line = 1; line <= 12; ++line) {
            longComment += "Zeile " + std::to_string(line) + ": Stra\xDF" "e, Gr\xF6\xDF" "e und \xC4nderungen.\r\n";
        }
        karl.comment = longComment;

        HoroscopeRecord greta;
        greta.id = "3";
        greta.name = "Wei\xDF, Greta";
        greta.julianDay = 2451545.0;  // 01.01.2000, 12:00 local time
        greta.place = "Buenos Aires";
        greta.longitude = 58.3816;
        greta.latitude = -34.6037;
        greta.zoneOffset = 3.0;
        greta.zoneName = "ART";
        greta.septar = true;
        greta.septarText = "Zweithoroskop";

        HoroscopeRecord jens;
        jens.id = "4";
        jens.name = "\xD8" "deg\xE5rd, Jens";
        jens.julianDay = 2440423.0416666665;  // 20.07.1969, 13:00 local time
        jens.place = "Troms\xF8";
        jens.longitude = -18.9553;
        jens.latitude = 69.6492;
        jens.zoneOffset = -1.0;
        jens.zoneName = "";
        jens.septar = std::nullopt;

        HoroscopeRecord unnamed;
        unnamed.id = "5";
        unnamed.name = "";
        unnamed.place = "";
        unnamed.comment = "Name und Ort unbekannt";

        for (const HoroscopeRecord* record : {&anna, &karl, &greta, &jens, &unnamed}) builder.AddRecord(record->Cells());
        const std::filesystem::path db = WriteTable(builder.Build(), argv[1], "Horoskop");
        std::printf("%s\n", db.string().c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
