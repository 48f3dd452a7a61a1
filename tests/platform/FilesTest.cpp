#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/ErrorCodes.h"
#include "platform/Text.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;

TEST(Files, DeleteTellsMissingFileFromMissingFolder) {
    ScratchFolder scratch;
    EXPECT_FALSE(platform::DeleteFileAt(scratch.Path("missing.cab")));
    EXPECT_EQ(platform::GetLastErrorCode(), 2);
    EXPECT_FALSE(platform::DeleteFileAt(scratch.Path("no-folder/missing.cab")));
    EXPECT_EQ(platform::GetLastErrorCode(), 3);
    std::ofstream(scratch.Path("file")) << "x";
    EXPECT_FALSE(platform::DeleteFileAt(scratch.Path("file/below-a-file")));
    EXPECT_EQ(platform::GetLastErrorCode(), 3);
    EXPECT_TRUE(platform::DeleteFileAt(scratch.Path("file")));
    EXPECT_FALSE(fs::exists(scratch.Path("file")));
}

TEST(Files, DeletingAFolderIsRefused) {
    ScratchFolder scratch;
    ASSERT_TRUE(platform::CreateFolder(scratch.Path("sub")));
    EXPECT_FALSE(platform::DeleteFileAt(scratch.Path("sub")));
    EXPECT_EQ(platform::GetLastErrorCode(), 5);
}

TEST(Files, CreateFolderReportsExistingAndMissingParent) {
    ScratchFolder scratch;
    EXPECT_TRUE(platform::CreateFolder(scratch.Path("a")));
    EXPECT_FALSE(platform::CreateFolder(scratch.Path("a")));
    EXPECT_EQ(platform::GetLastErrorCode(), 183);
    EXPECT_FALSE(platform::CreateFolder(scratch.Path("x/y")));
    EXPECT_EQ(platform::GetLastErrorCode(), 3);
}

TEST(Files, AppendsPiecesAtTheEnd) {
    ScratchFolder scratch;
    const std::string path = scratch.Path("out.bin");
    for (const char* piece : {"abc", "", "defg"}) {
        const int fd = platform::OpenFileForWriting(path);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(platform::SeekToEnd(fd));
        EXPECT_EQ(platform::WriteFully(fd, piece, std::strlen(piece)),
                  static_cast<int64_t>(std::strlen(piece)));
        platform::CloseFile(fd);
    }
    std::ifstream in(path);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(all, "abcdefg");
}

TEST(Files, OpeningAFolderAsAFileFails) {
    ScratchFolder scratch;
    EXPECT_EQ(platform::OpenFileForWriting(scratch.Path("")), -1);
    EXPECT_EQ(platform::GetLastErrorCode(), 5);
}

TEST(Files, DocumentsFolderFollowsXdgUserDirs) {
    ScratchFolder home;
    ScopedEnv homeVar("HOME", home.Path("").c_str());
    ScopedEnv configVar("XDG_CONFIG_HOME", nullptr);
    fs::create_directories(home.Path(".config"));
    std::ofstream(home.Path(".config/user-dirs.dirs"))
        << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/문서\"\n";
    const std::string documents = platform::ToNarrow(platform::DocumentsFolder());
    EXPECT_EQ(documents, home.Path("") + "/문서");
    EXPECT_TRUE(fs::is_directory(documents)) << "created when missing";
}

TEST(Files, DocumentsFolderDefaultsToHomeDocuments) {
    ScratchFolder home;
    ScopedEnv homeVar("HOME", home.Path("").c_str());
    ScopedEnv configVar("XDG_CONFIG_HOME", nullptr);
    const std::string documents = platform::ToNarrow(platform::DocumentsFolder());
    EXPECT_EQ(documents, home.Path("") + "/Documents");
    EXPECT_TRUE(fs::is_directory(documents));
}
