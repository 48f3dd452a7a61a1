#include "app/WindowRules.h"

#include "app/WindowTexts.h"
#include "download/DownloadJob.h"
#include "platform/Files.h"

namespace {

constexpr char kLauncherFileName[] = "Ferrowind.exe";
constexpr char kLauncherArgumentPrefix[] = "KOR_0001|ResourceDLL_kor";

// format with its one %d replaced by number.
std::wstring FillNumber(const wchar_t* format, int32_t number) {
    std::wstring text = format;
    const size_t at = text.find(L"%d");
    if (at != std::wstring::npos) text.replace(at, 2, std::to_wstring(number));
    return text;
}

}  // namespace

std::optional<int32_t> ProgressPosition(int64_t received, int64_t total) {
    if (total == 0) return std::nullopt;
    return static_cast<int32_t>(received * 100 / total);
}

std::wstring ErrorBoxText(int32_t kind, int32_t code) {
    switch (kind) {
        case KIND_SETUP: return FillNumber(kSetupFailedFormat, code);
        case KIND_CONNECT: return FillNumber(kConnectFailedFormat, code);
        case KIND_REQUEST: return FillNumber(kRequestFailedFormat, code);
        case KIND_RECEIVE: return FillNumber(kReceiveFailedFormat, code);
        default: return {};
    }
}

bool IsNormalEnd(int32_t kind, int32_t code) { return kind == KIND_FINISHED && code == 0; }

std::wstring ExtractionErrorText(int reportedErrorCode) {
    return FillNumber(kErrorCodeFormat, reportedErrorCode);
}

std::string ExtractionFolder(const std::string& cabinetPath) {
    const size_t separator = cabinetPath.rfind(platform::kPathSeparator);
    return separator == std::string::npos ? std::string() : cabinetPath.substr(0, separator);
}

std::string LauncherPath(const std::string& extractionFolder) {
    return extractionFolder + platform::kPathSeparator + kLauncherFileName;
}

std::string LauncherParameters(const std::string& launcherArguments) {
    return kLauncherArgumentPrefix + launcherArguments;
}
