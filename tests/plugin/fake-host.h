// A host callback for unit tests: configurable answers, counted calls, and a way to hold the
// audio callback inside its tempo query (while it holds the host-call lock).
#pragma once

#include <atomic>
#include <cstring>
#include <string>

#include "plugin/vst2-abi.h"

namespace tarsk::test {

struct FakeHost {
    int32_t vstVersion = 2400;
    std::string vendor = "Test Vendor";
    std::string product = "Test Product";
    intptr_t canSizeWindow = 1;
    intptr_t sampleRate = 44100;
    intptr_t blockSize = 256;
    double tempo = 0.0;  // 0: no tempo
    vst2::VstTimeInfo time{};

    std::atomic<int> calls[64] = {};
    std::atomic<bool> holdInTimeQuery{false};
    std::atomic<bool> insideTimeQuery{false};
    // The arguments of the last call of an opcode the host does not answer (what a posted call carried).
    struct Arguments {
        int32_t opcode = -1, index = 0;
        intptr_t value = 0;
        void* ptr = nullptr;
        float opt = 0.0f;
    } lastOther;

    int count(int32_t opcode) const { return calls[opcode].load(); }

    // The host of the instance being called. One test runs at a time, so one current host suffices.
    static FakeHost*& current() {
        static FakeHost* host = nullptr;
        return host;
    }

    static intptr_t callback(vst2::AEffect*, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
        FakeHost* host = current();
        if (host == nullptr) {
            return 0;
        }
        if (opcode >= 0 && opcode < 64) {
            host->calls[opcode].fetch_add(1);
        }
        switch (opcode) {
            case vst2::audioMasterVersion: return host->vstVersion;
            case vst2::audioMasterGetVendorString: std::strcpy(static_cast<char*>(ptr), host->vendor.c_str()); return 1;
            case vst2::audioMasterGetProductString: std::strcpy(static_cast<char*>(ptr), host->product.c_str()); return 1;
            case vst2::audioMasterGetVendorVersion: return 7;
            case vst2::audioMasterCanDo:
                return std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ? host->canSizeWindow : 0;
            case vst2::audioMasterGetSampleRate: return host->sampleRate;
            case vst2::audioMasterGetBlockSize: return host->blockSize;
            case vst2::audioMasterGetTime:
                host->insideTimeQuery = true;
                while (host->holdInTimeQuery.load()) {
                }
                host->insideTimeQuery = false;
                host->time.tempo = host->tempo;
                host->time.flags = host->tempo > 0 ? vst2::kVstTempoValid : 0;
                return reinterpret_cast<intptr_t>(&host->time);
            default: host->lastOther = Arguments{opcode, index, value, ptr, opt}; return 0;
        }
    }
};

// Installs a fake host for the lifetime of a test.
struct FakeHostScope {
    explicit FakeHostScope(FakeHost& host) { FakeHost::current() = &host; }
    ~FakeHostScope() { FakeHost::current() = nullptr; }
};

}  // namespace tarsk::test
