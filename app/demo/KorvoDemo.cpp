// korvo-demo: opens the real main window, provisions the device its settings
// file points at as an operator would (ticks Set MAC, presses Set), saves a
// picture of the window and closes it, which stores the form as usual.
//
//   korvo-demo <picture.png>
//
// It lives beside korvo and so shares its "Account.ini". Prints the result
// line and the picture's path; exits 0 when the result line reads
// "Setting Success", 1 otherwise, 2 on bad use.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "KorvoDlg.h"
#include "Resource.h"
#include "TQDevLink.h"
#include "dialogkit/MessageBox.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvo"));
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: korvo-demo <picture.png>\n");
        return 2;
    }
    // Nobody is there to press OK: print what a message box would say.
    dlgkit::SetMessagePresenter([](QWidget*, const QString& text) {
        std::printf("message box: %s\n", text.toUtf8().constData());
    });

    TQ_NET_Startup();
    TQ_NET_SetWaitTime(1, 1, 3);
    int status = 1;
    {
        CKorvoDlg dlg;
        dlg.show();
        if (!QTest::qWaitForWindowExposed(&dlg, 10000)) std::fprintf(stderr, "korvo-demo: the window did not appear\n");
        auto* setMac = dlg.GetDlgItemAs<QCheckBox>(IDC_CHECK_SET_MAC);
        if (!setMac->isChecked()) QTest::mouseClick(setMac, Qt::LeftButton, {}, QPoint(5, setMac->height() / 2));
        QTest::mouseClick(dlg.GetDlgItemAs<QPushButton>(IDC_BUTTON_SET), Qt::LeftButton);
        QTest::qWait(200);  // let the result line paint
        const QString result = dlg.GetDlgItem(IDC_STATIC_RESULT)->isHidden()
                                   ? QStringLiteral("(no result line)")
                                   : dlg.GetDlgItemText(IDC_STATIC_RESULT);
        std::printf("result line: %s\n", result.toUtf8().constData());
        if (!dlg.grab().save(args[1])) {
            std::fprintf(stderr, "korvo-demo: cannot write %s\n", args[1].toUtf8().constData());
        } else {
            std::printf("picture: %s\n", args[1].toUtf8().constData());
        }
        status = result == QStringLiteral("Setting Success") ? 0 : 1;
        dlg.close();
    }
    TQ_NET_Cleanup();
    return status;
}
