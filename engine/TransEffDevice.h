#pragma once
// The device a transition runs on, the run data it shares with the effect,
// the effect's private run data base, the dirty-rectangle list and the worker thread.

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/Classes.h"
#include "platform/Graphics.h"
#include "platform/Threads.h"

class TTransitionEffect;
class TTEChrono;
class TTETransitionThread;
class TTETransitionData;
class TTETransitionDevice;

// Posted to the device's notify window when a worker run has ended (wParam 0, lParam 0).
constexpr UINT CM_TRANSITIONFINISHED = 0xB216;

// Base of an effect's private run data; the run data owns it.
class TTECustomData {
public:
    explicit TTECustomData(TTETransitionData* data) : FData(data) {}
    virtual ~TTECustomData() = default;
    TTECustomData(const TTECustomData&) = delete;
    TTECustomData& operator=(const TTECustomData&) = delete;

protected:
    TTETransitionData* FData;
};

// Rectangles copied to the canvas after a frame, in insertion order.
class TTEDirtyRects {
public:
    // Copies R; with Clipping, intersected with ClipRect and dropped when that is empty.
    void AddRect(const RECT& r);
    void Clear() { FRects.clear(); }
    int Count() const { return static_cast<int>(FRects.size()); }
    RECT Rects(int index) const { return FRects.at(index); }
    void SetRects(int index, const RECT& r) { FRects.at(index) = r; }

    bool Clipping = false;
    bool AutoClear = true;
    RECT ClipRect{};

private:
    std::vector<RECT> FRects;
};

// The data of one run, shared by the device and the effect.
class TTETransitionData {
public:
    TTETransitionData() = default;
    virtual ~TTETransitionData();
    TTETransitionData(const TTETransitionData&) = delete;
    TTETransitionData& operator=(const TTETransitionData&) = delete;

    // Sets WorkBitmap and ShownImage. Owned: the run data frees it (a bitmap the
    // device made); not owned: the source image itself.
    void SetWorkBitmap(TBitmap* b, bool owned = false);
    // Sets SrcImage; ShownImage follows when it showed the old source.
    void SetSrcImage(TBitmap* b);
    bool OwnsWorkBitmap() const { return FOwnsWorkBitmap; }

    TBitmap* WorkBitmap = nullptr;
    TBitmap* SrcImage = nullptr;
    TTEChrono* AbortChrono = nullptr;
    TBitmap* ShownImage = nullptr;
    double LastBlitTime = 0;
    TTEChrono* PaceChrono = nullptr;
    bool PaintFrames = true;
    TTECustomData* CustomData = nullptr;
    TTETransitionDevice* Device = nullptr;
    TCanvas* Canvas = nullptr;
    HWND Window = nullptr;
    TTEDirtyRects* DirtyRects = nullptr;
    TBitmap* DstImage = nullptr;
    int Frames = 0;
    int LastFrame = 0;
    int TotalFrames = 0;
    int FramesDone = 0;
    int Height = 0;
    POINT CanvasOffset{};
    HPALETTE Palette = nullptr;
    int Pass = 1;
    int PassCount = 1;
    TPixelFormat PixelFormat = pfDevice;
    RECT UnUpdateRect{};
    RECT LastUnUpdateRect{};
    RECT UpdateRect{};
    RECT LastUpdateRect{};
    int Width = 0;

private:
    bool FOwnsWorkBitmap = false;
};

// Abstract base of every device. A concrete device provides ExecuteTransition (usually
// through ExecuteTransitionPasses), IsPaletteDevice, GetPixelFormat, SupportsTwoPasses,
// and for threaded runs IsThreadSafe and GetNotifyWindow. It prepares a run by setting
// FSrcImage and FDstImage, calling Initialize, then filling Width, Height, CanvasOffset,
// Canvas and Window of the run data; it releases it with Finalize.
class TTETransitionDevice : public TObject {
    friend class TTETransitionThread;

public:
    TTETransitionDevice();
    ~TTETransitionDevice() override;

