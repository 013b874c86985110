// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the splash picture, the program's version information, the machine's physical
// memory, a small animation and a scrolling credits panel. The animation and the credits move
// only while the box is shown.
#pragma once

#include "platform/qt/ImageList.h"

#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <memory>

class QLabel;
class QPushButton;
class TInfoLabel;

// Plays the pictures of an image list one after the other, from a timer, while active.
class TAnimator : public QWidget {
    Q_OBJECT
public:
    explicit TAnimator(QWidget* Parent = nullptr);

    // Borrowed; the animator shows its pictures at their size.
    void SetImageList(TImageList* List);
    void SetActive(bool Value);
    bool Active() const { return FTimer.isActive(); }
    int FrameIndex() const { return FFrame; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    TImageList* FList = nullptr;
    QTimer FTimer;
    int FFrame = 0;
};

// Lines of text that scroll upwards through the panel, over and over, while active.
class TScrollingText : public QWidget {
    Q_OBJECT
public:
    explicit TScrollingText(QWidget* Parent = nullptr);

    void SetLines(const QStringList& Lines);
    void SetActive(bool Value);
    bool Active() const { return FTimer.isActive(); }
    int Offset() const { return FOffset; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    int TextHeight() const;

    QStringList FLines;
    QTimer FTimer;
    int FOffset = 0; // pixels scrolled since the text entered from the bottom
};

// The machine's memory in bytes, read afresh at every call; 0 when it cannot be read.
uint64_t TotalPhysicalMemory();
uint64_t FreePhysicalMemory();

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* Parent = nullptr);
    ~TFormAbout() override;

    QLabel* SplashImage; // the splash picture
    TInfoLabel* lblProductName;
    TInfoLabel* lblVersion;
    TInfoLabel* lblBuild;
    TInfoLabel* lblComments;
    QLabel* lblTotal;
    QLabel* lblFree;
    TAnimator* anim;
    TScrollingText* Credits;
    QPushButton* btAccept;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;

private:
    void FormCreate();
    void FormShow();
    void FormHide();

    std::unique_ptr<TImageList> FFrames; // the animation's 64 x 64 pictures
};
