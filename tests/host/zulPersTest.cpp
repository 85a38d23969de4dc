#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "effects/teBlend.h"
#include "effects/teBmpMk2.h"
#include "engine/TransEff.h"
#include "host/PlugInUtils.h"
#include "host/ZulEd.h"
#include "host/zulPers.h"
#include "host/zulUtil.h"
#include "host/zulWork.h"

namespace {

// Bytes placed so that they end exactly at a page that cannot be read: any read past
// the host's block faults at once.
class TEdgeBlock {
public:
    TEdgeBlock()
    {
        FBase = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * Page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(FBase + Page, Page, PAGE_NOACCESS, &old);
    }
    ~TEdgeBlock() { VirtualFree(FBase, 0, MEM_RELEASE); }
    TEdgeBlock(const TEdgeBlock&) = delete;
    TEdgeBlock& operator=(const TEdgeBlock&) = delete;
    const uint8_t* Place(const void* data, size_t size)
    {
        uint8_t* at = FBase + Page - size;
        std::memcpy(at, data, size);
        return at;
    }
    static constexpr size_t Page = 4096;

private:
    uint8_t* FBase;
};

String HexOf(const std::vector<uint8_t>& bytes, bool upper = true)
{
    static const char* digits[] = {"0123456789ABCDEF", "0123456789abcdef"};
    String s;
    for (uint8_t b : bytes) {
        s += digits[upper ? 0 : 1][b >> 4];
        s += digits[upper ? 0 : 1][b & 15];
    }
    return s;
}

std::vector<uint8_t> Name(const String& s)
{
    std::vector<uint8_t> v{static_cast<uint8_t>(s.size())};
    v.insert(v.end(), s.begin(), s.end());
    return v;
}

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> v;
    for (auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

// ---- reading: a table of descriptions ------------------------------------------------------

struct ReadCase {
    const char* Label;
    String Bytes;             // handed over with their own size
    const char* Class;        // expected class, or null for an error
    int Milliseconds;         // expected when a class is given
    const char* Message;      // expected error text when no class
};

String Legacy(char version, const char* id, const String& hex)
{
    return String("ZULS") + version + id + hex;
}

const std::vector<uint8_t> V1Blend = Cat({Name("Milliseconds"), {vaInt16, 0xE8, 0x03},
                                          Name("Pass2Options.DistributedTime"), {vaTrue},
                                          Name("PassSetting"), {vaIdent}, Name("teTwoPasses"), {0}});

std::vector<ReadCase> ReadCases()
{
    return {
        {"TextCrossFade", "Transition=CrossFade;Milliseconds=1000", "TBlendTransition", 1000, nullptr},
        {"TextWithZero", String("Transition=CrossFade;Milliseconds=250\0junk", 42), "TBlendTransition", 250,
         nullptr},
        {"KeysIgnoreCase", "TRANSITION=CrossFade;MILLISECONDS=5", "TBlendTransition", 5, nullptr},
        {"TransitionNotFirst", "Milliseconds=7;Transition=CrossFade", "TBlendTransition", 7, nullptr},
        {"BmpMaskText", "Transition=BmpMask;Milliseconds=300;MaskMode=Zoom", "TBmpMaskTransition2", 300, nullptr},
        {"NamesAreCaseSensitive", "Transition=crossfade", nullptr, 0, "Transition 'crossfade' not found"},
        {"NoTransitionItem", "Milliseconds=1000", nullptr, 0, "Transition '' not found"},
        {"UnknownName", "Transition=Sparkle;", nullptr, 0, "Transition 'Sparkle' not found"},
        {"NotRegisteredYet", "Transition=Circle", nullptr, 0, "Unknow transition \"TCircleTransition\""},
        {"BadMilliseconds", "Transition=CrossFade;Milliseconds=1s", nullptr, 0, "'1s' is not a valid integer value"},
        {"Legacy2", Legacy('2', "03", "E80300"), "TBlendTransition", 1000, nullptr},
        {"Legacy2LowerHex", Legacy('2', "03", "e80300"), "TBlendTransition", 1000, nullptr},
        {"Legacy1", Legacy('1', "03", HexOf(V1Blend, false)), "TBlendTransition", 1000, nullptr},
        {"LegacyVersion3", Legacy('3', "03", "E80300"), nullptr, 0, "Wrong format version '3'"},
        {"LegacyUnknownId", Legacy('2', "99", "E80300"), nullptr, 0, "Transition '99' not found"},
        {"LegacyIdNotRegistered", Legacy('2', "02", "E80300"), nullptr, 0, "Class TCircleTransition not found"},
        {"LegacyNotHex", Legacy('2', "03", "E8ZZ00"), nullptr, 0, "'$ZZ' is not a valid integer value"},
        {"LegacyOddDigit", Legacy('2', "03", "E80300A"), nullptr, 0, "Stream read error"},
        {"LegacyNoEndOfList", Legacy('2', "03", "E803"), nullptr, 0, "Stream read error"},
        {"LegacyTruncatedValue", Legacy('2', "03", "E8"), nullptr, 0, "Stream read error"},
        {"LegacyHeaderOnly", Legacy('2', "03", ""), nullptr, 0, "Stream read error"},
        {"LegacyUnknownProperty", Legacy('1', "03", HexOf(Cat({Name("Sparkle"), {vaTrue, 0}}))), nullptr, 0,
         "Property Sparkle does not exist"},
        {"LegacyWrongType", Legacy('1', "03", HexOf(Cat({Name("Milliseconds"), {vaTrue, 0}}))), nullptr, 0,
         "Invalid property value"},
        {"LegacyDirectionNotPublished", Legacy('1', "03", HexOf(Cat({Name("Direction"), {vaIdent}, Name("tedLeft"), {0}}))),
         nullptr, 0, "Property Direction does not exist"},
        {"LegacyHugeString", Legacy('1', "01", HexOf(Cat({Name("NBMaskFileName"), {vaLString, 0xFF, 0xFF, 0xFF, 0x7F}}))),
         nullptr, 0, "Stream read error"},
    };
}

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.Label; }

class DescriptionRead : public testing::TestWithParam<ReadCase> {};

TEST_P(DescriptionRead, MakesTheTransitionOrReportsTheError)
{
    const ReadCase& c = GetParam();
    int live = LiveTransitionCount();
    TEdgeBlock edge;
    const uint8_t* data = edge.Place(c.Bytes.data(), c.Bytes.size());
    TTransitionEffect* t = nullptr;
    try {
        ReadTransitionDescription(t, data, static_cast<int>(c.Bytes.size()));
        ASSERT_TRUE(c.Class) << "no error; expected: " << c.Message;
        ASSERT_TRUE(t);
        EXPECT_EQ(t->ClassName(), c.Class);
        EXPECT_EQ(t->Milliseconds(), c.Milliseconds);
    } catch (const Exception& e) {
        ASSERT_FALSE(c.Class) << "unexpected error: " << e.what();
        EXPECT_STREQ(e.what(), c.Message);
        EXPECT_EQ(t, nullptr);
    }
    delete t;
    EXPECT_EQ(LiveTransitionCount(), live) << "a transition object survived";
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionRead, testing::ValuesIn(ReadCases()),
                         [](const auto& info) { return String(info.param.Label); });

TEST(DescriptionRead, ShortOrMissingDataGivesACrossFadeOf1000)
{
    const char six[] = "ZULS20";
    for (auto [data, size] : std::vector<std::pair<const void*, int>>{
             {nullptr, 100}, {six, 0}, {six, 6}, {six, -5}}) {
        TTransitionEffect* t = nullptr;
        ReadTransitionDescription(t, data, size);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->ClassType(), &TBlendTransition::ClassInfo);
        EXPECT_EQ(t->Milliseconds(), 1000);
        delete t;
    }
}

