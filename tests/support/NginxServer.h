// A real nginx (Debian's /usr/sbin/nginx) for tests, serving one folder on a loopback port.
//
// It runs in the foreground as a child of the test with a configuration of its own: prefix,
// pid file, logs and temporary folders all live in a scratch folder, the listener is
// 127.0.0.1 at a port that was free a moment before. The constructor returns once nginx
// answers; the destructor stops it and waits for it. The child also dies with the test process.
//
//     NginxServer nginx(scratch.Path("www"));
//     ASSERT_TRUE(nginx.Started()) << nginx.ErrorLog();
//     ... GET http://127.0.0.1:nginx.Port()/file ...
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ScratchFolder;

// A whole configuration of the test's own (e.g. demo/nginx.conf.in). Every "@NAME@" of names
// in text becomes its value, "@PREFIX@" the server's scratch folder and "@USER@" the line a
// root master needs; the server counts as started once it answers on port.
struct NginxConfiguration {
    std::string text;
    uint16_t port;
    std::vector<std::pair<std::string, std::string>> names;
};

class NginxServer {
  public:
    // root: the folder served. serverDirectives: more lines for the server block, e.g.
    // "limit_rate 100k;" or a location block.
    explicit NginxServer(const std::string& root, const std::string& serverDirectives = "");
    explicit NginxServer(const NginxConfiguration& configuration);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Started() const { return pid > 0; }
    uint16_t Port() const { return port; }
    // nginx's own error log (start-up problems show here).
    std::string ErrorLog() const;

    static bool Available();

  private:
    bool StartOnFreePort(const std::string& root, const std::string& serverDirectives);
    void WriteConfiguration(const std::string& root, const std::string& serverDirectives) const;
    void WriteConfiguration(const NginxConfiguration& configuration) const;
    bool Launch();
    bool StillRunningAfter(std::chrono::milliseconds pause);
    bool WaitUntilAnswering();
    void Stop();

    std::unique_ptr<ScratchFolder> prefix;
    pid_t pid = -1;
    uint16_t port = 0;
};
