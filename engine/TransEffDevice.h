#pragma once
// The device a transition runs on, the run data it shares with the effect,
// the effect's private run data base, the dirty-rectangle list and the worker thread.

#include <windows.h>

#include <vector>

#include "platform/Graphics.h"

class TTransitionEffect;
class TTEChrono;
class TTETransitionThread;
class TTETransitionData;

class TTECustomData {
public:
    explicit TTECustomData(TTETransitionData* data) : FData(data) {}
    virtual ~TTECustomData() = default;

protected:
    TTETransitionData* FData;
};

class TTEDirtyRects {
public:
    void AddRect(const RECT& r);
    void Clear() { FRects.clear(); }
    int Count() const { return static_cast<int>(FRects.size()); }
    RECT Rects(int index) const { return FRects[index]; }
    void SetRects(int index, const RECT& r) { FRects[index] = r; }

    bool Clipping = false;
    bool AutoClear = true;
    RECT ClipRect{};

private:
    std::vector<RECT> FRects;
};

class TTETransitionData {
public:
    TTETransitionData() = default;
    virtual ~TTETransitionData();

    void SetWorkBitmap(TBitmap* b);
    void SetSrcImage(TBitmap* b);

    TBitmap* WorkBitmap = nullptr;
    TBitmap* SrcImage = nullptr;
    TTEChrono* AbortChrono = nullptr;
    TBitmap* ShownImage = nullptr;
    double LastBlitTime = 0;
    TTEChrono* PaceChrono = nullptr;
    bool PaintFrames = true;
    TTECustomData* CustomData = nullptr;
    class TTETransitionDevice* Device = nullptr;
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
};

// Abstract base of every device. Concrete devices provide ExecuteTransition,
// IsPaletteDevice, GetPixelFormat, SupportsTwoPasses (and, for threaded runs,
// IsThreadSafe and GetNotifyWindow).
class TTETransitionDevice {
public:
    TTETransitionDevice();
    virtual ~TTETransitionDevice();

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

    void SetTransition(TTransitionEffect* t);
    TTransitionEffect* Transition() const { return FTransition; }
    TTransitionEffect* RunTransitionOrClient() const { return FRunTransition ? FRunTransition : FTransition; }
    TTETransitionData* Data() const { return FData; }
    bool Aborted() const { return FAborted; }
    bool Executing() const { return FExecuting; }
    bool UsingThread() const { return FUsingThread; }
    bool CanDestroy() const { return FCanDestroy; }

protected:
    bool FUsingThread = false;
    TTransitionEffect* FTransition = nullptr;
    bool FAborted = false;
    bool FExecuting = false;
    bool FFreeRunTransition = true;
    TTETransitionThread* FThread = nullptr;
    TBitmap* FSrcImage = nullptr;
    TBitmap* FPass2Image = nullptr;
    TBitmap* FDstImage = nullptr;
    TTETransitionData* FData = nullptr;
    CRITICAL_SECTION FThreadLock;
    CRITICAL_SECTION FImageLock;
    bool FEndPending = false;
    bool FCanDestroy = true;
    TTransitionEffect* FRunTransition = nullptr;
};

// Routines for effects.
TCanvas* DrawingCanvas(TTETransitionData* data);
bool IsDirectColorDevice(TTETransitionDevice* device);
