// The Set button on an "NVR", end to end: the real dialog, the real HTTP
// client and an emulated recorder on loopback, started here and stopped here.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "KorvoDlg.h"
#include "NvrDevice.h"
#include "QtTestSupport.h"
#include "SettingsFile.h"
#include "Resource.h"
#include "dialogkit/Ipv4AddressEdit.h"
#include "korvo/appcore/Profile.h"
#include "korvo/appcore/SettingsPath.h"

namespace {

using korvotest::MessageRecorder;

const QString kSuccess = QStringLiteral("Setting Success");
const QString kFailure = QStringLiteral("Setting failure");
const QString kExhausted = QStringLiteral("MAC addresses has been completed, please update");
const QString kBadLogin = QStringLiteral("Username and password do not match");

enum Box : unsigned { kNone = 0, kMac = 1, kSn = 2, kLens = 4 };

class WebPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.IsValid());
        ASSERT_TRUE(korvo::WriteProfileText(m_path, "MAC", "LOCK", "1"));
        ASSERT_TRUE(korvo::WriteProfileText(m_path, "MAC", "MACNUM", "5"));
    }
    void TearDown() override {
        m_dlg.reset();
        if (m_device) m_device->Stop();
    }

    void StartDevice(std::map<std::string, std::string> behaviour = {}) {
        devsim::DeviceConfig config;
        config.name = "nvr-under-test";
        config.type = "NVR";
        config.user = "admin";
        config.password = "secret";
        config.mac = "00:00:00:00:00:00";
        config.behaviour = std::move(behaviour);
        m_device = std::make_unique<devsim::NvrDevice>(config, [](const std::string&, const std::string&) {});
        std::string error;
        ASSERT_TRUE(m_device->Start(&error)) << error;
    }

    // Starts the window and fills the form for the device.
    void OpenWindow(int type, unsigned boxes, const QString& password = "secret") {
        m_dlg = std::make_unique<CKorvoDlg>();
        m_dlg->show();
        QApplication::setActiveWindow(m_dlg.get());
        // Short waits: a failing case must not hold the suite for 15 s.
        m_dlg->SetHttpTimeouts({1000, 3000});
        m_dlg->m_comboDeviceType->setCurrentIndex(type);
        m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->SetAddress(0x7F000001u);
        Edit(IDC_EDIT_PORT)->setText(m_device ? QString::number(m_device->Port()) : "1");
        Edit(IDC_EDIT_USER)->setText("admin");
        Edit(IDC_EDIT_PASSWORD)->setText(password);
        Edit(IDC_EDIT_SN)->setText("SN-0001");
        Check(IDC_CHECK_SET_MAC)->setChecked(boxes & kMac);
        Check(IDC_CHECK_SET_SN)->setChecked(boxes & kSn);
        Check(IDC_CHECK_LENS_CALIBRATION)->setChecked(boxes & kLens);
        SetRange({0, 17, 34, 51, 68, 85}, {0, 17, 34, 51, 69, 0});
    }
    void SetRange(const MacAddress& begin, const MacAddress& end) {
        for (int i = 0; i < 6; ++i) Edit(kBeginMacIds[i])->setText(QString::number(begin.octets[i]));
        for (int i = 0; i < 6; ++i) Edit(kEndMacIds[i])->setText(QString::number(end.octets[i]));
    }
    void PressSet() { QTest::mouseClick(m_dlg->GetDlgItemAs<QPushButton>(IDC_BUTTON_SET), Qt::LeftButton); }

    QLineEdit* Edit(int id) const { return m_dlg->GetDlgItemAs<QLineEdit>(id); }
    QCheckBox* Check(int id) const { return m_dlg->GetDlgItemAs<QCheckBox>(id); }
    bool ResultShown() const { return !m_dlg->GetDlgItem(IDC_STATIC_RESULT)->isHidden(); }
    QString ResultText() const { return m_dlg->GetDlgItemText(IDC_STATIC_RESULT); }
    std::string FileText(const char* key) const { return korvo::ReadProfileText(m_path, "MAC", key, "<missing>"); }
    QStringList BeginRow() const {
        QStringList row;
        for (int id : kBeginMacIds) row << Edit(id)->text();
        return row;
    }

    // The request targets the device saw, in order ("/ini.htm", "/vb.htm?...").
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        if (!m_device) return targets;
        for (const std::string& request : m_device->RequestLog()) {
            const size_t start = request.find(' ') + 1;
            targets.push_back(request.substr(start, request.find(' ', start) - start));
        }
        return targets;
    }
    static bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

    QApplication& m_app = korvotest::App();
    korvotest::SettingsFile m_settings;
    const std::string& m_path = m_settings.Path();
    std::unique_ptr<devsim::NvrDevice> m_device;
    std::unique_ptr<CKorvoDlg> m_dlg;
};

