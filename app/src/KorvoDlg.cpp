#include "KorvoDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>

#include "AboutDlg.h"
#include "AppIcon.h"
#include "DlgLock.h"
#include "KorvoTemplates.h"
#include "OctetText.h"
#include "Resource.h"
#include "WindowText.h"
#include "dialogkit/Ipv4AddressEdit.h"
#include "dialogkit/KeyDownFilter.h"
#include "dialogkit/MessageBox.h"
#include "korvo/appcore/AccountSettings.h"
#include "korvo/appcore/SettingsPath.h"
#include "korvo/provision/WebCommands.h"
#include "web/BasicCredentials.h"
#include "web/HttpRequest.h"
#include "web/TextConversion.h"

namespace {

// The English texts that replace the template texts at every start.
struct ControlText {
    int id;
    const char16_t* text;
};
const ControlText kEnglishTexts[] = {
    {IDC_STATIC_IP, u"IP"},
    {IDC_STATIC_PORT, u"Port"},
    {IDC_STATIC_USER, u"User"},
    {IDC_STATIC_PASSWORD, u"Name"},
    {IDC_CHECK_SET_MAC, u"Set MAC"},
    {IDC_STATIC_BEGIN_MAC, u"Begin MAC address"},
    {IDC_STATIC_END_MAC, u"End MAC address"},
    {IDC_BUTTON_LOCK, u"Lock"},
    {IDC_CHECK_SET_SN, u"Set SN"},
    {IDC_STATIC_SN_HINT, u"Please find the relevant personnel to ask for the correct serial number is set"},
    {IDC_CHECK_LENS_CALIBRATION,
     u"Lens correction (Ambarella device-specific, this setting requires a few minutes to make corrections, "
     u"do not close the software after setup, wait correction success)"},
    {IDC_STATIC_DEVICE_TYPE, u"Device Type"},
    {IDC_STATIC_BRIEF, u"A biref description"},
    {IDC_STATIC_STEP1, u"1、First,enter the Mac address range"},
    {IDC_STATIC_STEP2,
     u"2、Lock Mac address range,after locking if required to unlock the need to enter the unlock paddword"},
    {IDC_STATIC_STEP3, u"3、Click the Settings button, MAC address is automatically written to the device"},
    {IDC_BUTTON_SET, u"Set up"},
};

constexpr int kTimerPeriodMs = 1000;
constexpr int kDeviceTypeCount = 3;  // "IPC", "DVR", "NVR"

// The settings file holds UTF-8.
std::string ToFileText(const QString& text) { return text.toStdString(); }
QString FromFileText(const std::string& text) { return QString::fromStdString(text); }

// Text that goes into a request: the thread's 8-bit character set.
std::string ToRequestText(const std::u16string& text) { return korvo::web::WideToAnsi(text); }

korvo::CommandStatusValues CommandValuesOf(const korvo::web::DeviceStatus& status) {
    korvo::CommandStatusValues values;
    values.netmask = ToRequestText(status.m_strNetmask);
    values.gateway = ToRequestText(status.m_strGateway);
    values.dns1 = ToRequestText(status.m_strDns1);
    values.dns2 = ToRequestText(status.m_strDns2);
    values.dhcpEnable = status.m_nDhcpEnable;
    values.rtspServerPort = status.m_nRtspServerPort;
    values.tcpPort = status.m_nTcpPort;
    values.httpPort = status.m_nHttpPort;
    values.multicast = ToRequestText(status.m_strMulticast);
    return values;
}
constexpr char16_t kOctetMessage[] = u"请输入一个 0 至 255 之间的整数。";

}  // namespace

