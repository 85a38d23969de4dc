#include "engine/TransEff.h"

#include <atomic>
#include <memory>

#include "engine/TransEffDevice.h"

namespace {
const char* const DirectionNames[] = {"tedNone", "tedRight", "tedLeft", "tedDown", "tedUp", "tedDownRight",
                                      "tedDownLeft", "tedUpRight", "tedUpLeft", "tedIn", "tedOut", "tedRandom"};
const char* const PassSettingNames[] = {"teOnePass", "teTwoPasses", "tePaletteDependent"};

// The texts of the "Direction" key.
const char* const DirectionTexts[] = {"", "Right", "Left", "Down", "Up", "Down and right", "Down and left",
                                      "Up and right", "Up and left", "In", "Out", "Random"};

std::atomic<int> LiveTransitions{0};
}  // namespace

const TEnumInfo TTEEffectDirectionInfo{"TTEEffectDirection", DirectionNames};
const TEnumInfo TTEPassSettingTypeInfo{"TTEPassSettingType", PassSettingNames};

TDefaultDeviceHooks DefaultDeviceHooks;
TPointerList<const TTransitionClassInfo>* TransitionClasses = nullptr;
TFlickerFreeTransition* GlobalFlickerFree = nullptr;
bool TransitionsDisabled = false;
TTransitionEffect* TransitionBeingReplaced = nullptr;
TTransitionEffect* ReplacementTransition = nullptr;

// ---- class values ----------------------------------------------------------------------

namespace {
const TPropInfo Pass2OptionsProps[] = {
    published::Boolean<&TTEPass2OptionsType::DistributedTime, &TTEPass2OptionsType::SetDistributedTime>(
        "DistributedTime", false),
    published::Boolean<&TTEPass2OptionsType::Reversed, &TTEPass2OptionsType::SetReversed>("Reversed", false),
    published::Boolean<&TTEPass2OptionsType::UseSolidColor, &TTEPass2OptionsType::SetUseSolidColor>(
        "UseSolidColor", true),
    published::Color<&TTEPass2OptionsType::SolidColor, &TTEPass2OptionsType::SetSolidColor>("SolidColor", clNone),
};

const TPropInfo TransitionEffectProps[] = {
    published::Boolean<&TTransitionEffect::AbortOnClick, &TTransitionEffect::SetAbortOnClick>("AbortOnClick", false),
    published::Boolean<&TTransitionEffect::AbortOnEscape, &TTransitionEffect::SetAbortOnEscape>("AbortOnEscape",
                                                                                                 false),
    published::Boolean<&TTransitionEffect::Enabled, &TTransitionEffect::SetEnabled>("Enabled", true),
    published::Boolean<&TTransitionEffect::FlickerFreeWhenDisabled, &TTransitionEffect::SetFlickerFreeWhenDisabled>(
        "FlickerFreeWhenDisabled", false),
    published::Text<&TTransitionEffect::Version, &TTransitionEffect::SetVersion>("Version", false),
    published::Event("OnAbortQuery"),
    published::Event("OnAfterTransition"),
    published::Event("OnBeforeTransition"),
    published::Event("OnEndTransition"),
    published::Event("OnStartTransition"),
};

const TPropInfo TimedProps[] = {
    published::Integer<&TTransitionEffect::Milliseconds, &TTransitionEffect::SetMilliseconds>("Milliseconds", 0),
};

const TPropInfo TransitionListProps[] = {
    published::Text<&TTransitionList::Version, &TTransitionList::SetVersion>("Version", false),
};

String FlickerFreeDescription() { return TFlickerFreeTransition::Description(); }
String BaseEditor() { return "TTransitionEffectEditor"; }
}  // namespace

const TClassInfo TTEPass2OptionsType::ClassInfo{"TTEPass2OptionsType", &TPersistent::ClassInfo, nullptr,
                                                Pass2OptionsProps};
const TTransitionClassInfo TTransitionEffect::ClassInfo{
    {"TTransitionEffect", &TComponent::ClassInfo, nullptr, TransitionEffectProps}, nullptr, &BaseEditor};
const TTransitionClassInfo TTimedTransitionEffect::ClassInfo{
    {"TTimedTransitionEffect", &TTransitionEffect::ClassInfo, nullptr, TimedProps}, nullptr, nullptr};
