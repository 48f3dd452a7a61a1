// The download's silence limit shortened for one test, so a silent peer does not cost it the
// real ten seconds; the real limit comes back when the guard goes, also when the test fails.
#pragma once

#include <cstdint>

#include "download/SilenceLimit.h"

class SilenceLimitGuard {
public:
    explicit SilenceLimitGuard(uint32_t ms) { SetSilenceLimitForTesting(ms); }
    ~SilenceLimitGuard() { SetSilenceLimitForTesting(0); }
    SilenceLimitGuard(const SilenceLimitGuard&) = delete;
    SilenceLimitGuard& operator=(const SilenceLimitGuard&) = delete;
};
