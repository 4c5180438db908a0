#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "QtTestSupport.h"
#include "dialogkit/DialogUnits.h"
#include "dialogkit/Ipv4AddressEdit.h"
#include "dialogkit/MultiLineCheckBox.h"
#include "dialogkit/TemplateDialog.h"

namespace {

using dlgkit::DialogUnits;

TEST(DialogUnitsTest, ConvertsWithQuarterAndEighthOfTheBasesRoundedToNearest) {
    struct Case {
        int baseX, baseY, units, expectX, expectY;
    };
    const Case cases[] = {
        {7, 14, 722, 1264, 1264},  // 722*7/4 = 1263.5 rounds up; 722*14/8 = 1263.5 likewise
        {7, 14, 294, 515, 515},
        {6, 13, 4, 6, 7},
        {6, 13, 1, 2, 2},          // 1.5 and 1.625
        {8, 16, 0, 0, 0},
        {5, 11, 3, 4, 4},          // 3.75 and 4.125
    };
    for (const Case& c : cases) {
        const DialogUnits units(c.baseX, c.baseY);
        EXPECT_EQ(units.ToPixelsX(c.units), c.expectX) << c.baseX << " " << c.units;
        EXPECT_EQ(units.ToPixelsY(c.units), c.expectY) << c.baseY << " " << c.units;
    }
}

TEST(DialogUnitsTest, BasesComeFromTheFont) {
    korvotest::App();
    QFont small = dlgkit::DialogFont(8);
    QFont large = dlgkit::DialogFont(16);
    const DialogUnits a(small), b(large);
    EXPECT_GT(a.BaseX(), 0);
    EXPECT_GT(a.BaseY(), a.BaseX());  // characters are taller than wide
    EXPECT_GT(b.BaseX(), a.BaseX());
    EXPECT_GT(b.BaseY(), a.BaseY());
}

const dlgkit::ControlTemplate kControls[] = {
    {10, "IDC_LABEL", dlgkit::ControlKind::Label, 4, 8, 40, 10, u"标签"},
    {11, "IDC_EDIT", dlgkit::ControlKind::Edit, 50, 8, 40, 12, nullptr},
    {12, "IDC_HIDDEN", dlgkit::ControlKind::Edit, 50, 24, 40, 12, nullptr, dlgkit::kStyleHidden},
    {13, "IDC_COMBO", dlgkit::ControlKind::DropDownList, 4, 40, 60, 14, u"A\nB\nC"},
    {14, "IDC_WRAP", dlgkit::ControlKind::CheckBox, 4, 60, 40, 20, u"a long text", dlgkit::kStyleMultiLine},
    {dlgkit::kIdStatic, "IDC_STATIC", dlgkit::ControlKind::BlackFrame, 2, 2, 96, 90, nullptr},
};
const dlgkit::DialogTemplate kTemplate = {900, "IDD_SAMPLE", u"Sample", 100, 100, 9, false, kControls};

TEST(TemplateDialogTest, MakesEveryControlAtItsPlaceNamedAfterItsId) {
    korvotest::App();
    dlgkit::TemplateDialog dialog(kTemplate);
    const DialogUnits& units = dialog.Units();
    EXPECT_EQ(dialog.objectName(), "IDD_SAMPLE");
    EXPECT_EQ(dialog.windowTitle(), "Sample");
    EXPECT_EQ(dialog.size(), QSize(units.ToPixelsX(100), units.ToPixelsY(100)));
    for (const auto& control : kControls) {
        if (control.id == dlgkit::kIdStatic) continue;
        QWidget* widget = dialog.GetDlgItem(control.id);
        ASSERT_NE(widget, nullptr) << control.name;
        EXPECT_EQ(widget->objectName(), control.name);
        EXPECT_EQ(widget->geometry(), units.ToPixels(control.x, control.y, control.cx, control.cy)) << control.name;
        EXPECT_EQ(widget, dialog.findChild<QWidget*>(control.name));
    }
    EXPECT_EQ(dialog.GetDlgItem(99), nullptr);
    EXPECT_EQ(dialog.GetDlgItemText(10), QStringLiteral(u"标签"));
    EXPECT_TRUE(dialog.GetDlgItem(12)->isHidden());
    EXPECT_FALSE(dialog.GetDlgItem(11)->isHidden());
    auto* combo = dialog.GetDlgItemAs<QComboBox>(13);
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), "C");
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_NE(dialog.GetDlgItemAs<dlgkit::MultiLineCheckBox>(14), nullptr);

    dialog.SetDlgItemText(11, "typed");
    EXPECT_EQ(dialog.GetDlgItemAs<QLineEdit>(11)->text(), "typed");
    dialog.SetDlgItemText(14, "wrapped");
    EXPECT_EQ(dialog.GetDlgItemText(14), "wrapped");
}

