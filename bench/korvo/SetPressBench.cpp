// How long an operator waits after pressing Set on an NVR with Set MAC and
// Set SN ticked: from the click on the real window to the shown result line,
// against an emulated recorder on loopback that keeps its connections open.
//
// The peer is the same four requests (status page, MAC, port and SN
// commands) sent straight through the HTTP client, without the window: the
// ratio shows what the window adds on top of the network work.
//
//   bench_korvo_set [presses]      (default 200)
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "KorvoDlg.h"
#include "SetPressSupport.h"
#include "NvrDevice.h"
#include "Resource.h"
#include "korvo/appcore/AccountSettings.h"
#include "korvo/appcore/Profile.h"
#include "korvo/appcore/SettingsPath.h"
#include "web/BasicCredentials.h"
#include "web/HttpRequest.h"

using setbench::Clock;
using setbench::MsSince;

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvo"));
    const int presses = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

    devsim::DeviceConfig config;
    config.name = "bench-nvr";
    config.type = "NVR";
    devsim::NvrDevice device(config, [](const std::string&, const std::string&) {});
    std::string error;
    if (!device.Start(&error)) {
        std::fprintf(stderr, "cannot start the emulated NVR: %s\n", error.c_str());
        return 1;
    }

    QTemporaryDir dir;
    const std::string settings = dir.filePath("Account.ini").toStdString();
    korvo::SetSettingsPathOverride(settings);
    korvo::WriteProfileText(settings, "MAC", "LOCK", "1");

    CKorvoDlg dlg;
    dlg.show();
    setbench::FillForm(dlg, 2, device.Port());
    QWidget* result = dlg.GetDlgItem(IDC_STATIC_RESULT);
    auto* set = dlg.GetDlgItemAs<QPushButton>(IDC_BUTTON_SET);

    std::vector<double> window;
    int failures = 0;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        QTest::mouseClick(set, Qt::LeftButton);  // the handler runs inside the click
        const double ms = MsSince(start);
        if (result->isHidden() || dlg.GetDlgItemText(IDC_STATIC_RESULT) != QStringLiteral("Setting Success")) {
            ++failures;
        }
        window.push_back(ms);
    }

    // The peer: the same four requests without the window.
    const std::string base = "http://127.0.0.1:" + std::to_string(device.Port());
    const std::string credentials = korvo::web::MakeBasicCredentials(u"admin", u"admin");
    const std::string urls[] = {
        base + "/ini.htm",
        base + "/vb.htm?setuser=admin&netip=127.0.0.1&netmask=255.255.255.0&gateway=192.168.1.1&dns1=8.8.8.8"
               "&dns2=0.0.0.0&mac=00:11:22:33:00:00&dhcpenable=0",
        base + "/vb.htm?setuser=admin&rtspserverport=554&tcpport=8000&httpport=" + std::to_string(device.Port()) +
            "&multicast=239.255.42.42",
        base + "/vb.htm?setlongsesn=SN-BENCH",
    };
    std::vector<double> peer;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        for (const std::string& url : urls) {
            korvo::web::CHttpRequest request;
            std::string requestText, header, body;
            if (!korvo::web::HttpGet(request, url, credentials, requestText, header, body) ||
                header.find("200 OK") == std::string::npos) {
                ++failures;
            }
        }
        peer.push_back(MsSince(start));
    }
    // The peer once more with the durable store of the next begin MAC that
    // every successful press makes (a flushed replacement of the file).
    std::vector<double> peerStore;
    korvo::MacAddress mac;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        for (const std::string& url : urls) {
            korvo::web::CHttpRequest request;
            std::string requestText, header, body;
            if (!korvo::web::HttpGet(request, url, credentials, requestText, header, body)) ++failures;
        }
        korvo::AdvanceMac(mac);
        if (!korvo::StoreBeginMac(settings, mac)) ++failures;
        peerStore.push_back(MsSince(start));
    }
    dlg.hide();
    device.Stop();
    korvo::SetSettingsPathOverride({});

    std::printf("Press of Set to result line, NVR on loopback, Set MAC + Set SN, %d presses each\n", presses);
    setbench::PrintFigures(window, "peer: 4 requests, no window", peer, "peer + storing the begin MAC", peerStore);
    if (failures) std::printf("FAILED presses or requests: %d\n", failures);
    return failures ? 1 : 0;
}
