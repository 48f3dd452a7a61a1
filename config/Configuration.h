// The configuration text and the launcher's argument text.
//
// At start-up the main window fills its download job's fixed settings, fetches the
// configuration text and forms the configuration part of the launcher's argument text from
// the text's first four lines. The window owns a ConfigurationState; its LoadConfiguration
// hands that state and its job to the function of the same name here.
#pragma once

#include <string>
#include <string_view>

#include "config/HttpTextRequest.h"

struct DownloadJob;

struct ConfigurationState {
    // The configuration text as received, all pieces of the fetch joined.
    std::wstring configText;
    // The configuration part of the launcher's argument text ("|v1|v2v3" or "|v1|v2v3|v4");
    // empty when the fetch failed.
    std::string launcherArguments;
    // The first bytes of a character that the latest piece cut in two; they are joined to the
    // next piece before conversion so that a character split across pieces stays whole.
    std::string pendingBytes;
};

// "http://" + the configuration host + "/quarvex_fgt.ini".
std::wstring ConfigurationUrl();

// Fills the job's port, request path, folder name, host name and Host header, fetches the
// configuration text from `configurationUrl` into the state and, when the fetch read the whole
// body, forms state.launcherArguments from it. A failed fetch leaves launcherArguments empty.
void LoadConfiguration(DownloadJob& job, ConfigurationState& state,
                       std::wstring_view configurationUrl = ConfigurationUrl(),
                       const FetchLimits& limits = kFetchLimits);

// The text sink of the fetch; context is the ConfigurationState. Appends the piece to
// configText, so a text that arrives in several pieces is kept whole.
void StoreConfigText(const char* text, void* context);

// The configuration part of the launcher's argument text from the first four lines of text:
// "|" v1 "|" v2 v3, then "|" v4 only when v4 is not empty.
std::string BuildLauncherArguments(std::wstring_view text);

// The text after the first "=" (the whole line when it holds none), without the white space
// around it.
std::wstring LineValue(std::wstring_view line);
