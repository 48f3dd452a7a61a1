// FDICopy on cabinets the tests write themselves: notifications, data, errors, memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <algorithm>
#include <functional>

#include "fdi/FdiHarness.h"
#include "support/CabinetWriter.h"
#include "support/ScratchFolder.h"

namespace {

// Data that deflate cannot shrink much, so blocks stay near their full size.
std::string NoisyData(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

std::string Text(size_t size, char first) {
    std::string data(size, first);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(first + i % 23);
    return data;
}

std::vector<StoredFile> ThreeFiles() {
    return {{"readme.txt", "hello cabinet\n", 0x2A43, 0x20A3, 0x20},
            {"bin\\run.sh", "#!/bin/sh\necho run\n", 0x2A43, 0x20A3, 0x60},
            {"data\\big.bin", Text(100000, 'a'), 0x3021, 0x6000, 0x21}};
}

class FdiCopyTest : public ::testing::Test {
protected:
    std::string Save(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(SaveFile(scratch.Path(name), bytes));
        return scratch.Path("");
    }
    void ExpectBalanced() {
        EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees);
        EXPECT_EQ(FdiHarness::opens, FdiHarness::closes);
    }

    ScratchFolder scratch;
    FdiHarness harness;
};

TEST_F(FdiCopyTest, AnnouncesEveryFileInTableOrderAndWritesItsBytes) {
    const auto files = ThreeFiles();
    const std::string folder = Save("one.cab", WriteCabinet(files));

    ASSERT_TRUE(harness.Copy("one.cab", folder + "/"));

    const std::vector<std::string> expected = {
        "CABINET_INFO next= disk= set=4321 index=0",
        "COPY_FILE readme.txt 14",
        "CLOSE_FILE_INFO readme.txt date=2a43 time=20a3 attribs=20 run=0",
        "COPY_FILE bin\\run.sh 19",
        "CLOSE_FILE_INFO bin\\run.sh date=2a43 time=20a3 attribs=60 run=1",
        "COPY_FILE data\\big.bin 100000",
        "CLOSE_FILE_INFO data\\big.bin date=3021 time=6000 attribs=21 run=0",
    };
    EXPECT_EQ(harness.events, expected);
    for (const StoredFile& file : files) EXPECT_EQ(harness.written[file.name], file.data) << file.name;
    ExpectBalanced();
}

TEST_F(FdiCopyTest, StoredDataAndMszipGiveTheSameFiles) {
    for (const auto compression : {CabinetCompression::kStored, CabinetCompression::kMszip}) {
        FdiHarness run;
        CabinetOptions options;
        options.compression = compression;
        const std::vector<StoredFile> files = {{"noise.bin", NoisyData(200000, 7)}, {"tail.txt", Text(5, 'x')}};
        const std::string folder = Save("codec.cab", WriteCabinet(files, options));
        ASSERT_TRUE(run.Copy("codec.cab", folder + "/"));
        EXPECT_EQ(run.written["noise.bin"], files[0].data);
        EXPECT_EQ(run.written["tail.txt"], files[1].data);
    }
}

TEST_F(FdiCopyTest, FileSkippedByTheCallbackLeavesTheFollowingFilesIntact) {
    const std::vector<StoredFile> files = {
        {"first.bin", Text(40000, 'a')}, {"skipped.bin", NoisyData(90000, 3)}, {"last.bin", Text(70000, 'k')}};
    const std::string folder = Save("skip.cab", WriteCabinet(files));
    harness.intercept = [](int type, FDINOTIFICATION* n, intptr_t& answer) {
        if (type != fdintCOPY_FILE || std::string(n->psz1) != "skipped.bin") return false;
        answer = 0;
        return true;
    };

    ASSERT_TRUE(harness.Copy("skip.cab", folder + "/"));

    EXPECT_EQ(harness.written.count("skipped.bin"), 0u);
    EXPECT_EQ(harness.written["first.bin"], files[0].data);
    EXPECT_EQ(harness.written["last.bin"], files[2].data);
    EXPECT_EQ(std::count(harness.events.begin(), harness.events.end(), "COPY_FILE skipped.bin 90000"), 1);
}

TEST_F(FdiCopyTest, CabinetWithoutFilesSucceedsWithItsCabinetInfoOnly) {
    const std::string folder = Save("empty.cab", WriteCabinet({}));

    ASSERT_TRUE(harness.Copy("empty.cab", folder + "/"));

    EXPECT_EQ(harness.events, std::vector<std::string>{"CABINET_INFO next= disk= set=4321 index=0"});
    ExpectBalanced();
}

TEST_F(FdiCopyTest, CabinetPathIsTheFolderAndNameJoinedAsGiven) {
    const std::string folder = Save("joined.cab", WriteCabinet(ThreeFiles()));

    EXPECT_FALSE(harness.Copy("joined.cab", folder)) << "no separator is added for the first cabinet";
    EXPECT_EQ(harness.erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
    EXPECT_TRUE(harness.Copy("joined.cab", folder + "/"));
}

TEST_F(FdiCopyTest, WriteCallbackFailureIsATargetFileErrorAndTheHandleIsStillClosed) {
    const std::string folder = Save("write.cab", WriteCabinet(ThreeFiles()));
    FdiHarness::failWrites = true;

    EXPECT_FALSE(harness.Copy("write.cab", folder + "/"));

    EXPECT_EQ(harness.erf.erfOper, FDIERROR_TARGET_FILE);
    EXPECT_EQ(harness.events.back(), "CLOSE_FILE_INFO readme.txt date=2a43 time=20a3 attribs=20 run=0");
    ExpectBalanced();
}

struct AbortCase {
    const char* name;
    int type;
    intptr_t answer;
};

class FdiAbortTest : public FdiCopyTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(FdiAbortTest, CallbackRefusalEndsTheCopyWithUserAbort) {
    const std::string folder = Save("abort.cab", WriteCabinet(ThreeFiles()));
    const AbortCase& c = GetParam();
    harness.intercept = [&c](int type, FDINOTIFICATION* n, intptr_t& answer) {
        if (type != c.type) return false;
        if (type == fdintCLOSE_FILE_INFO) ::close(static_cast<int>(n->hf)), ++FdiHarness::closes;
        answer = c.answer;
        return true;
    };

    EXPECT_FALSE(harness.Copy("abort.cab", folder + "/"));

    EXPECT_EQ(harness.erf.erfOper, FDIERROR_USER_ABORT);
    EXPECT_EQ(harness.erf.fError, 1);
    ExpectBalanced();
}

INSTANTIATE_TEST_SUITE_P(Notifications, FdiAbortTest,
                         ::testing::Values(AbortCase{"CabinetInfo", fdintCABINET_INFO, -1},
                                           AbortCase{"CopyFile", fdintCOPY_FILE, -1},
                                           AbortCase{"CloseFileFalse", fdintCLOSE_FILE_INFO, 0},
                                           AbortCase{"CloseFileMinusOne", fdintCLOSE_FILE_INFO, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A cabinet of the three files, damaged.
struct DamageCase {
    const char* name;
    std::function<void(std::string&)> damage;
    CabinetOptions options;
    int expected;
};

CabinetOptions Stored(bool checksums) {
    CabinetOptions options;
    options.compression = CabinetCompression::kStored;
    options.checksums = checksums;
    return options;
}

CabinetOptions WithVersion(uint8_t major, uint8_t minor) {
    CabinetOptions options;
    options.versionMajor = major;
    options.versionMinor = minor;
    return options;
}

CabinetOptions WithCompressionType(uint16_t type) {
    CabinetOptions options;
    options.compressionTypeOverride = type;
    return options;
}

size_t FirstFileEntry() { return kCabinetHeaderSize + kFolderEntrySize; }
size_t FirstDataBlock(const std::string& cab) {
    const auto* p = reinterpret_cast<const unsigned char*>(cab.data()) + kCabinetHeaderSize;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<size_t>(p[3]) << 24);
}

const DamageCase kDamage[] = {
    {"NoSignature", [](std::string& c) { c[0] = 'X'; }, {}, FDIERROR_NOT_A_CABINET},
    {"HeaderCutShort", [](std::string& c) { c.resize(20); }, {}, FDIERROR_NOT_A_CABINET},
    {"Version1_4", nullptr, WithVersion(1, 4), FDIERROR_UNKNOWN_CABINET_VERSION},
    {"Version2_0", nullptr, WithVersion(2, 0), FDIERROR_UNKNOWN_CABINET_VERSION},
    {"FileTableCutShort", [](std::string& c) { c.resize(FirstFileEntry() + 20); }, {}, FDIERROR_CORRUPT_CABINET},
    {"FolderIndexPastTheFolders", [](std::string& c) { c[FirstFileEntry() + 8] = 3; }, {}, FDIERROR_CORRUPT_CABINET},
    {"NoFoldersButFiles", [](std::string& c) { c[26] = 0; }, {}, FDIERROR_CORRUPT_CABINET},
    {"UnterminatedName",
     [](std::string& c) {
         c.resize(FirstFileEntry() + kFileEntrySize + 3);
         c += std::string(300, 'n');
     },
     {}, FDIERROR_CORRUPT_CABINET},
    {"DataCutShort", [](std::string& c) { c.resize(FirstDataBlock(c) + 20); }, {}, FDIERROR_CORRUPT_CABINET},
    {"ChecksumMismatch", [](std::string& c) { c[FirstDataBlock(c) + 8 + 5] ^= 0x55; }, Stored(true),
     FDIERROR_CORRUPT_CABINET},
    {"MszipSignatureBroken", [](std::string& c) { c[FirstDataBlock(c) + 8] = 'X'; }, [] {
         CabinetOptions o;
         o.checksums = false;
         return o;
     }(), FDIERROR_CORRUPT_CABINET},
    {"UnknownCompressionType", nullptr, WithCompressionType(7), FDIERROR_CORRUPT_CABINET},
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const AbortCase& c, std::ostream* os) { *os << c.name; }

class FdiDamageTest : public FdiCopyTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(FdiDamageTest, FailsWithItsCodeAndReleasesEverything) {
    const DamageCase& c = GetParam();
    std::string cab = WriteCabinet(ThreeFiles(), c.options);
    if (c.damage) c.damage(cab);
    const std::string folder = Save("damaged.cab", cab);

    EXPECT_FALSE(harness.Copy("damaged.cab", folder + "/"));

    EXPECT_EQ(harness.erf.erfOper, c.expected);
    EXPECT_EQ(harness.erf.fError, 1);
    ExpectBalanced();
}

INSTANTIATE_TEST_SUITE_P(Cabinets, FdiDamageTest, ::testing::ValuesIn(kDamage),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FdiCopyTest, MissingCabinetIsNotFound) {
    EXPECT_FALSE(harness.Copy("absent.cab", scratch.Path("") + "/"));
    EXPECT_EQ(harness.erf.erfOper, FDIERROR_CABINET_NOT_FOUND);
}

TEST_F(FdiCopyTest, BlockWithoutChecksumIsNotVerified) {
    std::string cab = WriteCabinet(ThreeFiles(), Stored(false));
    cab[FirstDataBlock(cab) + 8] ^= 0x01;  // the first byte of readme.txt
    const std::string folder = Save("nocsum.cab", cab);

    ASSERT_TRUE(harness.Copy("nocsum.cab", folder + "/"));
    EXPECT_EQ(harness.written["readme.txt"], std::string("iello cabinet\n"));
}

TEST_F(FdiCopyTest, EveryAllocationFailureGivesOutOfMemoryAndLeaksNothing) {
    const std::string folder = Save("memory.cab", WriteCabinet(ThreeFiles()));
    for (int failAt = 0;; ++failAt) {
        FdiHarness run;
        FdiHarness::failAllocationAt = failAt;
        const bool copied = run.Copy("memory.cab", folder + "/");
        EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees) << "failing allocation " << failAt;
        if (copied) break;
        if (failAt > 0) {
            EXPECT_EQ(run.erf.erfOper, FDIERROR_ALLOC_FAIL) << "failing allocation " << failAt;
        }
        ASSERT_LT(failAt, 10000);
    }
}

TEST(FdiIsCabinetTest, ReportsTheHeaderOfACabinetAndRefusesOtherFiles) {
    ScratchFolder scratch;
    CabinetOptions options;
    options.cabinetCapacity = 30000;
    const auto parts = WriteCabinetSet({{"big.bin", NoisyData(100000, 1)}}, options);
    ASSERT_GE(parts.size(), 2u);
    ASSERT_TRUE(SaveFile(scratch.Path("p2.cab"), parts[1]));
    ASSERT_TRUE(SaveFile(scratch.Path("text.txt"), "just text, no cabinet at all\n"));

    ERF erf{};
    void* context = FDICreate([](uint32_t n) { return std::malloc(n); }, std::free,
                              [](char* path, int, int) -> intptr_t { return ::open(path, O_RDONLY); },
                              [](intptr_t hf, void* b, unsigned n) { return static_cast<unsigned>(::read(hf, b, n)); },
                              [](intptr_t, void*, unsigned) { return 0u; },
                              [](intptr_t hf) { return ::close(hf); },
                              [](intptr_t hf, int32_t d, int o) { return static_cast<int32_t>(::lseek(hf, d, o)); },
                              cpu80386, &erf);
    ASSERT_NE(context, nullptr);
    FDICABINETINFO info{};
    int hf = ::open(scratch.Path("p2.cab").c_str(), O_RDONLY);
    EXPECT_TRUE(FDIIsCabinet(context, hf, &info));
    ::close(hf);
    EXPECT_EQ(info.cbCabinet, static_cast<int32_t>(parts[1].size()));
    EXPECT_EQ(info.setID, 4321);
    EXPECT_EQ(info.iCabinet, 1);
    EXPECT_EQ(info.cFiles, 1);
    EXPECT_TRUE(info.hasprev);
    EXPECT_EQ(info.hasnext, parts.size() > 2 ? 1 : 0);

    hf = ::open(scratch.Path("text.txt").c_str(), O_RDONLY);
    EXPECT_FALSE(FDIIsCabinet(context, hf, &info));
    ::close(hf);
    EXPECT_TRUE(FDIDestroy(context));
}

TEST(FdiCreateTest, MissingCallbackGivesNoContextAndAnError) {
    ERF erf{};
    EXPECT_EQ(FDICreate(nullptr, std::free, nullptr, nullptr, nullptr, nullptr, nullptr, cpu80386, &erf), nullptr);
    EXPECT_EQ(erf.fError, 1);
    EXPECT_FALSE(FDIDestroy(nullptr));
}

}  // namespace
