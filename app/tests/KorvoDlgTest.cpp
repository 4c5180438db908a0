#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "AboutDlg.h"
#include "DlgLock.h"
#include "KorvoApp.h"
#include "KorvoDlg.h"
#include "OctetText.h"
#include "QtTestSupport.h"
#include "SettingsFile.h"
#include "Resource.h"
#include "dialogkit/Ipv4AddressEdit.h"
#include "korvo/appcore/Profile.h"
#include "korvo/appcore/SettingsPath.h"

namespace {

using korvotest::MessageRecorder;
using korvotest::OnNextModal;

const QString kOctetMessage = QStringLiteral(u"请输入一个 0 至 255 之间的整数。");

TEST(OctetTextTest, AcceptsOnlyDecimalsFrom0To255) {
    struct Case {
        const char16_t* text;
        int expect;  // -1: refused
    };
    const Case cases[] = {
        {u"0", 0},   {u"255", 255}, {u" 17 ", 17}, {u"+8", 8},   {u"007", 7},
        {u"256", -1}, {u"", -1},    {u"  ", -1},   {u"-1", -1},  {u"1x", -1},
        {u"abc", -1}, {u"1 2", -1}, {u"99999999999", -1}, {u"0x10", -1}, {u"１", -1},
    };
    for (const Case& c : cases) {
        const auto octet = ParseOctetText(c.text);
        if (c.expect < 0) {
            EXPECT_FALSE(octet.has_value()) << QString::fromUtf16(c.text).toStdString();
        } else {
            ASSERT_TRUE(octet.has_value()) << QString::fromUtf16(c.text).toStdString();
            EXPECT_EQ(*octet, c.expect);
        }
    }
}

// Every case has a settings file of its own in a fresh folder.
class KorvoDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.IsValid());
        Restart();
    }
    void TearDown() override { m_dlg.reset(); }
    // A new start of the window on the same settings file.
    void Restart() {
        m_dlg.reset();
        m_dlg = std::make_unique<CKorvoDlg>();
        m_dlg->show();
        QApplication::setActiveWindow(m_dlg.get());
    }
    std::string FileText(const char* section, const char* key) const {
        return korvo::ReadProfileText(m_path, section, key, "<missing>");
    }
    void WriteFile(const char* section, const char* key, const std::string& value) const {
        ASSERT_TRUE(korvo::WriteProfileText(m_path, section, key, value));
    }
    int EnabledOctetEdits() const {
        int enabled = 0;
        for (int id : kBeginMacIds) enabled += Edit(id)->isEnabled();
        for (int id : kEndMacIds) enabled += Edit(id)->isEnabled();
        return enabled;
    }
    QStringList Row(const int (&ids)[6]) const {
        QStringList row;
        for (int id : ids) row << Edit(id)->text();
        return row;
    }

    QLineEdit* Edit(int id) const { return m_dlg->GetDlgItemAs<QLineEdit>(id); }
    QCheckBox* Check(int id) const { return m_dlg->GetDlgItemAs<QCheckBox>(id); }
    QPushButton* Button(int id) const { return m_dlg->GetDlgItemAs<QPushButton>(id); }
    bool ResultShown() const { return !m_dlg->GetDlgItem(IDC_STATIC_RESULT)->isHidden(); }

    QApplication& m_app = korvotest::App();
    korvotest::SettingsFile m_settings;
    const std::string& m_path = m_settings.Path();
    std::unique_ptr<CKorvoDlg> m_dlg;
};

