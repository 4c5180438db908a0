// The about box: the icon, the program's name and version, OK.
// Created on the stack of the handler that opens it; DoModal() blocks.
#pragma once

#include "dialogkit/TemplateDialog.h"

class CAboutDlg : public dlgkit::TemplateDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
