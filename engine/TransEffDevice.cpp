#include "engine/TransEffDevice.h"

#include <utility>

#include "engine/TransEff.h"
#include "engine/teChrono.h"
#include "imaging/teRender.h"

namespace {

constexpr const char* kUnit = "TransEff";

bool HasAbortSource(TTransitionEffect* t)
{
    return t && (t->AbortOnClick() || t->AbortOnEscape() || static_cast<bool>(t->OnAbortQuery()));
}

// Puts back the DC's palette when it goes.
class TPaletteSelection {
public:
    TPaletteSelection(HDC dc, HPALETTE pal) : FDC(dc), FOld(pal ? SelectPalette(dc, pal, TRUE) : nullptr)
    {
        if (pal)
            RealizePalette(dc);
    }
    ~TPaletteSelection()
    {
        if (FOld)
            SelectPalette(FDC, FOld, TRUE);
    }
    TPaletteSelection(const TPaletteSelection&) = delete;
    TPaletteSelection& operator=(const TPaletteSelection&) = delete;

private:
    HDC FDC;
    HPALETTE FOld;
};

// Moves the canvas origin to the run's rectangle for one frame.
class TOriginShift {
public:
    TOriginShift(TCanvas* canvas, POINT offset) : FCanvas(canvas), FOld(canvas->SetWindowOrg(POINT{-offset.x, -offset.y}))
    {
    }
    ~TOriginShift() { FCanvas->SetWindowOrg(FOld); }
    TOriginShift(const TOriginShift&) = delete;
    TOriginShift& operator=(const TOriginShift&) = delete;

private:
    TCanvas* FCanvas;
    POINT FOld;
};

// Restores the DC's clip region (or its absence) when it goes.
class TClipKeeper {
public:
    explicit TClipKeeper(HDC dc) : FDC(dc), FSaved(CreateRectRgn(0, 0, 0, 0))
    {
        FHad = FSaved && GetClipRgn(dc, FSaved) == 1;
    }
    ~TClipKeeper() { SelectClipRgn(FDC, FHad ? FSaved.Get() : nullptr); }
    TClipKeeper(const TClipKeeper&) = delete;
    TClipKeeper& operator=(const TClipKeeper&) = delete;

private:
    HDC FDC;
    TRegionHandle FSaved;
    bool FHad = false;
};

void CopyArea(TCanvas* canvas, TBitmap* from, const RECT& r)
{
    if (RectIsEmpty(r))
        return;
    BitBlt(canvas->Handle(), r.left, r.top, RectWidth(r), RectHeight(r), from->CanvasDC(), r.left, r.top, SRCCOPY);
}

}  // namespace

// ---- dirty rectangles --------------------------------------------------------------------

void TTEDirtyRects::AddRect(const RECT& r)
{
    RECT add = r;
    if (Clipping) {
        if (!IntersectRect(&add, &r, &ClipRect))
            return;
    }
    FRects.push_back(add);
}

// ---- run data ----------------------------------------------------------------------------

TTETransitionData::~TTETransitionData()
{
    if (WorkBitmap && FOwnsWorkBitmap && WorkBitmap != SrcImage)
        delete WorkBitmap;
    delete DirtyRects;
    delete PaceChrono;
    delete AbortChrono;
    delete CustomData;
}

void TTETransitionData::SetWorkBitmap(TBitmap* b, bool owned)
{
    WorkBitmap = b;
    ShownImage = b;
    FOwnsWorkBitmap = b && owned;
}

void TTETransitionData::SetSrcImage(TBitmap* b)
{
    if (ShownImage == SrcImage)
        ShownImage = b;
    SrcImage = b;
}

// ---- device ------------------------------------------------------------------------------

TTETransitionDevice::TTETransitionDevice() = default;

TTETransitionDevice::~TTETransitionDevice()
{
    // A worker still drawing must be stopped before anything it uses goes away.
    if (FThread) {
        Abort();
        FThread->FNotify = false;
        FThread->WaitFor();
        delete std::exchange(FThread, nullptr);
        FUsingThread = false;
    }
    if (FData) {
        try {
            Finalize();
        } catch (...) {
        }
    }
    if (FRunTransition && FFreeRunTransition)
        delete FRunTransition;
    FRunTransition = nullptr;
}

bool TTETransitionDevice::UseFlickerFree(TTransitionEffect* transition, bool) const
{
    return transition && !transition->Enabled();
}

