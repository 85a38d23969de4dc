#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effects/teBlend.h"
#include "effects/teBmpMk2.h"
#include "effects/teBmpMsk.h"
#include "engine/TransEff.h"
#include "engine/TransEffDevice.h"

namespace {

// ---- test transitions with directions -------------------------------------------------

// Publishes Direction (default Right) and Reversed; accepts the four straight directions.
class TStraightTransition : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TStraightTransition(TComponent* owner) : TTimedTransitionEffect(owner)
    {
        FAllowedDirections = DirectionBit(tedRight) | DirectionBit(tedLeft) | DirectionBit(tedUp) |
                             DirectionBit(tedDown) | DirectionBit(tedRandom);
        FDirection = tedRight;
    }
    void ExecuteFrame(TTETransitionData*, int, int, int) override {}
};
const TPropInfo StraightProps[] = {transitionprops::Direction(tedRight), transitionprops::Reversed()};
const TTransitionClassInfo TStraightTransition::ClassInfo{
    {"TStraightTransition", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TStraightTransition>,
     StraightProps},
    nullptr, nullptr};

// Accepts only the diagonals (and none).
class TDiagonalOnly : public TTimedTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TDiagonalOnly(TComponent* owner) : TTimedTransitionEffect(owner)
    {
        FAllowedDirections = DirectionBit(tedNone) | DirectionBit(tedDownRight) | DirectionBit(tedUpLeft);
        FDirection = tedDownRight;
    }
    void ExecuteFrame(TTETransitionData*, int, int, int) override {}
};
const TPropInfo DiagonalProps[] = {transitionprops::Direction(tedDownRight)};
const TTransitionClassInfo TDiagonalOnly::ClassInfo{
    {"TDiagonalOnly", &TTimedTransitionEffect::ClassInfo, &CreateInstance<TDiagonalOnly>, DiagonalProps},
    nullptr, nullptr};

// ---- a device that only answers questions ------------------------------------------------

class TQuestionDevice : public TTETransitionDevice {
public:
    TQuestionDevice(bool twoPasses, bool palette, TPixelFormat pf = pf24bit)
        : FTwoPasses(twoPasses), FPalette(palette), FFormat(pf)
    {
        ++Alive;
    }
    ~TQuestionDevice() override { --Alive; }
    void ExecuteTransition() override {}
    void Execute(bool synchronous) override { ++Executed; }
    bool IsPaletteDevice() override { return FPalette; }
    TPixelFormat GetPixelFormat() override { return FFormat; }
    bool SupportsTwoPasses() override { return FTwoPasses; }

    static inline int Alive = 0;
    static inline int Executed = 0;

private:
    bool FTwoPasses, FPalette;
    TPixelFormat FFormat;
};

String ListText(TStrings& l)
{
    l.Delimiter = ';';
    l.QuoteChar = '\'';
    return l.DelimitedText();
}

class TransEff : public testing::Test {
protected:
    void SetUp() override
    {
        RegisterTransition(&TStraightTransition::ClassInfo);
        RegisterTransition(&TDiagonalOnly::ClassInfo);
        LiveAtStart = LiveTransitionCount();
    }
    void TearDown() override
    {
        UnRegisterTransition(&TStraightTransition::ClassInfo);
        UnRegisterTransition(&TDiagonalOnly::ClassInfo);
        DefaultDeviceHooks = {};
        EXPECT_EQ(LiveTransitionCount(), LiveAtStart) << "a transition object leaked";
        EXPECT_EQ(TQuestionDevice::Alive, 0) << "a device leaked";
    }
    int LiveAtStart = 0;
};

// ---- directions ------------------------------------------------------------------------

