// The demo's two servers (demo/nginx.conf.in), run by a real nginx for one test, on the ports
// the program has compiled in: the configuration text on the configuration host's port and the
// cabinet on the download port. Tests that start them hold the CTest resource lock
// "demo_ports", so parallel runs never collide.
#pragma once

#include <memory>
#include <string>

#include "support/NginxServer.h"

struct DemoServerSettings {
    std::string configRoot;    // serves <configRoot>/quarvex_fgt.ini
    std::string downloadRoot;  // serves <downloadRoot>/download/quarvex/quarvex.cab
    std::string limitRate = "0";  // nginx limit_rate of the download; "0": no limit
    bool configServerUp = true;   // false: nothing answers on the configuration port
};

class DemoServers {
public:
    explicit DemoServers(const DemoServerSettings& settings);

    bool Started() const { return nginx && nginx->Started(); }
    std::string ErrorLog() const { return nginx ? nginx->ErrorLog() : "nginx.conf.in unreadable"; }

private:
    std::unique_ptr<NginxServer> nginx;
};
