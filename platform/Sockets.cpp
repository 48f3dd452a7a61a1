#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/Deadline.h"
#include "platform/ErrorCodes.h"
#include "platform/Events.h"
#include "platform/Threads.h"

namespace platform {
namespace {

// The event-select state of one socket: which events it reports to which event handle, which
// of them are armed, and which occurred and wait for EnumNetworkEvents.
struct SelectedSocket {
    int socket = -1;
    int event = -1;
    uint32_t selected = 0;
    uint32_t armed = 0;
    uint32_t pending = 0;
    int32_t connectError = 0;
    bool connecting = false;
    bool connected = false;
};

// Few sockets are selected at a time (one per download), so a short list searched from the
// front serves; it only allocates when a socket is selected.
std::mutex selectionMutex;
std::vector<SelectedSocket>& Selection() {
    static auto* selection = new std::vector<SelectedSocket>();
    return *selection;
}

SelectedSocket* FindBySocket(int socket) {
    for (SelectedSocket& s : Selection()) {
        if (s.socket == socket) return &s;
    }
    return nullptr;
}

SelectedSocket* FindByEvent(int event) {
    if (event < 0) return nullptr;
    for (SelectedSocket& s : Selection()) {
        if (s.event == event) return &s;
    }
    return nullptr;
}

void Arm(int socket, uint32_t events) {
    std::lock_guard lock(selectionMutex);
    if (SelectedSocket* s = FindBySocket(socket)) s->armed |= events & s->selected;
}

// The poll events that can bring one of the armed network events, or 0 when none can.
short PollEventsFor(const SelectedSocket& s) {
    short events = 0;
    if (s.connecting) {
        if (s.armed & (FD_CONNECT | FD_WRITE)) events |= POLLOUT;
    } else if (s.connected) {
        if (s.armed & FD_READ) events |= POLLIN;
        if (s.armed & FD_WRITE) events |= POLLOUT;
        if (s.armed & FD_CLOSE) events |= POLLRDHUP;
    }
    return events;
}

// Moves armed events that revents shows into pending, disarming them. True when any did.
bool RecordNetworkEvents(SelectedSocket& s, short revents) {
    const uint32_t before = s.pending;
    if (revents & POLLNVAL) {
        s.armed = 0;  // no longer a descriptor: nothing can come of it
        return false;
    }
    const bool failed = (revents & (POLLERR | POLLHUP)) != 0;
    if (s.connecting) {
        if (!(revents & POLLOUT) && !failed) return false;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(s.socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        s.connecting = false;
        if (s.armed & FD_CONNECT) {
            s.pending |= FD_CONNECT;
            s.connectError = WindowsErrorFromErrno(error, ErrorDomain::kSocket);
        }
        if (error != 0) {
            s.armed = 0;  // a failed attempt reports FD_CONNECT alone
            return s.pending != before;
        }
        s.connected = true;
        s.armed = (s.armed & ~FD_CONNECT) | ((FD_READ | FD_CLOSE) & s.selected);
        if (s.armed & FD_WRITE) {
            s.pending |= FD_WRITE;
            s.armed &= ~FD_WRITE;
        }
        return s.pending != before;
    }
    if (!s.connected) return false;
    const auto take = [&](uint32_t event, bool occurred) {
        if ((s.armed & event) && occurred) {
            s.pending |= event;
            s.armed &= ~event;
        }
    };
    take(FD_READ, (revents & (POLLIN | POLLRDHUP)) || failed);
    take(FD_WRITE, (revents & POLLOUT) || failed);
    take(FD_CLOSE, (revents & POLLRDHUP) || failed);
    return s.pending != before;
}

int32_t SocketError(int error) {
    return SetLastErrorFromErrno(error, ErrorDomain::kSocket);
}

}  // namespace

int OpenTcpSocket() {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) SocketError(errno);
    return socket;
}

bool SetReceiveBufferSize(int socket, int bytes) {
    if (::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0) return true;
    SocketError(errno);
    return false;
}

bool SetSendBufferSize(int socket, int bytes) {
    if (::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0) return true;
    SocketError(errno);
    return false;
}

bool SelectNetworkEvents(int socket, int event, uint32_t events) {
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0 || ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) != 0) {
        SocketError(errno);
        return false;
    }
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const bool connected = ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
    std::lock_guard lock(selectionMutex);
    SelectedSocket* s = FindBySocket(socket);
    if (s == nullptr) s = &Selection().emplace_back();
    *s = SelectedSocket{};
    s->socket = socket;
    s->event = event;
    s->selected = events;
    s->connected = connected;
    if (connected) s->armed = (FD_READ | FD_WRITE | FD_CLOSE) & events;
    return true;
}

