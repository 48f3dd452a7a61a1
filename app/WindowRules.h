// What the main window and the completion step derive from the worker's reports, apart from
// any window: the bar's position, the message box texts, the launcher's path and parameters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Received times 100 divided by total, in 64-bit arithmetic truncated toward zero, its low 32
// bits as the bar's position. None for a total of 0 (no length known): the bar stays as it is.
std::optional<int32_t> ProgressPosition(int64_t received, int64_t total);

// The message box text for a failure report: "error <code>: ..." for the kinds 0 to 3, empty
// for every other kind (no box).
std::wstring ErrorBoxText(int32_t kind, int32_t code);

// Whether a report is the normal end of a run (kind 9 with code 0).
bool IsNormalEnd(int32_t kind, int32_t code);

// "ErrCode = [<code>]", the box shown for a failed extraction step.
std::wstring ExtractionErrorText(int reportedErrorCode);

// The folder of the downloaded cabinet: everything before the path's last separator, empty
// when it has none.
std::string ExtractionFolder(const std::string& cabinetPath);

// The launcher in that folder, and its parameters: the fixed prefix followed directly by the
// configuration part.
std::string LauncherPath(const std::string& extractionFolder);
std::string LauncherParameters(const std::string& launcherArguments);
