// The horoscope-like table of horoscope_table.h written with pxlib (Debian's
// pxlib-dev), the independent writer the walk benchmark compares our reader
// against. A million records take many minutes, so a kept folder's table is
// used again.
#pragma once

#include <filesystem>

namespace kosmara::bench {

// Writes the table of `records` records at path (a .DB, its .MB beside it).
void WriteHoroscopes(const std::filesystem::path& path, int records);

// Writes it unless path holds such a table of `records` records already;
// says on stdout what it wrote and how long it took.
void EnsureHoroscopeTable(const std::filesystem::path& path, int records);

}  // namespace kosmara::bench
