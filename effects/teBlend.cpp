#include "effects/teBlend.h"

#include "engine/TransEffDevice.h"

namespace {
const TPropInfo BlendProps[] = {
    transitionprops::PassSetting(),
    transitionprops::Pass2Options(),
};
String BlendDescription() { return TBlendTransition::Description(); }
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

// Minimal until the blend drawing lands: the device's format, no MMX adjustment.
TPixelFormat TBlendTransition::GetPixelFormat(TTETransitionDevice* device)
{
    return TTimedTransitionEffect::GetPixelFormat(device);
}

// Minimal until the blend drawing lands: the frame count only.
void TBlendTransition::Initialize(TTETransitionData* data, int& frames)
{
    frames = (data->PixelFormat == pf15bit || data->PixelFormat == pf16bit) ? 31 : 254;
    FIdenticalPercent = 0;
}

// Minimal until the blend drawing lands: marks the whole area without mixing.
void TBlendTransition::ExecuteFrame(TTETransitionData* data, int, int, int)
{
    data->UpdateRect = RECT{0, 0, data->Width, data->Height};
}

// Minimal until the blend drawing lands: no hand-over to the pattern fuse.
TTransitionEffect* TBlendTransition::GetRunTransition(TTETransitionDevice* device, bool copy)
{
    return TTimedTransitionEffect::GetRunTransition(device, copy);
}

void InitializeTeBlend()
{
    RegisterTransition(&TBlendTransition::ClassInfo);
}
