// The main dialog: the form of one device, the MAC range, the Set and Lock
// buttons and the red result line. It owns all state of a run.
//
// All handlers run on the window's thread. The web provisioning blocks that
// thread for the length of a command (each request has its own time-outs).
// On an "IPC" or "DVR" the Set button only starts an SDK login; the
// provisioning runs when the login's message arrives, still on the window's
// thread (each SDK call bounded by TQDevLink's waits). A lens calibration
// runs on one worker thread, which changes controls only through calls
// queued to the window's thread (KorvoDlgSdk.cpp tells who owns which
// handle). Messages to the operator go through dlgkit::ShowMessageBox.
#pragma once

#include <QBasicTimer>
#include <QEvent>
#include <QIcon>
#include <QImage>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "TQDevLink.h"
#include "dialogkit/TemplateDialog.h"
#include "korvo/appcore/MacAddress.h"
#include "korvo/sdk/CalibrationLoop.h"
#include "korvo/sdk/SdkRecords.h"
#include "korvo/sdk/WorkerSignal.h"
#include "web/DeviceStatus.h"
#include "web/HttpRequest.h"

class QComboBox;
class QMenu;

using korvo::MacAddress;

// The user data handed to the device SDK with a login or a preview. The SDK
// callback reads it on a library thread, hence the atomic.
struct SdkContext {
    std::atomic<QObject*> hWnd{nullptr};  // the window that SDK events are posted to
};

// A window message posted by OnSdkEvent: its type is the message number
// (WM_SDK_LOGIN_OK and so on), wParam the user data, lParam the event data.
class SdkMessage : public QEvent {
public:
    SdkMessage(int message, void* wParam, void* lParam)
        : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam) {}
    void* WParam() const { return m_wParam; }
    void* LParam() const { return m_lParam; }

private:
    void* m_wParam;
    void* m_lParam;
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
    // The SDK path for "IPC" and "DVR". LoginDevice logs out a login this
    // window still holds, starts a new one and returns 1 at once; the
    // outcome arrives as WM_SDK_LOGIN_OK or WM_SDK_LOGIN_FAILED, and the
    // provisioning runs when the window's thread handles that message.
    int LoginDevice();
    // The TQDevLink event callback: posts the event's message to the window
    // named by `user` (an SdkContext) and returns. Runs on a library thread.
    static void OnSdkEvent(uint32_t first, uint32_t event, void* data, void* user);
    // With the login open: reads the model and, for a mechanical one, starts
    // CalibrationThread; otherwise shows "Sorry, this device is not a
    // mechanical device. . .". Returns true when a worker was started: the
    // login then belongs to the worker, which logs it out when it ends. Only
    // one worker runs at a time: one that is ending is waited for (at most
    // 500 ms, blocking the window's thread); while one is still starting, no
    // second one is started and false is returned.
    bool StartCalibration();

    // Pacing of a calibration (1000 ms, 300 waits); tests shorten them. Read
    // when a worker starts.
    int m_nCalibrationPeriodMs = 1000;
    int m_nCalibrationLimit = 300;
    // The last picture of the live preview, as painted into IDC_STATIC_PREVIEW.
    const QImage& PreviewImage() const { return m_previewImage; }
    // Whether a calibration worker is running.
    bool IsCalibrationRunning() const;

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
    std::thread m_hCalibrationThread;  // joinable while a worker runs or has not been joined
    int m_nCalibrationSeconds = 0;

protected:
    void OnInitDialog() override;
    void done(int result) override;
    void timerEvent(QTimerEvent* event) override;
    // Every event passes WindowProc first, then default processing.
    bool event(QEvent* e) override { return WindowProc(e); }
    bool eventFilter(QObject* watched, QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // What the window and the calibration worker share. It outlives the
    // window when a worker had to be given up at close.
    struct SdkShared {
        std::mutex mutex;         // guards m_hLogin, m_hPreview, m_bLoginActive, m_hWorkerLogin and windowGone
        bool windowGone = false;  // set at close: a worker then touches neither the window nor its handles
    };
    // What a worker runs with, copied on the window's thread at its start.
    struct CalibrationSetup {
        korvo::sdk::LoginValues values;
        TQ_HANDLE login = 0;
        korvo::sdk::CalibrationPacing pacing;
    };

    bool WindowProc(QEvent* e);
    void OnSdkLoginOk();
    void OnSdkLoginFailed();
    korvo::sdk::LoginValues CurrentLoginValues();
    void LogoutWindowLogin();
    static void CalibrationThread(CKorvoDlg* window, std::shared_ptr<SdkShared> shared,
                                  std::shared_ptr<korvo::sdk::WorkerSignal> signal, CalibrationSetup setup);
    // On the worker's thread (static: the window may be gone, which it
    // checks under the lock before touching it): stops a preview left open, starts one and lets
    // it draw into IDC_STATIC_PREVIEW. Returns the preview handle, or 0 with
    // nothing left open when the window is closing.
    static TQ_HANDLE StartPreview(CKorvoDlg* window, SdkShared& shared, const korvo::sdk::WorkerSignal& signal,
                                  const CalibrationSetup& setup);
    // On the worker's thread: ends the worker's preview and login unless the
    // window is gone (then it has ended them itself, and `window` is not
    // touched).
    static void EndCalibrationHandles(CKorvoDlg* window, SdkShared& shared, TQ_HANDLE login, TQ_HANDLE preview);
    static void DrawPreviewFrame(void* context, const TQ_NET_VideoFrame* frame);
    void ShowPreviewFrame(const QImage& image);
    // Stops a worker (waiting at most 2000 ms), then ends every preview and
    // login still open. Runs once, at close or destruction.
    void EndSdkWork();

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
    std::shared_ptr<SdkShared> m_pSdkShared = std::make_shared<SdkShared>();
    std::shared_ptr<korvo::sdk::WorkerSignal> m_pCalibrationSignal;  // of the last worker started
    TQ_HANDLE m_hWorkerLogin = 0;  // the login a running worker owns; 0 = none
    TQ_NET_Window m_previewWindow{};  // the "window handle" of IDC_STATIC_PREVIEW
    QImage m_previewImage;
    bool m_bSdkEnded = false;
};
