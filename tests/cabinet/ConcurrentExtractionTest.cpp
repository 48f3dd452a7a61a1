// Two extractors on two threads at once: each copy reaches its own callbacks and allocator.
#include <gtest/gtest.h>

#include <thread>

#include "cabinet/CabinetExtractor.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"

namespace {

TEST(ConcurrentExtractionTest, ExtractorsOnTwoThreadsEachWriteTheirOwnCabinet) {
    ScratchFolder scratch;
    std::vector<std::vector<StoredFile>> sets(2);
    for (int t = 0; t < 2; ++t) {
        for (int f = 0; f < 4; ++f) {
            std::string data(90000 + 1000 * f, '\0');
            for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + (i * (t + 3) + f) % 26);
            sets[t].push_back({"dir\\file" + std::to_string(f) + ".txt", data});
        }
        ASSERT_TRUE(SaveFile(scratch.Path("t" + std::to_string(t) + ".cab"), WriteCabinet(sets[t])));
    }

    bool extracted[2] = {false, false};
    auto run = [&](int t) {
        for (int round = 0; round < 5; ++round) {
            CCabinetExtractor extractor;
            extracted[t] = extractor.Create() &&
                           extractor.Extract(scratch.Path("out" + std::to_string(t)).c_str(),
                                             scratch.Path("t" + std::to_string(t) + ".cab").c_str());
            if (!extracted[t]) return;
        }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();

    for (int t = 0; t < 2; ++t) {
        ASSERT_TRUE(extracted[t]);
        for (int f = 0; f < 4; ++f) {
            EXPECT_EQ(LoadFile(scratch.Path("out" + std::to_string(t) + "/dir/file" + std::to_string(f) + ".txt")),
                      sets[t][f].data);
        }
    }
}

}  // namespace
