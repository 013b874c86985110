// SPDX-License-Identifier: GPL-3.0-or-later
// The resample dialog: offered when an opened picture has more than about one megapixel, it
// proposes a smaller size of the same aspect. "Resample" accepts the size in the two spin edits,
// "Leave original" keeps the picture as read; neither closes the dialog while a side is larger
// than the picture or below 100.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;

class TFResample : public QDialog {
    Q_OBJECT
public:
    explicit TFResample(QWidget* Parent = nullptr);

    QLabel* lblOriginal;
    QLabel* lblRes;
    QLabel* lblRecommended;
    QSpinBox* seWidth;
    QLabel* lblTimes;
    QSpinBox* seHeight;
    QPushButton* btResample;
    QPushButton* btLeave;

    // Width / height of the proposed size, set when the dialog is shown.
    float Aspect = 1.0f;
    // Written by the loader before the dialog is shown.
    int PictureHeight = 0;
    int PictureWidth = 0;
    int RecommendedWidth = 0;
    int RecommendedHeight = 0;

    void FormShow();
    // Keeps the proposed aspect: the other spin edit follows the one that changed.
    void OnChange(QObject* Sender);
    // True when the dialog may close; otherwise the user was told why not.
    bool FormClose();

    // Shows the dialog modally; returns its modal result (QDialog::Accepted for "Resample").
    int ShowModal();

protected:
    void showEvent(QShowEvent* Event) override;
    void done(int Result) override;

private:
    void Attach();
    void Detach();
    bool FAttached = false;
};