TEST_F(TransEff, OppositeDirectionsPairUpAndNoneAndRandomStay)
{
    const std::pair<TTEEffectDirection, TTEEffectDirection> pairs[] = {
        {tedNone, tedNone},         {tedRight, tedLeft},          {tedLeft, tedRight},
        {tedDown, tedUp},           {tedUp, tedDown},             {tedDownRight, tedUpLeft},
        {tedUpLeft, tedDownRight},  {tedDownLeft, tedUpRight},    {tedUpRight, tedDownLeft},
        {tedIn, tedOut},            {tedOut, tedIn},              {tedRandom, tedRandom}};
    // Every direction is allowed on this probe, so each can be set.
    struct TAny : TStraightTransition {
        explicit TAny() : TStraightTransition(nullptr) { FAllowedDirections = ~0u; }
    } any;
    for (auto [d, opposite] : pairs) {
        any.SetDirection(d);
        EXPECT_EQ(any.OppositeDirection(), opposite) << DirectionToString(d);
        any.SetReversed(false);
        EXPECT_EQ(any.DirectionToUse(), d);
        any.SetReversed(true);
        EXPECT_EQ(any.DirectionToUse(), opposite);
    }
}

TEST_F(TransEff, DirectionNamesRoundTripWithExactCase)
{
    for (int d = tedNone; d <= tedRandom; ++d)
        EXPECT_EQ(StringToDirection(DirectionToString(static_cast<TTEEffectDirection>(d))), d);
    EXPECT_EQ(DirectionToString(tedDownLeft), "Down and left");
    EXPECT_EQ(DirectionToString(tedNone), "");
    EXPECT_EQ(StringToDirection("right"), tedNone);
    EXPECT_EQ(StringToDirection("Sideways"), tedNone);
}

TEST_F(TransEff, SetDirectionIgnoresDirectionsTheClassRefuses)
{
    TStraightTransition t(nullptr);
    t.SetDirection(tedDownLeft);
    EXPECT_EQ(t.Direction(), tedRight);
    t.SetDirection(tedUp);
    EXPECT_EQ(t.Direction(), tedUp);

    // "right" is no direction name: it tries tedNone, which this class refuses.
    TStringList l;
    l.SetValues("Direction", "right");
    t.LoadFromStrings(&l);
    EXPECT_EQ(t.Direction(), tedUp);
    TDiagonalOnly d(nullptr);
    d.LoadFromStrings(&l);
    EXPECT_EQ(d.Direction(), tedNone);
}

// ---- persistence -------------------------------------------------------------------------

TEST_F(TransEff, ListOfOnlyTheClassGivesDefaults)
{
    TStringList l;
    l.Add("Transition=TBlendTransition");
    std::unique_ptr<TTransitionEffect> t(CreateTransitionFromList(&l));
    ASSERT_EQ(t->ClassType(), &TBlendTransition::ClassInfo);
    EXPECT_EQ(t->Milliseconds(), 0);
    EXPECT_EQ(t->PassSetting(), teOnePass);
    EXPECT_TRUE(t->Enabled());
    EXPECT_EQ(t->AbortCheckInterval(), 300);
    EXPECT_TRUE(t->Pass2Options()->UseSolidColor());
    EXPECT_EQ(t->Pass2Options()->SolidColor(), clNone);
}

TEST_F(TransEff, UnknownClassRaisesAndRestoresTheClassGroup)
{
    TClass before = ActivateClassGroup(&TPersistent::ClassInfo);
    for (const char* name : {"TNoSuchTransition", "TStringList", ""}) {
        TStringList l;
        l.SetValues("Transition", name);
        try {
            delete CreateTransitionFromList(&l);
            FAIL() << name;
        } catch (const ETransitionEffectError& e) {
            EXPECT_EQ(String(e.what()), Format("Unknow transition \"%s\"", {name}));
        }
        EXPECT_EQ(ActiveClassGroup(), &TPersistent::ClassInfo);
    }
    ActivateClassGroup(before);
}

TEST_F(TransEff, SaveWritesOnlyNonDefaultKeysInOrder)
{
    TStringList l;
    TBlendTransition blend(nullptr);
    SaveTransitionToList(&blend, &l, true);
    EXPECT_EQ(ListText(l), "Transition=TBlendTransition");

    l.Clear();
    SaveTransitionToList(&blend, &l, false);
    EXPECT_EQ(ListText(l), "Transition=TBlendTransition;Milliseconds=0");

    TStraightTransition s(nullptr);
    l.Clear();
    SaveTransitionToList(&s, &l, true);
    EXPECT_EQ(ListText(l), "Transition=TStraightTransition");
    s.SetDirection(tedLeft);
    s.SetMilliseconds(250);
    SaveTransitionToList(&s, &l, true);
    EXPECT_EQ(ListText(l), "Transition=TStraightTransition;Direction=Left;Milliseconds=250");

    // A direction of none removes the key.
    TDiagonalOnly d(nullptr);
    l.Clear();
    l.Add("Direction=Up and left");
    d.SetDirection(tedNone);
    SaveTransitionToList(&d, &l, false);
    EXPECT_EQ(ListText(l), "Transition=TDiagonalOnly;Milliseconds=0");

    SaveTransitionToList(nullptr, &l, false);   // nothing to write
    EXPECT_EQ(l.Count(), 2);
}

