// SPDX-License-Identifier: GPL-3.0-or-later
// What the applied steps' stroke logs give back: the strokes filled again at another scale, and
// the PostScript file with one filled polygon per stroke.
#include "document/BufferedWriter.h"
#include "document/QStates.h"
#include "engine/QTypes.h"
#include "engine/Strokes.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Round.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr uint64_t Pow10[] = {1ull,
                              10ull,
                              100ull,
                              1000ull,
                              10000ull,
                              100000ull,
                              1000000ull,
                              10000000ull,
                              100000000ull,
                              1000000000ull,
                              10000000000ull,
                              100000000000ull,
                              1000000000000ull,
                              10000000000000ull,
                              100000000000000ull,
                              1000000000000000ull,
                              10000000000000000ull,
                              100000000000000000ull,
                              1000000000000000000ull};

// Q / 10^K rounded half away from zero.
uint64_t DivRound(uint64_t Q, int K) {
    if (K <= 0) return Q;
    if (K > 18) return 0;
    const uint64_t d = Pow10[K];
    return Q / d + ((Q % d) * 2 >= d ? 1 : 0);
}

// The first nine significant digits truncated, rounded half away from zero to eight.
uint64_t EightDigits(uint64_t NineDigits) {
    return NineDigits / 10 + (NineDigits % 10 >= 5 ? 1 : 0);
}

// Q4 (the value times 10^4, already rounded) written with a point before its last four digits.
void AppendFixed4(std::string& Out, bool Negative, uint64_t Q4) {
    if (Negative && Q4 != 0) Out += '-';
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + Q4 % 10);
        Q4 /= 10;
    } while (Q4 != 0 || n < 5);
    while (n > 4)
        Out += digits[--n];
    Out += '.';
    while (n > 0)
        Out += digits[--n];
}

// The same for digits in text form, for values whose tenths of thousandths pass 64 bits.
void AppendFixed4(std::string& Out, bool Negative, const std::string& Q4) {
    if (Negative && Q4 != "0") Out += '-';
    std::string digits = Q4;
    if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
    Out.append(digits, 0, digits.size() - 4);
    Out += '.';
    Out.append(digits, digits.size() - 4, 4);
}

std::array<std::string, 256> MakeColorComponents() {
    std::array<std::string, 256> texts;
    for (int i = 0; i < 256; ++i)
        texts[static_cast<size_t>(i)] = PSNumberReference(i / 255.0) + " ";
    return texts;
}

const std::array<std::string, 256>& ColorComponents() {
    static const std::array<std::string, 256> texts = MakeColorComponents();
    return texts;
}

// The page point of a 16.16 stroke point: (X s K, (H - Y) s K), each a Single.
struct TPageTransform {
    double S = 0;
    double K = 0;
    double H = 0;
    void Append(std::string& Out, const TFixedPoint& P) const {
        AppendPSNumber(Out, static_cast<float>(P.X / 65536.0 * S * K));
        Out += ' ';
        AppendPSNumber(Out, static_cast<float>((H - P.Y / 65536.0) * S * K));
    }
};
} // namespace

std::string PSNumberReference(double Value) {
    std::string out;
    const double a = std::fabs(Value);
    if (!std::isfinite(Value) || a == 0) {
        AppendFixed4(out, false, uint64_t{0});
        return out;
    }
    // Far more digits than the nine looked at, so the printer's own rounding never reaches them.
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.60e", a);
    uint64_t nine = 0;
    const char* p = buffer;
    for (int n = 0; n < 9; ++p)
        if (*p >= '0' && *p <= '9') {
            nine = nine * 10 + static_cast<uint64_t>(*p - '0');
            ++n;
        }
    while (*p != 'e')
        ++p;
    const int exponent = std::atoi(p + 1); // of the first digit
    const uint64_t r8 = EightDigits(nine); // the value is r8 x 10^(exponent - 7)
    if (exponent >= 3) {
        std::string q4 = std::to_string(r8);
        q4.append(static_cast<size_t>(exponent - 3), '0');
        AppendFixed4(out, Value < 0, q4);
    } else {
        AppendFixed4(out, Value < 0, DivRound(r8, 3 - exponent));
    }
    return out;
}

