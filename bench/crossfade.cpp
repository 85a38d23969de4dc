// One cross-fade frame of 1920x1080, on the fast and the plain kernels, each beside
// a memcpy of the same frame measured in the same run. For 24/32 bits also every
// SIMD kernel this processor has, and a loop that only reads two frames and writes
// one (the memory floor of any blend).
#include <immintrin.h>
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

// Work := Src xor Dst: the same traffic as a blend with next to no arithmetic.
__attribute__((target("avx2"))) void ReadTwoWriteOneAVX2(uint8_t* w, const uint8_t* d, const uint8_t* s,
                                                          size_t bytes, bool streaming)
{
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        __m256i v = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i)));
        if (streaming)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(w + i), v);
        else
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(w + i), v);
    }
    if (streaming)
        _mm_sfence();
    for (; i < bytes; ++i)
        w[i] = s[i] ^ d[i];
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
    if (f.Pf != pf24bit && f.Pf != pf32bit)
        return;
    using TKernel = void (*)(void*, const void*, const void*, size_t, int, bool);
    const struct {
        const char* Name;
        bool Present;
        TKernel Fn;
    } kernels[] = {
        {"avx2", BlendKernel::HasAVX2(), BlendKernel::AVX2Fast},
        {"sse2", BlendKernel::HasSSE2(), BlendKernel::SSE2Fast},
        {"mmx", CpuHasMMX, BlendKernel::MMXFast},
    };
    for (const auto& k : kernels) {
        if (!k.Present)
            continue;
        for (bool streaming : {false, true}) {
            double mem = Measure(runs, [&](int) { std::memcpy(copy.data(), src.data(), bytes); });
            double blend = Measure(runs, [&](int i) {
                k.Fn(work.data(), dst.data(), src.data(), bytes, 1 + i % f.Levels, streaming);
            });
            std::printf("%s %s%s: %.3f ms/frame, memcpy %.3f ms, ratio %.2f\n", f.Name, k.Name,
                        streaming ? " streaming" : "", blend, mem, blend / mem);
        }
    }
    // The frame is shown right after it is blended, so what streaming saves in the
    // blend may come back when Work is read again: blend plus one copy of Work.
    if (BlendKernel::HasAVX2())
        for (bool streaming : {false, true}) {
            double mem = Measure(runs, [&](int) { std::memcpy(copy.data(), src.data(), bytes); });
            double both = Measure(runs, [&](int i) {
                BlendKernel::AVX2Fast(work.data(), dst.data(), src.data(), bytes, 1 + i % f.Levels, streaming);
                std::memcpy(copy.data(), work.data(), bytes);
            });
            std::printf("%s avx2%s then read: %.3f ms/frame, memcpy %.3f ms, ratio %.2f\n", f.Name,
                        streaming ? " streaming" : "", both, mem, both / mem);
        }
    if (BlendKernel::HasAVX2())
        for (bool streaming : {false, true}) {
            double mem = Measure(runs, [&](int) { std::memcpy(copy.data(), src.data(), bytes); });
            double floor = Measure(runs, [&](int) {
                ReadTwoWriteOneAVX2(work.data(), dst.data(), src.data(), bytes, streaming);
            });
            std::printf("%s read-two-write-one%s: %.3f ms/frame, memcpy %.3f ms, ratio %.2f\n", f.Name,
                        streaming ? " streaming" : "", floor, mem, floor / mem);
        }
    volatile uint8_t sink = work[bytes / 2];
    (void)sink;
}

}  // namespace

int main()
{
    InitializeUnits();
    TBlendImpl chosen = BlendImplementation();
    std::printf("# MMX %s, extended MMX %s, SSE2 %s, AVX2 %s; kernels chosen at start-up: %s (%s for 24/32 bits, "
                "%s for 15/16)\n",
                CpuHasMMX ? "yes" : "no", CpuHasMMXExt ? "yes" : "no", BlendKernel::HasSSE2() ? "yes" : "no",
                BlendKernel::HasAVX2() ? "yes" : "no", chosen == TBlendImpl::Fast ? "fast" : "reference",
                BlendKernel::KernelName(pf32bit), BlendKernel::KernelName(pf16bit));
    Run({"crossfade-1080p32", 1920, 1080, 32, pf32bit, 254});
    Run({"crossfade-600p32", 800, 600, 32, pf32bit, 254});
    Run({"crossfade-1080p16", 1920, 1080, 16, pf16bit, 31});
    SetBlendImplementation(chosen);
    FinalizeUnits();
    return 0;
}
