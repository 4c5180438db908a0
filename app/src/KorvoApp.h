// The application: starts what the dialog needs, runs the main dialog until
// the operator closes it, and shuts everything down again.
//
// Starts the device SDK before the dialog and cleans it up after it.
// One object per process, made in main() after the QApplication.
// InitInstance() blocks for the whole run and returns false (no message loop
// follows), so that main() ends the process.
#pragma once

class CKorvoApp {
public:
    bool InitInstance();
};
