#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <set>

#include "effects/teBlend.h"
#include "effects/teFuse.h"
#include "imaging/teBlndWk.h"
#include "imaging/teRender.h"
#include "tools/MemoryDevice.h"

namespace {

struct TCpuFlags {
    bool OldMMX = CpuHasMMX, OldExt = CpuHasMMXExt;
    TCpuFlags(bool mmx, bool ext) { CpuHasMMX = mmx, CpuHasMMXExt = ext; }
    ~TCpuFlags() { CpuHasMMX = OldMMX, CpuHasMMXExt = OldExt; }
};

void Fill(TBitmap& b, TColor c)
{
    b.Canvas()->Brush()->SetColor(c);
    b.Canvas()->FillRect(RECT{0, 0, b.Width(), b.Height()});
    GdiFlush();
}

// Every pixel of A equals the pixel of B at the same place.
bool SamePixels(TBitmap& a, TBitmap& b)
{
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Canvas()->Pixel(x, y) != b.Canvas()->Pixel(x, y))
                return false;
    return true;
}

// A cross-fade whose measurement can be read.
class TProbeBlend : public TBlendTransition {
public:
    using TBlendTransition::TBlendTransition;
    int Identical() const { return FIdenticalPercent; }
};

}  // namespace

// ---- cross-fade -------------------------------------------------------------------------

TEST(BlendTransition, ClassFunctionsAndCapabilities)
{
    TBlendTransition t(nullptr);
    EXPECT_EQ(t.Description(), "Alpha blend");
    EXPECT_EQ(t.GetEditor(), "TTransitionEffectEditor");
    TMemoryDevice device(4, 4, pf24bit);
    EXPECT_EQ(t.GetCapabilities(&device), 0x033F);
}

TEST(BlendTransition, FramesFollowTheDisplayFormat)
{
    struct {
        TPixelFormat Pf;
        int Frames;
    } cases[] = {{pf15bit, 31}, {pf16bit, 31}, {pf24bit, 254}, {pf32bit, 254}};
    for (auto& c : cases) {
        TBlendTransition t(nullptr);
        TMemoryDevice device(9, 5, c.Pf);
        int seen = 0, last = 0;
        device.OnFrame = [&](int, int frame, int frames) {
            ++seen, last = frame;
            EXPECT_EQ(frames, c.Frames);
        };
        device.Run(&t);
        EXPECT_EQ(seen, c.Frames);
        EXPECT_EQ(last, c.Frames);
    }
}

TEST(BlendTransition, WithoutMMX32BitsRunIn24)
{
    TBlendTransition t(nullptr);
    TMemoryDevice device(4, 4, pf32bit);
    EXPECT_EQ(t.GetPixelFormat(&device), pf32bit);
    TCpuFlags cpu(false, false);
    EXPECT_EQ(t.GetPixelFormat(&device), pf24bit);
    TMemoryDevice sixteen(4, 4, pf16bit);
    EXPECT_EQ(t.GetPixelFormat(&sixteen), pf16bit);
}

TEST(BlendTransition, FramesMixAtTheFrameNumberAndEndOnTheTarget)
{
    for (bool mmx : {true, false}) {
        TCpuFlags cpu(mmx, true);
        TBlendTransition t(nullptr);
        TMemoryDevice device(13, 7, pf32bit);
        Fill(device.Src, clWhite);
        Fill(device.Dst, clBlack);
        TColor at128 = clNone, at1 = clNone;
        device.OnFrame = [&](int, int frame, int) {
            if (frame == 128)
                at128 = device.Screen.Canvas()->Pixel(12, 6);
            if (frame == 1)
                at1 = device.Screen.Canvas()->Pixel(0, 0);
        };
        device.Run(&t);
        EXPECT_EQ(at128, 0x7F7F7F) << "mmx " << mmx;
        EXPECT_EQ(at1, 0xFEFEFE) << "mmx " << mmx;   // 255 + floor(-255 / 256)
        EXPECT_TRUE(SamePixels(device.Screen, device.Dst));
    }
}

