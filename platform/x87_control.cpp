#include "platform/x87_control.h"

#if !(defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)))
#error "the x87 control word needs an x86 processor and GCC-style inline assembly"
#endif

namespace kosmara {

std::uint16_t ReadX87ControlWord() noexcept {
    std::uint16_t word;
    asm volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

void WriteX87ControlWord(std::uint16_t word) noexcept {
    asm volatile("fldcw %0" : : "m"(word) : "memory");
}

// Loading the control word stalls the unit, and the writer enters these
// scopes several times per record inside one around the whole walk: a word
// that is already the wanted one (or already the caller's again) is left
// alone. Reading it costs next to nothing.
ExtendedPrecisionScope::ExtendedPrecisionScope() noexcept : saved_(ReadX87ControlWord()) {
    // Keep the reserved and infinity-control bits of the caller, replace
    // precision (bits 8-9), rounding (bits 10-11) and the exception masks.
    const auto wanted = static_cast<std::uint16_t>((saved_ & ~0x0F3Fu) | kExtendedControlWord);
    if (wanted != saved_) WriteX87ControlWord(wanted);
}

ExtendedPrecisionScope::~ExtendedPrecisionScope() {
    if (ReadX87ControlWord() != saved_) WriteX87ControlWord(saved_);
}

}  // namespace kosmara