uint32_t ParseIPv4Address(const std::string& text) {
    return ::inet_addr(text.c_str());
}

std::optional<std::string> ResolveIPv4Host(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    return ok ? std::string(text) : std::string();
}

int32_t ConnectSocket(int socket, uint32_t address, uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    const bool madeAtOnce =
        ::connect(socket, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
    const int error = errno;
    if (!madeAtOnce && error != EINPROGRESS) return SocketError(error);
    // A connection made at once is reported like one that completes later: FD_CONNECT and
    // FD_WRITE at the next wait.
    std::lock_guard lock(selectionMutex);
    if (SelectedSocket* s = FindBySocket(socket)) {
        s->connecting = true;
        s->armed |= (FD_CONNECT | FD_WRITE) & s->selected;
    }
    return madeAtOnce ? 0 : SocketError(error);
}

uint32_t EnumNetworkEvents(int socket, int event, int32_t* connectError) {
    uint32_t occurred = 0;
    {
        std::lock_guard lock(selectionMutex);
        if (SelectedSocket* s = FindBySocket(socket)) {
            occurred = s->pending;
            s->pending = 0;
            if (connectError != nullptr) *connectError = s->connectError;
        }
    }
    if (event >= 0 && detail::MaybeSignalled(event)) ResetEventSignal(event);
    return occurred;
}

int32_t SendOnSocket(int socket, const void* data, size_t count, size_t* sent) {
    const ssize_t n = ::send(socket, data, count, MSG_NOSIGNAL);
    if (n >= 0) {
        *sent = static_cast<size_t>(n);
        return 0;
    }
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) Arm(socket, FD_WRITE);
    *sent = 0;
    return SocketError(error);
}

bool WaitUntilWritable(int socket, uint32_t timeoutMs) {
    const detail::Deadline deadline(timeoutMs, kInfinite);
    for (;;) {
        pollfd fd{socket, POLLOUT, 0};
        const int n = ::poll(&fd, 1, deadline.PollTimeout());
        if (n > 0) return true;  // writable, or an error the next send reports
        if (n == 0 || errno != EINTR) return false;
    }
}

int32_t ReceiveFromSocket(int socket, void* buffer, int32_t count) {
    const ssize_t n = ::recv(socket, buffer, static_cast<size_t>(count), 0);
    if (n < 0) SocketError(errno);
    // Every read but the one that sees the peer's close arms FD_READ again.
    if (n != 0) Arm(socket, FD_READ);
    return static_cast<int32_t>(n);
}

bool SetHardClose(int socket) {
    const linger hard{1, 0};
    if (::setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard) == 0) return true;
    SocketError(errno);
    return false;
}

bool ShutdownSocket(int socket) {
    if (::shutdown(socket, SHUT_RDWR) == 0) return true;
    SocketError(errno);
    return false;
}

void CloseSocketHandle(int socket) {
    if (socket < 0) return;
    {
        std::lock_guard lock(selectionMutex);
        auto& selection = Selection();
        for (auto it = selection.begin(); it != selection.end(); ++it) {
            if (it->socket == socket) {
                selection.erase(it);
                break;
            }
        }
    }
    ::close(socket);
}

int32_t WaitForEventOrMessage(int event, uint32_t timeoutMs) {
    const detail::Deadline deadline(timeoutMs, kInfinite);
    const int queue = detail::CurrentQueueReadiness();
    for (;;) {
        pollfd fds[3] = {{event, POLLIN, 0}, {-1, 0, 0}, {queue, POLLIN, 0}};
        {
            std::lock_guard lock(selectionMutex);
            if (const SelectedSocket* s = FindByEvent(event)) {
                if (s->pending != 0) return kWaitEvent;  // occurred, not yet enumerated
                if (const short events = PollEventsFor(*s)) fds[1] = {s->socket, events, 0};
            }
        }
        const int n = ::poll(fds, 3, deadline.PollTimeout());
        if (n < 0) {
            if (errno == EINTR) continue;
            SocketError(errno);
            return kWaitFailed;
        }
        if (n == 0) return kWaitTimeout;
        if (fds[0].revents & POLLNVAL) {
            SetLastErrorCode(kErrorInvalidHandle);
            return kWaitFailed;
        }
        if (fds[0].revents & POLLIN) return kWaitEvent;
        if (fds[1].revents != 0) {
            std::lock_guard lock(selectionMutex);
            SelectedSocket* s = FindBySocket(fds[1].fd);
            if (s != nullptr && RecordNetworkEvents(*s, fds[1].revents)) return kWaitEvent;
        }
        if (fds[2].revents & POLLIN) return kWaitMessage;
        // Readiness that brought no armed event: wait on for the time that is left.
    }
}

}  // namespace platform
