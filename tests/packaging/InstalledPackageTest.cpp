// The Debian package of this build, as a player gets it: unpacked into a scratch root with
// dpkg -x, it holds exactly the program, its cabinet library and the desktop files, names the
// libraries and the Korean font it needs, and the installed program runs the whole bootstrap
// against the demo servers with the cabinet library of the installed layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "BootstrapFixture.h"
#include "support/ChildProcess.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr char kProgram[] = "usr/games/tarnwick";
constexpr char kCabinetLibrary[] = "usr/lib/games/tarnwick/libcabinet.so";
const std::vector<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128};

// The one package that the fixture test package_build made for this build.
std::string PackageFile() {
    std::vector<std::string> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(TARNWICK_PACKAGE_DIR, ignored)) {
        if (entry.path().extension() == ".deb") found.push_back(entry.path().string());
    }
    return found.size() == 1 ? found.front() : std::string();
}

// The package unpacked once for the whole program, as dpkg would install it below "/".
const std::string& UnpackedRoot() {
    static ScratchFolder scratch;
    static const std::string root = [] {
        const std::string package = PackageFile();
        const std::string into = scratch.Path("root");
        if (package.empty()) return std::string();
        const std::string command = "dpkg-deb -x '" + package + "' '" + into + "'";
        return std::system(command.c_str()) == 0 ? into : std::string();
    }();
    return root;
}

std::string Installed(const std::string& relative) { return UnpackedRoot() + "/" + relative; }

std::string ControlField(const std::string& name) {
    std::string value = CommandOutput("dpkg-deb -f '" + PackageFile() + "' " + name);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

// The package names a Depends field allows, alternatives included, without versions.
std::set<std::string> DependencyNames(const std::string& depends) {
    std::set<std::string> names;
    static const std::regex name(R"((?:^|[,|])\s*([a-z0-9][a-z0-9+.-]+))");
    for (std::sregex_iterator it(depends.begin(), depends.end(), name), end; it != end; ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

// "Key=value" lines of a desktop entry's main group.
std::map<std::string, std::string> DesktopEntry(const std::string& path) {
    std::map<std::string, std::string> entry;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) entry[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return entry;
}

// The dynamic section's RUNPATH and RPATH entries, as readelf prints them.
std::vector<std::string> LibrarySearchPaths(const std::string& binary) {
    std::vector<std::string> paths;
    std::istringstream lines(CommandOutput("readelf -d '" + binary + "'"));
    static const std::regex entry(R"(\((RUNPATH|RPATH)\)\s+Library \w+: \[(.*)\])");
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, entry)) paths.push_back(match[1].str() + " " + match[2].str());
    }
    return paths;
}

class InstalledPackage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(PackageFile().empty())
            << "no single .deb in " << TARNWICK_PACKAGE_DIR << " (the test package_build makes it)";
        ASSERT_FALSE(UnpackedRoot().empty()) << "dpkg-deb -x failed on " << PackageFile();
    }
};

TEST_F(InstalledPackage, HoldsTheProgramItsLibraryAndDesktopFilesAndNothingElse) {
    std::set<std::string> expected = {
        kProgram,
        kCabinetLibrary,
        "usr/share/applications/tarnwick.desktop",
        "usr/share/man/man6/tarnwick.6.gz",
        "usr/share/doc/tarnwick/copyright",
        "usr/share/doc/tarnwick/changelog.gz",
    };
    for (int size : kIconSizes) {
        expected.insert("usr/share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) +
                        "/apps/tarnwick.png");
    }
    std::set<std::string> installed;
    for (const auto& entry : fs::recursive_directory_iterator(UnpackedRoot())) {
        if (!entry.is_directory()) installed.insert(fs::relative(entry.path(), UnpackedRoot()).string());
    }
    EXPECT_EQ(installed, expected);
}

TEST_F(InstalledPackage, CarriesTheProjectVersionAndNamesWhatTheProgramNeeds) {
    EXPECT_EQ(ControlField("Package"), "tarnwick");
    EXPECT_EQ(ControlField("Version"), "1.0.0.1");
    const std::set<std::string> depends = DependencyNames(ControlField("Depends"));
    // FLTK for the window, libcurl for the configuration fetch, libmspack under the cabinet
    // library, a font with Hangul for every text.
    for (const char* needed : {"libfltk1.3", "libfltk-images1.3", "libcurl4", "libmspack0", "fonts-nanum"}) {
        EXPECT_TRUE(depends.contains(needed)) << needed << " missing from Depends: " << ControlField("Depends");
    }
}

