// The window's SDK path: the login, the provisioning when the login
// succeeded, and the lens calibration worker with its live preview.
//
// Who may touch what: the window's thread makes every SDK call on the logins
// it owns; a calibration worker owns the login it was started with
// (m_hWorkerLogin) and its preview, and ends both itself. The handles
// m_hLogin, m_hPreview and m_bLoginActive are changed by both threads, always
// under SdkShared::mutex; SDK calls are made outside it with a copied handle,
// so that a slow device never holds the other side up. The worker changes
// controls only through calls queued to the window's thread.
#include <QComboBox>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QPushButton>
#include <cstring>

#include "KorvoDlg.h"
#include "Resource.h"
#include "WindowText.h"
#include "korvo/appcore/AccountSettings.h"
#include "korvo/appcore/SettingsPath.h"

namespace {

// Debug lines around SDK calls; enable with QT_LOGGING_RULES="korvo.sdk.debug=true".
Q_LOGGING_CATEGORY(lcSdk, "korvo.sdk", QtInfoMsg)

constexpr int kCalibrationTimerPeriodMs = 1000;
const QString kSuccess = QStringLiteral("Setting Success");
const QString kFailure = QStringLiteral("Setting failure");

// Runs `action` on the window's thread, after everything queued before it.
template <class Action>
void Queue(CKorvoDlg* window, Action action) {
    QMetaObject::invokeMethod(window, std::move(action), Qt::QueuedConnection);
}

}  // namespace

korvo::sdk::LoginValues CKorvoDlg::CurrentLoginValues() {
    korvo::sdk::LoginValues values;
    values.deviceIp = m_dwDeviceIp;
    values.port = ToRequestText(m_strPort);
    values.user = ToRequestText(m_strUser);
    values.password = ToRequestText(m_strPassword);
    values.deviceType = m_comboDeviceType->currentIndex();
    values.userData = &m_SdkContext;
    return values;
}

int CKorvoDlg::LoginDevice() {
    ReadForm();  // its result is not looked at: the caller has just read the form
    TQ_HANDLE old = 0;
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        // A login a calibration worker still runs on is the worker's to end.
        if (m_hLogin != m_hWorkerLogin) old = m_hLogin;
        m_hLogin = 0;
        m_bLoginActive = 1;
    }
    if (old != 0) {
        qCDebug(lcSdk) << "TQ_NET_Logout 前-------------";
        TQ_NET_Logout(old);
        qCDebug(lcSdk) << "TQ_NET_Logout 前-------------";
    }
    const TQ_NET_LoginInfo info = korvo::sdk::MakeLoginInfo(CurrentLoginValues(), &CKorvoDlg::OnSdkEvent);
    m_SdkContext.hWnd = this;
    qCDebug(lcSdk) << "TQ_NET_Login 前-------------";
    const TQ_HANDLE login = TQ_NET_Login(&info);
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        m_hLogin = login;
    }
    qCDebug(lcSdk) << "TQ_NET_Login  后++++++++++++++";
    return 1;
}

void CKorvoDlg::OnSdkEvent(uint32_t /*first*/, uint32_t event, void* data, void* user) {
    const auto message = korvo::sdk::MessageForSdkEvent(event);
    if (!message || user == nullptr) return;
    QObject* window = static_cast<SdkContext*>(user)->hWnd.load();
    if (window == nullptr) return;
    // Called from C: no exception may leave. Out of memory, the event is lost
    // and the login looks like one that never answered.
    try {
        QCoreApplication::postEvent(window, new SdkMessage(*message, user, data));
    } catch (...) {
    }
}

bool CKorvoDlg::WindowProc(QEvent* e) {
    const int type = static_cast<int>(e->type());
    if (type == korvo::sdk::WM_SDK_LOGIN_OK) {
        OnSdkLoginOk();
    } else if (type == korvo::sdk::WM_SDK_LOGIN_FAILED) {
        OnSdkLoginFailed();
    }
    return TemplateDialog::event(e);
}

void CKorvoDlg::LogoutWindowLogin() {
    TQ_HANDLE login = 0;
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        m_bLoginActive = 0;
        if (m_hLogin != m_hWorkerLogin) login = m_hLogin;
        m_hLogin = 0;
    }
    if (login != 0) TQ_NET_Logout(login);
}

