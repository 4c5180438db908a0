// The one way the program tells the operator of a refused command: a modal
// box captioned with the application's name, with an exclamation icon and an
// OK button. Blocks until the operator presses OK.
//
// Tests replace the presenter to see the texts without a modal loop; the
// previous presenter is returned so that a test can put it back.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace dlgkit {

using MessagePresenter = std::function<void(QWidget* parent, const QString& text)>;

void ShowMessageBox(QWidget* parent, const QString& text);

// An empty presenter restores the built-in one.
MessagePresenter SetMessagePresenter(MessagePresenter presenter);

}  // namespace dlgkit
