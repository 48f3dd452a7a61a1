// A scriptable HTTP peer for tests: it plays a well-behaved web server or any fault a peer can
// commit, one small script per connection.
//
// It listens on 127.0.0.1 at an ephemeral port and serves each accepted connection on a thread of
// its own, running that connection's script step by step: read the request head, send bytes,
// pause, close, reset, stay silent until the client goes away. Every byte received on a
// connection is recorded, exactly as it arrived. The destructor stops every connection and the
// listener and joins all threads, so a test that fails midway leaves nothing behind.
//
//     ScriptedHttpServer server({Script().ReadRequest().Send(HttpResponse(200, "body"))});
//     ... connect to 127.0.0.1:server.Port() ...
//     EXPECT_EQ(server.Request(0), "GET / HTTP/1.1\r\n...");
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The steps of one connection, run in order. When the last step has run the server closes the
// connection gracefully, unless a step closed or reset it already.
class Script {
  public:
    struct Step {
        enum class Kind {
            kReadRequest,  // read until the request head's blank line has arrived
            kSend,         // send these bytes, all of them
            kPause,        // do nothing for a while (bytes that arrive meanwhile stay unread)
            kClose,        // graceful close: FIN after everything sent
            kReset,        // linger 0 close: the client sees a reset
            kHold,         // stay silent until the client closes (or the server stops)
        };
        Kind kind;
        std::string bytes;
        int milliseconds = 0;
    };

    Script& ReadRequest();
    Script& Send(std::string bytes);
    // Sends bytes in pieces of pieceSize with a pause after each piece but the last, so the
    // client sees them in separate reads.
    Script& SendInPieces(const std::string& bytes, size_t pieceSize, int pauseMs);
    Script& Pause(int milliseconds);
    Script& Close();
    Script& Reset();
    Script& Hold();

    const std::vector<Step>& Steps() const { return steps; }

  private:
    std::vector<Step> steps;
};

// A response head (and body): status line with the usual reason phrase, a Content-Length field
// when asked for, extraHeaders as given (each line ending in "\r\n"), the blank line, body.
std::string HttpResponse(int status, const std::string& body, bool withContentLength = true,
                         const std::string& extraHeaders = "");

class ScriptedHttpServer {
  public:
    // One script per accepted connection, in order of arrival; once the list is used up the
    // last script serves every further connection. receiveBufferBytes > 0 shrinks the socket
    // receive buffer of every accepted connection (to make a client's send block early).
    explicit ScriptedHttpServer(std::vector<Script> scripts, int receiveBufferBytes = 0);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    bool Started() const { return listener >= 0; }
    uint16_t Port() const { return port; }

    size_t ConnectionCount() const;
    // The bytes received on connection index so far (empty when there is no such connection).
    std::string Request(size_t index) const;
    // Waits until connection index has run its whole script and is closed. False on time-out.
    bool WaitForConnectionEnd(size_t index, int timeoutMs) const;

  private:
    struct Connection {
        int fd = -1;
        std::string received;
        bool ended = false;
        std::thread thread;
    };

    void AcceptLoop();
    void Serve(size_t index, const Script& script);
    bool RunStep(int fd, size_t index, const Script::Step& step, size_t& requestStart);
    bool ReceiveSome(int fd, size_t index, int timeoutMs);
    bool SendAll(int fd, const std::string& bytes);
    bool WaitFor(int fd, short events, int timeoutMs);
    bool Stopping() const { return stopping.load(); }

    std::vector<Script> scripts;
    int receiveBufferBytes;
    int listener = -1;
    int stopSignal = -1;  // eventfd, readable once the server stops
    uint16_t port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptThread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::unique_ptr<Connection>> connections;  // stable addresses for their threads
};
