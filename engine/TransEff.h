#pragma once
// The transition model: the base class of every transition with its published
// properties and Name=Value persistence, the options of a second pass, the list
// component, the registry of transition classes, directions, and the flicker-free cut.

#include <windows.h>

#include <cstdint>

#include "platform/Classes.h"
#include "platform/Graphics.h"

class TTETransitionDevice;
class TTETransitionData;
class TTransitionEffect;
class TTransitionList;
class TControl;

ZUL_EXCEPTION_CLASS(ETransitionEffectError, Exception);

// ---- enumerations and capability bits ------------------------------------------------

enum TTEEffectDirection {
    tedNone, tedRight, tedLeft, tedDown, tedUp, tedDownRight, tedDownLeft, tedUpRight, tedUpLeft,
    tedIn, tedOut, tedRandom
};
// A set of directions: bit d stands for direction d.
using TTEEffectDirections = uint32_t;
constexpr TTEEffectDirections DirectionBit(TTEEffectDirection d) { return 1u << d; }
constexpr bool DirectionIn(TTEEffectDirection d, TTEEffectDirections set) { return (set & DirectionBit(d)) != 0; }

enum TTEPassSettingType { teOnePass, teTwoPasses, tePaletteDependent };

extern const TEnumInfo TTEEffectDirectionInfo;
extern const TEnumInfo TTEPassSettingTypeInfo;

using TTECapabilities = uint16_t;
constexpr TTECapabilities tecFrameSkip = 0x0001;
constexpr TTECapabilities tecCaptureBehind = 0x0002;
constexpr TTECapabilities tecAlwaysWorkBitmap = 0x0004;
constexpr TTECapabilities tecNeedsSrc = 0x0008;
constexpr TTECapabilities tecWorkBitmap = 0x0010;
constexpr TTECapabilities tecPixelLocal = 0x0020;
constexpr TTECapabilities tecDirtyRects = 0x0040;
constexpr TTECapabilities tecDrawInSrc = 0x0080;
constexpr TTECapabilities tecThreadSafe = 0x0100;
constexpr TTECapabilities tecTwoPasses = 0x0200;
constexpr TTECapabilities tecBaseCapabilities = tecCaptureBehind | tecNeedsSrc | tecTwoPasses;

// Sent to a list's editor window when one of its transitions is renamed
// (wParam: the transition, lParam: 0).
constexpr UINT CM_TRANSITIONRENAMED = 0xB215;

// (Sender: the device, Transition: the transition being run, Abort: set to stop.)
using TTEAbortQueryEvent = TEvent<void(TObject* sender, TTransitionEffect* transition, bool& abort)>;

// ---- class values of transitions ---------------------------------------------------

// A transition class value with its class functions; a null entry inherits the parent's.
struct TTransitionClassInfo : TClassInfo {
    String (*Description)();   // display name; the class name when nobody gives one
    String (*GetEditor)();     // class name of the property form
};
using TTransitionEffectClass = const TTransitionClassInfo*;

// The class functions, answered by the class or its nearest ancestor that gives one.
String TransitionDescription(TClass cls);
String TransitionEditor(TClass cls);

// ---- options of the second pass ----------------------------------------------------------

class TTEPass2OptionsType : public TPersistent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    TTEPass2OptionsType();
    void Assign(TPersistent* source) override;

    bool DistributedTime() const { return FDistributedTime; }
    void SetDistributedTime(bool v) { FDistributedTime = v; }
    bool Reversed() const { return FReversed; }
    void SetReversed(bool v) { FReversed = v; }
    bool UseSolidColor() const { return FUseSolidColor; }
    void SetUseSolidColor(bool v) { FUseSolidColor = v; }
    TColor SolidColor() const { return FSolidColor; }
    void SetSolidColor(TColor v) { FSolidColor = v; }

private:
    bool FDistributedTime = false;
    bool FReversed = false;
    bool FUseSolidColor = true;
    TColor FSolidColor = clNone;
};

