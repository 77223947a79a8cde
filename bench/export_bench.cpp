// Speed and memory of the AAF export of a large table, against the write
// calls no export can do without.
//
// Writes (with the tests' table builder, see horoscope_table.h) the
// horoscope-like table of the walk benchmark, --records records and
// --small records, in a temporary folder, then
// runs, each in a fresh child process so its peak memory (ru_maxrss) is its
// own:
//   export  the engine objects open the table and WriteAafFile writes its
//           AAF file into the folder
//   floor   the lines of that AAF file, read into memory beforehand, written
//           to another file of the folder with one write call per line (the
//           byte-order mark first with a call of its own), as the text
//           writer hands them to the file, and put in place as the export
//           puts its file (beside, flushed to disk, renamed): the least an
//           export spends
// Each is run --runs times; the best time counts. Prints both times, the
// ratio export / floor and the export's peak memory at both record counts
// (flat: the same at both).
//
// Usage: kosmara_export_bench [--records N] [--small N] [--runs N] [--comment-size N] [--dir FOLDER]
//   --comment-size 30 gives the comment field the size of the real table's
//   (most comments in the .MB) instead of the walk benchmark's 250.
//   --dir keeps the tables in FOLDER (and reuses them when they are there).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bench/bench_support.h"
#include "bench/child_process.h"
#include "bench/horoscope_table.h"
#include "core/error.h"
#include "core/text.h"
#include "core/time_format.h"
#include "core/user_interface.h"
#include "engine/engine_objects.h"
#include "export/aaf_writer.h"
#include "platform/file.h"

namespace kosmara {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class QuietUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view) override {}
};

// ---- the children: each prints its seconds and its record or line count ----

int Export(const std::filesystem::path& table, const std::filesystem::path& output) {
    const Clock::time_point start = Clock::now();
    Database database;
    database.SetParam(u"PATH", table.parent_path().u16string());
    Table horoscopes(database);
    horoscopes.SetTableName(table.filename().u16string());
    horoscopes.Open();
    QuietUi ui;
    const std::int32_t count = WriteAafFile(output.u16string(), horoscopes, ui, GermanTimeFormat());
    horoscopes.Close();
    std::printf("%.6f %ld\n", SecondsSince(start), static_cast<long>(count));
    return 0;
}

int Floor(const std::filesystem::path& aaf, const std::filesystem::path& output) {
    std::ifstream in(aaf, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) throw std::runtime_error("cannot read " + aaf.string());
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.compare(0, kByteOrderMark.size(), kByteOrderMark) != 0) throw std::runtime_error("no UTF-8 AAF file");

    const Clock::time_point start = Clock::now();
    // Put in place as the export puts its file: beside, flushed, renamed.
    ReplacingOutputFile file = ReplacingOutputFile::Open(output.u16string());
    file.Write(text.data(), kByteOrderMark.size());
    long lines = 0;
    for (std::size_t at = kByteOrderMark.size(); at < text.size(); ++lines) {
        const std::size_t end = text.find("\r\n", at);
        const std::size_t next = end == std::string::npos ? text.size() : end + 2;
        file.Write(text.data() + at, next - at);
        at = next;
    }
    file.Commit();
    std::printf("%.6f %ld\n", SecondsSince(start), lines);
    return 0;
}

// ---- the parent ----

struct ChildResult {
    double seconds = 0.0;
    long count = 0;
    long peakKiB = 0;
};

