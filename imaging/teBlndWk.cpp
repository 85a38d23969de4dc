#include "imaging/teBlndWk.h"

#include <cpuid.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/teRender.h"

const TDitherCell DitherOrder[64] = {
    {4, 4}, {0, 0}, {4, 0}, {0, 4}, {6, 6}, {2, 2}, {6, 2}, {2, 6},
    {6, 4}, {2, 0}, {6, 0}, {2, 4}, {4, 6}, {0, 2}, {4, 2}, {0, 6},
    {5, 7}, {1, 3}, {5, 3}, {1, 7}, {7, 5}, {3, 1}, {7, 1}, {3, 5},
    {7, 7}, {3, 3}, {7, 3}, {3, 7}, {5, 5}, {1, 1}, {5, 1}, {1, 5},
    {5, 4}, {1, 0}, {5, 0}, {1, 4}, {7, 6}, {3, 2}, {7, 2}, {3, 6},
    {7, 4}, {3, 0}, {7, 0}, {3, 4}, {5, 6}, {1, 2}, {5, 2}, {1, 6},
    {6, 7}, {2, 3}, {6, 3}, {2, 7}, {4, 5}, {0, 1}, {4, 1}, {0, 5},
    {4, 7}, {0, 3}, {4, 3}, {0, 7}, {6, 5}, {2, 1}, {6, 1}, {2, 5},
};

namespace {

TBlendImpl gImpl = TBlendImpl::Fast;

bool IsHighColor(TPixelFormat pf) { return pf == pf15bit || pf == pf16bit; }

int ClampLevel(TPixelFormat pf, int level)
{
    return std::clamp(level, 1, IsHighColor(pf) ? 31 : 254);
}

// ---- executable memory for one call ------------------------------------------

// Holds generated code: written while read/write, then switched to read/execute.
class TExecutableCode {
public:
    explicit TExecutableCode(const std::vector<uint8_t>& code)
    {
        FSize = code.size();
        FMem = VirtualAlloc(nullptr, FSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!FMem)
            RaiseLastOSError();
        std::memcpy(FMem, code.data(), FSize);
        DWORD old;
        if (!VirtualProtect(FMem, FSize, PAGE_EXECUTE_READ, &old)) {
            DWORD err = GetLastError();
            VirtualFree(FMem, 0, MEM_RELEASE);
            RaiseLastOSError(err);
        }
        FlushInstructionCache(GetCurrentProcess(), FMem, FSize);
    }
    ~TExecutableCode() { VirtualFree(FMem, 0, MEM_RELEASE); }
    TExecutableCode(const TExecutableCode&) = delete;
    TExecutableCode& operator=(const TExecutableCode&) = delete;
    void* Entry() const { return FMem; }

private:
    void* FMem = nullptr;
    size_t FSize = 0;
};

// ---- a small x86 / x86-64 emitter (32-bit operand size) ---------------------------

enum : int { rAX = 0, rCX = 1, rDX = 2, rBX = 3, rSP = 4, rBP = 5, rSI = 6, rDI = 7, r8 = 8, r9 = 9, r10 = 10, r11 = 11 };

struct TMem {
    int Base = -1;
    int Index = -1;
    int Scale = 0;   // log2
    int32_t Disp = 0;
};

class TEmitter {
public:
    explicit TEmitter(bool x64) : F64(x64) {}
    std::vector<uint8_t> Code;

    void Byte(uint8_t b) { Code.push_back(b); }
    void Dword(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            Byte(static_cast<uint8_t>(v >> (8 * i)));
    }
    size_t Pos() const { return Code.size(); }

    // op reg, r/m (register form)
    void RR(uint8_t op, int reg, int rm, bool w64 = false)
    {
        Rex(w64, reg, -1, rm);
        Byte(op);
        Byte(static_cast<uint8_t>(0xC0 | ((reg & 7) << 3) | (rm & 7)));
    }
    // op reg, r/m (memory form)
    void RM(uint8_t op, int reg, const TMem& m)
    {
        Rex(false, reg, m.Index, m.Base);
        Byte(op);
        ModRMMem(reg, m);
    }
    void MovRM(int r, const TMem& m) { RM(0x8B, r, m); }
    void MovMR(const TMem& m, int r) { RM(0x89, r, m); }
    void CmpRM(int r, const TMem& m) { RM(0x3B, r, m); }
    void OrRM(int r, const TMem& m) { RM(0x0B, r, m); }
    void LeaRM(int r, const TMem& m) { RM(0x8D, r, m); }
    void MovRR(int d, int s) { RR(0x8B, d, s); }
    void SubRR(int d, int s) { RR(0x2B, d, s); }
    void AddRR(int d, int s) { RR(0x03, d, s); }
    void OrRR(int d, int s) { RR(0x0B, d, s); }
    void AndRI(int r, uint32_t imm)
    {
        RR(0x81, 4, r);
        Dword(imm);
    }
    void ShiftRI(int ext, int r, int n)   // ext 4 = shl, 5 = shr
    {
        if (n == 0)
            return;
        RR(0xC1, ext, r);
        Byte(static_cast<uint8_t>(n));
    }
    void ShrRI(int r, int n) { ShiftRI(5, r, n); }
    void ShlRI(int r, int n) { ShiftRI(4, r, n); }
    void ImulRRI(int d, int s, int imm)
    {
        RR(0x6B, d, s);
        Byte(static_cast<uint8_t>(imm));
    }
    // Jcc rel32; returns the position of the displacement for patching.
    size_t Jcc(uint8_t cc)
    {
        Byte(0x0F);
        Byte(static_cast<uint8_t>(0x80 | cc));
        size_t at = Pos();
        Dword(0);
        return at;
    }
    void PatchTo(size_t at, size_t target)
    {
        int32_t rel = static_cast<int32_t>(static_cast<int64_t>(target) - static_cast<int64_t>(at + 4));
        std::memcpy(&Code[at], &rel, 4);
    }

private:
    bool F64;