const TTransitionClassInfo TFlickerFreeTransition::ClassInfo{
    {"TFlickerFreeTransition", &TTransitionEffect::ClassInfo, &CreateInstance<TFlickerFreeTransition>, {}},
    &FlickerFreeDescription, nullptr};
const TClassInfo TTransitionList::ClassInfo{"TTransitionList", &TComponent::ClassInfo,
                                            &CreateInstance<TTransitionList>, TransitionListProps};

namespace {
// The nearest transition class value at or above Cls that gives the function.
template <class F>
F ClassFunction(TClass cls, F TTransitionClassInfo::*member)
{
    for (; cls; cls = cls->Parent)
        if (ClassInheritsFrom(cls, &TTransitionEffect::ClassInfo)) {
            F f = static_cast<const TTransitionClassInfo*>(cls)->*member;
            if (f)
                return f;
        }
    return nullptr;
}
}  // namespace

String TransitionDescription(TClass cls)
{
    auto f = ClassFunction(cls, &TTransitionClassInfo::Description);
    return f ? f() : String(cls->Name);
}

String TransitionEditor(TClass cls)
{
    auto f = ClassFunction(cls, &TTransitionClassInfo::GetEditor);
    return f ? f() : BaseEditor();
}

// ---- TTEPass2OptionsType ---------------------------------------------------------------

TTEPass2OptionsType::TTEPass2OptionsType() = default;

void TTEPass2OptionsType::Assign(TPersistent* source)
{
    if (auto* s = dynamic_cast<TTEPass2OptionsType*>(source)) {
        FDistributedTime = s->FDistributedTime;
        FReversed = s->FReversed;
        FUseSolidColor = s->FUseSolidColor;
        FSolidColor = s->FSolidColor;
        return;
    }
    TPersistent::Assign(source);
}

// ---- TTransitionEffect -------------------------------------------------------------------

TTransitionEffect::TTransitionEffect(TComponent* owner) : TComponent(owner)
{
    FPass2Options = new TTEPass2OptionsType;
    ++LiveTransitions;
}

TTransitionEffect::~TTransitionEffect()
{
    SetTransitionList(nullptr);
    try {
        UnPrepare();
    } catch (...) {
        // A destructor cannot report; the device goes below either way.
    }
    FreeDefaultDevice();
    delete FPass2Options;
    --LiveTransitions;
}

int LiveTransitionCount()
{
    return LiveTransitions.load();
}

void TTransitionEffect::GetChangeWarning(String& msg)
{
    msg.clear();
}

TTEEffectDirection TTransitionEffect::OppositeDirection() const
{
    switch (FDirection) {
    case tedRight: return tedLeft;
    case tedLeft: return tedRight;
    case tedDown: return tedUp;
    case tedUp: return tedDown;
    case tedDownRight: return tedUpLeft;
    case tedUpLeft: return tedDownRight;
    case tedDownLeft: return tedUpRight;
    case tedUpRight: return tedDownLeft;
    case tedIn: return tedOut;
    case tedOut: return tedIn;
    default: return FDirection;
    }
}

int TTransitionEffect::GetBitmapsWidth(TTETransitionData* data)
{
    return data->Width;
}

TPixelFormat TTransitionEffect::GetPixelFormat(TTETransitionDevice* device)
{
    return device->GetPixelFormat();
}

void TTransitionEffect::Initialize(TTETransitionData*, int&) {}

void TTransitionEffect::Finalize(TTETransitionData* data)
{
    delete data->CustomData;
    data->CustomData = nullptr;
}

TTECapabilities TTransitionEffect::GetCapabilities(TTETransitionDevice*)
{
    return tecBaseCapabilities;
}

void TTransitionEffect::LoadFromStrings(TStrings* list)
{
    String value = list->Values("Direction");
    if (!value.empty())
        SetDirection(StringToDirection(value));
}

void TTransitionEffect::SaveToStrings(TStrings* list, bool onlyNonDefault)
{
    list->SetValues("Transition", ClassName());
    const TPropInfo* prop = GetPropInfo(ClassType(), "Direction");
    if (prop && prop->Kind == TPropKind::Enumeration && (!onlyNonDefault || FDirection != prop->Default))
        list->SetValues("Direction", DirectionToString(FDirection));
}

