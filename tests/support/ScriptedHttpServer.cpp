#include "support/ScriptedHttpServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "support/Loopback.h"

namespace {

constexpr int kPollSliceMs = 50;

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

}  // namespace

Script& Script::ReadRequest() {
    steps.push_back({Step::Kind::kReadRequest, {}, 0});
    return *this;
}

Script& Script::Send(std::string bytes) {
    steps.push_back({Step::Kind::kSend, std::move(bytes), 0});
    return *this;
}

Script& Script::SendInPieces(const std::string& bytes, size_t pieceSize, int pauseMs) {
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        if (at > 0) Pause(pauseMs);
        Send(bytes.substr(at, pieceSize));
    }
    return *this;
}

Script& Script::Pause(int milliseconds) {
    steps.push_back({Step::Kind::kPause, {}, milliseconds});
    return *this;
}

Script& Script::Close() {
    steps.push_back({Step::Kind::kClose, {}, 0});
    return *this;
}

Script& Script::Reset() {
    steps.push_back({Step::Kind::kReset, {}, 0});
    return *this;
}

Script& Script::Hold() {
    steps.push_back({Step::Kind::kHold, {}, 0});
    return *this;
}

std::string HttpResponse(int status, const std::string& body, bool withContentLength,
                         const std::string& extraHeaders) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
    text += "Server: scripted\r\n";
    if (withContentLength) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += extraHeaders;
    text += "\r\n";
    text += body;
    return text;
}

ScriptedHttpServer::ScriptedHttpServer(std::vector<Script> scripts, int receiveBufferBytes)
    : scripts(std::move(scripts)), receiveBufferBytes(receiveBufferBytes) {
    stopSignal = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (stopSignal < 0 || listener < 0) return;
    if (receiveBufferBytes > 0) {
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes,
                     sizeof receiveBufferBytes);
    }
    port = BindToLoopback(listener);
    if (port == 0 || ::listen(listener, 16) != 0) {
        ::close(listener);
        listener = -1;
        return;
    }
    acceptThread = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    stopping = true;
    if (stopSignal >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t ignored = ::write(stopSignal, &one, sizeof one);
    }
    if (acceptThread.joinable()) acceptThread.join();
    // No new connection can appear now; the list is stable.
    for (auto& connection : connections) {
        if (connection->thread.joinable()) connection->thread.join();
    }
    if (listener >= 0) ::close(listener);
    if (stopSignal >= 0) ::close(stopSignal);
}

size_t ScriptedHttpServer::ConnectionCount() const {
    std::lock_guard lock(mutex);
    return connections.size();
}

std::string ScriptedHttpServer::Request(size_t index) const {
    std::lock_guard lock(mutex);
    return index < connections.size() ? connections[index]->received : std::string();
}

bool ScriptedHttpServer::WaitForConnectionEnd(size_t index, int timeoutMs) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return index < connections.size() && connections[index]->ended;
    });
}

void ScriptedHttpServer::AcceptLoop() {
    while (!Stopping()) {
        if (!WaitFor(listener, POLLIN, kPollSliceMs)) continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard lock(mutex);
        const size_t index = connections.size();
        static const Script kCloseAtOnce;
        const Script& script =
            scripts.empty() ? kCloseAtOnce : scripts[std::min(index, scripts.size() - 1)];
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->thread = std::thread([this, index, &script] { Serve(index, script); });
        connections.push_back(std::move(connection));
        changed.notify_all();
    }
}

void ScriptedHttpServer::Serve(size_t index, const Script& script) {
    int fd;
    {
        std::lock_guard lock(mutex);
        fd = connections[index]->fd;
    }
    size_t requestStart = 0;
    bool open = true;
    for (const Script::Step& step : script.Steps()) {
        if (!RunStep(fd, index, step, requestStart)) {
            open =
                step.kind != Script::Step::Kind::kClose && step.kind != Script::Step::Kind::kReset;
            break;
        }
    }
    if (open) {
        ::shutdown(fd, SHUT_WR);
        ::close(fd);
    }
    std::lock_guard lock(mutex);
    connections[index]->fd = -1;
    connections[index]->ended = true;
    changed.notify_all();
}

// False ends the script: the step closed the connection, the client went away, or the server
// is stopping.
bool ScriptedHttpServer::RunStep(int fd, size_t index, const Script::Step& step,
                                 size_t& requestStart) {
    using Kind = Script::Step::Kind;
    switch (step.kind) {
        case Kind::kReadRequest:
            for (;;) {
                {
                    std::lock_guard lock(mutex);
                    const std::string& received = connections[index]->received;
                    const size_t end = received.find("\r\n\r\n", requestStart);
                    if (end != std::string::npos) {
                        requestStart = end + 4;
                        return true;
                    }
                }
                if (!ReceiveSome(fd, index, kPollSliceMs)) return false;
            }
        case Kind::kSend:
            return SendAll(fd, step.bytes);
        case Kind::kPause: {
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(step.milliseconds);
            while (!Stopping() && std::chrono::steady_clock::now() < until) {
                ::poll(nullptr, 0, std::min<int>(kPollSliceMs, step.milliseconds));
            }
            return !Stopping();
        }
        case Kind::kClose:
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
            return false;
        case Kind::kReset: {
            const linger hard{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            ::close(fd);
            return false;
        }
        case Kind::kHold:
            while (ReceiveSome(fd, index, kPollSliceMs)) {
            }
            return false;
    }
    return false;
}

// Records whatever arrives within timeoutMs. False when the client closed or reset, or the
// server stops; true otherwise (also when nothing arrived).
bool ScriptedHttpServer::ReceiveSome(int fd, size_t index, int timeoutMs) {
    if (Stopping()) return false;
    if (!WaitFor(fd, POLLIN, timeoutMs)) return !Stopping();
    char buffer[16384];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    std::lock_guard lock(mutex);
    connections[index]->received.append(buffer, static_cast<size_t>(n));
    return true;
}

bool ScriptedHttpServer::SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        if (Stopping()) return false;
        if (!WaitFor(fd, POLLOUT, kPollSliceMs)) continue;
        const ssize_t n =
            ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// True when fd is ready for events (or has an error or hang-up to report); false on time-out
// or when the server stops.
bool ScriptedHttpServer::WaitFor(int fd, short events, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {stopSignal, POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    if (n <= 0 || fds[1].revents != 0) return false;
    return fds[0].revents != 0;
}
