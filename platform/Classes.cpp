#include "platform/Classes.h"

#include <cstring>

// ---- class values ---------------------------------------------------------------

const TClassInfo TObject::ClassInfo{"TObject", nullptr, nullptr, {}};
const TClassInfo TPersistent::ClassInfo{"TPersistent", &TObject::ClassInfo, nullptr, {}};
const TClassInfo TComponent::ClassInfo{"TComponent", &TPersistent::ClassInfo, &CreateInstance<TComponent>, {}};
const TClassInfo TControlClassInfo{"TControl", &TComponent::ClassInfo, nullptr, {}};
const TClassInfo TStrings::ClassInfo{"TStrings", &TPersistent::ClassInfo, nullptr, {}};
const TClassInfo TStringList::ClassInfo{"TStringList", &TStrings::ClassInfo, nullptr, {}};

bool ClassInheritsFrom(TClass cls, TClass ancestor)
{
    for (; cls; cls = cls->Parent)
        if (cls == ancestor)
            return true;
    return false;
}

int TEnumInfo::IndexOf(std::string_view name) const
{
    for (size_t i = 0; i < Names.size(); ++i)
        if (name == Names[i])
            return static_cast<int>(i);
    return -1;
}

const TPropInfo* GetPropInfo(TClass cls, std::string_view name)
{
    for (; cls; cls = cls->Parent)
        for (const TPropInfo& p : cls->Published)
            if (SameText(p.Name, name))
                return &p;
    return nullptr;
}

std::vector<const TPropInfo*> GetPropList(TClass cls)
{
    std::vector<TClass> chain;
    for (; cls; cls = cls->Parent)
        chain.push_back(cls);
    std::vector<const TPropInfo*> list;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->Published) {
            auto same = std::find_if(list.begin(), list.end(),
                                     [&](const TPropInfo* q) { return SameText(q->Name, p.Name); });
            if (same != list.end())
                *same = &p;
            else
                list.push_back(&p);
        }
    return list;
}

namespace {
struct ColorIdent {
    const char* Name;
    int32_t Value;
};
constexpr int32_t Sys(int index) { return static_cast<int32_t>(0xFF000000u | static_cast<uint32_t>(index)); }
const ColorIdent ColorIdents[] = {
    {"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000}, {"clPurple", 0x800080}, {"clTeal", 0x808000}, {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00}, {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6}, {"clCream", 0xF0FBFF}, {"clMedGray", 0xA4A0A0},
    {"clScrollBar", Sys(0)}, {"clBackground", Sys(1)}, {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)}, {"clMenu", Sys(4)}, {"clWindow", Sys(5)}, {"clWindowFrame", Sys(6)},
    {"clMenuText", Sys(7)}, {"clWindowText", Sys(8)}, {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)}, {"clInactiveBorder", Sys(11)}, {"clAppWorkSpace", Sys(12)},
    {"clHighlight", Sys(13)}, {"clHighlightText", Sys(14)}, {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)}, {"clGrayText", Sys(17)}, {"clBtnText", Sys(18)},
    {"clInactiveCaptionText", Sys(19)}, {"clBtnHighlight", Sys(20)}, {"cl3DDkShadow", Sys(21)},
    {"cl3DLight", Sys(22)}, {"clInfoText", Sys(23)}, {"clInfoBk", Sys(24)},
    {"clNone", 0x1FFFFFFF}, {"clDefault", 0x20000000},
};
}  // namespace

bool IdentToColor(std::string_view ident, int32_t& color)
{
    for (const ColorIdent& c : ColorIdents)
        if (SameText(c.Name, ident)) {
            color = c.Value;
            return true;
        }
    return false;
}

String ColorToIdentOrText(int32_t color)
{
    for (const ColorIdent& c : ColorIdents)
        if (c.Value == color)
            return c.Name;
    return IntToStr(color);
}

// ---- class registry ---------------------------------------------------------------

