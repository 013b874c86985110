// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing: creation, settings, strokes at points and along curves, gestures and undo, and the
// outputs read back from the stroke logs. The views, layers, bands and cursor are in
// DualImageViews.cpp.
#include "document/DualImage.h"

#include "document/CompressedBitmap.h"
#include "document/QStates.h"
#include "engine/FeatureExtractor.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Random.h"
#include "platform/rtl/Round.h"
#include "platform/system/BusyCursor.h"
#include "platform/system/ProcessMessages.h"
#include "presets/Patterns.h"
#include "presets/PolyBezierLayer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <numbers>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
// A gesture's step keeps the tiles of the drawing it changes in blocks of 1 MB and frees them
// when it goes out to disk or away. glibc would raise its mmap threshold after the first such
// free and serve the later blocks from the heap, where freed blocks stay with the process; a
// fixed threshold keeps every block in its own mapping, which goes back to the system when it is
// freed.
void ReturnLargeBlocksToSystem() {
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 1 << 20); });
#endif
}

const TRect EmptyUnion{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
} // namespace

// ---------------------------------------------------------------------------------------------
// Creation

TDualImage::TDualImage(TImgView32* SrcView, TImgView32* DstView, float Scale, TPercentEvent OnProgress,
                       TNotifyEvent OnStart, TNotifyEvent OnEnd)
    : FSrcView(SrcView), FDstView(DstView), FOnProgress(std::move(OnProgress)), FOnStart(std::move(OnStart)),
      FOnEnd(std::move(OnEnd)) {
    ReturnLargeBlocksToSystem();
    FStroke.Scale = Scale;
    if (FSrcView == nullptr || FDstView == nullptr) RaiseException("TDualImage: a view is missing");
    {
        TBusyCursor busy;
        // The drawing's events carry no sender, whoever fires them.
        TPercentEvent progress;
        TNotifyEvent start, end;
        if (FOnProgress) progress = [this](void*, int Percent) { FOnProgress(nullptr, Percent); };
        if (FOnStart) start = [this](void*) { FOnStart(nullptr); };
        if (FOnEnd) end = [this](void*) { FOnEnd(nullptr); };
        FFeature = TFeatureExtractor::Extract(SourceBitmap(), progress, start, end);
    }
    FHistory = std::make_unique<TQStates>();
    SetBrdLimit(127);
    FActiveView = FSrcView;
    CreateLayers();
}

int32_t TDualImage::AddPaletteColor(TColor32 C) {
    FPalette.push_back(C);
    return PaletteCount() - 1;
}

TColor32 TDualImage::GetPaletteColor(int32_t I) const {
    if (I < 0 || I >= PaletteCount()) RaiseException(IndexErrorText(I, "TDualImage.GetPaletteColor"));
    return FPalette[static_cast<size_t>(I)];
}

void TDualImage::SetSize(int32_t Value) {
    if (Value < MinBrushSize || Value > MaxBrushSize) return;
    const bool changed = Value != FSize;
    FSize = Value;
    RepaintSource();
    if (changed && FOnSizeChange) FOnSizeChange(this);
}

// The drawing's settings as the style parameters see them; the border limit is kept as its
// threshold (SetBrdLimit, GetBrdLimit).
template <>
struct TStyleFields<TDualImage> {
    static int32_t PolyStep(const TDualImage& D) { return D.PolyStep(); }
    static int32_t Length(const TDualImage& D) { return D.Length(); }
    static float Gain(const TDualImage& D) { return D.Gain(); }
    static float Width(const TDualImage& D) { return D.Width(); }
    static uint8_t BorderLimit(const TDualImage& D) { return D.GetBrdLimit(); }
    static void SetPolyStep(TDualImage& D, int32_t V) { D.SetPolyStep(V); }
    static void SetLength(TDualImage& D, int32_t V) { D.SetLength(V); }
    static void SetGain(TDualImage& D, float V) { D.SetGain(V); }
    static void SetWidth(TDualImage& D, float V) { D.SetWidth(V); }
    static void SetBorderLimit(TDualImage& D, uint8_t V) { D.SetBrdLimit(V); }
};

void TDualImage::SetStyleValue(TStyleParameter P, double Value) {
    SetStyleValueOf(*this, P, Value);
}

double TDualImage::StyleValue(TStyleParameter P) const {
    return StyleValueOf(*this, P);
}

// ---------------------------------------------------------------------------------------------
// Strokes

TStrokeSettings TDualImage::StrokeSettings() const {
    TStrokeSettings settings = FStroke;
    settings.Palette = FPalette;
    return settings;
}

