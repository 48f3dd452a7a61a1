#include "download/Connection.h"

#include "platform/ErrorCodes.h"
#include "platform/Events.h"
#include "platform/Sockets.h"

namespace {
constexpr uint32_t kSelectedNetworkEvents =
    platform::FD_READ | platform::FD_WRITE | platform::FD_CONNECT | platform::FD_CLOSE;
}

int CreateStreamSocket() {
    const int socket = platform::OpenTcpSocket();
    if (socket == -1) return -1;
    if (!platform::SetReceiveBufferSize(socket, kSocketBufferBytes) ||
        !platform::SetSendBufferSize(socket, kSocketBufferBytes)) {
        platform::CloseSocketHandle(socket);
        return -1;
    }
    return socket;
}

int32_t ConnectToServer(DownloadJob& job, const std::string& addressText, int32_t port) {
    job.socket = CreateStreamSocket();
    if (job.socket == -1) return platform::GetLastErrorCode();
    platform::SelectNetworkEvents(job.socket, job.networkEvent, kSelectedNetworkEvents);
    const uint32_t address = platform::ParseIPv4Address(addressText);
    const int32_t result =
        platform::ConnectSocket(job.socket, address, static_cast<uint16_t>(port));
    if (result == 0 || result == platform::kWsaEWouldBlock) return result;
    CloseSocket(job);
    platform::CloseEvent(job.networkEvent);
    job.networkEvent = -1;
    return result;
}

void CloseSocket(DownloadJob& job) {
    if (job.socket == -1) return;
    platform::SetHardClose(job.socket);
    platform::ShutdownSocket(job.socket);
    platform::CloseSocketHandle(job.socket);
    job.socket = -1;
}

int32_t CloseConnection(DownloadJob& job) {
    CloseSocket(job);
    if (job.networkEvent != -1) {
        platform::CloseEvent(job.networkEvent);
        job.networkEvent = -1;
    }
    return 0;
}
