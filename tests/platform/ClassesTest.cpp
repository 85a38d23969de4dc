#include <gtest/gtest.h>

#include <vector>

#include "platform/Classes.h"

namespace {

std::vector<String> Items(const TStrings& s)
{
    return std::vector<String>(s.begin(), s.end());
}

// The delimiter and quote of transition descriptions.
struct TDescriptionList : TStringList {
    TDescriptionList()
    {
        Delimiter = ';';
        QuoteChar = '\'';
    }
};

// ---- delimited text ---------------------------------------------------------------

struct ReadCase {
    const char* Text;
    std::vector<String> Expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << "[" << c.Text << "]"; }

class DelimitedRead : public testing::TestWithParam<ReadCase> {};

TEST_P(DelimitedRead, SplitsAsThePlatformDoes)
{
    TDescriptionList l;
    l.SetDelimitedText(GetParam().Text);
    EXPECT_EQ(Items(l), GetParam().Expected) << "text: [" << GetParam().Text << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelimitedRead,
    testing::Values(
        ReadCase{"", {}},
        ReadCase{"   ", {}},
        ReadCase{"Transition=CrossFade;Milliseconds=1000", {"Transition=CrossFade", "Milliseconds=1000"}},
        ReadCase{"  a=1 ;  b=2", {"a=1", "b=2"}},
        // Spaces outside quotes separate items.
        ReadCase{"Key=two words", {"Key=two", "words"}},
        ReadCase{"'Key=two words';x=1", {"Key=two words", "x=1"}},
        ReadCase{"'it''s';b", {"it's", "b"}},
        // A delimiter that ends the text adds one empty item.
        ReadCase{"a;", {"a", ""}},
        ReadCase{"a; ", {"a"}},
        ReadCase{"a;;b", {"a", "", "b"}},
        ReadCase{";", {"", ""}},
        // An unterminated quote runs to the end.
        ReadCase{"'abc", {"abc"}},
        ReadCase{"'abc'def;x", {"abc", "def", "x"}},
        ReadCase{"a'b;c", {"a'b", "c"}},
        ReadCase{"a\tb\r\nc", {"a", "b", "c"}}));

struct WriteCase {
    std::vector<String> Items;
    const char* Expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << "[" << c.Expected << "]"; }

class DelimitedWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(DelimitedWrite, QuotesOnlyWhatNeedsIt)
{
    TDescriptionList l;
    for (const String& s : GetParam().Items)
        l.Add(s);
    EXPECT_EQ(l.DelimitedText(), GetParam().Expected);
    // Reading the text back gives the items again.
    TDescriptionList back;
    back.SetDelimitedText(l.DelimitedText());
    EXPECT_EQ(Items(back), GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelimitedWrite,
    testing::Values(
        WriteCase{{"Transition=CrossFade", "Milliseconds=1000"}, "Transition=CrossFade;Milliseconds=1000"},
        WriteCase{{"EmbeddedFilename=My mask.bmp"}, "'EmbeddedFilename=My mask.bmp'"},
        WriteCase{{"a=it's", "b"}, "'a=it''s';b"},
        WriteCase{{"a=x;y"}, "'a=x;y'"},
        WriteCase{{"tab=\tx"}, "'tab=\tx'"},
        WriteCase{{""}, "''"},
        WriteCase{{"a=\xD0\x96"}, "a=\xD0\x96"}));

TEST(DelimitedText, EndsAtTheFirstZeroByte)
{
    TDescriptionList l;
    l.SetDelimitedText(std::string_view("a=1\0b=2", 7));
    EXPECT_EQ(Items(l), std::vector<String>{"a=1"});
}

// ---- Name=Value access ---------------------------------------------------------------

TEST(NameValue, KeysIgnoreLetterCaseAndFirstItemWins)
{
    TDescriptionList l;
    l.SetDelimitedText("TRANSITION=CrossFade;noequals;Milliseconds=5;milliseconds=7;x==y");
    EXPECT_EQ(l.Values("Transition"), "CrossFade");
    EXPECT_EQ(l.IndexOfName("MILLISECONDS"), 2);
    EXPECT_EQ(l.Values("Milliseconds"), "5");
    EXPECT_EQ(l.Values("noequals"), "");   // an item without '=' has no key
    EXPECT_EQ(l.IndexOfName("noequals"), -1);
    EXPECT_EQ(l.Values("x"), "=y");
    EXPECT_EQ(l.Values("absent"), "");
}

TEST(NameValue, SettingReplacesAppendsOrDeletes)
{
    TDescriptionList l;
    l.SetDelimitedText("TRANSITION=a;b=1");
    l.SetValues("Transition", "TBlendTransition");   // spelled as requested, in place
    l.SetValues("c", "2");
    EXPECT_EQ(Items(l), (std::vector<String>{"Transition=TBlendTransition", "b=1", "c=2"}));
    l.SetValues("B", "");
    EXPECT_EQ(Items(l), (std::vector<String>{"Transition=TBlendTransition", "c=2"}));
    l.SetValues("absent", "");
    EXPECT_EQ(l.Count(), 2);
}

TEST(StringList, BadIndexesRaise)
{
    TStringList l;
    l.Add("a");
    EXPECT_THROW(l.Strings(1), EListError);
    EXPECT_THROW(l.Delete(-1), EListError);
    EXPECT_THROW(l.Insert(2, "x"), EListError);
    l.Insert(1, "b");
    EXPECT_EQ(l.Text(), "a\r\nb\r\n");
}

// ---- random generator ------------------------------------------------------------------

TEST(Random, FollowsTheSharedGenerator)
{
    uint32_t saved = RandSeed;
    RandSeed = 1642000;
    std::vector<int> got;
    for (int i = 0; i < 5; ++i)
        got.push_back(Random(12));
    EXPECT_EQ(got, (std::vector<int>{10, 9, 2, 11, 1}));
    RandSeed = 0;
    EXPECT_EQ(Random(100), 0);
    EXPECT_EQ(Random(1000), 31);
    EXPECT_EQ(Random(7), 6);
    EXPECT_EQ(Random(0x7FFFFFFF), 435039309);
    EXPECT_EQ(RandSeed, 870078620u);
    RandSeed = saved;
}

// ---- class values, registry and components ---------------------------------------------

class TProbe;
std::vector<String>* gNotes = nullptr;

class TProbe : public TComponent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    using TComponent::TComponent;
    ~TProbe() override
    {
        if (gNotes)
            gNotes->push_back("destroy " + Name());
    }

protected:
    void Notification(TComponent* c, TOperation op) override
    {
        TComponent::Notification(c, op);
        if (gNotes && op == opRemove && c != this)
            gNotes->push_back(Name() + " hears " + c->Name());
    }
};
const TClassInfo TProbe::ClassInfo{"TProbe", &TComponent::ClassInfo, &CreateInstance<TProbe>, {}};

class TProbeChild : public TProbe {
    ZUL_CLASS_INFO(TClassInfo)
public:
    using TProbe::TProbe;
};
const TClassInfo TProbeChild::ClassInfo{"TProbeChild", &TProbe::ClassInfo, &CreateInstance<TProbeChild>, {}};

TEST(ClassValues, KnowNameParentAndConstructor)
{
    TProbeChild c(nullptr);
    EXPECT_EQ(c.ClassName(), "TProbeChild");
    EXPECT_TRUE(c.InheritsFrom(&TProbe::ClassInfo));
    EXPECT_TRUE(c.InheritsFrom(&TPersistent::ClassInfo));
    EXPECT_FALSE(TProbe(nullptr).InheritsFrom(&TProbeChild::ClassInfo));
    TProbe owner(nullptr);
    TComponent* made = TProbeChild::ClassInfo.Create(&owner);
    EXPECT_EQ(made->ClassType(), &TProbeChild::ClassInfo);
    EXPECT_EQ(made->Owner(), &owner);
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST(ClassRegistry, FindsByNameInActiveGroups)
{
    RegisterClass(&TProbe::ClassInfo);
    EXPECT_EQ(FindClass("tprobe"), &TProbe::ClassInfo);
    EXPECT_EQ(GetClass("TNoSuchClass"), nullptr);
    try {
        FindClass("TNoSuchClass");
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_STREQ(e.what(), "Class TNoSuchClass not found");
    }

    // A class grouped with TControl is seen only while that group is active.
    StartClassGroup(&TControlClassInfo);
    GroupDescendentsWith(&TProbeChild::ClassInfo, &TControlClassInfo);
    RegisterClass(&TProbeChild::ClassInfo);
    TClass previous = ActivateClassGroup(&TControlClassInfo);
    EXPECT_EQ(GetClass("TProbeChild"), &TProbeChild::ClassInfo);
    EXPECT_EQ(GetClass("TProbe"), &TProbe::ClassInfo);   // the base group stays visible
    ActivateClassGroup(&TPersistent::ClassInfo);
    EXPECT_EQ(GetClass("TProbeChild"), nullptr);
    ActivateClassGroup(previous);
    UnRegisterClass(&TProbeChild::ClassInfo);
    UnRegisterClass(&TProbe::ClassInfo);
    EXPECT_EQ(GetClass("TProbe"), nullptr);
}

TEST(Components, OwnerFreesChildrenAndEveryoneHearsOfIt)
{
    std::vector<String> notes;
    gNotes = &notes;
    {
        auto* owner = new TProbe(nullptr);
        owner->SetName("Owner");
        auto* a = new TProbe(owner);
        a->SetName("A");
        auto* b = new TProbe(owner);
        b->SetName("B");
        TProbe watcher(nullptr);
        watcher.SetName("Watcher");
        watcher.FreeNotification(a);
        delete a;   // leaves its owner; the watcher and the sibling hear of it
        EXPECT_EQ(owner->ComponentCount(), 1);
        EXPECT_EQ(owner->FindComponent("b"), b);
        delete owner;
    }
    gNotes = nullptr;
    EXPECT_EQ(notes, (std::vector<String>{"destroy A", "Watcher hears A", "B hears A", "Owner hears A",
                                          "destroy Owner", "destroy B", "destroy Watcher"}));
}

TEST(Components, NamesAreIdentifiersUniqueInTheirOwner)
{
    TProbe owner(nullptr);
    auto* a = new TProbe(&owner);
    auto* b = new TProbe(&owner);
    a->SetName("Same");
    EXPECT_THROW(b->SetName("same"), EComponentError);
    EXPECT_THROW(b->SetName("1abc"), EComponentError);
    EXPECT_EQ(b->Name(), "");
}

TEST(Persistent, AssigningUnrelatedObjectsNamesBothClasses)
{
    TProbe p(nullptr);
    TStringList l;
    try {
        l.Assign(&p);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TProbe to a TStringList");
    }
    try {
        l.Assign(nullptr);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a nil to a TStringList");
    }
}

// ---- events -----------------------------------------------------------------------

struct Receiver {
    int Calls = 0;
    TObject* Last = nullptr;
    void Handle(TObject* s)
    {
        ++Calls;
        Last = s;
    }
    void Other(TObject*) {}
};

TEST(Events, CopyCompareAndCallWithTheSender)
{
    TNotifyEvent empty;
    EXPECT_TRUE(empty == nullptr);
    EXPECT_FALSE(static_cast<bool>(empty));
    empty(nullptr);   // calling an empty event does nothing

    Receiver r, r2;
    TNotifyEvent e = TNotifyEvent::Bind<&Receiver::Handle>(&r);
    TNotifyEvent copy = e;
    EXPECT_TRUE(copy == e);
    EXPECT_FALSE(copy == TNotifyEvent::Bind<&Receiver::Handle>(&r2));
    EXPECT_FALSE(copy == TNotifyEvent::Bind<&Receiver::Other>(&r));
    EXPECT_FALSE(copy == empty);
    TProbe sender(nullptr);
    copy(&sender);
    EXPECT_EQ(r.Calls, 1);
    EXPECT_EQ(r.Last, &sender);
    EXPECT_EQ(copy.Data(), &r);
}

// ---- streams and the property reader ----------------------------------------------------

enum TShade { shLight, shDark, shDeep };
const char* const ShadeNames[] = {"shLight", "shDark", "shDeep"};
const TEnumInfo ShadeInfo{"TShade", ShadeNames};

class TInner : public TPersistent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    bool Flag = false;
    int32_t Tint = 0;
};
const TPropInfo InnerProps[] = {
    published::Boolean<&TInner::Flag, &TInner::Flag>("Flag", false),
    published::Color<&TInner::Tint, &TInner::Tint>("Tint", 0),
};
const TClassInfo TInner::ClassInfo{"TInner", &TPersistent::ClassInfo, nullptr, InnerProps};

class TSample : public TComponent {
    ZUL_CLASS_INFO(TClassInfo)
public:
    using TComponent::TComponent;
    int Count = 0;
    uint16_t Small = 0;
    TShade Shade = shLight;
    int64_t Shades = 0;
    String Caption;
    TInner Inner;
    TInner* GetInner() const { return const_cast<TInner*>(&Inner); }
    String ReadOnly() const { return "fixed"; }
};
const TPropInfo SampleProps[] = {
    published::Integer<&TSample::Count, &TSample::Count>("Count", 0),
    published::Integer<&TSample::Small, &TSample::Small>("Small", 0),
    published::Enumeration<&TSample::Shade, &TSample::Shade>("Shade", ShadeInfo, shLight),
    published::Set<&TSample::Shades, &TSample::Shades>("Shades", ShadeInfo, 0),
    published::Text<&TSample::Caption, &TSample::Caption>("Caption"),
    published::Object<&TSample::GetInner>("Inner"),
    published::Text<&TSample::ReadOnly, nullptr>("Version", false),
    published::Event("OnClick"),
};
const TClassInfo TSample::ClassInfo{"TSample", &TComponent::ClassInfo, &CreateInstance<TSample>, SampleProps};

// Builds a property stream.
struct StreamBuilder {
    std::vector<uint8_t> b;
    StreamBuilder& Name(const String& s)
    {
        b.push_back(static_cast<uint8_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    StreamBuilder& Byte(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    StreamBuilder& Int16(int16_t v)
    {
        b.push_back(vaInt16);
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    StreamBuilder& Int32(int32_t v)
    {
        b.push_back(vaInt32);
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    StreamBuilder& Ident(const String& s) { return Byte(vaIdent).Name(s); }
    StreamBuilder& Str(const String& s) { return Byte(vaString).Name(s); }
};

void ReadAll(const std::vector<uint8_t>& bytes, TPersistent* target)
{
    TReadOnlyMemoryStream s(bytes.data(), static_cast<int64_t>(bytes.size()));
    TReader r(&s, 1024);
    while (!r.EndOfList())
        r.ReadProperty(target);
    r.ReadListEnd();
}

TEST(PropertyReader, ReadsEveryKindThroughTheTable)
{
    StreamBuilder sb;
    sb.Name("Count").Byte(vaInt8).Byte(0xFE);
    sb.Name("Small").Int32(0x12345);   // a 16-bit property keeps the low half
    sb.Name("shade").Ident("shDeep");
    sb.Name("Shades").Byte(vaSet).Name("shLight").Name("shDeep").Byte(0);
    sb.Name("Caption").Str("Hello");
    sb.Name("Inner.Flag").Byte(vaTrue);
    sb.Name("Inner.Tint").Ident("clRed");
    sb.Name("Version").Str("ignored");
    sb.Byte(0);
    TSample s(nullptr);
    ReadAll(sb.b, &s);
    EXPECT_EQ(s.Count, -2);
    EXPECT_EQ(s.Small, 0x2345);
    EXPECT_EQ(s.Shade, shDeep);
    EXPECT_EQ(s.Shades, 0b101);
    EXPECT_EQ(s.Caption, "Hello");
    EXPECT_TRUE(s.Inner.Flag);
    EXPECT_EQ(s.Inner.Tint, 0x0000FF);
}

struct BadStream {
    const char* Label;
    std::vector<uint8_t> Bytes;
    const char* Message;
};

void PrintTo(const BadStream& c, std::ostream* os) { *os << c.Label; }

class PropertyReaderErrors : public testing::TestWithParam<BadStream> {};

TEST_P(PropertyReaderErrors, RaiseReadErrorsWithTheirMessage)
{
    TSample s(nullptr);
    try {
        ReadAll(GetParam().Bytes, &s);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), GetParam().Message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PropertyReaderErrors,
    testing::Values(
        BadStream{"Unknown", StreamBuilder().Name("Nope").Byte(vaTrue).Byte(0).b, "Property Nope does not exist"},
        BadStream{"UnknownNested", StreamBuilder().Name("Inner.Nope").Byte(vaTrue).Byte(0).b,
                  "Property Nope does not exist"},
        BadStream{"UnknownPath", StreamBuilder().Name("Outer.Flag").Byte(vaTrue).Byte(0).b,
                  "Property Outer.Flag does not exist"},
        BadStream{"PathThroughValue", StreamBuilder().Name("Count.Flag").Byte(vaTrue).Byte(0).b,
                  "Invalid property path"},
        BadStream{"StringIntoInteger", StreamBuilder().Name("Count").Str("1").Byte(0).b, "Invalid property value"},
        BadStream{"UnknownEnumValue", StreamBuilder().Name("Shade").Ident("shNone").Byte(0).b,
                  "Invalid property value"},
        BadStream{"UnknownSetElement", StreamBuilder().Name("Shades").Byte(vaSet).Name("x").Byte(0).Byte(0).b,
                  "Invalid property value"},
        BadStream{"IdentIntoBoolean", StreamBuilder().Name("Inner.Flag").Ident("Maybe").Byte(0).b,
                  "Invalid property value"},
        BadStream{"UnknownColour", StreamBuilder().Name("Inner.Tint").Ident("clPlaid").Byte(0).b,
                  "Invalid property value"},
        BadStream{"Event", StreamBuilder().Name("OnClick").Ident("Handler").Byte(0).b, "Invalid property value"},
        BadStream{"FloatType", StreamBuilder().Name("Count").Byte(vaExtended).Byte(0).b, "Invalid property value"},
        BadStream{"NoEndOfList", StreamBuilder().Name("Count").Byte(vaInt8).Byte(1).b, "Stream read error"},
        BadStream{"TruncatedValue", StreamBuilder().Name("Count").Byte(vaInt32).Byte(1).b, "Stream read error"},
        BadStream{"TruncatedName", StreamBuilder().Byte(9).Byte('C').b, "Stream read error"},
        BadStream{"Empty", {}, "Stream read error"}),
    [](const auto& info) { return String(info.param.Label); });

TEST(Streams, ReadOnlyWrapperReadsInPlaceAndRefusesWrites)
{
    const char data[] = "abcdef";
    TReadOnlyMemoryStream s(data, 6);
    char buf[4] = {};
    s.ReadBuffer(buf, 4);
    EXPECT_EQ(String(buf, 4), "abcd");
    EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
    EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
    EXPECT_EQ(s.Size(), 6);

    TMemoryStream m;
    m.WriteBuffer("xyz", 3);
    m.SetPosition(1);
    m.WriteBuffer("QRS", 3);
    EXPECT_EQ(m.Size(), 4);
    EXPECT_EQ(String(reinterpret_cast<const char*>(m.Memory()), 4), "xQRS");
}

TEST(PropertyTables, DescendantsOverrideInPlace)
{
    auto list = GetPropList(&TSample::ClassInfo);
    ASSERT_EQ(list.size(), std::size(SampleProps));
    EXPECT_STREQ(list[0]->Name, "Count");
    EXPECT_EQ(GetPropInfo(&TSample::ClassInfo, "CAPTION"), &SampleProps[4]);
    EXPECT_EQ(GetPropInfo(&TProbe::ClassInfo, "Caption"), nullptr);
    TSample s(nullptr);
    EXPECT_TRUE(SampleProps[2].IsDefault(&s));
    s.Shade = shDark;
    EXPECT_FALSE(SampleProps[2].IsDefault(&s));
}

}  // namespace