void CKorvoDlg::OnSdkLoginFailed() {
    SetDlgItemText(IDC_STATIC_RESULT, QString::fromUtf8("登陆失败"));
    ShowDlgItem(IDC_STATIC_RESULT, true);
    LogoutWindowLogin();
    StartResultTimer();
}

void CKorvoDlg::OnSdkLoginOk() {
    TQ_HANDLE login = 0;
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        // A late message for a login that was already ended does nothing.
        if (!m_bLoginActive || m_hLogin == 0 || m_hLogin == m_hWorkerLogin) return;
        login = m_hLogin;
    }
    korvo::sdk::ProvisioningRecords records =
        korvo::sdk::ReadRecordsWithNewValues(login, m_macBegin, ToRequestText(m_strSn));

    if (m_bSetMac) {
        qCDebug(lcSdk) << "TQ_NET_SetNetParam 前-------------";
        const int taken = TQ_NET_SetNetParam(login, 0, &records.net);
        qCDebug(lcSdk) << "TQ_NET_SetNetParam 后-------------";
        if (taken) {
            korvo::AdvanceMac(m_macBegin);
            const std::string count = korvo::DecrementMacCount(ToRequestText(m_strMacCount));
            m_strMacCount = QString::fromStdString(count);
            std::string error;
            const bool stored = korvo::StoreBeginMacAndCount(korvo::GetSettingsPath(), m_macBegin, count, &error);
            ShowForm();
            SetDlgItemText(IDC_STATIC_RESULT, kSuccess);
            if (!stored) TellBeginMacNotStored(error);
        } else {
            SetDlgItemText(IDC_STATIC_RESULT, kFailure);
        }
    }
    if (m_bSetSn) {
        qCDebug(lcSdk) << "TQ_NET_SetP2P 前-------------";
        const int taken = TQ_NET_SetP2P(login, &records.p2p);
        qCDebug(lcSdk) << "TQ_NET_SetP2P 后-------------";
        SetDlgItemText(IDC_STATIC_RESULT, taken ? kSuccess : kFailure);
    }
    const bool workerStarted = m_bLensCalibration && StartCalibration();
    if (m_bSetMac || m_bSetSn) {
        // A worker needs the login for its preview and commands: it logs out
        // when it ends.
        if (!workerStarted) LogoutWindowLogin();
        ShowDlgItem(IDC_STATIC_RESULT, true);
        StartResultTimer();
    }
}

bool CKorvoDlg::IsCalibrationRunning() const {
    return m_pCalibrationSignal && !m_pCalibrationSignal->Finished();
}

bool CKorvoDlg::StartCalibration() {
    TQ_HANDLE login = 0;
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        login = m_hLogin;
    }
    TQ_NET_DeviceInfo info;
    std::memset(&info, 0, sizeof info);
    TQ_NET_GetDeviceInfo(login, &info);
    if (!korvo::sdk::IsMechanicalModel(info.byModelCode)) {
        SetDlgItemText(IDC_STATIC_RESULT, QStringLiteral("Sorry, this device is not a mechanical device. . ."));
        ShowDlgItem(IDC_STATIC_RESULT, true);
        StartResultTimer();
        return false;
    }
    // Set can only be pressed while a worker starts its preview or ends (its
    // last change enables Set a moment before it finishes): an end takes
    // moments and is waited for, a start is not.
    if (m_pCalibrationSignal && !m_pCalibrationSignal->WaitFinished(std::chrono::milliseconds(500))) return false;
    if (m_hCalibrationThread.joinable()) m_hCalibrationThread.join();  // finished: this returns at once

    CalibrationSetup setup;
    setup.values = CurrentLoginValues();
    setup.login = login;
    setup.pacing.period = std::chrono::milliseconds(m_nCalibrationPeriodMs);
    setup.pacing.limit = m_nCalibrationLimit;
    auto signal = std::make_shared<korvo::sdk::WorkerSignal>();
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        m_hWorkerLogin = login;
    }
    try {
        m_hCalibrationThread = std::thread(&CKorvoDlg::CalibrationThread, this, m_pSdkShared, signal, setup);
    } catch (const std::system_error&) {
        // No worker: the login stays the window's, and nothing is shown.
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        m_hWorkerLogin = 0;
        return false;
    }
    m_pCalibrationSignal = std::move(signal);
    return true;
}

