// What the two press-of-Set benchmarks share: the form they fill in, the
// figures they take of each series and the table they print.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "KorvoDlg.h"
#include "Resource.h"
#include "dialogkit/Ipv4AddressEdit.h"

namespace setbench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double median = 0, p90 = 0, max = 0;
};

inline Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    Figures f;
    f.median = ms[ms.size() / 2];
    f.p90 = ms[ms.size() * 9 / 10];
    f.max = ms.back();
    return f;
}

// A device on 127.0.0.1:`port` with admin / admin, Set MAC and Set SN ticked,
// and a range of far more addresses than any run presses Set.
inline void FillForm(CKorvoDlg& dlg, int deviceType, uint16_t port) {
    dlg.m_comboDeviceType->setCurrentIndex(deviceType);
    dlg.GetDlgItemAs<dlgkit::Ipv4AddressEdit>(IDC_IPADDRESS)->SetAddress(0x7F000001u);
    dlg.GetDlgItemAs<QLineEdit>(IDC_EDIT_PORT)->setText(QString::number(port));
    dlg.GetDlgItemAs<QLineEdit>(IDC_EDIT_USER)->setText("admin");
    dlg.GetDlgItemAs<QLineEdit>(IDC_EDIT_PASSWORD)->setText("admin");
    dlg.GetDlgItemAs<QLineEdit>(IDC_EDIT_SN)->setText("SN-BENCH");
    dlg.GetDlgItemAs<QCheckBox>(IDC_CHECK_SET_MAC)->setChecked(true);
    dlg.GetDlgItemAs<QCheckBox>(IDC_CHECK_SET_SN)->setChecked(true);
    const int end[6] = {0, 17, 34, 52, 0, 0};
    for (int i = 0; i < 6; ++i) {
        dlg.GetDlgItemAs<QLineEdit>(kBeginMacIds[i])->setText(QString::number(i < 4 ? end[i] - (i == 3) : 0));
        dlg.GetDlgItemAs<QLineEdit>(kEndMacIds[i])->setText(QString::number(end[i]));
    }
}

// The window's series beside the peer's, with and without the store that
// every successful press makes, and the 50 ms goal.
inline void PrintFigures(const std::vector<double>& window, const char* peerLabel, const std::vector<double>& peer,
                         const char* storeLabel, const std::vector<double>& peerStore) {
    const Figures w = Summarise(window), p = Summarise(peer), ps = Summarise(peerStore);
    std::printf("%-34s %10s %10s %10s\n", "", "median ms", "p90 ms", "max ms");
    std::printf("%-34s %10.2f %10.2f %10.2f\n", "window (click to result line)", w.median, w.p90, w.max);
    std::printf("%-34s %10.2f %10.2f %10.2f\n", peerLabel, p.median, p.p90, p.max);
    std::printf("%-34s %10.2f %10.2f %10.2f\n", "ratio window / peer", w.median / p.median, w.p90 / p.p90,
                w.max / p.max);
    std::printf("%-34s %10.2f %10.2f %10.2f\n", storeLabel, ps.median, ps.p90, ps.max);
    std::printf("%-34s %10.2f %10.2f %10.2f\n", "ratio window / (peer + store)", w.median / ps.median,
                w.p90 / ps.p90, w.max / ps.max);
    std::printf("goal: under 50 ms per press; median is %s (%.1f%% of the goal), p90 %.1f%% of the goal\n",
                w.median < 50.0 ? "under it" : "OVER it", 100.0 * w.median / 50.0, 100.0 * w.p90 / 50.0);
}

}  // namespace setbench
