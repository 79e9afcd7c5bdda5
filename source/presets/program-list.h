// ProgramList: the categories and entries of one scanned program folder, written by the library
// worker under a readers–writer state word and read by the editor in sorted order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "tarsklib/spin-lock.h"

namespace tarsk {

constexpr size_t kCategoryNameBytes = 48;  // at most 47 characters and a NUL
constexpr size_t kEntryNameBytes = 48;
constexpr size_t kEntryFolderBytes = 192;  // at most 191 characters and a NUL
constexpr uint32_t kNoCategory = 0xFFFFFFFF;  // an entry added before any category

// 64 bytes.
struct ProgramCategory {
    uint32_t reserved = 0;
    uint32_t firstEntry = 0;  // position of the category's first entry in the sorted entry order
    uint32_t entryCount = 0;
    char name[kCategoryNameBytes] = {};
    uint32_t unused = 0;
};
static_assert(sizeof(ProgramCategory) == 64);

// 256 bytes.
struct ProgramEntry {
    uint32_t category = kNoCategory;  // index, in adding order, of the category added last before it
    char name[kEntryNameBytes] = {};  // the file name without ".fxp"
    char folder[kEntryFolderBytes] = {};  // absolute path of the category folder
    uint8_t unused[12] = {};
};
static_assert(sizeof(ProgramEntry) == 256);

class ProgramList {
public:
    ProgramList() = default;
    ~ProgramList();
    ProgramList(const ProgramList&) = delete;
    ProgramList& operator=(const ProgramList&) = delete;

    // Waits until no reader holds the list, then holds it for writing (writers may nest). With a flag,
    // gives up (answering false) once the flag is set.
    bool writeLock(const std::atomic<bool>* abandon = nullptr);
    // Waits until no writer holds the list, then holds it for reading; the sorted orders are rebuilt
    // by the first reader after a change.
    void readLock();
    // Gives up one hold, of either kind.
    void unlock();

    // The changes do nothing unless a writer holds the list. Names are cut to fit their fields.
    void clear();
    void addCategory(const char* name);
    void addEntry(const char* name, const char* folderPath);

    // 0 unless readers hold the list.
    uint32_t count() const;
    uint32_t categoryCount() const;
    // Copies of the records at a sorted position (categories by name, entries by category and name);
    // an empty record for a position out of range.
    ProgramEntry entry(uint32_t position) const;
    ProgramCategory category(uint32_t position) const;

private:
    bool heldByWriter() const { return state.load(std::memory_order_relaxed) < 0; }
    bool heldByReaders() const { return state.load(std::memory_order_acquire) > 0; }
    // Makes room for one more record of each kind in use; false when memory ran out.
    bool reserveCategory();
    bool reserveEntry();
    void rebuildOrders();

    // Negative: writers hold the list; positive: the number of readers; 0: free.
    std::atomic<int32_t> state{0};
    SpinLock changeLock;  // around each single change and the rebuild

    ProgramCategory* categories = nullptr;
    uint32_t* categoryOrder = nullptr;
    uint32_t categoriesUsed = 0;
    uint32_t categoryCapacity = 0;

    ProgramEntry* entries = nullptr;
    uint32_t* entryOrder = nullptr;
    uint32_t entriesUsed = 0;
    uint32_t entryCapacity = 0;

    bool ordersStale = false;
};

// The process-wide lists of factory programs and of the user's programs.
ProgramList& factoryList();
ProgramList& userList();

}  // namespace tarsk
