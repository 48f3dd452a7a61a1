// CCabinetExtractor on the shared real-world cabinets: byte-exact output, sets, and damage
// that must fail without writing outside the destination.
#include <gtest/gtest.h>

#include <cctype>

#include <filesystem>
#include <map>

#include "cabinet/ExtractorRun.h"
#include "support/CabinetWriter.h"
#include "support/Fixtures.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

// Relative path and md5 of every regular file below folder.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            contents[fs::relative(entry.path(), folder).string()] = Md5Hex(LoadFile(entry.path().string()));
        }
    }
    return contents;
}

std::vector<std::string> EntriesOutside(const std::string& root, const std::string& destination) {
    std::vector<std::string> outside;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string();
        if (path != destination && path.rfind(destination + "/", 0) != 0) outside.push_back(path);
    }
    return outside;
}

constexpr const char* kEmpty = "d41d8cd98f00b204e9800998ecf8427e";

struct GoodCase {
    const char* cabinet;
    std::map<std::string, std::string> files;
};

const std::map<std::string, std::string> kReserveFiles = {{"test1.txt", "2debfdcf79f03e4a65a667d21ef9de14"},
                                                          {"test2.txt", "d8e8fca2dc0f896fd7cb4cb0031ba249"}};

const GoodCase kGood[] = {
    {"libmspack-cabd/normal_2files_1folder.cab",
     {{"hello.c", "c2535936b8908b1f8a28b7724a2c2045"}, {"welcome.c", "67c981a019c21f3f4bb8f92efe4d95a1"}}},
    {"libmspack-cabd/normal_2files_2folders.cab",
     {{"mszip1.txt", "59571918d5be925ad8aec9f5d7369cf5"},
      {"mszip2.txt", "cb18e329a9effc70aa07a7061844b584"},
      {"lzx1.txt", "67c5cd73e661fa667b8de3d8a5f6f3bf"},
      {"lzx2.txt", "5182c12627058cf1afd4e6ce8f10d635"}}},
    {"libmspack-cabd/mszip_lzx_qtm.cab",
     {{"mszip.txt", "940cba86658fbceb582faecd2b5975d1"},
      {"lzx.txt", "703474293b614e7110b3eb8ac2762b53"},
      {"qtm.txt", "98fcfa4962a0f169a3c7fdbcb445cf17"}}},
    {"libmspack-cabd/reserve_---.cab", kReserveFiles},
    {"libmspack-cabd/reserve_--D.cab", kReserveFiles},
    {"libmspack-cabd/reserve_-F-.cab", kReserveFiles},
    {"libmspack-cabd/reserve_-FD.cab", kReserveFiles},
    {"libmspack-cabd/reserve_H--.cab", kReserveFiles},
    {"libmspack-cabd/reserve_H-D.cab", kReserveFiles},
    {"libmspack-cabd/reserve_HF-.cab", kReserveFiles},
    {"libmspack-cabd/reserve_HFD.cab", kReserveFiles},
    {"libmspack-cabd/hidden-files.cab", {{"normal1.txt", kEmpty}, {"normal2.txt", kEmpty}}},
    {"cabextract-bugs/cve-2010-2801-qtm-flush.cab", {{"zeroes", "42e8928e055cded6e5f32491a281ce92"}}},
    {"generated-gcab/gcab_mszip_exec_utf8.cab",
     {{"bin/run.sh", "2e0859cd754359ad2df5fcc49617f5fa"},
      {"data/seq.txt", "0a61f0919f546ce04fc119b028b88a2e"},
      {"data/lcg.bin", "5e9dc1d6ab06e1ccbf41e8419e308e67"},
      {"docs/r\xC3\xA9sum\xC3\xA9.txt", "6e99834b7c3e3fd53529a5489725d7e8"},
      {"docs/empty.txt", kEmpty}}},
    {"generated-gcab/gcab_none.cab",
     {{"docs/a.txt", "06e9a01c997f6e464cabac2b619ab44a"}, {"docs/seq.txt", "e071f707df7bbeee2a6a1eb48011ddd0"}}},
    {"cabextract-cabs/large-files-cab.cab", {{"large-files.cab", "ac923e14971324651015ba44ceb59b36"}}},
    {"cabextract-cabs/dir.cab",
     {{"plain.c", "c2535936b8908b1f8a28b7724a2c2045"}, {"1/2/3/4.c", "67c981a019c21f3f4bb8f92efe4d95a1"}}},
    {"cabextract-cabs/split-1.cab",
     {{"small1.bin", "2ad5ba0f497f1e597ab187a2dfaa2e29"},
      {"small2.bin", "1f862f9e36a32a74202c1120b9f06af7"},
      {"medium1.bin", "0a7bd124a4c03a30329bd9ff06f71df7"},
      {"medium2.bin", "b4b0a02ad6a1170d4b3db18cec616fcc"},
      {"small3.bin", "bbaecacfeba976165e9d77bbecb0cbde"},
      {"medium3.bin", "b98fe17e8afbcf05aefc5b2c4badbc28"}}},
};