ChildResult RunChild(const char* mode, const std::filesystem::path& input, const std::filesystem::path& output) {
    const bench::ChildRun run = bench::RunSelf("kosmara_export_bench", {mode, input.string(), output.string()});
    ChildResult result;
    result.peakKiB = run.peakKiB;
    if (std::sscanf(run.printed.c_str(), "%lf %ld", &result.seconds, &result.count) != 2)
        throw std::runtime_error(std::string(mode) + " printed no result: " + run.printed);
    return result;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

// The best of `runs` exports of table and of as many floors after them.
struct Measured {
    ChildResult exported;
    ChildResult floor;
    std::uintmax_t aafBytes = 0;
};

Measured Measure(const std::filesystem::path& table, int records, int runs) {
    const std::filesystem::path folder = table.parent_path();
    const std::filesystem::path aaf = folder / "export.aaf";
    const std::filesystem::path floorFile = folder / "floor.aaf";
    Measured best;
    for (int run = 0; run < runs; ++run) {
        const ChildResult exported = RunChild("--child-export", table, aaf);
        if (exported.count != records)
            throw std::runtime_error("the export wrote " + std::to_string(exported.count) + " records");
        const ChildResult floor = RunChild("--child-floor", aaf, floorFile);
        if (std::filesystem::file_size(floorFile) != std::filesystem::file_size(aaf))
            throw std::runtime_error("the floor wrote another size than the export");
        if (run == 0 || exported.seconds < best.exported.seconds) best.exported = exported;
        if (run == 0 || floor.seconds < best.floor.seconds) best.floor = floor;
        best.exported.peakKiB = std::max(best.exported.peakKiB, exported.peakKiB);
    }
    best.aafBytes = std::filesystem::file_size(aaf);
    std::filesystem::remove(aaf);
    std::filesystem::remove(floorFile);
    return best;
}

int Main(int argc, char** argv) {
    if (argc == 4 && std::string_view(argv[1]) == "--child-export") return Export(argv[2], argv[3]);
    if (argc == 4 && std::string_view(argv[1]) == "--child-floor") return Floor(argv[2], argv[3]);
    if (argc == 4 && std::string_view(argv[1]) == "--child-idle") return std::printf("0 0\n") > 0 ? 0 : 1;

    int records = 1'000'000;
    int small = 10'000;
    int runs = 3;
    int commentSize = bench::kCommentSize;
    std::filesystem::path kept;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "option %s needs a value\n", option.c_str());
            return 2;
        }
        const char* value = argv[++i];
        if (option == "--records") {
            records = std::atoi(value);
        } else if (option == "--small") {
            small = std::atoi(value);
        } else if (option == "--runs") {
            runs = std::atoi(value);
        } else if (option == "--comment-size") {
            commentSize = std::atoi(value);
        } else if (option == "--dir") {
            kept = value;
        } else {
            std::fprintf(stderr, "usage: kosmara_export_bench [--records N] [--small N] [--runs N] [--comment-size N] "
                                 "[--dir FOLDER]\n");
            return 2;
        }
    }
    if (records < 1 || small < 1 || small > records || runs < 1 || commentSize < 11 || commentSize > 250) {
        std::fprintf(stderr, "need 1 <= --small <= --records, --runs >= 1 and 11 <= --comment-size <= 250\n");
        return 2;
    }

    const bench::WorkFolder work(kept, "kosmara-export-bench");
    const std::filesystem::path& folder = work.path();

    const std::string suffix = commentSize == bench::kCommentSize ? "" : "M" + std::to_string(commentSize);
    const std::filesystem::path large = folder / ("HORO" + std::to_string(records) + suffix + ".DB");
    const std::filesystem::path smaller = folder / ("HORO" + std::to_string(small) + suffix + ".DB");
    bench::EnsureBuiltHoroscopeTable(large, records, commentSize);
    if (small != records) bench::EnsureBuiltHoroscopeTable(smaller, small, commentSize);

    const ChildResult idle = RunChild("--child-idle", large, large);
    const Measured measured = Measure(large, records, runs);
    std::printf("\nAAF export of %d records, comment field M%d (%.1f MiB of AAF, %ld lines), best of %d runs, each in "
                "its own process\n",
                records, commentSize, static_cast<double>(measured.aafBytes) / 1048576.0, measured.floor.count, runs);
    std::printf("  export  %8.3f s  (open the table, WriteAafFile to a file)\n", measured.exported.seconds);
    std::printf("  floor   %8.3f s  (the same lines, one write call each, put in place alike)\n",
                measured.floor.seconds);
    std::printf("ratio export / floor: %.2f\n", measured.exported.seconds / measured.floor.seconds);

    std::printf("peak memory of the export (ru_maxrss; idle process %.1f MiB): %.1f MiB at %d records",
                MiB(idle.peakKiB), MiB(measured.exported.peakKiB), records);
    if (small != records) {
        const Measured smallMeasured = Measure(smaller, small, 1);
        std::printf(", %.1f MiB at %d records", MiB(smallMeasured.exported.peakKiB), small);
    }
    std::printf("\n");
    return 0;
}

}  // namespace
}  // namespace kosmara

int main(int argc, char** argv) { return kosmara::bench::RunMain("kosmara_export_bench", kosmara::Main, argc, argv); }
