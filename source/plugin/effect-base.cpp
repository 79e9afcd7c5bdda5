// EffectBase: construction with the host queries, the dispatcher, the audio callback with its event
// slicing and tempo query, and the message pipe.
//
// Index: record callbacks | construction | dispatcher | audio callback | pipe | editor services
#include "plugin/effect-base.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/instance.h"

namespace tarsk {

namespace {

constexpr const char* kSizeWindowCapability = "sizeWindow";

// Copies text into a host buffer of `capacity` bytes, always terminated.
void copyText(void* ptr, const char* text, size_t capacity) {
    if (ptr == nullptr || capacity == 0) {
        return;
    }
    char* out = static_cast<char*>(ptr);
    size_t n = std::min(std::strlen(text), capacity - 1);
    std::memcpy(out, text, n);
    out[n] = 0;
}

void copyHostString(char* to, const char* scratch) {
    size_t n = strnlen(scratch, kHostStringBytes - 1);
    std::memcpy(to, scratch, n);
    to[n] = 0;
}

// ---------------------------------------------------------------------------------------------
// Record callbacks: validate the record, forward to the object, never let anything escape.

intptr_t dispatcherProc(vst2::AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) {
    EffectBase* self = EffectBase::fromRecord(effect);
    if (self == nullptr) {
        return 0;
    }
    intptr_t answer = 0;
    try {
        answer = self->dispatch(opcode, index, value, ptr, opt);
    } catch (...) {
        answer = 0;
    }
    if (self->isClosed()) {
        destroyInstance(self);
    }
    return answer;
}

void processReplacingProc(vst2::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
    EffectBase* self = EffectBase::fromRecord(effect);
    if (self == nullptr) {
        return;
    }
    try {
        self->processReplacing(inputs, outputs, frames);
    } catch (...) {
    }
}

void setParameterProc(vst2::AEffect* effect, int32_t /*index*/, float /*value*/) {
    // The effect has no automatable parameters: every program value lives in the program chunk.
    (void)EffectBase::fromRecord(effect);
}

float getParameterProc(vst2::AEffect* /*effect*/, int32_t /*index*/) { return 0.0f; }

}  // namespace

EffectBase* EffectBase::fromRecord(vst2::AEffect* effect) {
    if (effect == nullptr || effect->uniqueID != kUniqueId) {
        return nullptr;
    }
    // The record is the first member, right after the virtual-table pointer.
    return reinterpret_cast<EffectBase*>(reinterpret_cast<char*>(effect) - sizeof(void*));
}

// ---------------------------------------------------------------------------------------------
// Construction

EffectBase::EffectBase(vst2::HostCallback host, int32_t programs, int32_t params) : hostCallback(host) {
    pipe.setCapacity(kEffectPipeBytes);
    deferred.chunk.reset(new uint8_t[kDeferredChunkBytes]);
    if (host == nullptr) {
        return;
    }
    aeffect.magic = vst2::kEffectMagic;
    aeffect.dispatcher = dispatcherProc;
    aeffect.process = nullptr;
    aeffect.setParameter = setParameterProc;
    aeffect.getParameter = getParameterProc;
    aeffect.numPrograms = programs;
    aeffect.numParams = params;
    aeffect.uniqueID = kUniqueId;
    aeffect.version = kEffectVersion;
    aeffect.processReplacing = processReplacingProc;
    aeffect.processDoubleReplacing = nullptr;

    hostVersion = static_cast<int32_t>(callHost(vst2::audioMasterVersion));
    hostCurrentId = static_cast<int32_t>(callHost(vst2::audioMasterCurrentId));
    if (hostVersion <= 1) {
        return;
    }
    hostVendorVer = static_cast<int32_t>(callHost(vst2::audioMasterGetVendorVersion));
    char scratch[kHostQueryScratchBytes];
    std::memset(scratch, 0, sizeof(scratch));
    callHost(vst2::audioMasterGetVendorString, 0, 0, scratch);
    scratch[sizeof(scratch) - 1] = 0;
    copyHostString(hostVendorText, scratch);
    std::memset(scratch, 0, sizeof(scratch));
    callHost(vst2::audioMasterGetProductString, 0, 0, scratch);
    scratch[sizeof(scratch) - 1] = 0;
    copyHostString(hostProductText, scratch);

    char capability[32];
    copyText(capability, kSizeWindowCapability, sizeof(capability));
    sizeWindowAllowed = callHost(vst2::audioMasterCanDo, 0, 0, capability) == 1;
    if (std::strstr(hostVendorText, "Sony") != nullptr && std::strstr(hostProductText, "Vegas") != nullptr) {
        sizeWindowAllowed = false;
    }
    rate = static_cast<float>(callHost(vst2::audioMasterGetSampleRate));
    block = static_cast<int32_t>(callHost(vst2::audioMasterGetBlockSize));
}

EffectBase::~EffectBase() = default;

intptr_t EffectBase::callHost(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    if (hostCallback == nullptr) {
        return 0;
    }
    return hostCallback(&aeffect, opcode, index, value, ptr, opt);
}

int EffectBase::editorHostMode() const {
    int mode = kEditorHostModeDefault;
    if (std::strstr(hostProductText, "Tracktion") != nullptr && std::strstr(hostVendorText, "Raw Material") != nullptr) {
        mode = kEditorHostModeTracktion;
    }
    if (std::strstr(hostProductText, "Samplitude") != nullptr && std::strstr(hostVendorText, "MAGIX") != nullptr) {
        mode = kEditorHostModeSamplitude;
    }
    return mode;
}

// ---------------------------------------------------------------------------------------------
// Dispatcher

bool EffectBase::acquireHostCall(LockGuard& guard) {
    guard.attach(hostCallLock);
    if (!guard.acquireWithin(kHostCallSpins, kHostCallWaitMicros)) {
        return false;
    }
    applyDeferred();
    return true;
}

template <typename Work>
intptr_t EffectBase::locked(Work work) {
    LockGuard guard;
    if (!acquireHostCall(guard)) {
        droppedChangeCount.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    return work();
}

void EffectBase::applyDeferred() {
    if (deferredRateSet.exchange(0, std::memory_order_acq_rel) != 0) {
        rate = deferredRate.load(std::memory_order_acquire);
        setSampleRate();
    }
    if (deferredBlockSet.exchange(0, std::memory_order_acq_rel) != 0) {
        block = deferredBlock.load(std::memory_order_acquire);
        setBlockSize();
    }
    // The chunk and the power switch wait under a lock of their own; when a writer is busy with it,
    // they wait for the next holder (the audio thread tries it once and never waits here).
    LockGuard guard(deferredLock);
    const bool haveState = guard.acquire(1);
    if (haveState && deferred.mainsSet) {
        if (deferred.suspendSeen) {
            mainsChanged(false);
        }
        if (deferred.mainsOn) {
            mainsChanged(true);
        }
        deferred.mainsSet = deferred.mainsOn = deferred.suspendSeen = false;
    }
    int32_t program = deferredProgram.exchange(kNoDeferredProgram, std::memory_order_acq_rel);
    if (haveState && deferred.chunkSize != 0) {
        applyDeferredChunk(program);
        return;
    }
    if (program != kNoDeferredProgram && program != currentProgram()) {
        setProgram(program);
    }
}

void EffectBase::applyDeferredChunk(int32_t program) {
    const size_t size = deferred.chunkSize;
    deferred.chunkSize = 0;
    if (deferred.chunkProgram != kNoDeferredProgram) {
        // For a slot of its own: independent of which program is current.
        setChunk(deferred.chunk.get(), size, deferred.chunkQuiet, deferred.chunkProgram);
    } else {
        // For the program that was the host's when the chunk came: switch there first if the host had.
        if (deferred.chunkHostProgram != currentProgram()) {
            setProgram(deferred.chunkHostProgram);
        }
        setChunk(deferred.chunk.get(), size, deferred.chunkQuiet, kNoDeferredProgram);
    }
    if (program != kNoDeferredProgram && program != currentProgram()) {
        setProgram(program);
    }
}

void EffectBase::setHostChunk(const void* data, size_t size, bool quiet, int32_t program) {
    LockGuard guard;
    if (acquireHostCall(guard)) {
        setChunk(data, size, quiet, program);
        return;
    }
    LockGuard state(deferredLock);
    if (size > kDeferredChunkBytes || !state.acquireWithin(kHostCallSpins, kHostCallWaitMicros)) {
        droppedChangeCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memcpy(deferred.chunk.get(), data, size);
    deferred.chunkSize = size;
    deferred.chunkProgram = program;
    deferred.chunkHostProgram = hostProgram();
    deferred.chunkQuiet = quiet;
    deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
}

void EffectBase::setHostMains(bool on) {
    LockGuard guard;
    if (acquireHostCall(guard)) {
        mainsChanged(on);
        return;
    }
    LockGuard state(deferredLock);
    if (!state.acquireWithin(kHostCallSpins, kHostCallWaitMicros)) {
        droppedChangeCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    deferred.mainsSet = true;
    deferred.mainsOn = on;
    deferred.suspendSeen = deferred.suspendSeen || !on;
    deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
}

bool EffectBase::carryOutDeferred() {
    LockGuard guard;
    return acquireHostCall(guard);
}

bool EffectBase::changesWaiting() {
    if (deferredProgram.load(std::memory_order_acquire) != kNoDeferredProgram) {
        return true;
    }
    LockGuard state(deferredLock);
    return state.acquireWithin(kHostCallSpins, kHostCallWaitMicros) && deferred.chunkSize != 0;
}

int32_t EffectBase::hostProgram() const {
    int32_t program = deferredProgram.load(std::memory_order_acquire);
    return program != kNoDeferredProgram ? program : currentProgram();
}

void EffectBase::setHostProgram(int32_t index) {
    if (index < 0 || index >= aeffect.numPrograms || index == hostProgram()) {
        return;
    }
    LockGuard guard(hostCallLock);
    if (!guard.acquireWithin(kHostCallSpins, kHostCallWaitMicros)) {
        // The audio callback (or the next dispatcher call) switches at the start of its block;
        // a later switch replaces this one.
        deferredProgram.store(index, std::memory_order_release);
        deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // This switch supersedes any waiting one.
    deferredProgram.store(kNoDeferredProgram, std::memory_order_release);
    applyDeferred();
    if (index != currentProgram()) {
        setProgram(index);
    }
}

intptr_t EffectBase::dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    using namespace vst2;
    if (opcode < 0 || opcode > kHighestEffectOpcode) {
        return 0;
    }
    switch (opcode) {
        case effOpen:
            if (!isOpened()) {
                open();
                opened.store(1, std::memory_order_release);
            }
            return 0;
        case effClose:
            if (!isClosed()) {
                LockGuard guard;
                if (acquireHostCall(guard)) {
                    close();
                }
                closed.store(1, std::memory_order_release);
            }
            return 0;
        case effSetProgram:
            if (value >= 0 && value < aeffect.numPrograms) {
                setHostProgram(static_cast<int32_t>(value));
            }
            return 0;
        case effGetProgram:
            return hostProgram();
        case effGetProgramName:
            if (ptr != nullptr) {
                getProgramNameIndexed(static_cast<char*>(ptr), hostProgram());
            }
            return 0;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effGetParameterProperties:
            return 0;  // no parameters
        case effSetSampleRate:
            // Kept for the next lock holder when the lock stays busy; applying it clears the mark.
            deferredRate.store(opt, std::memory_order_release);
            deferredRateSet.store(1, std::memory_order_release);
            if (!carryOutDeferred()) {
                deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
            }
            return 0;
        case effSetBlockSize:
            deferredBlock.store(static_cast<int32_t>(value), std::memory_order_release);
            deferredBlockSet.store(1, std::memory_order_release);
            if (!carryOutDeferred()) {
                deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
            }
            return 0;
        case effMainsChanged:
            setHostMains(value != 0);
            return 0;
        case effEditGetRect:
            if ((aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr && ptr != nullptr) {
                return editorView->getRect(ptr) ? 1 : 0;
            }
            return 0;
        case effEditOpen:
            if ((aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                return editorView->open(ptr) ? 1 : 0;
            }
            return 0;
        case effVendorSpecific:
            if (index == kVendorIndexGallery && (aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                return editorView->showGallery() ? 1 : 0;
            }
            if (index == kVendorIndexPage && (aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                return editorView->showPage(static_cast<int32_t>(value)) ? 1 : 0;
            }
            if (index == kVendorIndexTab && (aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                return editorView->showTab(static_cast<int32_t>(value)) ? 1 : 0;
            }
            return 0;
        case effEditClose:
            if ((aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                editorView->close();
                return 1;
            }
            return 0;
        case effEditIdle:
            if ((aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                editorView->idle();
            }
            return runPipeMessage();
        case effEditKeyDown:
        case effEditKeyUp:
            if ((aeffect.flags & effFlagsHasEditor) != 0 && editorView != nullptr) {
                return editorView->hostKey(opcode == effEditKeyDown, index, value, opt) ? 1 : 0;
            }
            return 0;
        case effIdentify:
            return kIdentifyAnswer;
        case effGetChunk:
            // Reading the program needs only the program lock, which the audio thread holds just for
            // its record copy: a save never fails against a running audio block, and never stalls.
            if (ptr == nullptr) {
                return 0;
            }
            if (changesWaiting()) {
                // A program switch or a chunk still waits: carry it out first, so that the save is of
                // what the host chose (when the lock stays busy, of the program still current).
                carryOutDeferred();
            }
            return static_cast<intptr_t>(getChunk(static_cast<void**>(ptr)));
        case effSetChunk:
            if (ptr != nullptr && value > 0) {
                setHostChunk(ptr, static_cast<size_t>(value), false, kNoDeferredProgram);
            }
            return 0;
        case effProcessEvents: {
            // Hosts send events from the audio thread right before the block: no sleeping here.
            LockGuard guard(hostCallLock);
            if (!guard.acquire(kAudioLockTries)) {
                return 0;
            }
            const VstEvents* block = static_cast<const VstEvents*>(ptr);
            if (block != nullptr) {
                for (int32_t i = 0; i < block->numEvents; ++i) {
                    if (block->events[i] != nullptr) {
                        events.push(*block->events[i]);
                    }
                }
            }
            return 1;
        }
        case effCanBeAutomated:
            return 1;
        case effString2Parameter:
            return string2parameter(index, static_cast<const char*>(ptr)) ? 1 : 0;
        case effGetProgramNameIndexed:
            if (ptr == nullptr) {
                return 0;
            }
            return getProgramNameIndexed(static_cast<char*>(ptr), index) ? 1 : 0;
        case effGetInputProperties:
            return getPinProperties(false, index, ptr) ? 1 : 0;
        case effGetOutputProperties:
            return getPinProperties(true, index, ptr) ? 1 : 0;
        case effGetPlugCategory:
            return kPlugCategRoomFx;
        case effGetEffectName:
            copyText(ptr, kEffectName, kEffectNameLength);
            return 1;
        case effGetVendorString:
            copyText(ptr, kVendorName, kVendorStringLength);
            return 1;
        case effGetProductString:
            copyText(ptr, kProductName, kProductStringLength);
            return 1;
        case effGetVendorVersion:
            return kEffectVersion;
        case effCanDo:
            return ptr == nullptr ? 0 : canDo(static_cast<const char*>(ptr));
        case effKeysRequired:
            return 1;
        case effGetVstVersion:
            return kVstVersion;
        case effGetCurrentMidiProgram:
            return -1;
        case effStartProcess:
        case effStopProcess:
            return 0;
        case effSetProcessPrecision:
            return value == kProcessPrecision32 ? 1 : 0;
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Audio callback

void EffectBase::processReplacing(float** inputs, float** outputs, int32_t frames) {
    if (frames <= 0 || outputs == nullptr) {
        return;
    }
    if (!isOpened() || isClosed() || inputs == nullptr) {
        writeFade(outputs, frames);
        return;
    }
    LockGuard guard(hostCallLock);
    if (!guard.acquire(kAudioLockTries)) {
        // A dispatcher call holds the lock: this block is silence fading from the last output.
        fadedBlockCount.fetch_add(1, std::memory_order_relaxed);
        writeFade(outputs, frames);
        return;
    }
    applyDeferred();

    const auto* time =
        reinterpret_cast<const vst2::VstTimeInfo*>(callHost(vst2::audioMasterGetTime, 0, vst2::kVstTempoValid));
    if (time != nullptr && (time->flags & vst2::kVstTempoValid) != 0) {
        float tempo = static_cast<float>(time->tempo);
        if (tempo != lastTempo) {
            lastTempo = tempo;
            tempoChanged();
        }
    }

    events.stableSortByOffset();
    const uint32_t total = static_cast<uint32_t>(frames);
    uint32_t position = 0;
    size_t handed = 0;
    while (position < total) {
        if (handed < events.size()) {
            // Offsets are unsigned: one already passed gives a large value and so the rest of the block.
            uint32_t untilEvent = static_cast<uint32_t>(events.at(handed).deltaFrames) - position;
            uint32_t n = std::min(untilEvent, total - position);
            if (n == 0) {
                processEvent(events.at(handed));
                ++handed;
                continue;
            }
            processSlice(inputs, outputs, static_cast<int32_t>(position), static_cast<int32_t>(n));
            position += n;
        } else {
            processSlice(inputs, outputs, static_cast<int32_t>(position), static_cast<int32_t>(total - position));
            position = total;
        }
    }
    events.dropFront(handed);

    int channels = std::min(kMaxChannelPointers, aeffect.numOutputs);
    for (int c = 0; c < channels; ++c) {
        float last = outputs[c] != nullptr ? outputs[c][total - 1] : 0.0f;
        lastOutput[c] = std::isfinite(last) ? last : 0.0f;
    }
}

void EffectBase::writeFade(float** outputs, int32_t frames) {
    int channels = std::min(kMaxChannelPointers, aeffect.numOutputs);
    for (int c = 0; c < channels; ++c) {
        float* out = outputs[c];
        float level = lastOutput[c];
        if (out == nullptr) {
            continue;
        }
        for (int32_t i = 0; i < frames; ++i) {
            level *= kSilenceFadePerFrame;
            if (std::fabs(level) < kSilenceFloor) {
                level = 0.0f;
            }
            out[i] = level;
        }
        lastOutput[c] = level;
    }
}

void EffectBase::processSlice(float** inputs, float** outputs, int32_t position, int32_t frames) {
    float* in[kMaxChannelPointers] = {};
    float* out[kMaxChannelPointers] = {};
    int channels = std::min(kMaxChannelPointers, std::max(aeffect.numInputs, aeffect.numOutputs));
    for (int c = 0; c < channels; ++c) {
        in[c] = c < aeffect.numInputs && inputs[c] != nullptr ? inputs[c] + position : nullptr;
        out[c] = c < aeffect.numOutputs && outputs[c] != nullptr ? outputs[c] + position : nullptr;
    }
    process(in, out, frames);
}

// ---------------------------------------------------------------------------------------------
// Message pipe

bool EffectBase::postSetChunk(const void* data, size_t size, int32_t program) {
    if (data == nullptr || size > message::kMaxChunk) {
        return false;
    }
    uint8_t bytes[kEffectPipeBytes] = {};
    message::SetChunkHead head;
    head.size = static_cast<uint32_t>(size);
    head.program = program;
    std::memcpy(bytes, &head, sizeof(head));
    std::memcpy(bytes + message::kChunkOffset, data, size);
    size_t length = std::max(message::kHeadBytes, size + message::kChunkOffset);
    LockGuard writer = LockGuard::locked(pipeWriterLock);
    if (pipe.capacity() - pipe.used() < length) {
        return false;
    }
    return pipe.tryWrite(bytes, length) == length;
}

bool EffectBase::postSetProgram(int32_t index) {
    message::SetProgramHead head;
    head.program = index;
    LockGuard writer = LockGuard::locked(pipeWriterLock);
    if (pipe.capacity() - pipe.used() < sizeof(head)) {
        return false;
    }
    return pipe.tryWrite(&head, sizeof(head)) == sizeof(head);
}

bool EffectBase::postHostCall(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
    message::HostCallHead head;
    head.opcode = opcode;
    head.index = index;
    head.opt = opt;
    head.value = static_cast<uint64_t>(value);
    head.pointer = reinterpret_cast<uintptr_t>(ptr);
    LockGuard writer = LockGuard::locked(pipeWriterLock);
    if (pipe.capacity() - pipe.used() < sizeof(head)) {
        return false;
    }
    return pipe.tryWrite(&head, sizeof(head)) == sizeof(head);
}

intptr_t EffectBase::runPipeMessage() {
    if (pipe.used() < message::kHeadBytes) {
        return 0;
    }
    // Whole messages enter the pipe at once, so a head is always followed by its payload.
    uint8_t bytes[kEffectPipeBytes];
    pipe.read(bytes, message::kHeadBytes);
    uint32_t kind = message::kNone;
    std::memcpy(&kind, bytes, sizeof(kind));
    switch (kind) {
        case message::kSetChunk: {
            message::SetChunkHead head;
            std::memcpy(&head, bytes, sizeof(head));
            const size_t size = head.size;
            if (size > message::kMaxChunk) {
                return 0;  // cannot have been posted
            }
            if (size + message::kChunkOffset > message::kHeadBytes) {
                pipe.read(bytes + message::kHeadBytes, size + message::kChunkOffset - message::kHeadBytes);
            }
            setHostChunk(bytes + message::kChunkOffset, size, true, head.program);
            return 0;
        }
        case message::kSetProgram: {
            message::SetProgramHead head;
            std::memcpy(&head, bytes, sizeof(head));
            LockGuard guard;
            if (acquireHostCall(guard)) {
                setProgram(head.program);
            } else if (head.program >= 0 && head.program < aeffect.numPrograms) {
                deferredProgram.store(head.program, std::memory_order_release);
                deferredChangeCount.fetch_add(1, std::memory_order_relaxed);
            }
            return 0;
        }
        case message::kHostCall: {
            message::HostCallHead head;
            std::memcpy(&head, bytes, sizeof(head));
            return callHost(head.opcode, head.index, static_cast<intptr_t>(head.value),
                            reinterpret_cast<void*>(static_cast<uintptr_t>(head.pointer)), head.opt);
        }
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Editor services

void EffectBase::sizeWindow(int32_t width, int32_t height) {
    if (sizeWindowAllowed) {
        callHost(vst2::audioMasterSizeWindow, width, height);
    }
}

void EffectBase::updateDisplay() { callHost(vst2::audioMasterUpdateDisplay); }

}  // namespace tarsk
