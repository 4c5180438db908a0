#include "Ipv4AddressEdit.h"

#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>
#include <algorithm>

namespace dlgkit {

Ipv4AddressEdit::Ipv4AddressEdit(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_StyledBackground);
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(i + 1));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(new QIntValidator(0, 255, field));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            // The validator lets "999" through as an intermediate state; the
            // field holds at most 255, as the platform's address control does.
            if (text.toUInt() > 255) m_fields[i]->setText(QStringLiteral("255"));
            if (text.size() == 3 && i < 3) {
                m_fields[i + 1]->setFocus();
                m_fields[i + 1]->selectAll();
            }
        });
        m_fields[i] = field;
    }
    setFocusProxy(m_fields[0]);
    LayOut();
}

std::uint32_t Ipv4AddressEdit::Address() const {
    std::uint32_t address = 0;
    for (const QLineEdit* field : m_fields) {
        // Blank gives 0; a text set around the validator is held to 255.
        address = (address << 8) | std::min(field->text().toUInt(), 255u);
    }
    return address;
}

void Ipv4AddressEdit::SetAddress(std::uint32_t address) {
    for (int i = 0; i < 4; ++i) {
        m_fields[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFFu));
    }
}

void Ipv4AddressEdit::Clear() {
    for (QLineEdit* field : m_fields) field->clear();
}

int Ipv4AddressEdit::IndexOf(QObject* field) const {
    for (int i = 0; i < 4; ++i) {
        if (m_fields[i] == field) return i;
    }
    return -1;
}

bool Ipv4AddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Period || key->key() == Qt::Key_Comma) && index < 3) {
            m_fields[index + 1]->setFocus();
            m_fields[index + 1]->selectAll();
            return true;
        }
        if (key->key() == Qt::Key_Backspace && index > 0 && m_fields[index]->cursorPosition() == 0 &&
            !m_fields[index]->hasSelectedText()) {
            m_fields[index - 1]->setFocus();
            m_fields[index - 1]->end(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Ipv4AddressEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

void Ipv4AddressEdit::LayOut() {
    // Four equal cells; the dots sit on the borders between them.
    const QRect inner = rect().adjusted(2, 2, -2, -2);
    const int cell = inner.width() / 4;
    for (int i = 0; i < 4; ++i) {
        m_fields[i]->setGeometry(inner.x() + i * cell + 2, inner.y(), cell - 4, inner.height());
    }
}

void Ipv4AddressEdit::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, this);
    frame.midLineWidth = 0;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
    const QRect inner = rect().adjusted(2, 2, -2, -2);
    const int cell = inner.width() / 4;
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    for (int i = 1; i < 4; ++i) {
        const QRect dot(inner.x() + i * cell - 3, inner.y(), 6, inner.height());
        painter.drawText(dot, Qt::AlignCenter, QStringLiteral("."));
    }
}

}  // namespace dlgkit
