#include <gtest/gtest.h>

#include <memory>

#include "engine/TransEff.h"
#include "imaging/teRender.h"
#include "tests/common/ResourceCount.h"
#include "tests/engine/TestDevice.h"

namespace {

using Lines = std::vector<std::string>;

class DeviceRun : public testing::Test {
protected:
    void SetUp() override
    {
        ResetRecording();
        Effect = std::make_unique<TRecordingEffect>(nullptr);
        HookEvents(Effect.get());
    }
    void TearDown() override { ResetRecording(); }

    std::unique_ptr<TTestDevice> MakeDevice(bool threadSafe = false)
    {
        auto d = std::make_unique<TTestDevice>(threadSafe);
        d->SetTransition(Effect.get());
        return d;
    }

    std::unique_ptr<TRecordingEffect> Effect;
};

TEST_F(DeviceRun, InlineRunFiresEveryEventInOrderAndEndsOnTheTarget)
{
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "frame1", "frame2", "frame3", "final1", "end", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
    EXPECT_EQ(gSetup.Steps, (std::vector<int>{1, 1, 1}));
    EXPECT_FALSE(d->Executing());
    EXPECT_EQ(d->RunTransition(), nullptr);   // the run copy is gone
}

TEST_F(DeviceRun, ThreadedRunStartsOnTheUserThreadAndEndsAtCollection)
{
    auto d = MakeDevice(true);
    d->Prepare();
    d->Execute(false);
    EXPECT_TRUE(d->UsingThread());
    d->WaitCollected();
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "frame1", "frame2", "frame3", "final1", "end", "after"}));
    EXPECT_FALSE(d->UsingThread());
    EXPECT_TRUE(d->ScreenShowsTarget());
    d->Release();
}

TEST_F(DeviceRun, TwoPassesGoThroughTheMiddleColourAndEachEndsExact)
{
    Effect->SetPassSetting(teTwoPasses);
    Effect->Pass2Options()->SetReversed(true);
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1r", "frame1", "frame2", "frame3", "final1", "init2",
                                  "frame1", "frame2", "frame3", "final2", "end", "after"}));
    EXPECT_TRUE(gSetup.Pass1Exact);
    EXPECT_EQ(gSetup.MiddleColor, clYellow);   // clNone: the control's colour
    EXPECT_TRUE(d->ScreenShowsTarget());
    EXPECT_EQ(d->FPass2Image, nullptr);
}

TEST_F(DeviceRun, MiddleColourFromTheOptions)
{
    Effect->SetPassSetting(teTwoPasses);
    Effect->Pass2Options()->SetSolidColor(clGreen);
    MakeDevice()->Run(true);
    EXPECT_EQ(gSetup.MiddleColor, clGreen);
    EXPECT_EQ(Effect->Pass2Options()->SolidColor(), clGreen);   // the client keeps its value
}

TEST_F(DeviceRun, NoFramesStillShowsTheTargetAndEnds)
{
    gSetup.Frames = 0;
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "final1", "end", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
}

TEST_F(DeviceRun, TwoPassRunAbortedInPassOneShowsTheFinalTargetWithoutEnd)
{
    Effect->SetPassSetting(teTwoPasses);
    Effect->SetAbortCheckInterval(0);
    int queries = 0;
    Effect->SetOnAbortQuery([&](TObject* sender, TTransitionEffect* t, bool& abort) {
        ++queries;
        abort = gSetup.FramesDrawn >= 1;
    });
    auto d = MakeDevice();
    d->Run(true);
    Lines log = gLog.Take();
    EXPECT_EQ(log, (Lines{"before", "start", "init1", "frame1", "final1", "after"}));
    EXPECT_TRUE(d->Aborted());
    EXPECT_TRUE(d->ScreenShowsTarget());
}

TEST_F(DeviceRun, AbortQueryGetsTheDeviceAndTheRunCopyAndIsThrottled)
{
    gSetup.Frames = 10;
    TObject* seenSender = nullptr;
    TTransitionEffect* seenTransition = nullptr;
    int queries = 0;
    Effect->SetOnAbortQuery([&](TObject* sender, TTransitionEffect* t, bool&) {
        seenSender = sender;
        seenTransition = t;
        ++queries;
    });
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(seenSender, d.get());
    EXPECT_NE(seenTransition, Effect.get());
    EXPECT_EQ(queries, 1);   // at the start; frames come faster than the 300 ms interval
    Effect->SetAbortCheckInterval(-1);
    queries = 0;
    d->Run(true);
    EXPECT_EQ(queries, 11);
}