CKorvoDlg::CKorvoDlg(QWidget* parent)
    : TemplateDialog(kKorvoDialogTemplate, parent),
      m_hIcon(LoadAppIcon()),
      m_strPort(QStringLiteral("80")),
      m_strUser(QStringLiteral("tulip")),
      m_strPassword(QStringLiteral("tulip")),
      m_dwDeviceIp(0xC0A80158u) {  // 192.168.1.88; the settings file replaces it at start
    m_SdkContext.hWnd = this;
    m_comboDeviceType = GetDlgItemAs<QComboBox>(IDC_COMBO_DEVICE_TYPE);

    // The result line is drawn in pure red.
    if (QWidget* result = GetDlgItem(IDC_STATIC_RESULT)) {
        QPalette palette = result->palette();
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        result->setPalette(palette);
    }

    connect(GetDlgItemAs<QPushButton>(IDC_BUTTON_SET), &QPushButton::clicked, this, &CKorvoDlg::OnSetCommand);
    connect(GetDlgItemAs<QPushButton>(IDC_BUTTON_LOCK), &QPushButton::clicked, this, &CKorvoDlg::OnLockButton);
    connect(m_comboDeviceType, &QComboBox::activated, this, &CKorvoDlg::OnDeviceTypeChange);

    // Neither Enter nor Escape may close the window, and Space must not press
    // Set by accident: operators type fast and the window writes into devices.
    auto* filter = new dlgkit::KeyDownFilter({Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}, this);
    filter->Install(this);

    // The live picture of a calibration: TQDevLink calls the draw function,
    // the frame paints the last picture (eventFilter).
    m_previewWindow.pfnDraw = &CKorvoDlg::DrawPreviewFrame;
    m_previewWindow.pContext = this;
    if (QWidget* preview = GetDlgItem(IDC_STATIC_PREVIEW)) preview->installEventFilter(this);
}

// A window destroyed without a close still ends its worker, preview and login.
CKorvoDlg::~CKorvoDlg() { EndSdkWork(); }

void CKorvoDlg::OnInitDialog() {
    ShowForm();

    const QString aboutText = QString::fromUtf16(kAboutBoxMenuText);
    if (!aboutText.isEmpty()) {
        m_pSystemMenu = new QMenu(this);
        m_pSystemMenu->setObjectName(QStringLiteral("IDM_ABOUTBOX"));
        m_pSystemMenu->addSeparator();
        QAction* about = m_pSystemMenu->addAction(aboutText);
        connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }

    setWindowIcon(m_hIcon);
    ShowDlgItem(IDC_STATIC_RESULT, false);
    LoadSettings();
    SetEnglishTexts();
    ShowForm();
}

void CKorvoDlg::SetEnglishTexts() {
    for (const ControlText& entry : kEnglishTexts) SetDlgItemText(entry.id, QString::fromUtf16(entry.text));
}

bool CKorvoDlg::ExchangeOctets(const int (&ids)[6], MacAddress& mac, bool bSaveAndValidate) {
    for (int i = 0; i < 6; ++i) {
        auto* edit = GetDlgItemAs<QLineEdit>(ids[i]);
        if (!bSaveAndValidate) {
            edit->setText(QString::number(mac.octets[i]));
            continue;
        }
        const auto octet = ParseOctetText(ToU16(edit->text()));
        if (!octet) {
            dlgkit::ShowMessageBox(this, QString::fromUtf16(kOctetMessage));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
        mac.octets[i] = *octet;
    }
    return true;
}

bool CKorvoDlg::DoDataExchange(bool bSaveAndValidate) {
    auto* port = GetDlgItemAs<QLineEdit>(IDC_EDIT_PORT);
    auto* user = GetDlgItemAs<QLineEdit>(IDC_EDIT_USER);
    auto* password = GetDlgItemAs<QLineEdit>(IDC_EDIT_PASSWORD);
    auto* address = GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS);
    auto* sn = GetDlgItemAs<QLineEdit>(IDC_EDIT_SN);
    auto* setMac = GetDlgItemAs<QCheckBox>(IDC_CHECK_SET_MAC);
    auto* setSn = GetDlgItemAs<QCheckBox>(IDC_CHECK_SET_SN);
    auto* macCount = GetDlgItemAs<QLineEdit>(IDC_EDIT_MAC_COUNT);
    auto* lens = GetDlgItemAs<QCheckBox>(IDC_CHECK_LENS_CALIBRATION);

    if (bSaveAndValidate) {
        m_strPort = port->text();
        m_strUser = user->text();
        m_strPassword = password->text();
        if (!ExchangeOctets(kBeginMacIds, m_macBegin, true)) return false;
        if (!ExchangeOctets(kEndMacIds, m_macEnd, true)) return false;
        m_dwDeviceIp = address->Address();
        m_strSn = sn->text();
        m_bSetMac = setMac->isChecked() ? 1 : 0;
        m_bSetSn = setSn->isChecked() ? 1 : 0;
        m_strMacCount = macCount->text();
        m_bLensCalibration = lens->isChecked() ? 1 : 0;
        return true;
    }
    port->setText(m_strPort);
    user->setText(m_strUser);
    password->setText(m_strPassword);
    ExchangeOctets(kBeginMacIds, m_macBegin, false);
    ExchangeOctets(kEndMacIds, m_macEnd, false);
    address->SetAddress(m_dwDeviceIp);
    sn->setText(m_strSn);
    setMac->setChecked(m_bSetMac != 0);
    setSn->setChecked(m_bSetSn != 0);
    macCount->setText(m_strMacCount);
    lens->setChecked(m_bLensCalibration != 0);
    return true;
}

