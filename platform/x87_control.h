// The x87 unit's control word (precision, rounding, exception masks): read,
// written, and set to 64-bit extended precision with rounding to nearest for
// a scope. The word is per thread and can be changed by anything in the
// process: the Windows runtime starts new threads in 53-bit mode, and a shell
// extension or driver loaded by a file dialog may leave it so. The calendar
// and angle texts, defined on extended arithmetic, are computed under
// ExtendedPrecisionScope, which sets the precision and rounding they need and
// gives the caller's word back on every way out; the window's file dialogs
// give the caller its word back after the shell had the thread.
#pragma once

#include <cstdint>
#include <limits>

namespace kosmara {

static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the x87 80-bit extended format");

// Precision control 64 bits, rounding to nearest, all x87 exceptions masked
// (invalid inputs are detected by the routines themselves).
inline constexpr std::uint16_t kExtendedControlWord = 0x037F;

std::uint16_t ReadX87ControlWord() noexcept;
void WriteX87ControlWord(std::uint16_t word) noexcept;

// x cut toward zero, for finite |x| < 2^63, the same integer as
// static_cast<std::int64_t>(x) in every rounding mode and precision. That
// cast switches the unit to truncation and back around each conversion,
// and loading the control word stalls it; this rounds in the current mode
// and steps back toward zero where rounding went past x.
inline std::int64_t CutToInteger64(long double x) noexcept {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    std::int64_t rounded;
    __asm__("fistpll %0" : "=m"(rounded) : "t"(x) : "st");
    const long double back = static_cast<long double>(rounded);  // exact: |rounded| <= 2^63
    if (x >= 0 ? back > x : back < x) rounded += x >= 0 ? -1 : 1;
    return rounded;
#else
    return static_cast<std::int64_t>(x);
#endif
}

class ExtendedPrecisionScope {
public:
    ExtendedPrecisionScope() noexcept;
    ~ExtendedPrecisionScope();
    ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
    ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

private:
    std::uint16_t saved_;
};

}  // namespace kosmara