TEST_F(TransEff, MillisecondsThatAreNoIntegerRaiseAfterEarlierKeys)
{
    TStringList l;
    l.Add("Direction=Up");
    l.Add("Milliseconds=fast");
    TStraightTransition t(nullptr);
    try {
        t.LoadFromStrings(&l);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'fast' is not a valid integer value");
    }
    EXPECT_EQ(t.Direction(), tedUp);

    l.SetValues("Transition", "TStraightTransition");
    EXPECT_THROW(delete CreateTransitionFromList(&l), EConvertError);   // and nothing leaks
}

TEST_F(TransEff, BooleanTexts)
{
    EXPECT_EQ(BooleanText(true), "True");
    EXPECT_EQ(BooleanText(false), "False");
    for (const char* s : {"True", "TRUE", "true", "tRuE"})
        EXPECT_TRUE(TextToBoolean(s)) << s;
    for (const char* s : {"1", "Yes", "", "False", "True "})
        EXPECT_FALSE(TextToBoolean(s)) << s;
}

// ---- Assign --------------------------------------------------------------------------------

TEST_F(TransEff, AssignCopiesCommonValuesButNotEventsOrRefusedDirections)
{
    TStraightTransition src(nullptr);
    src.SetMilliseconds(777);
    src.SetAbortCheckInterval(50);
    src.Pass2Options()->SetDistributedTime(true);
    src.Pass2Options()->SetSolidColor(clRed);
    src.SetPassSetting(teTwoPasses);
    src.SetEnabled(false);
    src.SetFlickerFreeWhenDisabled(true);
    src.SetDirection(tedUp);
    src.SetReversed(true);
    src.SetAbortOnClick(true);
    src.SetAbortOnEscape(true);
    src.SetDeviceOriginMode(false);
    src.SetRenderSourceAlways(true);
    int calls = 0;
    src.SetOnAfterTransition([&](TObject*) { ++calls; });

    TDiagonalOnly dst(nullptr);
    dst.Assign(&src);
    EXPECT_EQ(dst.Milliseconds(), 777);
    EXPECT_EQ(dst.AbortCheckInterval(), 50);
    EXPECT_TRUE(dst.Pass2Options()->DistributedTime());
    EXPECT_EQ(dst.Pass2Options()->SolidColor(), clRed);
    EXPECT_NE(dst.Pass2Options(), src.Pass2Options());
    EXPECT_EQ(dst.PassSetting(), teTwoPasses);
    EXPECT_FALSE(dst.Enabled());
    EXPECT_TRUE(dst.FlickerFreeWhenDisabled());
    EXPECT_EQ(dst.Direction(), tedDownRight);   // Up is not allowed here
    EXPECT_TRUE(dst.Reversed());
    EXPECT_TRUE(dst.AbortOnClick());
    EXPECT_TRUE(dst.AbortOnEscape());
    EXPECT_FALSE(dst.DeviceOriginMode());
    EXPECT_TRUE(dst.RenderSourceAlways());
    EXPECT_TRUE(dst.OnAfterTransition() == nullptr);

    TStringList notATransition;
    EXPECT_THROW(dst.Assign(&notATransition), EConvertError);
}

// ---- capabilities, class functions, flicker-free cut ---------------------------------------