TEST_F(KorvoDlgTest, StartSetsTheEnglishTextsAndKeepsTheOthers) {
    struct Case {
        const char* name;
        const char16_t* text;
    };
    const Case cases[] = {
        {"IDC_STATIC_IP", u"IP"},
        {"IDC_STATIC_PORT", u"Port"},
        {"IDC_STATIC_USER", u"User"},
        {"IDC_STATIC_PASSWORD", u"Name"},
        {"IDC_CHECK_SET_MAC", u"Set MAC"},
        {"IDC_STATIC_BEGIN_MAC", u"Begin MAC address"},
        {"IDC_STATIC_END_MAC", u"End MAC address"},
        {"IDC_BUTTON_LOCK", u"Lock"},
        {"IDC_CHECK_SET_SN", u"Set SN"},
        {"IDC_STATIC_SN_HINT", u"Please find the relevant personnel to ask for the correct serial number is set"},
        {"IDC_CHECK_LENS_CALIBRATION",
         u"Lens correction (Ambarella device-specific, this setting requires a few minutes to make corrections, "
         u"do not close the software after setup, wait correction success)"},
        {"IDC_STATIC_DEVICE_TYPE", u"Device Type"},
        {"IDC_STATIC_BRIEF", u"A biref description"},
        {"IDC_STATIC_STEP1", u"1、First,enter the Mac address range"},
        {"IDC_STATIC_STEP2",
         u"2、Lock Mac address range,after locking if required to unlock the need to enter the unlock paddword"},
        {"IDC_STATIC_STEP3", u"3、Click the Settings button, MAC address is automatically written to the device"},
        {"IDC_BUTTON_SET", u"Set up"},
        // Not replaced at start.
        {"IDC_STATIC_MAC_COUNT", u"可用MAC地址数"},
        {"IDC_STATIC_RESULT", u"设置成功！"},
    };
    for (const Case& c : cases) {
        QWidget* widget = m_dlg->findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
        EXPECT_EQ(text, QString::fromUtf16(c.text)) << c.name;
    }
    EXPECT_EQ(m_dlg->windowTitle(), "TQ tool for mac and sn");
    EXPECT_FALSE(m_dlg->windowIcon().isNull());
    EXPECT_FALSE(ResultShown());
    EXPECT_TRUE(m_dlg->GetDlgItem(IDC_EDIT_MAC_COUNT)->isHidden());
    EXPECT_TRUE(m_dlg->findChild<QLabel*>("IDC_STATIC_MAC_COUNT")->isHidden());
    const QComboBox* combo = m_dlg->m_comboDeviceType;
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), "IPC");
    EXPECT_EQ(combo->itemText(1), "DVR");
    EXPECT_EQ(combo->itemText(2), "NVR");
    const QColor red = m_dlg->GetDlgItem(IDC_STATIC_RESULT)->palette().color(QPalette::WindowText);
    EXPECT_EQ(red, QColor(255, 0, 0));
}

TEST_F(KorvoDlgTest, EnterEscapeAndSpaceDoNothing) {
    QSignalSpy setClicks(Button(IDC_BUTTON_SET), &QPushButton::clicked);
    QCheckBox* setMac = Check(IDC_CHECK_SET_MAC);
    const bool before = setMac->isChecked();
    struct Target {
        QWidget* widget;
    };
    const Target targets[] = {{Button(IDC_BUTTON_SET)}, {setMac}, {Edit(IDC_EDIT_PORT)}, {m_dlg.get()}};
    for (const Target& target : targets) {
        target.widget->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space}) {
            QTest::keyClick(target.widget, key);
        }
    }
    EXPECT_TRUE(m_dlg->isVisible());
    EXPECT_EQ(setClicks.count(), 0);
    EXPECT_EQ(setMac->isChecked(), before);
    EXPECT_EQ(m_dlg->result(), 0);
    // Other keys still reach the controls.
    Edit(IDC_EDIT_PORT)->clear();
    QTest::keyClicks(Edit(IDC_EDIT_PORT), "8080");
    EXPECT_EQ(Edit(IDC_EDIT_PORT)->text(), "8080");
}

