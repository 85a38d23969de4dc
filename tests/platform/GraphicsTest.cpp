#include <gtest/gtest.h>

#include <cstring>

#include "platform/Graphics.h"

namespace {

struct FormatCase {
    TPixelFormat Format;
    int Pitch3;   // row bytes of a 3-pixel-wide bitmap
};

class BitmapFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(BitmapFormat, RowsAreBottomUpAndPaddedTo32Bits)
{
    TBitmap b;
    b.SetPixelFormat(GetParam().Format);
    b.SetSize(3, 4);
    ASSERT_EQ(b.PixelFormat(), GetParam().Format);
    EXPECT_EQ(b.RowBytes(), GetParam().Pitch3);
    auto* r0 = static_cast<BYTE*>(b.ScanLine(0));
    auto* r1 = static_cast<BYTE*>(b.ScanLine(1));
    EXPECT_EQ(r0 - r1, GetParam().Pitch3);   // row 0 is last in memory
}

TEST_P(BitmapFormat, NewBitmapIsWhiteAndCanvasDrawsIntoItsBits)
{
    TBitmap b;
    b.SetPixelFormat(GetParam().Format);
    b.SetSize(3, 4);
    EXPECT_EQ(b.Canvas()->Pixel(2, 3) & 0xFFFFFF, clWhite);
    b.Canvas()->Brush()->SetColor(clBlack);
    b.Canvas()->FillRect(Rect(0, 0, 3, 4));
    EXPECT_EQ(b.Canvas()->Pixel(2, 3) & 0xFFFFFF, clBlack);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitmapFormat,
                         testing::Values(FormatCase{pf1bit, 4}, FormatCase{pf4bit, 4}, FormatCase{pf8bit, 4},
                                         FormatCase{pf15bit, 8}, FormatCase{pf16bit, 8}, FormatCase{pf24bit, 12},
                                         FormatCase{pf32bit, 12}));

TEST(Bitmap, HighColourFormatsUseTheirGreenMasks)
{
    for (auto [pf, white] : {std::pair{pf15bit, 0x7FFF}, std::pair{pf16bit, 0xFFFF}}) {
        TBitmap b;
        b.SetPixelFormat(pf);
        b.SetSize(2, 1);
        uint16_t px;
        std::memcpy(&px, b.ScanLine(0), 2);
        EXPECT_EQ(px, white) << pf;
        b.Canvas()->SetPixel(0, 0, RGB(0, 255, 0));
        std::memcpy(&px, b.ScanLine(0), 2);
        EXPECT_EQ(px, pf == pf15bit ? 0x03E0 : 0x07E0) << pf;
    }
}

TEST(Bitmap, TrueColourPixelsAreBgr)
{
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    b.Canvas()->SetPixel(1, 0, RGB(10, 20, 30));
    auto* row = static_cast<BYTE*>(b.ScanLine(0));
    EXPECT_EQ(row[3], 30);
    EXPECT_EQ(row[4], 20);
    EXPECT_EQ(row[5], 10);
}

TEST(Bitmap, SizeAndFormatChangesKeepThePicture)
{
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(4, 4);
    b.Canvas()->Brush()->SetColor(clRed);
    b.Canvas()->FillRect(Rect(0, 0, 4, 4));
    b.SetWidth(8);
    b.SetHeight(6);
    EXPECT_EQ(b.Canvas()->Pixel(3, 3), clRed);
    EXPECT_EQ(b.Canvas()->Pixel(7, 5), clWhite);
    b.SetPixelFormat(pf32bit);
    EXPECT_EQ(b.Canvas()->Pixel(3, 3), clRed);
    auto* row = static_cast<BYTE*>(b.ScanLine(0));
    EXPECT_EQ(row[2], 0xFF);   // red byte of the first pixel
    b.SetPixelFormat(pfDevice);
    EXPECT_EQ(b.Canvas()->Pixel(0, 0), clRed);
    b.SetSize(0, 0);
    EXPECT_TRUE(b.Empty());
    b.SetSize(2, 2);
    EXPECT_EQ(b.Canvas()->Pixel(1, 1), clWhite);
}

TEST(Bitmap, ImpossibleSizesFailCleanlyAndKeepThePicture)
{
    TBitmap b;
    b.SetPixelFormat(pf32bit);
    b.SetSize(3, 3);
    b.Canvas()->SetPixel(1, 1, clRed);
    EXPECT_THROW(b.SetSize(200000, 200000), EOutOfResources);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Canvas()->Pixel(1, 1), clRed);
    b.SetSize(-5, 2);
    EXPECT_EQ(b.Width(), 0);
    EXPECT_TRUE(b.Empty());
    EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, ScanLineRefusesBadRowsAndDeviceBitmaps)
{
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(2, 2);
    EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
    b.SetPixelFormat(pfDevice);
    EXPECT_THROW(b.ScanLine(0), EInvalidGraphicOperation);
}

