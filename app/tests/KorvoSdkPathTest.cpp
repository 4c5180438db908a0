// The Set button on an "IPC" or "DVR", end to end: the real dialog, our
// TQDevLink and an emulated device on loopback, started and stopped here.
// Outcomes arrive on the window's thread after the asynchronous login, so
// every test waits for them in an event loop with a deadline.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "Device.h"
#include "EventRecorder.h"
#include "KorvoDlg.h"
#include "QtTestSupport.h"
#include "Resource.h"
#include "SettingsFile.h"
#include "dialogkit/Ipv4AddressEdit.h"
#include "korvo/appcore/Profile.h"
#include "korvo/appcore/SettingsPath.h"

namespace {

using korvotest::MessageRecorder;

const QString kSuccess = QStringLiteral("Setting Success");
const QString kFailure = QStringLiteral("Setting failure");
const QString kLoginFailed = QStringLiteral(u"登陆失败");
const QString kNotMechanical = QStringLiteral("Sorry, this device is not a mechanical device. . .");
const QString kNotReady =
    QStringLiteral("The device is not ready if they can see the video please reboot and try again. . .");
const QString kComplete = QStringLiteral("Calibration is complete, manually restart the device");
const QString kCheckFails = QStringLiteral("Check fails");

enum Box : unsigned { kNone = 0, kMac = 1, kSn = 2, kLens = 4 };
constexpr uint8_t kMechanicalModel = 0xB6;

class SdkPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.IsValid());
        TQ_NET_Startup();
        TQ_NET_SetWaitTime(1, 1, 3);
    }
    void TearDown() override {
        m_dlg.reset();
        if (m_device) m_device->Stop();
    }

    void StartDevice(std::map<std::string, std::string> behaviour = {}, uint8_t modelCode = 0) {
        if (m_device) m_device->Stop();
        devsim::DeviceConfig config;
        config.name = "ipc-under-test";
        config.type = "IPC";
        config.user = "admin";
        config.password = "secret";
        config.mac = "00:00:00:00:00:00";
        config.modelCode = modelCode;
        config.behaviour = std::move(behaviour);
        m_device = devsim::MakeSdkDevice(config, m_events.Sink());
        std::string error;
        ASSERT_TRUE(m_device->Start(&error)) << error;
    }

    // A fresh settings file (5 addresses left, range unlocked) and a window on it.
    void OpenWindow(int type, unsigned boxes, const QString& password = "secret") {
        std::remove(m_path.c_str());
        ASSERT_TRUE(korvo::WriteProfileText(m_path, "MAC", "LOCK", "1"));
        ASSERT_TRUE(korvo::WriteProfileText(m_path, "MAC", "MACNUM", "5"));
        m_dlg = std::make_unique<CKorvoDlg>();
        m_dlg->show();
        m_dlg->m_nCalibrationPeriodMs = 10;
        m_dlg->m_comboDeviceType->setCurrentIndex(type);
        m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->SetAddress(0x7F000001u);
        Edit(IDC_EDIT_PORT)->setText(QString::number(m_device->Port()));
        Edit(IDC_EDIT_USER)->setText("admin");
        Edit(IDC_EDIT_PASSWORD)->setText(password);
        Edit(IDC_EDIT_SN)->setText("SN-0001");
        Check(IDC_CHECK_SET_MAC)->setChecked(boxes & kMac);
        Check(IDC_CHECK_SET_SN)->setChecked(boxes & kSn);
        Check(IDC_CHECK_LENS_CALIBRATION)->setChecked(boxes & kLens);
        const int begin[6] = {0, 17, 34, 51, 68, 170}, end[6] = {0, 17, 34, 51, 69, 0};
        for (int i = 0; i < 6; ++i) Edit(kBeginMacIds[i])->setText(QString::number(begin[i]));
        for (int i = 0; i < 6; ++i) Edit(kEndMacIds[i])->setText(QString::number(end[i]));
    }
    void PressSet() { QTest::mouseClick(SetButton(), Qt::LeftButton); }

    QLineEdit* Edit(int id) const { return m_dlg->GetDlgItemAs<QLineEdit>(id); }
    QCheckBox* Check(int id) const { return m_dlg->GetDlgItemAs<QCheckBox>(id); }
    QPushButton* SetButton() const { return m_dlg->GetDlgItemAs<QPushButton>(IDC_BUTTON_SET); }
    bool ResultShown() const { return !m_dlg->GetDlgItem(IDC_STATIC_RESULT)->isHidden(); }
    QString ResultText() const { return m_dlg->GetDlgItemText(IDC_STATIC_RESULT); }
    std::string FileText(const char* key) const { return korvo::ReadProfileText(m_path, "MAC", key, "<missing>"); }

    bool WaitForResult(const QString& text, int ms = 10000) {
        return QTest::qWaitFor([&] { return ResultShown() && ResultText() == text; }, ms);
    }
    // Waits until the device has logged `count` requests starting with `prefix`.
    bool WaitForRequests(const std::string& prefix, int count = 1, int ms = 10000) {
        return QTest::qWaitFor([&] { return Count(prefix) >= count; }, ms);
    }
    int Count(const std::string& prefix) const {
        const auto log = m_device->RequestLog();
        return static_cast<int>(std::count_if(log.begin(), log.end(),
                                              [&](const std::string& e) { return e.rfind(prefix, 0) == 0; }));
    }
    // Index of the last request starting with `prefix`; -1 when none.
    int LastIndex(const std::string& prefix) const {
        const auto log = m_device->RequestLog();
        for (int i = static_cast<int>(log.size()) - 1; i >= 0; --i) {
            if (log[i].rfind(prefix, 0) == 0) return i;
        }
        return -1;
    }
    std::string Joined() const {
        std::string all;
        for (const auto& e : m_device->RequestLog()) all += e + " | ";
        return all;
    }

    QApplication& m_app = korvotest::App();
    korvotest::SettingsFile m_settings;
    const std::string& m_path = m_settings.Path();
    devsim::EventRecorder m_events;
    std::unique_ptr<devsim::Device> m_device;
    std::unique_ptr<CKorvoDlg> m_dlg;
};