TEST_F(KorvoDlgTest, ReadFormRefusesABadOctetFocusesItAndStopsThere) {
    struct Case {
        int id;
        const char* text;
    };
    const Case cases[] = {
        {IDC_EDIT_BEGIN_MAC1, "256"}, {IDC_EDIT_BEGIN_MAC4, "abc"}, {IDC_EDIT_BEGIN_MAC6, ""},
        {IDC_EDIT_END_MAC1, "-1"},    {IDC_EDIT_END_MAC6, "1x"},
    };
    m_dlg->ApplyLockState(1);  // a locked (disabled) edit cannot take the focus
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_dlg->m_macBegin = {1, 2, 3, 4, 5, 6};
        m_dlg->m_macEnd = {7, 8, 9, 10, 11, 12};
        m_dlg->m_strSn = "old sn";
        m_dlg->ShowForm();
        Edit(IDC_EDIT_PORT)->setText("9000");
        Edit(IDC_EDIT_SN)->setText("new sn");
        for (int id : kBeginMacIds) Edit(id)->setText("100");
        for (int id : kEndMacIds) Edit(id)->setText("200");
        Edit(c.id)->setText(c.text);

        MessageRecorder messages;
        EXPECT_FALSE(m_dlg->ReadForm());
        EXPECT_EQ(messages.Texts(), QStringList{kOctetMessage});
        EXPECT_TRUE(Edit(c.id)->hasFocus());
        EXPECT_EQ(m_dlg->m_strPort, "9000");    // read before the octets
        EXPECT_EQ(m_dlg->m_strSn, "old sn");    // after them: untouched
        const bool inBegin = std::find(std::begin(kBeginMacIds), std::end(kBeginMacIds), c.id) != std::end(kBeginMacIds);
        if (inBegin) {
            EXPECT_EQ(m_dlg->m_macEnd, (MacAddress{7, 8, 9, 10, 11, 12}));
        } else {
            EXPECT_EQ(m_dlg->m_macBegin, (MacAddress{100, 100, 100, 100, 100, 100}));
        }
    }
}

TEST_F(KorvoDlgTest, ReadFormAndShowFormCarryEveryField) {
    Edit(IDC_EDIT_PORT)->setText("8080");
    Edit(IDC_EDIT_USER)->setText("op");
    Edit(IDC_EDIT_PASSWORD)->setText("pw");
    const int begin[6] = {0, 17, 34, 51, 68, 85};
    for (int i = 0; i < 6; ++i) Edit(kBeginMacIds[i])->setText(QString::number(begin[i]));
    for (int i = 0; i < 6; ++i) Edit(kEndMacIds[i])->setText(QString::number(250 + i));
    m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->SetAddress(0xC000020Au);
    Edit(IDC_EDIT_SN)->setText("SN-1");
    Check(IDC_CHECK_SET_MAC)->setChecked(true);
    Check(IDC_CHECK_LENS_CALIBRATION)->setChecked(true);
    Edit(IDC_EDIT_MAC_COUNT)->setText("5");

    ASSERT_TRUE(m_dlg->ReadForm());
    EXPECT_EQ(m_dlg->m_strPort, "8080");
    EXPECT_EQ(m_dlg->m_strUser, "op");
    EXPECT_EQ(m_dlg->m_strPassword, "pw");
    EXPECT_EQ(m_dlg->m_macBegin, (MacAddress{0, 17, 34, 51, 68, 85}));
    EXPECT_EQ(m_dlg->m_macEnd, (MacAddress{250, 251, 252, 253, 254, 255}));
    EXPECT_EQ(m_dlg->m_dwDeviceIp, 0xC000020Au);
    EXPECT_EQ(m_dlg->m_strSn, "SN-1");
    EXPECT_EQ(m_dlg->m_bSetMac, 1);
    EXPECT_EQ(m_dlg->m_bSetSn, 0);
    EXPECT_EQ(m_dlg->m_bLensCalibration, 1);
    EXPECT_EQ(m_dlg->m_strMacCount, "5");

    m_dlg->m_macBegin = {10, 171, 205, 239, 1, 2};
    m_dlg->m_dwDeviceIp = 0x01020304u;
    m_dlg->m_bSetMac = 0;
    m_dlg->ShowForm();
    EXPECT_EQ(Edit(IDC_EDIT_BEGIN_MAC2)->text(), "171");
    EXPECT_EQ(Edit(IDC_EDIT_BEGIN_MAC5)->text(), "1");
    EXPECT_EQ(m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->Field(3)->text(), "4");
    EXPECT_FALSE(Check(IDC_CHECK_SET_MAC)->isChecked());
}

