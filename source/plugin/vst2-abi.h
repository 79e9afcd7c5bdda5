// VST 2.x plug-in ABI: the records, opcodes and constants a host and a plug-in exchange.
// Written from the published binary layout; pointer-sized fields follow the build's pointer width.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vst2 {

struct AEffect;

using HostCallback = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt);
using DispatcherProc = intptr_t (*)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt);
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, int32_t sampleFrames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs, int32_t sampleFrames);
using SetParameterProc = void (*)(AEffect* effect, int32_t index, float parameter);
using GetParameterProc = float (*)(AEffect* effect, int32_t index);

constexpr int32_t kEffectMagic = 0x56737450;  // "VstP"

struct AEffect {
    int32_t magic;
    DispatcherProc dispatcher;
    ProcessProc process;  // accumulating process, deprecated
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    int32_t numPrograms;
    int32_t numParams;
    int32_t numInputs;
    int32_t numOutputs;
    int32_t flags;
    intptr_t resvd1;
    intptr_t resvd2;
    int32_t initialDelay;
    int32_t realQualities;
    int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32_t uniqueID;
    int32_t version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(AEffect) == 192, "AEffect layout");
static_assert(offsetof(AEffect, flags) == 56, "AEffect layout");
static_assert(offsetof(AEffect, object) == 96, "AEffect layout");
static_assert(offsetof(AEffect, uniqueID) == 112, "AEffect layout");
static_assert(offsetof(AEffect, processReplacing) == 120, "AEffect layout");
#endif

// AEffect flags
constexpr int32_t effFlagsHasEditor = 1 << 0;
constexpr int32_t effFlagsCanMono = 1 << 3;
constexpr int32_t effFlagsCanReplacing = 1 << 4;
constexpr int32_t effFlagsProgramChunks = 1 << 5;
constexpr int32_t effFlagsIsSynth = 1 << 8;
constexpr int32_t effFlagsNoSoundInStop = 1 << 9;
constexpr int32_t effFlagsCanDoubleReplacing = 1 << 12;

// Dispatcher opcodes (host to plug-in)
enum EffectOpcode : int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effGetCurrentMidiProgram = 63,
    effStartProcess = 71,
    effStopProcess = 72,
    effSetProcessPrecision = 77,
};
constexpr int32_t kHighestEffectOpcode = effSetProcessPrecision;

// Host callback opcodes (plug-in to host)
enum HostOpcode : int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterIOChanged = 13,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterUpdateDisplay = 42,
};

constexpr int32_t kPlugCategRoomFx = 6;
constexpr int32_t kEffectNameLength = 32;
constexpr int32_t kVendorStringLength = 64;
constexpr int32_t kProductStringLength = 64;
constexpr int32_t kProgramNameLength = 24;
constexpr intptr_t kIdentifyAnswer = 0x4E764566;  // "NvEf"
constexpr int32_t kProcessPrecision32 = 0;

// One event as the host passes it; every event type is 32 bytes in this layout.
struct VstEvent {
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    int32_t flags;
    char data[16];
};
static_assert(sizeof(VstEvent) == 32, "VstEvent layout");

struct VstEvents {
    int32_t numEvents;
    intptr_t reserved;
    VstEvent* events[2];  // numEvents entries in practice
};
static_assert(offsetof(VstEvents, events) == 2 * sizeof(intptr_t), "VstEvents layout");

constexpr int32_t kVstTransportPlaying = 1 << 1;
constexpr int32_t kVstNanosValid = 1 << 8;
constexpr int32_t kVstPpqPosValid = 1 << 9;
constexpr int32_t kVstTempoValid = 1 << 10;

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t smpteOffset;
    int32_t smpteFrameRate;
    int32_t samplesToNextClock;
    int32_t flags;
};
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert(offsetof(VstTimeInfo, flags) == 84, "VstTimeInfo layout");

struct ERect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

// Virtual key codes in the value of effEditKeyDown and effEditKeyUp (the index holds the character).
enum VirtualKey : int32_t {
    VKEY_BACK = 1,
    VKEY_TAB = 2,
    VKEY_CLEAR = 3,
    VKEY_RETURN = 4,
    VKEY_PAUSE = 5,
    VKEY_ESCAPE = 6,
    VKEY_SPACE = 7,
    VKEY_NEXT = 8,
    VKEY_END = 9,
    VKEY_HOME = 10,
    VKEY_LEFT = 11,
    VKEY_UP = 12,
    VKEY_RIGHT = 13,
    VKEY_DOWN = 14,
    VKEY_PAGEUP = 15,
    VKEY_PAGEDOWN = 16,
    VKEY_SELECT = 17,
    VKEY_PRINT = 18,
    VKEY_ENTER = 19,
    VKEY_SNAPSHOT = 20,
    VKEY_INSERT = 21,
    VKEY_DELETE = 22,
    VKEY_HELP = 23,
    VKEY_NUMPAD0 = 24,
    VKEY_NUMPAD9 = 33,
    VKEY_MULTIPLY = 34,
    VKEY_ADD = 35,
    VKEY_SEPARATOR = 36,
    VKEY_SUBTRACT = 37,
    VKEY_DECIMAL = 38,
    VKEY_DIVIDE = 39,
    VKEY_F1 = 40,
    VKEY_F12 = 51,
    VKEY_NUMLOCK = 52,
    VKEY_SCROLL = 53,
    VKEY_SHIFT = 54,
    VKEY_CONTROL = 55,
    VKEY_ALT = 56,
    VKEY_EQUALS = 57,
};

}  // namespace vst2