TEST_F(InstalledPackage, ProgramFindsTheCabinetLibraryBesideItselfWhereverItIsUnpacked) {
    const std::string program = Installed(kProgram);
    EXPECT_EQ(LibrarySearchPaths(program), std::vector<std::string>{"RUNPATH $ORIGIN/../lib/games/tarnwick"});
    EXPECT_TRUE(fs::equivalent(fs::path(program).parent_path() / "../lib/games/tarnwick/libcabinet.so",
                               Installed(kCabinetLibrary)));
    // Nothing of the build tree is left in the library's search path either.
    EXPECT_EQ(LibrarySearchPaths(Installed(kCabinetLibrary)), std::vector<std::string>{});
}

TEST_F(InstalledPackage, BinariesAreStripped) {
    for (const std::string& binary : {Installed(kProgram), Installed(kCabinetLibrary)}) {
        EXPECT_EQ(CommandOutput("readelf -S '" + binary + "' | grep -c '\\.symtab'"), "0\n") << binary;
    }
}

TEST_F(InstalledPackage, DesktopEntryIsValidAndStartsTheProgramWithItsIcon) {
    const std::string path = Installed("usr/share/applications/tarnwick.desktop");
    EXPECT_EQ(CommandOutput("desktop-file-validate '" + path + "' 2>&1; echo $?"), "0\n");
    const auto entry = DesktopEntry(path);
    EXPECT_EQ(entry.at("Type"), "Application");
    EXPECT_EQ(entry.at("Name"), "Quarvex");
    EXPECT_EQ(entry.at("Exec"), "tarnwick");
    EXPECT_EQ(Installed(kProgram), Installed("usr/games/" + entry.at("Exec")));
    for (int size : kIconSizes) {
        const std::string side = std::to_string(size);
        const std::string icon =
            Installed("usr/share/icons/hicolor/" + side + "x" + side + "/apps/" + entry.at("Icon") + ".png");
        EXPECT_EQ(CommandOutput("identify -format '%m %wx%h' '" + icon + "' 2>&1"), "PNG " + side + "x" + side);
    }
}

// The whole bootstrap, started as the desktop entry starts it: its Exec command looked up on
// a PATH that leads to the unpacked package. The dynamic loader's log tells which cabinet
// library the program loaded.
class InstalledProgram : public BootstrapTest {
protected:
    void SetUp() override {
        BootstrapTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_FALSE(PackageFile().empty()) << "no single .deb in " << TARNWICK_PACKAGE_DIR;
        ASSERT_FALSE(UnpackedRoot().empty()) << "dpkg-deb -x failed on " << PackageFile();
    }
};

TEST_F(InstalledProgram, RunsTheWholeBootstrapWithTheInstalledCabinetLibrary) {
    WriteConfigurationText("server=kr-live-01\npatch=7\nbuild=1\nlocale=ko_KR\n");
    const std::string payload = RandomBytes(256 * 1024, 8);
    MakeCabinet({{"data/payload.bin", payload}});
    DemoServers servers(Servers());
    ASSERT_TRUE(servers.Started()) << servers.ErrorLog();

    const std::string loaderLog = scratch.Path("loader");
    const std::string exec =
        DesktopEntry(Installed("usr/share/applications/tarnwick.desktop")).at("Exec");
    ScopedEnv path("PATH", (UnpackedRoot() + "/usr/games:" + std::getenv("PATH")).c_str());
    ScopedEnv debug("LD_DEBUG", "libs");
    ScopedEnv debugOutput("LD_DEBUG_OUTPUT", loaderLog.c_str());
    ChildProcess program({exec});
    EXPECT_EQ(program.WaitForExit(std::chrono::seconds(60)), 0);

    const std::vector<std::string> record = LauncherRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[1], "arg=KOR_0001|ResourceDLL_kor|kr-live-01|71|ko_KR");
    EXPECT_TRUE(ReadWholeFile(DownloadFolder() + "/data/payload.bin") == payload) << "data/payload.bin differs";

    // LD_DEBUG_OUTPUT gets the process id appended.
    const std::string log = ReadWholeFile(loaderLog + "." + std::to_string(program.Pid()));
    std::vector<std::string> loaded;
    static const std::regex cabinetLibraryInit(R"(calling init: (\S*/libcabinet\.so))");
    for (std::sregex_iterator it(log.begin(), log.end(), cabinetLibraryInit), end; it != end; ++it) {
        loaded.push_back((*it)[1]);
    }
    ASSERT_EQ(loaded.size(), 1u) << "the loader's log (LD_DEBUG=libs):\n" << log;
    EXPECT_TRUE(fs::equivalent(loaded.front(), Installed(kCabinetLibrary))) << loaded.front();
}

}  // namespace
