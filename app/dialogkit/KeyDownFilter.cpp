#include "KeyDownFilter.h"

#include <QKeyEvent>
#include <QWidget>

namespace dlgkit {

KeyDownFilter::KeyDownFilter(std::initializer_list<int> keys, QObject* parent) : QObject(parent), m_keys(keys) {}

void KeyDownFilter::Install(QWidget* window) {
    window->installEventFilter(this);
    for (QWidget* child : window->findChildren<QWidget*>()) child->installEventFilter(this);
}

bool KeyDownFilter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        // A button reacts to Space on release; eating both halves keeps the
        // key from doing anything at all.
        if (m_keys.contains(static_cast<QKeyEvent*>(event)->key())) return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace dlgkit
