// One cross-fade frame of 1920x1080, on the fast and the plain kernels, each beside
// a memcpy of the same frame measured in the same run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/ZulEd.h"
#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"

namespace {

double Now()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// Median of Runs timings of Fn, in ms, after one warm-up call.
template <class Fn>
double Measure(int runs, Fn fn)
{
    fn(0);
    std::vector<double> t;
    for (int i = 1; i <= runs; ++i) {
        double start = Now();
        fn(i);
        t.push_back(Now() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

struct TFrame {
    const char* Name;
    int Width, Height, Bits;
    TPixelFormat Pf;
    int Levels;
};

void Run(const TFrame& f)
{
    const size_t pitch = ((static_cast<size_t>(f.Width) * f.Bits + 31) & ~size_t(31)) / 8;
    const size_t bytes = pitch * f.Height;
    std::vector<uint8_t> src(bytes), dst(bytes), work(bytes), copy(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        src[i] = static_cast<uint8_t>(i * 7 / 3);
        dst[i] = static_cast<uint8_t>(255 - (i >> 9));
    }
    const int runs = 30;
    for (TBlendImpl impl : {TBlendImpl::Fast, TBlendImpl::Reference}) {
        SetBlendImplementation(impl);
        double mem = Measure(runs, [&](int) { std::memcpy(copy.data(), src.data(), bytes); });
        double blend = Measure(runs, [&](int i) {
            BlendBuffers(work.data(), dst.data(), src.data(), bytes, f.Pf, 0, 1 + i % f.Levels);
        });
        // Read the results so neither copy nor blend can be dropped as unused.
        volatile uint8_t sink = static_cast<uint8_t>(copy[bytes / 3] + work[bytes / 3]);
        (void)sink;
        std::printf("%s %s: %.3f ms/frame, memcpy %.3f ms, ratio %.2f\n", f.Name,
                    impl == TBlendImpl::Fast ? "generated" : "reference", blend, mem, blend / mem);
    }
}

}  // namespace

int main()
{
    InitializeUnits();
    TBlendImpl chosen = BlendImplementation();
    std::printf("# MMX %s, extended MMX %s, SSE2 %s; kernels chosen at start-up: %s\n", CpuHasMMX ? "yes" : "no",
                CpuHasMMXExt ? "yes" : "no", BlendKernel::HasSSE2() ? "yes" : "no",
                chosen == TBlendImpl::Fast ? "fast" : "reference");
    Run({"crossfade-1080p32", 1920, 1080, 32, pf32bit, 254});
    Run({"crossfade-1080p16", 1920, 1080, 16, pf16bit, 31});
    SetBlendImplementation(chosen);
    FinalizeUnits();
    return 0;
}
