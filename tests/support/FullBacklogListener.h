// A loopback port where connection attempts hang, as with a host that drops them: a listener
// that never accepts, its accept queue filled by connections of its own. The kernel then drops
// further SYNs, and a client's connect neither succeeds nor is refused until it gives up.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "support/Loopback.h"

class FullBacklogListener {
public:
    FullBacklogListener() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const uint16_t bound = listener < 0 ? 0 : BindToLoopback(listener);
        if (bound == 0 || ::listen(listener, 0) != 0) {
            Close();
            return;
        }
        port = bound;
        sockaddr_in address = LoopbackAddress(port);
        // A backlog of 0 queues one connection; a few more make sure the queue is full.
        for (int i = 0; i < kFillers; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (filler < 0) continue;
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers.push_back(filler);
        }
    }
    ~FullBacklogListener() { Close(); }
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    bool Started() const { return listener >= 0; }
    uint16_t Port() const { return port; }

private:
    static constexpr int kFillers = 4;

    void Close() {
        for (const int filler : fillers) ::close(filler);
        fillers.clear();
        if (listener >= 0) ::close(listener);
        listener = -1;
    }

    int listener = -1;
    uint16_t port = 0;
    std::vector<int> fillers;
};
