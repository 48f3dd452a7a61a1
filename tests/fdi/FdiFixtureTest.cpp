// FDICopy on the shared real-world cabinets: other makers' sets, LZX, Quantum and damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>

#include "fdi/FdiHarness.h"
#include "support/CabinetWriter.h"
#include "support/Fixtures.h"
#include "support/ScratchFolder.h"

namespace {

std::string FolderOf(const std::string& relative) {
    return std::filesystem::path(FixturePath(relative)).parent_path().string() + "/";
}
std::string NameOf(const std::string& relative) { return std::filesystem::path(relative).filename().string(); }

struct BrokenCase {
    const char* cabinet;
    int expected;
};

const BrokenCase kBroken[] = {
    {"libmspack-cabd/bad_signature.cab", FDIERROR_NOT_A_CABINET},
    {"libmspack-cabd/bad_nofolders.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/bad_folderindex.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_shortheader.cab", FDIERROR_NOT_A_CABINET},
    {"libmspack-cabd/partial_nodata.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_nofiles.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_nofolder.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_shortextheader.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_shortfile1.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_shortfile2.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_shortfolder.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_nofname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_noninfo.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_nonname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_nopinfo.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_nopname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_shortfname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_shortninfo.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_shortnname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_shortpinfo.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/partial_str_shortpname.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/filename-read-violation-1.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/filename-read-violation-2.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/filename-read-violation-3.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/filename-read-violation-4.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2017-11423-fname-overread.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/hidden-file-bad-folderid.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/hidden-file-beyond-eof.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2010-2800-mszip-infinite-loop.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2015-4470-mszip-over-read.cab", FDIERROR_UNKNOWN_CABINET_VERSION},
    {"libmspack-cabd/cve-2014-9556-qtm-infinite-loop.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2018-18584-qtm-max-size-block.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2015-4471-lzx-under-read.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/lzx-main-tree-no-lengths.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/lzx-premature-matches.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/cve-2014-9732-folders-segfault.cab", FDIERROR_CORRUPT_CABINET},
    {"derived-corrupt/derived_mszip_badblock2.cab", FDIERROR_CORRUPT_CABINET},
    {"derived-corrupt/derived_mszip_truncated.cab", FDIERROR_CORRUPT_CABINET},
    {"derived-corrupt/derived_none_corrupt.cab", FDIERROR_CORRUPT_CABINET},
    {"libmspack-cabd/multi_basic_pt1.cab", FDIERROR_USER_ABORT},  // its next part is not found
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.cabinet; }

class FdiBrokenFixtureTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(FdiBrokenFixtureTest, FailsWithItsCodeAndReleasesEverything) {
    SKIP_WITHOUT_FIXTURES();
    FdiHarness harness;
    EXPECT_FALSE(harness.Copy(NameOf(GetParam().cabinet), FolderOf(GetParam().cabinet)));
    EXPECT_EQ(harness.erf.erfOper, GetParam().expected);
    EXPECT_EQ(FdiHarness::allocations, FdiHarness::frees);
    EXPECT_EQ(FdiHarness::opens, FdiHarness::closes);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FdiBrokenFixtureTest, ::testing::ValuesIn(kBroken),
                         [](const auto& info) {
                             std::string name = NameOf(info.param.cabinet);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

TEST(FdiFixtureTest, EmptyCabinetSucceedsWithItsCabinetInfoOnly) {
    SKIP_WITHOUT_FIXTURES();
    FdiHarness harness;
    ASSERT_TRUE(harness.Copy("bad_nofiles.cab", FolderOf("libmspack-cabd/bad_nofiles.cab")));
    ASSERT_EQ(harness.events.size(), 1u);
    EXPECT_EQ(harness.events[0].rfind("CABINET_INFO", 0), 0u);
}

// makecab's set: the headers name Split-N.CAB, the files are split-N.cab.
TEST(FdiFixtureTest, MakecabSetAnnouncesItsContinuationsInOrder) {
    SKIP_WITHOUT_FIXTURES();
    const std::string folder = FolderOf("cabextract-cabs/split-1.cab");
    const std::vector<std::pair<std::string, std::vector<std::string>>> copies = {
        {"split-1.cab",
         {"CABINET_INFO", "COPY_FILE small1.bin", "CLOSE_FILE_INFO small1.bin", "COPY_FILE small2.bin",
          "NEXT_CABINET Split-2.CAB fdie=0", "CABINET_INFO", "CLOSE_FILE_INFO small2.bin", "COPY_FILE medium1.bin",
          "CLOSE_FILE_INFO medium1.bin"}},
        {"split-2.cab",
         {"CABINET_INFO", "PARTIAL_FILE small2.bin", "PARTIAL_FILE medium1.bin", "COPY_FILE medium2.bin",
          "NEXT_CABINET Split-3.CAB fdie=0", "CABINET_INFO", "NEXT_CABINET Split-4.CAB fdie=0", "CABINET_INFO",
          "CLOSE_FILE_INFO medium2.bin"}},
        {"split-4.cab",
         {"CABINET_INFO", "PARTIAL_FILE medium2.bin from=Split-3.CAB", "COPY_FILE small3.bin",
          "NEXT_CABINET Split-5.CAB fdie=0", "CABINET_INFO", "CLOSE_FILE_INFO small3.bin", "COPY_FILE medium3.bin",
          "CLOSE_FILE_INFO medium3.bin"}},
        {"split-5.cab", {"CABINET_INFO", "PARTIAL_FILE small3.bin", "PARTIAL_FILE medium3.bin"}},
    };
    // The harness opens names as given: give it a folder where the header names exist.
    ScratchFolder scratch;
    for (int i = 1; i <= 5; ++i) {
        const std::string bytes = LoadFile(folder + "split-" + std::to_string(i) + ".cab");
        ASSERT_TRUE(SaveFile(scratch.Path("split-" + std::to_string(i) + ".cab"), bytes));
        ASSERT_TRUE(SaveFile(scratch.Path("Split-" + std::to_string(i) + ".CAB"), bytes));
    }
    const std::map<std::string, std::string> md5 = {
        {"small1.bin", "2ad5ba0f497f1e597ab187a2dfaa2e29"},  {"small2.bin", "1f862f9e36a32a74202c1120b9f06af7"},
        {"medium1.bin", "0a7bd124a4c03a30329bd9ff06f71df7"}, {"medium2.bin", "b4b0a02ad6a1170d4b3db18cec616fcc"},
        {"small3.bin", "bbaecacfeba976165e9d77bbecb0cbde"},  {"medium3.bin", "b98fe17e8afbcf05aefc5b2c4badbc28"}};
    for (const auto& [cabinet, expected] : copies) {
        FdiHarness harness;
        ASSERT_TRUE(harness.Copy(cabinet, scratch.Path("") + "/")) << cabinet;
        ASSERT_EQ(harness.events.size(), expected.size()) << cabinet;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(harness.events[i].rfind(expected[i], 0), 0u) << cabinet << ": " << harness.events[i];
        }
        for (const auto& [name, data] : harness.written) EXPECT_EQ(Md5Hex(data), md5.at(name)) << name;
    }
}

// multi_basic's headers name cabd_multi_basic_ptN.cab, which do not exist beside the parts:
// each NEXT_CABINET comes again with fdie 1, and the callback points at renamed copies.
TEST(FdiFixtureTest, RewrittenFolderFindsTheRenamedParts) {
    SKIP_WITHOUT_FIXTURES();
    ScratchFolder scratch;
    ASSERT_TRUE(CopyMultiBasicUnderHeaderNames(scratch.Path(""), 2));
    FdiHarness harness;
    const std::string renamed = scratch.Path("");
    harness.intercept = [&](int type, FDINOTIFICATION* n, intptr_t& answer) {
        if (type != fdintNEXT_CABINET || n->fdie != FDIERROR_CABINET_NOT_FOUND) return false;
        std::strcpy(n->psz3, renamed.c_str());
        answer = 0;
        return true;
    };

    ASSERT_TRUE(harness.Copy("multi_basic_pt1.cab", FolderOf("libmspack-cabd/multi_basic_pt1.cab")));

    EXPECT_EQ(std::count_if(harness.events.begin(), harness.events.end(),
                            [](const std::string& e) { return e.rfind("NEXT_CABINET", 0) == 0; }),
              8);
    EXPECT_EQ(Md5Hex(harness.written["test1.txt"]), "1ee6ef514d6234f79e3ef54a204901a2");
    EXPECT_EQ(Md5Hex(harness.written["test2.txt"]), "8e8ca89f5c5c7b80829f05ce451bf477");
    EXPECT_EQ(Md5Hex(harness.written["test3.txt"]), "e207982a9612cd1d9af933d5f00000f8");
}

}  // namespace