    void Rex(bool w, int reg, int index, int base)
    {
        if (!F64)
            return;
        uint8_t rex = 0x40 | (w ? 8 : 0) | ((reg >> 3) & 1) << 2 | ((index >= 0 ? index >> 3 : 0) & 1) << 1 |
                      ((base >= 0 ? base >> 3 : 0) & 1);
        if (rex != 0x40)
            Byte(rex);
    }
    void ModRMMem(int reg, const TMem& m)
    {
        int mod;
        if (m.Disp == 0 && (m.Base & 7) != rBP)
            mod = 0;
        else if (m.Disp >= -128 && m.Disp <= 127)
            mod = 1;
        else
            mod = 2;
        bool sib = m.Index >= 0 || (m.Base & 7) == rSP;
        Byte(static_cast<uint8_t>((mod << 6) | ((reg & 7) << 3) | (sib ? 4 : (m.Base & 7))));
        if (sib)
            Byte(static_cast<uint8_t>((m.Scale << 6) | ((m.Index >= 0 ? m.Index : rSP) & 7) << 3 | (m.Base & 7)));
        if (mod == 1)
            Byte(static_cast<uint8_t>(m.Disp));
        else if (mod == 2)
            Dword(static_cast<uint32_t>(m.Disp));
    }
};

constexpr bool kX64 = sizeof(void*) == 8;

// r := r * odd with shift-and-add steps (temp may be clobbered) or one multiply.
bool MultiplyNeedsTemp(uint32_t odd, bool useImul)
{
    return !useImul && odd != 1 && odd != 3 && odd != 5 && odd != 9;
}

void EmitMultiply(TEmitter& e, int r, int temp, uint32_t odd, bool useImul)
{
    if (odd == 1)
        return;
    if (useImul) {
        e.ImulRRI(r, r, static_cast<int>(odd));
        return;
    }
    if (odd == 3 || odd == 5 || odd == 9) {
        e.LeaRM(r, TMem{r, r, odd == 3 ? 1 : odd == 5 ? 2 : 3, 0});
        return;
    }
    if (((odd + 1) & odd) == 0) {   // 2^k - 1
        int k = 0;
        while ((1u << k) != odd + 1)
            ++k;
        e.MovRR(temp, r);
        e.ShlRI(r, k);
        e.SubRR(r, temp);
        return;
    }
    // Horner over the bits below the top one: r := r * 2^n + x for each set bit.
    int msb = 31;
    while (!((odd >> msb) & 1))
        --msb;
    e.MovRR(temp, r);
    int gap = 0;
    for (int bit = msb - 1; bit >= 0; --bit) {
        ++gap;
        if (!((odd >> bit) & 1))
            continue;
        if (gap > 3) {
            e.ShlRI(r, gap - 3);
            gap = 3;
        }
        e.LeaRM(r, TMem{temp, r, gap, 0});
        gap = 0;
    }
}

using TScalarFn = void (*)(void* work, const void* base, const void* other, intptr_t bytes);

// Builds the level-specialised loop over 32-bit words. On x86-64 it takes its
// buffers in rcx, rdx, r8 and the length in r9; on i386 the addresses are built
// into the code.
std::vector<uint8_t> GenerateScalarLoop(const BlendKernel::TScalarParams& p, bool skipEqual, bool useImul,
                                        void* work, const void* base, const void* other, size_t bytes,
                                        bool x64 = kX64)
{
    TEmitter e(x64);
    const int t0 = rAX;
    const int t1 = x64 ? r10 : rCX;
    const int t2 = x64 ? r11 : rDX;
    int idx;
    TMem mW, mA, mB;
    if (x64) {
        idx = r9;
        // add rcx, r9 / add rdx, r9 / add r8, r9 / neg r9: bases point past the end.
        e.RR(0x01, r9, rCX, true);
        e.RR(0x01, r9, rDX, true);
        e.RR(0x01, r9, r8, true);
        e.Byte(0x49), e.Byte(0xF7), e.Byte(0xD9);
        mW = TMem{rCX, r9, 0, 0};
        mA = TMem{rDX, r9, 0, 0};
        mB = TMem{r8, r9, 0, 0};
    } else {
        idx = rSI;
        e.Byte(0x53);   // push ebx
        e.Byte(0x56);   // push esi
        e.Byte(0xBE);   // mov esi, -bytes
        e.Dword(static_cast<uint32_t>(-static_cast<intptr_t>(bytes)));
        auto endOf = [&](const void* ptr) {
            return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ptr) + bytes));
        };
        mW = TMem{rSI, -1, 0, endOf(work)};
        mA = TMem{rSI, -1, 0, endOf(base)};
        mB = TMem{rSI, -1, 0, endOf(other)};
    }
    const bool park = MultiplyNeedsTemp(p.Odd, useImul);
    const TMem slot{rSP, -1, 0, 8};   // x86-64: the caller's home space

    size_t loop = e.Pos();
    size_t skip = 0;
    e.MovRM(t1, mA);
    if (skipEqual) {
        e.CmpRM(t1, mB);
        skip = e.Jcc(0x4);   // je next
    }
    // Low group.
    e.AndRI(t1, p.LoMask);
    e.MovRM(t2, mB);
    e.AndRI(t2, p.LoMask);
    e.SubRR(t2, t1);
    EmitMultiply(e, t2, t0, p.Odd, useImul);
    e.ShrRI(t2, p.Shift);
    e.AddRR(t2, t1);
    e.AndRI(t2, p.LoMask);
    // High group.
    e.MovRM(t1, mA);
    e.ShrRI(t1, p.FieldShift);
    e.AndRI(t1, p.HiMask);
    e.MovRM(t0, mB);
    e.ShrRI(t0, p.FieldShift);
    e.AndRI(t0, p.HiMask);
    e.SubRR(t0, t1);
    int temp = rBX;
    if (park && x64) {
        e.MovMR(slot, t2);
        temp = t2;
    }
    EmitMultiply(e, t0, temp, p.Odd, useImul);
    e.ShrRI(t0, p.Shift);
    e.AddRR(t0, t1);
    e.AndRI(t0, p.HiMask);
    e.ShlRI(t0, p.FieldShift);
    if (park && x64)
        e.OrRM(t0, slot);
    else
        e.OrRR(t0, t2);
    e.MovMR(mW, t0);
    size_t next = e.Pos();
    if (skipEqual)
        e.PatchTo(skip, next);
    // add idx, 4 / jnz loop
    if (x64)
        e.Byte(0x49), e.Byte(0x83), e.Byte(0xC1), e.Byte(4);
    else
        e.Byte(0x83), e.Byte(0xC6), e.Byte(4);
    e.PatchTo(e.Jcc(0x5), loop);
    (void)idx;
    if (!x64) {
        e.Byte(0x5E);   // pop esi
        e.Byte(0x5B);   // pop ebx
    }
    e.Byte(0xC3);
    return e.Code;
}