TEST(DescriptionRead, LegacyNestedAndEnumeratedPropertiesArrive)
{
    String bytes = Legacy('1', "03", HexOf(V1Blend));
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, bytes.data(), static_cast<int>(bytes.size()));
    std::unique_ptr<TTransitionEffect> owner(t);
    EXPECT_TRUE(t->Pass2Options()->DistributedTime());
    EXPECT_EQ(t->PassSetting(), teTwoPasses);
}

TEST(DescriptionRead, LegacyClassIsFoundWhateverGroupIsActive)
{
    TClass before = ActivateClassGroup(&TPersistent::ClassInfo);
    String bytes = Legacy('2', "03", "E80300");
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, bytes.data(), static_cast<int>(bytes.size()));
    std::unique_ptr<TTransitionEffect> owner(t);
    EXPECT_EQ(t->ClassType(), &TBlendTransition::ClassInfo);
    EXPECT_EQ(ActiveClassGroup(), &TPersistent::ClassInfo);
    ActivateClassGroup(before);
}

TEST(DescriptionRead, TextWithoutZeroIsReadOnlyWithinTheBlock)
{
    // The block ends right before an unreadable page and holds no zero byte.
    String text = "Transition=CrossFade;Milliseconds=4321";
    TEdgeBlock edge;
    const uint8_t* data = edge.Place(text.data(), text.size());
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, data, static_cast<int>(text.size()));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Milliseconds(), 4321);
    delete t;
    t = nullptr;
    // A size shorter than the text cuts it.
    ReadTransitionDescription(t, data, static_cast<int>(text.size()) - 2);
    EXPECT_EQ(t->Milliseconds(), 43);
    delete t;
}

