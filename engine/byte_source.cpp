#include "engine/byte_source.h"

#include <algorithm>
#include <cstring>

namespace kosmara {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = std::min<std::uint64_t>(size, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, count);
    return count;
}

}  // namespace kosmara
