// The one TCP connection of a download: made once, taken down with a hard close.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadJob.h"

inline constexpr int kSocketBufferBytes = 65536;

// A new TCP socket with 64 KiB send and receive buffers, or -1.
int CreateStreamSocket();

// Creates job.socket, binds its network events to job.networkEvent and starts the connection
// to addressText (a dotted IPv4 address; anything else becomes INADDR_NONE) at port.
// 0: made at once; 10035: under way; otherwise the socket error, after which job.socket and
// job.networkEvent are both closed. When no socket could be made, job.networkEvent stays open.
int32_t ConnectToServer(DownloadJob& job, const std::string& addressText, int32_t port);

// Hard-closes job.socket (the peer sees a reset) and sets it to -1; nothing when it is -1.
void CloseSocket(DownloadJob& job);

// CloseSocket, then closes job.networkEvent unless it is -1 and sets it to -1. Always 0; may
// run any number of times.
int32_t CloseConnection(DownloadJob& job);
