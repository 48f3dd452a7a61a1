// Extracts one cabinet (and the rest of its set) through CCabinetExtractor, as the program
// does, and prints the number it would show: the benchmark's driver.
//
//   bench_extract CABINET DESTINATION
#include <cstdio>

#include "cabinet/CabinetExtractor.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CABINET DESTINATION\n", argv[0]);
        return 2;
    }
    CCabinetExtractor extractor;
    const bool extracted = extractor.Create() && extractor.Extract(argv[2], argv[1]);
    if (!extracted) {
        std::fprintf(stderr, "extraction failed: %d\n", extractor.ReportedErrorCode());
        return 1;
    }
    return 0;
}