TEST_F(SdkPathTest, OutcomesOfMacAndSnWrites) {
    struct Case {
        const char* name;
        int type;
        std::map<std::string, std::string> behaviour;
        QString password;
        unsigned boxes;
        QString result;
        std::string deviceMac, deviceSn;
        const char* beginOctet6;  // after the command, in the form and (when advanced) in the file
        const char* macCount;     // MACNUM in the file
    };
    const Case cases[] = {
        {"mac", 0, {}, "secret", kMac, kSuccess, "00:11:22:33:44:aa", "", "171", "4"},
        {"sn", 0, {}, "secret", kSn, kSuccess, "00:00:00:00:00:00", "SN-0001", "170", "5"},
        {"both", 0, {}, "secret", kMac | kSn, kSuccess, "00:11:22:33:44:aa", "SN-0001", "171", "4"},
        {"both on a DVR", 1, {}, "secret", kMac | kSn, kSuccess, "00:11:22:33:44:aa", "SN-0001", "171", "4"},
        // The SN outcome is what the line shows, though the MAC went in.
        {"both, sn refused", 0, {{"refuse_sn", "1"}}, "secret", kMac | kSn, kFailure, "00:11:22:33:44:aa", "", "171",
         "4"},
        {"both, mac refused", 0, {{"refuse_mac", "1"}}, "secret", kMac | kSn, kSuccess, "00:00:00:00:00:00",
         "SN-0001", "170", "5"},
        {"mac refused", 0, {{"refuse_mac", "1"}}, "secret", kMac, kFailure, "00:00:00:00:00:00", "", "170", "5"},
        {"login refused", 0, {{"refuse_login", "1"}}, "secret", kMac | kSn, kLoginFailed, "00:00:00:00:00:00", "",
         "170", "5"},
        {"wrong password", 1, {}, "wrong", kMac, kLoginFailed, "00:00:00:00:00:00", "", "170", "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartDevice(c.behaviour);
        OpenWindow(c.type, c.boxes, c.password);
        MessageRecorder messages;
        PressSet();
        ASSERT_TRUE(WaitForResult(c.result)) << ResultText().toStdString() << " / " << Joined();

        const devsim::DeviceConfig state = m_device->State();
        EXPECT_EQ(state.mac, c.deviceMac);
        EXPECT_EQ(state.sn, c.deviceSn);
        EXPECT_EQ(Edit(IDC_EDIT_BEGIN_MAC6)->text(), c.beginOctet6);
        EXPECT_EQ(FileText("MACNUM"), c.macCount);
        EXPECT_EQ(m_dlg->m_strMacCount, QString::fromLatin1(c.macCount));
        EXPECT_EQ(FileText("MAC6"), std::string(c.beginOctet6) == "171" ? "171" : "<missing>");
        EXPECT_EQ(Count(c.type == 1 ? "LOGIN user=admin kind=DVR" : "LOGIN user=admin kind=IPC"), 1);
        EXPECT_TRUE(messages.Texts().isEmpty());
        // Every outcome ends the login and counts the line down.
        EXPECT_EQ(m_dlg->m_hLogin, 0u);
        EXPECT_EQ(m_dlg->m_bLoginActive, 0);
        EXPECT_TRUE(m_dlg->IsTimerRunning(IDT_RESULT));
        if (c.result != kLoginFailed) {
            EXPECT_TRUE(WaitForRequests("LOGOUT")) << Joined();
            // Records are read first, and a MAC is written before an SN.
            EXPECT_EQ(LastIndex("GET_P2P"), 1) << Joined();
            EXPECT_EQ(LastIndex("GET_NETPARAM"), 2) << Joined();
            if (c.boxes == (kMac | kSn)) {
                EXPECT_LT(LastIndex("SET_NETPARAM"), LastIndex("SET_P2P"));
            }
        } else {
            EXPECT_EQ(Count("GET_"), 0);
        }
        m_dlg.reset();
    }
}

TEST_F(SdkPathTest, NoBoxTickedReadsTheRecordsWritesNothingAndKeepsTheLoginUntilTheNextSet) {
    StartDevice();
    OpenWindow(0, kNone);
    PressSet();
    ASSERT_TRUE(WaitForRequests("GET_NETPARAM"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_dlg->m_hLogin != 0 && m_dlg->m_bLoginActive == 1; }, 5000));
    const TQ_HANDLE first = m_dlg->m_hLogin;
    EXPECT_EQ(Count("GET_P2P"), 1);
    EXPECT_EQ(Count("SET_"), 0);
    EXPECT_EQ(Count("LOGOUT"), 0);
    EXPECT_FALSE(ResultShown());
    EXPECT_FALSE(m_dlg->IsTimerRunning(IDT_RESULT));

    // The next press logs the open login out before it logs in again.
    Check(IDC_CHECK_SET_SN)->setChecked(true);
    PressSet();
    ASSERT_TRUE(WaitForResult(kSuccess)) << Joined();
    EXPECT_NE(LastIndex("LOGOUT"), -1);
    const auto log = m_device->RequestLog();
    EXPECT_EQ(log[3].rfind("LOGOUT", 0), 0u) << Joined();
    EXPECT_EQ(log[4].rfind("LOGIN", 0), 0u) << Joined();
    EXPECT_EQ(TQ_NET_Logout(first), 0);  // the first handle is no longer open
    EXPECT_EQ(m_dlg->m_hLogin, 0u);
}

