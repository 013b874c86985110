// SPDX-License-Identifier: GPL-3.0-or-later
// The undo history. Every gesture that paints is one step (TQState): the pixels of the feature
// bitmap and of the drawing as they were before the gesture, for the rectangle it changed,
// and the stroke log of the strokes it laid. Undo and redo exchange a step's pixels with the
// document's, so the same step serves both. Old steps are swapped to disk at idle moments, and
// steps far from the position as soon as an undo or redo leaves more than a few of them in
// memory, on the history's own swap thread (SwapThread.h), which ends with the history.
#pragma once

#include "platform/raster/Color32.h"
#include "platform/rtl/Events.h"
#include "platform/rtl/Types.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TBitmap32;
class TCompressedBitmap;
class TSwapThread;
class TStrokes;
class TStrokeFile;

// A file for the stroke logs of a drawing's steps, on a new temporary name ("~", eight
// hexadecimal digits, "tsk"), so that a start after a crash deletes it. Raises "Cannot create a
// temporary file in ..." when the temporary folder takes no file.
std::shared_ptr<TStrokeFile> NewStrokeFile();

// How a step copies the pictures: both whole at its start (undo and redo exchange the step's
// rectangle), or each tile of the drawing just before the gesture first changes it (undo and redo
// exchange those tiles, so everything the gesture painted goes back, also the few pixels of a
// stroke that leaves the picture, which lie past the rectangle; the gesture leaves the feature
// bitmap as it is). The rectangle is the same either way. The document copies on change, the
// default; whole copies serve a change of the feature bitmap too.
enum class TStepCopies { Whole, OnChange };

class TQState {
public:
    // Copies of both bitmaps as Copies says and a new stroke log in LogFile, the file the logs of
    // the drawing share (nil: a file of the step's own, NewStrokeFile); the rectangle is the
    // whole feature bitmap until Finish.
    TQState(const TBitmap32& Feature, const TBitmap32& Dest, TStepCopies Copies = TStepCopies::OnChange,
            std::shared_ptr<TStrokeFile> LogFile = nullptr);
    // Frees the stroke log (its records in the file are dead from then on), then the feature
    // copy, then the drawing copy.
    ~TQState();
    TQState(const TQState&) = delete;
    TQState& operator=(const TQState&) = delete;

    // Rectangle R of the drawing is about to change: a step that copies on change copies the
    // tiles of R it has not copied yet. Before Finish.
    void DestChanging(const TBitmap32& Dest, const TRect& R);
    // Ends the writing of the stroke log (which writes what it holds) and keeps only rectangle R of
    // both copies. A silent abort (EAbort) when the step is already
    // finished or R holds no pixel of the bitmaps: the empty union (MaxInt, MaxInt, MinInt,
    // MinInt) of a gesture that drew nothing, a zero width or height, or a rectangle outside.
    // A rectangle reaching past the bitmaps is cut to them.
    void Finish(const TRect& R);
    // Swaps both copies out to disk.
    void Compress();
    // True when both copies are swapped out (or on their way out on the swap thread).
    bool IsCompressed() const;
    // Bytes of both copies held in memory (two copies of the largest picture pass 2 GB).
    int64_t GetMemSize() const;
    // False once the step can no longer be taken back and keeps only its strokes.
    bool HasCopies() const { return FFeature != nullptr; }

    TStrokes* Strokes() const { return FStrokes.get(); }
    const TRect& Rect() const { return FRect; }
    bool Finished() const { return FFinished; }
    // The copies; only while HasCopies.
    TCompressedBitmap& FeatureCopy() const { return *FFeature; }
    TCompressedBitmap& DestCopy() const { return *FDest; }

private:
    friend class TQStates;
    // Frees both copies (with their swap files): the step keeps only its strokes.
    void DropCopies();
    // The thread that swaps both copies out (nil: they do it themselves).
    void SetSwapThread(TSwapThread* Thread);
    // Starts swapping both copies out on the swap thread (as TCompressedBitmap::StartSwapOut);
    // false when ThreadOnly and the thread would not start.
    bool StartSwapOut(bool ThreadOnly);
    // Once neither copy is on its way out any more: true when both went out, false when one
    // failed (it stays in memory). Nothing while a swap-out is under way or none was started.
    std::optional<bool> EndSwapOut(bool Wait);
    // A swap-out of either copy is under way.
    bool SwappingOut() const;