void CKorvoDlg::StartResultTimer() {
    m_nResultCountdown = 5;
    m_resultTimer.start(kTimerPeriodMs, this);
    m_nTimerId = IDT_RESULT;
}

bool CKorvoDlg::IsTimerRunning(int nIDEvent) const {
    if (nIDEvent == IDT_RESULT) return m_resultTimer.isActive();
    if (nIDEvent == IDT_CALIBRATION) return m_calibrationTimer.isActive();
    return false;
}

void CKorvoDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_resultTimer.timerId()) {
        OnTimer(IDT_RESULT);
    } else if (event->timerId() == m_calibrationTimer.timerId()) {
        OnTimer(IDT_CALIBRATION);
    } else {
        TemplateDialog::timerEvent(event);
    }
}

void CKorvoDlg::OnTimer(int nIDEvent) {
    // Each tick is told apart by its own timer, so a running calibration
    // never counts down the result line, nor the result line calibration
    // seconds.
    if (nIDEvent == IDT_RESULT) {
        if (--m_nResultCountdown == 0) {
            ShowDlgItem(IDC_STATIC_RESULT, false);
            m_resultTimer.stop();
        }
    } else if (nIDEvent == IDT_CALIBRATION) {
        ++m_nCalibrationSeconds;
        SetDlgItemText(IDC_STATIC_RESULT, QStringLiteral("Correction is ...%1 seconds").arg(m_nCalibrationSeconds));
    }
}

void CKorvoDlg::OnSysCommand(unsigned nID) {
    if ((nID & 0xFFF0u) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
    }
}

void CKorvoDlg::contextMenuEvent(QContextMenuEvent* event) {
    if (m_pSystemMenu) m_pSystemMenu->exec(event->globalPos());
}

void CKorvoDlg::LoadSettings() {
    const korvo::AccountSettings settings = korvo::LoadAccountSettings(korvo::GetSettingsPath());
    m_macBegin = settings.macBegin;
    m_macEnd = settings.macEnd;
    const bool known = settings.deviceType >= 0 && settings.deviceType < kDeviceTypeCount;
    m_comboDeviceType->setCurrentIndex(known ? settings.deviceType : -1);
    m_strMacCount = FromFileText(settings.macCount);
    m_dwDeviceIp = settings.deviceIp;
    m_strPort = FromFileText(settings.port);
    m_strUser = FromFileText(settings.user);
    m_strPassword = FromFileText(settings.password);
    ApplyLockState(settings.lock);
}

void CKorvoDlg::SaveSettings() {
    korvo::StoreSettingsAtClose(korvo::GetSettingsPath(), m_dwDeviceIp, ToFileText(m_strPort), ToFileText(m_strUser),
                                ToFileText(m_strPassword), m_macEnd);
}

bool CKorvoDlg::SaveBeginMac(std::string* error) {
    return korvo::StoreBeginMac(korvo::GetSettingsPath(), m_macBegin, error);
}

void CKorvoDlg::TellBeginMacNotStored(const std::string& error) {
    // The device has the address, the file does not know: without this the
    // next start would write the same address into the next device.
    dlgkit::ShowMessageBox(
        this, QStringLiteral("The MAC address was written to the device, but the next begin MAC %1 could not be "
                             "saved in Account.ini (%2). After a restart the same address would be written again: "
                             "fix the file before you go on, or correct the begin MAC by hand.")
                  .arg(QString::fromStdString(korvo::MacToUpperHex(m_macBegin)), FromFileText(error)));
}

void CKorvoDlg::ApplyLockState(int value) {
    for (int id : kBeginMacIds) EnableDlgItem(id, value != 0);
    for (int id : kEndMacIds) EnableDlgItem(id, value != 0);
    korvo::StoreLockState(korvo::GetSettingsPath(), value);
}

void CKorvoDlg::OnLockButton() {
    CDlgLock lock(this);
    lock.m_pMainDlg = this;
    lock.DoModal();
}

