// Peak memory of one large memo on its way from the .MB to the AAF file.
//
// Writes (with the test builder) a horoscope table of one record whose
// comment is a memo of --mib MiB: lines of text with "#" (so the writer adds
// the "#EXT_COM_" line that carries the comment in full), "//;" (so the
// terminator grows) and CR LF. Then, each in a fresh process so its peak
// memory (ru_maxrss) is its own:
//   idle    a process that only starts: the baseline
//   read    the engine reads every field of the record (the memo as text)
//   export  the engine objects and WriteAafFile write the AAF file
// and prints each peak above the idle one, also as a multiple of the memo.
//
// Usage: kosmara_memo_bench [--mib N] [--dir FOLDER]
//   --dir keeps the table and the AAF file in FOLDER.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench/bench_support.h"
#include "bench/child_process.h"
#include "core/error.h"
#include "core/time_format.h"
#include "core/user_interface.h"
#include "engine/engine_objects.h"
#include "engine/field_value.h"
#include "engine/paradox_table.h"
#include "export/aaf_writer.h"
#include "tests/paradox_builder.h"

namespace kosmara {
namespace {

class QuietUi : public UserInterface {
public:
    void ShowMessage(std::u16string_view) override {}
};

std::string Comment(std::size_t size) {
    static constexpr char kLine[] = "Zeile mit # und //; am Ende\r\n";
    std::string text;
    text.reserve(size);
    while (text.size() < size) text.append(kLine, std::min(sizeof kLine - 1, size - text.size()));
    return text;
}

void WriteTable(const std::filesystem::path& folder, std::size_t memoSize) {
    testing::TableBuilder builder = testing::HoroscopeTableBuilder();
    testing::HoroscopeRecord record;
    record.comment = Comment(memoSize);
    builder.AddRecord(record.Cells());
    testing::WriteTable(builder.Build(), folder, "Horoskop");
}

// ---- the child ----

int Read(const std::filesystem::path& table) {
    ParadoxTable reader = ParadoxTable::Open(table.u16string(), {});
    std::size_t characters = 0;
    for (reader.First(); !reader.Eof(); reader.Next())
        for (int i = 0; i < static_cast<int>(reader.fields().size()); ++i)
            characters += ValueAsText(reader.Value(i), reader.codePage()).size();
    return characters > 0 ? 0 : 1;
}

int Export(const std::filesystem::path& table, const std::filesystem::path& output) {
    Database database;
    database.SetParam(u"PATH", table.parent_path().u16string());
    Table horoscopes(database);
    horoscopes.SetTableName(table.filename().u16string());
    horoscopes.Open();
    QuietUi ui;
    return WriteAafFile(output.u16string(), horoscopes, ui, GermanTimeFormat()) == 1 ? 0 : 1;
}

// ---- the parent ----

long RunChild(const char* mode, const std::filesystem::path& table, const std::filesystem::path& output) {
    return bench::RunSelf("kosmara_memo_bench", {mode, table.string(), output.string()}).peakKiB;
}

double MiB(long kib) { return static_cast<double>(kib) / 1024.0; }

int Main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child-idle") return 0;
    if (argc == 4 && std::string(argv[1]) == "--child-read") return Read(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--child-export") return Export(argv[2], argv[3]);

    long mib = 64;
    std::filesystem::path folder;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--mib" && i + 1 < argc) {
            mib = std::strtol(argv[++i], nullptr, 10);
        } else if (option == "--dir" && i + 1 < argc) {
            folder = argv[++i];
        } else {
            std::fprintf(stderr, "usage: kosmara_memo_bench [--mib N] [--dir FOLDER]\n");
            return 2;
        }
    }
    if (mib < 1 || mib > 255) throw std::runtime_error("--mib: 1 to 255 (a type-2 block holds less than 256 MiB)");
    const bool keep = !folder.empty();
    if (!keep) folder = std::filesystem::temp_directory_path() / ("kosmara-memo-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path table = folder / "Horoskop.DB";
    const std::filesystem::path output = folder / "Horoskop.aaf";
    WriteTable(folder, static_cast<std::size_t>(mib) << 20);

    const long idle = RunChild("--child-idle", table, output);
    const long read = RunChild("--child-read", table, output);
    const long exported = RunChild("--child-export", table, output);
    std::printf("memo of %ld MiB; peak memory above an idle process (%.1f MiB):\n", mib, MiB(idle));
    std::printf("  read    %7.1f MiB  (%.1f x the memo)\n", MiB(read - idle), MiB(read - idle) / mib);
    std::printf("  export  %7.1f MiB  (%.1f x the memo; AAF file %.1f MiB)\n", MiB(exported - idle),
                MiB(exported - idle) / mib, static_cast<double>(std::filesystem::file_size(output)) / 1048576.0);
    if (!keep) std::filesystem::remove_all(folder);
    return 0;
}

}  // namespace
}  // namespace kosmara

int main(int argc, char** argv) { return kosmara::bench::RunMain("kosmara_memo_bench", kosmara::Main, argc, argv); }