// ---- MMX kernel ---------------------------------------------------------------------

// Blends Bytes (a multiple of 8, > 0) from the end pointers backwards by index.
__attribute__((target("mmx"))) void MMXRun(uint8_t* w, const uint8_t* d, const uint8_t* s, size_t bytes,
                                           uint32_t level, bool nonTemporal)
{
    intptr_t i = -static_cast<intptr_t>(bytes);
    w += bytes;
    d += bytes;
    s += bytes;
#define ZUL_MMX_BODY(STORE)                     \
    "movd %[lvl], %%mm6\n\t"                    \
    "punpcklwd %%mm6, %%mm6\n\t"                \
    "punpckldq %%mm6, %%mm6\n\t"                \
    "pxor %%mm7, %%mm7\n\t"                     \
    "1:\n\t"                                    \
    "movq (%[s],%[i]), %%mm0\n\t"               \
    "movq (%[d],%[i]), %%mm1\n\t"               \
    "movq %%mm0, %%mm2\n\t"                     \
    "movq %%mm1, %%mm3\n\t"                     \
    "punpcklbw %%mm7, %%mm0\n\t"                \
    "punpcklbw %%mm7, %%mm1\n\t"                \
    "punpckhbw %%mm7, %%mm2\n\t"                \
    "punpckhbw %%mm7, %%mm3\n\t"                \
    "psubw %%mm0, %%mm1\n\t"                    \
    "psubw %%mm2, %%mm3\n\t"                    \
    "pmullw %%mm6, %%mm1\n\t"                   \
    "pmullw %%mm6, %%mm3\n\t"                   \
    "psrlw $8, %%mm1\n\t"                       \
    "psrlw $8, %%mm3\n\t"                       \
    "packuswb %%mm3, %%mm1\n\t"                 \
    "paddb (%[s],%[i]), %%mm1\n\t"              \
    STORE " %%mm1, (%[w],%[i])\n\t"             \
    "add $8, %[i]\n\t"                          \
    "jnz 1b\n\t"
    if (nonTemporal)
        asm volatile(ZUL_MMX_BODY("movntq")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "mm0", "mm1", "mm2", "mm3", "mm6", "mm7", "memory", "cc");
    else
        asm volatile(ZUL_MMX_BODY("movq")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "mm0", "mm1", "mm2", "mm3", "mm6", "mm7", "memory", "cc");
#undef ZUL_MMX_BODY
}

// The same arithmetic 16 bytes at a time; Bytes a multiple of 16, > 0.
__attribute__((target("sse2"))) void SSE2Run(uint8_t* w, const uint8_t* d, const uint8_t* s, size_t bytes,
                                             uint32_t level, bool nonTemporal)
{
    intptr_t i = -static_cast<intptr_t>(bytes);
    w += bytes;
    d += bytes;
    s += bytes;
#define ZUL_SSE2_BODY(STORE)                    \
    "movd %[lvl], %%xmm5\n\t"                   \
    "pshuflw $0, %%xmm5, %%xmm5\n\t"            \
    "punpcklqdq %%xmm5, %%xmm5\n\t"             \
    "pxor %%xmm4, %%xmm4\n\t"                   \
    "1:\n\t"                                    \
    "movdqu (%[s],%[i]), %%xmm0\n\t"            \
    "movdqu (%[d],%[i]), %%xmm1\n\t"            \
    "movdqa %%xmm0, %%xmm2\n\t"                 \
    "movdqa %%xmm1, %%xmm3\n\t"                 \
    "punpcklbw %%xmm4, %%xmm0\n\t"              \
    "punpcklbw %%xmm4, %%xmm1\n\t"              \
    "punpckhbw %%xmm4, %%xmm2\n\t"              \
    "punpckhbw %%xmm4, %%xmm3\n\t"              \
    "psubw %%xmm0, %%xmm1\n\t"                  \
    "psubw %%xmm2, %%xmm3\n\t"                  \
    "pmullw %%xmm5, %%xmm1\n\t"                 \
    "pmullw %%xmm5, %%xmm3\n\t"                 \
    "psrlw $8, %%xmm1\n\t"                      \
    "psrlw $8, %%xmm3\n\t"                      \
    "packuswb %%xmm3, %%xmm1\n\t"               \
    "movdqu (%[s],%[i]), %%xmm0\n\t"            \
    "paddb %%xmm0, %%xmm1\n\t"                  \
    STORE " %%xmm1, (%[w],%[i])\n\t"            \
    "add $16, %[i]\n\t"                         \
    "jnz 1b\n\t"
    if (nonTemporal)
        asm volatile(ZUL_SSE2_BODY("movntdq")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "memory", "cc");
    else
        asm volatile(ZUL_SSE2_BODY("movdqu")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "memory", "cc");
#undef ZUL_SSE2_BODY
}