TEST_F(WebPathTest, SetMacWritesTheNextAddressAdvancesAndStoresTheRange) {
    StartDevice();
    OpenWindow(2, kMac);
    MessageRecorder messages;
    PressSet();

    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join("|").toStdString();
    const auto targets = Targets();
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_EQ(targets[0], "/ini.htm");
    EXPECT_EQ(targets[1],
              "/vb.htm?setuser=admin&netip=127.0.0.1&netmask=255.255.255.0&gateway=192.168.1.1&dns1=8.8.8.8"
              "&dns2=0.0.0.0&mac=00:11:22:33:44:55&dhcpenable=0");
    EXPECT_TRUE(StartsWith(targets[2], "/vb.htm?setuser=admin&rtspserverport=554&tcpport=8000&httpport="));
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:55");
    EXPECT_EQ(m_device->State().ip, "127.0.0.1");

    EXPECT_EQ(BeginRow(), (QStringList{"0", "17", "34", "51", "68", "86"}));
    EXPECT_EQ(FileText("MAC6"), "86");
    EXPECT_EQ(FileText("MAC5"), "68");
    EXPECT_EQ(m_dlg->m_strMacCount, "5");  // the web path leaves the count alone
    EXPECT_EQ(FileText("MACNUM"), "5");
    EXPECT_TRUE(ResultShown());
    EXPECT_EQ(ResultText(), kSuccess);

    for (int tick = 1; tick <= 4; ++tick) m_dlg->OnTimer(IDT_RESULT);
    EXPECT_TRUE(ResultShown());
    m_dlg->OnTimer(IDT_RESULT);
    EXPECT_FALSE(ResultShown());
}

TEST_F(WebPathTest, CarryAcrossOctetsAndTheLastAddressBeforeTheEnd) {
    StartDevice();
    OpenWindow(2, kMac);
    SetRange({0, 17, 34, 51, 68, 255}, {0, 17, 34, 51, 69, 1});
    PressSet();
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:FF");
    EXPECT_EQ(BeginRow(), (QStringList{"0", "17", "34", "51", "69", "0"}));
    EXPECT_EQ(FileText("MAC5"), "69");
    EXPECT_EQ(FileText("MAC6"), "0");

    PressSet();  // 00:11:22:33:45:00, the last one before the end
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:45:00");
    MessageRecorder messages;
    const size_t sent = Targets().size();
    PressSet();  // the end itself is never handed out
    EXPECT_EQ(messages.Texts(), QStringList{kExhausted});
    EXPECT_EQ(Targets().size(), sent);
    EXPECT_EQ(FileText("MAC6"), "1");
}

TEST_F(WebPathTest, WrongPasswordShowsTheMessageAndSendsNoCommand) {
    StartDevice();
    OpenWindow(2, kMac | kSn, "wrong");
    MessageRecorder messages;
    PressSet();
    EXPECT_EQ(messages.Texts(), QStringList{kBadLogin});
    EXPECT_EQ(Targets(), std::vector<std::string>{"/ini.htm"});
    EXPECT_FALSE(ResultShown());
    EXPECT_FALSE(m_dlg->IsTimerRunning(IDT_RESULT));
    EXPECT_EQ(FileText("MAC6"), "<missing>");
    EXPECT_EQ(BeginRow()[5], "85");
}

TEST_F(WebPathTest, MacRefusedThenSnAcceptedEndsWithSuccessAndKeepsTheRange) {
    StartDevice({{"refuse_mac", "1"}});
    OpenWindow(2, kMac | kSn);
    PressSet();
    const auto targets = Targets();
    ASSERT_EQ(targets.size(), 4u);
    EXPECT_EQ(targets[0], "/ini.htm");
    EXPECT_TRUE(StartsWith(targets[1], "/vb.htm?setuser=admin&netip="));
    EXPECT_TRUE(StartsWith(targets[2], "/vb.htm?setuser=admin&rtspserverport="));  // sent whatever the MAC outcome
    EXPECT_EQ(targets[3], "/vb.htm?setlongsesn=SN-0001");
    EXPECT_EQ(m_device->State().sn, "SN-0001");
    EXPECT_EQ(m_device->State().mac, "00:00:00:00:00:00");
    EXPECT_EQ(ResultText(), kSuccess);
    EXPECT_TRUE(ResultShown());
    EXPECT_EQ(BeginRow()[5], "85");
    EXPECT_EQ(FileText("MAC6"), "<missing>");
}