TTransitionEffect* TTransitionEffect::GetRunTransition(TTETransitionDevice* device, bool copy)
{
    return device->CloneTransition(this, copy);
}

void TTransitionEffect::Assign(TPersistent* source)
{
    auto* s = dynamic_cast<TTransitionEffect*>(source);
    if (!s) {
        TComponent::Assign(source);
        return;
    }
    FMilliseconds = s->FMilliseconds;
    FAbortCheckInterval = s->FAbortCheckInterval;
    FPass2Options->Assign(s->FPass2Options);
    FPassSetting = s->FPassSetting;
    FRenderSourceAlways = s->FRenderSourceAlways;
    FRenderSourceNever = s->FRenderSourceNever;
    SetEnabled(s->FEnabled);
    FFlickerFreeWhenDisabled = s->FFlickerFreeWhenDisabled;
    if (DirectionIn(s->FDirection, FAllowedDirections))
        SetDirection(s->FDirection);
    FReversed = s->FReversed;
    FAbortOnClick = s->FAbortOnClick;
    FAbortOnEscape = s->FAbortOnEscape;
    FDeviceOriginMode = s->FDeviceOriginMode;
}

void TTransitionEffect::SetDirection(TTEEffectDirection value)
{
    if (static_cast<unsigned>(value) <= tedRandom && DirectionIn(value, FAllowedDirections))
        FDirection = value;
}

void TTransitionEffect::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    if (!value)
        UnPrepare();
}

TTEEffectDirection TTransitionEffect::DirectionToUse() const
{
    return FReversed ? OppositeDirection() : FDirection;
}

namespace {

// Runs its action when the scope ends, on every path.
template <class F>
class TOnScopeExit {
public:
    explicit TOnScopeExit(F action) : FAction(action) {}
    ~TOnScopeExit() { FAction(); }
    TOnScopeExit(const TOnScopeExit&) = delete;
    TOnScopeExit& operator=(const TOnScopeExit&) = delete;

private:
    F FAction;
};

}  // namespace

int TTransitionEffect::GetPassCount(TTETransitionDevice* device)
{
    bool made = false;
    if (!device) {
        made = FDefaultDevice == nullptr;
        CreateDefaultDevice();
        device = FDefaultDevice;
    }
    TOnScopeExit freeIfMade([&] { if (made) FreeDefaultDevice(); });   // made for this call only
    if (!device->SupportsTwoPasses() || !(GetCapabilities(device) & tecTwoPasses))
        return 1;
    switch (FPassSetting) {
    case teOnePass: return 1;
    case teTwoPasses: return 2;
    case tePaletteDependent: return device->IsPaletteDevice() ? 2 : 1;
    }
    return 1;
}

void TTransitionEffect::CreateDefaultDevice()
{
    if (FDefaultDevice)
        return;
    if (!DefaultDeviceHooks.Create)
        throw ETransitionEffectError("No screen transition device is available");
    // The hook frees a half-made device before its error passes on.
    FDefaultDevice = DefaultDeviceHooks.Create(this, FDeviceOriginMode);
}

void TTransitionEffect::FreeDefaultDevice()
{
    delete std::exchange(FDefaultDevice, nullptr);
}

bool TTransitionEffect::Prepare(TControl* control, const RECT& rect)
{
    CreateDefaultDevice();
    return DefaultDeviceHooks.Prepare ? DefaultDeviceHooks.Prepare(FDefaultDevice, control, rect) : false;
}

void TTransitionEffect::Execute()
{
    bool made = FDefaultDevice == nullptr;
    CreateDefaultDevice();
    TOnScopeExit freeIfMade([&] { if (made) FreeDefaultDevice(); });   // made for this call only
    FDefaultDevice->Execute(true);
}

void TTransitionEffect::UnPrepare()
{
    if (FDefaultDevice && DefaultDeviceHooks.UnPrepare)
        DefaultDeviceHooks.UnPrepare(FDefaultDevice);
}