    std::unique_ptr<TStrokes> FStrokes;
    TRect FRect;
    bool FFinished = false;
    std::unique_ptr<TCompressedBitmap> FFeature;
    std::unique_ptr<TCompressedBitmap> FDest;
    // A copy of the swap-out under way failed; EndSwapOut tells once the other is over too.
    bool FSwapFailed = false;
    // The idle swap-out's last failure: when, and how many swap-outs of the history had
    // succeeded by then (-1: none failed).
    std::chrono::steady_clock::time_point FSwapFailedAt;
    int64_t FSwapFailedAfter = -1;
    // When the history started its last swap-out, counted in swap-outs started.
    int64_t FSwapOutOrder = 0;
};

class TQStates {
public:
    TQStates();
    ~TQStates();
    TQStates(const TQStates&) = delete;
    TQStates& operator=(const TQStates&) = delete;

    // Frees the undone steps, appends Step (the history owns it, and its thread swaps it out
    // from now on) and applies it. When that
    // fails, Step stays with the caller.
    void Add(std::unique_ptr<TQState>&& Step);
    // Takes back the last applied step, from before its gesture, into the bitmaps. At the bottom
    // raises "Imposible hacer undo, estamos al principio de la pila". Undo and redo keep the
    // memory of a walk through the history bounded without waiting for an idle moment: the steps
    // KeepInMemory or more undos or redos away from the new position that are still in memory,
    // bar the SpareInMemory nearest of them, start going out on the swap thread at once (a step
    // whose swap-out failed a moment ago stays, as in Compact, and so do they all while the
    // system will not start the thread: the idle moments take them then). When the disk falls behind, so
    // that two swap-outs are still under way, the undo or redo waits for the oldest of them
    // before it starts another. A step whose swap file is
    // gone or damaged raises ESwapFileLost, and from then on neither it nor any older step can
    // be taken back: they keep only their strokes (which the drawing shows and the outputs
    // read) and the history's bottom is where it stands.
    void Undo(TBitmap32& Feature, TBitmap32& Dest);
    // Applies the next undone step again. At the top raises
    // "Imposible hacer redo, estamos en el tope de la pila". A step whose swap file is gone or
    // damaged raises ESwapFileLost, and it goes with every newer step.
    void Redo(TBitmap32& Feature, TBitmap32& Dest);
    // Exchanges Step's pixels with the same rectangles of the bitmaps.
    void Restore(TBitmap32& Feature, TBitmap32& Dest, TQState& Step);
    // Takes the last applied step out of the history without touching any pixel and hands it
    // back to the caller (nil when none is applied). Used right after Add, when what followed
    // it failed.
    std::unique_ptr<TQState> DropLast();

    // The applied steps.
    int32_t Count() const;
    bool CanUndo() const { return FCurrent > FFloor; }
    bool CanRedo() const { return Length() > FCurrent; }
    // Step I, 0 <= I < Length(); else an index error.
    TQState* GetState(int32_t I) const;
    // The strokes of the applied steps.
    int32_t StrokeCount() const;
    // Bytes held in memory by every step, applied or undone, and by the reserve for reading the
    // next one back.
    int64_t GetMemSize();
    // The idle swap-out: takes the outcome of the swap-outs that are over, then starts at most
    // one step on the swap thread: the oldest still in memory among those with at least
    // KeepInMemory newer steps and at or below the current position, else the newest still in
    // memory among the undone steps that lie KeepInMemory or more above it. When the system will
    // not start the swap thread (a limit on threads), the step is written here and now, and the
    // next swap-out tries the thread again. A step whose
    // swap-out failed stays in memory and is tried again only once another swap-out has
    // succeeded or the retry delay (a minute) has passed. Does nothing while another operation
    // of the history runs.
    void Compact();
    // The idle moment's care of the file of the stroke logs: when a step's strokes died inside
    // File since it was last tidied, the swap thread gives back the disk that dead space holds
    // (TStrokeFile::Compact moves strokes in the file, so it never runs on the window's thread;
    // while the system will not start the thread, the file waits for the next idle moment). One
    // tidying at a time.
    void TidyStrokeFile(const std::shared_ptr<TStrokeFile>& File);
    // Waits for the swap-outs under way and takes their outcome.
    void WaitForSwapOuts();
    // Waits until the swap thread has done every task given so far: the tidying of the stroke
    // file, the memory and files it frees.
    void WaitForTasks();
    void SetSwapRetryDelay(std::chrono::milliseconds Delay) { FSwapRetryDelay = Delay; }
    // The number of applied steps, Floor() <= N <= Length(); else an index error.
    void SetCurrent(int32_t N);

