#pragma once
// Cross-fade: every frame mixes the whole source and target images at a level that
// grows with the frame number.

#include "engine/TransEff.h"

class TBlendTransition : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TBlendTransition(TComponent* owner);
    static String Description() { return "Alpha blend"; }

    TPixelFormat GetPixelFormat(TTETransitionDevice* device) override;
    void Initialize(TTETransitionData* data, int& frames) override;
    void ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame) override;
    TTECapabilities GetCapabilities(TTETransitionDevice* device) override;
    TTransitionEffect* GetRunTransition(TTETransitionDevice* device, bool copy) override;

protected:
    // Share (0..100) of equal 32-bit words in source and target, measured per pass.
    int FIdenticalPercent = 0;
};

void InitializeTeBlend();
