// One owner for every handle the operating system gives out: files, find
// handles, registry keys, folders being listed, GDI objects. Move-only; the
// handle is closed when its owner goes, on every way out.
#pragma once

#include <cstdint>
#include <utility>

namespace kosmara {

// Traits name the handle's type, its invalid value(s) and how it is closed:
//   using Value = ...;
//   static Value Invalid() noexcept;
//   static bool IsValid(Value) noexcept;
//   static void Close(Value) noexcept;
template <typename Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Value value) noexcept : value_(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    bool valid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return valid(); }
    Value get() const noexcept { return value_; }

    Value release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    void reset(Value value = Traits::Invalid()) noexcept {
        const Value old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

private:
    Value value_ = Traits::Invalid();
};

// A file as the platform layer keeps it in its portable classes: a Windows
// HANDLE or a POSIX file descriptor, stored as an integer; -1 is no file.
// Close is defined by each platform's file code.
struct NativeFileTraits {
    using Value = std::intptr_t;
    static Value Invalid() noexcept { return -1; }
    static bool IsValid(Value value) noexcept {
#ifdef _WIN32
        return value != -1 && value != 0;  // INVALID_HANDLE_VALUE and null
#else
        return value >= 0;
#endif
    }
    static void Close(Value value) noexcept;
};
using NativeFile = UniqueHandle<NativeFileTraits>;

}  // namespace kosmara