    int32_t Current() const { return FCurrent; }
    int32_t Length() const { return static_cast<int32_t>(FSteps.size()); }
    int32_t KeepInMemory() const { return FKeepInMemory; }
    int32_t SpareInMemory() const { return FSpareInMemory; }
    // The steps below this index can no longer be taken back (their swap files were lost).
    int32_t Floor() const { return FFloor; }
    bool Busy() const { return FBusy.load(std::memory_order_relaxed); }

private:
    class TBusyScope;

    void TakeSwapOuts(bool Wait);
    void TakeSwapOut(TQState& Step, bool Wait);
    // Starts swapping step I out unless it is out already or failed a moment ago; true when it
    // started. Without a swap thread (the system would not start it) the step is written here,
    // unless ThreadOnly: then it stays for the next idle moment.
    bool StartSwapOut(int32_t I, std::chrono::steady_clock::time_point Now, bool ThreadOnly);
    bool MaySwapOut(const TQState& Step, std::chrono::steady_clock::time_point Now) const;
    // After an undo or redo: takes the outcome of the swap-outs that are over and starts, on the
    // swap thread, every step far from the position beyond the few nearest still in memory.
    void SwapOutFarSteps() noexcept;

    // A tidying of the stroke file is queued or under way on the swap thread.
    std::shared_ptr<std::atomic<bool>> FTidying = std::make_shared<std::atomic<bool>>(false);
    // Before the steps, so that it ends after them.
    std::unique_ptr<TSwapThread> FSwapThread;
    std::vector<std::unique_ptr<TQState>> FSteps;
    int32_t FCurrent = 0;
    int32_t FFloor = 0;
    int32_t FKeepInMemory = 3;
    // How many steps past the KeepInMemory nearest on either side an undo or redo leaves in
    // memory; the farther ones go to the swap thread at once.
    int32_t FSpareInMemory = 2;
    // How many swap-outs an undo or redo lets be under way before it starts another; more wait
    // for the oldest.
    int32_t FMaxSwapOutsUnderWay = 2;
    int64_t FSwapOutsStarted = 0;
    std::atomic<bool> FBusy{false};
    // Swap-outs that succeeded; a minute before a failed one is tried again without one.
    int64_t FSwapsDone = 0;
    std::chrono::milliseconds FSwapRetryDelay{60000};
};

// ---------------------------------------------------------------------------------------------
// The strokes of the applied steps, oldest step first, read back from their logs.

// Fills every stroke again into Target with every coordinate times Scale. OnProgress (nil
// sender) reports at strokes 0, 10, 20, ... the percentage of strokes drawn before that one.
void RenderStrokes(const TQStates& States, TBitmap32& Target, float Scale, const TPercentEvent& OnProgress);

// Writes every stroke as a filled polygon into a PostScript file, the W x H drawing scaled to K
// of the largest size that fits an 8.26 by 11.69 inch page and centred on it. Lines end with the
// bytes 10 then 13; numbers have four decimals and a point whatever the locale. OnProgress (nil
// sender) reports before each step. A write that fails raises "Could not write <name>: <reason>";
// the file is closed.
void SaveToPostScript(const std::string& FileName, int32_t W, int32_t H, float K, const TQStates& States,
                      const TPercentEvent& OnProgress);

// "r g b " of C, each channel / 255 as a PostScript number, each followed by one blank.
std::string ColorToPSString(TColor32 C);
// The two numbers joined by one blank.
std::string PointToPSString(float X, float Y);
// A number as the export writes it: rounded to 8 significant digits, then half away from zero
// to 4 decimals, a point, a "-" before negatives that do not round to zero.
void AppendPSNumber(std::string& Out, float Value);
// The same worked out from the decimal text of any double: slower; the colour channels use it.
std::string PSNumberReference(double Value);
