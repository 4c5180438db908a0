#include "AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "AppIcon.h"
#include "KorvoTemplates.h"
#include "Resource.h"

CAboutDlg::CAboutDlg(QWidget* parent) : TemplateDialog(kAboutBoxTemplate, parent) {
    if (auto* icon = GetDlgItemAs<QLabel>(IDR_MAINFRAME)) icon->setPixmap(LoadAppIcon().pixmap(32, 32));
    if (auto* ok = GetDlgItemAs<QPushButton>(IDOK)) {
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
}
