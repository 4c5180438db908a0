#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace dlgkit {
namespace {

void ShowModalBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

MessagePresenter& Presenter() {
    static MessagePresenter presenter = ShowModalBox;
    return presenter;
}

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text) { Presenter()(parent, text); }

MessagePresenter SetMessagePresenter(MessagePresenter presenter) {
    MessagePresenter previous = std::move(Presenter());
    Presenter() = presenter ? std::move(presenter) : MessagePresenter(ShowModalBox);
    return previous;
}

}  // namespace dlgkit
