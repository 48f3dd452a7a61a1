#include "platform/Launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ErrorCodes.h"
#include "support/ReadableText.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using platform::SplitCommandLine;

struct SplitCase {
    const char* text;
    std::vector<std::string> expected;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << ReadableText(c.text); }

class CommandLineRules : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineRules, SplitsAsTheMicrosoftRuntime) {
    EXPECT_EQ(SplitCommandLine(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, CommandLineRules,
    testing::Values(
        SplitCase{"", {}},
        SplitCase{"  \t ", {}},
        SplitCase{"KOR_0001|ResourceDLL_kor|1|23|4", {"KOR_0001|ResourceDLL_kor|1|23|4"}},
        SplitCase{"a b\tc", {"a", "b", "c"}},
        SplitCase{"  lead   trail  ", {"lead", "trail"}},
        SplitCase{"\"a b\" c", {"a b", "c"}},
        SplitCase{"x\"a b\"y", {"xa by"}},
        SplitCase{"\"\"", {""}},
        SplitCase{"a \"\" b", {"a", "", "b"}},
        SplitCase{"a\\b\\\\c", {"a\\b\\\\c"}},          // backslashes before no quote: literal
        SplitCase{"a\\\"b", {"a\"b"}},                  // 1 backslash + quote: literal quote
        SplitCase{"a\\\\\"b c\"", {"a\\b c"}},          // 2 backslashes + quote: one, and a quote
        SplitCase{"a\\\\\\\"b", {"a\\\"b"}},            // 3 backslashes + quote
        SplitCase{"\"a\\\\\" b", {"a\\", "b"}},          // even run ends the quoted part
        SplitCase{"\"a\"\"b\" c", {"a\"b", "c"}},       // "" inside quotes: quote, still quoted
        SplitCase{"\"a\"\"b c\"", {"a\"b c"}},
        SplitCase{"\"unterminated part", {"unterminated part"}},
        SplitCase{"tail\\\\", {"tail\\\\"}},
        SplitCase{"\"\"\"\"", {"\""}},
        SplitCase{"|1|\xea\xb0\x80 \xeb\x82\x98", {"|1|\xea\xb0\x80", "\xeb\x82\x98"}}));

namespace {

// A program that writes what it sees into report: its arguments, its working directory, its
// process id, whether SIGPIPE is ignored, and whether descriptor 37 was inherited.
void WriteReportingProgram(const std::string& path, const std::string& report) {
    std::ofstream(path) << "#!/bin/sh\n"
                           "{\n"
                           "  for a in \"$@\"; do printf '<%s>\\n' \"$a\"; done\n"
                           "  printf 'cwd=%s\\n' \"$(pwd)\"\n"
                           "  printf 'pid=%s\\n' $$\n"
                           "  grep '^SigIgn' /proc/$$/status\n"
                           "  if [ -e /proc/$$/fd/37 ]; then echo fd37=open; else echo fd37=closed; fi\n"
                           "} > '"
                        << report << ".part'\n"
                        << "mv '" << report << ".part' '" << report << "'\n";
}

std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

char ProcessState(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;  // gone: reaped
    const size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? '?' : line[close + 2];
}

}  // namespace

TEST(Launcher, StartsProgramWithSplitArgumentsAndCleanSlate) {
    ScratchFolder scratch;
    const std::string program = scratch.Path("Ferrowind.exe");
    const std::string report = scratch.Path("report.txt");
    WriteReportingProgram(program, report);
    ::chmod(program.c_str(), 0644);  // as it comes out of a cabinet

    // The child must neither inherit an ignored SIGPIPE nor a stray descriptor.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(::dup2(stray, 37), 37);

    const bool started =
        platform::StartProgram(program, "KOR_0001|ResourceDLL_kor|1|23 \"two words\" a\\\"b");
    ::close(37);
    ::close(stray);
    ::sigaction(SIGPIPE, &previous, nullptr);
    ASSERT_TRUE(started);

    const std::string seen = WaitForFile(report);
    EXPECT_NE(seen.find("<KOR_0001|ResourceDLL_kor|1|23>\n<two words>\n<a\"b>\ncwd="), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("cwd=" + fs::current_path().string() + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("fd37=closed"), std::string::npos) << seen;
    const size_t sigIgn = seen.find("SigIgn:");
    ASSERT_NE(sigIgn, std::string::npos) << seen;
    const unsigned long long ignored = std::stoull(seen.substr(sigIgn + 7), nullptr, 16);
    EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << seen;

    struct stat st;
    ASSERT_EQ(::stat(program.c_str(), &st), 0);
    EXPECT_NE(st.st_mode & S_IXUSR, 0u);

    // Once it has ended, the child is reaped: no zombie stays behind.
    const long pid = std::stol(seen.substr(seen.find("pid=") + 4));
    char state = ProcessState(pid);
    for (int i = 0; i < 500 && state != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        state = ProcessState(pid);
    }
    EXPECT_EQ(state, 0) << "process " << pid << " still listed in state " << state;
}

TEST(Launcher, ReportsAMissingProgram) {
    ScratchFolder scratch;
    EXPECT_FALSE(platform::StartProgram(scratch.Path("Ferrowind.exe"), "KOR_0001"));
    EXPECT_EQ(platform::GetLastErrorCode(), 2);
}

TEST(Launcher, ReportsAFileThatIsNoProgram) {
    ScratchFolder scratch;
    const std::string notAProgram = scratch.Path("Ferrowind.exe");
    std::ofstream(notAProgram) << "MZ this is not an executable for this system\n";
    EXPECT_FALSE(platform::StartProgram(notAProgram, ""));
    EXPECT_EQ(platform::GetLastErrorCode(), 193);
}