namespace {
struct TRegGroup {
    std::vector<TClass> GroupClasses;
    std::vector<TClass> Classes;
    bool Active = false;
    bool InGroup(TClass cls) const
    {
        for (TClass g : GroupClasses)
            if (ClassInheritsFrom(cls, g))
                return true;
        return false;
    }
    bool HasGroupClass(TClass cls) const
    {
        return std::find(GroupClasses.begin(), GroupClasses.end(), cls) != GroupClasses.end();
    }
};

struct TRegGroups {
    std::vector<TRegGroup> Groups;
    TClass ActiveClass = &TPersistent::ClassInfo;

    void Ensure()
    {
        if (Groups.empty()) {
            Groups.push_back({{&TPersistent::ClassInfo}, {}, true});
            ActiveClass = &TPersistent::ClassInfo;
        }
    }
    static int Depth(TClass c)
    {
        int d = 0;
        for (; c; c = c->Parent)
            ++d;
        return d;
    }
    // The group whose group class is the nearest ancestor of Cls.
    TRegGroup* BestGroup(TClass cls)
    {
        Ensure();
        TRegGroup* best = nullptr;
        int bestDepth = -1;
        for (TRegGroup& g : Groups)
            for (TClass gc : g.GroupClasses)
                if (ClassInheritsFrom(cls, gc) && Depth(gc) > bestDepth) {
                    best = &g;
                    bestDepth = Depth(gc);
                }
        return best ? best : &Groups.front();
    }
    TRegGroup* GroupOf(TClass groupClass)
    {
        Ensure();
        for (TRegGroup& g : Groups)
            if (g.HasGroupClass(groupClass))
                return &g;
        return nullptr;
    }
};

TRegGroups& Registry()
{
    static TRegGroups r;
    return r;
}

TClass FindInGroup(const TRegGroup& g, std::string_view name)
{
    for (TClass c : g.Classes)
        if (SameText(c->Name, name))
            return c;
    return nullptr;
}
}  // namespace

void RegisterClass(TClass cls)
{
    TRegGroups& r = Registry();
    r.Ensure();
    for (const TRegGroup& g : r.Groups) {
        TClass known = FindInGroup(g, cls->Name);
        if (known == cls)
            return;
        if (known)
            throw Exception(Format("A class named %s already exists", {cls->Name}));
    }
    r.BestGroup(cls)->Classes.push_back(cls);
}

void UnRegisterClass(TClass cls)
{
    for (TRegGroup& g : Registry().Groups)
        std::erase(g.Classes, cls);
}

TClass GetClass(std::string_view name)
{
    TRegGroups& r = Registry();
    r.Ensure();
    for (const TRegGroup& g : r.Groups)
        if (g.Active)
            if (TClass c = FindInGroup(g, name))
                return c;
    return nullptr;
}

TClass FindClass(std::string_view name)
{
    TClass c = GetClass(name);
    if (!c)
        throw EClassNotFound(Format("Class %s not found", {String(name)}));
    return c;
}

void StartClassGroup(TClass groupClass)
{
    TRegGroups& r = Registry();
    if (r.GroupOf(groupClass))
        return;
    TRegGroup g;
    g.GroupClasses.push_back(groupClass);
    g.Active = g.InGroup(r.ActiveClass);
    // Classes registered before that belong to the new group move into it.
    for (TRegGroup& other : r.Groups)
        for (auto it = other.Classes.begin(); it != other.Classes.end();)
            if (ClassInheritsFrom(*it, groupClass) && r.BestGroup(*it) == &other &&
                !other.HasGroupClass(*it)) {
                g.Classes.push_back(*it);
                it = other.Classes.erase(it);
            } else {
                ++it;
            }
    r.Groups.push_back(std::move(g));
}

TClass ActivateClassGroup(TClass groupClass)
{
    TRegGroups& r = Registry();
    r.Ensure();
    TClass previous = r.ActiveClass;
    if (previous != groupClass) {
        r.ActiveClass = groupClass;
        for (TRegGroup& g : r.Groups)
            g.Active = g.InGroup(groupClass);
    }
    return previous;
}

TClass ActiveClassGroup()
{
    Registry().Ensure();
    return Registry().ActiveClass;
}

