#pragma once
// A transition device whose destination is a bitmap in memory: the run is inline and
// untimed by choice of the caller (Milliseconds 0), and a callback sees every frame
// as it has been shown. Used by the frame renderer and by the effect tests.

#include <windows.h>

#include <functional>

#include "engine/TransEff.h"
#include "engine/TransEffDevice.h"
#include "imaging/teRender.h"

class TMemoryDevice : public TTETransitionDevice {
public:
    // Pass, frame of the pass (1..Frames) and the pass's frame count; Screen shows the frame.
    using TFrameHook = std::function<void(int pass, int frame, int frames)>;

    TMemoryDevice(int width, int height, TPixelFormat pf, bool paletteDevice = false)
        : FWidth(width), FHeight(height), FPixelFormat(pf), FPaletteDevice(paletteDevice)
    {
        for (TBitmap* b : {&Src, &Dst, &Screen})
            PrepareBitmap(b, nullptr, width, height, pf);
    }
    ~TMemoryDevice() override
    {
        if (FData)
            Release();
    }

    // One inline run of Transition from Src to Dst, shown on Screen.
    void Run(TTransitionEffect* transition)
    {
        SetTransition(transition);
        FSrcImage = &Src;
        FDstImage = &Dst;
        Screen.Canvas()->Draw(0, 0, &Src);
        Initialize();
        // The images come in the run's format (a cross-fade without MMX runs in 24 bits).
        if (FData->PixelFormat != Src.PixelFormat() && FData->PixelFormat != pfDevice) {
            Src.SetPixelFormat(FData->PixelFormat);
            Dst.SetPixelFormat(FData->PixelFormat);
        }
        FData->Width = FWidth;
        FData->Height = FHeight;
        FData->Canvas = Screen.Canvas();
        Screen.Canvas()->Lock();
        try {
            Execute(true);
        } catch (...) {
            Release();
            throw;
        }
        Release();
    }

    TFrameHook OnFrame;
    TColor MiddleColor = clBlack;   // the middle image of a two-pass run
    TBitmap Src, Dst, Screen;

    void ExecuteTransition() override { ExecuteTransitionPasses(MiddleColor); }
    bool IsPaletteDevice() override { return FPaletteDevice; }
    TPixelFormat GetPixelFormat() override { return FPixelFormat; }
    bool SupportsTwoPasses() override { return true; }

    // The hook runs from the abort check before each frame, which follows the frame
    // before it; one extra round after the last frame shows that one too.
    void InitFrameCounts() override
    {
        TTETransitionDevice::InitFrameCounts();
        FPassFrame = 0;
        FHooking = OnFrame && FRunTransition && FRunTransition->Milliseconds() == 0;
        if (FHooking)
            FData->LastFrame = FData->Frames + 1;
    }
    bool CheckAbort(bool throttled) override
    {
        if (throttled && FHooking && FData) {
            if (FPassFrame > 0) {
                GdiFlush();
                OnFrame(FData->Pass, FPassFrame, FData->Frames);
            }
            if (FPassFrame == FData->Frames)
                return true;   // the extra round: the pass is over
            ++FPassFrame;
        }
        return TTETransitionDevice::CheckAbort(throttled);
    }

private:
    void Release()
    {
        Screen.Canvas()->Unlock();
        Finalize();
        FHooking = false;
    }

    int FWidth, FHeight;
    TPixelFormat FPixelFormat;
    bool FPaletteDevice;
    int FPassFrame = 0;
    bool FHooking = false;
};