// ---- the default device ------------------------------------------------------------

// The transition's own screen device is made through these hooks, which the screen
// device's unit sets at start-up. Without them Prepare, Execute and GetPassCount(nullptr)
// raise ETransitionEffectError.
struct TDefaultDeviceHooks {
    // A new device for Transition (set with SetTransition), with the origin mode handed over.
    TTETransitionDevice* (*Create)(TTransitionEffect* transition, bool deviceOriginMode) = nullptr;
    bool (*Prepare)(TTETransitionDevice* device, TControl* control, const RECT& rect) = nullptr;
    void (*UnPrepare)(TTETransitionDevice* device) = nullptr;
    bool (*IsPrepared)(TTETransitionDevice* device) = nullptr;
    void (*CapturePass2Image)(TTETransitionDevice* device, TControl* control) = nullptr;
};
extern TDefaultDeviceHooks DefaultDeviceHooks;

// ---- the transition base class -------------------------------------------------------

class TTransitionEffect : public TComponent {
    ZUL_CLASS_INFO(TTransitionClassInfo)
    friend class TTETransitionDevice;
    friend class TTransitionList;

public:
    explicit TTransitionEffect(TComponent* owner);
    ~TTransitionEffect() override;

    // Virtual operations, in slot order.
    virtual void GetChangeWarning(String& msg);
    virtual TTEEffectDirection OppositeDirection() const;
    virtual int GetBitmapsWidth(TTETransitionData* data);
    virtual TPixelFormat GetPixelFormat(TTETransitionDevice* device);
    virtual void Initialize(TTETransitionData* data, int& frames);
    virtual void Finalize(TTETransitionData* data);
    virtual void ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame) = 0;
    virtual TTECapabilities GetCapabilities(TTETransitionDevice* device);
    virtual void LoadFromStrings(TStrings* list);
    virtual void SaveToStrings(TStrings* list, bool onlyNonDefault);
    virtual TTransitionEffect* GetRunTransition(TTETransitionDevice* device, bool copy);

    // Class functions through the object's class.
    String Description() const { return TransitionDescription(ClassType()); }
    String GetEditor() const { return TransitionEditor(ClassType()); }

    void Assign(TPersistent* source) override;

    TTEEffectDirection Direction() const { return FDirection; }
    void SetDirection(TTEEffectDirection value);
    bool Reversed() const { return FReversed; }
    void SetReversed(bool v) { FReversed = v; }
    TTEEffectDirection DirectionToUse() const;
    TTEEffectDirections AllowedDirections() const { return FAllowedDirections; }

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    bool AbortOnClick() const { return FAbortOnClick; }
    void SetAbortOnClick(bool v) { FAbortOnClick = v; }
    bool AbortOnEscape() const { return FAbortOnEscape; }
    void SetAbortOnEscape(bool v) { FAbortOnEscape = v; }
    bool FlickerFreeWhenDisabled() const { return FFlickerFreeWhenDisabled; }
    void SetFlickerFreeWhenDisabled(bool v) { FFlickerFreeWhenDisabled = v; }
    int AbortCheckInterval() const { return FAbortCheckInterval; }
    void SetAbortCheckInterval(int v) { FAbortCheckInterval = v; }
    int Milliseconds() const { return FMilliseconds; }
    void SetMilliseconds(int v) { FMilliseconds = v; }
    TTEPass2OptionsType* Pass2Options() const { return FPass2Options; }
    void SetPass2Options(TTEPass2OptionsType* v) { FPass2Options->Assign(v); }
    TTEPassSettingType PassSetting() const { return FPassSetting; }
    void SetPassSetting(TTEPassSettingType v) { FPassSetting = v; }
    TTransitionEffect* ClientTransition() const { return FClientTransition; }
    void SetClientTransition(TTransitionEffect* t) { FClientTransition = t; }
    bool DeviceOriginMode() const { return FDeviceOriginMode; }
    void SetDeviceOriginMode(bool v) { FDeviceOriginMode = v; }
    bool RenderSourceAlways() const { return FRenderSourceAlways; }
    void SetRenderSourceAlways(bool v) { FRenderSourceAlways = v; }
    bool RenderSourceNever() const { return FRenderSourceNever; }
    void SetRenderSourceNever(bool v) { FRenderSourceNever = v; }
    String Version() const { return "Version 4.1 beta 21"; }
    void SetVersion(const String&) {}

    TTEAbortQueryEvent OnAbortQuery() const { return FOnAbortQuery; }
    void SetOnAbortQuery(const TTEAbortQueryEvent& e) { FOnAbortQuery = e; }
    TNotifyEvent OnAfterTransition() const { return FOnAfterTransition; }
    void SetOnAfterTransition(const TNotifyEvent& e) { FOnAfterTransition = e; }
    TNotifyEvent OnBeforeTransition() const { return FOnBeforeTransition; }
    void SetOnBeforeTransition(const TNotifyEvent& e) { FOnBeforeTransition = e; }
    TNotifyEvent OnStartTransition() const { return FOnStartTransition; }
    void SetOnStartTransition(const TNotifyEvent& e) { FOnStartTransition = e; }
    TNotifyEvent OnEndTransition() const { return FOnEndTransition; }
    void SetOnEndTransition(const TNotifyEvent& e) { FOnEndTransition = e; }

    // 1 or 2; a null device asks the default device (made for the question).
    int GetPassCount(TTETransitionDevice* device);

    // Running over a window on the transition's own default screen device.
    bool Prepare(TControl* control, const RECT& rect);
    void Execute();
    void UnPrepare();
    bool IsPrepared() const;
    void CapturePass2Image(TControl* control);
    TTETransitionDevice* DefaultDevice() const { return FDefaultDevice; }

    int GetIndex() const;
    void SetIndex(int index);
    TTransitionList* TransitionList() const { return FTransitionList; }
    void SetTransitionList(TTransitionList* list);

    TComponent* GetParentComponent() const override;
    bool HasParent() const override;
    void SetParentComponent(TComponent* value) override;
    void SetName(const String& name) override;

