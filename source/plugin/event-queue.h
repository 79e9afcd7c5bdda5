// The queue of host events waiting for the audio callback: a fixed ring of 32-byte events,
// filled by effProcessEvents and emptied by the audio callback without allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "plugin/vst2-abi.h"

namespace tarsk {

class EventQueue {
public:
    static constexpr size_t kCapacity = 1024;

    EventQueue();

    // Appends a copy of the event; answers false (and drops it) when the queue is full.
    bool push(const vst2::VstEvent& event);
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    vst2::VstEvent& at(size_t i) { return events[(head + i) % kCapacity]; }
    // Orders the events by deltaFrames, keeping the arrival order of equal offsets.
    void stableSortByOffset();
    // Removes the first n events.
    void dropFront(size_t n);
    void clear() { head = count = 0; }

private:
    std::unique_ptr<vst2::VstEvent[]> events;
    size_t head = 0;
    size_t count = 0;
};

}  // namespace tarsk
