// The callbacks through which the cabinet library reads cabinets, writes extracted files and
// reports its progress: the narrow seam between the library and this system's files.
//
// The seven file and memory callbacks are handed to FDICreate, the notification callback to
// FDICopy with the running CCabinetExtractor as its user value. Handles are low-level file
// handles; -1 is a failure.
#pragma once

#include <cstdint>

#include "fdi/fdi.h"

// Output files: write-only, sequential, created, truncated, binary; readable and writable.
inline constexpr int kOutputOpenFlags = 0x8321;
inline constexpr int kOutputPermission = 0x180;
// The stored attribute bits that extracted files keep: read-only, hidden, system, archive.
inline constexpr uint16_t kKeptAttributes = 0x27;
// The extractor's code for an output file that cannot be created.
inline constexpr int kTargetFileError = 8;

void* ExtractionAllocate(uint32_t size);
void ExtractionFree(void* block);
// With the create bit, an existing file at path is first made writable so it can be replaced.
intptr_t ExtractionOpen(char* path, int flags, int permission);
unsigned int ExtractionRead(intptr_t handle, void* buffer, unsigned int count);
unsigned int ExtractionWrite(intptr_t handle, void* buffer, unsigned int count);
int ExtractionClose(intptr_t handle);
int32_t ExtractionSeek(intptr_t handle, int32_t distance, int origin);

// Places each announced file below the destination folder, applies its stored time and
// attributes when it is closed, and records the next cabinet of the set.
intptr_t ExtractionNotify(int type, FDINOTIFICATION* notification);
