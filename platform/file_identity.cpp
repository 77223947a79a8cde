#include "core/text.h"
#include "platform/file.h"

namespace kosmara {

bool operator==(const FileIdentity& a, const FileIdentity& b) {
    if (a.HasNumber() != b.HasNumber()) return false;
    if (a.HasNumber()) return a.volume == b.volume && a.file == b.file && a.fileHigh == b.fileHigh;
    if (a.finalPath.empty() || b.finalPath.empty()) return false;
#ifdef _WIN32
    return EqualIgnoringCase(a.finalPath, b.finalPath);
#else
    return a.finalPath == b.finalPath;
#endif
}

FileIdentity MakeFileIdentity(std::uint64_t volume, std::uint64_t fileLow, std::uint64_t fileHigh,
                              const std::function<std::u16string()>& finalPath) {
    FileIdentity identity{volume, fileLow, fileHigh, {}};
    if (!identity.HasNumber() && finalPath) identity.finalPath = finalPath();
    return identity;
}

}  // namespace kosmara