TEST_F(SdkPathTest, OperatorIsToldWhenTheNewBeginAndCountCannotBeStored) {
    StartDevice();
    OpenWindow(0, kMac);
    korvo::SetSettingsPathOverride(m_settings.Folder().toStdString() + "/gone/Account.ini");
    MessageRecorder messages;
    PressSet();
    ASSERT_TRUE(WaitForResult(kSuccess));
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:aa");
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_TRUE(messages.Texts()[0].contains("could not be saved")) << messages.Texts()[0].toStdString();
    EXPECT_EQ(Edit(IDC_EDIT_BEGIN_MAC6)->text(), "171");
    EXPECT_EQ(m_dlg->m_strMacCount, "4");
}

TEST_F(SdkPathTest, CalibrationOutcomes) {
    struct Case {
        const char* name;
        std::string calibration;
        uint8_t model;
        unsigned boxes;
        QString result;
        int commands;          // calibration commands the device received
        bool setEnabled;       // afterwards
        bool resultTimer;      // timer 1 counts the line down
        bool previewAndLogin;  // still open afterwards
    };
    const Case cases[] = {
        {"completed on the second command", "accept", kMechanicalModel, kLens, kComplete, 2, true, false, false},
        // The countdown armed by the MAC and SN outcome stops when the seconds
        // start, so the completion text stays.
        {"completed with mac and sn", "after:3", kMechanicalModel, kLens | kMac | kSn, kComplete, 4, true, false,
         false},
        {"never accepted again", "never", kMechanicalModel, kLens, kCheckFails, 5, false, true, false},
        {"first command refused", "refuse_first", kMechanicalModel, kLens, kNotReady, 1, true, false, true},
        {"not a mechanical model", "accept", 0x12, kLens, kNotMechanical, 0, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartDevice({{"calibration", c.calibration}}, c.model);
        OpenWindow(0, c.boxes);
        m_dlg->m_nCalibrationLimit = 5;
        PressSet();
        ASSERT_TRUE(WaitForResult(c.result)) << ResultText().toStdString() << " / " << Joined();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dlg->IsCalibrationRunning(); }, 5000));
        QCoreApplication::processEvents();  // whatever the worker queued last

        EXPECT_EQ(ResultText(), c.result);
        EXPECT_EQ(Count("PTZ 0x0021"), c.commands) << Joined();
        EXPECT_EQ(SetButton()->isEnabled(), c.setEnabled);
        EXPECT_FALSE(m_dlg->IsTimerRunning(IDT_CALIBRATION));
        EXPECT_EQ(m_dlg->IsTimerRunning(IDT_RESULT), c.resultTimer);
        if (c.boxes & kMac) {
            EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:aa");
        }
        if (c.model != kMechanicalModel) {
            // The login stays open for the next press; nothing was streamed.
            EXPECT_NE(m_dlg->m_hLogin, 0u);
            EXPECT_EQ(Count("STREAM_START"), 0);
        } else if (c.previewAndLogin) {
            // The picture keeps coming in; the timer of the seconds never ran.
            EXPECT_NE(m_dlg->m_hPreview, 0u);
            EXPECT_NE(m_dlg->m_hLogin, 0u);
            EXPECT_NE(m_dlg->m_nTimerId, IDT_CALIBRATION);
            EXPECT_TRUE(QTest::qWaitFor([&] { return !m_dlg->PreviewImage().isNull(); }, 5000));
        } else {
            EXPECT_EQ(m_dlg->m_hPreview, 0u);
            EXPECT_EQ(m_dlg->m_hLogin, 0u);
            EXPECT_EQ(m_dlg->m_bLoginActive, 0);
            EXPECT_TRUE(WaitForRequests("LOGOUT")) << Joined();
            EXPECT_LT(LastIndex("PTZ"), LastIndex("LOGOUT")) << Joined();
        }
        m_dlg.reset();
    }
}