TEST(BlendTransition, IdenticalImagesWithoutMMXAreMeasuredAndNotWritten)
{
    TCpuFlags cpu(false, false);
    TBitmap src, dst, work;
    for (TBitmap* b : {&src, &dst, &work})
        PrepareBitmap(b, nullptr, 10, 6, pf16bit);
    Fill(src, 0x336699);
    Fill(dst, 0x336699);
    Fill(work, clRed);
    TTETransitionData data;
    data.PixelFormat = pf16bit;
    data.WorkBitmap = &work;
    data.SrcImage = &src;
    data.DstImage = &dst;
    data.Width = 10;
    data.Height = 6;
    TProbeBlend t(nullptr);
    int frames = 0;
    t.Initialize(&data, frames);
    EXPECT_EQ(frames, 31);
    EXPECT_EQ(t.Identical(), 100);
    for (int f = 1; f <= frames; ++f)
        t.ExecuteFrame(&data, f, 1, f - 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(work.Canvas()->Pixel(x, y), clRed);

    // Half the words equal: measured as such.
    dst.Canvas()->Brush()->SetColor(clBlack);
    dst.Canvas()->FillRect(RECT{0, 0, 10, 3});
    GdiFlush();
    t.Initialize(&data, frames);
    EXPECT_EQ(t.Identical(), 50);
    data.WorkBitmap = nullptr;   // not the run data's to free
}

TEST(BlendTransition, PaletteDisplaysGetAPatternFuse)
{
    TBlendTransition t(nullptr);
    t.SetMilliseconds(750);
    t.SetPassSetting(teTwoPasses);
    t.Pass2Options()->SetDistributedTime(true);
    t.SetAbortOnEscape(true);
    TMemoryDevice device(8, 8, pf8bit, true);
    std::unique_ptr<TTransitionEffect> run(t.GetRunTransition(&device, false));
    ASSERT_NE(run.get(), &t);
    auto* fuse = dynamic_cast<TFuseTransition*>(run.get());
    ASSERT_NE(fuse, nullptr);
    EXPECT_EQ(fuse->Style(), 1);
    EXPECT_EQ(fuse->Milliseconds(), 750);
    EXPECT_EQ(fuse->PassSetting(), teTwoPasses);
    EXPECT_TRUE(fuse->Pass2Options()->DistributedTime());
    EXPECT_TRUE(fuse->AbortOnEscape());

    TMemoryDevice direct(8, 8, pf24bit);
    std::unique_ptr<TTransitionEffect> copy(t.GetRunTransition(&direct, true));
    EXPECT_NE(dynamic_cast<TBlendTransition*>(copy.get()), nullptr);
}

// ---- pattern fuse -------------------------------------------------------------------------

TEST(FuseTransition, StyleAcceptsOnlyKnownStyles)
{
    TFuseTransition t(nullptr);
    EXPECT_EQ(t.Style(), 1);
    t.SetStyle(14);
    EXPECT_EQ(t.Style(), 1);
    t.SetStyle(-1);
    EXPECT_EQ(t.Style(), 1);
    t.SetStyle(13);
    EXPECT_EQ(t.Style(), 13);
    t.SetStyle(0);
    EXPECT_EQ(t.Style(), 0);
    int s = t.StyleToUse();
    EXPECT_TRUE(s >= 1 && s <= 13);
    EXPECT_EQ(t.StyleToUse(), s);   // drawn once, kept
}

TEST(FuseTransition, ReversedStylesRunTheirCounterpart)
{
    const int expected[14] = {0, 1, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12};
    for (int s = 1; s <= 13; ++s) {
        TFuseTransition t(nullptr);
        t.SetStyle(s);
        t.SetReversed(true);
        EXPECT_EQ(t.StyleToUse(), expected[s]);
    }
}

TEST(FuseTransition, FrameCellsOfEachStyle)
{
    auto all = [](int style, int n) {
        std::multiset<std::pair<int, int>> cells;
        for (int k = 1; k <= n; ++k)
            for (auto c : TFuseTransition::FrameCells(style, k, n))
                cells.insert({c.x, c.y});
        return cells;
    };
    // Every style reaches all but a few cells, none twice.
    struct {
        int Style, N, Reached;
    } cover[] = {{1, 63, 63}, {2, 7, 56}, {3, 7, 56}, {4, 7, 56}, {5, 7, 56}, {6, 7, 49}, {7, 7, 63},
                 {8, 63, 63}, {9, 63, 63}, {10, 7, 56}, {11, 7, 56}, {12, 7, 56}, {13, 7, 56}};
    for (auto& c : cover) {
        auto cells = all(c.Style, c.N);
        EXPECT_EQ(cells.size(), static_cast<size_t>(c.Reached)) << "style " << c.Style;
        const std::set<std::pair<int, int>> distinct(cells.begin(), cells.end());
        EXPECT_EQ(distinct.size(), cells.size());
    }
    // Style 1 leaves the last cell of the dither order; style 6 the bottom row and right column.
    EXPECT_EQ(all(1, 63).count({DitherOrder[63].X, DitherOrder[63].Y}), 0u);
    EXPECT_EQ(all(6, 7).count({7, 3}), 0u);
    for (int k = 1; k <= 7; ++k) {
        for (auto c : TFuseTransition::FrameCells(2, k, 7))
            EXPECT_EQ(c.y, k - 1);
        for (auto c : TFuseTransition::FrameCells(3, k, 7))
            EXPECT_EQ(c.y, 8 - k);
        for (auto c : TFuseTransition::FrameCells(10, k, 7))
            EXPECT_EQ(((c.x - c.y) % 8 + 8) % 8, k % 8);
        for (auto c : TFuseTransition::FrameCells(12, k, 7))
            EXPECT_EQ((c.x + c.y) % 8, (k - 1) % 8);
    }
    // Style 6, frame 3: the right and bottom edges of the 3x3 square.
    std::set<std::pair<int, int>> edge;
    for (auto c : TFuseTransition::FrameCells(6, 3, 7))
        edge.insert({c.x, c.y});
    const std::set<std::pair<int, int>> square3{{2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}};
    EXPECT_EQ(edge, square3);
    EXPECT_EQ(TFuseTransition::FrameCells(9, 1, 63)[0].x, SpiralOrder[63].x);
}

TEST(FuseTransition, SkippedFramesDarkenTheirCellsToo)
{
    TBitmap src, dst;
    PrepareBitmap(&src, nullptr, 16, 16, pf24bit);
    PrepareBitmap(&dst, nullptr, 16, 16, pf24bit);
    Fill(src, clWhite);
    Fill(dst, clBlack);
    TTETransitionData data;
    data.PixelFormat = pf24bit;
    data.WorkBitmap = &src;
    data.SrcImage = &src;
    data.DstImage = &dst;
    data.Width = data.Height = 16;
    TFuseTransition t(nullptr);
    t.SetStyle(2);
    int frames = 0;
    t.Initialize(&data, frames);
    data.Frames = frames;
    EXPECT_EQ(frames, 7);
    t.ExecuteFrame(&data, 3, 3, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; x += 5)
            EXPECT_EQ(src.Canvas()->Pixel(x, y), y % 8 < 3 ? clBlack : clWhite) << x << "," << y;
    t.Finalize(&data);
    data.WorkBitmap = nullptr;
}

TEST(FuseTransition, RunEndsOnTheTargetAndKeepsOneRandomStyleForBothPasses)
{
    for (int run = 0; run < 4; ++run) {
        TFuseTransition t(nullptr);
        t.SetStyle(0);
        t.SetPassSetting(teTwoPasses);
        TMemoryDevice device(24, 16, pf24bit);
        Fill(device.Src, clWhite);
        Fill(device.Dst, clBlue);
        int styles[3] = {};
        device.OnFrame = [&](int pass, int, int) {
            styles[pass] = static_cast<TFuseTransition*>(device.RunTransition())->StyleToUse();
        };
        device.Run(&t);
        EXPECT_NE(styles[1], 0);
        EXPECT_EQ(styles[1], styles[2]);
        EXPECT_TRUE(SamePixels(device.Screen, device.Dst));
    }
}

TEST(FuseTransition, LastFrameOfTheDitherLeavesOneCellPerTile)
{
    TFuseTransition t(nullptr);
    TMemoryDevice device(16, 8, pf32bit);
    Fill(device.Src, clWhite);
    Fill(device.Dst, clBlack);
    int old = 0;
    device.OnFrame = [&](int, int frame, int frames) {
        if (frame != frames)
            return;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                old += device.Screen.Canvas()->Pixel(x, y) == clWhite;
    };
    device.Run(&t);
    EXPECT_EQ(old, 2);
    EXPECT_EQ(device.Screen.Canvas()->Pixel(DitherOrder[63].X, DitherOrder[63].Y), clBlack);
}

TEST(FuseTransition, CapabilitiesDependOnTheRun)
{
    TFuseTransition t(nullptr);
    EXPECT_EQ(t.GetCapabilities(nullptr), 0x033F);
    TMemoryDevice device(4, 4, pf24bit);
    EXPECT_EQ(t.GetCapabilities(&device), 0x03BF);   // inline: draws into the source
}

TEST(FuseTransition, DescriptionKeys)
{
    TFuseTransition t(nullptr);
    TStringList list;
    t.SaveToStrings(&list, true);
    EXPECT_EQ(list.IndexOfName("Style"), -1);
    EXPECT_EQ(list.Values("Transition"), "TFuseTransition");
    t.SetStyle(5);
    t.SaveToStrings(&list, true);
    EXPECT_EQ(list.Values("Style"), "5");

    TFuseTransition u(nullptr);
    TStringList in;
    in.SetValues("Style", "14");
    u.LoadFromStrings(&in);
    EXPECT_EQ(u.Style(), 1);
    in.SetValues("Style", "9");
    u.LoadFromStrings(&in);
    EXPECT_EQ(u.Style(), 9);
    in.SetValues("Style", "nine");
    EXPECT_THROW(u.LoadFromStrings(&in), EConvertError);

    TFuseTransition copy(nullptr);
    copy.Assign(&u);
    EXPECT_EQ(copy.Style(), 9);
    EXPECT_EQ(TransitionDescription(&TFuseTransition::ClassInfo), "Fuse");
    EXPECT_EQ(TransitionEditor(&TFuseTransition::ClassInfo), "TFuseTransitionEditor");
}