bool TTransitionEffect::IsPrepared() const
{
    return FDefaultDevice && DefaultDeviceHooks.IsPrepared && DefaultDeviceHooks.IsPrepared(FDefaultDevice);
}

void TTransitionEffect::CapturePass2Image(TControl* control)
{
    if (FDefaultDevice && DefaultDeviceHooks.CapturePass2Image)
        DefaultDeviceHooks.CapturePass2Image(FDefaultDevice, control);
}

int TTransitionEffect::GetIndex() const
{
    return FTransitionList ? FTransitionList->FTransitions.IndexOf(this) : -1;
}

void TTransitionEffect::SetIndex(int index)
{
    if (!FTransitionList)
        return;
    int count = FTransitionList->Count();
    index = std::clamp(index, 0, count - 1);
    int current = GetIndex();
    if (current >= 0 && current != index)
        FTransitionList->FTransitions.Move(current, index);
}

void TTransitionEffect::SetTransitionList(TTransitionList* list)
{
    if (FTransitionList == list)
        return;
    if (FTransitionList)
        FTransitionList->RemoveTransition(this);
    if (list)
        list->AddTransition(this);
}

TComponent* TTransitionEffect::GetParentComponent() const
{
    return FTransitionList ? FTransitionList : TComponent::GetParentComponent();
}

bool TTransitionEffect::HasParent() const
{
    return true;
}

void TTransitionEffect::SetParentComponent(TComponent* value)
{
    if (ComponentState() & csLoading)
        return;
    if (auto* list = dynamic_cast<TTransitionList*>(value))
        SetTransitionList(list);
}

void TTransitionEffect::Loaded()
{
    TComponent::Loaded();
}

void TTransitionEffect::SetName(const String& name)
{
    bool changed = name != Name();
    TComponent::SetName(name);
    if (changed && FTransitionList && FTransitionList->FEditorControl)
        SendMessageW(FTransitionList->FEditorControl, CM_TRANSITIONRENAMED, reinterpret_cast<WPARAM>(this), 0);
}

String BooleanText(bool value)
{
    return value ? "True" : "False";
}

bool TextToBoolean(const String& text)
{
    return SameText(text, "True");
}

// ---- TTimedTransitionEffect --------------------------------------------------------------

void TTimedTransitionEffect::LoadFromStrings(TStrings* list)
{
    TTransitionEffect::LoadFromStrings(list);
    String value = list->Values("Milliseconds");
    if (!value.empty())
        FMilliseconds = StrToInt(value);
}

void TTimedTransitionEffect::SaveToStrings(TStrings* list, bool onlyNonDefault)
{
    TTransitionEffect::SaveToStrings(list, onlyNonDefault);
    if (!onlyNonDefault || FMilliseconds != 0)
        list->SetValues("Milliseconds", IntToStr(FMilliseconds));
}

// ---- TFlickerFreeTransition ----------------------------------------------------------------

TFlickerFreeTransition::TFlickerFreeTransition(TComponent* owner) : TTransitionEffect(owner) {}

TPixelFormat TFlickerFreeTransition::GetPixelFormat(TTETransitionDevice* device)
{
    return device->GetPixelFormat();
}

void TFlickerFreeTransition::Initialize(TTETransitionData*, int& frames)
{
    frames = 1;
}

void TFlickerFreeTransition::ExecuteFrame(TTETransitionData*, int, int, int) {}

TTECapabilities TFlickerFreeTransition::GetCapabilities(TTETransitionDevice* device)
{
    TTECapabilities caps = (TTransitionEffect::GetCapabilities(device) | tecThreadSafe) &
                           ~(tecTwoPasses | tecPixelLocal | tecNeedsSrc);
    if (FNoCaptureBehind)
        caps &= ~tecCaptureBehind;
    return caps;
}

void TFlickerFreeTransition::Assign(TPersistent* source)
{
    TTransitionEffect::Assign(source);
    if (auto* s = dynamic_cast<TFlickerFreeTransition*>(source))
        FNoCaptureBehind = s->FNoCaptureBehind;
}

// ---- TTransitionList ---------------------------------------------------------------------

TTransitionList::TTransitionList(TComponent* owner) : TComponent(owner) {}

TTransitionList::~TTransitionList()
{
    Clear();
}

