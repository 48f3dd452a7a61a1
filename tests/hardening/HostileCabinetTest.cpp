// Cabinets made to hurt the extractor: names that are absolute, climb out, mix separators, are
// empty, huge or repeated; thousands of files; deep folders; sizes that lie. Whatever the
// cabinet holds, nothing is written outside the destination (its sibling folder and the folder
// around it stay exactly as they were), memory stays bounded, and the number shown is 8 for a
// name the extractor refuses or cannot create, the library's FDI code otherwise.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cabinet/CabinetExtractor.h"
#include "hardening/Observations.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kMemoryBoundBytes = 64 << 20;
// Where the first file entry's size and folder offset lie in a cabinet of one folder.
constexpr size_t kFirstFileSize = kCabinetHeaderSize + kFolderEntrySize;
constexpr size_t kFirstFileFolderOffset = kFirstFileSize + 4;
constexpr size_t kCabinetSizeField = 8;
constexpr size_t kFolderBlockCount = kCabinetHeaderSize + 4;

void PutDword(std::string& cabinet, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) cabinet[offset + i] = static_cast<char>(value >> (8 * i));
}

void PutWord(std::string& cabinet, size_t offset, uint16_t value) {
    cabinet[offset] = static_cast<char>(value);
    cabinet[offset + 1] = static_cast<char>(value >> 8);
}

// depth folders "d" and the leaf, joined with separator.
std::string Deep(int depth, const std::string& leaf, const std::string& separator = "\\") {
    std::string name;
    for (int i = 0; i < depth; ++i) name += "d" + separator;
    return name + leaf;
}

std::vector<StoredFile> ThousandsOfFiles() {
    std::vector<StoredFile> files;
    for (int i = 0; i < 5000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%02d\\file%04d.txt", i % 50, i);
        files.push_back({name, std::string(1 + i % 7, 'a' + i % 26)});
    }
    return files;
}

struct HostileCabinet {
    const char* name;
    std::vector<StoredFile> files;
    std::function<void(std::string&)> damage;  // null: the cabinet as written
    bool extracted;
    int code;
    // The files below the destination afterwards: name (with "/") and content. Null: not checked.
    std::map<std::string, std::string> expected;
};

void PrintTo(const HostileCabinet& c, std::ostream* os) { *os << c.name; }

const std::string kPayload = "payload\n";

std::vector<HostileCabinet> Cabinets() {
    return {
        {"AbsoluteWithBackslash", {{"\\tmp\\tarnwick-abs.txt", kPayload}}, nullptr, false, 8, {}},
        {"AbsoluteWithSlash", {{"/tmp/tarnwick-abs.txt", kPayload}}, nullptr, false, 8, {}},
        {"ClimbsToTheSibling", {{"..\\sibling\\marker.txt", kPayload}}, nullptr, false, 8, {}},
        {"ClimbsOutOfAFolderItMade", {{"a\\b\\..\\..\\..\\sibling\\new.txt", kPayload}}, nullptr, false, 8, {}},
        {"ClimbsWithMixedSeparators", {{"a/..\\../sibling/new.txt", kPayload}}, nullptr, false, 8, {}},
        {"ForwardSlashesAreFoldersToo", {{"a/b\\c.txt", kPayload}}, nullptr, true, 0, {{"a/b/c.txt", kPayload}}},
        // Bytes that spell "." and "/" in overlong UTF-8 are plain name bytes on Linux.
        {"OverlongUtf8Dots", {{"\xC0\xAE\xC0\xAE\\inside.txt", kPayload}}, nullptr, true, 0,
         {{"\xC0\xAE\xC0\xAE/inside.txt", kPayload}}},
        // A refused name stops the run; the file before it stays.
        {"RefusedAfterAGoodFile", {{"good.txt", "good\n"}, {"..\\bad.txt", kPayload}}, nullptr, false, 8,
         {{"good.txt", "good\n"}}},
        // The library takes an empty stored name for a damaged cabinet.
        {"EmptyName", {{"", kPayload}}, nullptr, false, 4, {}},
        {"NameThatIsAFolder", {{"dir\\", kPayload}}, nullptr, false, 8, {}},
        {"NameThatIsTheCurrentFolder", {{".", kPayload}}, nullptr, false, 8, {}},
        {"NameOfFourThousandBytes", {{std::string(4000, 'n'), kPayload}}, nullptr, false, 4, {}},
        {"RepeatedNameKeepsTheLast", {{"same.txt", "first\n"}, {"same.txt", "second\n"}}, nullptr, true, 0,
         {{"same.txt", "second\n"}}},
        {"RepeatedReadOnlyNameIsReplaced",
         {{"same.txt", "first\n", 0x2A43, 0x20A3, 0x21}, {"same.txt", "second\n"}}, nullptr, true, 0,
         {{"same.txt", "second\n"}}},
        {"FileWhereAnEarlierFolderIs", {{"a\\b.txt", kPayload}, {"a", kPayload}}, nullptr, false, 8,
         {{"a/b.txt", kPayload}}},
        {"FolderWhereAnEarlierFileIs", {{"a", kPayload}, {"a\\b.txt", kPayload}}, nullptr, false, 8,
         {{"a", kPayload}}},
        {"DeepFolders", {{Deep(100, "leaf.txt"), kPayload}}, nullptr, true, 0,
         {{Deep(100, "leaf.txt", "/"), kPayload}}},
        // A stored name within the library's 255 bytes whose path outgrows 259 bytes.
        {"FoldersTooDeepForAPath", {{Deep(120, "leaf.txt"), kPayload}}, nullptr, false, 8, {}},
        {"ThousandsOfFiles", ThousandsOfFiles(), nullptr, true, 0, {}},
        // The first file claims 2 GiB that the folder does not hold.
        {"SizeLargerThanTheData", {{"big.txt", kPayload}},
         [](std::string& c) { PutDword(c, kFirstFileSize, 0x7FFFFFFF); }, false, 4, {}},
        {"SizeSmallerThanTheData", {{"small.txt", kPayload}},
         [](std::string& c) { PutDword(c, kFirstFileSize, 3); }, true, 0, {{"small.txt", "pay"}}},
        {"FileStartsBeyondTheData", {{"far.txt", kPayload}},
         [](std::string& c) { PutDword(c, kFirstFileFolderOffset, 0x7FFFFFF0); }, false, 4, {}},
        {"CabinetSizeClaimsFourGiB", {{"a.txt", kPayload}},
         [](std::string& c) { PutDword(c, kCabinetSizeField, 0xFFFFFFFF); }, true, 0, {{"a.txt", kPayload}}},
        {"FolderClaimsMoreBlocks", {{"a.txt", kPayload}, {"b.txt", std::string(70000, 'b')}},
         [](std::string& c) { PutWord(c, kFolderBlockCount, 0xFFFF); }, true, 0, {{"a.txt", kPayload}}},
    };
}