TEST(DescriptionRead, FailureLeavesTheVariablesObjectAlone)
{
    auto* old = new TBlendTransition(nullptr);
    TTransitionEffect* t = old;
    const char bad[] = "Transition=Nope";
    EXPECT_THROW(ReadTransitionDescription(t, bad, sizeof bad), Exception);
    EXPECT_EQ(t, old);
    const char good[] = "Transition=CrossFade;Milliseconds=9";
    ReadTransitionDescription(t, good, sizeof good);   // the old object is freed
    EXPECT_NE(t, nullptr);
    EXPECT_EQ(t->Milliseconds(), 9);
    delete t;
}

// ---- writing -------------------------------------------------------------------------------

struct RoundTrip {
    const char* In;
    const char* Out;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.In; }

class DescriptionRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(DescriptionRoundTrip, WritesInTheTransitionsOrderWithoutDefaults)
{
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, GetParam().In, static_cast<int>(std::strlen(GetParam().In) + 1));
    std::unique_ptr<TTransitionEffect> owner(t);
    char* block = nullptr;
    WriteTransitionDescription(t, block, 0);
    ASSERT_TRUE(block);
    EXPECT_STREQ(block, GetParam().Out);
    EXPECT_EQ(GlobalSize(block), std::strlen(GetParam().Out) + 1);
    FreeHostBlock(block);
    EXPECT_EQ(block, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptionRoundTrip,
    testing::Values(RoundTrip{"Transition=CrossFade;Milliseconds=1000", "Transition=CrossFade;Milliseconds=1000"},
                    RoundTrip{"Milliseconds=0;TRANSITION=CrossFade", "Transition=CrossFade"},
                    RoundTrip{"Sparkle=1;Transition=CrossFade;Milliseconds=20;Direction=Left",
                              "Transition=CrossFade;Milliseconds=20"},
                    RoundTrip{"Transition=BmpMask;SmoothingLevel=2;MaskMode=Stretch;Milliseconds=5",
                              "Transition=BmpMask;Milliseconds=5;SmoothingLevel=2"},
                    RoundTrip{"Transition=BmpMask;MaskMode=Tile", "Transition=BmpMask;MaskMode=Tile"}));

TEST(DescriptionWrite, DefaultCrossFadeIs38Characters)
{
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, nullptr, 0);
    std::unique_ptr<TTransitionEffect> owner(t);
    char* block = nullptr;
    WriteTransitionDescription(t, block, 0);
    EXPECT_STREQ(block, "Transition=CrossFade;Milliseconds=1000");
    EXPECT_EQ(std::strlen(block), 38u);
    EXPECT_EQ(GlobalSize(block), 39u);

    // Same length: the block is reused; other length: replaced.
    char* same = block;
    WriteTransitionDescription(t, block, 38);
    EXPECT_EQ(block, same);
    t->SetMilliseconds(5);
    WriteTransitionDescription(t, block, 38);
    EXPECT_STREQ(block, "Transition=CrossFade;Milliseconds=5");
    FreeHostBlock(block);
}

TEST(DescriptionWrite, ClassOutsideTheNameTableIsRefused)
{
    TFlickerFreeTransition cut(nullptr);
    char* block = nullptr;
    try {
        WriteTransitionDescription(&cut, block, 0);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Transition 'TFlickerFreeTransition' not found");
    }
    EXPECT_EQ(block, nullptr);
}

TEST(TransitionNamesTable, MapsBetweenColumns)
{
    EXPECT_EQ(MapTransitionName(2, 1, "CrossFade"), "TBlendTransition");
    EXPECT_EQ(MapTransitionName(1, 2, "TBmpMaskTransition2"), "BmpMask");
    EXPECT_EQ(MapTransitionName(3, 1, "14"), "TWipeTransition");
    EXPECT_EQ(MapTransitionName(1, 3, "TRollTransition"), "11");
    // Rows without an id give none.
    EXPECT_THROW(MapTransitionName(1, 3, "TBlurTransition"), Exception);
    EXPECT_THROW(MapTransitionName(2, 1, "Crossfade"), Exception);
}