TEST_F(SdkPathTest, NotReadyPreviewIsReplacedByTheNextCalibration) {
    StartDevice({{"calibration", "refuse_first"}}, kMechanicalModel);
    OpenWindow(0, kLens);
    PressSet();
    ASSERT_TRUE(WaitForResult(kNotReady));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dlg->IsCalibrationRunning(); }, 5000));
    const TQ_HANDLE oldPreview = m_dlg->m_hPreview;
    ASSERT_NE(oldPreview, 0u);

    PressSet();  // the first command on each new preview is refused again
    ASSERT_TRUE(WaitForRequests("PTZ", 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dlg->IsCalibrationRunning(); }, 5000));
    EXPECT_EQ(Count("LOGIN"), 4) << Joined();  // two logins, each with its preview
    EXPECT_NE(m_dlg->m_hPreview, oldPreview);
    EXPECT_EQ(TQ_NET_ClientStop(oldPreview), 0);  // ended before the new one started
}

TEST_F(SdkPathTest, LoginLeftBehindByASetDuringTheWorkersStartIsEndedWhenTheDeviceIsNotReady) {
    // Slow answers keep the worker in its preview start long enough for a second Set.
    StartDevice({{"calibration", "refuse_first"}, {"slow_ms", "300"}}, kMechanicalModel);
    OpenWindow(0, kLens);
    PressSet();
    ASSERT_TRUE(WaitForRequests("STREAM_START")) << Joined();
    PressSet();  // a new login takes the place of the worker's
    ASSERT_TRUE(WaitForResult(kNotReady)) << Joined();
    // The second login stays open (only calibration is ticked); the first,
    // which nothing refers to any more, is ended.
    EXPECT_TRUE(WaitForRequests("LOGOUT")) << Joined();
}

