// An IPv4 address field: four edits of 0 to 255 between dots.
//
// Each field accepts only digits up to 255. A blank field reads as 0, so an
// empty control yields 0.0.0.0. Typing three digits or a dot moves on to the
// next field. The fields are children named "field1" .. "field4".
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;

namespace dlgkit {

class Ipv4AddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit Ipv4AddressEdit(QWidget* parent = nullptr);

    // First field in the most significant byte.
    std::uint32_t Address() const;
    // Shows all four fields, "0" included.
    void SetAddress(std::uint32_t address);
    // Blanks all four fields.
    void Clear();
    // The field `index` (0..3), for focus handling and tests.
    QLineEdit* Field(int index) const { return m_fields[index]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void LayOut();
    int IndexOf(QObject* field) const;

    std::array<QLineEdit*, 4> m_fields{};
};

}  // namespace dlgkit
