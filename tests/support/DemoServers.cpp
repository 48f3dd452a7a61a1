#include "support/DemoServers.h"

#include <fstream>
#include <sstream>

#include "config/DeploymentValues.h"

namespace {

std::string ConfigurationPort() {
    const std::string host = deployment::kConfigurationHost;
    const size_t colon = host.rfind(':');
    return colon == std::string::npos ? "80" : host.substr(colon + 1);
}

// Cuts the configuration server's block out of the text (from its comment to the download
// host's comment).
void RemoveConfigurationServer(std::string& text) {
    const size_t begin = text.find("  # The configuration server");
    const size_t end = text.find("  # The download host");
    if (begin != std::string::npos && end != std::string::npos && begin < end) {
        text.erase(begin, end - begin);
    }
}

}  // namespace

DemoServers::DemoServers(const DemoServerSettings& settings) {
    std::ifstream in(TARNWICK_DEMO_NGINX_TEMPLATE);
    if (!in) return;
    std::stringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    if (!settings.configServerUp) RemoveConfigurationServer(text);
    nginx = std::make_unique<NginxServer>(NginxConfiguration{
        text,
        static_cast<uint16_t>(deployment::kDownloadPort),
        {{"@CONFIG_PORT@", ConfigurationPort()},
         {"@CONFIG_ROOT@", settings.configRoot},
         {"@DOWNLOAD_PORT@", std::to_string(deployment::kDownloadPort)},
         {"@DOWNLOAD_ROOT@", settings.downloadRoot},
         {"@LIMIT_RATE@", settings.limitRate}}});
}