void GroupDescendentsWith(TClass cls, TClass groupClass)
{
    TRegGroups& r = Registry();
    TRegGroup* target = r.GroupOf(groupClass);
    if (!target)
        target = r.BestGroup(groupClass);
    if (target->HasGroupClass(cls))
        return;
    for (TRegGroup& g : r.Groups)
        std::erase(g.GroupClasses, cls);
    target->GroupClasses.push_back(cls);
    // A class already registered follows its new group.
    for (TRegGroup& g : r.Groups)
        if (&g != target && std::find(g.Classes.begin(), g.Classes.end(), cls) != g.Classes.end()) {
            std::erase(g.Classes, cls);
            target->Classes.push_back(cls);
        }
    for (TRegGroup& g : r.Groups)
        g.Active = g.InGroup(r.ActiveClass);
}

void ResetClassRegistry()
{
    Registry().Groups.clear();
    Registry().ActiveClass = &TPersistent::ClassInfo;
}

// ---- persistent objects and components ----------------------------------------------

void TPersistent::Assign(TPersistent* source)
{
    if (source)
        source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest)
{
    dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* source)
{
    String sourceName = source ? source->ClassName() : String("nil");
    throw EConvertError(Format("Cannot assign a %s to a %s", {sourceName, ClassName()}));
}

TComponent::TComponent(TComponent* owner)
{
    if (owner)
        owner->InsertComponent(this);
}

TComponent::~TComponent()
{
    FComponentState |= csDestroying;
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        std::erase(other->FFreeNotifies, this);
        other->Notification(this, opRemove);
    }
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        Remove(child);
        delete child;
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const
{
    if (index < 0 || index >= ComponentCount())
        throw EListError(Format("List index out of bounds (%d)", {IntToStr(index)}));
    return FComponents[index];
}

TComponent* TComponent::FindComponent(std::string_view name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name))
            return c;
    return nullptr;
}

static bool IsValidIdent(const String& s)
{
    if (s.empty())
        return false;
    auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!alpha(s[0]))
        return false;
    for (char c : s)
        if (!alpha(c) && !(c >= '0' && c <= '9'))
            return false;
    return true;
}

void TComponent::SetName(const String& name)
{
    if (name == FName)
        return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError(Format("'%s' is not a valid component name", {name}));
    if (FOwner && !name.empty()) {
        TComponent* other = FOwner->FindComponent(name);
        if (other && other != this)
            throw EComponentError(Format("A component named %s already exists", {name}));
    }
    FName = name;
}

void TComponent::Insert(TComponent* c)
{
    FComponents.push_back(c);
    c->FOwner = this;
}

void TComponent::Remove(TComponent* c)
{
    std::erase(FComponents, c);
    c->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* component)
{
    if (component->FOwner)
        component->FOwner->RemoveComponent(component);
    if (!component->FName.empty() && FindComponent(component->FName))
        throw EComponentError(Format("A component named %s already exists", {component->FName}));
    Insert(component);
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    Notification(component, opRemove);
    Remove(component);
}

void TComponent::FreeNotification(TComponent* component)
{
    if (!component || component == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
        FFreeNotifies.push_back(component);
    if (std::find(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this) ==
        component->FFreeNotifies.end())
        component->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    if (!component)
        return;
    std::erase(FFreeNotifies, component);
    std::erase(component->FFreeNotifies, this);
}

void TComponent::Notification(TComponent* component, TOperation operation)
{
    if (operation == opRemove && component)
        RemoveFreeNotification(component);
    // Owned components hear of it too; the list may shrink while they are told.
    for (size_t i = 0; i < FComponents.size(); ++i)
        FComponents[i]->Notification(component, operation);
}

void TComponent::Loaded()
{
    FComponentState &= ~static_cast<unsigned>(csLoading);
}

void TComponent::SetComponentState(unsigned flags, bool on)
{
    if (on)
        FComponentState |= flags;
    else
        FComponentState &= ~flags;
}

// ---- string lists -----------------------------------------------------------------

namespace {
[[noreturn]] void StringIndexError(int index)
{
    throw EStringListError(Format("List index out of bounds (%d)", {IntToStr(index)}));
}
bool IsBlank(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}
}  // namespace

const String& TStrings::Strings(int index) const
{
    if (index < 0 || index >= Count())
        StringIndexError(index);
    return FItems[index];
}

void TStrings::SetStrings(int index, const String& s)
{
    if (index < 0 || index >= Count())
        StringIndexError(index);
    FItems[index] = s;
}

int TStrings::Add(const String& s)
{
    FItems.push_back(s);
    return Count() - 1;
}

void TStrings::Insert(int index, const String& s)
{
    if (index < 0 || index > Count())
        StringIndexError(index);
    FItems.insert(FItems.begin() + index, s);
}

void TStrings::Delete(int index)
{
    if (index < 0 || index >= Count())
        StringIndexError(index);
    FItems.erase(FItems.begin() + index);
}

int TStrings::IndexOf(std::string_view s) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(FItems[i], s))
            return i;
    return -1;
}

