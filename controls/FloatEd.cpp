// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/FloatEd.h"

#include "platform/qt/Beep.h"
#include "platform/rtl/Format.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdio>

// ---------------------------------------------------------------------------------------------
// Number texts

namespace {
// A value as decimal digits: Value = 0.Digits x 10^Exponent, Digits without trailing zeros
// (empty for zero).
struct TDecimal {
    std::string Digits;
    int Exponent = 0;
};

// The digits of |Value| rounded half away from zero to Keep significant digits (Keep may be 0
// or less: rounding at or before the first digit).
TDecimal ToDecimal(Extended Value, int Keep) {
    TDecimal d;
    if (Value == 0) return d;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.19Le", std::fabs(Value));
    std::string all;
    const char* p = buffer;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') all += *p;
    d.Exponent = std::atoi(p + 1) + 1;
    if (Keep < static_cast<int>(all.size())) {
        const bool up = Keep >= 0 && all[static_cast<size_t>(Keep)] >= '5';
        all.resize(static_cast<size_t>(std::max(Keep, 0)));
        if (up) {
            int i = Keep - 1;
            while (i >= 0 && all[static_cast<size_t>(i)] == '9')
                all[static_cast<size_t>(i--)] = '0';
            if (i < 0) {
                all.insert(all.begin(), '1');
                ++d.Exponent;
            } else {
                ++all[static_cast<size_t>(i)];
            }
        }
    }
    while (!all.empty() && all.back() == '0')
        all.pop_back();
    d.Digits = all;
    if (d.Digits.empty()) d.Exponent = 0;
    return d;
}

char DigitAt(const TDecimal& D, int Index) {
    return Index >= 0 && Index < static_cast<int>(D.Digits.size()) ? D.Digits[static_cast<size_t>(Index)]
                                                                   : '0';
}

char ThousandSeparator() {
    return DecimalSeparator() == ',' ? '.' : ',';
}

std::string ExponentText(Extended Value, int Precision, int Digits) {
    const TDecimal d = ToDecimal(Value, Precision);
    std::string text = Value < 0 && !d.Digits.empty() ? "-" : "";
    text += DigitAt(d, 0);
    if (Precision > 1) {
        text += DecimalSeparator();
        for (int i = 1; i < Precision; ++i)
            text += DigitAt(d, i);
    }
    const int exponent = d.Digits.empty() ? 0 : d.Exponent - 1;
    std::string e = std::to_string(std::abs(exponent));
    if (static_cast<int>(e.size()) < Digits)
        e.insert(0, static_cast<size_t>(Digits - static_cast<int>(e.size())), '0');
    return text + (exponent < 0 ? "E-" : "E+") + e;
}

std::string FixedText(Extended Value, int Precision, int Digits, bool Grouped) {
    const TDecimal first = ToDecimal(Value, 19);
    if (first.Exponent > Precision) return ExponentText(Value, Precision, 0);
    const TDecimal d = ToDecimal(Value, std::min(Precision, first.Exponent + Digits));
    std::string integer;
    for (int i = 0; i < d.Exponent; ++i)
        integer += DigitAt(d, i);
    if (integer.empty()) integer.push_back('0');
    if (Grouped) {
        std::string grouped;
        const size_t n = integer.size();
        for (size_t i = 0; i < n; ++i) {
            if (i > 0 && (n - i) % 3 == 0) grouped += ThousandSeparator();
            grouped += integer[i];
        }
        integer = grouped;
    }
    std::string text = Value < 0 && !d.Digits.empty() ? "-" : "";
    text += integer;
    if (Digits > 0) {
        text += DecimalSeparator();
        for (int i = 0; i < Digits; ++i)
            text += DigitAt(d, d.Exponent + i);
    }
    return text;
}
} // namespace

std::string FloatToStrF(Extended Value, TFloatFormat Format, int Precision, int Digits) {
    if (std::isnan(Value)) return "NAN";
    if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
    Precision = std::clamp(Precision, 1, 18);
    switch (Format) {
    case ffExponent:
        return ExponentText(Value, Precision, std::clamp(Digits, 0, 4));
    case ffFixed:
        return FixedText(Value, Precision, std::clamp(Digits, 0, 18), false);
    case ffNumber:
        return FixedText(Value, Precision, std::clamp(Digits, 0, 18), true);
    case ffCurrency: {
        const std::string number = FixedText(std::fabs(Value), Precision, std::clamp(Digits, 0, 18), true);
        const std::string symbol = QLocale::system().currencySymbol().toStdString();
        return (Value < 0 ? "-" : "") + symbol + number;
    }
    case ffGeneral:
    default:
        return FloatToStrGeneral(static_cast<double>(Value), Precision, Digits);
    }
}

namespace {
// A number as the user types it: optional blanks, a sign, digits with at most one decimal
// separator (at least one digit in all) and an optional exponent. False for anything else.
bool TextToFloat(std::string Text, Extended& Value) {
    const auto first = Text.find_first_not_of(' ');
    if (first == std::string::npos) return false;
    Text = Text.substr(first, Text.find_last_not_of(' ') - first + 1);
    std::string plain;
    size_t i = 0;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
        if (Text[i] == '-') plain += '-';
        ++i;
    }
    bool digits = false, separator = false;
    for (; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            plain += c;
        } else if (c == DecimalSeparator() && !separator) {
            separator = true;
            plain += '.';
        } else {
            break;
        }
    }
    if (!digits) return false;
    if (i < Text.size() && (Text[i] == 'e' || Text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) plain += Text[i++];
        bool exponentDigits = false;
        for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) {
            exponentDigits = true;
            plain += Text[i];
        }
        if (!exponentDigits) return false;
    }
    if (i != Text.size()) return false;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), Value);
    return result.ec == std::errc() && result.ptr == plain.data() + plain.size() && std::isfinite(Value);
}

