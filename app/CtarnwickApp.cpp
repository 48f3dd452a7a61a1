#include "app/CtarnwickApp.h"

#include "app/CtarnwickDlg.h"
#include "controls/KoreanFont.h"
#include "platform/SocketLayer.h"
#include "platform/WindowThread.h"

CtarnwickApp theApp;

bool CtarnwickApp::InitInstance() {
    platform::BecomeWindowThread();
    // Without a Hangul font the texts show as boxes; the program still does its work.
    UseKoreanFont();
    if (platform::StartSocketLayer() != 0) return false;
    {
        CtarnwickDlg dlg;
        dlg.DoModal();
        // The window has waited for its worker, so the socket layer can go while the window
        // object, and the job in it, still exist.
        platform::StopSocketLayer();
    }
    return false;
}