protected:
    void CreateDefaultDevice();
    void FreeDefaultDevice();
    void Loaded() override;

    TTEEffectDirection FDirection = tedNone;
    bool FReversed = false;
    TTransitionList* FTransitionList = nullptr;
    bool FAbortOnClick = false;
    bool FAbortOnEscape = false;
    bool FEnabled = true;
    bool FFlickerFreeWhenDisabled = false;
    int FAbortCheckInterval = 300;
    int FMilliseconds = 0;
    TTEPass2OptionsType* FPass2Options = nullptr;
    TTEPassSettingType FPassSetting = teOnePass;
    TTransitionEffect* FClientTransition = nullptr;
    TTEAbortQueryEvent FOnAbortQuery;
    TNotifyEvent FOnAfterTransition;
    TNotifyEvent FOnBeforeTransition;
    TNotifyEvent FOnStartTransition;
    TNotifyEvent FOnEndTransition;
    bool FDeviceOriginMode = true;
    TTETransitionDevice* FDefaultDevice = nullptr;
    TTEEffectDirections FAllowedDirections = DirectionBit(tedNone);
    bool FRenderSourceAlways = false;
    bool FRenderSourceNever = false;
};

// The Boolean text of every key: "True" or "False".
String BooleanText(bool value);
// A Boolean key reads True when its text is "True" in any letter case.
bool TextToBoolean(const String& text);

// Number of transition objects alive in the process (for leak checks).
int LiveTransitionCount();

// ---- published-property table entries shared by descendants ----------------------------