void CKorvoDlg::OnSetCommand() {
    // A partly read form must not reach a device.
    if (!ReadForm()) return;
    ShowDlgItem(IDC_STATIC_RESULT, false);
    if (korvo::IsRangeExhausted(m_macBegin, m_macEnd)) {
        dlgkit::ShowMessageBox(this, QStringLiteral("MAC addresses has been completed, please update"));
        return;
    }
    switch (m_comboDeviceType->currentIndex()) {
    case 0:  // "IPC"
    case 1:  // "DVR"
        LoginDevice();
        return;
    case 2:  // "NVR"
        ProvisionOverWeb();
        return;
    default:  // no type selected
        return;
    }
}

void CKorvoDlg::ProvisionOverWeb() {
    if (!m_bSetMac && !m_bSetSn) return;  // nothing to send, nothing to show
    QString result;
    if (m_bSetMac) {
        if (!ReadDeviceStatus()) return;
        const std::string credentials = MakeCredentials();
        if (SendMacCommand(credentials)) {
            korvo::AdvanceMac(m_macBegin);
            std::string error;
            const bool stored = SaveBeginMac(&error);
            ShowForm();
            result = QStringLiteral("Setting Success");
            if (!stored) TellBeginMacNotStored(error);
        } else {
            result = QStringLiteral("Setting failure");
        }
        SendPortCommand(credentials);  // its answer is not looked at
    }
    if (m_bSetSn) {
        result = SendSnCommand(MakeCredentials()) ? QStringLiteral("Setting Success")
                                                  : QStringLiteral("Setting failure");
    }
    SetDlgItemText(IDC_STATIC_RESULT, result);
    ShowDlgItem(IDC_STATIC_RESULT, true);
    StartResultTimer();
}

std::string CKorvoDlg::MakeCredentials() const {
    return korvo::web::MakeBasicCredentials(ToU16(m_strUser), ToU16(m_strPassword));
}

int CKorvoDlg::ReadDeviceStatus() {
    if (!ReadForm()) return 0;
    korvo::web::CHttpRequest request(m_httpTimeouts);
    const std::string url = korvo::web::StatusPageUrl(m_dwDeviceIp, ToU16(m_strPort));
    std::string requestText, headerText, bodyText;
    const int sent = korvo::web::HttpGet(request, url, MakeCredentials(), requestText, headerText, bodyText);
    switch (korvo::web::JudgeStatusRead(sent, headerText)) {
    case korvo::web::StatusRead::kOk:
        ParseStatusPage(korvo::web::AnsiToWide(bodyText));
        return 1;
    case korvo::web::StatusRead::kUnauthorized:
        dlgkit::ShowMessageBox(this, QStringLiteral("Username and password do not match"));
        return 0;
    case korvo::web::StatusRead::kFailed:
        break;
    }
    return 0;
}

void CKorvoDlg::ParseStatusPage(std::u16string page) { m_status = korvo::web::ParseStatusPage(page); }

int CKorvoDlg::SendWebCommand(const std::string& url, const std::string& credentials) {
    korvo::web::CHttpRequest request(m_httpTimeouts);
    std::string requestText, headerText, bodyText;
    const int sent = korvo::web::HttpGet(request, url, credentials, requestText, headerText, bodyText);
    return korvo::IsCommandSuccessful(sent, headerText) ? 1 : 0;
}

int CKorvoDlg::SendMacCommand(const std::string& credentials) {
    return SendWebCommand(korvo::MacCommandUrl(m_dwDeviceIp, ToRequestText(m_strPort), ToRequestText(m_strUser),
                                               CommandValuesOf(m_status), m_macBegin),
                          credentials);
}

int CKorvoDlg::SendPortCommand(const std::string& credentials) {
    return SendWebCommand(korvo::PortCommandUrl(m_dwDeviceIp, ToRequestText(m_strPort), ToRequestText(m_strUser),
                                                CommandValuesOf(m_status)),
                          credentials);
}

int CKorvoDlg::SendSnCommand(const std::string& credentials) {
    return SendWebCommand(korvo::SnCommandUrl(m_dwDeviceIp, ToRequestText(m_strPort), ToRequestText(m_strSn)),
                          credentials);
}

void CKorvoDlg::OnDeviceTypeChange() {
    korvo::StoreDeviceType(korvo::GetSettingsPath(), m_comboDeviceType->currentIndex());
}

void CKorvoDlg::done(int result) {
    OnDestroy();
    TemplateDialog::done(result);
}

void CKorvoDlg::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    ReadForm();  // whatever it read is what is saved
    SaveSettings();
    // Every worker, preview and login this window started ends with it.
    EndSdkWork();
}