void TTransitionList::AddTransition(TTransitionEffect* t)
{
    FTransitions.Add(t);
    t->FTransitionList = this;
}

void TTransitionList::RemoveTransition(TTransitionEffect* t)
{
    if (FTransitions.Remove(t) >= 0)
        t->FTransitionList = nullptr;
}

void TTransitionList::Clear()
{
    // Each transition leaves the list as it goes.
    while (FTransitions.Count() > 0)
        delete FTransitions[FTransitions.Count() - 1];
}

void TTransitionList::Assign(TPersistent* source)
{
    auto* s = dynamic_cast<TTransitionList*>(source);
    if (!s) {
        TComponent::Assign(source);
        return;
    }
    if (s == this)
        return;
    Clear();
    for (int i = 0; i < s->Count(); ++i) {
        TTransitionEffect* src = s->Transitions(i);
        std::unique_ptr<TTransitionEffect> t(CreateTransition(src->ClassType(), this));
        t->Assign(src);
        AddTransition(t.release());
    }
}

void TTransitionList::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == opRemove)
        if (auto* t = dynamic_cast<TTransitionEffect*>(component))
            RemoveTransition(t);
}

// ---- registry and routines ----------------------------------------------------------------

void RegisterTransition(TTransitionEffectClass transitionClass)
{
    if (!TransitionClasses)
        TransitionClasses = new TPointerList<const TTransitionClassInfo>;
    if (TransitionClasses->IndexOf(transitionClass) < 0)
        TransitionClasses->Add(transitionClass);
    StartClassGroup(&TControlClassInfo);
    ActivateClassGroup(&TControlClassInfo);
    GroupDescendentsWith(transitionClass, &TControlClassInfo);
    RegisterClass(transitionClass);
}

void UnRegisterTransition(TTransitionEffectClass transitionClass)
{
    if (TransitionClasses)
        TransitionClasses->Remove(transitionClass);
    UnRegisterClass(transitionClass);
}

TTransitionEffect* CreateTransition(TClass cls, TComponent* owner)
{
    if (!cls || !cls->Create || !ClassInheritsFrom(cls, &TTransitionEffect::ClassInfo))
        throw ETransitionEffectError(Format("Unknow transition \"%s\"", {cls ? cls->Name : ""}));
    return static_cast<TTransitionEffect*>(cls->Create(owner));
}

TTransitionEffect* CreateTransitionFromList(TStringList* list)
{
    String name = list->Values("Transition");
    TClass previous = ActivateClassGroup(&TControlClassInfo);
    TClass cls = nullptr;
    try {
        cls = GetClass(name);
    } catch (...) {
        ActivateClassGroup(previous);
        throw;
    }
    ActivateClassGroup(previous);
    if (!cls || !cls->Create || !ClassInheritsFrom(cls, &TTransitionEffect::ClassInfo))
        throw ETransitionEffectError(Format("Unknow transition \"%s\"", {name}));
    std::unique_ptr<TTransitionEffect> t(CreateTransition(cls, nullptr));
    t->LoadFromStrings(list);
    return t.release();
}

void SaveTransitionToList(TTransitionEffect* t, TStrings* list, bool onlyNonDefault)
{
    if (t)
        t->SaveToStrings(list, onlyNonDefault);
}

String DirectionToString(TTEEffectDirection d)
{
    if (static_cast<unsigned>(d) > tedRandom)
        return String();
    return DirectionTexts[d];
}

TTEEffectDirection StringToDirection(const String& s)
{
    for (int d = tedNone; d <= tedRandom; ++d)
        if (s == DirectionTexts[d])
            return static_cast<TTEEffectDirection>(d);
    return tedNone;
}

// ---- start-up ------------------------------------------------------------------------------

void InitializeTransEff()
{
    TransitionsDisabled = false;
    RegisterTransition(&TFlickerFreeTransition::ClassInfo);
    GlobalFlickerFree = new TFlickerFreeTransition(nullptr);
    GlobalFlickerFree->SetFlickerFreeWhenDisabled(true);
    Randomize();
}

void FinalizeTransEff()
{
    delete std::exchange(GlobalFlickerFree, nullptr);
    delete std::exchange(TransitionClasses, nullptr);
    ResetClassRegistry();
}
