#include "effects/teBmpMsk.h"

#include "engine/TransEffDevice.h"
#include "imaging/teRender.h"

namespace {
const char* const PictureModeNames[] = {"fcpmCenter", "fcpmCenterStretch", "fcpmStretch",
                                        "fcpmTile", "fcpmZoom", "fcpmTopLeft"};
const char* const PictureModeTexts[] = {"Center", "Center stretch", "Stretch", "Tile", "Zoom", "Top left"};

const TPropInfo BmpMaskProps[] = {
    transitionprops::Reversed(),
    transitionprops::PassSetting(),
    transitionprops::Pass2Options(),
    // The picture itself never travels in property streams or descriptions.
    TPropInfo{"Mask", TPropKind::Class},
    published::Enumeration<&TBmpMaskTransition::MaskMode, &TBmpMaskTransition::SetMaskMode>(
        "MaskMode", TFCPictureModeInfo, fcpmStretch),
    published::Integer<&TBmpMaskTransition::SmoothingLevel, &TBmpMaskTransition::SetSmoothingLevel>(
        "SmoothingLevel", 0),
};
String BmpMaskDescription() { return TBmpMaskTransition::Description(); }
String BmpMaskEditor() { return TBmpMaskTransition::GetEditor(); }
}  // namespace

const TEnumInfo TFCPictureModeInfo{"TFCPictureMode", PictureModeNames};
const int LevelBandWidths[6] = {0, 8, 16, 32, 64, 128};

String PictureModeToString(TFCPictureMode mode)
{
    if (static_cast<unsigned>(mode) > fcpmTopLeft)
        return String();
    return PictureModeTexts[mode];
}

TFCPictureMode StringToPictureMode(const String& s)
{
    for (int m = fcpmCenter; m <= fcpmTopLeft; ++m)
        if (s == PictureModeTexts[m])
            return static_cast<TFCPictureMode>(m);
    return fcpmCenter;
}

const TTransitionClassInfo TBmpMaskTransition::ClassInfo{
    {"TBmpMaskTransition", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TBmpMaskTransition>, BmpMaskProps},
    &BmpMaskDescription, &BmpMaskEditor};

TBmpMaskTransition::TBmpMaskTransition(TComponent* owner) : TTimedTransitionEffect(owner) {}
TBmpMaskTransition::~TBmpMaskTransition() = default;

bool TBmpMaskTransition::MaskModeAllowed(TFCPictureMode mode)
{
    return mode == fcpmStretch || mode == fcpmTile || mode == fcpmZoom;
}

void TBmpMaskTransition::CopyMaskFrom(TBitmap* source)
{
    if (!source || source->Empty()) {
        FMask.reset();
        return;
    }
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(source);
    FMask = std::move(copy);
}

void TBmpMaskTransition::SetMask(TBitmap* value)
{
    if (value && !value->Empty() && value->PixelFormat() != pf8bit)
        throw ETransitionEffectError("Transition mask should have 8 bits per pixel");
    CopyMaskFrom(value);
}

void TBmpMaskTransition::SetMaskMode(TFCPictureMode value)
{
    if (value != FMaskMode && MaskModeAllowed(value))
        FMaskMode = value;
}

void TBmpMaskTransition::SetSmoothingLevel(uint16_t value)
{
    if (value <= MaxSmoothingLevel())
        FSmoothingLevel = value;
}

bool TBmpMaskTransition::UseSmoothMask(TTETransitionDevice* device)
{
    if (!CpuHasMMX || FSmoothingLevel == 0)
        return false;
    TPixelFormat pf = device->GetPixelFormat();
    return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit;
}

TPixelFormat TBmpMaskTransition::GetPixelFormat(TTETransitionDevice* device)
{
    return UseSmoothMask(device) ? pf32bit : device->GetPixelFormat();
}

int TBmpMaskTransition::GetBitmapsWidth(TTETransitionData* data)
{
    // Rows of the 8-bit mask then hold exactly one byte per image pixel.
    int w = data->Width;
    bool wide = (data->Device && UseSmoothMask(data->Device)) || data->PixelFormat == pf4bit;
    int align = wide ? 8 : 4;
    return (w + align - 1) / align * align;
}

TTECapabilities TBmpMaskTransition::GetCapabilities(TTETransitionDevice* device)
{
    return TTimedTransitionEffect::GetCapabilities(device) | tecFrameSkip | tecAlwaysWorkBitmap | tecWorkBitmap |
           tecPixelLocal | tecThreadSafe;
}

// Minimal until the mask drawing lands: the checks and the frame count of a run.
void TBmpMaskTransition::Initialize(TTETransitionData* data, int& frames)
{
    TTimedTransitionEffect::Initialize(data, frames);
    if (!FMask || FMask->PixelFormat() != pf8bit)
        throw ETransitionEffectError("Transition mask should have 8 bits per pixel");
    frames = 254;
    if (data->Device && UseSmoothMask(data->Device))
        frames += LevelBandWidths[FSmoothingLevel] - 1;
}

// Minimal until the mask drawing lands: marks the whole area.
void TBmpMaskTransition::ExecuteFrame(TTETransitionData* data, int, int, int)
{
    data->UpdateRect = RECT{0, 0, data->Width, data->Height};
    data->UnUpdateRect = RECT{};
}

TTransitionEffect* TBmpMaskTransition::GetRunTransition(TTETransitionDevice* device, bool copy)
{
    if (MaskEmpty()) {
        // Without a mask the picture simply switches.
        auto cut = std::make_unique<TFlickerFreeTransition>(nullptr);
        cut->Assign(this);
        return cut.release();
    }
    return TTimedTransitionEffect::GetRunTransition(device, copy);
}

void TBmpMaskTransition::Assign(TPersistent* source)
{
    TTimedTransitionEffect::Assign(source);
    if (auto* s = dynamic_cast<TBmpMaskTransition*>(source)) {
        if (s != this)
            CopyMaskFrom(s->FMask.get());
        SetMaskMode(s->FMaskMode);
        SetSmoothingLevel(s->FSmoothingLevel);
    }
}

void TBmpMaskTransition::LoadFromStrings(TStrings* list)
{
    TTimedTransitionEffect::LoadFromStrings(list);
    String mode = list->Values("MaskMode");
    if (!mode.empty())
        SetMaskMode(StringToPictureMode(mode));
    String level = list->Values("SmoothingLevel");
    if (!level.empty())
        SetSmoothingLevel(static_cast<uint16_t>(StrToInt(level)));
}

void TBmpMaskTransition::SaveToStrings(TStrings* list, bool onlyNonDefault)
{
    TTimedTransitionEffect::SaveToStrings(list, onlyNonDefault);
    if (!onlyNonDefault || FMaskMode != fcpmStretch)
        list->SetValues("MaskMode", PictureModeToString(FMaskMode));
    if (!onlyNonDefault || FSmoothingLevel != 0)
        list->SetValues("SmoothingLevel", IntToStr(FSmoothingLevel));
}

void InitializeTeBmpMsk()
{
    RegisterTransition(&TBmpMaskTransition::ClassInfo);
}
