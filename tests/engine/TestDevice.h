#pragma once
// A device that shows its frames on a memory bitmap, and an effect that records what
// the device asks of it, for the run-loop tests.

#include <windows.h>

#include <atomic>
#include <functional>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/TransEff.h"
#include "engine/TransEffDevice.h"
#include "engine/teChrono.h"
#include "platform/Threads.h"

// ---- the log both sides write (the worker too) ----------------------------------------------

struct TRunLog {
    std::mutex Lock;
    std::vector<std::string> Lines;
    void Add(const std::string& s)
    {
        std::lock_guard<std::mutex> g(Lock);
        Lines.push_back(s);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> g(Lock);
        return std::exchange(Lines, {});
    }
};
inline TRunLog gLog;

// What the recording effect does; the device runs a copy, so it reads this, not fields.
struct TRecordingSetup {
    int Frames = 3;
    TTECapabilities Caps = tecWorkBitmap | tecAlwaysWorkBitmap | tecNeedsSrc | tecTwoPasses | tecThreadSafe;
    double FrameCostMs = 0;       // spun inside each frame
    bool LogFrames = true;
    bool ThrowInFrame = false;
    TColor Scribble = clFuchsia;  // what every frame paints over its whole area
    std::atomic<int> FramesDrawn{0};
    std::atomic<bool> Pass1Exact{false};   // at pass 2's start the canvas showed the middle image
    std::vector<int> Steps;                  // Step of every frame
    TColor MiddleColor = clNone;             // the source image of pass 2, as pass 2 starts
    TTEEffectDirection Direction = tedNone;  // the run copy's direction
    // Called at the start of every frame, before it draws.
    std::function<void(TTETransitionData*, int)> OnFrame;
    // Replaces the drawing of a frame when set.
    std::function<void(TTETransitionData*, int)> Draw;
};
inline TRecordingSetup gSetup;

