// Speed and memory of our Paradox reader against pxlib.
//
// Writes (with pxlib, into a temporary folder) a horoscope-like table of
// --records records with the 13 fields of the real one, and a second one of
// --small records, then walks them, each walk in a fresh child process so its
// peak memory (ru_maxrss) is its own:
//   engine          ParadoxTable: First/Next, Value(i) of every field, memos from the .MB
//   engine-no-mb    the same without the memo field (what pxlib reads without a blob file)
//   engine-text     every field as text, as the AAF writer asks for it
//   pxlib           PX_retrieve_record for every record, no blob file: pxlib
//                   0.6.8 cannot open an existing .MB, so memos longer than
//                   their record leader stay unread
//   pxlib-mb        the same with the .MB attached through pxlib's exported
//                   internals (the workaround of shared/tools/pxdump.c)
//   idle            a child that only starts: the baseline of every peak
// Google Benchmark's repeated loops do not fit one walk per process, so the
// program times the walks itself.
//
// Usage: kosmara_bench [--records N] [--small N] [--dir FOLDER]
//   --dir keeps the tables in FOLDER (and reuses them when they are there).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <paradox.h>

// Exported by libpx.so but not declared in paradox.h; used to attach an
// existing .MB file without PX_set_blob_file(), which aborts in 0.6.8.
pxstream_t* px_stream_new_file(pxdoc_t* pxdoc, int mode, int close, FILE* fp);
size_t px_mb_read(pxblob_t* p, pxstream_t* dummy, size_t len, void* buffer);
int px_mb_seek(pxblob_t* p, pxstream_t* dummy, long offset, int whence);
long px_mb_tell(pxblob_t* p, pxstream_t* dummy);
size_t px_mb_write(pxblob_t* p, pxstream_t* dummy, size_t len, void* buffer);
mbhead_t* get_mb_head(pxblob_t* pxblob, pxstream_t* pxs);
}

#include "bench/bench_support.h"
#include "bench/horoscope_pxlib.h"
#include "bench/horoscope_table.h"
#include "core/error.h"
#include "core/text.h"
#include "engine/field_value.h"
#include "engine/paradox_table.h"

