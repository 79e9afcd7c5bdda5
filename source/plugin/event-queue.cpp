// Event ring with an in-place stable sort (insertion sort: queues are short and nearly sorted).
#include "event-queue.h"

#include <algorithm>

namespace tarsk {

EventQueue::EventQueue() : events(new vst2::VstEvent[kCapacity]()) {}

bool EventQueue::push(const vst2::VstEvent& event) {
    if (count == kCapacity) {
        return false;
    }
    events[(head + count) % kCapacity] = event;
    ++count;
    return true;
}

void EventQueue::stableSortByOffset() {
    for (size_t i = 1; i < count; ++i) {
        vst2::VstEvent moving = at(i);
        size_t j = i;
        while (j > 0 && at(j - 1).deltaFrames > moving.deltaFrames) {
            at(j) = at(j - 1);
            --j;
        }
        at(j) = moving;
    }
}

void EventQueue::dropFront(size_t n) {
    n = std::min(n, count);
    head = (head + n) % kCapacity;
    count -= n;
}

}  // namespace tarsk