TEST_F(TransEff, CapabilitiesAndClassFunctions)
{
    TQuestionDevice dev(true, false);
    TBlendTransition blend(nullptr);
    EXPECT_EQ(blend.GetCapabilities(&dev), 0x033F);
    EXPECT_EQ(TransitionDescription(&TBlendTransition::ClassInfo), "Alpha blend");
    EXPECT_EQ(TransitionEditor(&TBlendTransition::ClassInfo), "TTransitionEffectEditor");
    EXPECT_EQ(TransitionDescription(&TStraightTransition::ClassInfo), "TStraightTransition");
    EXPECT_EQ(TransitionDescription(&TBmpMaskTransition2::ClassInfo), "Bitmap mask");   // inherited
    EXPECT_EQ(TransitionEditor(&TBmpMaskTransition2::ClassInfo), "TBmpMaskTransitionEditor2");
    EXPECT_EQ(TransitionEditor(&TBmpMaskTransition::ClassInfo), "TBmpMaskTransitionEditor");
    TStraightTransition s(nullptr);
    EXPECT_EQ(s.GetCapabilities(&dev), 0x020A);
    EXPECT_EQ(s.Version(), "Version 4.1 beta 21");
}

TEST_F(TransEff, FlickerFreeCut)
{
    TQuestionDevice dev(true, false, pf16bit);
    TFlickerFreeTransition cut(nullptr);
    EXPECT_EQ(cut.GetCapabilities(&dev), 0x0102);
    EXPECT_EQ(cut.GetPixelFormat(&dev), pf16bit);
    EXPECT_EQ(cut.Description(), "Flicker free cut");
    cut.SetNoCaptureBehind(true);
    EXPECT_EQ(cut.GetCapabilities(&dev), 0x0100);

    TFlickerFreeTransition copy(nullptr);
    copy.Assign(&cut);
    EXPECT_TRUE(copy.NoCaptureBehind());
    TBlendTransition timed(nullptr);
    timed.SetMilliseconds(5000);
    copy.Assign(&timed);
    int frames = 99;
    TTETransitionData data;
    copy.Initialize(&data, frames);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(copy.GetPassCount(&dev), 1);   // never two passes

    EXPECT_TRUE(GlobalFlickerFree && GlobalFlickerFree->FlickerFreeWhenDisabled());
    EXPECT_EQ(GetPropInfo(&TFlickerFreeTransition::ClassInfo, "Milliseconds"), nullptr);
}

// ---- pass count and the default device -------------------------------------------------------

struct PassCase {
    bool DeviceTwoPasses;
    bool Palette;
    TTEPassSettingType Setting;
    bool EffectTwoPasses;
    int Expected;
};

void PrintTo(const PassCase& c, std::ostream* os)
{
    *os << (c.DeviceTwoPasses ? "two-pass device" : "one-pass device") << (c.Palette ? ", palette" : "")
        << ", setting " << c.Setting << (c.EffectTwoPasses ? "" : ", effect without two passes");
}

class PassCount : public TransEff, public testing::WithParamInterface<PassCase> {};

