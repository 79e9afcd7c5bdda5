// Saving, setting and restoring the SSE control register and the x87 environment.
#include "engine/fp-state.h"

#include <xmmintrin.h>

namespace tarsk {

uint32_t readMxcsr() { return _mm_getcsr(); }

void writeMxcsr(uint32_t value) { _mm_setcsr(value); }

uint16_t readX87Control() {
    uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

void writeX87Control(uint16_t value) { asm volatile("fldcw %0" : : "m"(value)); }

LoopFpScope::LoopFpScope() : savedMxcsr(_mm_getcsr()) {
    // FNSTENV keeps the caller's status flags too (and masks every x87 exception); FLDENV puts the
    // caller's words back unchanged.
    asm volatile("fnstenv %0" : "=m"(savedX87));
    writeX87Control(kCallbackX87Control);
    _mm_setcsr(kLoopMxcsr);
}

LoopFpScope::~LoopFpScope() {
    _mm_setcsr(savedMxcsr);
    asm volatile("fldenv %0" : : "m"(savedX87));
}

X87LoopScope::X87LoopScope() : savedControl(readX87Control()) { writeX87Control(kLoopX87Control); }

X87LoopScope::~X87LoopScope() { writeX87Control(savedControl); }

}  // namespace tarsk
