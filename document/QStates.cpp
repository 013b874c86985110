// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/QStates.h"

#include "document/CompressedBitmap.h"
#include "document/SwapThread.h"
#include "document/UTempManager.h"
#include "engine/Strokes.h"
#include "platform/raster/Bitmap32.h"
#include "platform/rtl/Exception.h"
#include "platform/rtl/Format.h"
#include "platform/system/CriticalSection.h"

#include <algorithm>
#include <climits>
#include <cstdio>
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

std::unique_ptr<TCompressedBitmap> NewCopy(const TBitmap32& Picture, TStepCopies Copies) {
    if (Copies == TStepCopies::Whole) return std::make_unique<TCompressedBitmap>(Picture);
    return std::make_unique<TCompressedBitmap>(Picture.Width(), Picture.Height());
}

// Keeps rectangle R of Copy.
void CutCopy(TCompressedBitmap& Copy, const TRect& R) {
    if (Copy.Tiled())
        Copy.Seal();
    else
        Copy.SetBitmap(CopyRect(*Copy.Bitmap(), R));
}
} // namespace

std::shared_ptr<TStrokeFile> NewStrokeFile() {
    const std::string name = TempManager().GetTempFileName("tsk");
    try {
        return std::make_shared<TStrokeFile>(name);
    } catch (...) {
        std::remove(name.c_str());
        throw;
    }
}

// ---------------------------------------------------------------------------------------------
// TQState

TQState::TQState(const TBitmap32& Feature, const TBitmap32& Dest, TStepCopies Copies,
                 std::shared_ptr<TStrokeFile> LogFile)
    : FRect{0, 0, Feature.Width(), Feature.Height()}, FFeature(NewCopy(Feature, Copies)),
      FDest(NewCopy(Dest, Copies)) {
    FStrokes = std::make_unique<TStrokes>(LogFile ? std::move(LogFile) : NewStrokeFile());
}

TQState::~TQState() {
    FStrokes.reset();
    FFeature.reset();
    FDest.reset();
}

void TQState::DestChanging(const TBitmap32& Dest, const TRect& R) {
    if (!FFinished) FDest->KeepBefore(Dest, R);
}

void TQState::Finish(const TRect& R) {
    // The gesture is over: its stroke log writes what it holds.
    FStrokes->EndWriting();
    // A finished step keeps its rectangle: its copies have that rectangle's size.
    if (FFinished) Abort();
    FRect = R;
    if (R.Right == R.Left || R.Bottom == R.Top || R.Left == INT_MAX || R.Top == INT_MAX ||
        R.Right == INT_MIN || R.Bottom == INT_MIN)
        Abort();
    FFeature->SetCompressed(false);
    FDest->SetCompressed(false);
    TRect clipped;
    if (!IntersectRect(clipped, R, FFeature->Bounds()) || !IntersectRect(clipped, clipped, FDest->Bounds()))
        Abort();
    FRect = clipped;
    CutCopy(*FFeature, FRect);
    CutCopy(*FDest, FRect);
    FFinished = true;
}

void TQState::Compress() {
    if (!HasCopies()) return;
    FFeature->SetCompressed(true);
    FDest->SetCompressed(true);
}

bool TQState::IsCompressed() const {
    return !HasCopies() || (FFeature->Compressed() && FDest->Compressed());
}

int64_t TQState::GetMemSize() const {
    return HasCopies() ? FFeature->GetMemSize() + FDest->GetMemSize() : 0;
}

void TQState::SetSwapThread(TSwapThread* Thread) {
    if (!HasCopies()) return;
    FFeature->SetSwapThread(Thread);
    FDest->SetSwapThread(Thread);
}

void TQState::DropCopies() {
    FFeature.reset();
    FDest.reset();
}

bool TQState::StartSwapOut(bool ThreadOnly) {
    // A failure of an earlier swap-out whose other copy was then stopped or swapped out
    // another way says nothing about this one.
    FSwapFailed = false;
    return FFeature->StartSwapOut(ThreadOnly) && FDest->StartSwapOut(ThreadOnly);
}

bool TQState::SwappingOut() const {
    return HasCopies() && (FFeature->SwappingOut() || FDest->SwappingOut());
}

std::optional<bool> TQState::EndSwapOut(bool Wait) {
    if (!SwappingOut()) return std::nullopt;
    for (TCompressedBitmap* copy : {FFeature.get(), FDest.get()})
        if (copy->EndSwapOut(Wait) == false) FSwapFailed = true;
    if (FFeature->SwappingOut() || FDest->SwappingOut()) return std::nullopt;
    const bool whole = !FSwapFailed;
    FSwapFailed = false;
    return whole;
}

// ---------------------------------------------------------------------------------------------
// TQStates

