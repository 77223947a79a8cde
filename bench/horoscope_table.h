// The horoscope-like table the benchmarks read: the 13 fields of the real
// one, random Windows-1252 text with German letters, and comments of every
// length (null, short enough for the record, sub-allocated in the .MB, in
// blocks of their own). The same seed gives the same records to every
// writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/paradox_table.h"

namespace kosmara::bench {

struct HoroscopeField {
    const char* name;
    FieldType type;
    int size;  // bytes in the record
};

// The fields of the real horoscope table; the comment (memo) is kMemoField,
// of commentSize bytes in the record (its leader 10 bytes less): with 250
// most comments stay in the record, with 30 most go to the .MB.
inline constexpr int kMemoField = 8;
inline constexpr int kCommentSize = 250;
std::vector<HoroscopeField> HoroscopeFields(int commentSize = kCommentSize);

// One record's values; text in code page 1252, nothing for null.
struct HoroscopeRow {
    std::string id;
    std::string name;
    double julianDay = 0.0;
    std::string place;
    double longitude = 0.0;
    double latitude = 0.0;
    double zone = 0.0;
    std::string zoneName;
    std::optional<std::string> comment;
    std::optional<std::string> septarText;
    std::int32_t entered = 0;  // days, 1 = 0001-01-01
    std::int16_t system = 0;
    bool septar = false;
};

// The records in order, from a fixed seed.
class HoroscopeRows {
public:
    HoroscopeRow Next();

private:
    std::string Text(std::size_t length);
    int Percent() { return std::uniform_int_distribution<int>(0, 99)(random_); }
    double Unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }

    std::mt19937_64 random_{1998};
    int number_ = 0;
};

// Writes the table of `records` records at path (a .DB, its .MB beside it)
// with the tests' own table builder, in memory first: seconds for a million
// records, where pxlib takes the better part of an hour.
void WriteBuiltHoroscopes(const std::filesystem::path& path, int records, int commentSize = kCommentSize);

// Writes it, in a child process so the caller's memory stays as it is,
// unless path holds a table of `records` records already; says on stdout
// what it wrote and how long it took.
void EnsureBuiltHoroscopeTable(const std::filesystem::path& path, int records, int commentSize = kCommentSize);

}  // namespace kosmara::bench
