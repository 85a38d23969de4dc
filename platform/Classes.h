#pragma once
// The component model of the class library stand-in: class values, published-property
// tables, the class registry with its groups, persistent objects and components,
// pointer and string lists, streams, the binary property reader, events and the
// process-wide pseudo-random generator.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/SysUtils.h"

class TObject;
class TPersistent;
class TComponent;
struct TClassInfo;
struct TPropInfo;
using TClass = const TClassInfo*;

ZUL_EXCEPTION_CLASS(EWriteError, EStreamError);   // "Stream write error"
ZUL_EXCEPTION_CLASS(EComponentError, Exception);

// ---- class values ---------------------------------------------------------------

// A class value: its name, its parent, its virtual constructor with owner (null for
// classes that are not made by name) and its own published properties in order.
struct TClassInfo {
    const char* Name;
    TClass Parent;
    TComponent* (*Create)(TComponent* owner);
    std::span<const TPropInfo> Published;
};

bool ClassInheritsFrom(TClass cls, TClass ancestor);

template <class T>
TComponent* CreateInstance(TComponent* owner)
{
    return new T(owner);
}

// Declares the class value of a class and answers it from ClassType().
#define ZUL_CLASS_INFO(InfoType)                                  \
public:                                                           \
    static const InfoType ClassInfo;                              \
    TClass ClassType() const override { return &ClassInfo; }

class TObject {
public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    static const TClassInfo ClassInfo;
    virtual TClass ClassType() const { return &ClassInfo; }
    String ClassName() const { return ClassType()->Name; }
    bool InheritsFrom(TClass ancestor) const { return ClassInheritsFrom(ClassType(), ancestor); }
};

// ---- published properties --------------------------------------------------------

enum class TPropKind { Integer, Enumeration, Boolean, String, Color, Set, Class, Event };

// The names of an enumeration's values, in order (also the elements of a set of it).
struct TEnumInfo {
    const char* TypeName;
    std::span<const char* const> Names;
    int IndexOf(std::string_view name) const;   // exact, -1 when absent
};

struct TPropInfo {
    const char* Name;
    TPropKind Kind;
    const TEnumInfo* Enum = nullptr;     // enumeration and set
    int64_t Default = 0;                 // ordinal kinds
    bool HasDefault = true;              // false: always stored
    bool Stored = true;
    int64_t (*GetOrd)(const TObject*) = nullptr;
    void (*SetOrd)(TObject*, int64_t) = nullptr;
    String (*GetStr)(const TObject*) = nullptr;
    void (*SetStr)(TObject*, const String&) = nullptr;
    TPersistent* (*GetObject)(const TObject*) = nullptr;

    bool IsOrdinal() const { return GetOrd != nullptr; }
    bool IsDefault(const TObject* obj) const { return HasDefault && GetOrd && GetOrd(obj) == Default; }
};

namespace propdetail {
template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
    using Class = C;
    using Type = T;
};
template <class F>
struct ArgOf;
template <class R, class A>
struct ArgOf<R(A)> { using Type = std::decay_t<A>; };
template <class R, class A>
struct ArgOf<R(A) noexcept> { using Type = std::decay_t<A>; };

// Get: a data member or a const member function without arguments.
template <auto Get>
auto Read(const TObject* o)
{
    using C = typename MemberOf<decltype(Get)>::Class;
    const C* obj = static_cast<const C*>(o);
    if constexpr (std::is_member_object_pointer_v<decltype(Get)>)
        return obj->*Get;
    else
        return (obj->*Get)();
}

// Set: a data member, a member function with one argument, or nullptr (writes ignored).
template <auto Set, class V>
void Write(TObject* o, const V& v)
{
    if constexpr (!std::is_same_v<decltype(Set), std::nullptr_t>) {
        using C = typename MemberOf<decltype(Set)>::Class;
        C* obj = static_cast<C*>(o);
        if constexpr (std::is_member_object_pointer_v<decltype(Set)>) {
            using T = typename MemberOf<decltype(Set)>::Type;
            obj->*Set = static_cast<T>(v);
        } else {
            using A = typename ArgOf<typename MemberOf<decltype(Set)>::Type>::Type;
            (obj->*Set)(static_cast<A>(v));
        }
    }
}