// The same bytes 32 at a time with AVX2, two 32-byte steps per turn; Bytes a
// multiple of 64, > 0. The byte lanes are split by mask and shift instead of
// unpacking against zero: the high lane's product already has its answer in its
// high byte, so nothing needs shuffling back and every step is a plain ALU op.
// Both sources are prefetched 1 KB ahead (a prefetch past the end cannot fault).
__attribute__((target("avx2"))) void AVX2Run(uint8_t* w, const uint8_t* d, const uint8_t* s, size_t bytes,
                                             uint32_t level, bool nonTemporal)
{
    intptr_t i = -static_cast<intptr_t>(bytes);
    w += bytes;
    d += bytes;
    s += bytes;
#define ZUL_AVX2_STEP(STORE, OFS)                      \
    "vmovdqu " OFS "(%[s],%[i]), %%ymm0\n\t"           \
    "vmovdqu " OFS "(%[d],%[i]), %%ymm1\n\t"           \
    "vpand %%ymm7, %%ymm0, %%ymm2\n\t"                 \
    "vpand %%ymm7, %%ymm1, %%ymm3\n\t"                 \
    "vpsrlw $8, %%ymm0, %%ymm4\n\t"                    \
    "vpsrlw $8, %%ymm1, %%ymm1\n\t"                    \
    "vpsubw %%ymm2, %%ymm3, %%ymm3\n\t"                \
    "vpsubw %%ymm4, %%ymm1, %%ymm1\n\t"                \
    "vpmullw %%ymm6, %%ymm3, %%ymm3\n\t"               \
    "vpmullw %%ymm6, %%ymm1, %%ymm1\n\t"               \
    "vpsrlw $8, %%ymm3, %%ymm3\n\t"                    \
    "vpandn %%ymm1, %%ymm7, %%ymm1\n\t"                \
    "vpor %%ymm3, %%ymm1, %%ymm1\n\t"                  \
    "vpaddb %%ymm0, %%ymm1, %%ymm1\n\t"                \
    STORE " %%ymm1, " OFS "(%[w],%[i])\n\t"
#define ZUL_AVX2_BODY(STORE)                           \
    "vmovd %[lvl], %%xmm6\n\t"                         \
    "vpbroadcastw %%xmm6, %%ymm6\n\t"                  \
    "vpcmpeqw %%ymm7, %%ymm7, %%ymm7\n\t"              \
    "vpsrlw $8, %%ymm7, %%ymm7\n\t"                    \
    "1:\n\t"                                           \
    "prefetcht0 1024(%[s],%[i])\n\t"                   \
    "prefetcht0 1024(%[d],%[i])\n\t"                   \
    ZUL_AVX2_STEP(STORE, "")                           \
    ZUL_AVX2_STEP(STORE, "32")                         \
    "add $64, %[i]\n\t"                                \
    "jnz 1b\n\t"                                       \
    "vzeroupper\n\t"
    if (nonTemporal)
        asm volatile(ZUL_AVX2_BODY("vmovntdq")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm6", "xmm7", "memory", "cc");
    else
        asm volatile(ZUL_AVX2_BODY("vmovdqu")
                     : [i] "+r"(i)
                     : [w] "r"(w), [d] "r"(d), [s] "r"(s), [lvl] "r"(level)
                     : "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm6", "xmm7", "memory", "cc");
#undef ZUL_AVX2_BODY
#undef ZUL_AVX2_STEP
}

bool gHasSSE2 = false;
bool gHasAVX2 = false;
// Frames from this size on are written by the AVX2 kernel past the caches: at
// 1920x1080x32 that is faster even counting the read of Work for showing it,
// at 800x600 the cached stores win once Work is read back.
constexpr size_t kAVX2StreamingFrom = size_t(4) << 20;

// AVX2 needs the instructions and an operating system that saves the YMM state.
bool DetectAVX2()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !((c >> 27) & 1) || !((c >> 28) & 1))   // OSXSAVE, AVX
        return false;
    uint32_t xcr0Lo, xcr0Hi;
    asm volatile("xgetbv" : "=a"(xcr0Lo), "=d"(xcr0Hi) : "c"(0));
    (void)xcr0Hi;
    if ((xcr0Lo & 6) != 6)   // XMM and YMM state
        return false;
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b >> 5) & 1;
}

__attribute__((target("mmx"))) void MMXDone(bool nonTemporal)
{
    if (nonTemporal)
        asm volatile("sfence" ::: "memory");
    asm volatile("emms" ::: "memory");
}

// The two-channel 32-bit form of the MMX arithmetic used for a last odd word.
uint32_t TwoChannelWord(uint32_t s, uint32_t d, uint32_t level)
{
    uint32_t sl = s & 0x00FF00FFu, dl = d & 0x00FF00FFu;
    uint32_t rl = ((((dl - sl) * level) >> 8) + sl) & 0x00FF00FFu;
    uint32_t sh = (s & 0xFF00FF00u) >> 8, dh = (d & 0xFF00FF00u) >> 8;
    uint32_t rh = ((((dh - sh) * level) >> 8) + sh) & 0x00FF00FFu;
    return rl | (rh << 8);
}