TEST_F(KorvoDlgTest, ResultLineHidesAfterFiveTicksOfItsOwnTimer) {
    for (int round = 0; round < 2; ++round) {  // a second command re-arms the countdown
        m_dlg->ShowDlgItem(IDC_STATIC_RESULT, true);
        m_dlg->StartResultTimer();
        EXPECT_EQ(m_dlg->m_nTimerId, IDT_RESULT);
        EXPECT_TRUE(m_dlg->IsTimerRunning(IDT_RESULT));
        for (int tick = 1; tick <= 4; ++tick) {
            m_dlg->OnTimer(IDT_RESULT);
            EXPECT_TRUE(ResultShown()) << "tick " << tick;
        }
        m_dlg->OnTimer(IDT_RESULT);
        EXPECT_FALSE(ResultShown());
        EXPECT_FALSE(m_dlg->IsTimerRunning(IDT_RESULT));  // its countdown has run out
    }
}

TEST_F(KorvoDlgTest, CalibrationTicksNeverCountTheResultLineDown) {
    m_dlg->ShowDlgItem(IDC_STATIC_RESULT, true);
    m_dlg->StartResultTimer();
    m_dlg->m_nTimerId = IDT_CALIBRATION;  // the calibration timer was started last
    for (int tick = 0; tick < 6; ++tick) m_dlg->OnTimer(IDT_CALIBRATION);
    EXPECT_EQ(m_dlg->m_nResultCountdown, 5);
    EXPECT_EQ(m_dlg->m_nCalibrationSeconds, 6);
    EXPECT_EQ(m_dlg->GetDlgItemText(IDC_STATIC_RESULT), "Correction is ...6 seconds");
    EXPECT_TRUE(ResultShown());
    m_dlg->OnTimer(IDT_RESULT);
    EXPECT_EQ(m_dlg->m_nResultCountdown, 4);
    EXPECT_EQ(m_dlg->m_nCalibrationSeconds, 6);
}

TEST_F(KorvoDlgTest, TimerOneTicksThroughTheEventLoop) {
    m_dlg->ShowDlgItem(IDC_STATIC_RESULT, true);
    m_dlg->StartResultTimer();
    // Real ticks of 1000 ms: the line goes after five of them.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !ResultShown(); }, 9000));
    EXPECT_EQ(m_dlg->m_nResultCountdown, 0);
}

TEST_F(KorvoDlgTest, AboutEntryInTheMenuOpensTheAboutBox) {
    QMenu* menu = m_dlg->SystemMenu();
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) entries << action->text();
    }
    EXPECT_EQ(entries, QStringList{QStringLiteral(u"关于 Korvo(&A)...")});

    QStringList seen;
    OnNextModal([&](QWidget* modal) {
        ASSERT_NE(modal, nullptr);
        seen << modal->objectName() << modal->windowTitle();
        for (QLabel* label : modal->findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) seen << label->text();
        }
        QTest::mouseClick(modal->findChild<QPushButton*>("IDOK"), Qt::LeftButton);
    });
    menu->actions().last()->trigger();
    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen[0], "IDD_ABOUTBOX");
    EXPECT_EQ(seen[1], QStringLiteral(u"关于 Korvo"));
    EXPECT_TRUE(seen.contains(QStringLiteral(u"Korvo，1.0 版")));
}