template <auto Get>
int64_t GetOrd(const TObject* o)
{
    return static_cast<int64_t>(Read<Get>(o));
}
template <auto Set>
void SetOrd(TObject* o, int64_t v)
{
    Write<Set>(o, v);
}
template <auto Get>
String GetStr(const TObject* o)
{
    return Read<Get>(o);
}
template <auto Set>
void SetStr(TObject* o, const String& v)
{
    Write<Set>(o, v);
}
template <auto Get>
TPersistent* GetObj(const TObject* o)
{
    return Read<Get>(o);
}
}  // namespace propdetail

// Entries of a class's published-property table. Get and Set name a field or an
// accessor; a Set of nullptr makes writes do nothing.
namespace published {
template <auto G, auto S>
constexpr TPropInfo Integer(const char* name, int64_t def, bool hasDefault = true, bool stored = true)
{
    return {name, TPropKind::Integer, nullptr, def, hasDefault, stored,
            &propdetail::GetOrd<G>, &propdetail::SetOrd<S>};
}
template <auto G, auto S>
constexpr TPropInfo Boolean(const char* name, bool def)
{
    return {name, TPropKind::Boolean, nullptr, def ? 1 : 0, true, true,
            &propdetail::GetOrd<G>, &propdetail::SetOrd<S>};
}
template <auto G, auto S>
constexpr TPropInfo Enumeration(const char* name, const TEnumInfo& info, int def)
{
    return {name, TPropKind::Enumeration, &info, def, true, true,
            &propdetail::GetOrd<G>, &propdetail::SetOrd<S>};
}
template <auto G, auto S>
constexpr TPropInfo Color(const char* name, int32_t def)
{
    return {name, TPropKind::Color, nullptr, def, true, true,
            &propdetail::GetOrd<G>, &propdetail::SetOrd<S>};
}
// A set of an enumeration: bit i stands for the value i.
template <auto G, auto S>
constexpr TPropInfo Set(const char* name, const TEnumInfo& info, int64_t def)
{
    return {name, TPropKind::Set, &info, def, true, true,
            &propdetail::GetOrd<G>, &propdetail::SetOrd<S>};
}
template <auto G, auto S>
constexpr TPropInfo Text(const char* name, bool stored = true)
{
    return {name, TPropKind::String, nullptr, 0, false, stored, nullptr, nullptr,
            &propdetail::GetStr<G>, &propdetail::SetStr<S>};
}
// A nested persistent object, reached by dotted paths ("Pass2Options.Reversed").
template <auto G>
constexpr TPropInfo Object(const char* name, bool stored = true)
{
    return {name, TPropKind::Class, nullptr, 0, false, stored, nullptr, nullptr, nullptr, nullptr,
            &propdetail::GetObj<G>};
}
constexpr TPropInfo Event(const char* name)
{
    return {name, TPropKind::Event, nullptr, 0, false, false};
}
}  // namespace published

// The property named Name (letter case ignored) of a class or its ancestors; the
// nearest declaration wins. Null when the class does not publish it.
const TPropInfo* GetPropInfo(TClass cls, std::string_view name);
// Every published property, ancestors first; a redeclared property keeps its
// ancestor's place and takes the descendant's entry.
std::vector<const TPropInfo*> GetPropList(TClass cls);

// Colour identifiers ("clNone", "clRed", "clBtnFace"...).
bool IdentToColor(std::string_view ident, int32_t& color);
String ColorToIdentOrText(int32_t color);

// ---- class registry ---------------------------------------------------------------

// The class value of TControl, so that class groups can be formed before the control
// unit exists; the control class answers this value.
extern const TClassInfo TControlClassInfo;

void RegisterClass(TClass cls);
void UnRegisterClass(TClass cls);
TClass GetClass(std::string_view name);   // null when no active group knows it
TClass FindClass(std::string_view name);  // raises EClassNotFound "Class %s not found"
void StartClassGroup(TClass groupClass);
// Makes the group of GroupClass the active one; answers the previously active class.
TClass ActivateClassGroup(TClass groupClass);
TClass ActiveClassGroup();
void GroupDescendentsWith(TClass cls, TClass groupClass);
// Forgets every registration (shut-down).
void ResetClassRegistry();

// ---- events -----------------------------------------------------------------------