uint32_t Load32(const void* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Store32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace

// ---- kernel selection -----------------------------------------------------------------

TBlendImpl BlendImplementation() { return gImpl; }
void SetBlendImplementation(TBlendImpl impl) { gImpl = impl; }

void InitBlendKernels()
{
    unsigned a, b, c, d;
    gHasSSE2 = __get_cpuid(1, &a, &b, &c, &d) && ((d >> 26) & 1);
    gHasAVX2 = gHasSSE2 && DetectAVX2();
    wchar_t v[8] = {};
    DWORD n = GetEnvironmentVariableW(L"ZUL_BLEND_REFERENCE", v, 8);
    gImpl = (n == 1 && v[0] == L'1') ? TBlendImpl::Reference : TBlendImpl::Fast;
}

// ---- kernels ----------------------------------------------------------------------------

namespace BlendKernel {

bool UsesMMXArithmetic(TPixelFormat pf) { return !IsHighColor(pf) && CpuHasMMX; }

const char* KernelName(TPixelFormat pf)
{
    if (gImpl == TBlendImpl::Reference)
        return "reference";
    if (!UsesMMXArithmetic(pf))
        return "generated scalar";
    return gHasAVX2 ? "avx2" : gHasSSE2 ? "sse2" : "mmx";
}

void MMXFast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal)
{
    auto* w = static_cast<uint8_t*>(work);
    auto* d = static_cast<const uint8_t*>(dst);
    auto* s = static_cast<const uint8_t*>(src);
    const uint32_t lvl = static_cast<uint32_t>(level);
    constexpr size_t kBlock = 4096;
    size_t done = 0;
    bool used = false;
    for (; bytes - done >= kBlock; done += kBlock) {
        // Touch one word of every 32 bytes of both blocks, from the end, to pull them in.
        for (intptr_t off = kBlock - 32; off >= 0; off -= 32) {
            (void)*reinterpret_cast<const volatile uint32_t*>(s + done + off);
            (void)*reinterpret_cast<const volatile uint32_t*>(d + done + off);
        }
        MMXRun(w + done, d + done, s + done, kBlock, lvl, nonTemporal);
        used = true;
    }
    size_t rest = (bytes - done) & ~size_t(7);
    if (rest) {
        MMXRun(w + done, d + done, s + done, rest, lvl, nonTemporal);
        used = true;
        done += rest;
    }
    if (used)
        MMXDone(nonTemporal);
    if (bytes - done >= 4)
        Store32(w + done, TwoChannelWord(Load32(s + done), Load32(d + done), lvl));
}

bool HasSSE2() { return gHasSSE2; }

void SSE2Fast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal)
{
    auto* w = static_cast<uint8_t*>(work);
    auto* d = static_cast<const uint8_t*>(dst);
    auto* s = static_cast<const uint8_t*>(src);
    const uint32_t lvl = static_cast<uint32_t>(level);
    // Non-temporal 16-byte stores need an aligned destination.
    nonTemporal = nonTemporal && (reinterpret_cast<uintptr_t>(w) & 15) == 0;
    constexpr size_t kBlock = 4096;
    size_t done = 0;
    for (; bytes - done >= kBlock; done += kBlock) {
        for (intptr_t off = kBlock - 32; off >= 0; off -= 32) {
            (void)*reinterpret_cast<const volatile uint32_t*>(s + done + off);
            (void)*reinterpret_cast<const volatile uint32_t*>(d + done + off);
        }
        SSE2Run(w + done, d + done, s + done, kBlock, lvl, nonTemporal);
    }
    size_t rest = (bytes - done) & ~size_t(15);
    if (rest) {
        SSE2Run(w + done, d + done, s + done, rest, lvl, nonTemporal);
        done += rest;
    }
    if (nonTemporal)
        asm volatile("sfence" ::: "memory");
    // What is left: at most one 8-byte group and a last word.
    MMXReference(w + done, d + done, s + done, bytes - done, level);
}

bool HasAVX2() { return gHasAVX2; }

void AVX2Fast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal)
{
    auto* w = static_cast<uint8_t*>(work);
    auto* d = static_cast<const uint8_t*>(dst);
    auto* s = static_cast<const uint8_t*>(src);
    size_t done = 0;
    if (nonTemporal) {
        // Streaming stores need a 32-byte aligned destination; an 8-byte aligned one
        // gets there by a short head in the plain per-byte form.
        size_t head = (32 - (reinterpret_cast<uintptr_t>(w) & 31)) & 31;
        if (head % 8 != 0 || head + 64 > bytes)
            nonTemporal = false;
        else if (head) {
            MMXReference(w, d, s, head, level);
            done = head;
        }
    }
    size_t run = (bytes - done) & ~size_t(63);
    if (run) {
        AVX2Run(w + done, d + done, s + done, run, static_cast<uint32_t>(level), nonTemporal);
        done += run;
    }
    if (nonTemporal)
        asm volatile("sfence" ::: "memory");
    // Less than 64 bytes left: 16-byte groups, then at most one 8-byte group and a last word.
    size_t rest = (bytes - done) & ~size_t(15);
    if (rest) {
        SSE2Run(w + done, d + done, s + done, rest, static_cast<uint32_t>(level), false);
        done += rest;
    }
    MMXReference(w + done, d + done, s + done, bytes - done, level);
}

// Kept scalar: it is the yardstick the SIMD kernels are checked and timed against.
__attribute__((optimize("no-tree-vectorize"))) void MMXReference(void* work, const void* dst, const void* src,
                                                                 size_t bytes, int level)
{
    auto* w = static_cast<uint8_t*>(work);
    auto* d = static_cast<const uint8_t*>(dst);
    auto* s = static_cast<const uint8_t*>(src);
    size_t whole = bytes & ~size_t(7);
    for (size_t i = 0; i < whole; ++i) {
        int diff = d[i] - s[i];
        w[i] = static_cast<uint8_t>(s[i] + ((diff * level) >> 8));   // >> floors
    }
    if (bytes - whole >= 4)
        Store32(w + whole, TwoChannelWord(Load32(s + whole), Load32(d + whole), static_cast<uint32_t>(level)));
}

