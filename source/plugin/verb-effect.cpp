// VerbEffect: program slots, chunks, the editor's snapshot and commit, and the engine's record copy.
//
// Index: change flags | construction | lifecycle | programs | chunks | editor exchange | processing
#include "plugin/verb-effect.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "plugin/can-do.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "tarsklib/platform-clock.h"
#include "tarsklib/resource.h"
#include "tarsklib/settings-store.h"

namespace tarsk {

namespace {

void loadProgramResource(VerbEffect& effect, const char* fileName, uint32_t slot) {
    struct Loader final : ChunkSlotLoader {
        explicit Loader(VerbEffect& e) : effect(e) {}
        bool loadSlot(const uint8_t* data, size_t size, uint32_t to) override { return effect.loadSlot(data, size, to); }
        VerbEffect& effect;
    } loader(effect);
    std::unique_ptr<MemoryStream> stream = openResource(fileName);
    if (stream != nullptr) {
        readFxpIntoSlot(loader, *stream, slot);
    }
}

uint32_t readU32LittleEndian(const void* data) {
    const uint8_t* b = static_cast<const uint8_t*>(data);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

constexpr size_t kMinimumChunkBytes = 17;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Change flags

void ChangeFlags::setAll() {
    // The details before cookPending: whoever sees the cook request also sees what it has to redo.
    resetPending.store(1, std::memory_order_release);
    lengthsChanged.store(1, std::memory_order_release);
    modulationChanged.store(1, std::memory_order_release);
    cookPending.store(1, std::memory_order_release);
}

void ChangeFlags::merge(const uint8_t mask[4]) {
    cookPending.fetch_or(mask[0], std::memory_order_acq_rel);
    resetPending.fetch_or(mask[1], std::memory_order_acq_rel);
    lengthsChanged.fetch_or(mask[2], std::memory_order_acq_rel);
    modulationChanged.fetch_or(mask[3], std::memory_order_acq_rel);
}

// ---------------------------------------------------------------------------------------------
// Construction

VerbEffect::VerbEffect(vst2::HostCallback host) : EffectBase(host, kProgramSlots, 0) {
    aeffect.numInputs = 2;
    aeffect.numOutputs = 2;
    aeffect.flags |= kEffectFlags;

    SettingsStore store;
    store.load(kSettingsIdentifier);
    settings.load(store);

    slots.reset(new ProgramRecord[kProgramSlots]());
    chunkBuffer.reset(new uint8_t[kMaxChunkBytes]());
    loadProgramResource(*this, kDefaultProgramFile, 0);
    for (uint32_t slot = 1; slot < kProgramSlots; ++slot) {
        loadProgramResource(*this, kInitProgramFile, slot);
    }
    {
        LockGuard guard = LockGuard::locked(programLock);
        current.store(0, std::memory_order_release);
        working = slots[0];
    }
    editorWindow = std::make_unique<EditorWindow>(*this, *this, settings);
    editorView = editorWindow.get();
}

VerbEffect::~VerbEffect() {
    // The window goes before anything it could reach.
    editorView = nullptr;
    editorWindow.reset();
    std::free(delayMemory);
    delayMemory = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void VerbEffect::open() {
    std::free(delayMemory);
    delayMemory = static_cast<float*>(std::calloc(1, kDelayMemoryBytes));
    engine.attachRing(delayMemory);
    changes.setAll();
    layoutSwitch.store(0, std::memory_order_release);
    lastTempo = 0.0f;
    performanceFrequency = counterFrequency();
    engine.setMeterInterval(static_cast<uint64_t>(static_cast<double>(performanceFrequency) * kMeterIntervalSeconds));
}

void VerbEffect::close() {
    engine.attachRing(nullptr);
    std::free(delayMemory);
    delayMemory = nullptr;
    LockGuard guard = LockGuard::locked(programLock);
    slots.reset();
}

void VerbEffect::setSampleRate() { changes.setAll(); }
// The engine takes the host's tempo with every block (process, below) and re-cooks only a program
// synced to it, keeping what the lines hold; a tempo change is not a program change.
void VerbEffect::tempoChanged() {
    float bpm = hostTempo();
    if (std::isfinite(bpm) && bpm >= kMinTempo && bpm <= kMaxTempo) {
        editorTempo.store(bpm, std::memory_order_relaxed);
    }
}

float VerbEffect::tempo() const { return editorTempo.load(std::memory_order_relaxed); }

LoadFigures VerbEffect::loadFigures() const {
    // The audio thread publishes each word atomically; a figure read mid-update mixes two intervals,
    // which a display shrugs off.
    auto& published = const_cast<LoadFigures&>(engine.loadFigures());
    LoadFigures out;
    out.load = std::atomic_ref<float>(published.load).load(std::memory_order_relaxed);
    out.cycles = std::atomic_ref<uint64_t>(published.cycles).load(std::memory_order_relaxed);
    out.samples = std::atomic_ref<uint32_t>(published.samples).load(std::memory_order_relaxed);
    out.controlPeriods = std::atomic_ref<uint32_t>(published.controlPeriods).load(std::memory_order_relaxed);
    out.callbacks = std::atomic_ref<uint32_t>(published.callbacks).load(std::memory_order_relaxed);
    out.structure = std::atomic_ref<uint32_t>(published.structure).load(std::memory_order_relaxed);
    return out;
}

HostFacts VerbEffect::hostFacts() const {
    HostFacts facts;
    facts.effectName = kProductName;
    facts.hostVendor = hostVendor();
    facts.hostProduct = hostProduct();
    facts.hostVendorVersion = hostVendorVersion();
    facts.hostVstVersion = hostVstVersion();
    facts.meterSeconds = performanceFrequency > 0 ? kMeterIntervalSeconds : 0.0;
    return facts;
}

void VerbEffect::requestEditorSize(int width, int height) {
    if (editorWindow != nullptr) {
        editorWindow->requestSize(width, height);
    }
}

void VerbEffect::mainsChanged(bool on) {
    if (on) {
        // A resume (hosts send one before every offline render) starts the sound over: cleared
        // memory and the modulation from its beginning, so that two renders of the same input match.
        modulationRestart.store(1, std::memory_order_release);
        changes.resetPending.store(1, std::memory_order_release);
    }
}

int32_t VerbEffect::canDo(const char* text) { return lookupCanDo(text); }

// ---------------------------------------------------------------------------------------------
// Programs

const ProgramRecord& VerbEffect::programRef(int32_t index) const {
    return index == current.load(std::memory_order_relaxed) || slots == nullptr ? working : slots[index];
}

ProgramRecord VerbEffect::programCopy(int32_t index) {
    LockGuard guard = LockGuard::locked(programLock);
    return programRef(index);
}

void VerbEffect::setProgram(int32_t index) {
    if (index < 0 || index >= kProgramSlots) {
        return;
    }
    LockGuard guard = LockGuard::locked(programLock);
    ++changeCounter;
    if (slots == nullptr) {
        return;
    }
    int32_t now = current.load(std::memory_order_relaxed);
    if (index != now) {
        slots[now] = working;
        current.store(index, std::memory_order_release);
        working = slots[index];
    }
    if (target.load(std::memory_order_relaxed) != static_cast<uint32_t>(index)) {
        if (working.u(word::halfLife) == 0) {  // exactly +0.0: a program without feedback cannot freeze
            freeze.store(0, std::memory_order_release);
        }
        changes.setAll();
        target.store(static_cast<uint32_t>(index), std::memory_order_release);
    }
}

void VerbEffect::setProgramName(const char* name) {
    if (name == nullptr) {
        return;
    }
    LockGuard guard = LockGuard::locked(programLock);
    ++changeCounter;
    char* field = working.name();
    size_t n = strnlen(name, kShownNameChars);
    std::memcpy(field, name, n);
    std::memset(field + n, 0, kShownNameChars + 1 - n);
    if (slots != nullptr) {
        std::memcpy(slots[current.load(std::memory_order_relaxed)].name(), field, kNameBytes);
    }
}

bool VerbEffect::getProgramNameIndexed(char* text, int32_t index) {
    if (text == nullptr || index < 0 || index >= kProgramSlots) {
        return false;
    }
    // The program lock keeps a concurrent load from tearing the name; it is held only for copies.
    LockGuard guard = LockGuard::locked(programLock);
    copyShownName(programRef(index), text);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Chunks

size_t VerbEffect::getChunk(void** data) {
    if (data == nullptr) {
        return 0;
    }
    LockGuard guard = LockGuard::locked(programLock);
    if (changeCounter == 0) {
        return 0;
    }
    // The instance's own buffer: what the host was handed stays as it was until this instance is
    // asked again, whatever other instances save meanwhile.
    size_t size = writeChunk(chunkBuffer.get(), working);
    *data = chunkBuffer.get();
    return size;
}

bool VerbEffect::loadSlotLocked(const void* data, size_t size, uint32_t slot) {
    ++changeCounter;
    if (slots == nullptr || slot >= kProgramSlots) {
        return false;
    }
    if (!readChunk(slots[slot], static_cast<const uint8_t*>(data), size)) {
        return false;
    }
    if (slot == static_cast<uint32_t>(current.load(std::memory_order_relaxed))) {
        working = slots[slot];
        if (working.u(word::halfLife) == 0) {
            freeze.store(0, std::memory_order_release);
        }
        changes.setAll();
    }
    return true;
}

bool VerbEffect::loadSlot(const void* data, size_t size, uint32_t slot) {
    if (data == nullptr) {
        return false;
    }
    LockGuard guard = LockGuard::locked(programLock);
    return loadSlotLocked(data, size, slot);
}

void VerbEffect::setChunk(const void* data, size_t size, bool quiet, int32_t program) {
    if (data != nullptr && size >= kMinimumChunkBytes) {
        uint32_t magic = readU32LittleEndian(data);
        if (magic == kProgramMagicOld || magic == kProgramMagic) {
            LockGuard guard = LockGuard::locked(programLock);
            if (program == kNoProgram) {
                loadSlotLocked(data, size, static_cast<uint32_t>(current.load(std::memory_order_relaxed)));
            } else if (program >= 0 && program < kProgramSlots &&
                       loadSlotLocked(data, size, static_cast<uint32_t>(program))) {
                target.store(static_cast<uint32_t>(program), std::memory_order_release);
                changes.setAll();
            }
        }
    }
    if (!quiet && editorView != nullptr) {
        editorView->postCommand(kEditorCommandProgramsReplaced);
    }
}

// ---------------------------------------------------------------------------------------------
// Editor exchange

bool VerbEffect::snapshot(ProgramSnapshot& out) {
    LockGuard guard = LockGuard::locked(programLock);
    if (changeCounter == 0) {
        return false;
    }
    out.counter = changeCounter;
    out.currentIndex = current.load(std::memory_order_relaxed);
    out.record = programRef(out.currentIndex);
    out.editTarget = target.load(std::memory_order_relaxed);
    out.freeze = freeze.load(std::memory_order_relaxed);
    out.bypass = bypass.load(std::memory_order_relaxed);
    return true;
}

CommitResult VerbEffect::commit(const ProgramSnapshot& edited, const uint8_t changeMask[kChangeFlagCount]) {
    bool nameChanged = false;
    CommitResult result = CommitResult::unchanged;
    {
        LockGuard guard = LockGuard::locked(programLock);
        ++changeCounter;
        if (changeCounter != edited.counter + 1) {
            return CommitResult::dropped;  // somebody else wrote in between: this frame's edits are dropped
        }
        if (!(edited.record == working)) {
            nameChanged = std::memcmp(edited.record.name(), working.name(), kNameBytes) != 0;
            working = edited.record;
            result = CommitResult::written;
            target.store(edited.editTarget, std::memory_order_release);
            changes.merge(changeMask);
        } else if (edited.editTarget != target.load(std::memory_order_relaxed)) {
            target.store(edited.editTarget, std::memory_order_release);
            changes.merge(changeMask);
        }
        if (edited.freeze != freeze.load(std::memory_order_relaxed) ||
            edited.bypass != bypass.load(std::memory_order_relaxed)) {
            freeze.store(edited.freeze, std::memory_order_release);
            bypass.store(edited.bypass, std::memory_order_release);
            changes.cookPending.store(1, std::memory_order_release);
        }
    }
    // Outside the lock: the host may ask for the program names from inside this call.
    if (nameChanged) {
        updateDisplay();
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Processing

void VerbEffect::copyPlayedRecordLocked(ProgramRecord& out) const {
    uint32_t slot = target.load(std::memory_order_relaxed);
    out = slot < kProgramSlots ? programRef(static_cast<int32_t>(slot)) : working;
}

void VerbEffect::copyPlayedRecord(ProgramRecord& out) {
    LockGuard guard = LockGuard::locked(programLock);
    copyPlayedRecordLocked(out);
}

void VerbEffect::takeCook(ProgramRecord& out, CookRequest& request) {
    // Writers change the record and raise its flags under the program lock, so taking both under
    // it pairs every record with exactly the flags of its changes. A change after this copy
    // raises cookPending again and is cooked in the next block.
    LockGuard guard = LockGuard::locked(programLock);
    changes.cookPending.store(0, std::memory_order_release);
    request.lengthsChanged = changes.lengthsChanged.exchange(0, std::memory_order_acq_rel) != 0;
    request.modulationChanged = changes.modulationChanged.exchange(0, std::memory_order_acq_rel) != 0;
    request.freeze = freeze.load(std::memory_order_acquire) != 0;
    request.bypass = bypass.load(std::memory_order_acquire) != 0;
    copyPlayedRecordLocked(out);
}

void VerbEffect::process(float** inputs, float** outputs, int32_t frames) {
    const uint32_t n = frames > 0 ? static_cast<uint32_t>(frames) : 0u;
    if (delayMemory == nullptr) {
        // Without delay memory (effOpen failed to get it) the effect is silent; the pending changes
        // wait for a later open.
        for (int c = 0; c < 2; ++c) {
            if (outputs[c] != nullptr) {
                std::memset(outputs[c], 0, n * sizeof(float));
            }
        }
        return;
    }
    // A missing, zero, negative, non-finite or absurd tempo is ignored: the engine keeps the last
    // valid one (120 BPM until the host reports one).
    engine.setTempo(hostTempo());
    // The only lock of the audio thread: the record copy when a change is pending.
    if (changes.cookPending.load(std::memory_order_acquire) != 0) {
        ProgramRecord played;
        CookRequest request;
        takeCook(played, request);
        engine.setSampleRate(sampleRate());
        engine.cook(played, request);
    }
    if (changes.resetPending.exchange(0, std::memory_order_acq_rel) != 0) {
        engine.reset();
    }
    if (modulationRestart.exchange(0, std::memory_order_acq_rel) != 0) {
        engine.restartModulation();
    }
    engine.process(inputs[0], inputs[1], outputs[0], outputs[1], n);
}

}  // namespace tarsk