bool TDualImage::HasPatternCurve() const {
    if (PatternManager == nullptr || PatternManager->ItemIndex < 0 ||
        PatternManager->ItemIndex >= PatternManager->Count())
        return false;
    for (const auto& frame : PatternManager->Current().Frames)
        if (frame && frame->Count() > 0) return true;
    return false;
}

void TDualImage::KeepBeforeFill(TLineSampler& Sampler) {
    if (FCurrentStep)
        Sampler.OnBeforeFill = [this](const TRect& R) { FCurrentStep->DestChanging(DestBitmap(), R); };
}

void TDualImage::Finished(TLineSampler& Sampler) {
    FDirtyRect = RectUnion(Sampler.GetDirtyRect(), FDirtyRect);
}

void TDualImage::StrokeAt(int32_t X, int32_t Y) {
    Modified = true;
    if (X < 0 || X >= FFeature->Width() || Y < 0 || Y >= FFeature->Height()) return;
    if ((FFeature->Pixel(X, Y) & 127) < FStroke.BorderThreshold) return;
    // Pattern strokes need a curve to follow; without one nothing is drawn (and nothing drawn
    // from the random generator).
    if (!FAutoMode && !HasPatternCurve()) return;

    TLineSampler sampler(FFeature.get(), &DestBitmap(), FCurrentStep ? FCurrentStep->Strokes() : nullptr);
    sampler.SetStart(Point(X, Y));
    sampler.SetUp(StrokeSettings());
    KeepBeforeFill(sampler);
    if (FAutoMode) {
        sampler.SetOnGetDirection(
            [this](int32_t DX, int32_t DY, THeading& Heading) { GetGuideDirection(DX, DY, Heading); });
    } else {
        TBezierCurve curve = PatternManager->Current().RandomFrame().RandomCurve();
        TPoint points[4] = {curve.P0, curve.C1, curve.C2, curve.P3};
        ScalePoints(points, static_cast<float>(FSize / 105.0));
        OffsetPoints(points, Point(X, Y));
        sampler.SetBezier(points[0], points[1], points[2], points[3]);
    }
    sampler.Execute();
    Finished(sampler);
}

void TDualImage::SprayAt(int32_t X, int32_t Y) {
    FDabCenter = Point(X, Y);
    const int32_t n = StrokeCountFor(FStroke.Length, FDensity);
    for (int32_t i = 0; i < n; ++i) {
        const float a = static_cast<float>(Random(6283) / 1000.0);
        const int32_t r = Random(FSize);
        StrokeAt(Round(X + r * std::cos(static_cast<double>(a))),
                 Round(Y + r * std::sin(static_cast<double>(a))));
    }
    RepaintDest();
}

void TDualImage::StrokeAlongCurve(const TBezierCurve& Curve) {
    TLineSampler sampler(FFeature.get(), &DestBitmap(), FCurrentStep ? FCurrentStep->Strokes() : nullptr);
    sampler.SetStart(Curve.P0);
    sampler.SetUp(StrokeSettings());
    sampler.SetBezier(Curve.P0, Curve.C1, Curve.C2, Curve.P3);
    KeepBeforeFill(sampler);
    sampler.Execute();
    Finished(sampler);
    Modified = true;
}

// ---------------------------------------------------------------------------------------------
// Gestures and undo

void TDualImage::BeginChange() {
    if (FChangeNesting == 0) {
        FDirtyRect = EmptyUnion;
        FStrokeFileFailed = false;
        if (!FStrokeFile) FStrokeFile = NewStrokeFile();
        // Strokes leave the feature bitmap as it is; the step copies each tile of the drawing
        // just before a stroke first fills it.
        FCurrentStep = std::make_unique<TQState>(*FFeature, DestBitmap(), TStepCopies::OnChange, FStrokeFile);
    }
    ++FChangeNesting;
}

void TDualImage::EndChange() {
    if (FChangeNesting <= 0) return;
    if (--FChangeNesting > 0) return;
    std::unique_ptr<TQState> step = std::move(FCurrentStep);
    try {
        // A change that drew nothing aborts here and leaves no step.
        step->Finish(FDirtyRect);
        FHistory->Add(std::move(step));
    } catch (const EAbort&) {
        return;
    } catch (...) {
        // A step that cannot be kept takes its strokes out of the drawing as well, so that
        // the drawing holds no stroke that the logs lack; then the failure is told.
        if (step) {
            try {
                step->DestCopy().Exchange(DestBitmap(), step->Rect());
            } catch (...) {
                // The pixels stay as drawn.
            }
            RepaintDest();
        }
        throw;
    }
    try {
        if (FOnChange) FOnChange(this);
    } catch (...) {
        // The step is in the history and stays there: its strokes are in the drawing.
    }
}