TScalarParams ScalarParamsFor(TPixelFormat pf, int level)
{
    TScalarParams p{};
    int m;
    if (IsHighColor(pf)) {
        int scaled = level * 8;
        p.Swap = scaled > 128;
        m = p.Swap ? 256 - scaled : scaled;
        p.FieldShift = 5;
        if (pf == pf15bit) {
            p.LoMask = 0x03E07C1Fu;
            p.HiMask = 0x7C1F03E0u >> 5;
        } else {
            p.LoMask = 0x07E0F81Fu;
            p.HiMask = 0xF81F07E0u >> 5;
        }
    } else {
        p.Swap = level > 128;
        m = p.Swap ? 255 - level : level;
        p.FieldShift = 8;
        p.LoMask = 0x00FF00FFu;
        p.HiMask = 0xFF00FF00u >> 8;
    }
    // Trailing zeros of the multiplier come off the shift, so the top field keeps
    // its bits in 32-bit arithmetic.
    int k = 0;
    while (m > 1 && !(m & 1)) {
        m >>= 1;
        ++k;
    }
    p.Odd = static_cast<uint32_t>(m);
    p.Shift = 8 - k;
    return p;
}

uint32_t ScalarWord(uint32_t base, uint32_t other, const TScalarParams& p)
{
    uint32_t al = base & p.LoMask, bl = other & p.LoMask;
    uint32_t rl = ((((bl - al) * p.Odd) >> p.Shift) + al) & p.LoMask;
    uint32_t ah = (base >> p.FieldShift) & p.HiMask, bh = (other >> p.FieldShift) & p.HiMask;
    uint32_t rh = ((((bh - ah) * p.Odd) >> p.Shift) + ah) & p.HiMask;
    return rl | (rh << p.FieldShift);
}

void ScalarReference(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf,
                     int identicalPercent, int level)
{
    const TScalarParams p = ScalarParamsFor(pf, ClampLevel(pf, level));
    auto* w = static_cast<uint8_t*>(work);
    auto* d = static_cast<const uint8_t*>(dst);
    auto* s = static_cast<const uint8_t*>(src);
    const bool skip = identicalPercent > 9;
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t sw = Load32(s + i), dw = Load32(d + i);
        if (skip && sw == dw)
            continue;
        Store32(w + i, p.Swap ? ScalarWord(dw, sw, p) : ScalarWord(sw, dw, p));
    }
}

void ScalarGenerated(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf,
                     int identicalPercent, int level, bool useImul)
{
    bytes &= ~size_t(3);
    if (bytes == 0)
        return;
    const TScalarParams p = ScalarParamsFor(pf, ClampLevel(pf, level));
    const void* base = p.Swap ? dst : src;
    const void* other = p.Swap ? src : dst;
    TExecutableCode code(GenerateScalarLoop(p, identicalPercent > 9, useImul, work, base, other, bytes));
    reinterpret_cast<TScalarFn>(code.Entry())(work, base, other, static_cast<intptr_t>(bytes));
}

std::vector<uint8_t> ScalarCode(TPixelFormat pf, int level, bool skipEqual, bool useImul, bool x64, uint32_t work,
                                uint32_t base, uint32_t other, size_t bytes)
{
    auto ptr = [](uint32_t a) { return reinterpret_cast<void*>(static_cast<uintptr_t>(a)); };
    return GenerateScalarLoop(ScalarParamsFor(pf, ClampLevel(pf, level)), skipEqual, useImul, ptr(work), ptr(base),
                              ptr(other), bytes, x64);
}

}  // namespace BlendKernel

void BlendBuffers(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf, int identicalPercent,
                  int level)
{
    using namespace BlendKernel;
    bytes &= ~size_t(3);
    level = ClampLevel(pf, level);
    if (UsesMMXArithmetic(pf)) {
        if (gImpl == TBlendImpl::Fast && gHasAVX2)
            AVX2Fast(work, dst, src, bytes, level, bytes >= kAVX2StreamingFrom);
        else if (gImpl == TBlendImpl::Fast && gHasSSE2)
            SSE2Fast(work, dst, src, bytes, level, true);
        else if (gImpl == TBlendImpl::Fast)
            MMXFast(work, dst, src, bytes, level, CpuHasMMXExt);
        else
            MMXReference(work, dst, src, bytes, level);
    } else {
        if (gImpl == TBlendImpl::Fast)
            ScalarGenerated(work, dst, src, bytes, pf, identicalPercent, level, CpuHasMMXExt);
        else
            ScalarReference(work, dst, src, bytes, pf, identicalPercent, level);
    }
}

// ---- tint -------------------------------------------------------------------------------

