#pragma once
// Pattern fuse: the new image shows through an 8x8 pattern tiled over the picture,
// whose cells turn black frame by frame in the order of one of thirteen styles.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/TransEff.h"

class TFuseTransition : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TFuseTransition(TComponent* owner);
    ~TFuseTransition() override;
    static String Description() { return "Fuse"; }
    static String GetEditor() { return "TFuseTransitionEditor"; }

    void Assign(TPersistent* source) override;
    void Initialize(TTETransitionData* data, int& frames) override;
    void Finalize(TTETransitionData* data) override;
    void ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame) override;
    TTECapabilities GetCapabilities(TTETransitionDevice* device) override;
    void LoadFromStrings(TStrings* list) override;
    void SaveToStrings(TStrings* list, bool onlyNonDefault) override;

    int Style() const { return FStyle; }
    // Values above the style count (or below 0) are ignored.
    void SetStyle(int value);
    // The style of this run: Style, or one drawn at random for Style 0 (kept until the
    // run ends), with the reversed counterpart when Reversed.
    int StyleToUse();

    // The pattern cells frame K of N darkens in Style (cells outside 0..7 left out).
    static std::vector<POINT> FrameCells(int style, int k, int n);
    static int FramesOfStyle(int style) { return style == 1 || style == 8 || style == 9 ? 63 : 7; }

protected:
    uint16_t FStyleCount = 13;
    uint16_t FStyle = 1;
    uint16_t FRandomStyle = 0;
    std::unique_ptr<TBitmap> FPattern;
};

// Spiral order of the 64 cells of an 8x8 pattern (cell K is SpiralOrder[K - 1]).
extern const POINT SpiralOrder[64];

void InitializeTeFuse();
