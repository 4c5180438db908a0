#include "KorvoApp.h"

#include <csignal>

#include "KorvoDlg.h"

bool CKorvoApp::InitInstance() {
    // A device that closes its connection while we are still sending must
    // fail that request, not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    {
        CKorvoDlg dlg;
        dlg.DoModal();
    }
    return false;
}
