#pragma once
// Blend and tint kernels over the pixel buffers of bottom-up device-independent
// bitmaps (15, 16, 24 and 32 bits), and the 8x8 dither order.
//
// Buffers are handled as one run of bytes starting at the lowest scan line; the
// length is the scan-line pitch (padded to 32 bits) times the height, so always a
// multiple of 4. Padding bytes are blended like pixels.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Graphics.h"

// Order in which the 64 cells of an 8x8 pattern are set; cell K (1..64) is
// DitherOrder[K - 1].
struct TDitherCell {
    int X, Y;
};
extern const TDitherCell DitherOrder[64];

// ---- whole-bitmap entry points ------------------------------------------------

// Work := mix of Src (weight falling with Level) and Dst (weight rising with Level).
// Level is 1..254 for 24/32 bits and 1..31 for 15/16 bits (clamped to that range).
// Work may be Src. IdenticalPercent is the share of equal 32-bit words of Src and
// Dst; above 9 the scalar kernel leaves equal words of Work unwritten.
void BlendBitmaps(TBitmap* Work, TBitmap* Dst, TBitmap* Src, int IdenticalPercent, int Level,
                  TPixelFormat PixelFormat);

// Sets cell DitherOrder[K] of an 8x8 monochrome pattern to black.
void SetDitherPixel(TBitmap* Pattern, int K);

// Moves the pixels of Rect towards Color: Translucency 255 keeps them, 0 replaces
// them. With a Pattern the tint is dithered (Translucency 0..63 then).
void TintBitmap(TBitmap* Bitmap, TBitmap* Pattern, TPixelFormat PixelFormat, int Translucency,
                const RECT& Rect, TColor Color);

// Raster operation that takes the source where the brush is black and keeps the
// destination where it is white.
constexpr DWORD kPatternCopyRop = 0x00AC0744;

// Copies SourceDC (from its origin) onto DestRect of Dest through an 8x8 monochrome
// Pattern brush tiled from Dest's brush origin: black cells take the source.
void CopyThroughPattern(TBitmap* Dest, const RECT& DestRect, HDC SourceDC, TBitmap* Pattern);

// ---- raw kernels ----------------------------------------------------------------

// Blend of whole buffers, Bytes long (a multiple of 4).
void BlendBuffers(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf,
                  int identicalPercent, int level);

// A bottom-up pixel buffer: Bits is the lowest scan line, Pitch the padded row size.
struct TPixelBuffer {
    void* Bits = nullptr;
    int Width = 0;
    int Height = 0;
    int Pitch = 0;
    TPixelFormat PixelFormat = pf32bit;
};

// Table-driven tint of Rect (rows counted from the top, clipped to the buffer).
// Color is an RGB value ($00BBGGRR, no system colour).
void TintBuffer(const TPixelBuffer& buf, int translucency, const RECT& rect, TColor color);

// The colour's 5/6-bit fields as a 15/16-bit pixel holds them after GDI draws it.
void ColorToHighColorFields(TColor rgb, TPixelFormat pf, int& r, int& g, int& b);

// ---- kernel selection ------------------------------------------------------------

// Fast kernels (AVX2, SSE2 or MMX for 24/32 bits, whichever the processor has
// first; generated code for 15/16) or the plain C++ ones; both give the same bytes.
// Chosen at start-up: ZUL_BLEND_REFERENCE=1 forces the plain ones.
enum class TBlendImpl { Fast, Reference };
TBlendImpl BlendImplementation();
void SetBlendImplementation(TBlendImpl impl);
void InitBlendKernels();

// The individual kernels, for tests and benchmarks.
namespace BlendKernel {

// Whether BlendBuffers uses the MMX arithmetic for this format on this processor.
bool UsesMMXArithmetic(TPixelFormat pf);
// The kernel BlendBuffers takes for this format now: "avx2", "sse2", "mmx",
// "generated scalar" or "reference".
const char* KernelName(TPixelFormat pf);

// MMX arithmetic: every byte Src + floor((Dst - Src) * Level / 256) mod 256, the
// last 4 bytes (when the length is not a multiple of 8) in 32-bit two-channel form.
void MMXFast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal);
// The same bytes 16 at a time with SSE2, taken instead of the MMX kernel when the
// processor has it (twice the work per instruction).
bool HasSSE2();
void SSE2Fast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal);
// The same bytes 32 at a time with AVX2 (instructions present and YMM state saved
// by the operating system); taken before the SSE2 kernel.
bool HasAVX2();
void AVX2Fast(void* work, const void* dst, const void* src, size_t bytes, int level, bool nonTemporal);
void MMXReference(void* work, const void* dst, const void* src, size_t bytes, int level);

// Level-specialised scalar arithmetic (15/16 bits, and 24/32 without MMX).
// useImul picks the multiply instruction over shift-and-add sequences.
void ScalarGenerated(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf,
                     int identicalPercent, int level, bool useImul);
void ScalarReference(void* work, const void* dst, const void* src, size_t bytes, TPixelFormat pf,
                     int identicalPercent, int level);

// The code ScalarGenerated builds, for either instruction set (to inspect the
// i386 form on a 64-bit machine).
std::vector<uint8_t> ScalarCode(TPixelFormat pf, int level, bool skipEqual, bool useImul, bool x64, uint32_t work,
                                uint32_t base, uint32_t other, size_t bytes);

// One 32-bit word of the scalar arithmetic: Base + floor((Other - Base) * Odd / 2^Shift)
// per field group, as 32-bit unsigned arithmetic.
struct TScalarParams {
    uint32_t LoMask, HiMask;   // HiMask applies after the shift down
    int FieldShift;            // 8 for 24/32 bits, 5 for 15/16
    uint32_t Odd;              // odd part of the multiplier
    int Shift;                 // 8 minus the multiplier's trailing zero bits
    bool Swap;                 // Dst is the base operand
};
TScalarParams ScalarParamsFor(TPixelFormat pf, int level);
uint32_t ScalarWord(uint32_t base, uint32_t other, const TScalarParams& p);

// Plain per-pixel tint from the table formulas, for comparison with TintBuffer.
void TintReference(const TPixelBuffer& buf, int translucency, const RECT& rect, TColor color);

}  // namespace BlendKernel