TEST_F(WebPathTest, OutcomesOfOneCommandOrTheOther) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> behaviour;
        unsigned boxes;
        std::vector<std::string> targetStarts;
        QString result;  // empty: the line stays hidden
    };
    const Case cases[] = {
        {"sn only", {}, kSn, {"/vb.htm?setlongsesn=SN-0001"}, kSuccess},
        {"sn refused", {{"refuse_sn", "1"}}, kSn, {"/vb.htm?setlongsesn="}, kFailure},
        {"mac refused", {{"refuse_mac", "1"}}, kMac, {"/ini.htm", "/vb.htm?setuser=", "/vb.htm?setuser="}, kFailure},
        {"mac ok, sn refused", {{"refuse_sn", "1"}}, kMac | kSn,
         {"/ini.htm", "/vb.htm?setuser=", "/vb.htm?setuser=", "/vb.htm?setlongsesn="}, kFailure},
        {"lens only", {}, kLens, {}, QString()},
        {"nothing ticked", {}, kNone, {}, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartDevice(c.behaviour);
        OpenWindow(2, c.boxes);
        MessageRecorder messages;
        PressSet();
        EXPECT_TRUE(messages.Texts().isEmpty());
        const auto targets = Targets();
        ASSERT_EQ(targets.size(), c.targetStarts.size());
        for (size_t i = 0; i < targets.size(); ++i) {
            EXPECT_TRUE(StartsWith(targets[i], c.targetStarts[i].c_str())) << targets[i];
        }
        EXPECT_EQ(ResultShown(), !c.result.isEmpty());
        if (!c.result.isEmpty()) {
            EXPECT_EQ(ResultText(), c.result);
        }
        EXPECT_EQ(m_dlg->IsTimerRunning(IDT_RESULT), !c.result.isEmpty());
        m_dlg.reset();
        m_device->Stop();
    }
}

TEST_F(WebPathTest, ExhaustedRangeIsRefusedBeforeAnythingIsSentForEveryType) {
    StartDevice();
    struct Case {
        int type;
        unsigned boxes;
    };
    const Case cases[] = {{0, kMac}, {1, kSn}, {2, kMac | kSn}, {2, kSn}, {2, kLens}, {-1, kMac}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        OpenWindow(c.type, c.boxes);
        SetRange({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6});
        MessageRecorder messages;
        PressSet();
        EXPECT_EQ(messages.Texts(), QStringList{kExhausted});
        EXPECT_FALSE(ResultShown());
        EXPECT_FALSE(m_dlg->IsTimerRunning(IDT_RESULT));
    }
    EXPECT_TRUE(Targets().empty());
    EXPECT_EQ(FileText("MAC1"), "<missing>");
}

TEST_F(WebPathTest, NothingIsSentAfterABadOctetOrWithoutAType) {
    StartDevice();
    struct Case {
        const char* name;
        int type;
        const char* endOctet6;
        QStringList messages;
    };
    const QString octetMessage = QStringLiteral(u"请输入一个 0 至 255 之间的整数。");
    const Case cases[] = {
        {"bad octet", 2, "300", {octetMessage}},
        {"no type", -1, "0", {}},  // "IPC" and "DVR" log in over the SDK: KorvoSdkPathTest
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenWindow(c.type, kMac | kSn);
        Edit(IDC_EDIT_END_MAC6)->setText(c.endOctet6);
        MessageRecorder messages;
        PressSet();
        EXPECT_EQ(messages.Texts(), c.messages);
        EXPECT_FALSE(ResultShown());
    }
    EXPECT_TRUE(Targets().empty());
}

TEST_F(WebPathTest, UnreachableDeviceShowsNothing) {
    StartDevice();
    const uint16_t port = m_device->Port();
    m_device->Stop();  // nothing listens there now
    OpenWindow(2, kMac);
    Edit(IDC_EDIT_PORT)->setText(QString::number(port));
    MessageRecorder messages;
    PressSet();
    EXPECT_TRUE(messages.Texts().isEmpty());
    EXPECT_FALSE(ResultShown());
    EXPECT_EQ(BeginRow()[5], "85");
}

TEST_F(WebPathTest, OperatorIsToldWhenTheNewBeginCannotBeStored) {
    StartDevice();
    OpenWindow(2, kMac);
    // The file's folder is gone: the write into the device succeeds, the store fails.
    korvo::SetSettingsPathOverride(m_settings.Folder().toStdString() + "/gone/Account.ini");
    MessageRecorder messages;
    PressSet();
    EXPECT_EQ(m_device->State().mac, "00:11:22:33:44:55");
    ASSERT_EQ(messages.Texts().size(), 1);
    EXPECT_TRUE(messages.Texts()[0].contains("could not be saved")) << messages.Texts()[0].toStdString();
    EXPECT_TRUE(messages.Texts()[0].contains("00:11:22:33:44:56"));
    EXPECT_EQ(ResultText(), kSuccess);  // the device did take the address
    EXPECT_EQ(BeginRow()[5], "86");
}

}  // namespace
