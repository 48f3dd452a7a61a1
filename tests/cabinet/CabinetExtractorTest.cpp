// CCabinetExtractor with libcabinet.so beside the test program, on cabinets the tests write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>

#include "cabinet/CabinetExtractor.h"
#include "cabinet/ExtractorRun.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kDate20010203 = 0x2A43;
constexpr uint16_t kTime1200 = 12 << 11;

class CabinetExtractorTest : public ::testing::Test {
protected:
    std::string SaveCabinet(const std::string& name, const std::vector<StoredFile>& files,
                            const CabinetOptions& options = {}) {
        const std::string path = scratch.Path(name);
        EXPECT_TRUE(SaveFile(path, WriteCabinet(files, options)));
        return path;
    }

    // Every path below the scratch folder that is neither the destination, below it, nor a cabinet.
    std::vector<std::string> WrittenOutside(const std::string& destination) {
        std::vector<std::string> outside;
        for (const auto& entry : fs::recursive_directory_iterator(scratch.Path(""))) {
            const std::string path = entry.path().string();
            if (path.rfind(destination, 0) == 0 || entry.path().extension() == ".cab") continue;
            if (destination.rfind(path + "/", 0) == 0) continue;  // a parent of the destination
            outside.push_back(path);
        }
        return outside;
    }

    ScratchFolder scratch;
};

std::vector<StoredFile> NestedFiles() {
    return {{"top.txt", "at the top\n"},
            {"sub\\dir\\file.dat", std::string(70000, 'z')},
            {"sub\\other.txt", "beside dir\n"}};
}

class DestinationFormTest : public CabinetExtractorTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DestinationFormTest, FilesLandInTheirStoredFoldersBelowTheDestination) {
    const std::string cabinet = SaveCabinet("nested.cab", NestedFiles());
    const std::string destination = scratch.Path("missing/parents/dest");

    const Outcome outcome = Extract(destination + GetParam(), cabinet);

    ASSERT_TRUE(outcome.extracted) << outcome.code;
    EXPECT_EQ(outcome.code, 0);
    for (const StoredFile& file : NestedFiles()) {
        std::string relative = file.name;
        for (char& c : relative) {
            if (c == '\\') c = '/';
        }
        EXPECT_EQ(LoadFile(destination + "/" + relative), file.data) << relative;
    }
    EXPECT_TRUE(WrittenOutside(destination).empty());
}

INSTANTIATE_TEST_SUITE_P(TrailingSlash, DestinationFormTest, ::testing::Values("", "/"),
                         [](const auto& info) { return std::string(*info.param ? "With" : "Without"); });

TEST_F(CabinetExtractorTest, SetIsFollowedThroughNamesThatDifferInCaseFromTheFiles) {
    const std::vector<StoredFile> files = {
        {"a.txt", "first\n"}, {"span.bin", std::string(150000, 's')}, {"b.txt", "last\n"}};
    CabinetOptions options;
    options.compression = CabinetCompression::kStored;
    options.cabinetCapacity = 60000;
    options.cabinetNames = {"DATA1.CAB", "Data2.Cab", "DATA3.CAB"};
    const auto parts = WriteCabinetSet(files, options);
    ASSERT_EQ(parts.size(), 3u);
    for (size_t i = 0; i < parts.size(); ++i) {
        ASSERT_TRUE(SaveFile(scratch.Path("data" + std::to_string(i + 1) + ".cab"), parts[i]));
    }

    const Outcome outcome = Extract(scratch.Path("out"), scratch.Path("data1.cab"));

    ASSERT_TRUE(outcome.extracted) << outcome.code;
    for (const StoredFile& file : files) EXPECT_EQ(LoadFile(scratch.Path("out/" + file.name)), file.data);
}

TEST_F(CabinetExtractorTest, MissingContinuationCabinetFailsWithNotFound) {
    CabinetOptions options;
    options.compression = CabinetCompression::kStored;
    options.cabinetCapacity = 20000;
    const auto parts = WriteCabinetSet({{"span.bin", std::string(50000, 's')}}, options);
    ASSERT_TRUE(SaveFile(scratch.Path("part1.cab"), parts[0]));

    const Outcome outcome = Extract(scratch.Path("out"), scratch.Path("part1.cab"));

    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 1);
}

struct AttributeCase {
    uint16_t stored;
    bool readOnly;
};

