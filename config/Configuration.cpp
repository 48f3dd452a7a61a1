#include "config/Configuration.h"

#include <utility>

#include "config/DeploymentValues.h"
#include "download/DownloadJob.h"
#include "platform/Fields.h"
#include "platform/Text.h"

namespace {

constexpr char kConfigurationPath[] = "/quarvex_fgt.ini";
constexpr char kDownloadRequestPath[] = "/download/quarvex/quarvex.cab";
constexpr char kDownloadFolderName[] = "Quarvex";
constexpr int kConfigurationLines = 4;

// White space as Windows' iswspace and Unicode count it, the same in every locale: the ASCII
// controls tab to carriage return, space, next line, the no-break and typographic spaces, the
// line and paragraph separators and the ideographic space.
bool IsWideSpace(wchar_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// The length of an incomplete UTF-8 sequence at the end of text (0 when it ends whole).
size_t IncompleteTailLength(std::string_view text) {
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const size_t needed = (byte & 0xE0) == 0xC0 ? 2 : (byte & 0xF0) == 0xE0 ? 3 : (byte & 0xF8) == 0xF0 ? 4 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

}  // namespace

std::wstring ConfigurationUrl() {
    return platform::ToWide(std::string("http://") + deployment::kConfigurationHost + kConfigurationPath);
}

void StoreConfigText(const char* text, void* context) {
    auto& state = *static_cast<ConfigurationState*>(context);
    std::string piece = std::move(state.pendingBytes) + text;
    state.pendingBytes = piece.substr(piece.size() - IncompleteTailLength(piece));
    piece.resize(piece.size() - state.pendingBytes.size());
    state.configText += platform::ToWide(piece);
}

void LoadConfiguration(DownloadJob& job, ConfigurationState& state, std::wstring_view configurationUrl,
                       const FetchLimits& limits) {
    job.serverPort = deployment::kDownloadPort;
    job.requestPath = kDownloadRequestPath;
    job.folderName = kDownloadFolderName;
    job.hostName = deployment::kDownloadHost;
    job.hostHeader = deployment::kDownloadHost;
    if (FetchUrlText(StoreConfigText, &state, configurationUrl, limits) == -1) return;
    // A character cut off at the very end of the text is not completed by any further piece.
    state.configText += platform::ToWide(std::exchange(state.pendingBytes, {}));
    state.launcherArguments = BuildLauncherArguments(state.configText);
}

std::string BuildLauncherArguments(std::wstring_view text) {
    std::string values[kConfigurationLines];
    for (int line = 0; line < kConfigurationLines; ++line)
        values[line] = platform::ToNarrow(LineValue(platform::ExtractField(text, line, L'\n')));
    std::string arguments = "|" + values[0] + "|" + values[1] + values[2];
    if (!values[3].empty()) arguments += "|" + values[3];
    return arguments;
}

std::wstring LineValue(std::wstring_view line) {
    const size_t equals = line.find(L'=');
    std::wstring_view value = equals == std::wstring_view::npos ? line : line.substr(equals + 1);
    while (!value.empty() && IsWideSpace(value.back())) value.remove_suffix(1);
    while (!value.empty() && IsWideSpace(value.front())) value.remove_prefix(1);
    return std::wstring(value);
}