// Fills the lock dialog that the Lock button opens and presses one of its buttons.
void DriveLockDialog(const QString& user, const QString& password, const char* button) {
    OnNextModal([=](QWidget* modal) {
        ASSERT_NE(modal, nullptr);
        ASSERT_EQ(modal->objectName(), "IDD_DLG_LOCK");
        QTest::keyClicks(modal->findChild<QLineEdit*>("IDC_EDIT_USER"), user);
        QTest::keyClicks(modal->findChild<QLineEdit*>("IDC_EDIT_PASSWORD"), password);
        QTest::mouseClick(modal->findChild<QPushButton*>(button), Qt::LeftButton);
    });
}

TEST_F(KorvoDlgTest, LockDialogLocksAndUnlocksOnlyWithTheRightCredentials) {
    struct Case {
        const char16_t* user;
        const char16_t* password;
        const char* button;
        bool refused;
        int enabledAfter;
    };
    const Case cases[] = {
        {u"tulip", u"19970623", "IDC_BUTTON_UNLOCK_RANGE", false, 12},
        {u"Tulip", u"19970623", "IDC_BUTTON_LOCK_RANGE", true, 12},
        {u"tulip", u"1997062", "IDC_BUTTON_LOCK_RANGE", true, 12},
        {u"tulip ", u"19970623", "IDC_BUTTON_LOCK_RANGE", true, 12},
        {u"tulip", u"19970623", "IDC_BUTTON_LOCK_RANGE", false, 0},
        {u"", u"", "IDC_BUTTON_UNLOCK_RANGE", true, 0},
        {u"tulip", u"19970623", "IDC_BUTTON_UNLOCK_RANGE", false, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.user).toStdString() + "/" + c.button);
        MessageRecorder messages;
        DriveLockDialog(QString::fromUtf16(c.user), QString::fromUtf16(c.password), c.button);
        m_dlg->OnLockButton();
        EXPECT_EQ(messages.Texts(), c.refused ? QStringList{QStringLiteral(u"请确定用户名和密码")} : QStringList{});
        EXPECT_EQ(EnabledOctetEdits(), c.enabledAfter);
        EXPECT_EQ(FileText("MAC", "LOCK"), c.enabledAfter ? "1" : "0");
    }
    // Only the twelve octet edits change.
    EXPECT_TRUE(Button(IDC_BUTTON_SET)->isEnabled());
    EXPECT_TRUE(Edit(IDC_EDIT_PORT)->isEnabled());
    // Unlocked and closed without locking again: the next start is unlocked.
    m_dlg->close();
    Restart();
    EXPECT_EQ(EnabledOctetEdits(), 12);
}

TEST_F(KorvoDlgTest, FirstStartWithoutASettingsFile) {
    EXPECT_EQ(Row(kBeginMacIds), QStringList(6, "0"));
    EXPECT_EQ(Row(kEndMacIds), QStringList(6, "0"));
    EXPECT_EQ(m_dlg->m_comboDeviceType->currentText(), "IPC");
    EXPECT_EQ(Edit(IDC_EDIT_MAC_COUNT)->text(), "0");
    auto* address = m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS);
    EXPECT_EQ(address->Address(), 0u);
    EXPECT_EQ(address->Field(0)->text(), "0");
    EXPECT_EQ(Edit(IDC_EDIT_PORT)->text(), "");
    EXPECT_EQ(Edit(IDC_EDIT_USER)->text(), "");
    EXPECT_EQ(Edit(IDC_EDIT_PASSWORD)->text(), "");
    EXPECT_EQ(EnabledOctetEdits(), 0);
    EXPECT_EQ(FileText("MAC", "LOCK"), "0");
}

