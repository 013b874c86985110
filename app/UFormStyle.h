// SPDX-License-Identifier: GPL-3.0-or-later
// The style editor: a modal dialog in which the user edits one drawing style with a live
// preview. The dialog changes the style it was given while the user works; whether the changes
// are kept is the style manager's business (it takes them back on Cancel).
#pragma once

#include "app/StyleGauges.h"
#include "presets/EditorHooks.h"

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TGaugeBar;
class TImage32Widget;
class TQStyle;
class TTiledImage;

class TFormStyle : public QDialog, public TNamedStyleGauges {
    Q_OBJECT
public:
    explicit TFormStyle(QWidget* Parent = nullptr);
    ~TFormStyle() override;

    // Shows the style's values on the controls without writing them back; the style is borrowed
    // and changed by every control change from then on.
    void SetStyle(TQStyle* AStyle);
    // Every control into the style (the gauges through its setters), and the value labels from
    // the style.
    void OnChange(void* Sender);
    // Mouse down on a control: the preview waits; mouse up: it is redrawn when the values
    // changed, and shown.
    void OnMouseDown(void* Sender);
    void OnMouseUp(void* Sender);
    void edStyleNameChange();
    // Accept: the style is saved under the typed name (SaveStyle), then the dialog closes with
    // OK. A save that fails is said in a message and the dialog stays open with its values.
    void btAcceptClick();
    // The middle 94 % of the style's preview, stretched over the preview view.
    void UpdatePreview();

    TQStyle* Style = nullptr;
    bool Loading = false;
    // Saves the style under the name given; raises when it cannot. None: Accept only closes.
    TStyleAccept SaveStyle;

    TTiledImage* PicturesBackground;
    TTiledImage* GaugesBackground;
    QLabel* lblStyleName; // "Style name:"; a mouse release on it also shows the preview
    QCheckBox* cbStopBorder;
    QLineEdit* edStyleName;
    TImage32Widget* ImgPreview; // the style's preview
    TImage32Widget* ImgSample;  // the sample picture the previews are drawn from
    QPushButton* btAccept;
    QPushButton* btCancel;

protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void FormShow();
};

// Makes the style manager's New and Edit run this dialog.
void InstallStyleEditor();
