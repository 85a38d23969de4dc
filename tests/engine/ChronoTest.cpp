#include <gtest/gtest.h>

#include <windows.h>

#include "engine/teChrono.h"

namespace {

class Chrono : public testing::TestWithParam<bool> {};   // performance counter or multimedia timer

void SleepAtLeast(double ms)
{
    TTEChrono c;
    c.Start();
    while (c.Milliseconds() < ms)
        Sleep(1);
}

TEST_P(Chrono, FreshAndStoppedFreshReadZero)
{
    TTEChrono c(GetParam());
    EXPECT_EQ(c.Milliseconds(), 0);
    c.Stop();
    SleepAtLeast(5);
    EXPECT_EQ(c.Milliseconds(), 0);
    EXPECT_FALSE(c.Running());
}

TEST_P(Chrono, SecondStartKeepsTheFirstStartTime)
{
    TTEChrono c(GetParam());
    c.Start();
    SleepAtLeast(20);
    c.Start();
    EXPECT_GE(c.Milliseconds(), 19);
}

TEST_P(Chrono, PausedTimeIsNotCounted)
{
    TTEChrono c(GetParam());
    c.Start();
    SleepAtLeast(10);
    c.Stop();
    double paused = c.Milliseconds();
    EXPECT_GE(paused, 9);
    SleepAtLeast(40);
    EXPECT_EQ(c.Milliseconds(), paused);
    c.Start();
    SleepAtLeast(10);
    c.Stop();
    EXPECT_GE(c.Milliseconds(), paused + 9);
    EXPECT_LT(c.Milliseconds(), paused + 40);   // the 40 ms pause is not in it
}

TEST_P(Chrono, ResetForgetsEverything)
{
    TTEChrono c(GetParam());
    c.Start();
    SleepAtLeast(5);
    c.Reset();
    EXPECT_EQ(c.Milliseconds(), 0);
    EXPECT_FALSE(c.Running());
    c.Start();
    EXPECT_TRUE(c.Running());
    EXPECT_LT(c.Milliseconds(), 5);
}

INSTANTIATE_TEST_SUITE_P(Timers, Chrono, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PerformanceCounter" : "MultimediaTimer"; });

TEST(Chrono, UsesThePerformanceCounterWhenThereIsOne)
{
    EXPECT_TRUE(TTEChrono().HighRes());
    EXPECT_FALSE(TTEChrono(false).HighRes());
}

TEST(RoundHalfEven, TiesGoToEven)
{
    for (auto [v, r] : {std::pair{0.5, 0}, std::pair{1.5, 2}, std::pair{2.5, 2}, std::pair{3.5, 4},
                        std::pair{2.4999, 2}, std::pair{2.5001, 3}, std::pair{-0.5, 0}, std::pair{-1.5, -2}})
        EXPECT_EQ(RoundHalfEven(v), r) << v;
}

// ---- pacing ------------------------------------------------------------------------------

TEST(FramePacer, StartsWithAnEvenShareOfTheDuration)
{
    TTEFramePacer p(1000, 9, 9);
    EXPECT_FLOAT_EQ(p.Budget, 100.0f);
    EXPECT_EQ(p.StepFrames(), 1);
}

TEST(FramePacer, AFrameOverTheWholeDurationJumpsToTheEnd)
{
    TTEFramePacer p(20, 10, 10);
    TTEChrono frame, pace;
    frame.Start();
    SleepAtLeast(30);
    bool waited = false;
    p.Pace(frame, pace, 0, 1, [&](double, float) { waited = true; });
    EXPECT_FALSE(waited);
    EXPECT_EQ(p.StepFrames(), 10);   // the frames still to cover
}

TEST(FramePacer, AFastFrameWaitsForWhatIsLeftOfItsBudget)
{
    TTEFramePacer p(1000, 9, 9);
    TTEChrono frame, pace;
    frame.Start();
    double target = 0;
    p.Pace(frame, pace, 0, 1, [&](double t, float) {
        target = t;
        while (pace.Milliseconds() < t) {
        }
    });
    EXPECT_GT(target, 95);
    EXPECT_LE(target, 100);
    EXPECT_EQ(p.StepFrames(), 1);
    EXPECT_TRUE(pace.Milliseconds() == 0 && !pace.Running());   // reset for the next wait
}

TEST(FramePacer, ASlowFrameMakesLaterStepsSkip)
{
    // 100 frames in 200 ms: a 20 ms frame is worth ten frames' budget.
    TTEFramePacer p(200, 100, 100);
    TTEChrono frame, pace;
    frame.Start();
    SleepAtLeast(20);
    p.Pace(frame, pace, 0, 1, [&](double, float) {});
    EXPECT_GE(p.StepFrames(), 5);
    EXPECT_GT(p.Budget, 15);
}

}  // namespace