std::map<std::string, std::string> FilesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        files[fs::relative(entry.path(), root).string()] = LoadFile(entry.path().string());
    }
    return files;
}

class HostileCabinetTest : public testing::TestWithParam<HostileCabinet> {
protected:
    ScratchFolder scratch;
};

TEST_P(HostileCabinetTest, NothingLandsOutsideAndTheNumberFollowsTheRules) {
    const HostileCabinet& c = GetParam();
    const fs::path outer = scratch.Path("outer");
    const fs::path destination = outer / "dest";
    fs::create_directories(outer / "sibling");
    ASSERT_TRUE(SaveFile((outer / "sibling" / "marker.txt").string(), "marker\n"));
    ASSERT_TRUE(SaveFile((outer / "beside.txt").string(), "beside\n"));
    CabinetOptions stored;
    stored.compression = CabinetCompression::kStored;
    std::string cabinet = WriteCabinet(c.files, stored);
    if (c.damage) c.damage(cabinet);
    const std::string cabinetPath = scratch.Path("hostile.cab");
    ASSERT_TRUE(SaveFile(cabinetPath, cabinet));
    const auto before = Snapshot(scratch.Path(""), destination);
    const int64_t residentBefore = ResidentBytes();

    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Create());
    const bool extracted = extractor.Extract(destination.c_str(), cabinetPath.c_str());

    EXPECT_EQ(extracted, c.extracted);
    EXPECT_EQ(extractor.ReportedErrorCode(), c.code);
    EXPECT_EQ(Snapshot(scratch.Path(""), destination), before);
    EXPECT_EQ(LoadFile((outer / "sibling" / "marker.txt").string()), "marker\n");
    EXPECT_FALSE(fs::exists("/tmp/tarnwick-abs.txt"));
    EXPECT_LT(ResidentBytes() - residentBefore, kMemoryBoundBytes);
    const auto written = FilesBelow(destination);
    for (const auto& [name, content] : c.expected) {
        const auto found = written.find(name);
        ASSERT_NE(found, written.end()) << name;
        EXPECT_EQ(found->second, content) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Cabinets, HostileCabinetTest, testing::ValuesIn(Cabinets()),
                         [](const testing::TestParamInfo<HostileCabinet>& info) { return std::string(info.param.name); });

// The many-files cabinet compressed, each file checked, with the figures printed.
TEST(ManyFilesTest, ThousandsOfCompressedFilesAllArriveWhole) {
    ScratchFolder scratch;
    const std::vector<StoredFile> files = ThousandsOfFiles();
    const std::string cabinetPath = scratch.Path("many.cab");
    ASSERT_TRUE(SaveFile(cabinetPath, WriteCabinet(files)));
    const int64_t residentBefore = ResidentBytes();
    const auto start = std::chrono::steady_clock::now();
    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Create());
    ASSERT_TRUE(extractor.Extract(scratch.Path("out").c_str(), cabinetPath.c_str())) << extractor.ReportedErrorCode();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int64_t grown = ResidentBytes() - residentBefore;
    std::printf("%zu files in %.3f s, resident memory grew by %lld KiB\n", files.size(), seconds,
                static_cast<long long>(grown / 1024));
    EXPECT_LT(grown, kMemoryBoundBytes);
    const auto written = FilesBelow(scratch.Path("out"));
    ASSERT_EQ(written.size(), files.size());
    for (const StoredFile& file : files) {
        std::string name = file.name;
        name[name.find('\\')] = '/';
        EXPECT_EQ(written.at(name), file.data) << name;
    }
}

}  // namespace