TEST(Bitmap, PaletteIsTheBitmapsOwnCopyAndKeepsIndexes)
{
    struct {
        WORD v, n;
        PALETTEENTRY e[2];
    } lp{0x300, 2, {{255, 0, 0, 0}, {0, 0, 255, 0}}};
    HPALETTE mine = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(2, 1);
    static_cast<BYTE*>(b.ScanLine(0))[0] = 1;
    static_cast<BYTE*>(b.ScanLine(0))[1] = 0;
    b.SetPalette(mine);
    EXPECT_NE(b.Palette(), mine);
    DeleteObject(mine);   // the bitmap does not depend on the caller's handle
    EXPECT_EQ(b.Canvas()->Pixel(0, 0), clBlue);
    EXPECT_EQ(b.Canvas()->Pixel(1, 0), clRed);
    EXPECT_EQ(static_cast<BYTE*>(b.ScanLine(0))[0], 1);
    PALETTEENTRY pe{};
    HPALETTE copy = b.CopyPalette();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(GetPaletteEntries(copy, 1, 1, &pe), 1u);
    EXPECT_EQ(pe.peBlue, 255);
    DeleteObject(copy);
}

TEST(Bitmap, MonochromeIsOneBitBlackAndWhite)
{
    TBitmap b;
    b.SetSize(3, 3);
    b.SetMonochrome(true);
    EXPECT_EQ(b.PixelFormat(), pf1bit);
    EXPECT_TRUE(b.Monochrome());
    b.Canvas()->SetPixel(0, 0, clBlack);
    EXPECT_EQ(b.Canvas()->Pixel(0, 0), clBlack);
    EXPECT_EQ(b.Canvas()->Pixel(1, 0), clWhite);
    b.SetMonochrome(false);
    EXPECT_EQ(b.PixelFormat(), pfDevice);
}

TEST(Bitmap, AssignCopiesSizeFormatAndPixels)
{
    TBitmap a, b;
    a.SetPixelFormat(pf32bit);
    a.SetSize(5, 3);
    a.Canvas()->SetPixel(4, 2, clLime);
    b.Assign(&a);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_EQ(b.Canvas()->Pixel(4, 2), clLime);
}

class CanvasTest : public testing::Test {
protected:
    void SetUp() override
    {
        B.SetPixelFormat(pf24bit);
        B.SetSize(20, 20);
        C = B.Canvas();
    }
    TBitmap B;
    TCanvas* C = nullptr;
};

TEST_F(CanvasTest, ExcludedAreaIsLeftAloneUntilTheClipIsReset)
{
    C->ExcludeClipRect(Rect(5, 5, 10, 10));
    C->Brush()->SetColor(clBlue);
    C->FillRect(Rect(0, 0, 20, 20));
    EXPECT_EQ(C->Pixel(7, 7), clWhite);
    EXPECT_EQ(C->Pixel(4, 4), clBlue);
    C->ResetClip();
    C->FillRect(Rect(0, 0, 20, 20));
    EXPECT_EQ(C->Pixel(7, 7), clBlue);
}

