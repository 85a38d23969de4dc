#include "effects/teBlend.h"

#include <cstring>
#include <memory>

#include "effects/teFuse.h"
#include "engine/TransEffDevice.h"
#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"

namespace {
const TPropInfo BlendProps[] = {
    transitionprops::PassSetting(),
    transitionprops::Pass2Options(),
};
String BlendDescription() { return TBlendTransition::Description(); }

bool IsHighColor(TPixelFormat pf) { return pf == pf15bit || pf == pf16bit; }

// Share (0..100) of equal 32-bit words in the first Bytes of both buffers.
int IdenticalPercent(const void* a, const void* b, size_t bytes)
{
    size_t words = bytes / 4;
    if (words == 0)
        return 0;
    auto* pa = static_cast<const uint8_t*>(a);
    auto* pb = static_cast<const uint8_t*>(b);
    size_t equal = 0;
    for (size_t i = 0; i < words; ++i)
        equal += std::memcmp(pa + 4 * i, pb + 4 * i, 4) == 0;
    return static_cast<int>(equal * 100 / words);
}
}  // namespace

const TTransitionClassInfo TBlendTransition::ClassInfo{
    {"TBlendTransition", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TBlendTransition>, BlendProps},
    &BlendDescription, nullptr};

TBlendTransition::TBlendTransition(TComponent* owner) : TTimedTransitionEffect(owner) {}

TTECapabilities TBlendTransition::GetCapabilities(TTETransitionDevice* device)
{
    return TTimedTransitionEffect::GetCapabilities(device) | tecFrameSkip | tecAlwaysWorkBitmap | tecWorkBitmap |
           tecPixelLocal | tecThreadSafe;
}

// Without MMX the fourth byte of 32-bit pixels is only work: blend in 24 bits.
TPixelFormat TBlendTransition::GetPixelFormat(TTETransitionDevice* device)
{
    TPixelFormat pf = TTimedTransitionEffect::GetPixelFormat(device);
    if (pf == pf32bit && !CpuHasMMX)
        pf = pf24bit;
    return pf;
}

void TBlendTransition::Initialize(TTETransitionData* data, int& frames)
{
    const TPixelFormat pf = data->PixelFormat;
    frames = IsHighColor(pf) ? 31 : 254;
    FIdenticalPercent = 0;
    // The MMX kernel does not skip equal words, so it needs no measurement.
    if (!IsHighColor(pf) && CpuHasMMX)
        return;
    TBitmap *work = data->WorkBitmap, *src = data->SrcImage, *dst = data->DstImage;
    if (!work || !src || !dst || data->Height <= 0)
        return;
    size_t bytes = static_cast<size_t>(ScanlineByteSize(work, pf, 32)) * data->Height;
    if (bytes < 4)
        return;
    // Both images must hold that many bytes in this format to be compared.
    for (TBitmap* b : {src, dst})
        if (b->PixelFormat() != pf || static_cast<size_t>(b->RowBytes()) * b->Height() < bytes)
            return;
    GdiFlush();
    FIdenticalPercent = IdenticalPercent(dst->ScanLine(dst->Height() - 1), src->ScanLine(src->Height() - 1), bytes);
}

void TBlendTransition::ExecuteFrame(TTETransitionData* data, int currentFrame, int, int)
{
    BlendBitmaps(data->WorkBitmap, data->DstImage, data->SrcImage, FIdenticalPercent, currentFrame,
                 data->PixelFormat);
    data->UpdateRect = RECT{0, 0, data->Width, data->Height};
}

// Palette displays cannot mix colours: the pattern fuse dithers instead.
TTransitionEffect* TBlendTransition::GetRunTransition(TTETransitionDevice* device, bool copy)
{
    if (IsDirectColorDevice(device))
        return TTimedTransitionEffect::GetRunTransition(device, copy);
    auto fuse = std::make_unique<TFuseTransition>(nullptr);
    fuse->Assign(this);
    fuse->SetStyle(1);
    TTransitionEffect* run = fuse->GetRunTransition(device, false);
    if (run == fuse.get())
        return fuse.release();
    return run;   // the fuse goes; what it handed over stays
}

void InitializeTeBlend()
{
    RegisterTransition(&TBlendTransition::ClassInfo);
}
