// Swallows the key presses (and their releases) of a set of keys before any
// widget of a window sees them: a dialog whose operators must not close it or
// press a button by accident installs one on itself.
//
// Install() covers the window and every widget that exists at the time of the
// call; install it after the window's controls have been made.
#pragma once

#include <QObject>
#include <QSet>
#include <initializer_list>

class QWidget;

namespace dlgkit {

class KeyDownFilter : public QObject {
    Q_OBJECT
public:
    KeyDownFilter(std::initializer_list<int> keys, QObject* parent);

    void Install(QWidget* window);
    bool IsFiltered(int key) const { return m_keys.contains(key); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSet<int> m_keys;
};

}  // namespace dlgkit