namespace kosmara {
namespace {

using bench::kMemoField;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- the walks (run in the child) ----

struct WalkResult {
    double seconds = 0.0;
    long records = 0;
    std::uint64_t checksum = 0;  // keeps the reads from being optimised away
    long failures = 0;           // values the reader could not give
};

std::uint64_t Mix(std::uint64_t sum, std::uint64_t value) { return (sum ^ value) * 0x100000001B3ULL; }

WalkResult WalkEngine(const std::string& path, bool memo, bool asText) {
    WalkResult result;
    Clock::time_point start = Clock::now();
    ParadoxTable table = ParadoxTable::Open(FromUtf8(path), {});
    const int fields = static_cast<int>(table.fields().size());
    for (table.First(); !table.Eof(); table.Next()) {
        for (int i = 0; i < fields; ++i) {
            if (!memo && i == kMemoField) continue;
            FieldValue value = table.Value(i);
            if (asText) {
                result.checksum = Mix(result.checksum, ValueAsText(value, table.codePage()).size());
            } else {
                result.checksum = Mix(result.checksum, value.text.size() + value.bytes.size() +
                                                           static_cast<std::uint64_t>(value.integer) +
                                                           static_cast<std::uint64_t>(value.real));
            }
        }
        ++result.records;
    }
    result.seconds = SecondsSince(start);
    return result;
}

long g_pxlibErrors = 0;
void CountError(pxdoc_t*, int, const char*, void*) { ++g_pxlibErrors; }

bool AttachBlobFile(pxdoc_t* doc, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    pxblob_t* blob = PX_new_blob(doc);
    pxstream_t* stream = blob != nullptr ? px_stream_new_file(doc, pxfFileRead, 1, file) : nullptr;
    if (stream == nullptr) {
        std::fclose(file);
        return false;
    }
    blob->mb_stream = stream;
    blob->read = px_mb_read;
    blob->seek = px_mb_seek;
    blob->tell = px_mb_tell;
    blob->write = px_mb_write;
    blob->mb_name = PX_strdup(doc, path.c_str());
    blob->mb_head = get_mb_head(blob, stream);
    doc->px_blob = blob;
    return blob->mb_head != nullptr;
}

WalkResult WalkPxlib(const std::string& path, bool withBlobFile) {
    WalkResult result;
    Clock::time_point start = Clock::now();
    pxdoc_t* doc = PX_new2(&CountError, nullptr, nullptr, nullptr);
    if (PX_open_file(doc, path.c_str()) < 0) throw std::runtime_error("pxlib cannot open " + path);
    if (withBlobFile) {
        std::string blobPath = std::filesystem::path(path).replace_extension(".MB").string();
        if (!AttachBlobFile(doc, blobPath)) throw std::runtime_error("pxlib cannot attach " + blobPath);
    }
    const int records = PX_get_num_records(doc);
    const int fields = PX_get_num_fields(doc);
    for (int r = 0; r < records; ++r) {
        pxval_t** values = PX_retrieve_record(doc, r);
        if (values == nullptr) {
            ++result.failures;
            continue;
        }
        for (int i = 0; i < fields; ++i) {
            pxval_t* value = values[i];
            if (value->isnull) {
                result.checksum = Mix(result.checksum, 1);
            } else if (value->type == pxfAlpha || value->type == pxfMemoBLOb) {
                result.checksum = Mix(result.checksum, static_cast<std::uint64_t>(value->value.str.len));
                if (value->value.str.val != nullptr) {
                    doc->free(doc, value->value.str.val);
                } else {
                    ++result.failures;  // a memo in the .MB without the blob file
                }
            } else if (value->type == pxfNumber) {
                result.checksum = Mix(result.checksum, static_cast<std::uint64_t>(value->value.dval));
            } else {
                result.checksum = Mix(result.checksum, static_cast<std::uint64_t>(value->value.lval));
            }
            doc->free(doc, value);
        }
        doc->free(doc, values);
        ++result.records;
    }
    PX_close(doc);
    PX_delete(doc);
    result.seconds = SecondsSince(start);
    return result;
}

int RunWalk(const std::string& walk, const std::string& path) {
    WalkResult result;
    if (walk == "engine") {
        result = WalkEngine(path, true, false);
    } else if (walk == "engine-no-mb") {
        result = WalkEngine(path, false, false);
    } else if (walk == "engine-text") {
        result = WalkEngine(path, true, true);
    } else if (walk == "pxlib") {
        result = WalkPxlib(path, false);
    } else if (walk == "pxlib-mb") {
        result = WalkPxlib(path, true);
    } else if (walk != "idle") {
        std::fprintf(stderr, "unknown walk %s\n", walk.c_str());
        return 2;
    }
    std::printf("%.6f %ld %" PRIu64 " %ld\n", result.seconds, result.records, result.checksum, result.failures);
    return 0;
}

// ---- the parent ----

struct ChildResult {
    WalkResult walk;
    long peakKiB = 0;
};

ChildResult RunChild(const std::string& walk, const std::filesystem::path& table) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    std::fflush(stdout);
    pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        // A fresh image: the child's peak must not include the parent's heap.
        std::string tablePath = table.string();
        execl("/proc/self/exe", "kosmara_bench", "--walk", walk.c_str(), "--table", tablePath.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[256];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) throw std::runtime_error("wait4 failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("walk " + walk + " failed (status " + std::to_string(status) + ")");
    ChildResult result;
    result.peakKiB = usage.ru_maxrss;
    if (std::sscanf(output.c_str(), "%lf %ld %" SCNu64 " %ld", &result.walk.seconds, &result.walk.records,
                    &result.walk.checksum, &result.walk.failures) != 4)
        throw std::runtime_error("walk " + walk + " printed no result: " + output);
    return result;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

int Main(int argc, char** argv) {
    int records = 1'000'000;
    int small = 100'000;
    std::string folderOption;
    std::string walk;
    std::string tablePath;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value == nullptr) {
            std::fprintf(stderr, "option %s needs a value\n", option.c_str());
            return 2;
        }
        ++i;
        if (option == "--records") {
            records = std::atoi(value);
        } else if (option == "--small") {
            small = std::atoi(value);
        } else if (option == "--dir") {
            folderOption = value;
        } else if (option == "--walk") {
            walk = value;
        } else if (option == "--table") {
            tablePath = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (!walk.empty()) return RunWalk(walk, tablePath);
    if (records < 1 || small < 1 || small > records) {
        std::fprintf(stderr, "need 1 <= --small <= --records\n");
        return 2;
    }

    const bench::WorkFolder work(folderOption, "kosmara-bench");
    const std::filesystem::path& folder = work.path();

    const std::filesystem::path large = folder / ("HORO" + std::to_string(records) + ".DB");
    const std::filesystem::path smaller = folder / ("HORO" + std::to_string(small) + ".DB");
    bench::EnsureHoroscopeTable(large, records);
    if (small != records) bench::EnsureHoroscopeTable(smaller, small);

    const ChildResult idle = RunChild("idle", large);
    std::printf("\nwalks of %d records, 13 fields, each in its own process (peak = ru_maxrss; idle process %.1f MiB)\n",
                records, MiB(idle.peakKiB));
    std::printf("%-14s %10s %14s %11s %s\n", "walk", "seconds", "records/s", "peak MiB", "note");
    auto report = [&](const char* name, const ChildResult& result, const char* note) {
        std::printf("%-14s %10.3f %14.0f %11.1f %s", name, result.walk.seconds,
                    result.walk.seconds > 0 ? static_cast<double>(result.walk.records) / result.walk.seconds : 0.0,
                    MiB(result.peakKiB), note);
        if (result.walk.failures > 0) std::printf(" (%ld values unread)", result.walk.failures);
        std::printf("\n");
        if (result.walk.records != records)
            throw std::runtime_error(std::string(name) + " walked " + std::to_string(result.walk.records) + " records");
    };
    const ChildResult engine = RunChild("engine", large);
    report("engine", engine, "every field, memos from the .MB");
    const ChildResult engineNoMb = RunChild("engine-no-mb", large);
    report("engine-no-mb", engineNoMb, "every field but the memo");
    const ChildResult engineText = RunChild("engine-text", large);
    report("engine-text", engineText, "every field as text (as the AAF writer reads)");
    const ChildResult pxlib = RunChild("pxlib", large);
    report("pxlib", pxlib, "PX_retrieve_record, no .MB: memos beyond the record leader unread");
    const ChildResult pxlibMb = RunChild("pxlib-mb", large);
    report("pxlib-mb", pxlibMb, "PX_retrieve_record, .MB attached through pxlib internals");

    std::printf("\nratio pxlib time / engine time:\n");
    std::printf("  without the .MB (pxlib / engine-no-mb): %.2f\n", pxlib.walk.seconds / engineNoMb.walk.seconds);
    std::printf("  with the .MB    (pxlib-mb / engine):    %.2f\n", pxlibMb.walk.seconds / engine.walk.seconds);
    std::printf("peak memory: engine %.1f MiB, pxlib %.1f MiB (pxlib-mb %.1f MiB)\n", MiB(engine.peakKiB),
                MiB(pxlib.peakKiB), MiB(pxlibMb.peakKiB));

    if (small != records) {
        const ChildResult engineSmall = RunChild("engine", smaller);
        const ChildResult pxlibSmall = RunChild("pxlib", smaller);
        std::printf("\nmemory stays flat: engine peak %.1f MiB at %d records, %.1f MiB at %d records\n",
                    MiB(engineSmall.peakKiB), small, MiB(engine.peakKiB), records);
        std::printf("time per record at %d vs %d records: engine %.3f vs %.3f us, pxlib %.3f vs %.3f us\n", small,
                    records, engineSmall.walk.seconds * 1e6 / small, engine.walk.seconds * 1e6 / records,
                    pxlibSmall.walk.seconds * 1e6 / small, pxlib.walk.seconds * 1e6 / records);
    }
    return 0;
}

}  // namespace
}  // namespace kosmara

int main(int argc, char** argv) { return kosmara::bench::RunMain("kosmara_bench", kosmara::Main, argc, argv); }