// A small callable value: copyable, empty by default, called with the sender first.
// Two events made from the same object and method compare equal.
template <class Sig>
class TEvent;

template <class... Args>
class TEvent<void(Args...)> {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}
    template <class F, class = std::enable_if_t<std::is_invocable_v<F&, Args...> &&
                                                !std::is_same_v<std::decay_t<F>, TEvent>>>
    TEvent(F f) : FFunc(std::move(f))
    {
    }
    // Binds a method of an object (the object is not owned).
    template <auto Method, class C>
    static TEvent Bind(C* obj)
    {
        TEvent e;
        e.FFunc = [obj](Args... a) { (obj->*Method)(std::forward<Args>(a)...); };
        e.FData = obj;
        e.FCode = &BindTag<Method>;
        return e;
    }

    explicit operator bool() const { return static_cast<bool>(FFunc); }
    bool operator==(std::nullptr_t) const { return !FFunc; }
    bool operator==(const TEvent& o) const
    {
        if (!FFunc || !o.FFunc)
            return !FFunc && !o.FFunc;
        return FCode && FData == o.FData && FCode == o.FCode;
    }
    void operator()(Args... a) const
    {
        if (FFunc)
            FFunc(std::forward<Args>(a)...);
    }
    void* Data() const { return FData; }

private:
    // One distinct address per method (variables are never folded together).
    template <auto Method>
    static inline const char BindTag = 0;
    std::function<void(Args...)> FFunc;
    void* FData = nullptr;
    const void* FCode = nullptr;
};

using TNotifyEvent = TEvent<void(TObject* sender)>;

// ---- persistent objects and components ----------------------------------------------

class TPersistent : public TObject {
    ZUL_CLASS_INFO(TClassInfo)
public:
    // Copies Source into this object; an unsuitable source raises EConvertError
    // "Cannot assign a %s to a %s".
    virtual void Assign(TPersistent* source);

protected:
    virtual void AssignTo(TPersistent* dest);
    [[noreturn]] void AssignError(TPersistent* source);
};

enum TOperation { opInsert, opRemove };
enum TComponentStateFlag : unsigned { csLoading = 1, csReading = 2, csDestroying = 8, csDesigning = 16 };

class TComponent : public TPersistent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return FOwner; }
    const String& Name() const { return FName; }
    virtual void SetName(const String& name);
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;
    TComponent* FindComponent(std::string_view name) const;
    unsigned ComponentState() const { return FComponentState; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);
    // Asks Component to tell this one when it goes (and the other way round).
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual bool HasParent() const { return false; }
    virtual void SetParentComponent(TComponent* value) {}

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    virtual void Loaded();
    void SetComponentState(unsigned flags, bool on);

private:
    void Insert(TComponent* c);
    void Remove(TComponent* c);
    TComponent* FOwner = nullptr;
    String FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    unsigned FComponentState = 0;
};

// ---- lists ------------------------------------------------------------------------

ZUL_EXCEPTION_CLASS(EStringListError, EListError);

// A list of pointers (not owned). Bad indexes raise EListError "List index out of bounds (%d)".
template <class T = void>
class TPointerList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    T* Items(int i) const
    {
        Check(i);
        return FItems[i];
    }
    T* operator[](int i) const { return Items(i); }
    int Add(T* p)
    {
        FItems.push_back(p);
        return Count() - 1;
    }
    void Insert(int i, T* p)
    {
        if (i < 0 || i > Count())
            Error(i);
        FItems.insert(FItems.begin() + i, p);
    }
    void Delete(int i)
    {
        Check(i);
        FItems.erase(FItems.begin() + i);
    }
    int IndexOf(const T* p) const
    {
        auto it = std::find(FItems.begin(), FItems.end(), p);
        return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
    }
    int Remove(const T* p)
    {
        int i = IndexOf(p);
        if (i >= 0)
            FItems.erase(FItems.begin() + i);
        return i;
    }
    void Move(int from, int to)
    {
        if (from == to)
            return;
        Check(from);
        Check(to);
        T* p = FItems[from];
        FItems.erase(FItems.begin() + from);
        FItems.insert(FItems.begin() + to, p);
    }
    void Clear() { FItems.clear(); }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    void Check(int i) const
    {
        if (i < 0 || i >= Count())
            Error(i);
    }
    [[noreturn]] static void Error(int i) { throw EListError(Format("List index out of bounds (%d)", {IntToStr(i)})); }
    std::vector<T*> FItems;
};
using TList = TPointerList<void>;

