// libFuzzer target over the registry hive parser and the reading of a Wine
// prefix. The input is a user.reg, then optionally a null byte and a
// system.reg (a hive text holds no null: Wine escapes it). The user.reg is
// parsed on its own; then both are put into a prefix made once in the
// temporary folder, whose drives lead to its drive_c, relatively out of the
// prefix, in a loop and to nothing, and the prefix is read as "list" reads
// it: the local application-data folder, discovery, the Linux path of every
// row. kosmara::Error is the expected way to fail; anything else escapes and
// is a finding, and so is a row on drive C: whose Linux path leaves drive_c.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/text.h"
#include "databases/discovery.h"
#include "databases/registry_hive.h"
#include "databases/wine_prefix.h"

namespace {

namespace fs = std::filesystem;

// The prefix, made on first use and removed at the end of the run.
class Prefix {
public:
    Prefix() : root_(fs::temp_directory_path() / ("kosmara-hive-fuzz-" + std::to_string(::getpid()))) {
        fs::remove_all(root_);
        folder_ = root_ / "prefix";
        const fs::path local = folder_ / "drive_c" / "users" / "anna" / "AppData" / "Local";
        fs::create_directories(folder_ / "dosdevices");
        fs::create_directories(local / "VirtualStore" / "Daten");
        fs::create_directories(root_ / "shared" / "x");
        fs::create_directory_symlink("../drive_c", folder_ / "dosdevices" / "c:");
        fs::create_directory_symlink("../../shared/x", folder_ / "dosdevices" / "d:");
        fs::create_symlink("e:", folder_ / "dosdevices" / "e:");
        fs::create_symlink("../fehlt", folder_ / "dosdevices" / "f:");
        for (const fs::path& table : {local / "VirtualStore" / "Daten" / "Horoskop.DB",
                                      folder_ / "drive_c" / "Horoskop.DB", root_ / "shared" / "x" / "Horoskop.DB",
                                      root_ / "Horoskop.DB"})
            std::ofstream(table) << "x";
        driveC_ = kosmara::FromNativeBytes((folder_ / "drive_c").native());
    }
    ~Prefix() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;

    const fs::path& folder() const { return folder_; }
    // The Linux path of C:\ as the prefix reads it.
    const std::u16string& driveC() const { return driveC_; }

private:
    fs::path root_;
    fs::path folder_;
    std::u16string driveC_;
};

void Write(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool OnDriveC(std::u16string_view path) { return path.size() >= 2 && (path[0] == u'C' || path[0] == u'c') && path[1] == u':'; }

void ReadPrefix(const Prefix& prefix) {
    const auto system = kosmara::OpenWinePrefix(kosmara::FromNativeBytes(prefix.folder().native()));
    (void)system->LocalAppDataFolder();
    kosmara::DatabaseRows rows;
    kosmara::DiscoverDatabases(*system, rows);
    if (rows.items.size() != std::max<std::size_t>(rows.paths.size(), 1)) __builtin_trap();
    for (std::size_t row = 0; row < rows.paths.size(); ++row) {
        const std::optional<std::u16string> path = kosmara::LinuxPathOfRow(*system, rows, row);
        if (!path || !OnDriveC(rows.paths[row])) continue;
        // ".." never climbs above the drive's folder.
        if (path->compare(0, prefix.driveC().size(), prefix.driveC()) != 0) __builtin_trap();
        if (path->size() > prefix.driveC().size() && (*path)[prefix.driveC().size()] != u'/') __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view user = input.substr(0, split);
    try {
        (void)kosmara::RegistryHive::Parse(user, u"user.reg");
    } catch (const kosmara::Error&) {
    }
    static const Prefix prefix;
    Write(prefix.folder() / "user.reg", user);
    if (split == std::string_view::npos) fs::remove(prefix.folder() / "system.reg");
    else Write(prefix.folder() / "system.reg", input.substr(split + 1));
    try {
        ReadPrefix(prefix);
    } catch (const kosmara::Error&) {
    }
    return 0;
}
