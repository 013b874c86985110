// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/FloatEd.h"
#include "platform/qt/Beep.h"
#include "platform/rtl/Format.h"

#include <QApplication>
#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {
// Counts the beeps of a test and restores the desktop's beep afterwards.
struct BeepCounter {
    int Count = 0;
    BeepCounter() {
        SetBeepHandler([this] { ++Count; });
    }
    ~BeepCounter() { SetBeepHandler(nullptr); }
};

// The point of a spin button.
class ButtonEdit : public TFloatEdit {
public:
    QPoint ButtonCentre(QStyle::SubControl Button) const {
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_SpinBox, &option, Button, this).center();
    }
};

// As the image-size dialog sets its two edits.
void ImageSizeSettings(TFloatEdit& Edit, Extended Initial) {
    Edit.Increment = 1;
    Edit.MaxValue = 100000;
    Edit.SetMinWidth(10);
    Edit.SetDecimals(2);
    Edit.SetFType(ffGeneral);
    Edit.Multiply = false;
    Edit.SetValue(Initial);
}
} // namespace

TEST(FloatToStrF, Formats) {
    SetDecimalSeparator('.');
    EXPECT_EQ(FloatToStrF(600, ffGeneral, 10, 2), "600");
    EXPECT_EQ(FloatToStrF(2.5, ffGeneral, 10, 4), "2.5");
    EXPECT_EQ(FloatToStrF(1234.5, ffExponent, 4, 2), "1.235E+03");
    EXPECT_EQ(FloatToStrF(-0.015, ffExponent, 2, 0), "-1.5E-2");
    EXPECT_EQ(FloatToStrF(1234.5678, ffFixed, 4, 2), "1235.00");
    EXPECT_EQ(FloatToStrF(0.5, ffFixed, 10, 2), "0.50");
    EXPECT_EQ(FloatToStrF(2.675, ffFixed, 10, 0), "3");
    EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 10, 2), "0.00");
    EXPECT_EQ(FloatToStrF(999.996, ffFixed, 10, 2), "1000.00");
    EXPECT_EQ(FloatToStrF(123456, ffFixed, 4, 2), "1.235E+5");
    EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 10, 2), "1,234,567.89");
    EXPECT_EQ(FloatToStrF(123, ffNumber, 10, 0), "123");
}

TEST(FloatEdit, DefaultsAcceptAnyValue) {
    TFloatEdit edit;
    EXPECT_EQ(edit.Increment, 1.0L);
    EXPECT_EQ(edit.MinWidth(), 10);
    EXPECT_EQ(edit.Decimals(), 4);
    EXPECT_EQ(edit.FType(), ffGeneral);
    EXPECT_FALSE(edit.Multiply);
    EXPECT_EQ(edit.Text(), "0");
    edit.SetValue(-5.5L);
    EXPECT_EQ(edit.Text(), "-5.5");
    edit.SetValue(1e9L);
    EXPECT_EQ(edit.Text(), "1000000000");
    EXPECT_EQ(edit.GetValue(), 1e9L);
}

TEST(FloatEdit, TextsThatAreNotNumbersReadAsMinValue) {
    SetDecimalSeparator('.');
    TFloatEdit edit;
    edit.MinValue = 3;
    edit.MaxValue = 9;
    for (const char* text : {"", "abc", "1.2.3", "inf", "nan", "1e", "--1", "0x10", " . "}) {
        edit.SetText(text);
        EXPECT_EQ(edit.GetValue(), 3.0L) << text;
    }
    edit.SetText("  12.5 ");
    EXPECT_EQ(edit.GetValue(), 12.5L); // read as it stands; clamping happens on writing
    edit.SetText("+1e3");
    EXPECT_EQ(edit.GetValue(), 1000.0L);
    SetDecimalSeparator(',');
    edit.SetText("2,5");
    EXPECT_EQ(edit.GetValue(), 2.5L);
    edit.SetText("2.5");
    EXPECT_EQ(edit.GetValue(), 3.0L);
    SetDecimalSeparator('.');
}