String TStrings::Names(int index) const
{
    const String& s = Strings(index);
    size_t eq = s.find('=');
    return eq == String::npos ? String() : s.substr(0, eq);
}

String TStrings::ValueFromIndex(int index) const
{
    const String& s = Strings(index);
    size_t eq = s.find('=');
    return eq == String::npos ? String() : s.substr(eq + 1);
}

int TStrings::IndexOfName(std::string_view name) const
{
    for (int i = 0; i < Count(); ++i) {
        size_t eq = FItems[i].find('=');
        if (eq != String::npos && SameText(std::string_view(FItems[i]).substr(0, eq), name))
            return i;
    }
    return -1;
}

String TStrings::Values(std::string_view name) const
{
    int i = IndexOfName(name);
    return i >= 0 ? ValueFromIndex(i) : String();
}

void TStrings::SetValues(std::string_view name, const String& value)
{
    int i = IndexOfName(name);
    if (!value.empty()) {
        String item = String(name) + "=" + value;
        if (i < 0)
            Add(item);
        else
            FItems[i] = item;
    } else if (i >= 0) {
        Delete(i);
    }
}

String TStrings::DelimitedText() const
{
    if (Count() == 1 && FItems[0].empty())
        return String(2, QuoteChar);
    String out;
    for (int i = 0; i < Count(); ++i) {
        const String& s = FItems[i];
        bool quote = false;
        for (char c : s)
            if (IsBlank(c) || c == QuoteChar || c == Delimiter) {
                quote = true;
                break;
            }
        if (quote) {
            out += QuoteChar;
            for (char c : s) {
                if (c == QuoteChar)
                    out += QuoteChar;
                out += c;
            }
            out += QuoteChar;
        } else {
            out += s;
        }
        if (i + 1 < Count())
            out += Delimiter;
    }
    return out;
}

