// Prints what the configuration fetch costs the start-up: the time from the call to the return
// of FetchUrlText against a real nginx on loopback, for a four-line text and for a 64 KiB one,
// and the launcher argument text built from a large text. Not a test: figures only.
//
//     cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release
//     cmake --build build/bench --target config_fetch_bench && build/bench/bin/config_fetch_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/Configuration.h"
#include "config/HttpTextRequest.h"
#include "support/NginxServer.h"
#include "support/ScratchFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

void CountBytes(const char* text, void* context) {
    *static_cast<size_t*>(context) += std::char_traits<char>::length(text);
}

void Report(const char* what, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[static_cast<size_t>(q * (micros.size() - 1))]; };
    std::printf("%-34s rounds %5zu  median %8.1f us  p90 %8.1f us  p99 %8.1f us  max %8.1f us\n", what,
                micros.size(), at(0.5), at(0.9), at(0.99), micros.back());
}

void BenchFetch(const char* what, const std::wstring& url, size_t expectedBytes, int rounds) {
    std::vector<double> micros;
    for (int i = 0; i < rounds; ++i) {
        size_t bytes = 0;
        const Clock::time_point start = Clock::now();
        const int32_t result = FetchUrlText(CountBytes, &bytes, url);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (result != 0 || bytes != expectedBytes) {
            std::printf("%s: fetch %d gave %d with %zu bytes\n", what, i, result, bytes);
            std::exit(1);
        }
    }
    Report(what, micros);
}

void BenchArguments(int rounds) {
    std::wstring text = L"server=game.example.kr\r\nport=7101\r\nchannel=본서버\r\noption=-fast=1\r\n";
    text += std::wstring(1 << 20, L'x');
    std::vector<double> micros;
    size_t length = 0;
    for (int i = 0; i < rounds; ++i) {
        const Clock::time_point start = Clock::now();
        length += BuildLauncherArguments(text).size();
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    Report("BuildLauncherArguments, 1 MiB text", micros);
    if (length == 0) std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    if (!NginxServer::Available()) {
        std::puts("nginx is not installed (scripts/install-deps installs it)");
        return 1;
    }
    ScratchFolder scratch;
    std::filesystem::create_directories(scratch.Path("www"));
    const std::string small = "server=game.example.kr\r\nport=7101\r\nchannel=main\r\noption=-fast=1\r\n";
    std::ofstream(scratch.Path("www/quarvex_fgt.ini"), std::ios::binary) << small;
    std::ofstream(scratch.Path("www/large.ini"), std::ios::binary) << std::string(64 << 10, 'x');
    NginxServer nginx(scratch.Path("www"));
    if (!nginx.Started()) {
        std::printf("nginx did not start:\n%s\n", nginx.ErrorLog().c_str());
        return 1;
    }
    const std::wstring server = L"http://127.0.0.1:" + std::to_wstring(nginx.Port());
    BenchFetch("FetchUrlText, 4 lines from nginx", server + L"/quarvex_fgt.ini", small.size(), rounds);
    BenchFetch("FetchUrlText, 64 KiB from nginx", server + L"/large.ini", 64 << 10, rounds);
    BenchArguments(rounds);
    return 0;
}
