// Non-blocking TCP sockets whose readiness is reported the way Winsock's event select does it.
//
// SelectNetworkEvents binds a socket to an event: from then on the socket never blocks, and the
// event becomes signalled when one of the selected network events occurs. The events are not
// level-triggered readiness; each is armed, reported once, and armed again only by the call
// that consumes it:
//
//   FD_CONNECT  armed by the connect call; reported when the attempt completes, with its error;
//               never again.
//   FD_WRITE    armed by the connect call and again by a send that would block; reported when
//               the socket is writable after a successful connect (never after a failed one).
//   FD_READ     armed once connected and again by every read, except one that returned 0 (the
//               peer closed); reported when data, or the peer's close, can be read.
//   FD_CLOSE    armed once connected; reported when the peer's close is first seen.
//
// So a socket that is always writable does not wake its owner again and again, and a peer that
// has closed leaves the socket silent once its close has been read.
//
// Handles are ints, -1 for none. Failures store a Windows Sockets error number as the thread's
// last error (ErrorCodes.h) and report it by their result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

inline constexpr uint32_t FD_READ = 1;
inline constexpr uint32_t FD_WRITE = 2;
inline constexpr uint32_t FD_CONNECT = 16;
inline constexpr uint32_t FD_CLOSE = 32;

inline constexpr uint32_t kInaddrNone = 0xFFFFFFFF;

// A new IPv4 TCP socket, or -1.
int OpenTcpSocket();
// SO_RCVBUF / SO_SNDBUF; false on failure.
bool SetReceiveBufferSize(int socket, int bytes);
bool SetSendBufferSize(int socket, int bytes);
// Binds the socket's network events (a mask of FD_*) to event and makes the socket non-blocking.
bool SelectNetworkEvents(int socket, int event, uint32_t events);

// The address text in network byte order, read the way inet_addr reads it (a.b.c.d, also the
// shorter and the octal and hexadecimal forms); kInaddrNone when it is no address.
uint32_t ParseIPv4Address(const std::string& text);
// The first IPv4 address of a host name (or of a dotted address) as dotted text; nothing when
// the name does not resolve.
std::optional<std::string> ResolveIPv4Host(const std::string& name);

// Starts a connection to address (network order) and port. 0 when it is made at once, else the
// error code: 10035 while it is under way.
int32_t ConnectSocket(int socket, uint32_t address, uint16_t port);

// Which selected network events occurred since the last call (a mask of FD_*), and the error
// code of the connection attempt when FD_CONNECT is among them. Resets the event.
uint32_t EnumNetworkEvents(int socket, int event, int32_t* connectError = nullptr);

// Sends what the socket takes now (never raising SIGPIPE). 0 with *sent set, or the error
// code: 10035 when nothing could be sent now (FD_WRITE is armed again).
int32_t SendOnSocket(int socket, const void* data, size_t count, size_t* sent);
// Waits until the socket can take more bytes. False after timeoutMs.
bool WaitUntilWritable(int socket, uint32_t timeoutMs);
// Reads what has arrived, up to count bytes: the number read (0 once the peer has closed), or -1
// with the error code as the last error (10035 when nothing has arrived).
int32_t ReceiveFromSocket(int socket, void* buffer, int32_t count);

// Makes the coming close a hard one: the connection is reset and unsent bytes are dropped.
bool SetHardClose(int socket);
bool ShutdownSocket(int socket);
// Closes the socket and forgets its network events; -1 is ignored.
void CloseSocketHandle(int socket);

// Waits for event, a message in the calling thread's queue, or the time-out (kInfinite: none),
// whichever comes first; the event wins when both are there. An event bound to a socket also
// becomes signalled by that socket's network events. event may be -1: then only the queue and
// the time-out count. Returns kWaitEvent, kWaitMessage, kWaitTimeout or kWaitFailed (Events.h).
int32_t WaitForEventOrMessage(int event, uint32_t timeoutMs);

}  // namespace platform