namespace {

struct TTintCache {
    bool Valid = false;
    int C[3] = {};   // blue, green, red components (fields for 15/16 bits)
    int Translucency = 0;
    TPixelFormat PixelFormat = pfDevice;
    uint8_t B[256], G[256], R[256];
};
TTintCache gTint;

// Translucency 0 is the colour itself; the weighted form would leave a pixel
// darker than the colour one step short of it.
int TintEntry8(int c, int i, int t)
{
    return t == 0 ? c : ((t + 1) * (i + 1) + (c + 1) * (255 - t)) / 256 - 1;
}
int TintEntry5(int c, int j, int t)
{
    int e = t / 8 + 1;
    return t == 0 ? c : ((c + 1) * (32 - e) + e * (j + 1)) / 32 - 1;
}
int TintEntry6(int c, int j, int t)
{
    int f = t / 4 + 1;
    return t == 0 ? c : ((c + 1) * (64 - f) + f * (j + 1)) / 64 - 1;
}

void TintComponents(TPixelFormat pf, TColor color, int c[3])
{
    if (IsHighColor(pf)) {
        int r, g, b;
        ColorToHighColorFields(color, pf, r, g, b);
        c[0] = b, c[1] = g, c[2] = r;
    } else {
        c[0] = (color >> 16) & 0xFF, c[1] = (color >> 8) & 0xFF, c[2] = color & 0xFF;
    }
}

const TTintCache& TintTables(TPixelFormat pf, int t, TColor color)
{
    int c[3];
    TintComponents(pf, color, c);
    if (gTint.Valid && gTint.PixelFormat == pf && gTint.Translucency == t && gTint.C[0] == c[0] &&
        gTint.C[1] == c[1] && gTint.C[2] == c[2])
        return gTint;
    gTint.Valid = false;
    if (IsHighColor(pf)) {
        for (int j = 0; j < 32; ++j) {
            gTint.B[j] = static_cast<uint8_t>(TintEntry5(c[0], j, t));
            gTint.R[j] = static_cast<uint8_t>(TintEntry5(c[2], j, t));
        }
        for (int j = 0; j < (pf == pf16bit ? 64 : 32); ++j)
            gTint.G[j] = static_cast<uint8_t>(pf == pf16bit ? TintEntry6(c[1], j, t) : TintEntry5(c[1], j, t));
    } else {
        for (int i = 0; i < 256; ++i) {
            gTint.B[i] = static_cast<uint8_t>(TintEntry8(c[0], i, t));
            gTint.G[i] = static_cast<uint8_t>(TintEntry8(c[1], i, t));
            gTint.R[i] = static_cast<uint8_t>(TintEntry8(c[2], i, t));
        }
    }
    std::copy(c, c + 3, gTint.C);
    gTint.Translucency = t;
    gTint.PixelFormat = pf;
    gTint.Valid = true;
    return gTint;
}

// Calls fn(pixelPointer, count) over the runs of Rect, or over the whole buffer
// when that is allowed; returns false for nothing to do.
template <class Fn>
void ForEachRun(const TPixelBuffer& buf, const RECT& rect, int bytesPerPixel, Fn fn)
{
    RECT r{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0), std::min<LONG>(rect.right, buf.Width),
           std::min<LONG>(rect.bottom, buf.Height)};
    if (r.left >= r.right || r.top >= r.bottom || !buf.Bits)
        return;
    auto* bits = static_cast<uint8_t*>(buf.Bits);
    bool whole = r.left == 0 && r.top == 0 && r.right == buf.Width && r.bottom == buf.Height;
    if (whole && buf.PixelFormat == pf24bit && buf.Width * 3 != buf.Pitch)
        whole = false;   // padding must stay untouched
    if (whole) {
        fn(bits, static_cast<size_t>(buf.Pitch) * buf.Height / bytesPerPixel);
        return;
    }
    for (int y = r.top; y < r.bottom; ++y)
        fn(bits + static_cast<size_t>(buf.Height - 1 - y) * buf.Pitch + static_cast<size_t>(r.left) * bytesPerPixel,
           static_cast<size_t>(r.right - r.left));
}

int BytesPerPixel(TPixelFormat pf) { return IsHighColor(pf) ? 2 : pf == pf24bit ? 3 : 4; }

}  // namespace

void ColorToHighColorFields(TColor rgb, TPixelFormat pf, int& r, int& g, int& b)
{
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } bi{};
    bi.h.biSize = sizeof(BITMAPINFOHEADER);
    bi.h.biWidth = 2;
    bi.h.biHeight = 1;
    bi.h.biPlanes = 1;
    bi.h.biBitCount = 16;
    if (pf == pf16bit) {
        bi.h.biCompression = BI_BITFIELDS;
        bi.masks[0] = 0xF800, bi.masks[1] = 0x07E0, bi.masks[2] = 0x001F;
    } else {
        bi.h.biCompression = BI_RGB;
    }
    uint16_t px = 0;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = dc ? CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0)
                     : nullptr;
    if (bmp) {
        HGDIOBJ old = SelectObject(dc, bmp);
        HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(rgb) & 0xFFFFFF);
        RECT all{0, 0, 2, 1};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        GdiFlush();
        std::memcpy(&px, bits, 2);
        SelectObject(dc, old);
        DeleteObject(bmp);
    }
    if (dc)
        DeleteDC(dc);
    if (!bmp)
        throw EOutOfResources("Out of system resources");
    if (pf == pf16bit) {
        r = px >> 11, g = (px >> 5) & 63, b = px & 31;
    } else {
        r = (px >> 10) & 31, g = (px >> 5) & 31, b = px & 31;
    }
}

void TintBuffer(const TPixelBuffer& buf, int translucency, const RECT& rect, TColor color)
{
    const TPixelFormat pf = buf.PixelFormat;
    if (pf != pf15bit && pf != pf16bit && pf != pf24bit && pf != pf32bit)
        return;
    const TTintCache& tb = TintTables(pf, std::clamp(translucency, 0, 255), color);
    const int bpp = BytesPerPixel(pf);
    if (pf == pf16bit) {
        ForEachRun(buf, rect, bpp, [&](uint8_t* p, size_t n) {
            for (size_t i = 0; i < n; ++i, p += 2) {
                uint16_t v;
                std::memcpy(&v, p, 2);
                v = static_cast<uint16_t>(tb.R[v >> 11] << 11 | tb.G[(v >> 5) & 63] << 5 | tb.B[v & 31]);
                std::memcpy(p, &v, 2);
            }
        });
    } else if (pf == pf15bit) {
        ForEachRun(buf, rect, bpp, [&](uint8_t* p, size_t n) {
            for (size_t i = 0; i < n; ++i, p += 2) {
                uint16_t v;
                std::memcpy(&v, p, 2);
                v = static_cast<uint16_t>(0x8000 | tb.R[(v >> 10) & 31] << 10 | tb.G[(v >> 5) & 31] << 5 |
                                          tb.B[v & 31]);
                std::memcpy(p, &v, 2);
            }
        });
    } else {
        ForEachRun(buf, rect, bpp, [&](uint8_t* p, size_t n) {
            for (size_t i = 0; i < n; ++i, p += bpp) {
                p[0] = tb.B[p[0]];
                p[1] = tb.G[p[1]];
                p[2] = tb.R[p[2]];
            }
        });
    }
}

