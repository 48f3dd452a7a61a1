// Writes the seed corpora of the fuzz targets into <folder>/<target>/: the inputs the tests
// use (responses, request paths, URLs, configuration texts, cabinets and stored names), each in
// the shape its target reads. The shared cabinet fixtures, when present, are handed to the
// cabinet targets by scripts/fuzz straight from their own folder.
//
//     fuzz_seeds build/fuzz/seeds
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/CabinetWriter.h"

namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;

// The fuzz targets that read a count or a mode take them from the input's last bytes (the
// fuzzer's data provider reads those from the end): a count of 0 and the UTF-8 mode.
const std::string kUtf8Mode = "\x01"s;
const std::string kCountZero = "\x00\x00\x00\x00"s;

std::vector<std::string> Responses() {
    const std::string body(30, 'b');
    return {
        "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\r\n" + body,
        "HTTP/1.1 206 Partial Content\r\nContent-Length: 30\r\n\r\n" + body,
        "HTTP/1.1 304 Not Modified\r\n\r\n",
        "HTTP/1.1 404 Not Found\r\nServer: scripted\r\nContent-Length: 12\r\n\r\nno such file",
        "HTTP/1.1 404  Not   Found\r\n\r\n",
        "HTTP/1.1 200 OK\nContent-Length: 30\n\n" + body,
        "HTTP/1.1 200 OK\r\nContent-Length: 4294967326\r\n\r\n" + body,
        "HTTP/1.1 200\r\nContent-Length: 30\r\n\r\n" + body,
        "HTTP/1.1 200 OK\r\ncontent-length: 30abc\r\nContent-Length : 5\r\n\r\n" + body,
        "HTTP/1.1 200 OK\r\nX-A: b:c\r\n continued\r\nUri: 404\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 30\r\n\0Content-Length: 5\r\n\r\n"s + body,
        "HTTP/1.1 200 Reason: with colon\r\nTransfer-Encoding: chunked\r\n\r\n1e\r\n" + body + "\r\n0\r\n\r\n",
        "GET /a?x=1&y=2&z HTTP/1.1\r\nHost: h\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: -30\r\nContent-Length: 99999999999999999999\r\n\r\n",
    };
}

std::vector<std::string> RequestPaths() {
    return {"/download/quarvex/quarvex.cab", "/a b/c.cab", "/f.cab?v=1", "/\xB0.cab", "/%41", ""};
}

std::vector<std::string> Urls() {
    return {"http://host/quarvex_fgt.ini", "http://host:8080/dir/a.ini", "http://host:8080x/a",
            "http://host:x/a", "http://host:/a", "http://host:1:2/a", "http://host/a?x=1",
            "http://host/", "http://host", "http:/a", "https://host/a", "http://127.0.0.1:47901/quarvex_fgt.ini"};
}

std::vector<std::string> ConfigurationTexts() {
    return {"a=1\r\nb=2\r\nc=3\r\nd=4\r\n", "a=1\nb=2\n", "a=1\nb=2\nc=3\nd=\n", " name = v \n=\nno equals\nk=a=b\n",
            "[server]=game.example.kr\r\nport=7101\r\nchannel=\xEB\xB3\xB8\xEC\x84\x9C\xEB\xB2\x84\r\n"
            "option=-fast=1\r\nignored=yes\r\n",
            ""};
}

std::vector<std::string> StoredNameLists() {
    return {"top.txt\0sub\\dir\\file.dat\0sub\\other.txt"s, "first.txt\0..\\evil.txt"s, "../evil.txt",
            "sub\\..\\..\\evil.txt", "sub/..\\../evil.txt", "\\abs.txt", "/abs.txt", "sub\\..",
            "..hidden\\a..b.txt\0.\\here.txt"s, "a.txt\0a.txt"s, "dir\\", ""};
}

std::vector<std::string> Cabinets() {
    const std::vector<StoredFile> files = {{"top.txt", "at the top\n"},
                                           {"sub\\dir\\file.dat", std::string(5000, 'z')},
                                           {"sub\\other.txt", "beside dir\n"}};
    CabinetOptions stored;
    stored.compression = CabinetCompression::kStored;
    CabinetOptions set = stored;
    set.cabinetCapacity = 2000;
    std::vector<std::string> cabinets = {WriteCabinet(files), WriteCabinet(files, stored),
                                         WriteCabinet({{"empty.txt", ""}}, stored)};
    for (const std::string& part : WriteCabinetSet(files, set)) cabinets.push_back(part);
    return cabinets;
}

bool WriteAll(const fs::path& folder, const std::vector<std::string>& seeds, const std::string& suffix = "") {
    fs::create_directories(folder);
    for (size_t i = 0; i < seeds.size(); ++i) {
        if (!SaveFile((folder / ("seed-" + std::to_string(i))).string(), seeds[i] + suffix)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const bool written = WriteAll(root / "fuzz_http_message", Responses()) &&
                         WriteAll(root / "fuzz_response_reception", Responses()) &&
                         WriteAll(root / "fuzz_url_encode", RequestPaths()) &&
                         WriteAll(root / "fuzz_url_split", Urls(), kUtf8Mode + kCountZero) &&
                         WriteAll(root / "fuzz_launcher_arguments", ConfigurationTexts(), kUtf8Mode) &&
                         WriteAll(root / "fuzz_fdi_copy", Cabinets()) &&
                         WriteAll(root / "fuzz_extraction_names", StoredNameLists());
    if (!written) std::fprintf(stderr, "cannot write the seeds below %s\n", argv[1]);
    return written ? 0 : 1;
}
