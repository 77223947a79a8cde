// Speed and memory of parsing a large registry hive (RegistryHive::Parse,
// the user.reg of a Wine prefix), against reading the file's bytes.
//
// Writes a hive of about --mib MiB in Wine's text format: keys as programs
// leave them (a dozen values each: texts, numbers, byte lists continued over
// lines), one key path of 40,000 names and one key of 100,000 values (fewer
// in a hive under 4 MiB), the shapes that once took time and memory growing
// with the square of their size. Then, each in a fresh child process so its peak memory (ru_maxrss)
// is its own:
//   parse  read the file and parse it
//   read   read the file and split it into lines: the least a parser does
// Each is run --runs times; the best time counts. Prints both times, the
// ratio parse / read and the peak memory of each above an idle process, at
// --mib and at --small MiB (a parser linear in the file keeps both ratios
// the same at both sizes).
//
// Usage: kosmara_hive_bench [--mib N] [--small N] [--runs N] [--dir FOLDER]
//   --dir keeps the hives in FOLDER.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bench/bench_support.h"
#include "bench/child_process.h"
#include "core/error.h"
#include "core/text.h"
#include "databases/registry_hive.h"
#include "platform/input_file.h"

namespace kosmara {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void WriteHive(const std::filesystem::path& path, long mib) {
    const std::size_t size = static_cast<std::size_t>(mib) << 20;
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n";
    text += "[";
    const std::size_t names = std::min<std::size_t>(40000, size / 100);
    const std::size_t values = std::min<std::size_t>(100000, size / 40);
    for (std::size_t i = 0; i < names; ++i) text += i == 0 ? "k" : "\\\\k";
    text += "] 1700000000\n\"tief\"=\"unten\"\n\n[Software\\\\Viele] 1700000000\n";
    for (std::size_t i = 0; i < values; ++i) text += "\"Wert" + std::to_string(i) + "\"=dword:0000002a\n";
    for (long key = 0; text.size() < size; ++key) {
        const std::string number = std::to_string(key);
        text += "\n[Software\\\\Firma" + number + "\\\\Programm\\\\Einstellungen] 1700000000\n#time=1d98a7b3c2d1e0f\n";
        text += "\"Pfad\"=\"C:\\\\\\\\Programme\\\\\\\\Firma" + number + "\\\\\\\\Daten\"\n";
        text += "\"Erweitert\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Firma" + number + "\"\n";
        text += "\"Liste\"=str(7):\"eins\\0zwei\\0\"\n\"Zahl\"=dword:000003e8\n\"Umlaut\"=\"Gr\\x00fc\\x00dfe\"\n";
        text += "\"Fenster\"=hex:2c,00,00,00,00,00,00,00,01,00,00,00,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,ff,\\\n"
                "  ff,ff,ff,ff,ff,4b,00,00,00,32,00,00,00,eb,03,00,00,76,02,00,00\n";
        for (int value = 0; value < 6; ++value)
            text += "\"Zuletzt" + std::to_string(value) + "\"=\"D:\\\\Kunden\\\\Datei " + std::to_string(value) + ".txt\"\n";
    }
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadBytes(const std::filesystem::path& path) {
    OpenError error;
    const std::optional<InputFile> file = InputFile::Open(FromNativeBytes(path.native()), error);
    if (!file) throw std::runtime_error("cannot open " + path.string());
    std::string bytes(static_cast<std::size_t>(file->Size()), '\0');
    bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// ---- the children: seconds and a count, so the work is not left out ----

int Parse(const std::filesystem::path& path) {
    const Clock::time_point start = Clock::now();
    const RegistryHive hive = RegistryHive::Parse(ReadBytes(path), FromNativeBytes(path.native()));
    const std::vector<RegistryValue>* values = hive.Values(u"Software\\Viele");
    std::printf("%.6f %zu\n", SecondsSince(start), values ? values->size() : 0);
    return 0;
}

int Read(const std::filesystem::path& path) {
    const Clock::time_point start = Clock::now();
    const std::string bytes = ReadBytes(path);
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) end = bytes.size();
        lines.emplace_back(bytes.data() + at, end - at);
        at = end + 1;
    }
    std::printf("%.6f %zu\n", SecondsSince(start), lines.size());
    return 0;
}

// ---- the parent ----

struct ChildResult {
    double seconds = 0.0;
    long peakKiB = 0;
};

ChildResult RunChild(const char* mode, const std::filesystem::path& hive) {
    const bench::ChildRun run = bench::RunSelf("kosmara_hive_bench", {mode, hive.string()});
    ChildResult result;
    result.peakKiB = run.peakKiB;
    long count = 0;
    if (std::sscanf(run.printed.c_str(), "%lf %ld", &result.seconds, &count) != 2)
        throw std::runtime_error(std::string(mode) + " printed no result: " + run.printed);
    return result;
}

ChildResult Best(const char* mode, const std::filesystem::path& hive, int runs) {
    ChildResult best = RunChild(mode, hive);
    for (int run = 1; run < runs; ++run) {
        const ChildResult next = RunChild(mode, hive);
        best.seconds = std::min(best.seconds, next.seconds);
        best.peakKiB = std::min(best.peakKiB, next.peakKiB);
    }
    return best;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

void Measure(const std::filesystem::path& hive, long idleKiB, int runs) {
    const ChildResult parsed = Best("--child-parse", hive, runs);
    const ChildResult read = Best("--child-read", hive, runs);
    const double fileMiB = static_cast<double>(std::filesystem::file_size(hive)) / 1048576.0;
    const long parsedKiB = std::max(parsed.peakKiB - idleKiB, 1L);
    const long readKiB = std::max(read.peakKiB - idleKiB, 1L);
    std::printf("\nhive of %.1f MiB, best of %d runs, each in its own process\n", fileMiB, runs);
    std::printf("  parse  %8.3f s  %8.1f MiB above idle  (read the file, RegistryHive::Parse)\n", parsed.seconds,
                MiB(parsedKiB));
    std::printf("  read   %8.3f s  %8.1f MiB above idle  (read the file, split it into lines)\n", read.seconds,
                MiB(readKiB));
    std::printf("ratio parse / read: time %.2f, peak memory %.2f\n", parsed.seconds / read.seconds,
                static_cast<double>(parsedKiB) / static_cast<double>(readKiB));
}

int Main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--child-parse") return Parse(argv[2]);
    if (argc == 3 && std::string_view(argv[1]) == "--child-read") return Read(argv[2]);
    if (argc == 3 && std::string_view(argv[1]) == "--child-idle") return std::printf("0 0\n") > 0 ? 0 : 1;

    long mib = 32;
    long small = 8;
    int runs = 3;
    std::filesystem::path kept;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--mib" && i + 1 < argc) {
            mib = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--small" && i + 1 < argc) {
            small = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--runs" && i + 1 < argc) {
            runs = static_cast<int>(std::strtol(argv[++i], nullptr, 10));
        } else if (option == "--dir" && i + 1 < argc) {
            kept = argv[++i];
        } else {
            std::fprintf(stderr, "usage: kosmara_hive_bench [--mib N] [--small N] [--runs N] [--dir FOLDER]\n");
            return 2;
        }
    }
    if (mib < 1 || mib > 1024 || small < 1 || small > mib || runs < 1) {
        std::fprintf(stderr, "need 1 <= --small <= --mib <= 1024 and --runs >= 1\n");
        return 2;
    }
    const bench::WorkFolder work(kept, "kosmara-hive-bench");
    const std::filesystem::path& folder = work.path();

    const std::filesystem::path large = folder / ("user" + std::to_string(mib) + ".reg");
    WriteHive(large, mib);
    const long idle = RunChild("--child-idle", large).peakKiB;
    std::printf("idle process: %.1f MiB\n", MiB(idle));
    Measure(large, idle, runs);
    if (small != mib) {
        const std::filesystem::path smaller = folder / ("user" + std::to_string(small) + ".reg");
        WriteHive(smaller, small);
        Measure(smaller, idle, runs);
    }
    return 0;
}

}  // namespace
}  // namespace kosmara

int main(int argc, char** argv) { return kosmara::bench::RunMain("kosmara_hive_bench", kosmara::Main, argc, argv); }