void TStrings::SetDelimitedText(std::string_view text)
{
    // The text ends at its first zero byte, as a C string would.
    size_t zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);
    Clear();
    size_t p = 0, n = text.size();
    auto skipBlanks = [&] {
        while (p < n && IsBlank(text[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        String item;
        if (text[p] == QuoteChar) {
            ++p;
            while (p < n) {
                if (text[p] == QuoteChar) {
                    if (p + 1 < n && text[p + 1] == QuoteChar) {
                        item += QuoteChar;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            size_t start = p;
            while (p < n && !IsBlank(text[p]) && text[p] != Delimiter)
                ++p;
            item.assign(text.substr(start, p - start));
        }
        Add(item);
        skipBlanks();
        if (p < n && text[p] == Delimiter) {
            if (p + 1 == n)
                Add(String());
            ++p;
            skipBlanks();
        }
    }
}

String TStrings::Text() const
{
    String out;
    for (const String& s : FItems)
        out += s + "\r\n";
    return out;
}

void TStrings::SetText(std::string_view text)
{
    Clear();
    size_t p = 0;
    while (p < text.size()) {
        size_t e = p;
        while (e < text.size() && text[e] != '\r' && text[e] != '\n')
            ++e;
        Add(String(text.substr(p, e - p)));
        if (e < text.size() && text[e] == '\r')
            ++e;
        if (e < text.size() && text[e] == '\n')
            ++e;
        p = e;
    }
}

void TStrings::Assign(TPersistent* source)
{
    if (auto* s = dynamic_cast<TStrings*>(source)) {
        if (s != this) {
            FItems = s->FItems;
            Delimiter = s->Delimiter;
            QuoteChar = s->QuoteChar;
        }
        return;
    }
    TPersistent::Assign(source);
}

// ---- streams ----------------------------------------------------------------------

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

int64_t TStream::Size()
{
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

int64_t TStream::CopyFrom(TStream* source, int64_t count)
{
    if (count == 0) {
        source->SetPosition(0);
        count = source->Size();
    }
    uint8_t buf[4096];
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min<int64_t>(left, sizeof buf);
        source->ReadBuffer(buf, n);
        WriteBuffer(buf, n);
        left -= n;
    }
    return count;
}

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition >= FSize || FPosition < 0)
        return 0;
    int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = FSize + offset; break;
    }
    return FPosition;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0 || FPosition < 0)
        return 0;
    int64_t end = FPosition + count;
    if (end > static_cast<int64_t>(FBuffer.size()))
        FBuffer.resize(static_cast<size_t>(end));
    std::memcpy(FBuffer.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    if (end > FSize)
        FSize = end;
    SetPointer(FBuffer.data(), FSize);
    return count;
}

void TMemoryStream::SetSize(int64_t size)
{
    FBuffer.resize(static_cast<size_t>(size));
    SetPointer(FBuffer.data(), size);
    if (FPosition > size)
        FPosition = size;
}

void TMemoryStream::Clear()
{
    FBuffer.clear();
    SetPointer(nullptr, 0);
    FPosition = 0;
}

TReadOnlyMemoryStream::TReadOnlyMemoryStream(const void* data, int64_t size)
{
    SetPointer(static_cast<const uint8_t*>(data), size < 0 ? 0 : size);
}

int64_t TReadOnlyMemoryStream::Write(const void*, int64_t)
{
    throw EWriteError("Stream write error");
}

// ---- the binary property reader ----------------------------------------------------

TReader::TReader(TStream* stream, int) : FStream(stream) {}
TReader::~TReader() = default;

void TReader::Read(void* buf, int64_t count)
{
    FStream->ReadBuffer(buf, count);
}

void TReader::PropValueError()
{
    throw EReadError("Invalid property value");
}

TValueType TReader::ReadValue()
{
    uint8_t b;
    Read(&b, 1);
    return static_cast<TValueType>(b);
}

TValueType TReader::NextValue()
{
    TValueType v = ReadValue();
    FStream->Seek(-1, soCurrent);
    return v;
}

bool TReader::EndOfList()
{
    return NextValue() == vaNull;
}

void TReader::ReadListEnd()
{
    if (ReadValue() != vaNull)
        PropValueError();
}

String TReader::ReadStr()
{
    uint8_t len;
    Read(&len, 1);
    String s(len, '\0');
    Read(s.data(), len);
    return s;
}

int TReader::ReadInteger()
{
    switch (ReadValue()) {
    case vaInt8: {
        int8_t v;
        Read(&v, 1);
        return v;
    }
    case vaInt16: {
        int16_t v;
        Read(&v, 2);
        return v;
    }
    case vaInt32: {
        int32_t v;
        Read(&v, 4);
        return v;
    }
    default:
        PropValueError();
    }
}

String TReader::ReadIdent()
{
    switch (ReadValue()) {
    case vaIdent: return ReadStr();
    case vaFalse: return "False";
    case vaTrue: return "True";
    default: PropValueError();
    }
}

String TReader::ReadString()
{
    switch (ReadValue()) {
    case vaString: return AnsiToUtf8(ReadStr());
    case vaLString: {
        int32_t len;
        Read(&len, 4);
        if (len < 0 || len > FStream->Size() - FStream->Position())
            throw EReadError("Stream read error");
        std::string s(static_cast<size_t>(len), '\0');
        Read(s.data(), len);
        return AnsiToUtf8(s);
    }
    default:
        PropValueError();
    }
}

bool TReader::ReadBoolean()
{
    switch (ReadValue()) {
    case vaFalse: return false;
    case vaTrue: return true;
    default: PropValueError();
    }
}

int64_t TReader::ReadSet(const TEnumInfo& info)
{
    if (ReadValue() != vaSet)
        PropValueError();
    int64_t result = 0;
    for (;;) {
        String name = ReadStr();
        if (name.empty())
            break;
        int i = info.IndexOf(name);
        if (i < 0 || i >= 64)
            PropValueError();
        result |= int64_t(1) << i;
    }
    return result;
}

void TReader::SkipBytes(int64_t count)
{
    if (count < 0 || count > FStream->Size() - FStream->Position())
        throw EReadError("Stream read error");
    FStream->Seek(count, soCurrent);
}

void TReader::SkipValue()
{
    switch (ReadValue()) {
    case vaNull: case vaFalse: case vaTrue: break;
    case vaList:
        while (!EndOfList())
            SkipValue();
        ReadListEnd();
        break;
    case vaInt8: SkipBytes(1); break;
    case vaInt16: SkipBytes(2); break;
    case vaInt32: SkipBytes(4); break;
    case vaExtended: SkipBytes(10); break;
    case vaString: case vaIdent: ReadStr(); break;
    case vaBinary: case vaLString: {
        int32_t len;
        Read(&len, 4);
        SkipBytes(len);
        break;
    }
    case vaSet:
        while (!ReadStr().empty()) {
        }
        break;
    default: PropValueError();
    }
}

void TReader::ReadProperty(TPersistent* instance)
{
    String path = ReadStr();
    TPersistent* target = instance;
    size_t start = 0;
    for (;;) {
        size_t dot = path.find('.', start);
        String name = path.substr(start, dot == String::npos ? String::npos : dot - start);
        const TPropInfo* prop = GetPropInfo(target->ClassType(), name);
        if (dot == String::npos) {
            if (!prop)
                throw EReadError(Format("Property %s does not exist", {name}));
            ReadPropValue(target, prop);
            return;
        }
        if (!prop)
            throw EReadError(Format("Property %s does not exist", {path}));
        TPersistent* next = prop->Kind == TPropKind::Class && prop->GetObject ? prop->GetObject(target) : nullptr;
        if (!next)
            throw EReadError("Invalid property path");
        target = next;
        start = dot + 1;
    }
}

void TReader::ReadPropValue(TPersistent* instance, const TPropInfo* prop)
{
    switch (prop->Kind) {
    case TPropKind::Integer:
        prop->SetOrd(instance, ReadInteger());
        break;
    case TPropKind::Color:
        if (NextValue() == vaIdent) {
            int32_t color;
            if (!IdentToColor(ReadIdent(), color))
                PropValueError();
            prop->SetOrd(instance, color);
        } else {
            prop->SetOrd(instance, ReadInteger());
        }
        break;
    case TPropKind::Boolean: {
        String ident = ReadIdent();
        if (SameText(ident, "True"))
            prop->SetOrd(instance, 1);
        else if (SameText(ident, "False"))
            prop->SetOrd(instance, 0);
        else
            PropValueError();
        break;
    }
    case TPropKind::Enumeration: {
        String ident = ReadIdent();
        int value = -1;
        for (size_t i = 0; i < prop->Enum->Names.size(); ++i)
            if (SameText(prop->Enum->Names[i], ident))
                value = static_cast<int>(i);
        if (value < 0)
            PropValueError();
        prop->SetOrd(instance, value);
        break;
    }
    case TPropKind::Set:
        prop->SetOrd(instance, ReadSet(*prop->Enum));
        break;
    case TPropKind::String:
        prop->SetStr(instance, ReadString());
        break;
    case TPropKind::Class:
    case TPropKind::Event:
        PropValueError();
    }
}

// ---- pseudo-random generator ---------------------------------------------------------

uint32_t RandSeed = 0;

int Random(int n)
{
    RandSeed = RandSeed * 134775813u + 1u;
    return static_cast<int>((static_cast<uint64_t>(RandSeed) * static_cast<uint32_t>(n)) >> 32);
}

void Randomize()
{
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter))
        RandSeed = static_cast<uint32_t>(counter.QuadPart);
    else
        RandSeed = GetTickCount();
}