TEST(TemplateDialogTest, EditsKeepOnlyTheFirstLineOfWhatIsPastedOrSet) {
    korvotest::App();
    dlgkit::TemplateDialog dialog(kTemplate);
    auto* edit = dialog.GetDlgItemAs<QLineEdit>(11);
    ASSERT_NE(edit, nullptr);
    const struct {
        QString put;
        QString kept;
    } cases[] = {
        {"secret\n", "secret"},
        {"ab\r\ncd", "ab"},
        {"ab\ncd", "ab"},
        {QString("x") + QChar(0) + "y", "x"},
        {"plain text", "plain text"},
    };
    for (const auto& c : cases) {
        edit->clear();
        edit->insert(c.put);  // what a paste does
        EXPECT_EQ(edit->text(), c.kept) << c.put.toStdString();
        dialog.SetDlgItemText(11, c.put);
        EXPECT_EQ(dialog.GetDlgItemText(11), c.kept) << c.put.toStdString();
    }
}

TEST(TemplateDialogTest, MultiLineCheckBoxTogglesOnAClickOnItsText) {
    korvotest::App();
    dlgkit::TemplateDialog dialog(kTemplate);
    dialog.show();
    auto* box = dialog.GetDlgItemAs<QCheckBox>(14);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 3, box->height() - 3));
    EXPECT_TRUE(box->isChecked());
}

class Ipv4AddressEditTest : public ::testing::Test {
protected:
    // The widget may only be made once the application exists.
    Ipv4AddressEditTest() : m_owner((korvotest::App(), std::make_unique<dlgkit::Ipv4AddressEdit>())), m_edit(*m_owner) {}
    void SetUp() override {
        m_edit.resize(160, 24);
        m_edit.show();
        QApplication::setActiveWindow(&m_edit);
    }
    std::unique_ptr<dlgkit::Ipv4AddressEdit> m_owner;
    dlgkit::Ipv4AddressEdit& m_edit;
};

TEST_F(Ipv4AddressEditTest, BlankFieldsReadAsZero) {
    EXPECT_EQ(m_edit.Address(), 0u);
    m_edit.Field(0)->setText("10");
    m_edit.Field(3)->setText("7");
    EXPECT_EQ(m_edit.Address(), 0x0A000007u);
}

TEST_F(Ipv4AddressEditTest, ShowsAndReadsBackEveryOctet) {
    for (std::uint32_t address : {0u, 0xC0000210u, 0xFFFFFFFFu, 0x01020304u}) {
        m_edit.SetAddress(address);
        EXPECT_EQ(m_edit.Address(), address);
    }
    m_edit.SetAddress(0xC0000210u);
    EXPECT_EQ(m_edit.Field(0)->text(), "192");
    EXPECT_EQ(m_edit.Field(2)->text(), "2");
    m_edit.Clear();
    EXPECT_EQ(m_edit.Field(1)->text(), "");
}

TEST_F(Ipv4AddressEditTest, TypingMovesOnAfterThreeDigitsOrADotAndRefusesAbove255) {
    m_edit.Field(0)->setFocus();
    QTest::keyClicks(m_edit.Field(0), "192");       // three digits: next field
    QTest::keyClicks(QApplication::focusWidget(), "0.");  // a dot: next field
    QTest::keyClicks(QApplication::focusWidget(), "999");  // the validator keeps it from 255+
    QTest::keyClicks(m_edit.Field(3), "7");
    EXPECT_EQ(m_edit.Field(0)->text(), "192");
    EXPECT_EQ(m_edit.Field(1)->text(), "0");
    EXPECT_EQ(m_edit.Field(2)->text(), "255");
    EXPECT_EQ(m_edit.Field(3)->text(), "7");
    EXPECT_EQ(m_edit.Address(), 0xC000FF07u);
}

}  // namespace
