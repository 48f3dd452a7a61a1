// The program's message box: a text, a caption and an OK button, no icon and no owner window.
//
// It can be shown from any thread. The window thread shows it on the caller's behalf while the
// caller waits for OK; the other windows stay usable meanwhile (unlike fl_message, which blocks
// every window of the program).
#pragma once

#include <string_view>

namespace platform {

// Shows the box and returns once OK was pressed, the box was closed, or CloseNoticeBoxes ran.
// Returns at once when the window thread's hand-offs are closed (WindowThread.h).
void ShowNoticeBox(std::wstring_view text, std::wstring_view caption);

// Closes every open box, releasing whoever waits on one. Window thread only.
void CloseNoticeBoxes();

}  // namespace platform