TEST_F(DeviceRun, DistributedTimeWithAnOverrunningFirstPassLeavesPassTwoEmpty)
{
    Effect->SetPassSetting(teTwoPasses);
    Effect->Pass2Options()->SetDistributedTime(true);
    Effect->SetMilliseconds(60);
    gSetup.Caps |= tecFrameSkip;
    gSetup.Frames = 4;
    gSetup.FrameCostMs = 80;
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "frame1", "final1", "init2", "final2", "end", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
}

TEST_F(DeviceRun, DistributedTimeSplitsTheDuration)
{
    Effect->SetPassSetting(teTwoPasses);
    Effect->Pass2Options()->SetDistributedTime(true);
    Effect->SetMilliseconds(300);
    gSetup.Caps |= tecFrameSkip;
    gSetup.Frames = 5;
    gSetup.LogFrames = false;
    TTEChrono c;
    c.Start();
    MakeDevice()->Run(true);
    c.Stop();
    // Both passes together take the duration, not twice it.
    EXPECT_GT(c.Milliseconds(), 200);
    EXPECT_LT(c.Milliseconds(), 500);
}

TEST_F(DeviceRun, FirstFrameSlowerThanTheDurationJumpsToTheEnd)
{
    Effect->SetMilliseconds(20);
    gSetup.Caps |= tecFrameSkip;
    gSetup.Frames = 10;
    gSetup.FrameCostMs = 30;
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gSetup.Steps, (std::vector<int>{1}));
    EXPECT_TRUE(d->ScreenShowsTarget());
}

TEST_F(DeviceRun, FastTimedFramesWaitForTheirBudget)
{
    Effect->SetMilliseconds(200);
    gSetup.Caps |= tecFrameSkip;
    gSetup.Frames = 10;
    TTEChrono c;
    c.Start();
    MakeDevice()->Run(true);
    c.Stop();
    EXPECT_EQ(gSetup.FramesDrawn, 10);
    EXPECT_GT(c.Milliseconds(), 150);
}

TEST_F(DeviceRun, WithoutFrameSkipEveryFrameIsDrawnWithoutWaiting)
{
    Effect->SetMilliseconds(5000);
    gSetup.Frames = 30;
    gSetup.LogFrames = false;
    TTEChrono c;
    c.Start();
    MakeDevice()->Run(true);
    c.Stop();
    EXPECT_EQ(gSetup.FramesDrawn, 30);
    EXPECT_LT(c.Milliseconds(), 2500);
}

struct RefusalCase {
    const char* Name;
    bool DeviceThreadSafe;
    TTECapabilities Caps;
    bool Transition;
    const char* Message;
};

class DeviceRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(DeviceRefusal, RaisesBeforeAnyEvent)
{
    ResetRecording();
    const RefusalCase& c = GetParam();
    TRecordingEffect effect(nullptr);
    HookEvents(&effect);
    gSetup.Caps = c.Caps;
    TTestDevice d(c.DeviceThreadSafe);
    if (c.Transition) {
        d.SetTransition(&effect);
        d.Prepare();
    }
    try {
        d.Execute(false);
        ADD_FAILURE() << "no error";
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), c.Message);
    }
    EXPECT_TRUE(gLog.Take().empty());
    EXPECT_EQ(d.Thread(), nullptr);
    if (c.Transition)
        d.Release();
}

