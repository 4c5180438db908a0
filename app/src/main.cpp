#include <QApplication>

#include "KorvoApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvo"));
    CKorvoApp app;
    app.InitInstance();
    return 0;
}
