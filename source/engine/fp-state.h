// The processor's floating-point state around the processing loop: flush-to-zero and rounding
// toward minus infinity in the SSE control register (MXCSR), for the SSE build also round-down in
// the x87 control word, where that build converts floats to integers. The caller's state is saved
// on entry and restored on exit, so a host never finds its state changed.
//
// The x87 word matters beyond those conversions: the control-period update between the loop's runs
// calls the maths library, and MinGW's (sin, exp2, log2, pow, exp, ...; on i686 all double
// arithmetic) computes on the x87 unit, where the rounding control changes its results by an ulp.
// So the whole callback runs under one fixed x87 word (round to nearest, 53-bit precision, every
// exception masked), whatever the host's is, and the round-down word is set only while the SSE
// build's per-sample loop runs: every build gets the same coefficients under every host.
//
// Cooking is held to a fixed state too: the SSE control register at its power-on value (round to
// nearest, no flush-to-zero, no denormals-are-zero) and the same x87 word. A host may call from a
// thread whose state it changed (audio threads flush denormals; on 32-bit Windows a graphics library
// may leave the x87 unit at 24-bit precision), and the coefficients must not depend on it. 53-bit
// precision makes the x87 arithmetic of the 32-bit build (which has no SSE2 for doubles) round as
// SSE2 does, so both builds cook the same line lengths and coefficients.
#pragma once

#include <cstdint>

namespace tarsk {

// MXCSR while the loop runs: every exception masked, rounding toward minus infinity, flush-to-zero,
// no denormals-are-zero, no flags.
constexpr uint32_t kMxcsrExceptionMasks = 0x1F80;
constexpr uint32_t kMxcsrRoundDown = 0x2000;
constexpr uint32_t kMxcsrFlushToZero = 0x8000;
constexpr uint32_t kLoopMxcsr = kMxcsrExceptionMasks | kMxcsrRoundDown | kMxcsrFlushToZero;

// MXCSR while cooking: every exception masked, round to nearest, no flags.
constexpr uint32_t kCookMxcsr = kMxcsrExceptionMasks;

// x87 control words. For the callback and for cooking: every exception masked, 53-bit precision,
// round to nearest. While the SSE build's loop runs: the same, rounding down.
constexpr uint16_t kX87ExceptionMasks = 0x003F;
constexpr uint16_t kX87ReservedBit = 0x0040;
constexpr uint16_t kX87Precision53 = 0x0200;
constexpr uint16_t kX87RoundDown = 0x0400;
constexpr uint16_t kEngineX87Control = kX87ExceptionMasks | kX87ReservedBit | kX87Precision53;
constexpr uint16_t kLoopX87Control = kEngineX87Control | kX87RoundDown;

// x87 status word: the exception flags, the stack fault and the error summary.
constexpr uint16_t kX87StatusFlags = 0x00FF;

uint32_t readMxcsr();
void writeMxcsr(uint32_t value);
uint16_t readX87Control();
void writeX87Control(uint16_t value);
uint16_t readX87Status();

// The x87 environment as FNSTENV stores it: control, status and tag words, last instruction and
// operand pointers (28 bytes).
struct X87Environment {
    uint32_t words[7] = {};
};
constexpr int kX87EnvironmentStatus = 1;  // the word of X87Environment that holds the status word

// Sets MXCSR and the engine's x87 control word for its lifetime and restores the caller's state
// afterwards: MXCSR, the x87 control word and the x87 status flags, so that the flags the engine and
// the maths library raise do not reach the caller either.
class EngineFpScope {
public:
    explicit EngineFpScope(uint32_t mxcsr);
    ~EngineFpScope();
    EngineFpScope(const EngineFpScope&) = delete;
    EngineFpScope& operator=(const EngineFpScope&) = delete;

private:
    uint32_t savedMxcsr = 0;
    uint16_t savedX87Control = 0;
    uint16_t savedX87Status = 0;
};

// The state of the processing callback.
class LoopFpScope : public EngineFpScope {
public:
    LoopFpScope() : EngineFpScope(kLoopMxcsr) {}
};

// The state of a cook.
class CookFpScope : public EngineFpScope {
public:
    CookFpScope() : EngineFpScope(kCookMxcsr) {}
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