std::string TestName(const std::string& cabinet) {
    std::string name = fs::path(cabinet).stem().string();
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.cabinet; }

class GoodFixtureTest : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodFixtureTest, ExtractsEveryFileByteExact) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    const Outcome outcome = Extract(scratch.Path("out"), FixturePath(GetParam().cabinet));
    ASSERT_TRUE(outcome.extracted) << outcome.code;
    EXPECT_EQ(Contents(scratch.Path("out")), GetParam().files);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoodFixtureTest, ::testing::ValuesIn(kGood),
                         [](const auto& info) { return TestName(info.param.cabinet); });

struct CountCase {
    const char* cabinet;
    size_t files;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.cabinet; }

class NameEncodingFixtureTest : public ::testing::TestWithParam<CountCase> {};

// Names in several encodings, flagged UTF-8 or not, become files as their bytes stand.
TEST_P(NameEncodingFixtureTest, ExtractsEveryEmptyFile) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    const Outcome outcome = Extract(scratch.Path("out"), FixturePath(GetParam().cabinet));
    ASSERT_TRUE(outcome.extracted) << outcome.code;
    const auto contents = Contents(scratch.Path("out"));
    EXPECT_EQ(contents.size(), GetParam().files);
    for (const auto& [name, md5] : contents) EXPECT_EQ(md5, kEmpty) << name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NameEncodingFixtureTest,
                         ::testing::Values(CountCase{"cabextract-cabs/case-ascii.cab", 2},
                                           CountCase{"cabextract-cabs/case-utf8.cab", 6},
                                           CountCase{"cabextract-cabs/encoding-latin1.cab", 3},
                                           CountCase{"cabextract-cabs/encoding-koi8.cab", 3},
                                           CountCase{"cabextract-cabs/encoding-sjis.cab", 6}),
                         [](const auto& info) { return TestName(info.param.cabinet); });

struct BrokenCase {
    const char* cabinet;
    int code;
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.cabinet; }

class BrokenFixtureTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFixtureTest, FailsWithItsCodeAndWritesNothingOutsideTheDestination) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    const std::string destination = scratch.Path("out");
    const Outcome outcome = Extract(destination, FixturePath(GetParam().cabinet));
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, GetParam().code);
    EXPECT_EQ(EntriesOutside(scratch.Path(""), destination), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, BrokenFixtureTest,
    ::testing::Values(BrokenCase{"libmspack-cabd/bad_signature.cab", 2},
                      BrokenCase{"libmspack-cabd/bad_nofolders.cab", 4},
                      BrokenCase{"libmspack-cabd/bad_folderindex.cab", 4},
                      BrokenCase{"libmspack-cabd/partial_shortheader.cab", 2},
                      BrokenCase{"libmspack-cabd/partial_nodata.cab", 4},
                      BrokenCase{"libmspack-cabd/partial_str_shortfname.cab", 4},
                      BrokenCase{"libmspack-cabd/cve-2017-11423-fname-overread.cab", 4},
                      BrokenCase{"libmspack-cabd/hidden-file-beyond-eof.cab", 4},
                      BrokenCase{"libmspack-cabd/cve-2010-2800-mszip-infinite-loop.cab", 4},
                      BrokenCase{"libmspack-cabd/cve-2015-4470-mszip-over-read.cab", 3},
                      BrokenCase{"libmspack-cabd/cve-2014-9556-qtm-infinite-loop.cab", 4},
                      BrokenCase{"libmspack-cabd/cve-2018-18584-qtm-max-size-block.cab", 4},
                      BrokenCase{"libmspack-cabd/cve-2015-4471-lzx-under-read.cab", 4},
                      BrokenCase{"libmspack-cabd/lzx-main-tree-no-lengths.cab", 4},
                      BrokenCase{"libmspack-cabd/lzx-premature-matches.cab", 4},
                      BrokenCase{"libmspack-cabd/search_basic.cab", 2},
                      BrokenCase{"libmspack-cabd/search_tricky1.cab", 4},
                      BrokenCase{"cabextract-cabs/search.cab", 2},
                      BrokenCase{"derived-corrupt/derived_mszip_badblock2.cab", 4},
                      BrokenCase{"derived-corrupt/derived_mszip_truncated.cab", 4},
                      BrokenCase{"derived-corrupt/derived_none_corrupt.cab", 4},
                      BrokenCase{"cabextract-cabs/dirwalk-vulns.cab", 8},
                      // 255-byte stored name: the output path outgrows the 260-byte buffer
                      BrokenCase{"libmspack-cabd/normal_255c_filename.cab", 8},
                      // its headers name parts that are not there: the next cabinet is not found
                      BrokenCase{"libmspack-cabd/multi_basic_pt1.cab", 1}),
    [](const auto& info) { return TestName(info.param.cabinet); });

TEST(ExtractorFixtureTest, FileBeforeABadFolderIsWrittenAndStays) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    const Outcome outcome = Extract(scratch.Path("out"), FixturePath("libmspack-cabd/cve-2014-9732-folders-segfault.cab"));
    EXPECT_FALSE(outcome.extracted);
    EXPECT_EQ(outcome.code, 4);
    EXPECT_EQ(Md5Hex(LoadFile(scratch.Path("out/1"))), "93b885adfe0da089cdf634904fd59f71");
}

TEST(ExtractorFixtureTest, BlockWithoutChecksumGivesItsDamageUnnoticed) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    ASSERT_TRUE(Extract(scratch.Path("out"), FixturePath("derived-corrupt/derived_none_corrupt_nocsum.cab")).extracted);
    EXPECT_EQ(Md5Hex(LoadFile(scratch.Path("out/docs/seq.txt"))), "276ed849c8c3fe68a10ab22957476138");
}

TEST(ExtractorFixtureTest, PartsCopiedUnderTheirHeaderNamesExtractAsOneSet) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    ASSERT_TRUE(CopyMultiBasicUnderHeaderNames(scratch.Path(""), 1));
    const Outcome outcome = Extract(scratch.Path("out"), scratch.Path("cabd_multi_basic_pt1.cab"));
    ASSERT_TRUE(outcome.extracted) << outcome.code;
    EXPECT_EQ(Contents(scratch.Path("out")), (std::map<std::string, std::string>{
                                                 {"test1.txt", "1ee6ef514d6234f79e3ef54a204901a2"},
                                                 {"test2.txt", "8e8ca89f5c5c7b80829f05ce451bf477"},
                                                 {"test3.txt", "e207982a9612cd1d9af933d5f00000f8"}}));
}

}  // namespace
