// What the editor needs of the effect object: the program exchange of every frame (snapshot and
// commit under the program lock), the other slots' programs, and the facts the pages show. The
// effect object implements it; tests may put a fake behind it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/engine-state.h"
#include "engine/program-record.h"

namespace tarsk {

// What the editor copies at the start of a frame and hands back at its end.
struct ProgramSnapshot {
    uint64_t counter = 0;  // 0: no program state was copied
    ProgramRecord record;
    int32_t currentIndex = 0;
    uint32_t editTarget = 0;
    uint8_t freeze = 0;
    uint8_t bypass = 0;
};

// What a commit did with the editor's state.
enum class CommitResult {
    dropped,    // somebody else wrote since the snapshot: the frame's edits were dropped
    unchanged,  // the record equalled the working record (switches or edit target may have been stored)
    written,    // the record differed and was written
};

// Indices of the four change flags in a change mask.
constexpr int kFlagCook = 0;
constexpr int kFlagReset = 1;
constexpr int kFlagLengths = 2;
constexpr int kFlagModulation = 3;
constexpr int kChangeFlagCount = 4;

// What the Info page shows about the plug-in and its host (strings and numbers as the effect obtained
// them from the host when it was made).
struct HostFacts {
    const char* effectName = "";    // the effect's product name
    const char* hostVendor = "";    // the host's vendor string
    const char* hostProduct = "";   // the host's product string
    int32_t hostVendorVersion = 0;  // the host's own version number
    int32_t hostVstVersion = 0;     // the VST version the host speaks
    double meterSeconds = 0.0;      // the load meter's interval in seconds (0: it does not report)
};

class EditorHost {
public:
    virtual ~EditorHost() = default;

    // Copies the program state; answers false when there is none.
    virtual bool snapshot(ProgramSnapshot& out) = 0;
    // Hands the editor's state back; changeMask holds the flags the edits need (kFlag* indices).
    virtual CommitResult commit(const ProgramSnapshot& edited, const uint8_t changeMask[kChangeFlagCount]) = 0;
    // A copy of the program in a slot (0 to 3) as a reader sees it.
    virtual ProgramRecord programCopy(int32_t slot) = 0;

    // The host's tempo in beats per minute (the last valid one; 120 until one arrives).
    virtual float tempo() const = 0;
    // The sample rate the effect runs at (0 before the host set one).
    virtual float rate() const = 0;
    // The audio engine's published load figures.
    virtual LoadFigures loadFigures() const = 0;
    // The plug-in and host facts of the Info page.
    virtual HostFacts hostFacts() const { return {}; }
    // Asks for a new editor window size in pixels (the window follows between frames, then the host).
    virtual void requestEditorSize(int width, int height) = 0;
};

}  // namespace tarsk
