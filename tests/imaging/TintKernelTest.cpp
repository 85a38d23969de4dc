#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "imaging/teBlndWk.h"
#include "platform/Graphics.h"

using namespace BlendKernel;

namespace {

struct TImage {
    TPixelFormat Pf;
    int Width, Height, Pitch;
    std::vector<uint8_t> Bytes;

    TImage(TPixelFormat pf, int w, int h) : Pf(pf), Width(w), Height(h)
    {
        int bits = pf == pf24bit ? 24 : pf == pf32bit ? 32 : 16;
        Pitch = ((w * bits + 31) & ~31) / 8;
        Bytes.resize(static_cast<size_t>(Pitch) * h);
    }
    TPixelBuffer Buffer() { return TPixelBuffer{Bytes.data(), Width, Height, Pitch, Pf}; }
    // Pixel (x, y), rows counted from the top.
    uint8_t* At(int x, int y) { return &Bytes[static_cast<size_t>(Height - 1 - y) * Pitch + x * Bpp()]; }
    int Bpp() const { return Pf == pf24bit ? 3 : Pf == pf32bit ? 4 : 2; }
    uint16_t Word(int x, int y)
    {
        uint16_t v;
        std::memcpy(&v, At(x, y), 2);
        return v;
    }
};

void Randomize(TImage& img, std::mt19937& rng)
{
    for (auto& b : img.Bytes)
        b = static_cast<uint8_t>(rng());
}

const TPixelFormat kFormats[] = {pf15bit, pf16bit, pf24bit, pf32bit};

}  // namespace

TEST(TintKernel, TablesEqualTheFormulaPerPixel)
{
    std::mt19937 rng(21);
    const RECT rects[] = {{0, 0, 7, 5}, {1, 1, 6, 4}, {0, 2, 7, 3}, {-3, -2, 20, 30}, {5, 0, 6, 5}};
    const TColor colours[] = {0x000000, 0xFFFFFF, 0x123456, 0x00FF80};
    for (TPixelFormat pf : kFormats)
        for (int t : {0, 1, 7, 8, 63, 100, 128, 254, 255})
            for (const RECT& r : rects)
                for (TColor c : colours) {
                    TImage a(pf, 7, 5);
                    Randomize(a, rng);
                    TImage b = a;
                    TintBuffer(a.Buffer(), t, r, c);
                    TintReference(b.Buffer(), t, r, c);
                    ASSERT_EQ(a.Bytes, b.Bytes) << "format " << pf << " translucency " << t << " colour " << c;
                }
}

TEST(TintKernel, OpaqueKeepsAndTransparentReplaces)
{
    std::mt19937 rng(23);
    for (TPixelFormat pf : kFormats) {
        TImage img(pf, 6, 4);
        Randomize(img, rng);
        TImage before = img;
        const RECT all{0, 0, 6, 4};
        TintBuffer(img.Buffer(), 255, all, 0x3366CC);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                if (pf == pf15bit)   // the unused top bit comes back set
                    EXPECT_EQ(img.Word(x, y), before.Word(x, y) | 0x8000);
                else
                    EXPECT_EQ(0, std::memcmp(img.At(x, y), before.At(x, y), img.Bpp()));
            }

        TintBuffer(img.Buffer(), 0, all, 0x3366CC);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                if (pf == pf24bit || pf == pf32bit) {
                    // $00BBGGRR: blue 33, green 66, red CC; stored blue first.
                    EXPECT_EQ(img.At(x, y)[0], 0x33);
                    EXPECT_EQ(img.At(x, y)[1], 0x66);
                    EXPECT_EQ(img.At(x, y)[2], 0xCC);
                    if (pf == pf32bit) {   // the fourth byte is kept
                        EXPECT_EQ(img.At(x, y)[3], before.At(x, y)[3]);
                    }
                } else {
                    int r, g, b;
                    ColorToHighColorFields(0x3366CC, pf, r, g, b);
                    uint16_t expected = pf == pf16bit ? (r << 11 | g << 5 | b) : (0x8000 | r << 10 | g << 5 | b);
                    EXPECT_EQ(img.Word(x, y), expected);
                }
            }
    }
}

TEST(TintKernel, PaddedTrueColourRowsKeepTheirPadding)
{
    // 5 pixels of 24 bits leave one padding byte per row; a tint of the whole
    // bitmap goes row by row and leaves it alone.
    TImage img(pf24bit, 5, 3);
    std::fill(img.Bytes.begin(), img.Bytes.end(), 0x10);
    for (int y = 0; y < 3; ++y)
        img.At(0, y)[15] = 0xEE;
    TintBuffer(img.Buffer(), 0, RECT{0, 0, 5, 3}, 0xFFFFFF);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(img.At(0, y)[15], 0xEE);
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(img.At(0, y)[i], 0xFF);
    }
}

TEST(TintKernel, RowsCountFromTheTop)
{
    TImage img(pf32bit, 3, 4);
    TintBuffer(img.Buffer(), 0, RECT{0, 0, 3, 1}, 0x0000FF);
    EXPECT_EQ(img.At(0, 0)[2], 0xFF);
    EXPECT_EQ(img.Bytes[static_cast<size_t>(img.Pitch) * 3 + 2], 0xFF);   // the top row is last in memory
    EXPECT_EQ(img.At(0, 1)[2], 0);
}

