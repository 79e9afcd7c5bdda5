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

LoopFpScope::LoopFpScope(bool x87) : savedMxcsr(_mm_getcsr()), withX87(x87) {
    if (withX87) {
        // FNSTENV keeps the caller's status flags too; the conversions of the loop raise the
        // precision flag, and FLDENV puts the caller's flags back unchanged.
        // FNSTENV also masks every x87 exception; the control word is put back at once.
        const uint16_t control = readX87Control();
        asm volatile("fnstenv %0" : "=m"(savedX87));
        writeX87Control(control);
    }
    _mm_setcsr(kLoopMxcsr);
}

LoopFpScope::~LoopFpScope() {
    _mm_setcsr(savedMxcsr);
    if (withX87) {
        asm volatile("fldenv %0" : : "m"(savedX87));
    }
}

X87LoopScope::X87LoopScope() : savedControl(readX87Control()) { writeX87Control(kLoopX87Control); }

X87LoopScope::~X87LoopScope() { writeX87Control(savedControl); }

}  // namespace tarsk