TEST(FloatEdit, StepsAndBeeps) {
    BeepCounter beeps;
    ButtonEdit edit;
    ImageSizeSettings(edit, 600);
    edit.resize(120, 24);
    edit.show();
    EXPECT_EQ(edit.Text(), "600");
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.Text(), "601");
    QTest::mouseClick(&edit, Qt::LeftButton, {}, edit.ButtonCentre(QStyle::SC_SpinBoxDown));
    EXPECT_EQ(edit.Text(), "600");
    QTest::mouseClick(&edit, Qt::LeftButton, {}, edit.ButtonCentre(QStyle::SC_SpinBoxUp));
    EXPECT_EQ(edit.Text(), "601");
    edit.SetValue(100000);
    edit.Up();
    EXPECT_EQ(edit.Text(), "100000");
    EXPECT_EQ(beeps.Count, 0);

    edit.SetReadOnly(true);
    QTest::keyClick(&edit, Qt::Key_Up);
    QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(beeps.Count, 2);
    EXPECT_EQ(edit.Text(), "100000");
    edit.SetReadOnly(false);

    edit.Multiply = true;
    edit.Increment = 2;
    edit.SetValue(10);
    edit.Up();
    EXPECT_EQ(edit.Text(), "20");
    edit.Down();
    edit.Down();
    EXPECT_EQ(edit.Text(), "5");
    edit.Increment = 0;
    edit.Up(); // 5 x 0
    EXPECT_EQ(edit.Text(), "0");
    edit.Down(); // no division by zero
    EXPECT_EQ(beeps.Count, 3);
    EXPECT_EQ(edit.Text(), "0");
}

TEST(FloatEdit, ClampsWhenTheFocusLeaves) {
    QWidget form;
    auto* layout = new QVBoxLayout(&form);
    auto* edit = new TFloatEdit;
    auto* other = new QLineEdit;
    layout->addWidget(edit);
    layout->addWidget(other);
    ImageSizeSettings(*edit, 500);
    form.show();
    QApplication::setActiveWindow(&form);
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    edit->selectAll();
    QTest::keyClicks(edit, "200000");
    EXPECT_EQ(edit->Text(), "200000");
    other->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }));
    EXPECT_EQ(edit->Text(), "100000");

    // A value inside the bounds keeps its text as typed.
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    edit->selectAll();
    QTest::keyClicks(edit, "12.50");
    other->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }));
    EXPECT_EQ(edit->Text(), "12.50");
}

TEST(FloatEdit, KeyFilter) {
    SetDecimalSeparator('.');
    TFloatEdit edit;
    edit.show();
    edit.SetText("");
    // Letters are refused by the key filter, a sign that makes no number by the validator.
    QTest::keyClicks(&edit, "1a2.5x-");
    EXPECT_EQ(edit.Text(), "12.5");
    EXPECT_FALSE(edit.AcceptsKey(13));
    EXPECT_TRUE(edit.AcceptsKey(8));
    EXPECT_FALSE(edit.AcceptsKey(','));

    edit.SetEditorEnabled(false);
    EXPECT_FALSE(edit.AcceptsKey('5'));
    EXPECT_FALSE(edit.AcceptsKey(8));
    EXPECT_FALSE(edit.AcceptsKey(46));
    EXPECT_TRUE(edit.AcceptsKey(1));
    QTest::keyClicks(&edit, "7");
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.Text(), "12.5");
    edit.SetText("3");
    QTest::keyClick(&edit, Qt::Key_Up); // the buttons and arrows still step
    EXPECT_EQ(edit.Text(), "4");
}

TEST(FloatEdit, FormatChangesRewriteTheValueOnce) {
    SetDecimalSeparator('.');
    TFloatEdit edit;
    edit.SetFType(ffFixed);
    edit.SetValue(1.23456L);
    EXPECT_EQ(edit.Text(), "1.2346");
    edit.SetDecimals(2);
    EXPECT_EQ(edit.Text(), "1.23");
    edit.SetText("1.239");
    edit.SetDecimals(2);
    EXPECT_EQ(edit.Text(), "1.239");
    edit.SetMinWidth(2);
    EXPECT_EQ(edit.Text(), "1.20");
    edit.SetFType(ffGeneral);
    EXPECT_EQ(edit.Text(), "1.2");
}