// Undo and redo exchange pixels with the history; in the middle of a gesture the open step's
// copies would then no longer match the pictures, so both wait until the change is closed.
void TDualImage::Undo() {
    if (FChangeNesting > 0) Abort();
    try {
        FHistory->Undo(*FFeature, DestBitmap());
    } catch (const ESwapFileLost&) {
        ChangedAfterLoss();
        throw;
    }
    RepaintDest();
    if (FOnChange) FOnChange(this);
}

void TDualImage::Redo() {
    if (FChangeNesting > 0) Abort();
    try {
        FHistory->Redo(*FFeature, DestBitmap());
    } catch (const ESwapFileLost&) {
        ChangedAfterLoss();
        throw;
    }
    RepaintDest();
    if (FOnChange) FOnChange(this);
}

void TDualImage::ChangedAfterLoss() {
    // The history lost steps: what can be undone or redone changed although the drawing did
    // not. The loss itself is what the caller is told.
    try {
        if (FOnChange) FOnChange(this);
    } catch (...) {}
}

bool TDualImage::CanUndo() const {
    return FHistory->CanUndo();
}

bool TDualImage::CanRedo() const {
    return FHistory->CanRedo();
}

int32_t TDualImage::StrokeCount() const {
    return FHistory->StrokeCount();
}

void TDualImage::CompressIdle() {
    FHistory->Compact();
    FHistory->TidyStrokeFile(FStrokeFile);
    // The stroke logs' file is made now, so that the first press does not wait for the
    // temporary-file service. One that fails is not tried again until a gesture has been made.
    if (!FStrokeFile && !FStrokeFileFailed && FChangeNesting == 0) {
        try {
            FStrokeFile = NewStrokeFile();
        } catch (const Exception&) {
            // The press tries again and says what fails.
            FStrokeFileFailed = true;
        }
    }
}

std::string TDualImage::UndoMemoryText() const {
    // Past 2 GB the 32-bit count would read as negative; it shows the largest count instead.
    return FormatByteSize(static_cast<int32_t>(std::min<int64_t>(FHistory->GetMemSize(), INT32_MAX)));
}

// ---------------------------------------------------------------------------------------------
// Outputs

void TDualImage::RenderStrokes(TBitmap32& Target, float Scale) {
    if (FOnStart) FOnStart(nullptr);
    ProcessMessages();
    struct TEnd {
        TDualImage& Self;
        ~TEnd() {
            try {
                if (Self.FOnEnd) Self.FOnEnd(nullptr);
            } catch (...) {}
        }
    } end{*this};
    TBusyCursor busy;
    ::RenderStrokes(*FHistory, Target, Scale, FOnProgress);
}

void TDualImage::ExportPostScript(const std::string& FileName) {
    if (FOnStart) FOnStart(nullptr);
    try {
        SaveToPostScript(FileName, DestBitmap().Width(), DestBitmap().Height(), 0.8f, *FHistory, FOnProgress);
    } catch (...) {
        // The progress display ends also when the file could not be written.
        if (FOnEnd) FOnEnd(nullptr);
        throw;
    }
    if (FOnEnd) FOnEnd(nullptr);
    Modified = false;
}

// ---------------------------------------------------------------------------------------------
// Guide directions

void TDualImage::BuildGuideGrid() {
    FGuideGrid.clear();
    FGuideCols = FFeature->Width() / 10;
    FGuideRows = FFeature->Height() / 10;
    FGuideGrid.resize(static_cast<size_t>(FGuideCols) * static_cast<size_t>(FGuideRows));
    for (int32_t r = 0; r < FGuideRows; ++r)
        for (int32_t c = 0; c < FGuideCols; ++c) {
            const TGuideSample d = GuideDirectionAt(FGuideSamples, Point(c * 10, r * 10));
            const double angle = std::atan2(-static_cast<double>(d.DY), static_cast<double>(d.DX));
            FGuideGrid[static_cast<size_t>(r) * FGuideCols + c] =
                static_cast<uint8_t>(Round((angle + std::numbers::pi) * 255 / (2 * std::numbers::pi)));
        }
}

void TDualImage::GetGuideDirection(int32_t X, int32_t Y, THeading& Heading) {
    if (FGuideGrid.empty()) BuildGuideGrid();
    // Rounded quotients: x = 14 reads column 1, x = 16 column 2; a rounded column equal to the
    // column count reads the first cell of the next row.
    const int64_t index = static_cast<int64_t>(Round(Y / 10.0)) * FGuideCols + Round(X / 10.0);
    if (index < 0 || index >= static_cast<int64_t>(FGuideGrid.size()))
        Heading = 32;
    else
        Heading = FGuideGrid[static_cast<size_t>(index)];
}
