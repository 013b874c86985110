// SPDX-License-Identifier: GPL-3.0-or-later
// The pattern editor: a modal dialog in which the user draws the curves of a stroke pattern,
// frame by frame. Five slots show the frames as thumbnails; the selected frame's curves lie as
// editable shapes on a curve layer over the drawing view, and every edit there rewrites that
// frame of the pattern at once. The dialog edits the pattern it was given and never restores
// it: Accept has the pattern manager save it, and a cancelled edit has the manager give each
// frame back the curves it had when the dialog opened.
#pragma once

#include "presets/EditorHooks.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <memory>

class QFrame;
class QPushButton;
class TAbstractInputController;
class TAddCurveInputController;
class TImage32Widget;
class TImgView32Widget;
class TPattern;
class TPointerInputController;
class TPolyBezierLayer;
class TShape;
class TTiledImage;

class TFPatternEdit : public QDialog {
    Q_OBJECT
public:
    static constexpr int SlotCount = 5;

    explicit TFPatternEdit(QWidget* Parent = nullptr);
    ~TFPatternEdit() override;

    // The tool buttons: select and drag points, or draw a new curve.
    void PointerToolClick();
    void AddCurveToolClick();
    // A click on the image of slot Slot (0..4) selects its frame.
    void SlotClick(int32_t Slot);
    // Shows frame I on the layer (one shape per curve) and lowers its slot.
    void SelectFrame(int32_t I);
    // The layer changed: the current frame becomes the layer's curves, and its slot is redrawn.
    void LayerChanged(void* Sender);
    void PrepareThumbnail(TImage32Widget* Image);
    void ClearThumbnail(TImage32Widget* Image);
    TImage32Widget* CurrentThumbnailImage() const;
    void UpdateThumbnail();
    // Accept: the pattern is saved (SavePattern), then the dialog closes with OK. A save that
    // fails is said in a message and the dialog stays open with its curves.
    void btAcceptClick();

    int32_t CurrentFrame = 0;
    bool Loading = false;
    TAbstractInputController* ActiveController = nullptr;
    std::unique_ptr<TPointerInputController> PointerController;
    std::unique_ptr<TAddCurveInputController> AddCurveController;
    std::unique_ptr<TPolyBezierLayer> Layer;
    // The pattern being edited; set by the caller before showing, not owned.
    TPattern* Pattern = nullptr;
    // Saves the pattern; raises when it cannot. None: Accept only closes.
    TPatternAccept SavePattern;

    TTiledImage* ToolsBackground; // behind the tool buttons
    TTiledImage* SlotsBackground; // behind the slots
    TTiledImage* ViewBackground;  // behind the drawing view
    TImgView32Widget* ImgView;
    TShape* ViewFrame; // the frame around ImgView
    QPushButton* btPointer;
    QPushButton* btAddCurve;
    QPushButton* btAccept;
    QPushButton* btCancel;
    std::array<QFrame*, SlotCount> Bevels;
    std::array<TImage32Widget*, SlotCount> Images;

    // Any end but Accept (Cancel, Escape, the window closed) first ends a drag in progress, so
    // that nothing writes into the pattern once the pattern manager has put its curves back.
    void done(int Result) override;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormCreate();
    void FormShow();
    void SwitchController(TAbstractInputController* Controller, bool Cross);
};

// Makes the pattern manager's New and Edit run this dialog.
void InstallPatternEditor();
