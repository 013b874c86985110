// SPDX-License-Identifier: GPL-3.0-or-later
// The floating-point spin edit: an edit box with up and down buttons whose value is a
// floating-point number. The value lives only in the text: it is read by converting the text
// and written by formatting it. Out-of-range values are clamped when written and when the
// focus leaves; a step that cannot be taken beeps; text that is not a number is not taken.
#pragma once

#include <QAbstractSpinBox>

#include <string>

// 80-bit floating point where the platform has it.
using Extended = long double;

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// The text of a value: ffGeneral the shorter of fixed and scientific with Precision significant
// digits and at least Digits exponent digits; ffExponent d.ddd...E+dd with Precision significant
// digits and at least Digits exponent digits; ffFixed Digits decimals, the value rounded to
// Precision significant digits first (scientific when the integer part has more digits);
// ffNumber as ffFixed with thousands separators; ffCurrency the locale's currency symbol before
// the ffNumber text. The user's decimal separator throughout.
std::string FloatToStrF(Extended Value, TFloatFormat Format, int Precision, int Digits);

class TFloatEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TFloatEdit(QWidget* Parent = nullptr);

    // Step of the buttons; with Multiply the steps multiply and divide instead.
    Extended Increment = 1.0;
    // Bounds; none apply while they are equal. MinValue is also the value of a text that is
    // not a number.
    Extended MinValue = 0;
    Extended MaxValue = 0;
    bool Multiply = false;

    int MinWidth() const { return FMinWidth; }
    int Decimals() const { return FDecimals; }
    TFloatFormat FType() const { return FFType; }
    // A new precision, digits count or format writes the value again in it.
    void SetMinWidth(int Value);
    void SetDecimals(int Value);
    void SetFType(TFloatFormat Value);

    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    // False refuses typing into the editor; the buttons still step.
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool Value) { FEditorEnabled = Value; }

    Extended GetValue() const;
    void SetValue(Extended V);
    Extended CheckValue(Extended V) const;
    QString Text() const;
    void SetText(const QString& Value);

    void Up();
    void Down();
    bool AcceptsKey(char Key) const;
    void CMExit();

    void stepBy(int Steps) override;

    // Acceptable for a number, Intermediate for the beginning of one, Invalid for anything else:
    // the editor refuses an edit or a paste that would make the text Invalid.
    QValidator::State validate(QString& Input, int& Pos) const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;

private:
    int FMinWidth = 10;
    int FDecimals = 4;
    TFloatFormat FFType = ffGeneral;
    bool FReadOnly = false;
    bool FEditorEnabled = true;
};