void PrintTo(const AttributeCase& c, std::ostream* os) { *os << c.stored; }

class AttributeTest : public CabinetExtractorTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(AttributeTest, ReadOnlyIsTheOnlyStoredAttributeLinuxShows) {
    StoredFile file{"attrib.txt", "attributes\n"};
    file.attribs = GetParam().stored;
    ASSERT_TRUE(Extract(scratch.Path("out"), SaveCabinet("attrib.cab", {file})).extracted);

    struct stat st {};
    ASSERT_EQ(::stat(scratch.Path("out/attrib.txt").c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & 0222) == 0, GetParam().readOnly);
    EXPECT_NE(st.st_mode & 0444, 0u);
}

INSTANTIATE_TEST_SUITE_P(Stored, AttributeTest,
                         ::testing::Values(AttributeCase{0x61, true}, AttributeCase{0x21, true},
                                           AttributeCase{0xA0, false}, AttributeCase{0x20, false},
                                           AttributeCase{0x07, true}),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Attribs%02X", info.param.stored);
                             return std::string(name);
                         });

TEST_F(CabinetExtractorTest, ExistingReadOnlyFileIsReplaced) {
    ASSERT_TRUE(fs::create_directory(scratch.Path("out")));
    ASSERT_TRUE(SaveFile(scratch.Path("out/keep.txt"), "old and longer content\n"));
    ASSERT_EQ(::chmod(scratch.Path("out/keep.txt").c_str(), 0444), 0);

    ASSERT_TRUE(Extract(scratch.Path("out"), SaveCabinet("replace.cab", {{"keep.txt", "new\n"}})).extracted);

    EXPECT_EQ(LoadFile(scratch.Path("out/keep.txt")), "new\n");
}

TEST_F(CabinetExtractorTest, StoredTimeIsLocalTimeAndOnlyTheModificationTimeIsSet) {
    ScopedEnv zone("TZ", "Asia/Seoul");
    ::tzset();
    StoredFile file{"noon.txt", "twelve o'clock\n", kDate20010203, kTime1200, 0x21};
    const Outcome outcome = Extract(scratch.Path("out"), SaveCabinet("time.cab", {file}));
    struct stat st {};
    const int statResult = ::stat(scratch.Path("out/noon.txt").c_str(), &st);
    ::unsetenv("TZ");
    ::tzset();

    ASSERT_TRUE(outcome.extracted);
    ASSERT_EQ(statResult, 0);
    constexpr std::time_t k0300Utc = 981169200;  // 2001-02-03 03:00:00 UTC is 12:00 in Seoul
    EXPECT_EQ(st.st_mtim.tv_sec, k0300Utc);
    EXPECT_GT(st.st_atim.tv_sec, k0300Utc) << "the access time stays as writing the file left it";
    EXPECT_EQ(st.st_mode & 0222, 0u) << "times are set before the file becomes read-only";
}

TEST_F(CabinetExtractorTest, ImpossibleStoredTimeLeavesTheTimeOfWriting) {
    StoredFile file{"month13.txt", "no such month\n", static_cast<uint16_t>((21 << 9) | (13 << 5) | 1), 0, 0x20};
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(Extract(scratch.Path("out"), SaveCabinet("badtime.cab", {file})).extracted);
    struct stat st {};
    ASSERT_EQ(::stat(scratch.Path("out/month13.txt").c_str(), &st), 0);
    EXPECT_GE(st.st_mtim.tv_sec, before - 1);
}

struct NameCase {
    const char* name;
    const char* stored;
    bool refused;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.stored; }

class StoredNameTest : public CabinetExtractorTest, public ::testing::WithParamInterface<NameCase> {};