TQ_HANDLE CKorvoDlg::StartPreview(CKorvoDlg* window, SdkShared& shared, const korvo::sdk::WorkerSignal& signal,
                                  const CalibrationSetup& setup) {
    // A preview left open by a device that was not ready still draws into
    // the frame: it ends before the new one starts.
    TQ_HANDLE old = 0;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        // A close that came first is obeyed before the preview start, which can
        // take a whole reply wait.
        if (shared.windowGone || signal.StopRequested()) return 0;
        old = window->m_hPreview;
        window->m_hPreview = 0;
        window->m_SdkContext.hWnd = window;
    }
    if (old != 0) TQ_NET_ClientStop(old);

    const TQ_NET_ClientInfo info = korvo::sdk::MakeClientInfo(setup.values);
    const TQ_HANDLE preview = TQ_NET_ClientStart(setup.login, &info, 0);
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.windowGone || signal.StopRequested()) {
        if (preview != 0) TQ_NET_ClientStop(preview);  // nobody else knows this one
        return 0;
    }
    window->m_hPreview = preview;
    // Under the lock, so that the window cannot end the preview in between;
    // the draw function never takes the lock, so this cannot wait on us.
    TQ_NET_ClientSetWnd(preview, window->GetDlgItem(IDC_STATIC_PREVIEW) ? &window->m_previewWindow : nullptr);
    return preview;
}

void CKorvoDlg::EndCalibrationHandles(CKorvoDlg* window, SdkShared& shared, TQ_HANDLE login, TQ_HANDLE preview) {
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        if (shared.windowGone) return;  // the window has ended them itself
        if (preview != 0) {
            TQ_NET_ClientSetWnd(preview, nullptr);  // no frame reaches the window after this
            if (window->m_hPreview == preview) window->m_hPreview = 0;
        }
        if (window->m_hLogin == login) {
            window->m_bLoginActive = 0;
            window->m_hLogin = 0;
        }
        window->m_hWorkerLogin = 0;
    }
    if (preview != 0) TQ_NET_ClientStop(preview);
    if (login != 0) TQ_NET_Logout(login);
}

void CKorvoDlg::CalibrationThread(CKorvoDlg* window, std::shared_ptr<SdkShared> shared,
                                  std::shared_ptr<korvo::sdk::WorkerSignal> signal, CalibrationSetup setup) {
    // Queues a change of the controls unless the window is closing.
    const auto post = [&](auto change) {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->windowGone && !signal->StopRequested()) Queue(window, std::move(change));
    };
    const TQ_NET_PtzCommand command = korvo::sdk::MakeCalibrationCommand();
    const TQ_HANDLE preview = StartPreview(window, *shared, *signal, setup);
    // A preview that failed to start is passed on: the device then shows as not ready.
    const int accepted = signal->StopRequested() ? 0 : TQ_NET_PTZCtrl(preview, &command);

    if (signal->StopRequested()) {
        EndCalibrationHandles(window, *shared, setup.login, preview);
    } else if (!accepted) {
        // Not ready: the preview keeps showing the picture and the login
        // stays open; both are the window's again.
        TQ_HANDLE unreachable = 0;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->windowGone) {
                window->m_hWorkerLogin = 0;
                // Set pressed while this worker started has put a newer login
                // in its place: no later login or close would end this one.
                if (window->m_hLogin != setup.login) unreachable = setup.login;
            }
        }
        if (unreachable != 0) TQ_NET_Logout(unreachable);
        post([window] {
            window->SetDlgItemText(IDC_STATIC_RESULT,
                                   QStringLiteral("The device is not ready if they can see the video please reboot "
                                                  "and try again. . ."));
            window->ShowDlgItem(IDC_STATIC_RESULT, true);
        });
    } else {
        post([window] {
            window->EnableDlgItem(IDC_BUTTON_SET, false);
            window->m_nCalibrationSeconds = 0;
            // The line now counts seconds; a countdown armed by the MAC or SN
            // outcome must not hide it, nor the completion text after it.
            window->m_resultTimer.stop();
            window->m_calibrationTimer.start(kCalibrationTimerPeriodMs, window);
            window->m_nTimerId = IDT_CALIBRATION;
        });
        const korvo::sdk::CalibrationEnd end = korvo::sdk::RunCalibrationLoop(
            *signal, setup.pacing, [&] { post([window] { window->ShowDlgItem(IDC_STATIC_RESULT, true); }); },
            [&] { return TQ_NET_PTZCtrl(preview, &command); });
        switch (end) {
        case korvo::sdk::CalibrationEnd::kCompleted:
            post([window] {
                window->EnableDlgItem(IDC_BUTTON_SET, true);
                window->m_calibrationTimer.stop();
                window->SetDlgItemText(IDC_STATIC_RESULT,
                                       QStringLiteral("Calibration is complete, manually restart the device"));
            });
            EndCalibrationHandles(window, *shared, setup.login, preview);
            post([window] { window->ShowDlgItem(IDC_STATIC_RESULT, true); });
            break;
        case korvo::sdk::CalibrationEnd::kCheckFailed:
            post([window] {
                window->m_calibrationTimer.stop();
                window->SetDlgItemText(IDC_STATIC_RESULT, QStringLiteral("Check fails"));
            });
            EndCalibrationHandles(window, *shared, setup.login, preview);
            post([window] {
                window->ShowDlgItem(IDC_STATIC_RESULT, true);
                window->StartResultTimer();
            });
            break;
        case korvo::sdk::CalibrationEnd::kStopped:
            EndCalibrationHandles(window, *shared, setup.login, preview);
            break;
        }
    }
    // Finished means: every change of the controls is queued, and the
    // worker touches nothing shared any more.
    signal->MarkFinished();
}

