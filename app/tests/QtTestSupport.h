// Shared by the window tests: one QApplication for the process, a recorder
// that stands in for the message box, and a way to act inside a modal loop.
#pragma once

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>

#include "dialogkit/MessageBox.h"

// GoogleTest shows a QString in a failure as text, not as UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace korvotest {

// Made once and kept for the whole process; Qt allows only one.
inline QApplication& App() {
    static int argc = 1;
    static char name[] = "korvo-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Korvo"));
        return a;
    }();
    return *app;
}

// Collects the texts of every message box shown while it lives.
class MessageRecorder {
public:
    MessageRecorder() {
        m_previous = dlgkit::SetMessagePresenter([this](QWidget*, const QString& text) { m_texts << text; });
    }
    ~MessageRecorder() { dlgkit::SetMessagePresenter(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const QStringList& Texts() const { return m_texts; }

private:
    QStringList m_texts;
    dlgkit::MessagePresenter m_previous;
};

// Runs `action` on the modal window that the next modal loop opens. The
// action must end that loop (accept, reject or a click that does).
inline void OnNextModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        action(modal);
        if (modal && modal->isVisible()) modal->close();  // never leave the test hanging
    });
}

}  // namespace korvotest
