// VerbEffect: the effect object of this plug-in. It holds the four program slots, the working record
// of the current program, the change flags by which program changes reach the engine, and the
// delay memory; it exchanges programs with the host (chunks), the editor (snapshot and commit) and
// the engine (the record copy at cooking).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "editor/editor-host.h"
#include "editor/editor-settings.h"
#include "engine/engine.h"
#include "engine/program-record.h"
#include "plugin/editor-window.h"
#include "plugin/effect-base.h"

namespace tarsk {

constexpr int32_t kProgramSlots = 4;
constexpr int32_t kEffectFlags =
    vst2::effFlagsHasEditor | vst2::effFlagsCanMono | vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks;
constexpr size_t kDelayMemoryBytes = 0x200000;
static_assert(kDelayMemoryBytes == kRingWords * sizeof(float), "the delay memory is the engine's ring");
constexpr double kMeterIntervalSeconds = 0.5;  // the load meter publishes twice a second
constexpr int32_t kNoProgram = -1;

constexpr const char* kDefaultProgramFile = "Ridiva ra dez Urerozidu.fxp";
constexpr const char* kInitProgramFile = "Init.fxp";

// The four change flags: writers set them under the program lock; the engine reads and clears them.
struct ChangeFlags {
    std::atomic<uint8_t> cookPending{0};
    std::atomic<uint8_t> resetPending{0};
    std::atomic<uint8_t> lengthsChanged{0};
    std::atomic<uint8_t> modulationChanged{0};

    // Every flag: a whole program changed.
    void setAll();
    // ORs the flags of a 4-byte mask (cook, reset, lengths, modulation in bytes 0 to 3).
    void merge(const uint8_t mask[4]);
};

class VerbEffect final : public EffectBase, public EditorHost {
public:
    explicit VerbEffect(vst2::HostCallback host);
    ~VerbEffect() override;

    // ---- operations of the effect ----
    void process(float** inputs, float** outputs, int32_t frames) override;
    void open() override;
    void close() override;
    void setProgram(int32_t index) override;
    void setProgramName(const char* name) override;
    void setSampleRate() override;
    void tempoChanged() override;
    void mainsChanged(bool on) override;
    void setChunk(const void* data, size_t size, bool quiet, int32_t program) override;
    size_t getChunk(void** data) override;
    bool getProgramNameIndexed(char* text, int32_t index) override;
    int32_t canDo(const char* text) override;

    // Reads a chunk into one slot (0 to 3); answers false when the chunk was refused.
    bool loadSlot(const void* data, size_t size, uint32_t slot);

    // ---- editor side of the exchange ----
    // Copies the program state; answers false when there is none.
    bool snapshot(ProgramSnapshot& out) override;
    // Hands the editor's state back; edits are dropped when somebody else wrote since the snapshot.
    // changeMask: the flags the edits need.
    CommitResult commit(const ProgramSnapshot& edited, const uint8_t changeMask[kChangeFlagCount]) override;
    ProgramRecord programCopy(int32_t slot) override;
    float tempo() const override;
    float rate() const override { return sampleRate(); }
    LoadFigures loadFigures() const override;
    HostFacts hostFacts() const override;
    void requestEditorSize(int width, int height) override;

    // ---- engine side of the exchange ----
    // Copies the record that the engine plays (the edit target's), under the program lock.
    void copyPlayedRecord(ProgramRecord& out);
    // The sound engine (its load figures feed the editor's summary).
    const Engine& audioEngine() const { return engine; }

    // ---- inspection ----
    ChangeFlags& changeFlags() { return changes; }
    uint32_t editTarget() const { return target.load(std::memory_order_acquire); }
    bool freezeOn() const { return freeze.load(std::memory_order_acquire) != 0; }
    bool bypassOn() const { return bypass.load(std::memory_order_acquire) != 0; }
    const EditorSettings& editorSettings() const { return settings; }
    bool hasDelayMemory() const { return delayMemory != nullptr; }
    // Lets tests and the editor attach the editor window's view.
    void attachEditorView(EditorView* view) { editorView = view; }
    // The editor this effect made (its window exists only while the host has it open).
    EditorWindow* editor() { return editorWindow.get(); }

private:
    // The record a reader of program i takes; call with the program lock held.
    const ProgramRecord& programRef(int32_t index) const;
    // Loads a chunk into a slot; the program lock must be held.
    bool loadSlotLocked(const void* data, size_t size, uint32_t slot);
    // The played record and the cook flags, taken together under the program lock.
    void takeCook(ProgramRecord& out, CookRequest& request);
    void copyPlayedRecordLocked(ProgramRecord& out) const;

    ChangeFlags changes;
    std::atomic<uint8_t> freeze{0};
    std::atomic<uint8_t> bypass{0};
    std::atomic<uint8_t> layoutSwitch{0};
    std::atomic<uint8_t> modulationRestart{0};  // set by a resume, taken by the next audio block
    std::atomic<uint32_t> target{0};
    std::atomic<float> editorTempo{kDefaultTempo};  // the last valid host tempo, for the editor
    std::unique_ptr<ProgramRecord[]> slots;
    std::unique_ptr<uint8_t[]> chunkBuffer;  // what getChunk hands the host; written under the program lock
    ProgramRecord working;
    EditorSettings settings;
    std::unique_ptr<EditorWindow> editorWindow;  // the editor; its window exists between open and close
    float* delayMemory = nullptr;
    uint64_t performanceFrequency = 0;
    Engine engine;

    friend struct VerbEffectProbe;  // tests reach the program lock through it
};

}  // namespace tarsk
