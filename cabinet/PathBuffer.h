// A path in a fixed buffer of kCabinetPathSize bytes that refuses what does not fit.
#pragma once

#include <cstddef>
#include <cstring>

#include "cabinet/CabinetExtractor.h"

class PathBuffer {
public:
    PathBuffer() { text[0] = '\0'; }

    const char* Text() const { return text; }
    size_t Length() const { return length; }

    // Appends count bytes of part. False, and nothing appended, when the result would not fit.
    bool Append(const char* part, size_t count) {
        if (count >= sizeof(text) - length) return false;
        std::memcpy(text + length, part, count);
        length += count;
        text[length] = '\0';
        return true;
    }
    bool Append(const char* part) { return Append(part, std::strlen(part)); }

    // Appends a stored cabinet name, whose folders are separated by backslashes.
    bool AppendStoredName(const char* part, size_t count) {
        const size_t start = length;
        if (!Append(part, count)) return false;
        for (size_t i = start; i < length; ++i) {
            if (text[i] == '\\') text[i] = '/';
        }
        return true;
    }

private:
    char text[kCabinetPathSize];
    size_t length = 0;
};