// Entries that descendants publish as they need them (each class keeps its own table).
namespace transitionprops {
constexpr TPropInfo Direction(int def)
{
    return published::Enumeration<&TTransitionEffect::Direction, &TTransitionEffect::SetDirection>(
        "Direction", TTEEffectDirectionInfo, def);
}
constexpr TPropInfo Reversed()
{
    return published::Boolean<&TTransitionEffect::Reversed, &TTransitionEffect::SetReversed>("Reversed", false);
}
constexpr TPropInfo PassSetting()
{
    return published::Enumeration<&TTransitionEffect::PassSetting, &TTransitionEffect::SetPassSetting>(
        "PassSetting", TTEPassSettingTypeInfo, teOnePass);
}
constexpr TPropInfo Pass2Options()
{
    return published::Object<&TTransitionEffect::Pass2Options>("Pass2Options");
}
}  // namespace transitionprops

// ---- timed transitions -------------------------------------------------------------

// Base of every effect with a duration: publishes Milliseconds and keeps it in lists.
class TTimedTransitionEffect : public TTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    using TTransitionEffect::TTransitionEffect;
    void LoadFromStrings(TStrings* list) override;
    void SaveToStrings(TStrings* list, bool onlyNonDefault) override;
};

// ---- the flicker-free cut ------------------------------------------------------------

class TFlickerFreeTransition : public TTransitionEffect {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    explicit TFlickerFreeTransition(TComponent* owner);
    static String Description() { return "Flicker free cut"; }

    TPixelFormat GetPixelFormat(TTETransitionDevice* device) override;
    void Initialize(TTETransitionData* data, int& frames) override;
    void ExecuteFrame(TTETransitionData* data, int currentFrame, int step, int prevFrame) override;
    TTECapabilities GetCapabilities(TTETransitionDevice* device) override;
    void Assign(TPersistent* source) override;

    bool NoCaptureBehind() const { return FNoCaptureBehind; }
    void SetNoCaptureBehind(bool v) { FNoCaptureBehind = v; }

protected:
    bool FNoCaptureBehind = false;
};

// ---- the list component ------------------------------------------------------------

class TTransitionList : public TComponent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    explicit TTransitionList(TComponent* owner);
    ~TTransitionList() override;

    void AddTransition(TTransitionEffect* t);
    void RemoveTransition(TTransitionEffect* t);
    int Count() const { return FTransitions.Count(); }
    TTransitionEffect* Transitions(int index) const { return FTransitions[index]; }
    void Clear();
    void Assign(TPersistent* source) override;

    // The window told when a transition of the list is renamed (none by default).
    HWND EditorControl() const { return FEditorControl; }
    void SetEditorControl(HWND wnd) { FEditorControl = wnd; }
    String Version() const { return "Version 4.1 beta 21"; }
    void SetVersion(const String&) {}

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TTransitionEffect;
    TPointerList<TTransitionEffect> FTransitions;
    HWND FEditorControl = nullptr;
};

// ---- registry and routines ------------------------------------------------------------

// The registered transition classes, in registration order (null before the first).
extern TPointerList<const TTransitionClassInfo>* TransitionClasses;
void RegisterTransition(TTransitionEffectClass transitionClass);
void UnRegisterTransition(TTransitionEffectClass transitionClass);

// Makes the class named by the list's "Transition" key (no owner) and lets it read its
// keys. An unknown name raises ETransitionEffectError.
TTransitionEffect* CreateTransitionFromList(TStringList* list);
void SaveTransitionToList(TTransitionEffect* t, TStrings* list, bool onlyNonDefault);
// A new object of Cls with the given owner.
TTransitionEffect* CreateTransition(TClass cls, TComponent* owner);

String DirectionToString(TTEEffectDirection d);
TTEEffectDirection StringToDirection(const String& s);

// Process-wide state.
extern TFlickerFreeTransition* GlobalFlickerFree;
extern bool TransitionsDisabled;
extern TTransitionEffect* TransitionBeingReplaced;
extern TTransitionEffect* ReplacementTransition;

void InitializeTransEff();
void FinalizeTransEff();
