// How long the worker waits for a network event or a message before it gives up the run.
#pragma once

#include <cstdint>

inline constexpr uint32_t kSilenceLimitMs = 10000;

uint32_t SilenceLimitMs();
// Tests shorten the limit so that a silent peer does not cost them 10 s. Set it before the
// worker starts; 0 puts the real limit back.
void SetSilenceLimitForTesting(uint32_t milliseconds);
