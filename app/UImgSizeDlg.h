// SPDX-License-Identifier: GPL-3.0-or-later
// The "Render at Resolution" dialog: the drawing's new size in inches or centimetres at a
// resolution, and in pixels, each kept in the drawing's aspect, with the estimated size of the
// picture in memory. Made once at start-up and reused; the unit survives between uses.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TFloatEdit;

// A byte count as "1.373 MBytes", "29.3 KBytes", "300 Bytes": four significant digits.
std::string FormatEstimatedSize(int64_t Bytes);

class TFImgSizeDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFImgSizeDlg(QWidget* Parent = nullptr);

    QGroupBox* gbSizeInches;
    QRadioButton* rbInches;
    QRadioButton* rbCentimeters;
    TFloatEdit* seHorizInches;
    TFloatEdit* seVertInches;
    QSpinBox* seRes;
    QLabel* lblPerInches;
    QGroupBox* gbSizePixels;
    QSpinBox* seHorizPixels;
    QSpinBox* seVertPixels;
    QLabel* lblEstimSize;
    QPushButton* btOk;
    QPushButton* btCancel;

    // The controls whose handlers are detached and attached together.
    std::array<QWidget*, 5> Edits;

    void SetImageWidth(int Value);
    void SetImageHeight(int Value);
    void SetResolution(int Value);
    int GetPixelWidth() const;
    int GetPixelHeight() const;
    int GetResolution() const;
    // Pixels per inch or per centimetre; 0 for an unknown unit.
    float PixelsPerUnit() const;

    void UpdateEstimatedSize();
    void FormShow();
    void OnChange(QObject* Sender);
    void OnKeyUp(QObject* Sender);
    void rbInchesClick();
    void rbCentimetersClick();

    float Aspect() const { return FAspect; }
    uint8_t Unit() const { return FUnit; }

    // Save closes only with both pixel sides at least 1; otherwise it says so and stays.
    bool FormClose();

    int ShowModal();

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;

private:
    void Attach();
    void Detach();
    // Rounds half up to two decimals.
    static double R2(double X);
    // Writes both pixel edits; a side beyond the edits' largest value scales both down alike, so
    // the picture keeps the drawing's aspect. Says whether it did.
    bool SetPixels(double Width, double Height);
    // The pixel edits from the size edits; when a side was capped the size edits then show the
    // size that will be rendered.
    void SetPixelsFromSize();
    void SetSizeFromPixels();

    bool FAttached = false;
    int FImageHeight = 600;
    int FImageWidth = 800;
    float FAspect = 800.0f / 600.0f;
    uint8_t FUnit = 0;
    int FResolution = 72;
};
