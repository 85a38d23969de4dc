#pragma once
// Millisecond stopwatch of the engine, and the pacing of a timed frame loop.

#include <cstdint>
#include <functional>

// Measures milliseconds on the performance counter, or on the multimedia timer
// (at 1 ms resolution) where there is none. Paused time is not counted.
class TTEChrono {
public:
    // AllowHighRes False forces the multimedia timer (the fallback of systems
    // without a performance counter).
    explicit TTEChrono(bool allowHighRes = true);
    ~TTEChrono();
    TTEChrono(const TTEChrono&) = delete;
    TTEChrono& operator=(const TTEChrono&) = delete;

    void Start();    // from fresh, reset or paused; does nothing while running
    void Stop();     // from running: keeps the time measured so far
    void Reset();    // any state: stops and forgets the time
    double Milliseconds() const;

    bool HighRes() const { return FHighRes; }
    bool Running() const { return !FReset && !FStopped; }

private:
    int64_t Now() const;

    double FAccumulated = 0;
    bool FStopped = false;
    bool FReset = true;
    bool FHighRes = false;
    int64_t FFrequency = 0;
    int64_t FStart = 0;
};

// Rounds to the nearest integer, ties to even.
int RoundHalfEven(double v);

// Pacing state of one timed pass: after each frame decides how long to wait and how
// many frames to advance, so that the pass lasts Milliseconds however fast or slow
// the frames are drawn.
class TTEFramePacer {
public:
    TTEFramePacer(int milliseconds, int lastFrame, int frames);

    // Waits until PaceChrono (started by the caller's wait) reads Target, expecting to
    // overrun by ExpectedOverrun. Returns when it is reached or the run is aborted.
    using TWait = std::function<void(double target, float expectedOverrun)>;

    // After frame Current was presented: waits what is left of the budget on
    // PaceChrono, then computes the next step and budget.
    void Pace(TTEChrono& frameChrono, TTEChrono& paceChrono, double lastBlitTime, int current, const TWait& wait);

    // Frames to advance (the rounded step).
    int StepFrames() const { return RoundHalfEven(Step); }

    float Budget;
    float Cost = 0;
    float Reference = 0;
    float Step = 1.0f;
    float Overshoot = 0;
    float PrevOvershoot = 0;

private:
    int FMilliseconds;
    int FFrames;
};
