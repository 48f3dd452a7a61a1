// Downloads one file from an HTTP server on loopback, for scripts/bench-download.
//
//   download_bench engine PORT PATH   the download engine on a worker thread, with slots that
//                                     only count; the file lands in $HOME/Documents/bench/
//   download_bench floor PORT PATH OUT   the least a download can do per 8 KiB piece: wait,
//                                     read, and open/seek/write/close of the output file
//   download_bench free-port          prints a loopback port that nothing listens on
//
// Both print "bytes=N" and exit 0 when the whole body arrived. Timing is the script's job.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "download/DownloadJob.h"
#include "platform/Events.h"
#include "platform/Threads.h"
#include "support/Loopback.h"

namespace {

struct Counts {
    int64_t bytes = 0;
    int64_t pieces = 0;
    int32_t kind = -1;
    int32_t code = 0;
};

Counts* Of(CtarnwickDlg* owner) {
    return reinterpret_cast<Counts*>(owner);
}

int RunEngine(int port, const char* path) {
    Counts counts;
    DownloadJob job;
    InitDownloadJob(job);
    job.owner = reinterpret_cast<CtarnwickDlg*>(&counts);
    job.hostName = "127.0.0.1";
    job.hostHeader = "127.0.0.1";
    job.serverPort = port;
    job.requestPath = path;
    job.folderName = "bench";
    job.OnProgress = [](CtarnwickDlg* owner, int32_t written, int64_t) {
        Of(owner)->bytes += written;
        ++Of(owner)->pieces;
        return 0;
    };
    job.OnCompleted = [](CtarnwickDlg*, int32_t) { return 0; };
    job.OnError = [](CtarnwickDlg* owner, int32_t kind, int32_t code) {
        Of(owner)->kind = kind;
        Of(owner)->code = code;
        return 0;
    };
    if (!platform::CreateThread(DownloadThreadMain, &job, &job.threadId)) return 2;
    WaitForDownloadEnd(job, platform::kInfinite);
    FreeDownloadJob(job);
    std::printf("bytes=%lld pieces=%lld end=%d/%d\n", static_cast<long long>(counts.bytes),
                static_cast<long long>(counts.pieces), counts.kind, counts.code);
    return counts.kind == KIND_FINISHED ? 0 : 1;
}

// Appends one piece the way the engine must: its own open, seek, write and close.
bool Append(const char* out, const char* data, ssize_t count) {
    const int fd = ::open(out, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok =
        ::lseek(fd, 0, SEEK_END) >= 0 && ::write(fd, data, static_cast<size_t>(count)) == count;
    ::close(fd);
    return ok;
}

int RunFloor(int port, const char* path, const char* out) {
    ::unlink(out);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int size = 65536;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    sockaddr_in address = LoopbackAddress(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 2;
    const std::string request =
        std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: Close\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);

    static char buffer[8196];
    int64_t bytes = 0;
    int64_t pieces = 0;
    bool inBody = false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, 8192, 0);
        if (n == 0) break;
        if (n < 0) continue;
        const char* data = buffer;
        ssize_t count = n;
        if (!inBody) {
            // The head is assumed to come whole in the first read, as it does from nginx here.
            const char* end =
                static_cast<const char*>(memmem(buffer, static_cast<size_t>(n), "\r\n\r\n", 4));
            if (end == nullptr) return 3;
            inBody = true;
            data = end + 4;
            count = n - (data - buffer);
            if (count == 0) continue;
        }
        if (!Append(out, data, count)) return 4;
        bytes += count;
        ++pieces;
    }
    ::close(fd);
    std::printf("bytes=%lld pieces=%lld\n", static_cast<long long>(bytes),
                static_cast<long long>(pieces));
    return 0;
}

int PrintFreePort() {
    const uint16_t port = FreeLoopbackPort();
    if (port == 0) return 1;
    std::printf("%d\n", port);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "engine") == 0)
        return RunEngine(std::atoi(argv[2]), argv[3]);
    if (argc >= 5 && std::strcmp(argv[1], "floor") == 0)
        return RunFloor(std::atoi(argv[2]), argv[3], argv[4]);
    if (argc >= 2 && std::strcmp(argv[1], "free-port") == 0) return PrintFreePort();
    std::fprintf(stderr,
                 "usage: download_bench engine PORT PATH | floor PORT PATH OUT | free-port\n");
    return 64;
}