TEST(HostBlocks, AllocateFreeAndHostStrings)
{
    char* block = nullptr;
    AllocHostBlock(block, 10);
    EXPECT_EQ(GlobalSize(block), 10u);
    FreeHostBlock(block);
    EXPECT_EQ(block, nullptr);
    FreeHostBlock(block);   // a null block is fine

    SetHostString(block, "abc");
    EXPECT_STREQ(block, "abc");
    EXPECT_EQ(GlobalSize(block), 4u);
    SetHostString(block, "");
    EXPECT_STREQ(block, "");
    FreeHostString(block);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(GetVersionText(), "Version 2.0");
}

// ---- the host's file callbacks ---------------------------------------------------------------

std::vector<uint8_t> GreyBmp(int w, int h)
{
    int stride = (w + 3) / 4 * 4;
    std::vector<uint8_t> b(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + 256 * 4 + stride * h);
    auto* fh = reinterpret_cast<BITMAPFILEHEADER*>(b.data());
    auto* ih = reinterpret_cast<BITMAPINFOHEADER*>(b.data() + sizeof *fh);
    fh->bfType = 0x4D42;
    fh->bfSize = static_cast<DWORD>(b.size());
    fh->bfOffBits = sizeof *fh + sizeof *ih + 256 * 4;
    ih->biSize = sizeof *ih;
    ih->biWidth = w;
    ih->biHeight = h;
    ih->biPlanes = 1;
    ih->biBitCount = 8;
    auto* pal = reinterpret_cast<RGBQUAD*>(ih + 1);
    for (int i = 0; i < 256; ++i)
        pal[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    uint8_t* px = b.data() + fh->bfOffBits;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[y * stride + x] = static_cast<uint8_t>(x * 40 + y);
    return b;
}

std::vector<String> gOpened;

bool ZUL_HOST_CALL TestOpenStream(const char* name, IStream** streamRef)
{
    String n = name;
    gOpened.push_back(n);
    if (n != "My mask.bmp")
        return false;
    std::vector<uint8_t> bmp = GreyBmp(5, 3);
    *streamRef = SHCreateMemStream(bmp.data(), static_cast<UINT>(bmp.size()));
    return true;
}

bool ZUL_HOST_CALL TestBrowse(INT_PTR code, char** blockRef)
{
    char*& block = *blockRef;
    if (code != 13 || !block || String(block) != "old.bmp")
        return false;
    // The host replaces the plug-in's block by one of its own.
    GlobalFree(block);
    block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 8));
    std::memcpy(block, "new.bmp", 8);
    return true;
}

class HostCallbacks : public testing::Test {
protected:
    void SetUp() override
    {
        std::copy(std::begin(HostValues), std::end(HostValues), Saved);
        gOpened.clear();
    }
    void TearDown() override { std::copy(std::begin(Saved), std::end(Saved), HostValues); }
    INT_PTR Saved[9];
};

TEST_F(HostCallbacks, MaskFileComesThroughTheHostAndIsQuotedWhenWritten)
{
    HostValues[HostOpenStreamIndex] = reinterpret_cast<INT_PTR>(&TestOpenStream);
    const char text[] = "Transition=BmpMask;'EmbeddedFilename=My mask.bmp'";
    TTransitionEffect* t = nullptr;
    ReadTransitionDescription(t, text, sizeof text);
    std::unique_ptr<TTransitionEffect> owner(t);
    auto* mask = dynamic_cast<TBmpMaskTransition2*>(t);
    ASSERT_TRUE(mask);
    EXPECT_EQ(gOpened, std::vector<String>{"My mask.bmp"});
    ASSERT_FALSE(mask->MaskEmpty());
    EXPECT_EQ(mask->Mask()->PixelFormat(), pf8bit);
    EXPECT_EQ(mask->Mask()->Width(), 5);
    // Indices survive (bottom-up file: the last file row is the top row).
    EXPECT_EQ(static_cast<uint8_t*>(mask->Mask()->ScanLine(0))[2], 2 * 40 + 2);

    char* block = nullptr;
    WriteTransitionDescription(t, block, 0);
    EXPECT_STREQ(block, "Transition=BmpMask;'EmbeddedFilename=My mask.bmp'");
    FreeHostBlock(block);
}

