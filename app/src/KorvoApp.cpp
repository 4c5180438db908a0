#include "KorvoApp.h"

#include <csignal>

#include "KorvoDlg.h"
#include "TQDevLink.h"

bool CKorvoApp::InitInstance() {
    // A device that closes its connection while we are still sending must
    // fail that request, not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    // Results not looked at: the window is useful for recorders (web) even
    // when the SDK cannot start.
    TQ_NET_Startup();
    TQ_NET_SetWaitTime(1, 1, 3);
    {
        CKorvoDlg dlg;
        dlg.DoModal();
    }
    TQ_NET_Cleanup();
    return false;
}