INSTANTIATE_TEST_SUITE_P(
    Threaded, DeviceRefusal,
    testing::Values(RefusalCase{"NoTransition", true, tecThreadSafe, false, "Device's transition is not assigned"},
                    RefusalCase{"DeviceNotThreadSafe", false, tecThreadSafe, true, "Device is not thread safe"},
                    RefusalCase{"TransitionNotThreadSafe", true, tecWorkBitmap, true, "Transition is not thread safe"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(DeviceRun, TransitionCannotChangeWhilePrepared)
{
    auto d = MakeDevice();
    d->Prepare();
    TRecordingEffect other(nullptr);
    EXPECT_THROW(d->SetTransition(&other), ETransitionEffectError);
    EXPECT_EQ(d->Transition(), Effect.get());
    d->Release();
    d->SetTransition(&other);
    EXPECT_EQ(d->Transition(), &other);
}

TEST_F(DeviceRun, PrepareWithoutTransitionIsRefused)
{
    TTestDevice d;
    EXPECT_THROW(d.Prepare(), ETransitionEffectError);
    EXPECT_EQ(d.Data(), nullptr);
}

TEST_F(DeviceRun, HidingTheWindowStopsAThreadedRun)
{
    HWND wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr, nullptr,
                               nullptr);
    ASSERT_TRUE(IsWindowVisible(wnd));
    gSetup.Frames = 500;
    gSetup.FrameCostMs = 2;
    gSetup.LogFrames = false;
    auto d = MakeDevice(true);
    d->Prepare(wnd);
    d->Execute(false);
    WaitFramesDrawn(5);
    ShowWindow(wnd, SW_HIDE);
    d->WaitCollected();
    EXPECT_LT(gSetup.FramesDrawn, 500);
    EXPECT_TRUE(d->Aborted());
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "final1", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
    d->Release();
    DestroyWindow(wnd);
}

TEST_F(DeviceRun, AbortEndsAThreadedPacingWaitAtOnce)
{
    Effect->SetMilliseconds(60000);
    gSetup.Caps |= tecFrameSkip;
    gSetup.Frames = 10;
    gSetup.LogFrames = false;
    auto d = MakeDevice(true);
    d->Prepare();
    d->Execute(false);
    WaitFramesDrawn(1);
    TTEChrono c;
    c.Start();
    d->Abort();
    d->WaitCollected();
    c.Stop();
    EXPECT_LT(c.Milliseconds(), 3000);   // not the minute the run asked for
    EXPECT_EQ(gSetup.FramesDrawn, 1);
    EXPECT_TRUE(d->ScreenShowsTarget());
    d->Release();
}

TEST_F(DeviceRun, PainterSeesTheWorkBitmapWhileTheWorkerDraws)
{
    gSetup.Frames = 200;
    gSetup.FrameCostMs = 2;
    gSetup.LogFrames = false;
    auto d = MakeDevice(true);
    d->Prepare();
    bool locked = true;
    EXPECT_EQ(d->LockCurrentImage(locked), &d->Src);
    EXPECT_FALSE(locked);
    d->Execute(false);
    WaitFramesDrawn(2);
    TBitmap* shown = d->LockCurrentImage(locked);
    EXPECT_TRUE(locked);
    if (locked) {
        EXPECT_EQ(shown, d->Data()->WorkBitmap);
        d->UnlockCurrentImage();
    }
    d->Abort();
    d->WaitCollected();
    d->Release();
}

TEST_F(DeviceRun, EarlyCollectionWaitsForTheRunAndTheLateMessageChangesNothing)
{
    gSetup.Frames = 20;
    gSetup.FrameCostMs = 1;
    gSetup.LogFrames = false;
    auto d = MakeDevice(true);
    d->Prepare();
    d->Execute(false);
    // Collected at once: the worker still needs this thread for OnStartTransition.
    d->FinishThreadedRun();
    EXPECT_EQ(gSetup.FramesDrawn, 20);
    EXPECT_EQ(d->Thread(), nullptr);
    for (int i = 0; i < 20; ++i) {   // the worker's CM_TRANSITIONFINISHED arrives now
        ProcessMessages();
        Sleep(1);
    }
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "final1", "end", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
    d->Release();
}

TEST_F(DeviceRun, AnInlineErrorReachesTheCallerAfterCleanUp)
{
    gSetup.ThrowInFrame = true;
    auto d = MakeDevice();
    d->Prepare();
    EXPECT_THROW(d->Execute(true), Exception);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "frame1", "final1", "after"}));
    EXPECT_FALSE(d->Executing());
    EXPECT_EQ(d->Screen.Canvas()->WindowOrg().x, 0);
    EXPECT_TRUE(d->ScreenShowsTarget());
    d->Release();
}