TEST_F(KorvoDlgTest, StartReadsEveryStoredValue) {
    const char* octets[12] = {"0", "17", "34", "51", "68", "300", "1", "2", "3", "4", "5", "256"};
    for (int i = 0; i < 12; ++i) WriteFile("MAC", ("MAC" + std::to_string(i + 1)).c_str(), octets[i]);
    WriteFile("MAC", "MACNUM", "4294967295");
    WriteFile("MAC", "LOCK", "5");
    WriteFile("TYPE", "DEVICETYPE", "2");
    WriteFile("DEVICENET", "HOSENAME", "10.1.2");
    WriteFile("DEVICENET", "PORT", "8080");
    WriteFile("DEVICENET", "USER", "op");
    WriteFile("DEVICENET", "PSW", "pass word");
    Restart();
    EXPECT_EQ(Row(kBeginMacIds), (QStringList{"0", "17", "34", "51", "68", "44"}));
    EXPECT_EQ(Row(kEndMacIds), (QStringList{"1", "2", "3", "4", "5", "0"}));
    EXPECT_EQ(Edit(IDC_EDIT_MAC_COUNT)->text(), "-1");
    EXPECT_EQ(EnabledOctetEdits(), 12);
    EXPECT_EQ(FileText("MAC", "LOCK"), "5");  // written back as read
    EXPECT_EQ(m_dlg->m_comboDeviceType->currentText(), "NVR");
    EXPECT_EQ(m_dlg->m_dwDeviceIp, 0x0A01000Au);
    EXPECT_EQ(Edit(IDC_EDIT_PORT)->text(), "8080");
    EXPECT_EQ(Edit(IDC_EDIT_USER)->text(), "op");
    EXPECT_EQ(Edit(IDC_EDIT_PASSWORD)->text(), "pass word");

    WriteFile("TYPE", "DEVICETYPE", "3");
    Restart();
    EXPECT_EQ(m_dlg->m_comboDeviceType->currentIndex(), -1);
}

TEST_F(KorvoDlgTest, DeviceTypeIsStoredAtOnceOnChange) {
    QComboBox* combo = m_dlg->m_comboDeviceType;
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), "DVR");
    EXPECT_EQ(FileText("TYPE", "DEVICETYPE"), "1");
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(FileText("TYPE", "DEVICETYPE"), "2");
    Restart();
    EXPECT_EQ(m_dlg->m_comboDeviceType->currentText(), "NVR");
}

TEST_F(KorvoDlgTest, CloseSavesTheFormAndTheNextStartShowsIt) {
    WriteFile("MAC", "LOCK", "1");
    Restart();
    m_dlg->GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->SetAddress(0xC000020Au);
    Edit(IDC_EDIT_PORT)->setText("81");
    const QString longUser(60, QLatin1Char('u'));
    Edit(IDC_EDIT_USER)->setText(longUser);
    Edit(IDC_EDIT_PASSWORD)->setText(QStringLiteral(u"密码pw"));
    for (int id : kBeginMacIds) Edit(id)->setText("9");
    for (int i = 0; i < 6; ++i) Edit(kEndMacIds[i])->setText(QString::number(200 + i));
    m_dlg->close();  // the caption's close button
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(FileText("DEVICENET", "HOSENAME"), "192.0.2.10");
    EXPECT_EQ(FileText("DEVICENET", "PSW"), "密码pw");  // in plain text
    EXPECT_EQ(FileText("MAC", "MAC12"), "205");
    EXPECT_EQ(FileText("MAC", "MAC1"), "<missing>");  // the begin is stored only by a MAC write

    Restart();
    EXPECT_EQ(m_dlg->m_dwDeviceIp, 0xC000020Au);
    EXPECT_EQ(Edit(IDC_EDIT_PORT)->text(), "81");
    EXPECT_EQ(Edit(IDC_EDIT_USER)->text(), longUser.left(49));
    EXPECT_EQ(Edit(IDC_EDIT_PASSWORD)->text(), QStringLiteral(u"密码pw"));
    EXPECT_EQ(Row(kBeginMacIds), QStringList(6, "0"));
    EXPECT_EQ(Row(kEndMacIds), (QStringList{"200", "201", "202", "203", "204", "205"}));
    EXPECT_EQ(EnabledOctetEdits(), 12);  // still unlocked
}

