#include "bench/horoscope_pxlib.h"

#include <chrono>
#include <cstdio>
#include <vector>

extern "C" {
#include <paradox.h>
}

#include "bench/horoscope_table.h"
#include "tests/pxlib/pxlib_writer.h"

namespace kosmara::bench {
namespace {

using testing::PxCell;

void IgnoreError(pxdoc_t*, int, const char*, void*) {}

std::uintmax_t FileSize(const std::filesystem::path& path) {
    std::error_code error;
    std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

void WriteHoroscopes(const std::filesystem::path& path, int records) {
    std::vector<testing::PxField> fields;
    for (const HoroscopeField& field : HoroscopeFields())
        fields.push_back({field.name, static_cast<testing::PxType>(field.type), field.size});
    testing::PxlibWriter writer(path, fields, 1252, true);
    HoroscopeRows rows;
    std::vector<PxCell> record(fields.size());
    auto text = [](const std::string& bytes) { return PxCell{false, 0, 0.0, bytes}; };
    auto real = [](double value) { return PxCell{false, 0, value, {}}; };
    auto integer = [](std::int64_t value) { return PxCell{false, value, 0.0, {}}; };
    for (int i = 0; i < records; ++i) {
        const HoroscopeRow row = rows.Next();
        record = {text(row.id), text(row.name), real(row.julianDay), text(row.place), real(row.longitude),
                  real(row.latitude), real(row.zone), text(row.zoneName),
                  row.comment ? text(*row.comment) : PxCell{}, row.septarText ? text(*row.septarText) : PxCell{},
                  integer(row.entered), integer(row.system), integer(row.septar ? 1 : 0)};
        writer.PutRaw(record);
    }
}

void EnsureHoroscopeTable(const std::filesystem::path& path, int records) {
    std::filesystem::path blobs = path;
    blobs.replace_extension(".MB");
    if (std::filesystem::exists(path) && std::filesystem::exists(blobs)) {
        // Reuse a table of a kept folder when it has the records asked for.
        pxdoc_t* doc = PX_new2(&IgnoreError, nullptr, nullptr, nullptr);
        int have = PX_open_file(doc, path.string().c_str()) < 0 ? -1 : PX_get_num_records(doc);
        PX_close(doc);
        PX_delete(doc);
        if (have == records) return;
    }
    const auto start = std::chrono::steady_clock::now();
    WriteHoroscopes(path, records);
    std::printf("written with pxlib: %s, %d records in %.1f s (.DB %.1f MiB, .MB %.1f MiB)\n",
                path.filename().c_str(), records,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                static_cast<double>(FileSize(path)) / 1048576.0, static_cast<double>(FileSize(blobs)) / 1048576.0);
}

}  // namespace kosmara::bench