TEST_F(DeviceRun, AThreadedErrorIsSwallowedAndTheRunIsCollectedWithoutEnd)
{
    gSetup.ThrowInFrame = true;
    auto d = MakeDevice(true);
    d->Run(false);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "init1", "frame1", "final1", "after"}));
    EXPECT_FALSE(d->UsingThread());
}

// ---- aborts from the message queue -------------------------------------------------------

class QueueAbort : public DeviceRun {
protected:
    void SetUp() override
    {
        DeviceRun::SetUp();
        Wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, nullptr, nullptr);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override
    {
        DestroyWindow(Wnd);
        DeviceRun::TearDown();
    }
    std::vector<WPARAM> KeyDownsLeft()
    {
        std::vector<WPARAM> keys;
        MSG m;
        while (PeekMessageW(&m, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
            keys.push_back(m.wParam);
        return keys;
    }
    HWND Wnd = nullptr;
};

TEST_F(QueueAbort, ClickOnTheWindowAborts)
{
    Effect->SetAbortOnClick(true);
    PostMessageW(Wnd, WM_LBUTTONDOWN, 0, 0);
    auto d = MakeDevice();
    d->Run(true, Wnd);
    EXPECT_TRUE(d->Aborted());
    EXPECT_EQ(gSetup.FramesDrawn, 0);
    EXPECT_TRUE(d->ScreenShowsTarget());
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "after"}));
}