void CKorvoDlg::DrawPreviewFrame(void* context, const TQ_NET_VideoFrame* frame) {
    if (frame == nullptr || frame->pPixels == nullptr || frame->nWidth <= 0 || frame->nHeight <= 0) return;
    // The pixels live only for this call: copy them before the hand-over.
    const QImage image = QImage(frame->pPixels, frame->nWidth, frame->nHeight, frame->nStride, QImage::Format_RGB32)
                             .copy();
    auto* window = static_cast<CKorvoDlg*>(context);
    try {  // called from C: a frame lost to a lack of memory is only a skipped picture
        Queue(window, [window, image] { window->ShowPreviewFrame(image); });
    } catch (...) {
    }
}

void CKorvoDlg::ShowPreviewFrame(const QImage& image) {
    m_previewImage = image;
    if (QWidget* frame = GetDlgItem(IDC_STATIC_PREVIEW)) frame->update();
}

bool CKorvoDlg::eventFilter(QObject* watched, QEvent* e) {
    QWidget* frame = GetDlgItem(IDC_STATIC_PREVIEW);
    if (watched == frame && e->type() == QEvent::Paint && !m_previewImage.isNull()) {
        QPainter painter(frame);
        const QRect area = frame->rect().adjusted(1, 1, -1, -1);  // inside the black border
        painter.fillRect(area, Qt::black);
        const QImage scaled = m_previewImage.scaled(area.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(area.x() + (area.width() - scaled.width()) / 2,
                          area.y() + (area.height() - scaled.height()) / 2, scaled);
    }
    return TemplateDialog::eventFilter(watched, e);
}

void CKorvoDlg::EndSdkWork() {
    if (m_bSdkEnded) return;
    m_bSdkEnded = true;
    if (m_pCalibrationSignal) {
        m_pCalibrationSignal->RequestStop();
        // The worker obeys within its waits; a device call it is blocked in
        // may take longer, and the close does not wait for that.
        const bool finished = m_pCalibrationSignal->WaitFinished(std::chrono::milliseconds(2000));
        if (m_hCalibrationThread.joinable()) {
            if (finished) {
                m_hCalibrationThread.join();
            } else {
                m_hCalibrationThread.detach();
            }
        }
    }
    TQ_HANDLE preview = 0, login = 0, workerLogin = 0;
    {
        std::lock_guard<std::mutex> lock(m_pSdkShared->mutex);
        m_pSdkShared->windowGone = true;
        preview = m_hPreview;
        login = m_hLogin;
        workerLogin = m_hWorkerLogin;  // non-zero only when a worker was given up
        m_hPreview = 0;
        m_hLogin = 0;
        m_hWorkerLogin = 0;
        m_bLoginActive = 0;
    }
    if (preview != 0) TQ_NET_ClientStop(preview);
    if (login != 0) TQ_NET_Logout(login);
    if (workerLogin != 0 && workerLogin != login) TQ_NET_Logout(workerLogin);
}
