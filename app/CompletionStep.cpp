// The last step of the bootstrap: the downloaded cabinet is extracted into its own folder and
// the launcher in that folder is started with its argument text. Runs on the worker thread.
#include <cwchar>

#include "app/CtarnwickDlg.h"
#include "cabinet/CabinetExtractor.h"
#include "controls/TextProgressCtrl.h"
#include "platform/Files.h"
#include "platform/Launcher.h"
#include "platform/NoticeBox.h"
#include "platform/Text.h"

namespace {

constexpr wchar_t kStatusExtracting[] = L"압축푸는 중";
constexpr wchar_t kStatusExtractionFailed[] = L"압축풀기 실패";
constexpr wchar_t kStatusExtractionDone[] = L"압축풀기 완료";
constexpr wchar_t kStatusLauncherFailed[] = L"런쳐실행 실패";
constexpr wchar_t kErrorCodeFormat[] = L"ErrCode = [%d]";
constexpr wchar_t kNoticeCaption[] = L"알림";
constexpr char kLauncherFileName[] = "Ferrowind.exe";
constexpr char kLauncherArgumentPrefix[] = "KOR_0001|ResourceDLL_kor";

// Everything before the path's last separator; empty when it has none.
std::string FolderOf(const std::string& path) {
    const size_t separator = path.rfind(platform::kPathSeparator);
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

void CtarnwickDlg::ReportExtractionFailure(int reportedErrorCode) {
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], kErrorCodeFormat, reportedErrorCode);
    SetStatusText(kStatusExtractionFailed);
    platform::ShowNoticeBox(text, kNoticeCaption);
}

int32_t CtarnwickDlg::OnCompleted(CtarnwickDlg* dlg, int32_t) {
    dlg->SetStatusText(kStatusExtracting);
    dlg->progressBar->SetPos(100);

    CCabinetExtractor extractor;
    const std::string cabinetPath = dlg->job.outputPath;
    const std::string folder = FolderOf(cabinetPath);
    // Both steps run and report whatever the other gave: a failed Create makes Extract fail at
    // once, and the same number is shown twice.
    if (!extractor.Create()) dlg->ReportExtractionFailure(extractor.ReportedErrorCode());
    if (!extractor.Extract(folder.c_str(), cabinetPath.c_str())) {
        dlg->ReportExtractionFailure(extractor.ReportedErrorCode());
    }
    dlg->SetStatusText(kStatusExtractionDone);

    // The user has closed the program meanwhile: no game is started behind a closed window.
    if (dlg->closing) return -1;

    const std::string launcherPath = folder + platform::kPathSeparator + kLauncherFileName;
    const std::string parameters = kLauncherArgumentPrefix + dlg->configuration.launcherArguments;
    if (StartLauncher(platform::ToWide(launcherPath), platform::ToWide(parameters)) == 1) {
        dlg->SetStatusText(kStatusLauncherFailed);
        return -1;
    }
    return 0;
}

int StartLauncher(std::wstring file, std::wstring parameters) {
    return platform::StartProgram(platform::ToNarrow(file), platform::ToNarrow(parameters)) ? 0 : 1;
}