    virtual bool CanExecute();
    virtual bool CheckAbort(bool throttled);
    virtual void Finalize();
    virtual void Initialize();
    virtual void InitFrameCounts();
    virtual void ExecuteTransition() = 0;
    virtual void PrepareWorkBitmap(HPALETTE& oldPalette);
    virtual TTransitionEffect* CloneTransition(TTransitionEffect* transition, bool clone);
    virtual HWND GetNotifyWindow();
    virtual bool NeedsWorkBitmap() { return false; }
    virtual void FinishThreadedRun();
    // Class functions, answered per device class.
    virtual bool IsThreadSafe() const { return false; }
    virtual bool UseFlickerFree(TTransitionEffect* transition, bool forRun) const;
    virtual void Abort();
    virtual bool HasWindowRegion() { return false; }
    virtual bool IsObscured() { return false; }
    virtual bool NeedsOffscreenDrawing() { return false; }
    virtual void Execute(bool synchronous);
    virtual bool IsPaletteDevice() = 0;
    virtual TPixelFormat GetPixelFormat() = 0;
    virtual bool SupportsTwoPasses() = 0;

    // Refused ("Transition is busy") while run data exists.
    void SetTransition(TTransitionEffect* t);
    TTransitionEffect* Transition() const { return FTransition; }
    TTransitionEffect* RunTransition() const { return FRunTransition; }
    TTransitionEffect* RunTransitionOrClient() const { return FRunTransition ? FRunTransition : FTransition; }
    TTETransitionData* Data() const { return FData; }
    bool Aborted() const { return FAborted; }
    bool Executing() const { return FExecuting; }
    bool UsingThread() const { return FUsingThread; }
    bool CanDestroy() const { return FCanDestroy; }
    TTETransitionThread* Thread() const { return FThread; }

    // The image a painter should show while a worker draws. When Locked comes back
    // True the caller holds the image lock and must call UnlockCurrentImage after painting.
    TBitmap* LockCurrentImage(bool& locked);
    void UnlockCurrentImage();

    // Serialise the start and the collection of a worker; guard run data and work bitmap.
    TCriticalSection& ThreadLock() { return FThreadLock; }
    TCriticalSection& ImageLock() { return FImageLock; }

protected:
    // The run of both passes that every concrete ExecuteTransition follows.
    // ControlColor is the colour of the middle image when the options give clNone.
    void ExecuteTransitionPasses(TColor controlColor);
    void ExecutePass(int pass, TTEChrono* chrono, int totalMilliseconds);
    void RunFramesUntimed(TTETransitionData* data, TTEChrono* chrono);
    void RunFramesTimed(TTETransitionData* data, TTEChrono* chrono);
    void PresentFrame(TTEChrono* chrono);
    void CreatePass2Image();
    // Frees a middle image made by CreatePass2Image.
    void FreePass2Image();

    bool FUsingThread = false;
    TTransitionEffect* FTransition = nullptr;
    volatile bool FAborted = false;
    volatile bool FExecuting = false;
    bool FFreeRunTransition = true;
    TTETransitionThread* FThread = nullptr;
    TBitmap* FSrcImage = nullptr;
    TBitmap* FPass2Image = nullptr;
    TBitmap* FDstImage = nullptr;
    TTETransitionData* FData = nullptr;
    TCriticalSection FThreadLock;
    TCriticalSection FImageLock;
    bool FEndPending = false;
    bool FCanDestroy = true;
    TTransitionEffect* FRunTransition = nullptr;

private:
    void CallAfterTransition();
    void DrawFrame(TTETransitionData* data, int current, int step, int previous, TTEChrono* chrono);
    void CopyTarget(TTETransitionData* data);
    bool EscapePending();
    std::unique_ptr<TBitmap> FOwnedPass2Image;
};

// The worker of a threaded run: runs the device's ExecuteTransition, then posts
// CM_TRANSITIONFINISHED to the device's notify window. Freeing it waits for its end.
class TTETransitionThread : public TThread {
public:
    explicit TTETransitionThread(TTETransitionDevice* device);
    ~TTETransitionThread() override;

    TTETransitionDevice* Device() const { return FDevice; }
    bool Running() const { return FRunning; }
    bool Done() const { return FDone; }
    TSimpleEvent& WakeEvent() { return FWakeEvent; }
    TCriticalSection& StartLock() { return FStartLock; }
    bool FNotify = true;

protected:
    void Execute() override;
    void DoTerminate() override;

private:
    TTETransitionDevice* FDevice;
    TCriticalSection FStartLock;
    TSimpleEvent FWakeEvent;
    volatile bool FRunning = false;
    volatile bool FDone = false;
};

// Routines for effects.
// The canvas to draw a frame on: the work bitmap's, else the destination's.
TCanvas* DrawingCanvas(TTETransitionData* data);
// The device shows 15, 16, 24 or 32 bits per pixel.
bool IsDirectColorDevice(TTETransitionDevice* device);
