#include "engine/teChrono.h"

#include <windows.h>

#include <cmath>

TTEChrono::TTEChrono(bool allowHighRes)
{
    LARGE_INTEGER f;
    FHighRes = allowHighRes && QueryPerformanceFrequency(&f) && f.QuadPart > 0;
    if (FHighRes)
        FFrequency = f.QuadPart;
    else
        timeBeginPeriod(1);
}

TTEChrono::~TTEChrono()
{
    if (!FHighRes)
        timeEndPeriod(1);
}

int64_t TTEChrono::Now() const
{
    if (FHighRes) {
        LARGE_INTEGER c;
        QueryPerformanceCounter(&c);
        return c.QuadPart;
    }
    return timeGetTime();
}

void TTEChrono::Start()
{
    if (!FReset && !FStopped)
        return;
    FStart = Now();
    FReset = false;
    FStopped = false;
}

void TTEChrono::Stop()
{
    if (FReset || FStopped)
        return;
    FAccumulated = Milliseconds();
    FStopped = true;
    FStart = 0;
}

void TTEChrono::Reset()
{
    Stop();
    FAccumulated = 0;
    FReset = true;
}

double TTEChrono::Milliseconds() const
{
    if (FReset || FStopped)
        return FAccumulated;
    if (FHighRes)
        return static_cast<double>(static_cast<long double>(Now() - FStart) * 1000.0L / FFrequency + FAccumulated);
    // The millisecond timer wraps after 49.7 days; unsigned difference survives one wrap.
    uint32_t diff = static_cast<uint32_t>(Now()) - static_cast<uint32_t>(FStart);
    return static_cast<double>(static_cast<long double>(diff) + FAccumulated);
}

int RoundHalfEven(double v)
{
    // The default floating-point rounding mode rounds ties to even.
    return static_cast<int>(std::nearbyint(v));
}

TTEFramePacer::TTEFramePacer(int milliseconds, int lastFrame, int frames)
    : Budget(static_cast<float>(milliseconds) / static_cast<float>(lastFrame + 1)),
      FMilliseconds(milliseconds),
      FFrames(frames)
{
}

void TTEFramePacer::Pace(TTEChrono& frameChrono, TTEChrono& paceChrono, double lastBlitTime, int current,
                         const TWait& wait)
{
    float elapsed = static_cast<float>(frameChrono.Milliseconds()) - Reference;
    float waitMs = Budget - static_cast<float>(lastBlitTime) - elapsed;
    if (waitMs > 0) {
        paceChrono.Start();
        wait(waitMs, (Overshoot + PrevOvershoot) / 2);
        paceChrono.Stop();
        PrevOvershoot = Overshoot;
        Overshoot = static_cast<float>(paceChrono.Milliseconds()) - waitMs;
        if (Overshoot < 0)
            Overshoot = PrevOvershoot;
    }
    float waited = static_cast<float>(paceChrono.Milliseconds());
    paceChrono.Reset();
    float avg = (Overshoot + PrevOvershoot) / 2;
    float t = static_cast<float>(frameChrono.Milliseconds()) + avg;
    Cost = t - Reference - (waited - avg);
    float left = static_cast<float>(FFrames + 1 - current);
    float remaining = static_cast<float>(FMilliseconds) - t;
    if (remaining <= 0) {
        Step = left;
    } else {
        Step = Cost != 0 ? left / (remaining / Cost) : left / remaining;
        if (Step < 1)
            Step = 1;
    }
    Budget = remaining / (left / Step);
    Reference = static_cast<float>(frameChrono.Milliseconds());
}