// A refused name aborts the extraction with 8, as an output file that cannot be created does.
TEST_P(StoredNameTest, NameThatLeavesTheDestinationIsRefusedAndNothingIsWrittenOutside) {
    ASSERT_TRUE(fs::create_directory(scratch.Path("outer")));
    const std::string destination = scratch.Path("outer/dest");
    const std::string cabinet = SaveCabinet("names.cab", {{"first.txt", "before\n"}, {GetParam().stored, "payload\n"}});

    const Outcome outcome = Extract(destination, cabinet);

    EXPECT_EQ(outcome.extracted, !GetParam().refused);
    EXPECT_EQ(outcome.code, GetParam().refused ? 8 : 0);
    EXPECT_EQ(LoadFile(destination + "/first.txt"), "before\n") << "a failed run removes nothing";
    EXPECT_EQ(WrittenOutside(destination), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists("/abs.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, StoredNameTest,
    ::testing::Values(NameCase{"ParentBackslash", "..\\evil.txt", true},
                      NameCase{"ParentSlash", "../evil.txt", true},
                      NameCase{"ClimbsOutOfASubfolder", "sub\\..\\..\\evil.txt", true},
                      NameCase{"MixedSeparators", "sub/..\\../evil.txt", true},
                      NameCase{"AbsoluteBackslash", "\\abs.txt", true},
                      NameCase{"AbsoluteSlash", "/abs.txt", true},
                      NameCase{"ParentAsFileName", "sub\\..", true},
                      NameCase{"DotsInsideAName", "..hidden\\a..b.txt", false},
                      NameCase{"CurrentFolder", ".\\here.txt", false},
                      NameCase{"StaysInsideAfterParent", "sub\\..\\fine.txt", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CabinetExtractorTest, PathLongerThanTheBufferFailsWithTargetFileError) {
    const std::string destination = scratch.Path(std::string(200, 'd'));
    const std::string cabinet = SaveCabinet("long.cab", {{std::string(100, 'n') + ".txt", "long\n"}});

    const Outcome outcome = Extract(destination, cabinet);

    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 8);
}

TEST_F(CabinetExtractorTest, DestinationLongerThanTheBufferFailsBeforeTheLibrary) {
    const std::string cabinet = SaveCabinet("short.cab", {{"a.txt", "a\n"}});
    const Outcome outcome = Extract(scratch.Path(std::string(300, 'd')), cabinet);
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 8);
}

TEST_F(CabinetExtractorTest, FolderBelowAFileFailsWithTargetFileError) {
    ASSERT_TRUE(fs::create_directory(scratch.Path("out")));
    ASSERT_TRUE(SaveFile(scratch.Path("out/sub"), "a file where a folder should be\n"));

    const Outcome outcome = Extract(scratch.Path("out"), SaveCabinet("below.cab", {{"sub\\inner.txt", "x\n"}}));

    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 8);
}

TEST_F(CabinetExtractorTest, EmptyCabinetPathFailsWithoutAnErrorRecorded) {
    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Create());
    EXPECT_FALSE(extractor.Extract(scratch.Path("out").c_str(), ""));
    EXPECT_EQ(extractor.ReportedErrorCode(), 0);
    EXPECT_FALSE(extractor.Extract(scratch.Path("out").c_str(), nullptr));
    EXPECT_EQ(extractor.ReportedErrorCode(), 0);
    EXPECT_FALSE(fs::exists(scratch.Path("out")));
}

TEST_F(CabinetExtractorTest, MissingCabinetFailsWithNotFound) {
    const Outcome outcome = Extract(scratch.Path("out"), scratch.Path("absent.cab"));
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 1);
}

TEST_F(CabinetExtractorTest, DamagedCabinetReportsTheLibraryCode) {
    std::string cab = WriteCabinet(NestedFiles());
    cab[0] = 'Z';
    ASSERT_TRUE(SaveFile(scratch.Path("bad.cab"), cab));
    const Outcome outcome = Extract(scratch.Path("out"), scratch.Path("bad.cab"));
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 2);
}

TEST_F(CabinetExtractorTest, SecondCreateFailsAndKeepsTheContext) {
    CCabinetExtractor extractor;
    ASSERT_TRUE(extractor.Create());
    EXPECT_FALSE(extractor.Create());
    EXPECT_TRUE(extractor.Extract(scratch.Path("out").c_str(), SaveCabinet("again.cab", NestedFiles()).c_str()));
}

TEST_F(CabinetExtractorTest, CabinetNamedWithoutAFolderIsFoundInTheCurrentFolder) {
    SaveCabinet("here.cab", {{"x.txt", "x\n"}});
    const fs::path previous = fs::current_path();
    fs::current_path(scratch.Path(""));
    const Outcome outcome = Extract("out", "here.cab");
    fs::current_path(previous);
    ASSERT_TRUE(outcome.extracted) << outcome.code;
    EXPECT_EQ(LoadFile(scratch.Path("out/x.txt")), "x\n");
}

}  // namespace
