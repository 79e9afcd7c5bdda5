// EffectBase: the object behind the AEffect record that a host holds. It speaks the VST 2.x protocol
// (dispatcher, audio callback, host queries, lock discipline, event slicing, message pipe) and leaves
// what the effect does to the virtual operations that a derived effect overrides.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "plugin/editor-view.h"
#include "plugin/event-queue.h"
#include "plugin/vst2-abi.h"
#include "tarsklib/message-pipe.h"
#include "tarsklib/spin-lock.h"

namespace tarsk {

constexpr int32_t kUniqueId = 0x5D3B6001;
constexpr int32_t kEffectVersion = 760;
constexpr int32_t kVstVersion = 2400;
constexpr const char* kEffectName = "TarskVerb 0.7.6";
constexpr const char* kVendorName = "TarskCode";
constexpr const char* kProductName = "TarskVerb FDN Processor 0.7.6";

// Lock discipline. The audio callback tries the host-call lock a bounded number of times and never
// sleeps; a non-audio caller spins as briefly, then sleeps in short steps for as long as one audio
// block can hold the lock. A change that still finds the lock busy is kept and carried out by the
// next holder of the lock (program, sample rate, block size), so nothing latches the instance off.
constexpr uint32_t kAudioLockTries = 200;
constexpr uint32_t kHostCallSpins = 200;
constexpr uint32_t kHostCallWaitMicros = 50000;
// A block that cannot be processed fades from its last output sample by this factor per frame
// (about -58 dB after 64 frames) instead of leaving the host's buffer as it was.
constexpr float kSilenceFadePerFrame = 0.9f;
constexpr float kSilenceFloor = 1.0e-6f;
// The largest chunk kept for the next lock holder when effSetChunk finds the lock busy.
constexpr size_t kDeferredChunkBytes = 4096;
constexpr size_t kHostStringBytes = 64;
constexpr size_t kHostQueryScratchBytes = 1024;
constexpr size_t kEffectPipeBytes = 4096;
constexpr int kMaxChannelPointers = 8;

// Messages that other threads post to the effect's pipe; effEditIdle carries them out on the
// host's user-interface thread. Every message starts with a 32-byte head whose first word is its kind;
// the layouts below are the heads of each kind.
namespace message {
constexpr uint32_t kHostCall = 0;
constexpr uint32_t kNone = 1;
constexpr uint32_t kSetChunk = 2;
constexpr uint32_t kSetProgram = 3;
constexpr size_t kHeadBytes = 32;

// A host call to make on the user-interface thread. The pointer-sized value and pointer sit in the
// second half as 64-bit words, so that the head is 32 bytes whatever the pointer width.
struct HostCallHead {
    uint32_t kind = kHostCall;
    int32_t opcode = 0;
    int32_t index = 0;
    float opt = 0.0f;
    uint64_t value = 0;
    uint64_t pointer = 0;
};

// A chunk to set: the head's first 16 bytes, then `size` bytes of chunk (the message is at least 32
// bytes long, the chunk's bytes taking the place of the rest of the head).
struct SetChunkHead {
    uint32_t kind = kSetChunk;
    uint32_t unused = 0;
    uint32_t size = 0;
    int32_t program = 0;
};

// A program to switch to.
struct SetProgramHead {
    uint32_t kind = kSetProgram;
    uint32_t unused[2] = {};
    int32_t program = 0;
    uint32_t rest[4] = {};
};

static_assert(sizeof(HostCallHead) == kHeadBytes && sizeof(SetProgramHead) == kHeadBytes);
static_assert(offsetof(HostCallHead, value) == 16 && offsetof(HostCallHead, pointer) == 24);
static_assert(offsetof(SetProgramHead, program) == 12 && offsetof(SetChunkHead, program) == 12);

constexpr size_t kChunkOffset = sizeof(SetChunkHead);  // the chunk's bytes follow the 16-byte head
constexpr size_t kMaxChunk = kEffectPipeBytes - kChunkOffset;
}  // namespace message

// Host quirk: how the editor window treats keys it does not use.
constexpr int kEditorHostModeDefault = 0;
constexpr int kEditorHostModeTracktion = 1;
constexpr int kEditorHostModeSamplitude = 6;

class EffectBase {
public:
    EffectBase(vst2::HostCallback host, int32_t programs, int32_t params);
    virtual ~EffectBase();
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;

