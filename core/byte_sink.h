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
    // Every byte has been given: a sink that puts its output in place only
    // when whole does it now, and fails with an Error where it cannot.
    virtual void Finish() {}
};

class MemorySink final : public ByteSink {
public:
    void Write(const char* data, std::size_t size) override { bytes_.append(data, size); }
    const std::string& bytes() const noexcept { return bytes_; }

private:
    std::string bytes_;
};

}  // namespace kosmara