// Raises the busy flag for one operation and puts back what it was, also when the operation
// raises. Each change of the flag happens inside the process-wide lock. The flag is atomic and
// every operation of a history runs on the window's thread, so the lock adds nothing to what they
// see; it is there so that code on another thread can hold the flags of every history still
// while it looks at them, by taking the same lock, which the atomic alone does not give.
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

TQStates::TQStates() : FSwapThread(std::make_unique<TSwapThread>()) {}

TQStates::~TQStates() {
    // The steps hand their last tasks to the thread, which does them before it ends.
    FSteps.clear();
}

void TQStates::Add(std::unique_ptr<TQState>&& Step) {
    TBusyScope busy(*this);
    if (!Step) RaiseException("TQStates.Add: no step");
    FSteps.resize(static_cast<size_t>(FCurrent)); // frees the undone steps
    FSteps.push_back(std::move(Step));
    FSteps.back()->SetSwapThread(FSwapThread.get());
    ++FCurrent;
}

void TQStates::Undo(TBitmap32& Feature, TBitmap32& Dest) {
    TBusyScope busy(*this);
    if (FCurrent <= FFloor) RaiseException("Imposible hacer undo, estamos al principio de la pila");
    // The position moves only once the pixels have been exchanged, so a swap file that
    // cannot be read leaves the pictures and the position as they were.
    try {
        Restore(Feature, Dest, *FSteps[static_cast<size_t>(FCurrent - 1)]);
    } catch (const ESwapFileLost&) {
        // The step and every older one can no longer be taken back: they keep only their
        // strokes, which the drawing shows.
        for (int32_t i = FFloor; i < FCurrent; ++i)
            FSteps[static_cast<size_t>(i)]->DropCopies();
        FFloor = FCurrent;
        throw;
    }
    --FCurrent;
    SwapOutFarSteps();
}

void TQStates::Redo(TBitmap32& Feature, TBitmap32& Dest) {
    TBusyScope busy(*this);
    if (Length() <= FCurrent) RaiseException("Imposible hacer redo, estamos en el tope de la pila");
    try {
        Restore(Feature, Dest, *FSteps[static_cast<size_t>(FCurrent)]);
    } catch (const ESwapFileLost&) {
        // The step and every newer one can no longer be applied again.
        FSteps.resize(static_cast<size_t>(FCurrent));
        throw;
    }
    ++FCurrent;
    SwapOutFarSteps();
}

void TQStates::Restore(TBitmap32& Feature, TBitmap32& Dest, TQState& Step) {
    TBusyScope busy(*this);
    if (!Step.HasCopies()) RaiseException("TQStates.Restore: the undo step does not fit the picture");
    TCompressedBitmap& feature = Step.FeatureCopy();
    TCompressedBitmap& dest = Step.DestCopy();
    const TRect& r = Step.Rect();
    if (!feature.Fits(Feature, r) || !dest.Fits(Dest, r))
        RaiseException("TQStates.Restore: the undo step does not fit the picture");
    // A copy swapped out comes back on the way, one on its way out serves from memory. A swap
    // file that cannot be read leaves both pictures as they were.
    feature.Exchange(Feature, r);
    try {
        dest.Exchange(Dest, r);
    } catch (...) {
        feature.Exchange(Feature, r);
        throw;
    }
}

std::unique_ptr<TQState> TQStates::DropLast() {
    TBusyScope busy(*this);
    if (FCurrent <= 0) return nullptr;
    --FCurrent;
    FFloor = std::min(FFloor, FCurrent);
    std::unique_ptr<TQState> last = std::move(FSteps[static_cast<size_t>(FCurrent)]);
    FSteps.resize(static_cast<size_t>(FCurrent));
    // The caller may keep it past the history and its thread.
    last->SetSwapThread(nullptr);
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
    // With the memory kept ready for reading the next undo or redo back.
    int64_t n = FSwapThread->ReservedBytes();
    for (const auto& step : FSteps)
        n += step->GetMemSize();
    return n;
}

bool TQStates::MaySwapOut(const TQState& Step, std::chrono::steady_clock::time_point Now) const {
    return !Step.IsCompressed() &&
           (Step.FSwapFailedAfter != FSwapsDone || Now - Step.FSwapFailedAt >= FSwapRetryDelay);
}

bool TQStates::StartSwapOut(int32_t I, std::chrono::steady_clock::time_point Now, bool ThreadOnly) {
    TQState& step = *FSteps[static_cast<size_t>(I)];
    if (!MaySwapOut(step, Now)) return false;
    try {
        // A swap thread that will not start is no failure of the step: the next idle moment
        // writes it here, and tries the thread first.
        if (!step.StartSwapOut(ThreadOnly)) return false;
        step.FSwapOutOrder = ++FSwapOutsStarted;
    } catch (const std::exception&) {
        // Not even started (memory ran out): the step stays in memory, as after a failure.
        step.FSwapFailedAt = Now;
        step.FSwapFailedAfter = FSwapsDone;
        return false;
    }
    // Written here already when there was no thread: its memory goes at once.
    TakeSwapOut(step, false);
    return true;
}