bool TTETransitionDevice::CanExecute()
{
    if (UseFlickerFree(RunTransitionOrClient(), false))
        return false;
    if (FData && (FData->Width <= 0 || FData->Height <= 0))
        return false;
    return true;
}

void TTETransitionDevice::SetTransition(TTransitionEffect* t)
{
    if (FData)
        throw ETransitionEffectError("Transition is busy");
    FTransition = t;
}

TTransitionEffect* TTETransitionDevice::CloneTransition(TTransitionEffect* transition, bool clone)
{
    if (!clone)
        return transition;
    TTransitionEffect* copy = CreateTransition(transition->ClassType(), nullptr);
    try {
        copy->Assign(transition);
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

HWND TTETransitionDevice::GetNotifyWindow()
{
    throw ETransitionEffectError("Device is not thread safe");
}

void TTETransitionDevice::Initialize()
{
    ZUL_ASSERT(!FData, kUnit);
    if (!FRunTransition) {
        if (!FTransition)
            throw ETransitionEffectError("Device's transition is not assigned");
        TTransitionEffect* run;
        if (UseFlickerFree(FTransition, true)) {
            auto* cut = new TFlickerFreeTransition(nullptr);
            try {
                cut->Assign(FTransition);
            } catch (...) {
                delete cut;
                throw;
            }
            run = cut;
        } else {
            run = FTransition->GetRunTransition(this, true);
            run->SetClientTransition(FTransition);
            if (run->Direction() == tedRandom) {
                // A class that allows no real direction keeps tedRandom instead of drawing forever.
                TTEEffectDirections real = run->AllowedDirections() & ~DirectionBit(tedRandom);
                if (real) {
                    TTEEffectDirection d;
                    do
                        d = static_cast<TTEEffectDirection>(Random(12));
                    while (!DirectionIn(d, real));
                    run->SetDirection(d);
                }
            }
        }
        run->SetOnStartTransition(FTransition->OnStartTransition());
        run->SetOnEndTransition(FTransition->OnEndTransition());
        run->SetOnAbortQuery(FTransition->OnAbortQuery());
        FRunTransition = run;
        FFreeRunTransition = run != FTransition;
    }
    auto data = std::make_unique<TTETransitionData>();
    data->SetWorkBitmap(nullptr);
    data->Device = this;
    data->Canvas = nullptr;
    data->Window = nullptr;
    data->DstImage = nullptr;
    data->Palette = nullptr;
    data->Height = 0;
    data->Pass = 1;
    data->PassCount = FRunTransition->GetPassCount(this);
    data->PixelFormat = FRunTransition->GetPixelFormat(this);
    data->PaceChrono = new TTEChrono();
    data->SetSrcImage(nullptr);
    data->Width = 0;
    data->FramesDone = 0;
    if (FRunTransition->GetCapabilities(this) & tecDirtyRects)
        data->DirtyRects = new TTEDirtyRects();
    FData = data.release();
}

void TTETransitionDevice::Finalize()
{
    ZUL_ASSERT(FData, kUnit);
    {
        TLockGuard g(FImageLock);
        delete std::exchange(FData, nullptr);
    }
    if (FRunTransition && FFreeRunTransition) {
        delete FRunTransition;
        FRunTransition = nullptr;
    }
    FreePass2Image();
}

void TTETransitionDevice::InitFrameCounts()
{
    FData->LastFrame = FData->Frames;
    if (FData->Pass == 1)
        FData->TotalFrames = FData->Frames * FData->PassCount;
}

void TTETransitionDevice::Abort()
{
    FAborted = true;
    if (FThread)
        FThread->WakeEvent().SetEvent();
}

void TTETransitionDevice::CallAfterTransition()
{
    if (FTransition && FTransition->OnAfterTransition()) {
        FCanDestroy = false;
        try {
            FTransition->OnAfterTransition()(this);
        } catch (...) {
            FCanDestroy = true;
            throw;
        }
        FCanDestroy = true;
    }
}

void TTETransitionDevice::Execute(bool synchronous)
{
    TTransitionEffect* t = RunTransitionOrClient();
    if (!t)
        throw ETransitionEffectError("Device's transition is not assigned");
    if (!synchronous) {
        if (!IsThreadSafe())
            throw ETransitionEffectError("Device is not thread safe");
        if (!(t->GetCapabilities(this) & tecThreadSafe))
            throw ETransitionEffectError("Transition is not thread safe");
    }
    if (FTransition && FTransition->OnBeforeTransition())
        FTransition->OnBeforeTransition()(this);
    if (synchronous) {
        if (CanExecute()) {
            FAborted = false;
            FExecuting = true;
            try {
                ExecuteTransition();
            } catch (...) {
                FExecuting = false;
                CallAfterTransition();
                throw;
            }
            FExecuting = false;
        }
        CallAfterTransition();
        return;
    }
    if (!FThread && CanExecute()) {
        TLockGuard g(FThreadLock);
        FUsingThread = true;
        FAborted = false;
        FEndPending = false;
        try {
            FThread = new TTETransitionThread(this);
        } catch (...) {
            FUsingThread = false;
            throw;
        }
        return;
    }
    CallAfterTransition();
}

void TTETransitionDevice::FinishThreadedRun()
{
    TTETransitionThread* thread;
    {
        TLockGuard g(FThreadLock);
        thread = FThread;
    }
    // Collected already (the owner did it before the message came): nothing is due.
    if (!thread)
        return;
    // The worker's last step takes the thread lock: wait for it outside the lock.
    thread->WaitFor();
    {
        TLockGuard g(FThreadLock);
        delete std::exchange(FThread, nullptr);
        FUsingThread = false;
    }
    bool endDue = std::exchange(FEndPending, false);
    FCanDestroy = false;
    try {
        if (FTransition && FTransition->OnEndTransition() && endDue)
            FTransition->OnEndTransition()(this);
        if (FTransition && FTransition->OnAfterTransition())
            FTransition->OnAfterTransition()(this);
    } catch (...) {
        FCanDestroy = true;
        throw;
    }
    FCanDestroy = true;
}

bool TTETransitionDevice::EscapePending()
{
    // Key-downs around an Escape are not the run's to lose: they go back to the queue
    // in their order.
    std::vector<MSG> others;
    bool escape = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) {
        if (msg.wParam == VK_ESCAPE && !escape)
            escape = true;
        else
            others.push_back(msg);
    }
    for (const MSG& m : others) {
        if (m.hwnd)
            PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
        else
            PostThreadMessageW(GetCurrentThreadId(), m.message, m.wParam, m.lParam);
    }
    return escape;
}

bool TTETransitionDevice::CheckAbort(bool throttled)
{
    bool aborted = FAborted || (FThread && FThread->Terminated());
    TTransitionEffect* t = RunTransitionOrClient();
    if (!aborted && !FUsingThread && HasAbortSource(t)) {
        bool check = true;
        if (throttled)
            check = FData && FData->AbortChrono && FData->AbortChrono->Milliseconds() > t->AbortCheckInterval();
        if (check) {
            MSG msg;
            if (t->AbortOnClick() && FData && FData->Window &&
                PeekMessageW(&msg, FData->Window, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE))
                aborted = true;
            if (!aborted && t->AbortOnEscape())
                aborted = EscapePending();
            if (!aborted && t->OnAbortQuery()) {
                bool abort = false;
                t->OnAbortQuery()(this, t, abort);
                aborted = abort;
            }
            if (FData && FData->AbortChrono) {
                FData->AbortChrono->Reset();
                FData->AbortChrono->Start();
            }
        }
    }
    if (aborted)
        FAborted = true;
    return aborted;
}

void TTETransitionDevice::PrepareWorkBitmap(HPALETTE& oldPalette)
{
    oldPalette = nullptr;
    TTETransitionData* data = FData;
    ZUL_ASSERT(data, kUnit);
    TTransitionEffect* t = FRunTransition;
    TTECapabilities caps = t->GetCapabilities(this);
    ZUL_ASSERT(!(caps & tecAlwaysWorkBitmap) || (caps & tecWorkBitmap), kUnit);
    if (!(caps & tecWorkBitmap) || !((caps & tecAlwaysWorkBitmap) || NeedsWorkBitmap()))
        return;
    bool drawInSrc = data->SrcImage && (caps & tecDrawInSrc);
    std::unique_ptr<TBitmap> made;
    TBitmap* work = data->SrcImage;
    if (!drawInSrc) {
        if (data->Pass == 1 || !data->WorkBitmap || !data->OwnsWorkBitmap()) {
            made = std::make_unique<TBitmap>();
            made->SetPixelFormat(t->GetPixelFormat(this));
            made->SetSize(t->GetBitmapsWidth(data), data->Height);
            work = made.get();
        } else {
            work = data->WorkBitmap;
        }
        TBitmap* withPalette = data->DstImage && data->DstImage->Palette() ? data->DstImage
                               : data->SrcImage && data->SrcImage->Palette() ? data->SrcImage
                                                                             : nullptr;
        data->Palette = withPalette ? withPalette->Palette() : nullptr;
        if (data->Palette && data->Canvas) {
            HDC dc = data->Canvas->Handle();
            oldPalette = SelectPalette(dc, data->Palette, TRUE);
            RealizePalette(dc);
        }
        if (IsPaletteDevice() && data->DstImage && data->DstImage->Palette())
            work->SetPalette(data->DstImage->Palette());
        if (data->SrcImage && ((caps & tecNeedsSrc) || !(caps & tecAlwaysWorkBitmap)))
            BitBlt(work->CanvasDC(), 0, 0, data->Width, data->Height, data->SrcImage->CanvasDC(), 0, 0, SRCCOPY);
    }
    TLockGuard g(FImageLock);
    TBitmap* previous = data->WorkBitmap;
    bool previousOwned = data->OwnsWorkBitmap();
    data->SetWorkBitmap(work, made != nullptr || (!drawInSrc && previousOwned && work == previous));
    if (previous && previous != work && previous != data->SrcImage && previousOwned)
        delete previous;
    made.release();
}

void TTETransitionDevice::CreatePass2Image()
{
    ZUL_ASSERT(FData, kUnit);
    auto b = std::make_unique<TBitmap>();
    PrepareFilledBitmap(b.get(), FRunTransition->GetBitmapsWidth(FData), FData->Height, FData->PixelFormat,
                        FData->Palette, FRunTransition->Pass2Options()->SolidColor());
    FreePass2Image();
    FOwnedPass2Image = std::move(b);
    FPass2Image = FOwnedPass2Image.get();
}

void TTETransitionDevice::FreePass2Image()
{
    if (FOwnedPass2Image && FPass2Image == FOwnedPass2Image.get())
        FPass2Image = nullptr;
    FOwnedPass2Image.reset();
}

void TTETransitionDevice::ExecuteTransitionPasses(TColor controlColor)
{
    ZUL_ASSERT(FData && FRunTransition, kUnit);
    TTransitionEffect* t = FRunTransition;
    TTETransitionData* data = FData;
    if (!FPass2Image && t->GetPassCount(this) == 2) {
        if (t->Pass2Options()->SolidColor() == clNone)
            t->Pass2Options()->SetSolidColor(controlColor);
        CreatePass2Image();
    }
    auto runPass = [&](int pass, TBitmap* from, TBitmap* to, TTEChrono* chrono, int total) {
        data->SetSrcImage(from);
        data->DstImage = to;
        HPALETTE oldPalette = nullptr;
        PrepareWorkBitmap(oldPalette);
        struct TRestore {
            TTETransitionData* Data;
            HPALETTE Old;
            ~TRestore()
            {
                if (Old && Data->Canvas)
                    SelectPalette(Data->Canvas->Handle(), Old, TRUE);
            }
        } restore{data, oldPalette};
        ExecutePass(pass, chrono, total);
    };
    if (FPass2Image) {
        int total = t->Milliseconds();
        std::unique_ptr<TTEChrono> passChrono;
        if (t->Pass2Options()->DistributedTime() && total != 0) {
            t->SetMilliseconds(total / 2);
            passChrono = std::make_unique<TTEChrono>();
        }
        runPass(1, FSrcImage, FPass2Image, passChrono.get(), total);
        runPass(2, FPass2Image, FDstImage, passChrono.get(), total);
    } else {
        runPass(1, FSrcImage, FDstImage, nullptr, t->Milliseconds());
    }
}

void TTETransitionDevice::CopyTarget(TTETransitionData* data)
{
    if (!data->Canvas)
        return;
    HDC dc = data->Canvas->Handle();
    TPaletteSelection pal(dc, data->Window && data->Palette ? data->Palette : nullptr);
    if (data->DstImage && (!FAborted || data->Pass == data->PassCount))
        BitBlt(dc, data->CanvasOffset.x, data->CanvasOffset.y, data->Width, data->Height, data->DstImage->CanvasDC(), 0,
               0, SRCCOPY);
}

void TTETransitionDevice::ExecutePass(int pass, TTEChrono* chrono, int totalMilliseconds)
{
    TTETransitionData* data = FData;
    TTransitionEffect* t = FRunTransition;
    ZUL_ASSERT(data && t, kUnit);
    int width = t->GetBitmapsWidth(data);
    ZUL_ASSERT(!data->WorkBitmap || data->WorkBitmap->Width() == width, kUnit);
    ZUL_ASSERT(!data->SrcImage || data->SrcImage->Width() == width, kUnit);
    ZUL_ASSERT(!data->DstImage || data->DstImage->Width() == width, kUnit);

    data->Pass = pass;
    if (t->Pass2Options()->Reversed() && data->PassCount == 2)
        t->SetReversed(!t->Reversed());

    if (pass == 1 && t->OnStartTransition() && !FAborted) {
        if (FUsingThread && FThread && GetCurrentThreadId() != MainThreadID) {
            TLockGuard g(FThread->StartLock());
            TThread::Synchronize([&] { t->OnStartTransition()(this); });
        } else {
            t->OnStartTransition()(this);
        }
    }
    if (!FUsingThread && HasAbortSource(t)) {
        data->AbortChrono = new TTEChrono();
        data->AbortChrono->Start();
    }

    auto finish = [&] {
        CopyTarget(data);
        delete std::exchange(data->AbortChrono, nullptr);
    };
    try {
        if (!CheckAbort(false)) {
            try {
                t->Initialize(data, data->Frames);
                InitFrameCounts();
                if (chrono && pass == 1)
                    chrono->Start();
                if (data->Frames > 0) {
                    TTEChrono frameChrono;
                    bool skip = false;
                    if (chrono && pass == 2) {
                        chrono->Stop();
                        int elapsed = RoundHalfEven(chrono->Milliseconds());
                        if (totalMilliseconds > elapsed)
                            t->SetMilliseconds(totalMilliseconds - elapsed);
                        else
                            skip = true;
                    }
                    if (!skip) {
                        if (t->Milliseconds() > 0 && (t->GetCapabilities(this) & tecFrameSkip))
                            RunFramesTimed(data, &frameChrono);
                        else
                            RunFramesUntimed(data, &frameChrono);
                    }
                }
            } catch (...) {
                t->Finalize(data);
                throw;
            }
            t->Finalize(data);
        }
    } catch (...) {
        try {
            finish();
        } catch (...) {
        }
        throw;
    }
    finish();

    bool lastPass = pass == 2 || data->PassCount == 1;
    if (t->OnEndTransition() && lastPass && !FAborted) {
        if (FUsingThread) {
            FEndPending = true;
        } else {
            FCanDestroy = false;
            try {
                t->OnEndTransition()(this);
            } catch (...) {
                FCanDestroy = true;
                throw;
            }
            FCanDestroy = true;
        }
    }
}

void TTETransitionDevice::DrawFrame(TTETransitionData* data, int current, int step, int previous, TTEChrono* chrono)
{
    if (data->Canvas) {
        TOriginShift shift(data->Canvas, data->CanvasOffset);
        FRunTransition->ExecuteFrame(data, current, step, previous);
        PresentFrame(chrono);
    } else {
        FRunTransition->ExecuteFrame(data, current, step, previous);
    }
}

void TTETransitionDevice::RunFramesUntimed(TTETransitionData* data, TTEChrono* chrono)
{
    chrono->Start();
    for (int i = 1; i <= data->LastFrame; ++i) {
        if (CheckAbort(true))
            break;
        data->FramesDone += 1;
        DrawFrame(data, i, 1, i - 1, chrono);
    }
    chrono->Stop();
}

void TTETransitionDevice::RunFramesTimed(TTETransitionData* data, TTEChrono* chrono)
{
    TTEFramePacer pacer(FRunTransition->Milliseconds(), data->LastFrame, data->Frames);
    TTEChrono& pace = *data->PaceChrono;
    auto wait = [&](double target, float expectedOverrun) {
        if (FUsingThread && FThread) {
            while (pace.Milliseconds() < target) {
                if (CheckAbort(false))
                    return;
                int w = static_cast<int>(target - pace.Milliseconds() - expectedOverrun);
                FThread->WakeEvent().WaitFor(w > 1 ? static_cast<DWORD>(w) : 1);
            }
        } else {
            while (pace.Milliseconds() < target) {
                if (CheckAbort(false))
                    return;
            }
        }
    };
    int current = 1;
    int previous = 0;
    chrono->Start();
    while (current <= data->LastFrame) {
        if (CheckAbort(true))
            break;
        data->FramesDone += pacer.StepFrames();
        DrawFrame(data, current, current - previous, previous, chrono);
        if (FAborted)
            break;
        previous = current;
        pacer.Pace(*chrono, pace, data->LastBlitTime, current, wait);
        current += pacer.StepFrames();
    }
    chrono->Stop();
}

void TTETransitionDevice::PresentFrame(TTEChrono* chrono)
{
    TTETransitionData* data = FData;
    if (FUsingThread && data->Window && !IsWindowVisible(data->Window))
        FAborted = true;
    if (!FAborted && data->PaintFrames && data->WorkBitmap && data->Canvas) {
        double start = chrono->Milliseconds();
        {
            HDC dc = data->Canvas->Handle();
            std::unique_ptr<TClipKeeper> clip;
            if (!RectIsEmpty(data->UnUpdateRect)) {
                clip = std::make_unique<TClipKeeper>(dc);
                data->Canvas->ExcludeClipRect(data->UnUpdateRect);
            }
            if (data->DirtyRects && data->DirtyRects->Count() > 1) {
                for (int i = 0; i < data->DirtyRects->Count(); ++i)
                    CopyArea(data->Canvas, data->WorkBitmap, data->DirtyRects->Rects(i));
            } else {
                CopyArea(data->Canvas, data->WorkBitmap, data->UpdateRect);
            }
        }
        data->LastBlitTime = chrono->Milliseconds() - start;
    }
    data->LastUnUpdateRect = data->UnUpdateRect;
    data->LastUpdateRect = data->UpdateRect;
    data->UnUpdateRect = RECT{};
    data->UpdateRect = RECT{};
    if (data->DirtyRects && data->DirtyRects->AutoClear)
        data->DirtyRects->Clear();
    if (!FAborted && !data->WorkBitmap && data->ShownImage == data->SrcImage)
        data->ShownImage = nullptr;
}

TBitmap* TTETransitionDevice::LockCurrentImage(bool& locked)
{
    if (!FThread) {
        locked = false;
        return FSrcImage;
    }
    FImageLock.Enter();
    TBitmap* image = FSrcImage;
    if ((FThread->Running() || !FThread->Done()) && FData && FData->ShownImage)
        image = FData->ShownImage;
    if (!image) {
        FImageLock.Leave();
        locked = false;
    } else {
        locked = true;
    }
    return image;
}

void TTETransitionDevice::UnlockCurrentImage()
{
    FImageLock.Leave();
}

// ---- worker ------------------------------------------------------------------------------

TTETransitionThread::TTETransitionThread(TTETransitionDevice* device) : FDevice(device)
{
    // The images' DCs exist before the worker first draws with them.
    for (TBitmap* b : {device->FSrcImage, device->FPass2Image, device->FDstImage})
        if (b)
            b->CanvasDC();
    Start();
}

TTETransitionThread::~TTETransitionThread()
{
    WaitFor();
}

void TTETransitionThread::Execute()
{
    {
        TLockGuard g(FDevice->FThreadLock);   // the creator has finished setting up
    }
    FRunning = true;
    FDevice->FExecuting = true;
    // The worker holds the images' canvases for its run, taken and given back on this
    // thread (a critical section is only ever left by the thread that entered it).
    std::vector<TCanvas*> held;
    for (TBitmap* b : {FDevice->FSrcImage, FDevice->FPass2Image, FDevice->FDstImage}) {
        if (b) {
            b->Canvas()->Lock();
            held.push_back(b->Canvas());
        }
    }
    try {
        FDevice->ExecuteTransition();
    } catch (...) {
        MessageBeep(MB_ICONHAND);
    }
    for (TCanvas* c : held)
        c->Unlock();
    FDevice->FExecuting = false;
    FRunning = false;
    FDone = true;
    {
        TLockGuard g(FDevice->FThreadLock);
    }
}

void TTETransitionThread::DoTerminate()
{
    if (!FNotify)
        return;
    try {
        PostMessageW(FDevice->GetNotifyWindow(), CM_TRANSITIONFINISHED, 0, 0);
    } catch (...) {
    }
}

// ---- routines ----------------------------------------------------------------------------

TCanvas* DrawingCanvas(TTETransitionData* data)
{
    return data->WorkBitmap ? data->WorkBitmap->Canvas() : data->Canvas;
}

bool IsDirectColorDevice(TTETransitionDevice* device)
{
    TPixelFormat pf = device->GetPixelFormat();
    return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit;
}
