#include "MultiLineCheckBox.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace dlgkit {

bool MultiLineCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void MultiLineCheckBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();  // the style would draw it on one line
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    QStyleOptionButton box = option;
    box.rect = QRect(indicator.x(), 0, indicator.width(), indicator.height());
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, this);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
    const int left = indicator.right() + 1 + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(left, 0, width() - left, height()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     text());
}

}  // namespace dlgkit