TEST_P(PassCount, FollowsDeviceEffectAndSetting)
{
    const PassCase& c = GetParam();
    TQuestionDevice dev(c.DeviceTwoPasses, c.Palette);
    std::unique_ptr<TTransitionEffect> t;
    if (c.EffectTwoPasses)
        t = std::make_unique<TBlendTransition>(nullptr);
    else
        t = std::make_unique<TFlickerFreeTransition>(nullptr);
    t->SetPassSetting(c.Setting);
    EXPECT_EQ(t->GetPassCount(&dev), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PassCount,
                         testing::Values(PassCase{true, false, teOnePass, true, 1},
                                         PassCase{true, false, teTwoPasses, true, 2},
                                         PassCase{false, false, teTwoPasses, true, 1},
                                         PassCase{true, false, teTwoPasses, false, 1},
                                         PassCase{true, true, tePaletteDependent, true, 2},
                                         PassCase{true, false, tePaletteDependent, true, 1},
                                         PassCase{true, true, tePaletteDependent, false, 1}));

TEST_F(TransEff, WithoutADefaultDeviceTheRunIsRefusedCleanly)
{
    TBlendTransition t(nullptr);
    EXPECT_THROW(t.GetPassCount(nullptr), ETransitionEffectError);
    EXPECT_THROW(t.Prepare(nullptr, RECT{0, 0, 10, 10}), ETransitionEffectError);
    EXPECT_THROW(t.Execute(), ETransitionEffectError);
    EXPECT_EQ(t.DefaultDevice(), nullptr);
    EXPECT_FALSE(t.IsPrepared());
    t.UnPrepare();   // harmless without a device
}

TEST_F(TransEff, DefaultDeviceIsMadeForTheQuestionOrTheRunAndFreedAgain)
{
    static bool originMode;
    DefaultDeviceHooks.Create = [](TTransitionEffect* t, bool origin) -> TTETransitionDevice* {
        originMode = origin;
        auto* d = new TQuestionDevice(true, true);
        d->SetTransition(t);
        return d;
    };
    DefaultDeviceHooks.Prepare = [](TTETransitionDevice*, TControl*, const RECT&) { return true; };
    DefaultDeviceHooks.IsPrepared = [](TTETransitionDevice*) { return true; };
    TBlendTransition t(nullptr);
    t.SetDeviceOriginMode(false);
    t.SetPassSetting(tePaletteDependent);
    EXPECT_EQ(t.GetPassCount(nullptr), 2);
    EXPECT_EQ(TQuestionDevice::Alive, 0);
    EXPECT_FALSE(originMode);

    int executed = TQuestionDevice::Executed;
    t.Execute();
    EXPECT_EQ(TQuestionDevice::Executed, executed + 1);
    EXPECT_EQ(TQuestionDevice::Alive, 0);

    // A prepared device stays until the transition goes.
    EXPECT_TRUE(t.Prepare(nullptr, RECT{0, 0, 5, 5}));
    EXPECT_TRUE(t.IsPrepared());
    EXPECT_EQ(TQuestionDevice::Alive, 1);
    t.Execute();
    EXPECT_EQ(TQuestionDevice::Alive, 1);
    EXPECT_EQ(t.GetPassCount(nullptr), 2);
    EXPECT_EQ(TQuestionDevice::Alive, 1);
}

// ---- the list component -----------------------------------------------------------------

TEST_F(TransEff, TransitionListKeepsOrderAndLetsGoOfFreedMembers)
{
    TTransitionList list(nullptr);
    auto* a = new TBlendTransition(&list);
    auto* b = new TStraightTransition(&list);
    auto* c = new TFlickerFreeTransition(nullptr);
    a->SetTransitionList(&list);
    b->SetTransitionList(&list);
    c->SetTransitionList(&list);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(b->GetIndex(), 1);
    c->SetIndex(-5);   // clamped to the front
    EXPECT_EQ(list.Transitions(0), c);
    a->SetIndex(99);
    EXPECT_EQ(list.Transitions(2), a);
    EXPECT_EQ(a->GetParentComponent(), &list);

    delete b;
    EXPECT_EQ(list.Count(), 2);
    c->SetTransitionList(nullptr);
    EXPECT_EQ(c->GetIndex(), -1);
    EXPECT_EQ(list.Count(), 1);
    delete c;

    TTransitionList copy(nullptr);
    auto* s = new TStraightTransition(nullptr);
    s->SetDirection(tedDown);
    list.AddTransition(s);
    copy.Assign(&list);
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Transitions(0)->ClassType(), &TBlendTransition::ClassInfo);
    EXPECT_EQ(copy.Transitions(1)->Direction(), tedDown);
    EXPECT_EQ(copy.Transitions(1)->Owner(), &copy);
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
}

WPARAM gRenamed = 0;

LRESULT CALLBACK RenameProbeProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == CM_TRANSITIONRENAMED)
        gRenamed = w;
    return DefWindowProcW(h, m, w, l);
}

TEST_F(TransEff, RenamingTellsTheListsEditorWindow)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &RenameProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZulRenameProbe";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowW(L"ZulRenameProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(wnd);
    TTransitionList list(nullptr);
    list.SetEditorControl(wnd);
    auto* t = new TBlendTransition(&list);
    t->SetTransitionList(&list);
    t->SetName("Fade1");
    EXPECT_EQ(gRenamed, reinterpret_cast<WPARAM>(t));
    DestroyWindow(wnd);
}

// ---- registry ---------------------------------------------------------------------------

