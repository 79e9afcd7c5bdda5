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

uint16_t readX87Status() {
    uint16_t word = 0;
    asm volatile("fnstsw %0" : "=m"(word));
    return word;
}

EngineFpScope::EngineFpScope(uint32_t mxcsr)
    : savedMxcsr(_mm_getcsr()), savedX87Control(readX87Control()), savedX87Status(readX87Status()) {
    writeX87Control(kEngineX87Control);
    _mm_setcsr(mxcsr);
}

EngineFpScope::~EngineFpScope() {
    _mm_setcsr(savedMxcsr);
    // The status flags can only be written through the environment (FNSTENV, FLDENV: tens of
    // nanoseconds), so that is done only when the scope raised a flag the caller had not raised:
    // in the SSE build as a rule (its conversions raise the precision flag), in the others only where the maths
    // library computes on the x87 unit. The caller's control word comes back after its flags.
    const uint16_t flags = savedX87Status & kX87StatusFlags;
    if ((readX87Status() & kX87StatusFlags) != flags) {
        X87Environment environment;
        asm volatile("fnstenv %0" : "=m"(environment));
        uint32_t& status = environment.words[kX87EnvironmentStatus];
        status = (status & ~uint32_t{kX87StatusFlags}) | flags;
        asm volatile("fldenv %0" : : "m"(environment));
    }
    writeX87Control(savedX87Control);
}

X87LoopScope::X87LoopScope() : savedControl(readX87Control()) { writeX87Control(kLoopX87Control); }

X87LoopScope::~X87LoopScope() { writeX87Control(savedControl); }

}  // namespace tarsk
