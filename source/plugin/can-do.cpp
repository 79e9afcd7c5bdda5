// The capability table.
#include "plugin/can-do.h"

#include <cstring>

namespace tarsk {

namespace {
constexpr int32_t kYes = 1;
constexpr int32_t kNo = -1;
constexpr int32_t kUnknown = 0;

const CanDoEntry kTable[] = {
    {"sendVstEvents", kNo},
    {"sendVstMidiEvent", kNo},
    {"sendVstTimeInfo", kNo},
    {"receiveVstEvents", kNo},
    {"receiveVstMidiEvent", kNo},
    {"receiveVstTimeInfo", kNo},
    {"offline", kNo},
    {"plugAsChannelInsert", kYes},
    {"plugAsSend", kYes},
    {"mixDryWet", kYes},
    {"noRealTime", kNo},
    {"multipass", kUnknown},
    {"metapass", kUnknown},
    {"1in1out", kNo},
    {"1in2out", kNo},
    {"2in1out", kNo},
    {"2in2out", kYes},
    {"2in4out", kNo},
    {"4in2out", kNo},
    {"4in4out", kNo},
    {"4in8out", kNo},
    {"8in4out", kNo},
    {"8in8out", kNo},
    {"midiProgramNames", kNo},
    {"bypass", kNo},
    {"conformsToWindowRules", kUnknown},
    {"LiveWithoutToolbar", kUnknown},
    {"hasCockosExtensions", kUnknown},
};
}  // namespace

const CanDoEntry* canDoTable(size_t& count) {
    count = sizeof(kTable) / sizeof(kTable[0]);
    return kTable;
}

int32_t lookupCanDo(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    for (const CanDoEntry& entry : kTable) {
        if (std::strcmp(entry.text, text) == 0) {
            return entry.answer;
        }
    }
    return 0;
}

}  // namespace tarsk