TEST_F(TransEff, RegistryKeepsStartUpOrderWithoutTheBaseMask)
{
    ASSERT_TRUE(TransitionClasses);
    std::vector<String> names;
    for (const TTransitionClassInfo* c : *TransitionClasses)
        names.push_back(c->Name);
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(names[0], "TFlickerFreeTransition");
    EXPECT_EQ(names[1], "TBlendTransition");
    EXPECT_EQ(TransitionClasses->IndexOf(&TBmpMaskTransition::ClassInfo), -1);
    EXPECT_GE(TransitionClasses->IndexOf(&TBmpMaskTransition2::ClassInfo), 0);
    // Still creatable by name: it stays registered with the class registry.
    EXPECT_EQ(FindClass("TBmpMaskTransition"), &TBmpMaskTransition::ClassInfo);
    // Registering twice keeps one entry.
    int count = TransitionClasses->Count();
    RegisterTransition(&TBlendTransition::ClassInfo);
    EXPECT_EQ(TransitionClasses->Count(), count);
}

// ---- bitmap-mask properties ---------------------------------------------------------------

TEST_F(TransEff, BitmapMaskSettersRefuseWhatTheyCannotUse)
{
    TBmpMaskTransition t(nullptr);
    t.SetSmoothingLevel(6);
    EXPECT_EQ(t.SmoothingLevel(), 0);
    t.SetSmoothingLevel(5);
    EXPECT_EQ(t.SmoothingLevel(), 5);
    t.SetMaskMode(fcpmCenter);
    EXPECT_EQ(t.MaskMode(), fcpmStretch);
    t.SetMaskMode(fcpmTile);
    EXPECT_EQ(t.MaskMode(), fcpmTile);

    TBitmap rgb;
    rgb.SetPixelFormat(pf24bit);
    rgb.SetSize(4, 4);
    try {
        t.SetMask(&rgb);
        FAIL();
    } catch (const ETransitionEffectError& e) {
        EXPECT_STREQ(e.what(), "Transition mask should have 8 bits per pixel");
    }
    EXPECT_TRUE(t.MaskEmpty());
    TBitmap grey;
    grey.SetPixelFormat(pf8bit);
    grey.SetSize(4, 4);
    t.SetMask(&grey);
    EXPECT_FALSE(t.MaskEmpty());
    EXPECT_NE(t.Mask(), &grey);   // a copy
}

TEST_F(TransEff, BitmapMaskKeys)
{
    TBmpMaskTransition2 t(nullptr);
    TStringList l;
    SaveTransitionToList(&t, &l, true);
    EXPECT_EQ(ListText(l), "Transition=TBmpMaskTransition2");
    t.SetMaskMode(fcpmTile);
    t.SetSmoothingLevel(3);
    t.SetMilliseconds(1500);
    t.SetReversed(true);
    l.Clear();
    SaveTransitionToList(&t, &l, true);
    EXPECT_EQ(ListText(l), "Transition=TBmpMaskTransition2;Milliseconds=1500;MaskMode=Tile;SmoothingLevel=3");

    TBmpMaskTransition2 back(nullptr);
    back.LoadFromStrings(&l);
    EXPECT_EQ(back.MaskMode(), fcpmTile);
    EXPECT_EQ(back.SmoothingLevel(), 3);
    EXPECT_EQ(back.Milliseconds(), 1500);

    TStringList bad;
    bad.Add("MaskMode=tile");
    bad.Add("SmoothingLevel=9");
    back.LoadFromStrings(&bad);
    EXPECT_EQ(back.MaskMode(), fcpmTile);
    EXPECT_EQ(back.SmoothingLevel(), 3);
}

TEST_F(TransEff, BitmapMaskWithoutAPictureRunsAsACut)
{
    TQuestionDevice dev(true, false);
    TBmpMaskTransition2 t(nullptr);
    t.SetMilliseconds(900);
    std::unique_ptr<TTransitionEffect> run(t.GetRunTransition(&dev, false));
    ASSERT_TRUE(run);
    EXPECT_EQ(run->ClassType(), &TFlickerFreeTransition::ClassInfo);
    EXPECT_EQ(run->Milliseconds(), 900);
}

}  // namespace
