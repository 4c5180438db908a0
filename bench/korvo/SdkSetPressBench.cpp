// How long an operator waits after pressing Set on an "IPC" with Set MAC and
// Set SN ticked: from the click on the real window to the shown result line,
// against an emulated camera on loopback. The login is asynchronous, so the
// clock runs until the window's thread has handled the login event and shown
// the outcome.
//
// The peer is the same SDK exchange made straight through TQDevLink, without
// the window: login (waiting for its event), read both records, write MAC and
// SN, log out. The ratio shows what the window adds on top of it.
//
//   bench_korvo_sdkset [presses]      (default 200)
#include <QApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "Device.h"
#include "KorvoDlg.h"
#include "SetPressSupport.h"
#include "Resource.h"
#include "korvo/appcore/AccountSettings.h"
#include "korvo/appcore/Profile.h"
#include "korvo/appcore/SettingsPath.h"
#include "korvo/sdk/SdkRecords.h"

namespace {

using setbench::Clock;
using setbench::MsSince;

// The peer's login event, waited for on a condition variable.
struct LoginWait {
    std::mutex mutex;
    std::condition_variable changed;
    uint32_t event = 0;

    static void OnEvent(uint32_t, uint32_t event, void*, void* user) {
        auto* self = static_cast<LoginWait*>(user);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->event = event;
        self->changed.notify_all();
    }
    bool WaitOk() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [this] { return event != 0; });
        const bool ok = event == TQ_NET_EVENT_LOGIN_OK;
        event = 0;
        return ok;
    }
};

// One SDK provisioning without the window; returns whether both writes were taken.
bool PeerExchange(const korvo::sdk::LoginValues& values, LoginWait& wait, korvo::MacAddress& mac) {
    const TQ_NET_LoginInfo info = korvo::sdk::MakeLoginInfo(values, &LoginWait::OnEvent);
    const TQ_HANDLE login = TQ_NET_Login(&info);
    bool ok = wait.WaitOk();
    korvo::sdk::ProvisioningRecords records = korvo::sdk::ReadRecordsWithNewValues(login, mac, "SN-BENCH");
    ok = TQ_NET_SetNetParam(login, 0, &records.net) && ok;
    ok = TQ_NET_SetP2P(login, &records.p2p) && ok;
    TQ_NET_Logout(login);
    korvo::AdvanceMac(mac);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvo"));
    const int presses = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    TQ_NET_Startup();
    TQ_NET_SetWaitTime(1, 1, 3);

    devsim::DeviceConfig config;
    config.name = "bench-ipc";
    config.type = "IPC";
    auto device = devsim::MakeSdkDevice(config, nullptr);
    std::string error;
    if (!device->Start(&error)) {
        std::fprintf(stderr, "cannot start the emulated IPC: %s\n", error.c_str());
        return 1;
    }

    QTemporaryDir dir;
    const std::string settings = dir.filePath("Account.ini").toStdString();
    korvo::SetSettingsPathOverride(settings);
    korvo::WriteProfileText(settings, "MAC", "LOCK", "1");
    korvo::WriteProfileText(settings, "MAC", "MACNUM", "100000");

    int failures = 0;
    std::vector<double> window;
    {
        CKorvoDlg dlg;
        dlg.show();
        setbench::FillForm(dlg, 0, device->Port());
        QWidget* result = dlg.GetDlgItem(IDC_STATIC_RESULT);
        auto* set = dlg.GetDlgItemAs<QPushButton>(IDC_BUTTON_SET);
        const QString success = QStringLiteral("Setting Success");

        for (int i = 0; i < presses; ++i) {
            const auto start = Clock::now();
            QTest::mouseClick(set, Qt::LeftButton);  // hides the line, starts the login
            QDeadlineTimer deadline(5000);
            while (result->isHidden() && !deadline.hasExpired()) {
                // Woken by the login event that TQDevLink posts from its thread.
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
            const double ms = MsSince(start);
            if (result->isHidden() || dlg.GetDlgItemText(IDC_STATIC_RESULT) != success) ++failures;
            window.push_back(ms);
        }
        dlg.hide();
    }

    // The peer: the same exchange without the window.
    korvo::sdk::LoginValues values;
    values.deviceIp = 0x7F000001u;
    values.port = std::to_string(device->Port());
    values.user = "admin";
    values.password = "admin";
    LoginWait wait;
    values.userData = &wait;
    korvo::MacAddress mac{{0, 17, 34, 40, 0, 0}};
    std::vector<double> peer;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        if (!PeerExchange(values, wait, mac)) ++failures;
        peer.push_back(MsSince(start));
    }
    // The peer once more with the durable store of the next begin MAC and the
    // count that every successful MAC write makes.
    std::vector<double> peerStore;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        if (!PeerExchange(values, wait, mac)) ++failures;
        if (!korvo::StoreBeginMacAndCount(settings, mac, "100")) ++failures;
        peerStore.push_back(MsSince(start));
    }
    device->Stop();
    korvo::SetSettingsPathOverride({});
    TQ_NET_Cleanup();

    std::printf("Press of Set to result line, IPC over TQDevLink on loopback, Set MAC + Set SN, %d presses each\n",
                presses);
    setbench::PrintFigures(window, "peer: SDK exchange, no window", peer, "peer + storing MAC and count", peerStore);
    if (failures) std::printf("FAILED presses or exchanges: %d\n", failures);
    return failures ? 1 : 0;
}
