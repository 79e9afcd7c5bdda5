// ProgramList: the readers–writer state word, record storage with its growth rule, and the sorted
// orders that the first reader after a change rebuilds.
#include "presets/program-list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tarsklib/platform-thread.h"

namespace tarsk {

namespace {

constexpr uint32_t kTriesBeforeSleep = 16383;

void copyCut(char* to, size_t capacity, const char* from) {
    std::memset(to, 0, capacity);
    if (from != nullptr) {
        std::strncpy(to, from, capacity - 1);
    }
}

// Moves an array into a block of newCapacity records; false (nothing changed) when memory ran out.
template <typename T>
bool grow(T*& array, uint32_t newCapacity) {
    T* grown = static_cast<T*>(std::realloc(array, sizeof(T) * newCapacity));
    if (grown == nullptr) {
        return false;
    }
    array = grown;
    return true;
}

// The growth rule of both record arrays.
uint32_t grownCapacity(uint32_t capacity, uint32_t needed) { return std::max(capacity * 3 / 2 + 1, needed); }

}  // namespace

ProgramList::~ProgramList() {
    std::free(categories);
    std::free(categoryOrder);
    std::free(entries);
    std::free(entryOrder);
}

bool ProgramList::writeLock(const std::atomic<bool>* abandon) {
    uint32_t failed = 0;
    for (;;) {
        int32_t value = state.load(std::memory_order_relaxed);
        if (value <= 0 &&
            state.compare_exchange_weak(value, value - 1, std::memory_order_acquire, std::memory_order_relaxed)) {
            return true;
        }
        if (++failed % kTriesBeforeSleep == 0) {
            if (abandon != nullptr && abandon->load(std::memory_order_relaxed)) {
                return false;
            }
            sleepMs(1);
        }
    }
}

void ProgramList::readLock() {
    uint32_t failed = 0;
    for (;;) {
        int32_t value = state.load(std::memory_order_relaxed);
        if (value >= 0 &&
            state.compare_exchange_weak(value, value + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
            break;
        }
        if (++failed % kTriesBeforeSleep == 0) {
            sleepMs(1);
        }
    }
    // No writer can change the list now. Every reader passes the change lock before it reads, so
    // later readers wait until the first one has rebuilt the orders.
    LockGuard guard = LockGuard::locked(changeLock);
    if (ordersStale) {
        rebuildOrders();
        ordersStale = false;
    }
}

void ProgramList::unlock() {
    int32_t value = state.load(std::memory_order_relaxed);
    while (value != 0) {
        int32_t toward = value > 0 ? value - 1 : value + 1;
        if (state.compare_exchange_weak(value, toward, std::memory_order_release, std::memory_order_relaxed)) {
            return;
        }
    }
}

void ProgramList::clear() {
    if (!heldByWriter()) {
        return;
    }
    LockGuard guard = LockGuard::locked(changeLock);
    categoriesUsed = 0;
    entriesUsed = 0;
    ordersStale = true;
}

bool ProgramList::reserveCategory() {
    if (categoriesUsed < categoryCapacity) {
        return true;
    }
    const uint32_t capacity = grownCapacity(categoryCapacity, categoriesUsed + 1);
    if (!grow(categories, capacity) || !grow(categoryOrder, capacity)) {
        return false;  // an array that did grow keeps its new block, which is harmless
    }
    categoryCapacity = capacity;
    return true;
}

bool ProgramList::reserveEntry() {
    if (entriesUsed < entryCapacity) {
        return true;
    }
    const uint32_t capacity = grownCapacity(entryCapacity, entriesUsed + 1);
    if (!grow(entries, capacity) || !grow(entryOrder, capacity)) {
        return false;
    }
    entryCapacity = capacity;
    return true;
}

void ProgramList::addCategory(const char* name) {
    if (!heldByWriter()) {
        return;
    }
    LockGuard guard = LockGuard::locked(changeLock);
    if (!reserveCategory()) {
        return;
    }
    ProgramCategory& added = categories[categoriesUsed];
    added = ProgramCategory{};
    copyCut(added.name, sizeof(added.name), name);
    categoryOrder[categoriesUsed] = categoriesUsed;
    ++categoriesUsed;
    ordersStale = true;
}

void ProgramList::addEntry(const char* name, const char* folderPath) {
    if (!heldByWriter()) {
        return;
    }
    LockGuard guard = LockGuard::locked(changeLock);
    if (!reserveEntry()) {
        return;
    }
    ProgramEntry& added = entries[entriesUsed];
    added = ProgramEntry{};
    added.category = categoriesUsed > 0 ? categoriesUsed - 1 : kNoCategory;
    copyCut(added.name, sizeof(added.name), name);
    copyCut(added.folder, sizeof(added.folder), folderPath);
    entryOrder[entriesUsed] = entriesUsed;
    ++entriesUsed;
    ordersStale = true;
}

void ProgramList::rebuildOrders() {
    // Sorting never allocates: the order arrays grow with the records.
    for (uint32_t i = 0; i < categoriesUsed; ++i) {
        categoryOrder[i] = i;
    }
    std::sort(categoryOrder, categoryOrder + categoriesUsed, [this](uint32_t a, uint32_t b) {
        int order = std::strcmp(categories[a].name, categories[b].name);
        return order != 0 ? order < 0 : a < b;
    });
    for (uint32_t i = 0; i < entriesUsed; ++i) {
        entryOrder[i] = i;
    }
    std::sort(entryOrder, entryOrder + entriesUsed, [this](uint32_t a, uint32_t b) {
        if (entries[a].category != entries[b].category) {
            return entries[a].category < entries[b].category;
        }
        int order = std::strcmp(entries[a].name, entries[b].name);
        return order != 0 ? order < 0 : a < b;
    });
    // Each category's run in the sorted entries (the entries are grouped by category index).
    uint32_t position = 0;
    for (uint32_t c = 0; c < categoriesUsed; ++c) {
        while (position < entriesUsed && entries[entryOrder[position]].category < c) {
            ++position;
        }
        categories[c].firstEntry = position;
        uint32_t end = position;
        while (end < entriesUsed && entries[entryOrder[end]].category == c) {
            ++end;
        }
        categories[c].entryCount = end - position;
        position = end;
    }
}

uint32_t ProgramList::count() const { return heldByReaders() ? entriesUsed : 0; }

uint32_t ProgramList::categoryCount() const { return heldByReaders() ? categoriesUsed : 0; }

ProgramEntry ProgramList::entry(uint32_t position) const {
    if (!heldByReaders() || position >= entriesUsed) {
        return ProgramEntry{};
    }
    return entries[entryOrder[position]];
}

ProgramCategory ProgramList::category(uint32_t position) const {
    if (!heldByReaders() || position >= categoriesUsed) {
        return ProgramCategory{};
    }
    return categories[categoryOrder[position]];
}

ProgramList& factoryList() {
    static ProgramList list;
    return list;
}

ProgramList& userList() {
    static ProgramList list;
    return list;
}

}  // namespace tarsk