void TQStates::Compact() {
    if (Busy()) return;
    TBusyScope busy(*this);
    TakeSwapOuts(false);
    const auto now = std::chrono::steady_clock::now();
    // The oldest applied steps first, then the undone ones from the newest down; the steps
    // nearest the current position on either side stay.
    const int32_t last = std::min(Length() - 1 - FKeepInMemory, FCurrent);
    bool started = false;
    for (int32_t i = FFloor; i <= last && !started; ++i)
        started = StartSwapOut(i, now, false);
    for (int32_t i = Length() - 1; i >= std::max(FCurrent + FKeepInMemory, last + 1) && !started; --i)
        started = StartSwapOut(i, now, false);
    // Memory for the undo (or else the redo) that may come next, mapped while the window idles.
    auto pixels = [this](int32_t I) {
        const TQState& step = *FSteps[static_cast<size_t>(I)];
        return step.FeatureCopy().PixelsToReadBack() + step.DestCopy().PixelsToReadBack();
    };
    size_t reserve = FCurrent > FFloor ? pixels(FCurrent - 1) : 0;
    if (reserve == 0 && FCurrent < Length()) reserve = pixels(FCurrent);
    FSwapThread->SetReserve(reserve);
}

void TQStates::SwapOutFarSteps() noexcept {
    // The undo or redo is done, and nothing here may take it back: a step that cannot go now
    // stays in memory for the idle swap-out.
    try {
        TakeSwapOuts(false);
    } catch (const std::exception&) {}
    // The steps at least KeepInMemory undos (or redos) away from the position, which the idle
    // swap-out would take too, walked outwards from the position on both sides: the first
    // FSpareInMemory found in memory stay, so that a short walk back and forth does not reach the
    // disk, and the farther ones go.
    // One undo or redo brings at most one step into the far range, so a call starts at most
    // FMaxSwapOutsUnderWay: after a long stretch of failed swap-outs (a full disk) an undo does
    // not try the whole history at once, and the idle swap-out takes the rest.
    const auto now = std::chrono::steady_clock::now();
    int32_t spare = 0;
    int32_t started = 0;
    for (int32_t below = FCurrent - 1 - FKeepInMemory, above = FCurrent + FKeepInMemory;
         (below >= FFloor || above < Length()) && started < FMaxSwapOutsUnderWay;) {
        const bool takeAbove =
            above < Length() && (below < FFloor || above - FCurrent <= FCurrent - 1 - below);
        const int32_t i = takeAbove ? above++ : below--;
        if (FSteps[static_cast<size_t>(i)]->IsCompressed()) continue;
        if (spare < FSpareInMemory) {
            ++spare;
            continue;
        }
        if (!MaySwapOut(*FSteps[static_cast<size_t>(i)], now)) continue;
        // The thread writes one step after the other. When the disk falls behind the walk, the
        // walk waits for the oldest swap-out under way rather than let the steps on their way
        // out, which hold their pixels until written, pile up in memory.
        try {
            for (;;) {
                TQState* oldest = nullptr;
                int32_t under = 0;
                for (const auto& step : FSteps)
                    if (step->SwappingOut()) {
                        ++under;
                        if (!oldest || step->FSwapOutOrder < oldest->FSwapOutOrder) oldest = step.get();
                    }
                if (under < FMaxSwapOutsUnderWay) break;
                TakeSwapOut(*oldest, true);
            }
        } catch (const std::exception&) {}
        if (StartSwapOut(i, now, true)) ++started;
    }
}

void TQStates::TidyStrokeFile(const std::shared_ptr<TStrokeFile>& File) {
    if (!File || !File->Untidy() || FTidying->exchange(true)) return;
    try {
        if (FSwapThread->Later([File, tidying = FTidying] {
                File->Compact();
                tidying->store(false);
            }))
            return;
    } catch (const std::exception&) {}
    FTidying->store(false);
}

void TQStates::WaitForSwapOuts() {
    TBusyScope busy(*this);
    TakeSwapOuts(true);
}

void TQStates::WaitForTasks() {
    FSwapThread->WaitForTasks();
}

void TQStates::TakeSwapOuts(bool Wait) {
    for (const auto& step : FSteps)
        TakeSwapOut(*step, Wait);
}

void TQStates::TakeSwapOut(TQState& Step, bool Wait) {
    const std::optional<bool> whole = Step.EndSwapOut(Wait);
    if (!whole) return;
    if (*whole) {
        ++FSwapsDone;
        Step.FSwapFailedAfter = -1;
    } else {
        Step.FSwapFailedAt = std::chrono::steady_clock::now();
        Step.FSwapFailedAfter = FSwapsDone;
    }
}

void TQStates::SetCurrent(int32_t N) {
    if (N < FFloor || N > Length()) RaiseException(IndexErrorText(N, "TQStates.SetCurrent"));
    FCurrent = N;
}