inline bool SameBitmapArea(TBitmap* a, HDC dc, int w, int h)
{
    TBitmap copy;
    copy.SetPixelFormat(pf24bit);
    copy.SetSize(w, h);
    BitBlt(copy.CanvasDC(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
    TBitmap ref;
    ref.SetPixelFormat(pf24bit);
    ref.SetSize(w, h);
    BitBlt(ref.CanvasDC(), 0, 0, w, h, a->CanvasDC(), 0, 0, SRCCOPY);
    for (int y = 0; y < h; ++y)
        if (std::memcmp(copy.ScanLine(y), ref.ScanLine(y), static_cast<size_t>(w) * 3) != 0)
            return false;
    return true;
}

class TRecordingEffect : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TRecordingEffect(TComponent* owner) : TTimedTransitionEffect(owner)
    {
        FAllowedDirections = DirectionBit(tedNone) | DirectionBit(tedLeft) | DirectionBit(tedRight) |
                             DirectionBit(tedRandom);
    }
    void Initialize(TTETransitionData* data, int& frames) override
    {
        frames = gSetup.Frames;
        gSetup.Direction = Direction();
        if (data->Pass == 2 && data->SrcImage)
            gSetup.MiddleColor = data->SrcImage->Canvas()->Pixel(0, 0);
        if (data->Pass == 2 && data->Canvas)
            gSetup.Pass1Exact = SameBitmapArea(data->SrcImage, data->Canvas->Handle(), data->Width, data->Height);
        gLog.Add("init" + std::to_string(data->Pass) + (Reversed() ? "r" : ""));
    }
    void Finalize(TTETransitionData* data) override
    {
        gLog.Add("final" + std::to_string(data->Pass));
        TTimedTransitionEffect::Finalize(data);
    }
    void ExecuteFrame(TTETransitionData* data, int current, int step, int prev) override
    {
        gSetup.Steps.push_back(step);
        if (gSetup.LogFrames)
            gLog.Add("frame" + std::to_string(current));
        if (gSetup.OnFrame)
            gSetup.OnFrame(data, current);
        if (gSetup.ThrowInFrame)
            throw Exception("frame failed");
        if (gSetup.FrameCostMs > 0) {
            TTEChrono c;
            c.Start();
            while (c.Milliseconds() < gSetup.FrameCostMs) {
            }
        }
        if (gSetup.Draw) {
            gSetup.Draw(data, current);
            ++gSetup.FramesDrawn;
            return;
        }
        TCanvas* canvas = DrawingCanvas(data);
        canvas->Brush()->SetColor(gSetup.Scribble);
        canvas->FillRect(Rect(0, 0, data->Width, data->Height));
        data->UpdateRect = Rect(0, 0, data->Width, data->Height);
        ++gSetup.FramesDrawn;
    }
    TTECapabilities GetCapabilities(TTETransitionDevice*) override { return gSetup.Caps; }
};

inline const TTransitionClassInfo TRecordingEffect::ClassInfo{
    {"TRecordingEffect", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TRecordingEffect>, {}}, nullptr,
    nullptr};

// ---- the device ------------------------------------------------------------------------

constexpr int kTestW = 16;
constexpr int kTestH = 12;

class TTestDevice : public TTETransitionDevice {
public:
    explicit TTestDevice(bool threadSafe = false, int w = kTestW, int h = kTestH)
        : FThreadSafe(threadSafe), FW(w), FH(h)
    {
        for (auto [b, c] : {std::pair{&Screen, clBlack}, std::pair{&Src, clRed}, std::pair{&Dst, clBlue}}) {
            b->SetPixelFormat(pf24bit);
            b->SetSize(w, h);
            b->Canvas()->Brush()->SetColor(c);
            b->Canvas()->FillRect(Rect(0, 0, w, h));
        }
        // The target is not one flat colour, so a wrong offset shows.
        Dst.Canvas()->SetPixel(w - 1, h - 1, clLime);
        WNDCLASSW wc{};
        wc.lpfnWndProc = NotifyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ZulTestDeviceNotify";
        RegisterClassW(&wc);
        FNotify = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(FNotify, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TTestDevice() override
    {
        if (FThread) {
            Abort();
            FinishThreadedRun();
        }
        if (FData)
            Release();
        DestroyWindow(FNotify);
    }

    void Prepare(HWND window = nullptr)
    {
        FSrcImage = &Src;
        FDstImage = &Dst;
        Initialize();
        FData->Width = FW;
        FData->Height = FH;
        FData->Canvas = Screen.Canvas();
        FData->Window = window;
        Screen.Canvas()->Lock();
    }
    void Release()
    {
        Screen.Canvas()->Unlock();
        Finalize();
    }
    // A whole run: prepare, execute, collect a worker, release.
    void Run(bool synchronous, HWND window = nullptr)
    {
        Prepare(window);
        try {
            Execute(synchronous);
            if (!synchronous)
                WaitCollected();
        } catch (...) {
            Release();
            throw;
        }
        Release();
    }
    // Pumps messages until the worker's end has been collected.
    void WaitCollected()
    {
        while (FThread) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            ProcessMessages();
        }
    }
    bool ScreenShowsTarget() { return SameBitmapArea(&Dst, Screen.CanvasDC(), FW, FH); }

    void ExecuteTransition() override { ExecuteTransitionPasses(clYellow); }
    bool IsPaletteDevice() override { return false; }
    TPixelFormat GetPixelFormat() override { return pf24bit; }
    bool SupportsTwoPasses() override { return true; }
    bool IsThreadSafe() const override { return FThreadSafe; }
    HWND GetNotifyWindow() override { return FNotify; }
    // As a screen device: a disabled transition runs as a flicker-free cut when it asks for it.
    bool UseFlickerFree(TTransitionEffect* t, bool forRun) const override
    {
        return t && (forRun || !t->FlickerFreeWhenDisabled()) && (!t->Enabled() || TransitionsDisabled);
    }

    using TTETransitionDevice::FPass2Image;

    TBitmap Screen, Src, Dst;

private:
    static LRESULT CALLBACK NotifyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == CM_TRANSITIONFINISHED) {
            auto* self = reinterpret_cast<TTestDevice*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
            try {
                if (self)
                    self->FinishThreadedRun();
            } catch (...) {
                gLog.Add("error in collection");
            }
            return 0;
        }
        return DefWindowProcW(wnd, msg, wp, lp);
    }
    bool FThreadSafe;
    int FW, FH;
    HWND FNotify = nullptr;
};

// A client transition whose events write to the log.
inline void HookEvents(TTransitionEffect* t)
{
    t->SetOnBeforeTransition([](TObject*) { gLog.Add("before"); });
    t->SetOnStartTransition([](TObject*) {
        gLog.Add(GetCurrentThreadId() == MainThreadID ? "start" : "start-on-worker");
    });
    t->SetOnEndTransition([](TObject*) { gLog.Add("end"); });
    t->SetOnAfterTransition([](TObject*) { gLog.Add("after"); });
}

// Waits until the worker has drawn N frames, serving its calls to this thread meanwhile.
inline void WaitFramesDrawn(int n)
{
    while (gSetup.FramesDrawn < n) {
        ProcessMessages();
        Sleep(1);
    }
}

inline void ResetRecording()
{
    gLog.Take();
    gSetup.Frames = 3;
    gSetup.Caps = tecWorkBitmap | tecAlwaysWorkBitmap | tecNeedsSrc | tecTwoPasses | tecThreadSafe;
    gSetup.FrameCostMs = 0;
    gSetup.LogFrames = true;
    gSetup.ThrowInFrame = false;
    gSetup.FramesDrawn = 0;
    gSetup.Pass1Exact = false;
    gSetup.Steps.clear();
    gSetup.MiddleColor = clNone;
    gSetup.Direction = tedNone;
    gSetup.OnFrame = nullptr;
    gSetup.Draw = nullptr;
    TransitionsDisabled = false;
}
