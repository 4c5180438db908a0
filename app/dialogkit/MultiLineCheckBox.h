// A check box whose text wraps over several lines inside its rectangle.
// text()/setText() work as on any QCheckBox; a click anywhere on the control
// toggles it, as on the original platform.
#pragma once

#include <QCheckBox>

namespace dlgkit {

class MultiLineCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace dlgkit
