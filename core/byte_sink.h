// Where written bytes go: a file, or memory (tests, the fuzzer).
#pragma once

#include <cstddef>
#include <string>

namespace kosmara {

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Takes every byte or fails with an Error; what an earlier call took
    // stays taken.
    virtual void Write(const char* data, std::size_t size) = 0;
};

class MemorySink final : public ByteSink {
public:
    void Write(const char* data, std::size_t size) override { bytes_.append(data, size); }
    const std::string& bytes() const noexcept { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace kosmara
