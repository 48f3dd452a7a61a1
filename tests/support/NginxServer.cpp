#include "support/NginxServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/Loopback.h"
#include "support/ScratchFolder.h"

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr int kStartAttempts = 3;
constexpr auto kStartTimeLimit = std::chrono::seconds(10);
constexpr auto kFixedPortWait = std::chrono::seconds(120);

bool Answers(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address = LoopbackAddress(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

NginxServer::NginxServer(const std::string& root, const std::string& serverDirectives)
    : prefix(std::make_unique<ScratchFolder>()) {
    if (!Available()) return;
    for (int attempt = 0; attempt < kStartAttempts && !Started(); ++attempt) {
        StartOnFreePort(root, serverDirectives);
    }
}

NginxServer::NginxServer(const NginxConfiguration& configuration)
    : prefix(std::make_unique<ScratchFolder>()), port(configuration.port) {
    if (!Available()) return;
    // A fixed port may be held by another test run on this machine: nginx then fails to
    // listen, and the test would talk to that other server. Wait for the port, and count the
    // start only when our own nginx still runs once the port answers.
    WriteConfiguration(configuration);
    const auto deadline = std::chrono::steady_clock::now() + kFixedPortWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Answers(port)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        std::ofstream(prefix->Path("error.log"), std::ios::trunc);  // a fresh log per attempt
        if (Launch() && StillRunningAfter(std::chrono::milliseconds(300))) return;
        Stop();
    }
    std::ofstream(prefix->Path("error.log"), std::ios::app)
        << "port " << port << " stayed taken by another server\n";
}

bool NginxServer::StillRunningAfter(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
    // nginx tries to listen a few times before it gives up, and says so at the first failure.
    if (ErrorLog().find("Address already in use") != std::string::npos) return false;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid) return true;
    pid = -1;
    return false;
}

NginxServer::~NginxServer() {
    Stop();
}

bool NginxServer::Available() {
    return ::access(kNginx, X_OK) == 0;
}

std::string NginxServer::ErrorLog() const {
    std::ifstream in(prefix->Path("error.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool NginxServer::StartOnFreePort(const std::string& root, const std::string& serverDirectives) {
    port = FreeLoopbackPort();
    if (port == 0) return false;
    WriteConfiguration(root, serverDirectives);
    return Launch();
}

bool NginxServer::Launch() {
    const std::string prefixPath = prefix->Path("") + "/";
    const std::string configPath = prefix->Path("nginx.conf");
    const std::string logPath = prefix->Path("error.log");
    std::vector<std::string> args = {kNginx, "-p", prefixPath, "-c", configPath, "-e", logPath};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        // Only async-signal-safe calls from here on: the test may run other threads.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        ::execv(kNginx, argv.data());
        ::_exit(127);
    }
    pid = child;
    if (WaitUntilAnswering()) return true;
    Stop();
    return false;
}

void NginxServer::WriteConfiguration(const std::string& root,
                                     const std::string& serverDirectives) const {
    std::ofstream conf(prefix->Path("nginx.conf"));
    conf << "daemon off;\n"
         << "worker_processes 1;\n"
         << "pid " << prefix->Path("nginx.pid") << ";\n"
         << "error_log " << prefix->Path("error.log") << " warn;\n";
    // A root master would hand the workers to "nobody", who cannot read a scratch folder.
    if (::geteuid() == 0) conf << "user root;\n";
    conf << "events { worker_connections 64; }\n"
         << "http {\n"
         << "  access_log off;\n"
         << "  default_type application/octet-stream;\n"
         << "  types { text/plain ini txt; application/vnd.ms-cab-compressed cab; }\n"
         << "  sendfile on;\n"
         << "  client_body_temp_path " << prefix->Path("body") << ";\n"
         << "  proxy_temp_path " << prefix->Path("proxy") << ";\n"
         << "  fastcgi_temp_path " << prefix->Path("fastcgi") << ";\n"
         << "  uwsgi_temp_path " << prefix->Path("uwsgi") << ";\n"
         << "  scgi_temp_path " << prefix->Path("scgi") << ";\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << port << ";\n"
         << "    root " << root << ";\n"
         << "    " << serverDirectives << "\n"
         << "  }\n"
         << "}\n";
}

void NginxServer::WriteConfiguration(const NginxConfiguration& configuration) const {
    std::string text = configuration.text;
    const auto replaceAll = [&text](const std::string& name, const std::string& value) {
        for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
            text.replace(at, name.size(), value);
        }
    };
    for (const auto& [name, value] : configuration.names) replaceAll(name, value);
    replaceAll("@PREFIX@", prefix->Path(""));
    replaceAll("@USER@", ::geteuid() == 0 ? "user root;" : "");
    std::ofstream(prefix->Path("nginx.conf")) << text;
}

bool NginxServer::WaitUntilAnswering() {
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;  // it gave up, most likely because the port was taken meanwhile
            return false;
        }
        if (Answers(port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void NginxServer::Stop() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
}