void BlendKernel::TintReference(const TPixelBuffer& buf, int translucency, const RECT& rect, TColor color)
{
    const TPixelFormat pf = buf.PixelFormat;
    const int t = std::clamp(translucency, 0, 255);
    int c[3];
    TintComponents(pf, color, c);
    const int bpp = BytesPerPixel(pf);
    ForEachRun(buf, rect, bpp, [&](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i, p += bpp) {
            if (pf == pf24bit || pf == pf32bit) {
                for (int k = 0; k < 3; ++k)
                    p[k] = static_cast<uint8_t>(TintEntry8(c[k], p[k], t));
                continue;
            }
            uint16_t v;
            std::memcpy(&v, p, 2);
            int r, g, b = TintEntry5(c[0], v & 31, t);
            if (pf == pf16bit) {
                r = TintEntry5(c[2], v >> 11, t);
                g = TintEntry6(c[1], (v >> 5) & 63, t);
                v = static_cast<uint16_t>(r << 11 | g << 5 | b);
            } else {
                r = TintEntry5(c[2], (v >> 10) & 31, t);
                g = TintEntry5(c[1], (v >> 5) & 31, t);
                v = static_cast<uint16_t>(0x8000 | r << 10 | g << 5 | b);
            }
            std::memcpy(p, &v, 2);
        }
    });
}

// ---- bitmaps ----------------------------------------------------------------------------

namespace {

bool IsDirectColor(TPixelFormat pf) { return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit; }

// The lowest scan line: the start of the whole buffer of a bottom-up bitmap.
void* BufferStart(TBitmap* b) { return b->ScanLine(b->Height() - 1); }

}  // namespace

void BlendBitmaps(TBitmap* Work, TBitmap* Dst, TBitmap* Src, int IdenticalPercent, int Level,
                  TPixelFormat PixelFormat)
{
    if (!Work || !Dst || !Src || Work->Empty())
        return;
    // The kernels walk all three buffers by Work's geometry.
    ZUL_ASSERT(IsDirectColor(PixelFormat), "teBlndWk");
    for (TBitmap* b : {Work, Dst, Src})
        ZUL_ASSERT(b->PixelFormat() == PixelFormat && b->Width() == Work->Width() && b->Height() == Work->Height(),
                   "teBlndWk");
    GdiFlush();
    size_t bytes = static_cast<size_t>(Work->RowBytes()) * Work->Height();
    BlendBuffers(BufferStart(Work), BufferStart(Dst), BufferStart(Src), bytes, PixelFormat, IdenticalPercent, Level);
}

void SetDitherPixel(TBitmap* Pattern, int K)
{
    if (!Pattern || K < 1 || K > 64)
        return;
    Pattern->Canvas()->SetPixel(DitherOrder[K - 1].X, DitherOrder[K - 1].Y, clBlack);
}

void CopyThroughPattern(TBitmap* Dest, const RECT& DestRect, HDC SourceDC, TBitmap* Pattern)
{
    TBrushHandle brush(CreatePatternBrush(Pattern->Handle()));
    if (!brush.Get())
        RaiseLastOSError();
    HDC dc = Dest->CanvasDC();
    // A monochrome pattern takes the text colour for 0 bits and the background for 1.
    COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    {
        TSelectObject sel(dc, brush.Get());
        BitBlt(dc, DestRect.left, DestRect.top, RectWidth(DestRect), RectHeight(DestRect), SourceDC, 0, 0,
               kPatternCopyRop);
    }
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBk);
}

void TintBitmap(TBitmap* Bitmap, TBitmap* Pattern, TPixelFormat PixelFormat, int Translucency, const RECT& Rect,
                TColor Color)
{
    if (!Bitmap || Bitmap->Empty() || RectIsEmpty(Rect))
        return;
    const TColor c = ColorToRGB(Color);
    if (Pattern) {
        int t = std::clamp(Translucency, 0, 63);
        for (int k = 1; k <= 64 - t; ++k)
            SetDitherPixel(Pattern, k);
        TBitmap colour;
        colour.SetPixelFormat(Bitmap->PixelFormat());
        if (Bitmap->Palette())
            colour.SetPalette(Bitmap->Palette());
        colour.SetSize(RectWidth(Rect), RectHeight(Rect));
        colour.Canvas()->Brush()->SetColor(c);
        colour.Canvas()->FillRect(::Rect(0, 0, RectWidth(Rect), RectHeight(Rect)));
        CopyThroughPattern(Bitmap, Rect, colour.CanvasDC(), Pattern);
        return;
    }
    if (!IsDirectColor(PixelFormat) || Bitmap->PixelFormat() != PixelFormat)
        return;
    GdiFlush();
    TPixelBuffer buf;
    buf.Bits = BufferStart(Bitmap);
    buf.Width = Bitmap->Width();
    buf.Height = Bitmap->Height();
    buf.Pitch = Bitmap->RowBytes();
    buf.PixelFormat = PixelFormat;
    TintBuffer(buf, Translucency, Rect, c);
}
