// A modal dialog whose controls are made from a DialogTemplate.
//
// The constructor makes every control of the table at its place, with its
// template text, and names it after its id; the dialog's font is the system's
// sans-serif at the template's point size. Derived dialogs reach controls by
// id through the accessors below (a null widget for an unknown id) and keep
// their logic out of this class.
#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

#include "DialogTemplate.h"
#include "DialogUnits.h"

namespace dlgkit {

class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    explicit TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);

    // Runs the dialog's modal loop; returns the code passed to done().
    int DoModal() { return exec(); }

    QWidget* GetDlgItem(int id) const { return m_controls.value(id, nullptr); }
    template <class Widget>
    Widget* GetDlgItemAs(int id) const { return qobject_cast<Widget*>(GetDlgItem(id)); }

    // Text of a label, button, check box or edit; empty for other kinds.
    QString GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const QString& text);
    void ShowDlgItem(int id, bool show);
    void EnableDlgItem(int id, bool enable);

    const DialogUnits& Units() const { return m_units; }

protected:
    // Runs once, when the dialog is first shown (DoModal() or show()), after
    // its controls exist and before it appears. The default focus (the first
    // control in tab order) is set by Qt afterwards.
    virtual void OnInitDialog() {}
    void showEvent(QShowEvent* event) override;

private:
    QWidget* MakeControl(const ControlTemplate& control);

    DialogUnits m_units;
    QHash<int, QWidget*> m_controls;
    bool m_initialized = false;
};

// Font of a template with `pointSize`: the system's sans-serif.
QFont DialogFont(int pointSize);

}  // namespace dlgkit
