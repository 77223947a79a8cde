// What the output files and file identities share on every system: how two
// identities are compared, and moving an unfinished output.
#include <utility>

#include "core/text.h"
#include "platform/file.h"

namespace kosmara {

bool operator==(const FileIdentity& a, const FileIdentity& b) {
    if (a.HasNumber() != b.HasNumber()) return false;
    if (a.HasNumber()) return a.volume == b.volume && a.file == b.file && a.fileHigh == b.fileHigh;
    return !a.finalPath.empty() && SameFinalPath(a.finalPath, b.finalPath);
}

bool SameFinalPath(std::u16string_view a, std::u16string_view b) {
#ifdef _WIN32
    return EqualIgnoringCase(a, b);
#else
    return a == b;
#endif
}

FileIdentity MakeFileIdentity(std::uint64_t volume, std::uint64_t fileLow, std::uint64_t fileHigh,
                              const std::function<std::u16string()>& finalPath) {
    FileIdentity identity{volume, fileLow, fileHigh, {}};
    if (!identity.HasNumber() && finalPath) identity.finalPath = finalPath();
    return identity;
}

ReplacingOutputFile::ReplacingOutputFile(ReplacingOutputFile&& other) noexcept
    : handle_(std::move(other.handle_)),
      path_(std::move(other.path_)),
      finalPath_(std::move(other.finalPath_)),
      temporaryPath_(std::exchange(other.temporaryPath_, std::u16string())),
      destinationIdentity_(std::move(other.destinationIdentity_)),
      destinationMode_(other.destinationMode_),
      cleanup_(std::move(other.cleanup_)),
      committed_(other.committed_) {
    other.cleanup_.reset();
}

ReplacingOutputFile::~ReplacingOutputFile() { Discard(); }

}  // namespace kosmara
