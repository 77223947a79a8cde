#include "bench/horoscope_table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "tests/paradox_builder.h"

namespace kosmara::bench {
namespace {

std::uintmax_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

std::vector<HoroscopeField> HoroscopeFields(int commentSize) {
    return {
        {"Nr", FieldType::kAlpha, 10},        {"Name", FieldType::kAlpha, 40},      {"JD", FieldType::kNumber, 8},
        {"Ort", FieldType::kAlpha, 40},       {"Laenge", FieldType::kNumber, 8},    {"Breite", FieldType::kNumber, 8},
        {"Zone", FieldType::kNumber, 8},      {"Zonenname", FieldType::kAlpha, 10}, {"Kommentar", FieldType::kMemo, commentSize},
        {"Septar", FieldType::kAlpha, 40},    {"Erfasst", FieldType::kDate, 4},     {"System", FieldType::kShort, 2},
        {"Septarflag", FieldType::kLogical, 1},
    };
}

std::string HoroscopeRows::Text(std::size_t length) {
    static const char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz    .,-\xE4\xF6\xFC\xC4\xD6\xDC\xDF";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string text(length, ' ');
    for (char& c : text) c = kLetters[pick(random_)];
    text.front() = 'H';
    return text;
}

HoroscopeRow HoroscopeRows::Next() {
    HoroscopeRow row;
    char id[16];
    std::snprintf(id, sizeof id, "H%07d", ++number_);
    row.id = id;
    row.name = Text(8 + static_cast<std::size_t>(Percent() % 30));
    row.julianDay = 2415020.5 + Unit() * 45000.0;
    row.place = Text(5 + static_cast<std::size_t>(Percent() % 30));
    row.longitude = Unit() * 360.0 - 180.0;
    row.latitude = Unit() * 180.0 - 90.0;
    row.zone = static_cast<double>(Percent() % 25 - 12);
    row.zoneName = Percent() < 50 ? "MEZ" : "MESZ";
    // Most comments are short and stay in the record; one in ten goes to
    // the .MB, a few of those into blocks of their own.
    const int kind = Percent();
    if (kind < 15) {
        // no comment
    } else if (kind < 90) {
        row.comment = Text(10 + static_cast<std::size_t>(Percent()) * 2);
    } else if (kind < 99) {
        row.comment = Text(241 + static_cast<std::size_t>(Percent()) * 12);
    } else {
        row.comment = Text(2049 + static_cast<std::size_t>(Percent()) * 20);
    }
    if (Percent() >= 30) row.septarText = Text(20);
    row.entered = 730000 + Percent() * 100;
    row.system = static_cast<std::int16_t>(Percent() % 12);
    row.septar = Percent() < 30;
    return row;
}

void WriteBuiltHoroscopes(const std::filesystem::path& path, int records, int commentSize) {
    namespace t = testing;
    t::TableBuilder builder(12, 16);
    for (const HoroscopeField& field : HoroscopeFields(commentSize)) builder.AddField(field.name, field.type, field.size);
    HoroscopeRows rows;
    for (int i = 0; i < records; ++i) {
        const HoroscopeRow row = rows.Next();
        builder.AddRecord({t::Alpha(row.id), t::Alpha(row.name), t::Number(row.julianDay), t::Alpha(row.place),
                           t::Number(row.longitude), t::Number(row.latitude), t::Number(row.zone),
                           t::Alpha(row.zoneName), row.comment ? t::Memo(*row.comment) : t::Null(),
                           row.septarText ? t::Alpha(*row.septarText) : t::Null(), t::Date(row.entered),
                           t::Short(row.system), t::Logical(row.septar)});
    }
    std::filesystem::path base = path.filename();
    base.replace_extension();
    t::WriteTable(builder.Build(), path.parent_path(), base.string(), path.extension().string());
}

void EnsureBuiltHoroscopeTable(const std::filesystem::path& path, int records, int commentSize) {
    std::filesystem::path blobs = path;
    blobs.replace_extension(".MB");
    if (std::filesystem::exists(path) && std::filesystem::exists(blobs)) {
        // Reuse a table of a kept folder when it has the records asked for.
        try {
            const ParadoxTable table = ParadoxTable::Open(path.u16string(), {});
            if (table.info().recordCount == static_cast<std::uint32_t>(records) &&
                table.fields().at(kMemoField).size == commentSize)
                return;
        } catch (const std::exception&) {
            // written anew
        }
    }
    const auto start = std::chrono::steady_clock::now();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        try {
            WriteBuiltHoroscopes(path, records, commentSize);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("writing " + path.string() + " failed");
    std::printf("written with the table builder: %s, %d records in %.1f s (.DB %.1f MiB, .MB %.1f MiB)\n",
                path.filename().c_str(), records,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                static_cast<double>(FileSize(path)) / 1048576.0, static_cast<double>(FileSize(blobs)) / 1048576.0);
}

}  // namespace kosmara::bench
