// Where the table reader gets its bytes: a file opened read-only and shared,
// or memory (tests, the fuzzer). The reader only ever reads at offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/input_file.h"

namespace kosmara {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to size bytes at offset; fewer only at the end of the data.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const = 0;
    // The file's identity; nothing for memory.
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override;

private:
    std::string bytes_;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(InputFile file) : file_(std::move(file)) {}
    std::uint64_t Size() const override { return file_.Size(); }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const override {
        return file_.ReadAt(offset, buffer, size);
    }
    std::optional<FileIdentity> Identity() const override { return file_.Identity(); }
    const InputFile& file() const { return file_; }

private:
    InputFile file_;
};

}  // namespace kosmara