// A list of strings with Name=Value access (keys compared without regard to ASCII
// letter case) and delimited text (Delimiter ',' and QuoteChar '"' unless changed).
class TStrings : public TPersistent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const String& Strings(int index) const;
    void SetStrings(int index, const String& s);
    const String& operator[](int index) const { return Strings(index); }
    int Add(const String& s);
    void Insert(int index, const String& s);
    void Delete(int index);
    void Clear() { FItems.clear(); }
    int IndexOf(std::string_view s) const;

    // The key of item Index: the text before its first '=' (empty without one).
    String Names(int index) const;
    String ValueFromIndex(int index) const;
    int IndexOfName(std::string_view name) const;
    String Values(std::string_view name) const;
    // Replaces the first item of that key, appends a new one, or (empty value) deletes it.
    void SetValues(std::string_view name, const String& value);

    char Delimiter = ',';
    char QuoteChar = '"';
    String DelimitedText() const;
    void SetDelimitedText(std::string_view text);
    // Lines joined with CR LF, each followed by one.
    String Text() const;
    void SetText(std::string_view text);

    void Assign(TPersistent* source) override;
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<String> FItems;
};

class TStringList : public TStrings {
    ZUL_CLASS_INFO(TClassInfo)
};

// ---- streams ----------------------------------------------------------------------

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Raise EReadError "Stream read error" / EWriteError "Stream write error" when short.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t p) { Seek(p, soBeginning); }
    int64_t Size();
    int64_t CopyFrom(TStream* source, int64_t count);   // count 0: the whole source
};

class TCustomMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    const uint8_t* Memory() const { return FMemory; }

protected:
    void SetPointer(const uint8_t* p, int64_t size)
    {
        FMemory = p;
        FSize = size;
    }
    const uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A growable stream in memory.
class TMemoryStream : public TCustomMemoryStream {
public:
    int64_t Write(const void* buffer, int64_t count) override;
    void SetSize(int64_t size);
    void Clear();
    uint8_t* Data() { return FBuffer.data(); }

private:
    std::vector<uint8_t> FBuffer;
};

// Reads a caller's block in place; writing raises EWriteError.
class TReadOnlyMemoryStream : public TCustomMemoryStream {
public:
    TReadOnlyMemoryStream(const void* data, int64_t size);
    int64_t Write(const void* buffer, int64_t count) override;
};

// ---- the binary property reader ----------------------------------------------------

enum TValueType : uint8_t {
    vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5, vaString = 6,
    vaIdent = 7, vaFalse = 8, vaTrue = 9, vaBinary = 10, vaSet = 11, vaLString = 12,
};

// Reads published properties from the platform's binary stream format: each property
// is a name (length byte and characters, possibly a dotted path) and a typed value;
// a zero byte ends the list. Errors: EReadError "Stream read error", "Property %s does
// not exist", "Invalid property value", "Invalid property path".
class TReader : public TObject {
public:
    TReader(TStream* stream, int bufSize);
    ~TReader() override;

    TValueType ReadValue();
    TValueType NextValue();
    bool EndOfList();
    void ReadListEnd();
    String ReadStr();          // length byte and characters
    int ReadInteger();         // vaInt8, vaInt16, vaInt32
    String ReadIdent();        // vaIdent, vaFalse, vaTrue
    String ReadString();       // vaString, vaLString
    bool ReadBoolean();        // vaFalse, vaTrue
    int64_t ReadSet(const TEnumInfo& info);
    void SkipValue();
    // Reads one name and its value into Instance, following dotted paths.
    void ReadProperty(TPersistent* instance);

protected:
    void Read(void* buf, int64_t count);
    [[noreturn]] void PropValueError();

private:
    void ReadPropValue(TPersistent* instance, const TPropInfo* prop);
    void SkipBytes(int64_t count);
    TStream* FStream;
};

// ---- pseudo-random generator ---------------------------------------------------------

// Shared by the whole process, without a lock: seed := seed * 134775813 + 1, the
// result is the upper half of seed * N.
extern uint32_t RandSeed;
int Random(int n);
void Randomize();
