// The dialog templates of the program: the main dialog, the about box and
// the lock dialog, each a table of its controls.
#pragma once

#include "dialogkit/DialogTemplate.h"

extern const dlgkit::DialogTemplate kKorvoDialogTemplate;  // IDD_KORVO_DIALOG
extern const dlgkit::DialogTemplate kAboutBoxTemplate;     // IDD_ABOUTBOX
extern const dlgkit::DialogTemplate kLockDialogTemplate;   // IDD_DLG_LOCK

// The string IDS_ABOUTBOX: the about entry of the main dialog's menu.
inline constexpr char16_t kAboutBoxMenuText[] = u"关于 Korvo(&A)...";
