#pragma once
// Bitmap-mask transition: reveals the new picture in the order given by an 8-bit mask
// picture (brightest first), with an optional soft edge.

#include <memory>

#include "engine/TransEff.h"

// How a picture is fitted into an area, with the names shown and stored.
enum TFCPictureMode { fcpmCenter, fcpmCenterStretch, fcpmStretch, fcpmTile, fcpmZoom, fcpmTopLeft };
extern const TEnumInfo TFCPictureModeInfo;
String PictureModeToString(TFCPictureMode mode);
// Exact letter case; anything unknown gives fcpmCenter.
TFCPictureMode StringToPictureMode(const String& s);

class TBmpMaskTransition : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TBmpMaskTransition(TComponent* owner);
    ~TBmpMaskTransition() override;
    static String Description() { return "Bitmap mask"; }
    static String GetEditor() { return "TBmpMaskTransitionEditor"; }

    int GetBitmapsWidth(TTETransitionData* data) override;
    TPixelFormat GetPixelFormat(TTETransitionDevice* device) override;
    void Initialize(TTETransitionData* data, int& frames) override;
    void ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame) override;
    TTECapabilities GetCapabilities(TTETransitionDevice* device) override;
    void LoadFromStrings(TStrings* list) override;
    void SaveToStrings(TStrings* list, bool onlyNonDefault) override;
    TTransitionEffect* GetRunTransition(TTETransitionDevice* device, bool copy) override;
    void Assign(TPersistent* source) override;

    // The mask picture (owned; null or empty when there is none).
    TBitmap* Mask() const { return FMask.get(); }
    // A non-empty bitmap that is not pf8bit raises ETransitionEffectError; null clears.
    virtual void SetMask(TBitmap* value);
    TFCPictureMode MaskMode() const { return FMaskMode; }
    void SetMaskMode(TFCPictureMode value);
    uint16_t SmoothingLevel() const { return FSmoothingLevel; }
    void SetSmoothingLevel(uint16_t value);
    static bool MaskModeAllowed(TFCPictureMode mode);
    static int MaxSmoothingLevel() { return 5; }
    bool UseSmoothMask(TTETransitionDevice* device);
    bool MaskEmpty() const { return !FMask || FMask->Empty(); }

protected:
    void CopyMaskFrom(TBitmap* source);
    std::unique_ptr<TBitmap> FMask;
    TFCPictureMode FMaskMode = fcpmStretch;
    uint16_t FSmoothingLevel = 0;
};

// Grey levels of the soft edge per smoothing level (index 0 unused).
extern const int LevelBandWidths[6];

void InitializeTeBmpMsk();
