// The last step of the bootstrap: the downloaded cabinet is extracted into its own folder and
// the launcher in that folder is started with its argument text. Runs on the worker thread.
#include "app/CtarnwickDlg.h"
#include "app/WindowRules.h"
#include "app/WindowTexts.h"
#include "cabinet/CabinetExtractor.h"
#include "controls/TextProgressCtrl.h"
#include "platform/Launcher.h"
#include "platform/NoticeBox.h"
#include "platform/Text.h"

void CtarnwickDlg::ReportExtractionFailure(int reportedErrorCode) {
    SetStatusText(kStatusExtractionFailed);
    platform::ShowNoticeBox(ExtractionErrorText(reportedErrorCode), kNoticeCaption);
}

int32_t CtarnwickDlg::OnCompleted(CtarnwickDlg* dlg, int32_t) {
    dlg->SetStatusText(kStatusExtracting);
    dlg->progressBar->SetPos(100);

    CCabinetExtractor extractor;
    const std::string cabinetPath = dlg->job.outputPath;
    const std::string folder = ExtractionFolder(cabinetPath);
    // Both steps run and report whatever the other gave: a failed Create makes Extract fail at
    // once, and the same number is shown twice.
    if (!extractor.Create()) dlg->ReportExtractionFailure(extractor.ReportedErrorCode());
    if (!extractor.Extract(folder.c_str(), cabinetPath.c_str())) {
        dlg->ReportExtractionFailure(extractor.ReportedErrorCode());
    }
    dlg->SetStatusText(kStatusExtractionDone);

    // The user has closed the program meanwhile: no game is started behind a closed window.
    if (dlg->closing) return -1;

    const std::string parameters = LauncherParameters(dlg->configuration.launcherArguments);
    if (StartLauncher(platform::ToWide(LauncherPath(folder)), platform::ToWide(parameters)) == 1) {
        dlg->SetStatusText(kStatusLauncherFailed);
        return -1;
    }
    return 0;
}

int StartLauncher(std::wstring file, std::wstring parameters) {
    return platform::StartProgram(platform::ToNarrow(file), platform::ToNarrow(parameters)) ? 0 : 1;
}