    // The record the host holds; it sits right after the virtual-table pointer.
    vst2::AEffect* record() { return &aeffect; }
    // The object behind a record, or null when the record is null or not one of ours.
    static EffectBase* fromRecord(vst2::AEffect* effect);

    // ---- operations a derived effect overrides ----
    virtual void parameterChanged(int32_t /*index*/) {}
    virtual void process(float** /*inputs*/, float** /*outputs*/, int32_t /*frames*/) {}
    virtual void processEvent(const vst2::VstEvent& /*event*/) {}
    virtual void open() {}
    virtual void close() {}
    virtual void setProgram(int32_t /*index*/) {}
    virtual void setProgramName(const char* /*name*/) {}
    virtual void setSampleRate() {}
    virtual void tempoChanged() {}
    virtual void setBlockSize() {}
    virtual void mainsChanged(bool /*on*/) {}
    virtual void setChunk(const void* /*data*/, size_t /*size*/, bool /*quiet*/, int32_t /*program*/) {}
    virtual size_t getChunk(void** /*data*/) { return 0; }
    virtual bool string2parameter(int32_t /*index*/, const char* /*text*/) { return false; }
    virtual bool getProgramNameIndexed(char* /*text*/, int32_t /*index*/) { return false; }
    virtual bool getPinProperties(bool /*isOutput*/, int32_t /*index*/, void* /*properties*/) { return false; }
    virtual int32_t canDo(const char* /*text*/) { return 0; }

    // ---- entry points from the host (the record's callbacks forward here) ----
    intptr_t dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
    void processReplacing(float** inputs, float** outputs, int32_t frames);

    // ---- services for the editor and the library ----
    void sizeWindow(int32_t width, int32_t height);
    void updateDisplay();
    // Posts a set-chunk or set-program message; answers false when the message does not fit.
    // Posting never waits: a full pipe drops the message.
    bool postSetChunk(const void* data, size_t size, int32_t program);
    bool postSetProgram(int32_t index);
    // A call of the host to make on its user-interface thread (from effEditIdle), for threads that
    // must not call it themselves.
    bool postHostCall(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

    // ---- host information ----
    const char* hostVendor() const { return hostVendorText; }
    const char* hostProduct() const { return hostProductText; }
    int32_t hostVstVersion() const { return hostVersion; }
    int32_t hostVendorVersion() const { return hostVendorVer; }
    bool canSizeWindow() const { return sizeWindowAllowed; }
    int editorHostMode() const;

    float sampleRate() const { return rate; }
    int32_t blockSize() const { return block; }
    float hostTempo() const { return lastTempo; }
    int32_t currentProgram() const { return current.load(std::memory_order_acquire); }
    // The program the host last chose: the current one, or one that waits for the next lock holder.
    int32_t hostProgram() const;
    // Counts for diagnostics: audio blocks written as fading silence because the host-call lock was
    // busy, host changes left for the next lock holder, and changes dropped because even that failed
    // (a chunk too large to keep, or an audio block holding the lock for far longer than a block).
    uint32_t fadedBlocks() const { return fadedBlockCount.load(std::memory_order_relaxed); }
    uint32_t deferredChanges() const { return deferredChangeCount.load(std::memory_order_relaxed); }
    uint32_t droppedChanges() const { return droppedChangeCount.load(std::memory_order_relaxed); }
    bool isOpened() const { return opened.load(std::memory_order_acquire) != 0; }
    bool isClosed() const { return closed.load(std::memory_order_acquire) != 0; }

    // Set for objects that live in an instance block of their own (see instance.h).
    void markPlacedInBlock() { placedInBlock = true; }
    bool isPlacedInBlock() const { return placedInBlock; }

protected:
    intptr_t callHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);