TEST_F(SdkPathTest, EachCalibrationCountsItsSecondsFromOneWithSetDisabled) {
    // Accepted again on the third repeat, about 1.8 s in: one tick of the
    // seconds shows before the end.
    StartDevice({{"calibration", "after:3"}}, kMechanicalModel);
    OpenWindow(0, kLens);
    m_dlg->m_nCalibrationPeriodMs = 600;
    const QString firstSecond = QStringLiteral("Correction is ...1 seconds");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        PressSet();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ResultText().startsWith("Correction is"); }, 5000));
        EXPECT_EQ(ResultText(), firstSecond);
        EXPECT_FALSE(SetButton()->isEnabled());
        EXPECT_TRUE(m_dlg->IsTimerRunning(IDT_CALIBRATION));
        if (run == 1) {
            // A picture of the window during a calibration, live preview included.
            ASSERT_TRUE(QTest::qWaitFor([&] { return !m_dlg->PreviewImage().isNull(); }, 5000));
            const QImage shot = m_dlg->grab().toImage();
            ASSERT_TRUE(shot.save(QStringLiteral(KORVO_TEST_OUTPUT_DIR) + "/korvo-calibration.png"));
            // The middle of the preview frame shows the picture, not the dialog's grey.
            const QRect frame = m_dlg->GetDlgItem(IDC_STATIC_PREVIEW)->geometry();
            EXPECT_NE(shot.pixelColor(frame.center()), m_dlg->palette().color(QPalette::Window));
        }
        ASSERT_TRUE(WaitForResult(kComplete, 10000)) << ResultText().toStdString() << " / " << Joined();
        EXPECT_TRUE(SetButton()->isEnabled());
    }
}

TEST_F(SdkPathTest, ClosingDuringACalibrationStopsTheWorkerAndEndsItsHandlesQuickly) {
    StartDevice({{"calibration", "never"}}, kMechanicalModel);
    OpenWindow(0, kLens);
    m_dlg->m_nCalibrationPeriodMs = 1000;  // the worker sits in a full-length wait
    PressSet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SetButton()->isEnabled(); }, 5000));
    ASSERT_TRUE(m_dlg->IsCalibrationRunning());

    QElapsedTimer clock;
    clock.start();
    m_dlg->reject();  // as the close button does
    const qint64 closeMs = clock.elapsed();
    EXPECT_LT(closeMs, 2500);
    EXPECT_FALSE(m_dlg->IsCalibrationRunning());  // it ended, it was not given up
    EXPECT_EQ(m_dlg->m_hPreview, 0u);
    EXPECT_EQ(m_dlg->m_hLogin, 0u);
    const int commands = Count("PTZ");
    EXPECT_TRUE(WaitForRequests("LOGOUT")) << Joined();
    EXPECT_LT(LastIndex("PTZ"), LastIndex("LOGOUT")) << Joined();
    // Nothing the worker queued reaches the window after the close.
    const QString text = ResultText();
    QCoreApplication::processEvents();
    EXPECT_EQ(ResultText(), text);
    EXPECT_EQ(Count("PTZ"), commands);
    m_dlg.reset();  // the destructor finds nothing more to end
}

}  // namespace

namespace {

TEST_F(SdkPathTest, WorkerStuckInADeviceCallIsGivenUpAfterTwoSecondsAndTouchesNothingAfterwards) {
    // Every answer takes 2.1 s: the worker is inside its second calibration
    // command when the window closes, longer than the close waits for it.
    StartDevice({{"slow_ms", "2100"}, {"calibration", "never"}}, kMechanicalModel);
    OpenWindow(0, kLens);
    m_dlg->m_nCalibrationPeriodMs = 0;  // after the first command the worker is always inside the next one
    PressSet();
    // Set goes grey once the first command was accepted.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SetButton()->isEnabled(); }, 30000)) << Joined();
    ASSERT_TRUE(m_dlg->IsCalibrationRunning());

    QElapsedTimer clock;
    clock.start();
    m_dlg->reject();
    const qint64 waitedMs = clock.elapsed();
    EXPECT_EQ(m_dlg->m_hPreview, 0u);
    EXPECT_EQ(m_dlg->m_hLogin, 0u);
    m_dlg.reset();  // the worker, still in its call, must not reach the window from here on
    // The given-up worker wakes when its command is cut off or answered;
    // the device sees no command after that one.
    EXPECT_TRUE(m_events.WaitFor("LOGOUT", 1, std::chrono::seconds(10))) << Joined();
    EXPECT_LE(Count("PTZ"), 2) << Joined();
    EXPECT_GE(waitedMs, 1900) << Joined();  // it did wait for the worker first
    EXPECT_LT(waitedMs, 3000);  // and no longer: cutting the preview and the login off is quick
}

}  // namespace