void AppendPSNumber(std::string& Out, float Value) {
    const float a = std::fabs(Value);
    if (!(a < 1e4f)) {
        Out += PSNumberReference(Value);
        return;
    }
    if (a < 1e-5f) {
        AppendFixed4(Out, false, uint64_t{0});
        return;
    }
    // a = m 2^-s exactly, m of 24 bits; x = floor(a 10^13) holds 9 to 17 digits.
    int e = 0;
    const float f = std::frexp(a, &e);
    const uint64_t m = static_cast<uint64_t>(std::ldexp(f, 24));
    const int s = 24 - e;
    const uint64_t x = static_cast<uint64_t>((static_cast<unsigned __int128>(m) * Pow10[13]) >> s);
    int digits = 9;
    while (digits < 19 && x >= Pow10[digits])
        ++digits;
    const uint64_t r8 = EightDigits(x / Pow10[digits - 9]);
    // The value times 10^13 is r8 x 10^(digits - 8); times 10^4 it is r8 / 10^(17 - digits).
    AppendFixed4(Out, Value < 0, DivRound(r8, 17 - digits));
}

std::string ColorToPSString(TColor32 C) {
    const auto& texts = ColorComponents();
    return texts[RedComponent(C)] + texts[GreenComponent(C)] + texts[BlueComponent(C)];
}

std::string PointToPSString(float X, float Y) {
    std::string out;
    AppendPSNumber(out, X);
    out += ' ';
    AppendPSNumber(out, Y);
    return out;
}

void RenderStrokes(const TQStates& States, TBitmap32& Target, float Scale, const TPercentEvent& OnProgress) {
    const int32_t steps = States.Count();
    int64_t total = 0;
    for (int32_t i = 0; i < steps; ++i)
        if (const TStrokes* log = States.GetState(i)->Strokes()) total += log->Count();
    int64_t n = 0;
    TStrokeOutline stroke;
    for (int32_t i = 0; i < steps; ++i) {
        TStrokes* log = States.GetState(i)->Strokes();
        if (log == nullptr) continue;
        log->StartRead();
        while (log->Read(stroke)) {
            FillStrokeOutline(stroke.Left, stroke.Right, Target, stroke.Color, Scale);
            // total can only fall short of the strokes read when a log was changed behind our back.
            if (n % 10 == 0 && OnProgress && total > 0)
                OnProgress(nullptr, Round(static_cast<double>(n) * 100 / total));
            ++n;
        }
    }
}

void SaveToPostScript(const std::string& FileName, int32_t W, int32_t H, float K, const TQStates& States,
                      const TPercentEvent& OnProgress) {
    if (W < 1 || H < 1) RaiseException("SaveToPostScript: the drawing has no pixels");
    // One inch is one unit after "72 72 scale"; the page is 8.26 by 11.69 inches.
    const float s = static_cast<float>(std::min(8.26 / W, 11.69 / H));
    const float tx = static_cast<float>((8.26 - W * static_cast<double>(s) * K) / 2);
    const float ty = static_cast<float>((11.69 - H * static_cast<double>(s) * K) / 2);
    const TPageTransform page{s, K, static_cast<double>(H)};

    TBufferedWriter writer(FileName, 8192);
    writer.WriteLn("%!PS-Adobe-2.0");
    writer.WriteLn("%%Title: Quorvelle PS");
    writer.WriteLn("%%Creator: Quorvelle");
    writer.WriteLn("%%CreationDate: Thu Dec 28 13:15:44 PST 1989");
    writer.WriteLn("%%EndComments");
    writer.WriteLn("72 72 scale");
    writer.WriteLn(PointToPSString(tx, ty) + " translate");

    const int32_t count = States.Count();
    TStrokeOutline stroke;
    std::string line;
    for (int32_t i = 0; i < count; ++i) {
        if (OnProgress) OnProgress(nullptr, Round(i * 100.0 / count));
        TStrokes* log = States.GetState(i)->Strokes();
        if (log == nullptr) continue;
        log->StartRead();
        while (log->Read(stroke)) {
            // A record without a left point has no polygon to draw.
            if (stroke.Left.empty()) continue;
            writer.WriteLn("newpath");
            line.clear();
            page.Append(line, stroke.Left[0]);
            line += " moveto";
            writer.WriteLn(line);
            for (size_t j = 1; j < stroke.Left.size(); ++j) {
                line.clear();
                page.Append(line, stroke.Left[j]);
                line += " lineto";
                writer.WriteLn(line);
            }
            for (size_t j = stroke.Right.size(); j-- > 0;) {
                line.clear();
                page.Append(line, stroke.Right[j]);
                line += " lineto";
                writer.WriteLn(line);
            }
            writer.WriteLn(ColorToPSString(stroke.Color) + " setrgbcolor");
            writer.WriteLn(".1 setlinewidth");
            writer.WriteLn("closepath");
            writer.WriteLn("fill");
        }
    }
    writer.WriteLn("showpage");
    writer.Close();
}
