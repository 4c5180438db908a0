#include "DlgLock.h"

#include <QLineEdit>
#include <QPushButton>

#include "KorvoDlg.h"
#include "KorvoTemplates.h"
#include "Resource.h"
#include "dialogkit/MessageBox.h"

bool IsLockAccount(const QString& user, const QString& password) {
    return user == u"tulip" && password == u"19970623";
}

CDlgLock::CDlgLock(QWidget* parent) : TemplateDialog(kLockDialogTemplate, parent) {
    connect(GetDlgItemAs<QPushButton>(IDC_BUTTON_LOCK_RANGE), &QPushButton::clicked, this,
            &CDlgLock::OnLockCommand);
    connect(GetDlgItemAs<QPushButton>(IDC_BUTTON_UNLOCK_RANGE), &QPushButton::clicked, this,
            &CDlgLock::OnUnlockCommand);
}

void CDlgLock::OnInitDialog() {
    DoDataExchange(false);
    SetDlgItemText(IDC_STATIC_LOCK_USER, QStringLiteral(u"用户名"));
    SetDlgItemText(IDC_STATIC_LOCK_PASSWORD, QStringLiteral(u"密码"));
    SetDlgItemText(IDC_BUTTON_LOCK_RANGE, QStringLiteral(u"锁定"));
    SetDlgItemText(IDC_BUTTON_UNLOCK_RANGE, QStringLiteral(u"解锁"));
}

void CDlgLock::DoDataExchange(bool bSaveAndValidate) {
    auto* user = GetDlgItemAs<QLineEdit>(IDC_EDIT_USER);
    auto* password = GetDlgItemAs<QLineEdit>(IDC_EDIT_PASSWORD);
    if (bSaveAndValidate) {
        m_strUser = user->text();
        m_strPassword = password->text();
    } else {
        user->setText(m_strUser);
        password->setText(m_strPassword);
    }
}

void CDlgLock::ApplyIfAuthorised(int lockState) {
    DoDataExchange(true);
    if (!IsLockAccount(m_strUser, m_strPassword)) {
        dlgkit::ShowMessageBox(this, QStringLiteral(u"请确定用户名和密码"));
        return;
    }
    if (m_pMainDlg) m_pMainDlg->ApplyLockState(lockState);
    done(1);
}