TEST(TintKernel, CachedTablesFollowEachChange)
{
    // Alternate colour, translucency and format so a stale table would show.
    std::mt19937 rng(29);
    struct {
        TPixelFormat Pf;
        int T;
        TColor C;
    } steps[] = {{pf32bit, 10, 0x102030}, {pf32bit, 10, 0x102031}, {pf32bit, 11, 0x102031},
                 {pf24bit, 11, 0x102031}, {pf16bit, 11, 0x102031}, {pf15bit, 11, 0x102031},
                 {pf15bit, 11, 0x102031}, {pf32bit, 10, 0x102030}};
    for (auto& s : steps) {
        TImage a(s.Pf, 9, 3);
        Randomize(a, rng);
        TImage b = a;
        TintBuffer(a.Buffer(), s.T, RECT{0, 0, 9, 3}, s.C);
        TintReference(b.Buffer(), s.T, RECT{0, 0, 9, 3}, s.C);
        ASSERT_EQ(a.Bytes, b.Bytes);
    }
}

TEST(DitherOrder, VisitsEveryCellOnce)
{
    std::set<std::pair<int, int>> cells;
    for (auto& c : DitherOrder) {
        EXPECT_TRUE(c.X >= 0 && c.X < 8 && c.Y >= 0 && c.Y < 8);
        cells.insert({c.X, c.Y});
    }
    EXPECT_EQ(cells.size(), 64u);
    EXPECT_EQ(DitherOrder[0].X, 4);
    EXPECT_EQ(DitherOrder[63].X, 2);
    EXPECT_EQ(DitherOrder[63].Y, 5);
}

// ---- on bitmaps --------------------------------------------------------------------

namespace {

std::unique_ptr<TBitmap> SolidBitmap(TPixelFormat pf, int w, int h, TColor c)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetColor(c);
    b->Canvas()->FillRect(RECT{0, 0, w, h});
    GdiFlush();
    return b;
}

std::unique_ptr<TBitmap> WhitePattern()
{
    auto p = std::make_unique<TBitmap>();
    p->SetMonochrome(true);
    p->SetSize(8, 8);
    p->Canvas()->Brush()->SetColor(clWhite);
    p->Canvas()->FillRect(RECT{0, 0, 8, 8});
    return p;
}

}  // namespace

TEST(TintBitmap, DitheredTintCoversOneCellPerStep)
{
    struct {
        int T, Coloured;
    } cases[] = {{0, 64}, {32, 32}, {63, 1}};
    for (auto& c : cases) {
        auto bmp = SolidBitmap(pf24bit, 16, 16, clWhite);
        auto pattern = WhitePattern();
        TintBitmap(bmp.get(), pattern.get(), pf24bit, c.T, RECT{0, 0, 16, 16}, clRed);
        int red = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                TColor px = bmp->Canvas()->Pixel(x, y);
                EXPECT_TRUE(px == clRed || px == clWhite);
                red += px == clRed;
                // The pattern repeats every 8 pixels.
                EXPECT_EQ(bmp->Canvas()->Pixel(x + 8, y + 8), px);
            }
        EXPECT_EQ(red, c.Coloured) << "translucency " << c.T;
        // The first cells of the order are the coloured ones.
        EXPECT_EQ(bmp->Canvas()->Pixel(DitherOrder[0].X, DitherOrder[0].Y), clRed);
    }
}

TEST(TintBitmap, TableTintOfARectangle)
{
    auto bmp = SolidBitmap(pf32bit, 10, 6, 0x808080);
    TintBitmap(bmp.get(), nullptr, pf32bit, 0, RECT{2, 1, 5, 3}, clBtnFace);
    TColor face = ColorToRGB(clBtnFace);
    EXPECT_EQ(bmp->Canvas()->Pixel(2, 1), face);
    EXPECT_EQ(bmp->Canvas()->Pixel(4, 2), face);
    EXPECT_EQ(bmp->Canvas()->Pixel(5, 2), 0x808080);
    EXPECT_EQ(bmp->Canvas()->Pixel(2, 3), 0x808080);
}

TEST(BlendBitmaps, BlendsTheWholeBuffers)
{
    auto src = SolidBitmap(pf24bit, 7, 5, clWhite);
    auto dst = SolidBitmap(pf24bit, 7, 5, clBlack);
    auto work = SolidBitmap(pf24bit, 7, 5, clBlue);
    BlendBitmaps(work.get(), dst.get(), src.get(), 0, 128, pf24bit);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(work->Canvas()->Pixel(x, y), 0x7F7F7F);
}

TEST(BlendBitmaps, RefusesBitmapsOfDifferentGeometry)
{
    auto src = SolidBitmap(pf24bit, 7, 5, clWhite);
    auto dst = SolidBitmap(pf24bit, 7, 4, clBlack);
    auto other = SolidBitmap(pf32bit, 7, 5, clBlack);
    EXPECT_THROW(BlendBitmaps(src.get(), dst.get(), src.get(), 0, 10, pf24bit), EAssertionFailed);
    EXPECT_THROW(BlendBitmaps(src.get(), other.get(), src.get(), 0, 10, pf24bit), EAssertionFailed);
}
