// Pacing accuracy of timed runs: a 1000 ms run with an effect cheaper than its frame
// budget and with one dearer than it, inline and on a worker. A slow effect must skip
// frames and still end on time.

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "engine/TransEff.h"
#include "engine/TransEffDevice.h"
#include "engine/teChrono.h"
#include "host/ZulEd.h"
#include "platform/Threads.h"

namespace {

constexpr int kDuration = 1000;
constexpr int kFrames = 200;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

double gFrameCost = 0;           // ms spun in each frame on top of the drawing
std::atomic<int> gDrawn{0};

class TBenchEffect : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    using TTimedTransitionEffect::TTimedTransitionEffect;
    void Initialize(TTETransitionData*, int& frames) override { frames = kFrames; }
    void ExecuteFrame(TTETransitionData* data, int current, int, int) override
    {
        if (gFrameCost > 0) {
            TTEChrono c;
            c.Start();
            while (c.Milliseconds() < gFrameCost) {
            }
        }
        // A wipe: the first Current/Frames of the width shows the target.
        int x = data->Width * current / data->Frames;
        BitBlt(DrawingCanvas(data)->Handle(), 0, 0, x, data->Height, data->DstImage->CanvasDC(), 0, 0, SRCCOPY);
        data->UpdateRect = RECT{0, 0, x, data->Height};
        ++gDrawn;
    }
    TTECapabilities GetCapabilities(TTETransitionDevice*) override
    {
        return tecFrameSkip | tecWorkBitmap | tecAlwaysWorkBitmap | tecNeedsSrc | tecThreadSafe;
    }
};

const TTransitionClassInfo TBenchEffect::ClassInfo{
    {"TBenchEffect", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TBenchEffect>, {}}, nullptr, nullptr};

// Shows the frames on a memory bitmap.
class TBenchDevice : public TTETransitionDevice {
public:
    TBenchDevice()
    {
        for (TBitmap* b : {&Screen, &Src, &Dst}) {
            b->SetPixelFormat(pf32bit);
            b->SetSize(kWidth, kHeight);
        }
        WNDCLASSW wc{};
        wc.lpfnWndProc = NotifyProc;
        wc.lpszClassName = L"ZulPacingBench";
        RegisterClassW(&wc);
        FNotify = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(FNotify, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TBenchDevice() override { DestroyWindow(FNotify); }

    // Returns the milliseconds from Execute to the end of the run (collection included).
    double Run(bool inlineRun)
    {
        FSrcImage = &Src;
        FDstImage = &Dst;
        Initialize();
        FData->Width = kWidth;
        FData->Height = kHeight;
        FData->Canvas = Screen.Canvas();
        TTEChrono c;
        c.Start();
        Execute(inlineRun);
        while (FThread) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
            ProcessMessages();
        }
        c.Stop();
        Finalize();
        return c.Milliseconds();
    }

    void ExecuteTransition() override { ExecuteTransitionPasses(clBlack); }
    bool IsPaletteDevice() override { return false; }
    TPixelFormat GetPixelFormat() override { return pf32bit; }
    bool SupportsTwoPasses() override { return false; }
    bool IsThreadSafe() const override { return true; }
    HWND GetNotifyWindow() override { return FNotify; }

    TBitmap Screen, Src, Dst;

private:
    static LRESULT CALLBACK NotifyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == CM_TRANSITIONFINISHED) {
            try {
                reinterpret_cast<TBenchDevice*>(GetWindowLongPtrW(wnd, GWLP_USERDATA))->FinishThreadedRun();
            } catch (...) {
            }
            return 0;
        }
        return DefWindowProcW(wnd, msg, wp, lp);
    }
    HWND FNotify = nullptr;
};

void RunCase(bool inlineRun, bool slow)
{
    TBenchEffect effect(nullptr);
    effect.SetMilliseconds(kDuration);
    // Slow: four times the frame budget (1000 ms / 200 frames = 5 ms).
    gFrameCost = slow ? 4.0 * kDuration / kFrames : 0;
    gDrawn = 0;
    TBenchDevice device;
    device.SetTransition(&effect);
    double ms = device.Run(inlineRun);
    std::printf("pacing %s-%s: requested %d ms, achieved %.0f ms, frames %d/%d\n", inlineRun ? "inline" : "thread",
                slow ? "slow" : "fast", kDuration, ms, gDrawn.load(), kFrames);
    std::fflush(stdout);
}

}  // namespace

int main()
{
    InitializeUnits();
    try {
        for (bool slow : {false, true})
            for (bool inlineRun : {true, false})
                RunCase(inlineRun, slow);
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        FinalizeUnits();
        return 1;
    }
    FinalizeUnits();
    return 0;
}
