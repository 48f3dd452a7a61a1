// Drives libcabinet.so directly: callbacks that count every open, close, allocation and free,
// and a notification handler that records each notification and writes files below a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fdi/fdi.h"

struct FdiHarness {
    FdiHarness();
    ~FdiHarness();

    // FDICopy of folder + name, with a fresh context; the result and erf are kept.
    bool Copy(const std::string& name, const std::string& folder);

    // One line per notification, e.g. "COPY_FILE a.txt 5" (see Describe in FdiHarness.cpp).
    std::vector<std::string> events;
    // Files written, by stored name.
    std::map<std::string, std::string> written;
    // Replaces the default answer to a notification when it returns a value.
    std::function<bool(int type, FDINOTIFICATION* notification, intptr_t& answer)> intercept;

    ERF erf{};
    std::string outputFolder;

    // Counters and faults of the seven callbacks, shared by all harnesses of the process.
    static inline int allocations = 0, frees = 0, opens = 0, closes = 0;
    static inline int failAllocationAt = -1;  // the n-th allocation (from 0) fails, and every later one
    static inline bool failWrites = false;
};
