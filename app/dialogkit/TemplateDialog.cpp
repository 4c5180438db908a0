#include "TemplateDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "Ipv4AddressEdit.h"
#include "MultiLineCheckBox.h"

#include <algorithm>

namespace dlgkit {
namespace {

constexpr char kTemplateHeight[] = "dlgkitTemplateHeight";

// Our sans-serif runs wider than the font the layouts were drawn with, so a
// wrapped label may need one more line than its template height holds: let
// it grow downwards rather than cut its last line in half. It never shrinks
// below the template height.
void FitLabelHeight(QLabel* label, int templateHeight) {
    const int needed = label->heightForWidth(label->width());
    label->resize(label->width(), std::max(templateHeight, needed));
}

// A single-line edit keeps the text before the first line break of what is
// pasted or set, as the platform's edits do: a pasted password with a
// trailing newline must not end up in the settings file or a request.
class SingleLineValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const auto breakAt = std::find_if(input.cbegin(), input.cend(), [](QChar c) {
            return c == u'\r' || c == u'\n' || c == QChar(0);
        });
        const qsizetype end = breakAt - input.cbegin();
        if (end < input.size()) {
            input.truncate(end);
            pos = std::min<int>(pos, static_cast<int>(end));
        }
        return Acceptable;
    }
};

}  // namespace

QFont DialogFont(int pointSize) {
    QFont font(QStringLiteral("sans-serif"), pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), m_units(DialogFont(dialogTemplate.pointSize)) {
    setObjectName(QString::fromLatin1(dialogTemplate.name));
    setFont(DialogFont(dialogTemplate.pointSize));
    setWindowTitle(QString::fromUtf16(dialogTemplate.caption));
    const QSize size(m_units.ToPixelsX(dialogTemplate.cx), m_units.ToPixelsY(dialogTemplate.cy));
    if (dialogTemplate.resizable) {
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
        resize(size);
    } else {
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        setFixedSize(size);
    }
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = MakeControl(control);
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setGeometry(m_units.ToPixels(control.x, control.y, control.cx, control.cy));
        if (control.style & kStyleHidden) widget->hide();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setProperty(kTemplateHeight, widget->height());
            FitLabelHeight(label, widget->height());
        }
        if (control.id != kIdStatic) m_controls.insert(control.id, widget);
    }
}

QWidget* TemplateDialog::MakeControl(const ControlTemplate& control) {
    const QString text = control.text ? QString::fromUtf16(control.text) : QString();
    switch (control.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft |
                            ((control.style & kStyleCenterVertically) ? Qt::AlignVCenter : Qt::AlignTop));
        return label;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(this);
        edit->setValidator(new SingleLineValidator(edit));
        edit->setText(text);
        return edit;
    }
    case ControlKind::Ipv4Address:
        return new Ipv4AddressEdit(this);
    case ControlKind::DropDownList: {
        auto* combo = new QComboBox(this);
        if (!text.isEmpty()) combo->addItems(text.split(QLatin1Char('\n')));
        combo->setCurrentIndex(-1);
        return combo;
    }
    case ControlKind::CheckBox:
        if (control.style & kStyleMultiLine) return new MultiLineCheckBox(text, this);
        return new QCheckBox(text, this);
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::BlackFrame: {
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::Box);
        frame->setFrameShadow(QFrame::Plain);
        QPalette palette = frame->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        frame->setPalette(palette);
        frame->lower();  // behind the controls it frames
        return frame;
    }
    case ControlKind::Icon:
        return new QLabel(this);
    }
    return new QWidget(this);
}

void TemplateDialog::showEvent(QShowEvent* event) {
    if (!m_initialized) {
        m_initialized = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

QString TemplateDialog::GetDlgItemText(int id) const {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    return {};
}

void TemplateDialog::SetDlgItemText(int id, const QString& text) {
    QWidget* widget = GetDlgItem(id);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
        FitLabelHeight(label, label->property(kTemplateHeight).toInt());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
}

void TemplateDialog::ShowDlgItem(int id, bool show) {
    if (QWidget* widget = GetDlgItem(id)) widget->setVisible(show);
}

void TemplateDialog::EnableDlgItem(int id, bool enable) {
    if (QWidget* widget = GetDlgItem(id)) widget->setEnabled(enable);
}

}  // namespace dlgkit