// A text that more typing can still make a number: what TextToFloat reads, cut short anywhere
// ("", "-", "2.", "1E").
bool IsNumberBeginning(const std::string& Text) {
    size_t i = Text.find_first_not_of(' ');
    if (i == std::string::npos) return true;
    const size_t end = Text.find_last_not_of(' ') + 1;
    if (Text[i] == '+' || Text[i] == '-') ++i;
    bool digits = false, separator = false;
    for (; i < end; ++i) {
        const char c = Text[i];
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == DecimalSeparator() && !separator)
            separator = true;
        else
            break;
    }
    if (i < end && digits && (Text[i] == 'e' || Text[i] == 'E')) {
        ++i;
        if (i < end && (Text[i] == '+' || Text[i] == '-')) ++i;
        while (i < end && Text[i] >= '0' && Text[i] <= '9')
            ++i;
    }
    return i == end;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// The edit

TFloatEdit::TFloatEdit(QWidget* Parent) : QAbstractSpinBox(Parent) {
    SetValue(0);
}

QString TFloatEdit::Text() const {
    return lineEdit()->text();
}

void TFloatEdit::SetText(const QString& Value) {
    lineEdit()->setText(Value);
}

Extended TFloatEdit::GetValue() const {
    Extended value;
    return TextToFloat(Text().toStdString(), value) ? value : MinValue;
}

QValidator::State TFloatEdit::validate(QString& Input, int&) const {
    // Typed or pasted text that is not a number is refused, as the key filter refuses letters.
    Extended value;
    const std::string text = Input.toStdString();
    if (TextToFloat(text, value)) return QValidator::Acceptable;
    return IsNumberBeginning(text) ? QValidator::Intermediate : QValidator::Invalid;
}

void TFloatEdit::SetValue(Extended V) {
    V = CheckValue(V);
    SetText(QString::fromStdString(FloatToStrF(V, FFType, FMinWidth, FDecimals)));
}

Extended TFloatEdit::CheckValue(Extended V) const {
    if (MinValue != MaxValue) {
        if (V < MinValue) return MinValue;
        if (V > MaxValue) return MaxValue;
    }
    return V;
}

void TFloatEdit::SetMinWidth(int Value) {
    if (Value == FMinWidth) return;
    FMinWidth = Value;
    SetValue(GetValue());
}

void TFloatEdit::SetDecimals(int Value) {
    if (Value == FDecimals) return;
    FDecimals = Value;
    SetValue(GetValue());
}

void TFloatEdit::SetFType(TFloatFormat Value) {
    if (Value == FFType) return;
    FFType = Value;
    SetValue(GetValue());
}

void TFloatEdit::SetReadOnly(bool Value) {
    FReadOnly = Value;
    lineEdit()->setReadOnly(Value);
}

void TFloatEdit::Up() {
    if (FReadOnly) {
        MessageBeep();
        return;
    }
    SetValue(Multiply ? GetValue() * Increment : GetValue() + Increment);
}

void TFloatEdit::Down() {
    if (Increment == 0 || FReadOnly) {
        MessageBeep();
        return;
    }
    SetValue(Multiply ? GetValue() / Increment : GetValue() - Increment);
}

bool TFloatEdit::AcceptsKey(char Key) const {
    const unsigned char k = static_cast<unsigned char>(Key);
    bool accepted = Key == DecimalSeparator() || Key == '+' || Key == '-' || (Key >= '0' && Key <= '9') ||
                    (k < 32 && k != 13);
    if (!FEditorEnabled && accepted && (k >= 32 || k == 8 || k == 46)) accepted = false;
    return accepted;
}

void TFloatEdit::CMExit() {
    const Extended value = GetValue();
    if (CheckValue(value) != value) SetValue(value);
}

void TFloatEdit::stepBy(int Steps) {
    // The buttons and the arrow keys take one step at a time.
    if (Steps > 0)
        Up();
    else if (Steps < 0)
        Down();
}

QAbstractSpinBox::StepEnabled TFloatEdit::stepEnabled() const {
    // Always both: a step that cannot be taken beeps instead.
    return StepUpEnabled | StepDownEnabled;
}

void TFloatEdit::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Up:
        Up();
        return;
    case Qt::Key_Down:
        Down();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        Event->ignore();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        QAbstractSpinBox::keyPressEvent(Event);
        return;
    case Qt::Key_Delete:
        // Deleting is typing too.
        if (!FEditorEnabled) return;
        QAbstractSpinBox::keyPressEvent(Event);
        return;
    default:
        break;
    }
    const QString text = Event->text();
    if (!text.isEmpty()) {
        const char32_t c = text.toUcs4().value(0);
        // Characters beyond ASCII are printable and never a digit or a sign.
        if (c > 127 || !AcceptsKey(static_cast<char>(c))) return;
    }
    QAbstractSpinBox::keyPressEvent(Event);
}

void TFloatEdit::focusOutEvent(QFocusEvent* Event) {
    QAbstractSpinBox::focusOutEvent(Event);
    CMExit();
}

void TFloatEdit::wheelEvent(QWheelEvent* Event) {
    // The wheel does not step the value; it scrolls whatever lies below.
    Event->ignore();
}
