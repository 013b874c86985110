// SPDX-License-Identifier: GPL-3.0-or-later
// The failures the user sees: every message that the event guard stops (GuardEvent of the Qt
// side) is shown in one error box, at most once per mouse gesture.
//
// While a mouse button is held, the first failure of the gesture waits and shows once the last
// button is released: a box in the middle of a drag would take the release, and the gesture's
// change of the drawing would stay open. Later failures of the same gesture go to stderr only,
// so a drag that fails at every mouse move says so once. A failure that arises while a box is
// up, or that repeats the last box before the user pressed a key or a mouse button again (a
// repaint failing as the box goes), is not shown.
#pragma once

#include <QObject>

#include <string>

class TErrorReports : public QObject {
public:
    // Becomes the guard's error hook and watches the application's mouse buttons.
    TErrorReports();
    // Removes the hook; a failure still waiting is dropped (stderr has it).
    ~TErrorReports() override;
    TErrorReports(const TErrorReports&) = delete;
    TErrorReports& operator=(const TErrorReports&) = delete;

    // Shows Message now, or at the end of the gesture in progress.
    void Report(const std::string& Message);

protected:
    bool eventFilter(QObject* Receiver, QEvent* Event) override;

private:
    void ShowPending();
    void Show(const std::string& Message);

    bool FButtonsDown = false; // a gesture is in progress
    bool FGestureReported = false;
    bool FShowing = false;
    std::string FPending; // the failure that waits for the end of its gesture; empty when none
    std::string FLastShown;
    bool FUserActed = false; // a key or button pressed since the last box closed
};