TEST_F(QueueAbort, EscapeAbortsAndOtherKeysStayQueuedInOrder)
{
    Effect->SetAbortOnEscape(true);
    PostMessageW(Wnd, WM_KEYDOWN, 'A', 0);
    PostMessageW(Wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(Wnd, WM_KEYDOWN, 'B', 0);
    auto d = MakeDevice();
    d->Run(true, Wnd);
    EXPECT_TRUE(d->Aborted());
    EXPECT_EQ(KeyDownsLeft(), (std::vector<WPARAM>{'A', 'B'}));
}

TEST_F(QueueAbort, OtherKeysDoNotAbort)
{
    Effect->SetAbortOnEscape(true);
    PostMessageW(Wnd, WM_KEYDOWN, 'A', 0);
    auto d = MakeDevice();
    d->Run(true, Wnd);
    EXPECT_FALSE(d->Aborted());
    EXPECT_EQ(gSetup.FramesDrawn, 3);
    EXPECT_EQ(KeyDownsLeft(), (std::vector<WPARAM>{'A'}));
}

TEST_F(QueueAbort, ClickAndEscapeAreBothWatched)
{
    Effect->SetAbortOnClick(true);
    Effect->SetAbortOnEscape(true);
    PostMessageW(Wnd, WM_KEYDOWN, VK_ESCAPE, 0);
    auto d = MakeDevice();
    d->Run(true, Wnd);
    EXPECT_TRUE(d->Aborted());
}

// ---- dirty rectangles ------------------------------------------------------------------------

struct DirtyCase {
    const char* Name;
    std::vector<RECT> Dirty;
    RECT Update;
    RECT UnUpdate;
    // Which of four probe points (left-top, right-top, left-bottom, right-bottom) the
    // first frame brought to the canvas.
    std::vector<bool> Copied;
};

class DirtyRects : public testing::TestWithParam<DirtyCase> {};

TEST_P(DirtyRects, OnlyTheNamedAreaReachesTheCanvas)
{
    ResetRecording();
    const DirtyCase& c = GetParam();
    gSetup.Caps = tecWorkBitmap | tecAlwaysWorkBitmap | tecDirtyRects;
    gSetup.Frames = 2;
    std::vector<bool> seen;
    gSetup.Draw = [&](TTETransitionData* data, int frame) {
        if (frame == 2) {
            // The canvas now shows what frame 1 copied.
            for (POINT p : {POINT{2, 2}, POINT{kTestW - 2, 2}, POINT{2, kTestH - 2}, POINT{kTestW - 2, kTestH - 2}})
                seen.push_back(data->Canvas->Pixel(p.x, p.y) == clFuchsia);
            return;
        }
        TCanvas* canvas = DrawingCanvas(data);
        canvas->Brush()->SetColor(clFuchsia);
        canvas->FillRect(Rect(0, 0, data->Width, data->Height));
        for (const RECT& r : c.Dirty)
            data->DirtyRects->AddRect(r);
        data->UpdateRect = c.Update;
        data->UnUpdateRect = c.UnUpdate;
    };
    TRecordingEffect effect(nullptr);
    TTestDevice d;
    d.SetTransition(&effect);
    d.Run(true);
    EXPECT_EQ(seen, c.Copied);
    EXPECT_TRUE(d.ScreenShowsTarget());
    ResetRecording();
}

constexpr int kHalfW = kTestW / 2;
constexpr int kHalfH = kTestH / 2;

INSTANTIATE_TEST_SUITE_P(
    Present, DirtyRects,
    testing::Values(
        DirtyCase{"OneRectCopiesUpdateRect", {Rect(kHalfW, 0, kTestW, kTestH)}, Rect(0, 0, kHalfW, kTestH), {},
                  {true, false, true, false}},
        DirtyCase{"TwoRectsCopyThemselves",
                  {Rect(0, 0, kHalfW, kHalfH), Rect(kHalfW, kHalfH, kTestW, kTestH)},
                  Rect(0, 0, kTestW, kTestH),
                  {},
                  {true, false, false, true}},
        DirtyCase{"NoRectCopiesUpdateRect", {}, Rect(0, kHalfH, kTestW, kTestH), {}, {false, false, true, true}},
        DirtyCase{"UnUpdateRectIsLeftAlone", {}, Rect(0, 0, kTestW, kTestH), Rect(0, 0, kHalfW, kHalfH),
                  {false, true, true, true}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DirtyRectList, ClippingDropsWhatFallsOutside)
{
    TTEDirtyRects list;
    list.AddRect(Rect(0, 0, 5, 5));
    list.Clipping = true;
    list.ClipRect = Rect(0, 0, 10, 10);
    list.AddRect(Rect(8, 8, 20, 20));
    list.AddRect(Rect(10, 10, 20, 20));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Rects(1).right, 10);
    list.SetRects(0, Rect(1, 1, 2, 2));
    EXPECT_EQ(list.Rects(0).left, 1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

// ---- disabled transitions and the flicker-free cut ---------------------------------------------

TEST_F(DeviceRun, DisabledTransitionRunsAsAFlickerFreeCutWhenItAsks)
{
    Effect->SetEnabled(false);
    Effect->SetFlickerFreeWhenDisabled(true);
    Effect->SetMilliseconds(5000);
    auto d = MakeDevice();
    TTEChrono c;
    c.Start();
    d->Prepare();
    EXPECT_TRUE(d->RunTransition()->InheritsFrom(&TFlickerFreeTransition::ClassInfo));
    d->Execute(true);
    d->Release();
    c.Stop();
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "end", "after"}));   // the effect itself never ran
    EXPECT_TRUE(d->ScreenShowsTarget());
    EXPECT_LT(c.Milliseconds(), 2500);   // one frame, no pacing
}

TEST_F(DeviceRun, DisabledTransitionIsSkippedWhenItDoesNotAsk)
{
    Effect->SetEnabled(false);
    auto d = MakeDevice();
    d->Run(true);
    EXPECT_EQ(gLog.Take(), (Lines{"before", "after"}));
    EXPECT_FALSE(d->ScreenShowsTarget());
}

TEST_F(DeviceRun, TransitionsDisabledMakesEveryRunACut)
{
    Effect->SetFlickerFreeWhenDisabled(true);
    TransitionsDisabled = true;
    auto d = MakeDevice(true);
    d->Run(false);   // the cut is thread-safe
    EXPECT_EQ(gLog.Take(), (Lines{"before", "start", "end", "after"}));
    EXPECT_TRUE(d->ScreenShowsTarget());
}

TEST(FlickerFreeCut, CapabilitiesAndCopies)
{
    TFlickerFreeTransition cut(nullptr);
    TTestDevice d;
    EXPECT_EQ(cut.GetCapabilities(&d), 0x0102);
    cut.SetNoCaptureBehind(true);
    EXPECT_EQ(cut.GetCapabilities(&d), 0x0100);
    TFlickerFreeTransition copy(nullptr);
    copy.Assign(&cut);
    EXPECT_TRUE(copy.NoCaptureBehind());
    d.SetTransition(&cut);
    d.Run(true);
    EXPECT_TRUE(d.ScreenShowsTarget());
}

TEST_F(DeviceRun, RandomDirectionIsDrawnAmongTheAllowedOnes)
{
    Effect->SetDirection(tedRandom);
    for (int i = 0; i < 20; ++i) {
        MakeDevice()->Run(true);
        EXPECT_TRUE(gSetup.Direction == tedLeft || gSetup.Direction == tedRight || gSetup.Direction == tedNone)
            << gSetup.Direction;
    }
    EXPECT_EQ(Effect->Direction(), tedRandom);
}

TEST_F(DeviceRun, PaletteRunGivesTheWorkBitmapTheTargetsPaletteAndPutsTheCanvasBack)
{
    struct TPaletteDevice : TTestDevice {
        TPaletteDevice()
        {
            for (TBitmap* b : {&Src, &Dst}) {
                TColor keep = b->Canvas()->Pixel(0, 0);
                PrepareFilledBitmap(b, kTestW, kTestH, pf8bit, nullptr, keep);
            }
        }
        bool IsPaletteDevice() override { return true; }
        TPixelFormat GetPixelFormat() override { return pf8bit; }
    };
    bool workHasPalette = false;
    bool runPaletteIsTargets = false;
    gSetup.OnFrame = [&](TTETransitionData* data, int) {
        workHasPalette = data->WorkBitmap && data->WorkBitmap->Palette() &&
                         data->WorkBitmap->Palette() != data->DstImage->Palette();
        runPaletteIsTargets = data->Palette == data->DstImage->Palette();
    };
    TPaletteDevice d;
    d.SetTransition(Effect.get());
    HWND wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
    d.Run(true, wnd);
    DestroyWindow(wnd);
    EXPECT_TRUE(workHasPalette);
    EXPECT_TRUE(runPaletteIsTargets);
    EXPECT_TRUE(d.ScreenShowsTarget());
    // The target's palette is not left selected in a DC that outlives it.
    EXPECT_EQ(GetCurrentObject(d.Screen.CanvasDC(), OBJ_PAL), GetStockObject(DEFAULT_PALETTE));
}

TEST(DeviceRoutines, DirectColourDevices)
{
    struct TFormatDevice : TTestDevice {
        TPixelFormat Format;
        TPixelFormat GetPixelFormat() override { return Format; }
    };
    TFormatDevice d;
    for (auto [pf, direct] : {std::pair{pf8bit, false}, std::pair{pf15bit, true}, std::pair{pf16bit, true},
                              std::pair{pf24bit, true}, std::pair{pf32bit, true}, std::pair{pf4bit, false}}) {
        d.Format = pf;
        EXPECT_EQ(IsDirectColorDevice(&d), direct) << pf;
    }
}

TEST(DeviceRoutines, DrawingCanvasIsTheWorkBitmapsWhenThereIsOne)
{
    TTETransitionData data;
    TBitmap target, work;
    data.Canvas = target.Canvas();
    EXPECT_EQ(DrawingCanvas(&data), target.Canvas());
    data.SetWorkBitmap(&work);
    EXPECT_EQ(DrawingCanvas(&data), work.Canvas());
    data.SetWorkBitmap(nullptr);
}

// ---- leaks --------------------------------------------------------------------------------

TEST(DeviceLeaks, FiveHundredRunsLeaveNoGdiObjectOrWindowBehind)
{
    ResetRecording();
    gSetup.LogFrames = false;
    // Top-level windows bring the input-method window; keep one so it stays put.
    HWND anchor = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    auto cycle = [](int i) {
        TRecordingEffect effect(nullptr);
        if (i % 4 == 1)
            effect.SetPassSetting(teTwoPasses);
        TTestDevice d(true);
        d.SetTransition(&effect);
        d.Run(i % 2 == 0);
    };
    for (int i = 0; i < 4; ++i)
        cycle(i);   // warm-up: the system caches some objects on first use
    int gdi = CountGdiObjects();
    int windows = CountProcessWindows();
    ASSERT_GE(gdi, 0);
    for (int i = 0; i < 500; ++i)
        cycle(i);
    EXPECT_EQ(CountGdiObjects(), gdi);
    EXPECT_EQ(CountProcessWindows(), windows);
    DestroyWindow(anchor);
    ResetRecording();
}

}  // namespace
