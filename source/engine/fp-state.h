// The processor's floating-point state around the processing loop: flush-to-zero and rounding
// toward minus infinity in the SSE control register (MXCSR), for the SSE build also round-down in
// the x87 control word, where that build converts floats to integers. The caller's state is saved
// on entry and restored on exit, so a host never finds its state changed.
//
// The x87 word is set to round down only while the SSE build's per-sample loop runs, not for the
// whole callback: the control-period update between the runs calls the maths library, and MinGW's
// (sin, exp2, log2, pow, ...; on i686 all double arithmetic) computes on the x87 unit, so under a
// round-down x87 word the SSE build would get other coefficients than the scalar and SSE2 builds.
#pragma once

#include <cstdint>

namespace tarsk {

// MXCSR while the loop runs: every exception masked, rounding toward minus infinity, flush-to-zero,
// no denormals-are-zero, no flags.
constexpr uint32_t kMxcsrExceptionMasks = 0x1F80;
constexpr uint32_t kMxcsrRoundDown = 0x2000;
constexpr uint32_t kMxcsrFlushToZero = 0x8000;
constexpr uint32_t kLoopMxcsr = kMxcsrExceptionMasks | kMxcsrRoundDown | kMxcsrFlushToZero;

// x87 control word while the SSE build's loop runs: every exception masked, 64-bit precision, round
// down.
constexpr uint16_t kX87ExceptionMasks = 0x003F;
constexpr uint16_t kX87ReservedBit = 0x0040;
constexpr uint16_t kX87Precision64 = 0x0300;
constexpr uint16_t kX87RoundDown = 0x0400;
constexpr uint16_t kLoopX87Control = kX87ExceptionMasks | kX87ReservedBit | kX87Precision64 | kX87RoundDown;

uint32_t readMxcsr();
void writeMxcsr(uint32_t value);
uint16_t readX87Control();
void writeX87Control(uint16_t value);

// The x87 environment as FNSTENV stores it: control, status and tag words, last instruction and
// operand pointers (28 bytes).
struct X87Environment {
    uint32_t words[7] = {};
};

// Sets the loop's MXCSR for its lifetime and restores the caller's afterwards. With `x87` the x87
// environment (control and status words) is saved and restored as well, so that the flags the SSE
// build's conversions raise do not reach the caller; its control word is left to X87LoopScope.
class LoopFpScope {
public:
    explicit LoopFpScope(bool x87);
    ~LoopFpScope();
    LoopFpScope(const LoopFpScope&) = delete;
    LoopFpScope& operator=(const LoopFpScope&) = delete;

private:
    uint32_t savedMxcsr = 0;
    bool withX87 = false;
    X87Environment savedX87;
};

// Sets the x87 control word to kLoopX87Control for its lifetime and restores the previous word
// afterwards (the status flags are left to LoopFpScope): held by the SSE build of the loop itself,
// around its conversions and nothing else.
class X87LoopScope {
public:
    X87LoopScope();
    ~X87LoopScope();
    X87LoopScope(const X87LoopScope&) = delete;
    X87LoopScope& operator=(const X87LoopScope&) = delete;

private:
    uint16_t savedControl = 0;
};

}  // namespace tarsk