TEST_F(KorvoDlgTest, CloseWithABadOctetSavesWhatWasReadBeforeIt) {
    WriteFile("MAC", "LOCK", "1");
    WriteFile("MAC", "MAC7", "7");
    Restart();
    Edit(IDC_EDIT_PORT)->setText("82");
    Edit(IDC_EDIT_END_MAC1)->setText("999");
    MessageRecorder messages;
    m_dlg->close();
    EXPECT_EQ(messages.Texts(), QStringList{kOctetMessage});
    EXPECT_EQ(FileText("DEVICENET", "PORT"), "82");
    EXPECT_EQ(FileText("MAC", "MAC7"), "7");
}

TEST_F(KorvoDlgTest, TheApplicationRunsTheDialogUntilItIsClosed) {
    m_dlg.reset();
    QString seen;
    OnNextModal([&](QWidget* modal) {
        ASSERT_NE(modal, nullptr);
        seen = modal->objectName();
        modal->findChild<QLineEdit*>("IDC_EDIT_PORT")->setText("8081");
        modal->close();
    });
    CKorvoApp app;
    EXPECT_FALSE(app.InitInstance());  // no message loop follows
    EXPECT_EQ(seen, "IDD_KORVO_DIALOG");
    EXPECT_EQ(korvo::ReadProfileText(m_path, "DEVICENET", "PORT"), "8081");
}

TEST(DlgLockTest, RefusalKeepsTheDialogOpenWithTheTextsAsTyped) {
    korvotest::App();
    CDlgLock lock;
    lock.show();
    MessageRecorder messages;
    lock.findChild<QLineEdit*>("IDC_EDIT_USER")->setText("TULIP");
    lock.findChild<QLineEdit*>("IDC_EDIT_PASSWORD")->setText("19970623");
    lock.OnLockCommand();
    EXPECT_TRUE(lock.isVisible());
    EXPECT_EQ(lock.m_strUser, "TULIP");
    EXPECT_EQ(lock.findChild<QLineEdit*>("IDC_EDIT_USER")->text(), "TULIP");
    EXPECT_EQ(messages.Texts().size(), 1);
    EXPECT_EQ(lock.windowTitle(), "Lock");
    EXPECT_EQ(lock.font().pointSize(), 8);
}

TEST_F(KorvoDlgTest, SavesPicturesOfTheWindows) {
    m_dlg->ShowDlgItem(IDC_STATIC_RESULT, true);
    m_dlg->SetDlgItemText(IDC_STATIC_RESULT, "Setting Success");
    const QString dir = QStringLiteral(KORVO_TEST_OUTPUT_DIR);
    const QImage main = m_dlg->grab().toImage();
    ASSERT_TRUE(main.save(dir + "/korvo-main-window.png"));

    CDlgLock lock(m_dlg.get());
    lock.show();
    ASSERT_TRUE(lock.grab().toImage().save(dir + "/korvo-lock-dialog.png"));
    CAboutDlg about(m_dlg.get());
    about.show();
    ASSERT_TRUE(about.grab().toImage().save(dir + "/korvo-about-box.png"));
    // The result line really is drawn in red.
    const QRect result = m_dlg->GetDlgItem(IDC_STATIC_RESULT)->geometry();
    bool sawRed = false;
    for (int y = result.top(); y <= result.bottom() && !sawRed; ++y) {
        for (int x = result.left(); x <= result.right() && !sawRed; ++x) {
            const QColor c = main.pixelColor(x, y);
            sawRed = c.red() > 200 && c.green() < 80 && c.blue() < 80;
        }
    }
    EXPECT_TRUE(sawRed);
}

}  // namespace
