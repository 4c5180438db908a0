// The main dialog: the form of one device, the MAC range, the Set and Lock
// buttons and the red result line. It owns all state of a run.
//
// All handlers run on the window's thread. The web provisioning blocks that
// thread for the length of a command (each request has its own time-outs).
// Messages to the operator go through dlgkit::ShowMessageBox.
#pragma once

#include <QBasicTimer>
#include <QIcon>
#include <QString>
#include <array>
#include <cstdint>
#include <string>

#include "TQDevLink.h"
#include "dialogkit/TemplateDialog.h"
#include "korvo/appcore/MacAddress.h"
#include "web/DeviceStatus.h"
#include "web/HttpRequest.h"

class QComboBox;
class QMenu;

using korvo::MacAddress;

// The user data handed to the device SDK with a login or a preview.
struct SdkContext {
    class CKorvoDlg* pDlg = nullptr;
};

class CKorvoDlg : public dlgkit::TemplateDialog {
    Q_OBJECT
public:
    explicit CKorvoDlg(QWidget* parent = nullptr);
    ~CKorvoDlg() override;

    // The form. ReadForm copies the controls into the members and returns
    // false (after the validation message, with the focus on the offending
    // edit) at the first MAC octet that is not a number from 0 to 255; the
    // members of that edit and of every later control keep their values.
    // ShowForm copies the members into the controls.
    bool ReadForm() { return DoDataExchange(true); }
    void ShowForm() { DoDataExchange(false); }

    // Arms timer 1: the result line hides itself after 5 ticks.
    void StartResultTimer();
    // Whether timer IDT_RESULT or IDT_CALIBRATION is running.
    bool IsTimerRunning(int nIDEvent) const;

    // The settings file "Account.ini" beside the executable. LoadSettings
    // reads every value into the members and the form's combo and lock
    // state; SaveSettings stores the connection fields and the end MAC (as
    // read by the last ReadForm). Failures to store are not reported: the
    // next start shows what the file holds.
    void LoadSettings();
    void SaveSettings();
    // Stores the begin MAC. A false result means the file still holds the
    // previous begin, so the next start would hand that address out again;
    // *error then says why.
    bool SaveBeginMac(std::string* error);

    // Enables (non-zero) or disables (0) the twelve MAC octet edits and
    // stores the value as the lock state.
    void ApplyLockState(int value);

    // Handlers, public so that tests and scripts can drive them directly.
    void OnSysCommand(unsigned nID);
    void OnTimer(int nIDEvent);
    void OnLockButton();
    // The Set button: checks the form and the range, then provisions the
    // device by its type. Blocks while it talks to an NVR.
    void OnSetCommand();
    void OnDeviceTypeChange();
    void OnDestroy();

    // The web path, each a blocking exchange with the device at the form's
    // address. ReadDeviceStatus fills m_status from the status page and
    // returns 1, or returns 0 (after "Username and password do not match"
    // when the device refused the credentials). The three commands return 1
    // when the device answered "200 OK".
    int ReadDeviceStatus();
    void ParseStatusPage(std::u16string page);
    int SendMacCommand(const std::string& credentials);
    int SendPortCommand(const std::string& credentials);
    int SendSnCommand(const std::string& credentials);
    // The SDK path for "IPC" and "DVR"; not driven by this window yet.
    int LoginDevice();

    // Waits of every web request; tests shorten them.
    void SetHttpTimeouts(const korvo::web::HttpTimeouts& timeouts) { m_httpTimeouts = timeouts; }

    // The menu that holds the about entry (the dialog's context menu).
    QMenu* SystemMenu() const { return m_pSystemMenu; }

    QIcon m_hIcon;
    QString m_strPort;
    QString m_strUser;
    QString m_strPassword;
    MacAddress m_macBegin{};
    MacAddress m_macEnd{};
    std::uint32_t m_dwDeviceIp = 0;
    TQ_HANDLE m_hLogin = 0;
    int m_bLoginActive = 0;
    QString m_strSn;
    int m_nTimerId = 0;
    int m_nResultCountdown = 5;
    int m_bSetMac = 0;
    int m_bSetSn = 0;
    SdkContext m_SdkContext;
    QComboBox* m_comboDeviceType = nullptr;  // owned by the dialog's widget tree
    QString m_strMacCount;
    korvo::web::DeviceStatus m_status;
    int m_bLensCalibration = 0;
    TQ_HANDLE m_hPreview = 0;
    long m_hCalibrationThread = 0;  // no calibration worker runs from this window yet
    int m_nCalibrationSeconds = 0;

protected:
    void OnInitDialog() override;
    void done(int result) override;
    void timerEvent(QTimerEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool DoDataExchange(bool bSaveAndValidate);
    bool ExchangeOctets(const int (&ids)[6], MacAddress& mac, bool bSaveAndValidate);
    void TellBeginMacNotStored(const std::string& error);
    void ProvisionOverWeb();
    std::string MakeCredentials() const;
    int SendWebCommand(const std::string& url, const std::string& credentials);
    void SetEnglishTexts();

    QMenu* m_pSystemMenu = nullptr;
    QBasicTimer m_resultTimer;
    QBasicTimer m_calibrationTimer;
    korvo::web::HttpTimeouts m_httpTimeouts;
    bool m_bDestroyed = false;
};