TEST_F(HostCallbacks, FileTheHostCannotOpenIsReportedAndKeepsTheName)
{
    HostValues[HostOpenStreamIndex] = reinterpret_cast<INT_PTR>(&TestOpenStream);
    TBmpMaskTransition2 t(nullptr);
    try {
        t.SetNBMaskFileName("gone.bmp");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(String(e.what()), "Файл 'gone.bmp' не найден.");
    }
    EXPECT_EQ(t.NBMaskFileName(), "gone.bmp");
    EXPECT_TRUE(t.MaskEmpty());

    HostValues[HostOpenStreamIndex] = 0;   // no callback at all
    EXPECT_THROW(t.SetNBMaskFileName("other.bmp"), Exception);
}

TEST_F(HostCallbacks, BrowseHandsOverAndFreesTheBlocks)
{
    HostValues[HostBrowseFileIndex] = reinterpret_cast<INT_PTR>(&TestBrowse);
    String name = "old.bmp";
    EXPECT_TRUE(HostBrowseFile(name));
    EXPECT_EQ(name, "new.bmp");
    EXPECT_FALSE(HostBrowseFile(name));
    EXPECT_EQ(name, "new.bmp");
    HostValues[HostBrowseFileIndex] = 0;
    EXPECT_THROW(HostBrowseFile(name), Exception);
}

TEST(LoadTimeStep, AssertsWhenTheBaseMaskIsNotRegistered)
{
    ASSERT_EQ(TransitionClasses->IndexOf(&TBmpMaskTransition::ClassInfo), -1);
    try {
        RemoveBaseMaskTransition();
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Unit, "ZulEd");
        EXPECT_EQ(String(e.what()).rfind("Assertion failure", 0), 0u);
    }
    RegisterTransition(&TBmpMaskTransition::ClassInfo);
    RemoveBaseMaskTransition();
    EXPECT_EQ(TransitionClasses->IndexOf(&TBmpMaskTransition::ClassInfo), -1);
}

// ---- damaged descriptions never crash or leak ----------------------------------------------

TEST(DescriptionRead, MutatedDescriptionsFailCleanly)
{
    const std::vector<String> seeds = {
        "Transition=CrossFade;Milliseconds=1000",
        "Transition=BmpMask;Milliseconds=300;MaskMode=Tile;SmoothingLevel=2;Reversed=True",
        "'Transition=CrossFade';'Milliseconds=12'",
        Legacy('2', "03", "E80300"),
        Legacy('1', "03", HexOf(V1Blend)),
        Legacy('1', "01", HexOf(Cat({Name("MaskMode"), {vaIdent}, Name("fcpmTile"), Name("SmoothingLevel"),
                                     {vaInt8, 3}, Name("Reversed"), {vaTrue, 0}}))),
    };
    const char alphabet[] = "0123456789ABCDEFZ;='\" \t\x01\x02\x03\x04\x07\x0B\x0C\xFF.";
    std::mt19937 rng(20261211);
    int live = LiveTransitionCount();
    int succeeded = 0, failed = 0;
    TEdgeBlock edge;
    for (int n = 0; n < 3000; ++n) {
        String s = seeds[rng() % seeds.size()];
        int edits = 1 + rng() % 4;
        for (int e = 0; e < edits && !s.empty(); ++e) {
            size_t at = rng() % s.size();
            switch (rng() % 5) {
            case 0: s[at] = static_cast<char>(rng()); break;
            case 1: s[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
            case 2: s.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
            case 3: s.erase(at, 1 + rng() % 3); break;
            case 4: s.resize(at); break;
            }
        }
        // Sometimes the size claims fewer bytes than there are; never more.
        int size = static_cast<int>(s.size());
        if (rng() % 4 == 0 && size > 0)
            size = static_cast<int>(rng() % s.size());
        const uint8_t* data = edge.Place(s.data(), s.size());
        TTransitionEffect* t = nullptr;
        try {
            ReadTransitionDescription(t, data, size);
            char* block = nullptr;
            try {
                WriteTransitionDescription(t, block, 0);
            } catch (const Exception&) {
            }
            FreeHostBlock(block);
            ++succeeded;
        } catch (const Exception&) {
            ++failed;
        }
        delete t;
    }
    EXPECT_EQ(LiveTransitionCount(), live);
    EXPECT_GT(succeeded, 0);
    EXPECT_GT(failed, 0);
}

}  // namespace
