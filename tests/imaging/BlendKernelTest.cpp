#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"

using namespace BlendKernel;

namespace {

struct TFormatCase {
    TPixelFormat Pf;
    int Bits;
    int MaxLevel;
};
const TFormatCase kFormats[] = {
    {pf15bit, 16, 31},
    {pf16bit, 16, 31},
    {pf24bit, 24, 254},
    {pf32bit, 32, 254},
};

int Pitch(int width, int bits) { return ((width * bits + 31) & ~31) / 8; }

// Bytes biased toward 0 and 255, where the arithmetic has its edges.
std::vector<uint8_t> RandomImage(size_t bytes, std::mt19937& rng)
{
    std::vector<uint8_t> v(bytes);
    for (auto& b : v) {
        unsigned r = rng() % 6;
        b = r < 2 ? 0 : r < 4 ? 255 : static_cast<uint8_t>(rng());
    }
    return v;
}

// Processor flags forced for one scope.
struct TCpuFlags {
    bool OldMMX = CpuHasMMX, OldExt = CpuHasMMXExt;
    TCpuFlags(bool mmx, bool ext) { CpuHasMMX = mmx, CpuHasMMXExt = ext; }
    ~TCpuFlags() { CpuHasMMX = OldMMX, CpuHasMMXExt = OldExt; }
};

struct TImplScope {
    TBlendImpl Old = BlendImplementation();
    explicit TImplScope(TBlendImpl i) { SetBlendImplementation(i); }
    ~TImplScope() { SetBlendImplementation(Old); }
};

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// The blend written per field, straight from its definition, as the yardstick
// for the reference kernels.
std::vector<uint8_t> BlendByFields(const std::vector<uint8_t>& dst, const std::vector<uint8_t>& src, TPixelFormat pf,
                                   int level, bool mmx)
{
    std::vector<uint8_t> out(src.size());
    if (pf == pf24bit || pf == pf32bit) {
        for (size_t i = 0; i < src.size(); ++i) {
            int s = src[i], d = dst[i];
            int v;
            if (mmx || level <= 128)
                v = s + FloorDiv((d - s) * level, 256);
            else
                v = d + FloorDiv((s - d) * (255 - level), 256);
            out[i] = static_cast<uint8_t>(v);
        }
        return out;
    }
    struct {
        int Shift, Width;
    } fields[3] = {{0, 5}, {5, pf == pf16bit ? 6 : 5}, {pf == pf16bit ? 11 : 10, 5}};
    for (size_t i = 0; i + 1 < src.size(); i += 2) {
        int s = src[i] | src[i + 1] << 8, d = dst[i] | dst[i + 1] << 8;
        int v = 0;
        for (auto& f : fields) {
            int m = (1 << f.Width) - 1;
            int fs = (s >> f.Shift) & m, fd = (d >> f.Shift) & m;
            int r = level <= 16 ? fs + FloorDiv((fd - fs) * level, 32) : fd + FloorDiv((fs - fd) * (32 - level), 32);
            v |= r << f.Shift;
        }
        out[i] = static_cast<uint8_t>(v), out[i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return out;
}

struct TSize {
    int Width, Height;
};
// Odd widths leave padding; the large one spans several 4096-byte blocks and
// ends off an 8-byte boundary in 24 bits.
// 16 pixels make exactly one 64-byte step of the widest kernel in 32 bits; 17x4
// leaves a short tail after a few of them.
const TSize kSizes[] = {{1, 1}, {1, 3}, {2, 2}, {3, 5}, {5, 3}, {7, 2}, {13, 3}, {16, 1}, {17, 4}, {333, 13}};

// The SIMD kernels of the 24/32-bit arithmetic, each checked where the processor has it.
struct TFastKernel {
    const char* Name;
    bool (*Present)();
    void (*Run)(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal);
};
const TFastKernel kFastKernels[] = {
    {"mmx", [] { return CpuHasMMX; }, MMXFast},
    {"sse2", HasSSE2, SSE2Fast},
    {"avx2", HasAVX2, AVX2Fast},
};

// Distances of Work past a 32-byte boundary: aligned, 8-byte aligned (streaming
// stores after a short head) and only 4-byte aligned (no streaming possible).
const size_t kWorkOffsets[] = {0, 8, 20};

// Bytes placed at a chosen distance past a 32-byte boundary.
class TPlacedBuffer {
public:
    TPlacedBuffer(size_t bytes, size_t offset) : FStore(bytes + 64), FBytes(bytes)
    {
        auto base = reinterpret_cast<uintptr_t>(FStore.data());
        FData = FStore.data() + ((32 - (base & 31)) & 31) + offset;
    }
    uint8_t* Data() { return FData; }
    void Fill(uint8_t v) { std::fill(FData, FData + FBytes, v); }
    std::vector<uint8_t> Contents() const { return {FData, FData + FBytes}; }
    // The guard bytes on both sides are untouched.
    bool GuardsIntact(uint8_t v) const
    {
        const uint8_t* data = FData;
        auto same = [v](uint8_t b) { return b == v; };
        return std::all_of(FStore.data(), data, same) &&
               std::all_of(data + FBytes, FStore.data() + FStore.size(), same);
    }
    void FillAll(uint8_t v) { std::fill(FStore.begin(), FStore.end(), v); }

private:
    std::vector<uint8_t> FStore;
    size_t FBytes;
    uint8_t* FData;
};

}  // namespace

TEST(BlendKernel, ReferencesFollowTheFieldFormulas)
{
    std::mt19937 rng(7);
    for (const auto& f : kFormats)
        for (const auto& sz : kSizes) {
            size_t bytes = static_cast<size_t>(Pitch(sz.Width, f.Bits)) * sz.Height;
            auto src = RandomImage(bytes, rng), dst = RandomImage(bytes, rng);
            for (int level = 1; level <= f.MaxLevel; ++level) {
                std::vector<uint8_t> work(bytes);
                ScalarReference(work.data(), dst.data(), src.data(), bytes, f.Pf, 0, level);
                ASSERT_EQ(work, BlendByFields(dst, src, f.Pf, level, false))
                    << "scalar, format " << f.Bits << " level " << level << " width " << sz.Width;
                if (f.Pf == pf24bit || f.Pf == pf32bit) {
                    MMXReference(work.data(), dst.data(), src.data(), bytes, level);
                    ASSERT_EQ(work, BlendByFields(dst, src, f.Pf, level, true))
                        << "mmx, format " << f.Bits << " level " << level << " width " << sz.Width;
                }
            }
        }
}

TEST(BlendKernel, FastKernelsEqualReferencesAtEveryLevel)
{
    ASSERT_TRUE(CpuHasMMX) << "processor flags not detected";
    for (const auto& k : kFastKernels)
        if (!k.Present())
            std::printf("note: no %s on this processor, its kernel is not checked\n", k.Name);
    std::mt19937 rng(11);
    for (const auto& f : kFormats)
        for (const auto& sz : kSizes) {
            size_t bytes = static_cast<size_t>(Pitch(sz.Width, f.Bits)) * sz.Height;
            auto src = RandomImage(bytes, rng), dst = RandomImage(bytes, rng);
            // Some equal words, so the skipping has something to skip.
            for (size_t i = 0; i + 4 <= bytes; i += 12)
                std::memcpy(&dst[i], &src[i], 4);
            std::vector<TPlacedBuffer> works;
            for (size_t offset : kWorkOffsets)
                works.emplace_back(bytes, offset);
            for (int level = 1; level <= f.MaxLevel; ++level) {
                for (int identical : {0, 10}) {
                    std::vector<uint8_t> ref(bytes, 0x5A), got(bytes, 0x5A);
                    ScalarReference(ref.data(), dst.data(), src.data(), bytes, f.Pf, identical, level);
                    for (bool imul : {true, false}) {
                        std::fill(got.begin(), got.end(), 0x5A);
                        ScalarGenerated(got.data(), dst.data(), src.data(), bytes, f.Pf, identical, level, imul);
                        ASSERT_EQ(got, ref) << "generated, format " << f.Bits << " level " << level << " width "
                                            << sz.Width << " imul " << imul << " identical " << identical;
                    }
                }
                if (f.Pf == pf24bit || f.Pf == pf32bit) {
                    std::vector<uint8_t> ref(bytes);
                    MMXReference(ref.data(), dst.data(), src.data(), bytes, level);
                    for (const auto& k : kFastKernels) {
                        if (!k.Present())
                            continue;
                        for (size_t w = 0; w < works.size(); ++w)
                            for (bool nt : {true, false}) {
                                works[w].FillAll(0xC3);
                                k.Run(works[w].Data(), dst.data(), src.data(), bytes, level, nt);
                                ASSERT_EQ(works[w].Contents(), ref)
                                    << k.Name << ", format " << f.Bits << " level " << level << " width "
                                    << sz.Width << " offset " << kWorkOffsets[w] << " non-temporal " << nt;
                                ASSERT_TRUE(works[w].GuardsIntact(0xC3))
                                    << k.Name << " wrote outside Work, width " << sz.Width << " offset "
                                    << kWorkOffsets[w] << " non-temporal " << nt;
                            }
                    }
                }
            }
        }
}

TEST(BlendKernel, WorkMayBeSource)
{
    std::mt19937 rng(3);
    const size_t bytes = static_cast<size_t>(Pitch(37, 24)) * 9;
    auto src = RandomImage(bytes, rng), dst = RandomImage(bytes, rng);
    for (bool mmx : {true, false})
        for (int level : {1, 77, 128, 129, 200, 254}) {
            TCpuFlags cpu(mmx, true);
            std::vector<uint8_t> expected(bytes);
            {
                TImplScope impl(TBlendImpl::Reference);
                BlendBuffers(expected.data(), dst.data(), src.data(), bytes, pf24bit, 0, level);
            }
            auto work = src;
            BlendBuffers(work.data(), dst.data(), work.data(), bytes, pf24bit, 0, level);
            EXPECT_EQ(work, expected) << "mmx " << mmx << " level " << level;
            if (!mmx)
                continue;
            for (const auto& k : kFastKernels)
                for (bool nt : {true, false}) {
                    if (!k.Present())
                        continue;
                    work = src;
                    k.Run(work.data(), dst.data(), work.data(), bytes, level, nt);
                    EXPECT_EQ(work, expected) << k.Name << " level " << level << " non-temporal " << nt;
                }
        }
}

// A buffer whose last byte is the last byte of a page followed by an
// inaccessible page, so any read or write past the end faults.
class TGuardedBuffer {
public:
    explicit TGuardedBuffer(size_t bytes) : FBytes(bytes)
    {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        size_t page = si.dwPageSize;
        size_t pages = (bytes + page - 1) / page;
        FBase = static_cast<uint8_t*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(FBase + pages * page, page, PAGE_NOACCESS, &old);
        FData = FBase + pages * page - bytes;
    }
    ~TGuardedBuffer() { VirtualFree(FBase, 0, MEM_RELEASE); }
    uint8_t* Data() const { return FData; }
    void Fill(const std::vector<uint8_t>& v) { std::memcpy(FData, v.data(), FBytes); }
    std::vector<uint8_t> Contents() const { return {FData, FData + FBytes}; }

private:
    size_t FBytes;
    uint8_t* FBase;
    uint8_t* FData;
};

TEST(BlendKernel, BuffersEndingAtAnInaccessiblePage)
{
    std::mt19937 rng(5);
    for (const auto& f : kFormats)
        for (const TSize sz : {TSize{3, 7}, TSize{5, 1}, TSize{1025, 3}, TSize{1031, 5}}) {
            size_t bytes = static_cast<size_t>(Pitch(sz.Width, f.Bits)) * sz.Height;
            auto s = RandomImage(bytes, rng), d = RandomImage(bytes, rng);
            TGuardedBuffer src(bytes), dst(bytes), work(bytes);
            src.Fill(s), dst.Fill(d);
            for (int level : {1, 16, 17, 31, 128, 200}) {
                if (level > f.MaxLevel)
                    continue;
                std::vector<uint8_t> ref(bytes);
                if (f.Pf == pf24bit || f.Pf == pf32bit) {
                    MMXReference(ref.data(), d.data(), s.data(), bytes, level);
                    for (const auto& k : kFastKernels)
                        for (bool nt : {true, false}) {
                            if (!k.Present())
                                continue;
                            work.Fill(std::vector<uint8_t>(bytes, 0));
                            k.Run(work.Data(), dst.Data(), src.Data(), bytes, level, nt);
                            ASSERT_EQ(work.Contents(), ref) << k.Name << ", " << f.Bits << " bits, width " << sz.Width
                                                            << " non-temporal " << nt;
                        }
                }
                ScalarReference(ref.data(), d.data(), s.data(), bytes, f.Pf, 0, level);
                work.Fill(ref);   // skipped words must already hold the answer
                ScalarGenerated(work.Data(), dst.Data(), src.Data(), bytes, f.Pf, 50, level, false);
                ASSERT_EQ(work.Contents(), ref) << f.Bits << " bits, width " << sz.Width;
                work.Fill(std::vector<uint8_t>(bytes, 0));
                ScalarGenerated(work.Data(), dst.Data(), src.Data(), bytes, f.Pf, 0, level, true);
                ASSERT_EQ(work.Contents(), ref) << f.Bits << " bits, width " << sz.Width;
            }
        }
}

// The same bytes whichever implementation BlendBuffers picks, on both processor kinds.
TEST(BlendKernel, BothImplementationsAgree)
{
    // The large frame is past the size from which the fast kernel streams its stores.
    const struct {
        int Width, Height, LevelStep;
    } sizes[] = {{61, 5, 3}, {1024, 1025, 61}};
    std::mt19937 rng(13);
    for (const auto& sz : sizes)
        for (bool mmx : {true, false})
            for (bool ext : {true, false})
                for (const auto& f : kFormats) {
                    TCpuFlags cpu(mmx, ext);
                    size_t bytes = static_cast<size_t>(Pitch(sz.Width, f.Bits)) * sz.Height;
                    auto s = RandomImage(bytes, rng), d = RandomImage(bytes, rng);
                    for (int level = 1; level <= f.MaxLevel; level += sz.LevelStep) {
                        std::vector<uint8_t> a(bytes), b(bytes);
                        {
                            TImplScope impl(TBlendImpl::Fast);
                            BlendBuffers(a.data(), d.data(), s.data(), bytes, f.Pf, 0, level);
                        }
                        {
                            TImplScope impl(TBlendImpl::Reference);
                            BlendBuffers(b.data(), d.data(), s.data(), bytes, f.Pf, 0, level);
                        }
                        ASSERT_EQ(a, b) << f.Bits << " bits, level " << level << " mmx " << mmx << " ext " << ext
                                        << " width " << sz.Width;
                    }
                }
}

class BlendBothImpls : public ::testing::TestWithParam<TBlendImpl> {
protected:
    TImplScope Impl{GetParam()};
};

TEST_P(BlendBothImpls, HalfwayWhiteOverBlackIs127)
{
    const size_t bytes = static_cast<size_t>(Pitch(5, 24)) * 3;
    std::vector<uint8_t> src(bytes, 255), dst(bytes, 0), work(bytes);
    for (bool mmx : {true, false}) {
        TCpuFlags cpu(mmx, true);
        BlendBuffers(work.data(), dst.data(), src.data(), bytes, pf24bit, 0, 128);
        EXPECT_EQ(work, std::vector<uint8_t>(bytes, 127)) << "mmx " << mmx;
    }
}

TEST_P(BlendBothImpls, AboveHalfwayTheScalarKernelSwapsOperands)
{
    // Src 200, Dst 10, level 200: without MMX 10 + floor(190 * 55 / 256) = 50;
    // with MMX 200 + floor(-190 * 200 / 256) = 51.
    std::vector<uint8_t> src(8, 200), dst(8, 10), work(8);
    {
        TCpuFlags cpu(false, true);
        BlendBuffers(work.data(), dst.data(), src.data(), 8, pf32bit, 0, 200);
        EXPECT_EQ(work, std::vector<uint8_t>(8, 50));
    }
    {
        TCpuFlags cpu(true, true);
        BlendBuffers(work.data(), dst.data(), src.data(), 8, pf32bit, 0, 200);
        EXPECT_EQ(work, std::vector<uint8_t>(8, 51));
    }
}

TEST_P(BlendBothImpls, HighColorLastLevelIsOneStepFromTarget)
{
    // Level 31: Dst + floor((Src - Dst) / 32) per field.
    struct {
        uint16_t Src, Dst, Expected;
    } cases[] = {
        {0xFFFF, 0x0000, 1 << 5},                       // +31/32 floors to 0, green +63/32 to 1
        {0x0000, 0xFFFF, (30 << 11) | (61 << 5) | 30},  // -31/32 and -63/32 floor to -1 and -2
        {0x001F, 0xF800, 30 << 11},                     // blue stays 0, red 31 - 1
    };
    for (auto& c : cases) {
        std::vector<uint16_t> src(4, c.Src), dst(4, c.Dst), work(4);
        BlendBuffers(work.data(), dst.data(), src.data(), 8, pf16bit, 0, 31);
        EXPECT_EQ(work[0], c.Expected) << std::hex << c.Src << " " << c.Dst;
        EXPECT_EQ(work[3], c.Expected);
    }
}

TEST_P(BlendBothImpls, EqualImagesAreUnchangedAtEveryLevel)
{
    std::mt19937 rng(17);
    for (const auto& f : kFormats) {
        size_t bytes = static_cast<size_t>(Pitch(21, f.Bits)) * 4;
        auto img = RandomImage(bytes, rng);
        if (f.Pf == pf15bit)   // the unused top bit of 15-bit pixels is not part of any field
            for (size_t i = 1; i < bytes; i += 2)
                img[i] &= 0x7F;
        for (bool mmx : {true, false}) {
            TCpuFlags cpu(mmx, true);
            for (int level = 1; level <= f.MaxLevel; ++level) {
                std::vector<uint8_t> work(bytes, 0);
                BlendBuffers(work.data(), img.data(), img.data(), bytes, f.Pf, 0, level);
                ASSERT_EQ(work, img) << f.Bits << " bits, level " << level;
                // Without MMX and with enough equal words, Work is not written at all.
                if (!BlendKernel::UsesMMXArithmetic(f.Pf)) {
                    std::vector<uint8_t> untouched(bytes, 0xA5);
                    BlendBuffers(untouched.data(), img.data(), img.data(), bytes, f.Pf, 10, level);
                    ASSERT_EQ(untouched, std::vector<uint8_t>(bytes, 0xA5)) << f.Bits << " bits, level " << level;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Impl, BlendBothImpls, ::testing::Values(TBlendImpl::Fast, TBlendImpl::Reference),
                         [](const auto& info) { return info.param == TBlendImpl::Fast ? "Fast" : "Reference"; });

TEST(BlendKernel, LevelsOutsideTheRangeAreClamped)
{
    std::vector<uint8_t> src(8, 255), dst(8, 0), a(8), b(8);
    BlendBuffers(a.data(), dst.data(), src.data(), 8, pf32bit, 0, 300);
    BlendBuffers(b.data(), dst.data(), src.data(), 8, pf32bit, 0, 254);
    EXPECT_EQ(a, b);
    BlendBuffers(a.data(), dst.data(), src.data(), 8, pf16bit, 0, 0);
    BlendBuffers(b.data(), dst.data(), src.data(), 8, pf16bit, 0, 1);
    EXPECT_EQ(a, b);
}
