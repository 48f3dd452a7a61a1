// One extraction as the program runs it: Create, Extract, and the number it would show.
#pragma once

#include <string>

#include "cabinet/CabinetExtractor.h"

struct Outcome {
    bool extracted;
    int code;
};

inline Outcome Extract(const std::string& destination, const std::string& cabinet) {
    CCabinetExtractor extractor;
    if (!extractor.Create()) return {false, extractor.ReportedErrorCode()};
    const bool extracted = extractor.Extract(destination.c_str(), cabinet.c_str());
    return {extracted, extractor.ReportedErrorCode()};
}