    // Whoever carries out effEditIdle: reads and executes at most one pipe message.
    intptr_t runPipeMessage();

    // First member, so that it sits right after the virtual-table pointer.
    vst2::AEffect aeffect{};
    vst2::HostCallback hostCallback = nullptr;
    char hostVendorText[kHostStringBytes] = {};
    char hostProductText[kHostStringBytes] = {};
    int32_t hostVersion = 0;
    int32_t hostVendorVer = 0;
    int32_t hostCurrentId = 0;
    bool sizeWindowAllowed = false;

    SpinLock hostCallLock;
    SpinLock programLock;
    std::atomic<uint8_t> opened{0};
    std::atomic<uint8_t> closed{0};

    float rate = 0.0f;
    int32_t block = 0;
    std::atomic<int32_t> current{0};
    float lastTempo = 0.0f;

    MessagePipe pipe;
    SpinLock pipeWriterLock;  // keeps whole messages together when several threads post
    // Program data: the change counter grows with every write; guarded by programLock.
    uint64_t changeCounter = 1;

    EventQueue events;
    EditorView* editorView = nullptr;

private:
    bool placedInBlock = false;

    // Host changes that found the host-call lock busy; whoever holds the lock next carries them out.
    // The last change of each kind wins.
    static constexpr int32_t kNoDeferredProgram = -1;
    std::atomic<int32_t> deferredProgram{kNoDeferredProgram};
    std::atomic<uint8_t> deferredRateSet{0};
    std::atomic<float> deferredRate{0.0f};
    std::atomic<uint8_t> deferredBlockSet{0};
    std::atomic<int32_t> deferredBlock{0};
    // A chunk and the power switch, guarded by deferredLock (the audio thread only tries it once).
    struct DeferredState {
        std::unique_ptr<uint8_t[]> chunk;
        size_t chunkSize = 0;          // 0: no chunk waits
        int32_t chunkProgram = -1;     // the slot asked for, or -1 for the current program
        int32_t chunkHostProgram = 0;  // the host's program when the chunk came
        bool chunkQuiet = false;
        bool mainsSet = false;
        bool mainsOn = false;
        bool suspendSeen = false;  // an effMainsChanged(0) waits, to be carried out before a resume
    };
    SpinLock deferredLock;
    DeferredState deferred;

    std::atomic<uint32_t> fadedBlockCount{0};
    std::atomic<uint32_t> deferredChangeCount{0};
    std::atomic<uint32_t> droppedChangeCount{0};

    // The last output sample of each channel, where a block that cannot be processed fades from.
    float lastOutput[kMaxChannelPointers] = {};

    // Takes the host-call lock for a non-audio caller (bounded sleeping wait).
    bool acquireHostCall(LockGuard& guard);
    // Runs `work` under the host-call lock after the deferred changes; answers 0 without running
    // it when the lock stays busy beyond the wait.
    template <typename Work>
    intptr_t locked(Work work);
    // Carries out the deferred changes; the host-call lock must be held.
    void applyDeferred();
    void setHostProgram(int32_t index);
    bool changesWaiting();
    // Takes the host-call lock just to carry out what waits; answers false when it stayed busy (what
    // waits then waits on, for the next holder).
    bool carryOutDeferred();
    void setHostChunk(const void* data, size_t size, bool quiet, int32_t program);
    void setHostMains(bool on);
    // Carries out a waiting chunk together with a waiting program switch, in the host's order.
    void applyDeferredChunk(int32_t program);
    void writeFade(float** outputs, int32_t frames);
    void processSlice(float** inputs, float** outputs, int32_t position, int32_t frames);
};

}  // namespace tarsk
