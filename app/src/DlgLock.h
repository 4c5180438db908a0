// The lock dialog: asks for the fixed lock credentials and locks or unlocks
// the MAC range of the main dialog.
//
// Made on the stack of CKorvoDlg::OnLockButton with m_pMainDlg set before
// DoModal(). With the right credentials a command applies the lock state to
// the main dialog and ends this dialog with 1; with wrong ones it shows
// "请确定用户名和密码" and stays open with the texts as typed. Closing it
// any other way changes nothing.
#pragma once

#include <QString>

#include "dialogkit/TemplateDialog.h"

class CKorvoDlg;

class CDlgLock : public dlgkit::TemplateDialog {
    Q_OBJECT
public:
    explicit CDlgLock(QWidget* parent = nullptr);

    QString m_strUser;
    QString m_strPassword;
    CKorvoDlg* m_pMainDlg = nullptr;  // not owned; must outlive the modal loop

    void OnLockCommand() { ApplyIfAuthorised(0); }
    void OnUnlockCommand() { ApplyIfAuthorised(1); }

protected:
    void OnInitDialog() override;

private:
    void DoDataExchange(bool bSaveAndValidate);
    void ApplyIfAuthorised(int lockState);
};

// The fixed lock credentials, compared as exact, case-sensitive texts.
bool IsLockAccount(const QString& user, const QString& password);