TEST_F(CanvasTest, WindowOriginShiftsDrawing)
{
    POINT old = C->SetWindowOrg(POINT{-10, -5});
    EXPECT_EQ(old.x, 0);
    C->Brush()->SetColor(clRed);
    C->FillRect(Rect(0, 0, 2, 2));
    C->SetWindowOrg(old);
    EXPECT_EQ(C->Pixel(10, 5), clRed);
    EXPECT_EQ(C->Pixel(0, 0), clWhite);
    C->SetViewportOrg(POINT{3, 3});
    C->SetPixel(0, 0, clBlack);
    C->SetViewportOrg(POINT{0, 0});
    EXPECT_EQ(C->Pixel(3, 3), clBlack);
}

TEST_F(CanvasTest, ShapesUsePenAndBrush)
{
    C->Pen()->SetColor(clRed);
    C->Brush()->SetColor(clBlue);
    C->Rectangle(2, 2, 12, 12);
    EXPECT_EQ(C->Pixel(2, 2), clRed);
    EXPECT_EQ(C->Pixel(6, 6), clBlue);
    C->Brush()->SetStyle(bsClear);
    C->Ellipse(0, 0, 20, 20);   // clear brush: inside unchanged
    EXPECT_EQ(C->Pixel(6, 6), clBlue);
    C->MoveTo(0, 19);
    C->LineTo(19, 19);
    EXPECT_EQ(C->Pixel(10, 19), clRed);
    EXPECT_EQ(C->PenPos().x, 19);
    std::vector<POINT> tri{{14, 0}, {19, 0}, {19, 5}};
    C->Brush()->SetColor(clLime);
    C->Polygon(tri);
    EXPECT_EQ(C->Pixel(18, 1), clLime);
}

TEST_F(CanvasTest, DrawCopyRectAndStretchDraw)
{
    TBitmap src;
    src.SetPixelFormat(pf24bit);
    src.SetSize(2, 2);
    src.Canvas()->Brush()->SetColor(clRed);
    src.Canvas()->FillRect(Rect(0, 0, 2, 2));
    C->Draw(5, 5, &src);
    EXPECT_EQ(C->Pixel(6, 6), clRed);
    EXPECT_EQ(C->Pixel(7, 7), clWhite);
    C->StretchDraw(Rect(10, 10, 20, 20), &src);
    EXPECT_EQ(C->Pixel(19, 19), clRed);
    C->SetCopyMode(NOTSRCCOPY);
    C->CopyRect(Rect(0, 0, 2, 2), src.Canvas(), Rect(0, 0, 2, 2));
    EXPECT_EQ(C->Pixel(0, 0), clAqua);   // inverted red
}

TEST_F(CanvasTest, PatternBrushTilesItsBitmap)
{
    TBitmap pattern;
    pattern.SetPixelFormat(pf24bit);
    pattern.SetSize(2, 2);
    pattern.Canvas()->SetPixel(0, 0, clBlack);
    pattern.Canvas()->SetPixel(1, 1, clBlack);
    C->Brush()->SetBitmap(&pattern);
    C->FillRect(Rect(0, 0, 20, 20));
    EXPECT_EQ(C->Pixel(4, 4), clBlack);
    EXPECT_EQ(C->Pixel(5, 4), clWhite);
    C->Brush()->SetBitmap(nullptr);
}

DWORD WINAPI TryLockElsewhere(LPVOID p)
{
    auto* arg = static_cast<std::pair<TCanvas*, bool*>*>(p);
    *arg->second = arg->first->TryLock();
    if (*arg->second)
        arg->first->Unlock();
    return 0;
}

TEST(Canvas, LockIsCountedAndExclusive)
{
    TBitmap b;
    TCanvas* c = b.Canvas();
    c->Lock();
    c->Lock();
    EXPECT_EQ(c->LockCount(), 2);
    bool other = true;
    std::pair<TCanvas*, bool*> arg(c, &other);
    HANDLE t = CreateThread(nullptr, 0, TryLockElsewhere, &arg, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    EXPECT_FALSE(other);
    c->Unlock();
    c->Unlock();
    EXPECT_EQ(c->LockCount(), 0);
}

TEST(Colors, SystemColoursBecomeRgb)
{
    EXPECT_EQ(ColorToRGB(clBtnFace), static_cast<TColor>(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(ColorToRGB(clRed), clRed);
    EXPECT_EQ(ColorToRGB(clNone), clNone);
}

}  // namespace
