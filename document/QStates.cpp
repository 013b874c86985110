#include "document/QStates.h"

#include "document/CompressedBitmap.h"
#include "document/UTempManager.h"
#include "engine/Strokes.h"
#include "engine/Utils.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/system/CriticalSection.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {
// The rectangle R of Source, pixel for pixel: the feature bitmap keeps directions in alpha,
// so nothing may blend here.
std::unique_ptr<TBitmap32> CopyRect(const TBitmap32& Source, const TRect& R) {
    auto result = std::make_unique<TBitmap32>(R.Width(), R.Height());
    for (int y = 0; y < R.Height(); ++y)
        std::memcpy(result->ScanLine(y), Source.ScanLine(R.Top + y) + R.Left,
                    static_cast<size_t>(R.Width()) * sizeof(TColor32));
    return result;
}

// Exchanges the pixels of Copy with rectangle R of Target (Copy has R's size).
void ExchangeRect(TBitmap32& Copy, TBitmap32& Target, const TRect& R) {
    for (int y = 0; y < R.Height(); ++y) {
        TColor32* a = Copy.ScanLine(y);
        std::swap_ranges(a, a + R.Width(), Target.ScanLine(R.Top + y) + R.Left);
    }
}

bool Fits(const TBitmap32* Copy, const TBitmap32& Target, const TRect& R) {
    return Copy != nullptr && Copy->Width() == R.Width() && Copy->Height() == R.Height() && R.Left >= 0 &&
           R.Top >= 0 && R.Right <= Target.Width() && R.Bottom <= Target.Height();
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TQState

TQState::TQState(const TBitmap32& Feature, const TBitmap32& Dest)
    : FRect{0, 0, Feature.Width(), Feature.Height()}, FFeature(std::make_unique<TCompressedBitmap>(Feature)),
      FDest(std::make_unique<TCompressedBitmap>(Dest)) {
    FStrokes = std::make_unique<TStrokes>(TempManager().GetTempFileName("tsk"));
}

TQState::~TQState() {
    FStrokes.reset();
    FFeature.reset();
    FDest.reset();
}

void TQState::Finish(const TRect& R) {
    // A finished step keeps its rectangle: its copies have that rectangle's size.
    if (FFinished) Abort();
    FRect = R;
    if (R.Right == R.Left || R.Bottom == R.Top || R.Left == INT_MAX || R.Top == INT_MAX ||
        R.Right == INT_MIN || R.Bottom == INT_MIN)
        Abort();
    FFeature->SetCompressed(false);
    FDest->SetCompressed(false);
    TRect clipped;
    if (!IntersectRect(clipped, R, FFeature->Bitmap()->BoundsRect()) ||
        !IntersectRect(clipped, clipped, FDest->Bitmap()->BoundsRect()))
        Abort();
    FRect = clipped;
    FFeature->SetBitmap(CopyRect(*FFeature->Bitmap(), FRect));
    FDest->SetBitmap(CopyRect(*FDest->Bitmap(), FRect));
    FFinished = true;
}

void TQState::Compress() {
    FFeature->SetCompressed(true);
    FDest->SetCompressed(true);
}

bool TQState::IsCompressed() const {
    return FFeature->Compressed() && FDest->Compressed();
}

int64_t TQState::GetMemSize() const {
    return int64_t{FFeature->GetMemSize()} + FDest->GetMemSize();
}

// ---------------------------------------------------------------------------------------------
// TQStates

// Raises the busy flag for one operation and puts back what it was, also when the operation
// raises; each change of the flag happens inside the process-wide lock.
class TQStates::TBusyScope {
public:
    explicit TBusyScope(TQStates& States) : FStates(States) {
        ProcessLock().Enter();
        FWas = FStates.FBusy.exchange(true);
        ProcessLock().Leave();
    }
    ~TBusyScope() {
        ProcessLock().Enter();
        FStates.FBusy.store(FWas);
        ProcessLock().Leave();
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TQStates& FStates;
    bool FWas = false;
};

TQStates::TQStates() = default;

TQStates::~TQStates() = default;

void TQStates::Add(std::unique_ptr<TQState> Step) {
    TBusyScope busy(*this);
    if (!Step) RaiseException("TQStates.Add: no step");
    FSteps.resize(static_cast<size_t>(FCurrent)); // frees the undone steps
    FSteps.push_back(std::move(Step));
    ++FCurrent;
}

void TQStates::Undo(TBitmap32& Feature, TBitmap32& Dest) {
    TBusyScope busy(*this);
    if (FCurrent < 1) RaiseException("Imposible hacer undo, estamos al principio de la pila");
    // The position moves only once the pixels have been exchanged, so a swap file that
    // cannot be read leaves the history as it was.
    Restore(Feature, Dest, *FSteps[static_cast<size_t>(FCurrent - 1)]);
    --FCurrent;
}

void TQStates::Redo(TBitmap32& Feature, TBitmap32& Dest) {
    TBusyScope busy(*this);
    if (Length() <= FCurrent) RaiseException("Imposible hacer redo, estamos en el tope de la pila");
    Restore(Feature, Dest, *FSteps[static_cast<size_t>(FCurrent)]);
    ++FCurrent;
}

void TQStates::Restore(TBitmap32& Feature, TBitmap32& Dest, TQState& Step) {
    TBusyScope busy(*this);
    Step.FeatureCopy().SetCompressed(false);
    Step.DestCopy().SetCompressed(false);
    const TRect& r = Step.Rect();
    if (!Fits(Step.FeatureCopy().Bitmap(), Feature, r) || !Fits(Step.DestCopy().Bitmap(), Dest, r))
        RaiseException("TQStates.Restore: the undo step does not fit the picture");
    ExchangeRect(*Step.FeatureCopy().Bitmap(), Feature, r);
    ExchangeRect(*Step.DestCopy().Bitmap(), Dest, r);
}

std::unique_ptr<TQState> TQStates::DropLast() {
    TBusyScope busy(*this);
    if (FCurrent <= 0) return nullptr;
    --FCurrent;
    std::unique_ptr<TQState> last = std::move(FSteps[static_cast<size_t>(FCurrent)]);
    FSteps.resize(static_cast<size_t>(FCurrent));
    return last;
}

int32_t TQStates::Count() const {
    return std::min(Length(), FCurrent);
}

TQState* TQStates::GetState(int32_t I) const {
    if (I < 0 || I >= Length()) RaiseException(IndexErrorText(I, "TQStates.GetState"));
    return FSteps[static_cast<size_t>(I)].get();
}

int32_t TQStates::StrokeCount() const {
    int32_t n = 0;
    for (int32_t i = 0; i < Count(); ++i)
        if (const TStrokes* strokes = FSteps[static_cast<size_t>(i)]->Strokes()) n += strokes->Count();
    return n;
}

int64_t TQStates::GetMemSize() {
    TBusyScope busy(*this);
    int64_t n = 0;
    for (const auto& step : FSteps)
        n += step->GetMemSize();
    return n;
}

void TQStates::Compact() {
    if (Busy()) return;
    TBusyScope busy(*this);
    const int32_t last = std::min(Length() - 1 - FKeepInMemory, FCurrent);
    for (int32_t i = 0; i <= last; ++i) {
        TQState& step = *FSteps[static_cast<size_t>(i)];
        if (!step.IsCompressed()) {
            step.Compress();
            break;
        }
    }
}

void TQStates::SetCurrent(int32_t N) {
    if (N < 0 || N > Length()) RaiseException(IndexErrorText(N, "TQStates.SetCurrent"));
    FCurrent = N;
}
