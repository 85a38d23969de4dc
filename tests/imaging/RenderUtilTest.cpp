#include <gtest/gtest.h>

#include <windows.h>

#include "imaging/teRender.h"

namespace {

TEST(PixelFormats, BitsAndRowSizes)
{
    struct Case {
        TPixelFormat Format;
        int Bits;
        int Width;
        int RowBytes;
    };
    for (const Case& c : {Case{pfDevice, 0, 7, 0}, Case{pf1bit, 1, 1, 4}, Case{pf1bit, 1, 33, 8},
                          Case{pf4bit, 4, 9, 8}, Case{pf8bit, 8, 5, 8}, Case{pf15bit, 16, 3, 8},
                          Case{pf16bit, 16, 2, 4}, Case{pf24bit, 24, 3, 12}, Case{pf32bit, 32, 3, 12}}) {
        TBitmap b;
        b.SetWidth(c.Width);
        EXPECT_EQ(PixelFormatBits(c.Format), c.Bits) << c.Format;
        EXPECT_EQ(ScanlineByteSize(&b, c.Format, 32), c.RowBytes) << c.Format << " width " << c.Width;
    }
    TBitmap b;
    b.SetWidth(3);
    EXPECT_EQ(ScanlineByteSize(&b, pfCustom, 32), 0);
    EXPECT_EQ(PixelFormatBits(pfCustom), PixelFormatBits(DevicePixelFormat(false)));
}

TEST(PixelFormats, RowSizeMatchesTheBitmapsOwnPitch)
{
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap b;
        PrepareBitmap(&b, nullptr, 13, 2, pf);
        EXPECT_EQ(ScanlineByteSize(&b, pf, 32),
                  static_cast<BYTE*>(b.ScanLine(0)) - static_cast<BYTE*>(b.ScanLine(1)))
            << pf;
    }
}

TEST(PrepareBitmap, EightBitsWithoutPaletteGetsTheSystemPalette)
{
    TBitmap b;
    PrepareBitmap(&b, nullptr, 4, 3, pf8bit);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(b.Width(), 4);
    EXPECT_EQ(b.Height(), 3);
    ASSERT_NE(b.Palette(), nullptr);
    HPALETTE system = CreateSystemPaletteCopy();
    PALETTEENTRY a[256], s[256];
    UINT n = GetPaletteEntries(system, 0, 256, s);
    EXPECT_GT(n, 0u);
    EXPECT_EQ(GetPaletteEntries(b.Palette(), 0, 256, a), n);
    EXPECT_EQ(memcmp(a, s, n * sizeof(PALETTEENTRY)), 0);
    DeleteObject(system);
}

TEST(PrepareBitmap, GivenPaletteIsCopiedAndOneBitIsMonochrome)
{
    HPALETTE pal = CreateSystemPaletteCopy();
    TBitmap b;
    PrepareBitmap(&b, pal, 2, 2, pf8bit);
    EXPECT_NE(b.Palette(), nullptr);
    EXPECT_NE(b.Palette(), pal);
    DeleteObject(pal);
    TBitmap m;
    PrepareBitmap(&m, nullptr, 9, 1, pf1bit);
    EXPECT_TRUE(m.Monochrome());
    EXPECT_EQ(m.Width(), 9);
}

TEST(PrepareBitmap, FilledBitmapIsColouredToItsEdges)
{
    TBitmap b;
    PrepareFilledBitmap(&b, 5, 4, pf32bit, nullptr, clBtnFace);
    EXPECT_EQ(b.Canvas()->Pixel(0, 0), ColorToRGB(clBtnFace));
    EXPECT_EQ(b.Canvas()->Pixel(4, 3), ColorToRGB(clBtnFace));
    EXPECT_EQ(b.Canvas()->LockCount(), 0);
}

TEST(Screen, DepthAndFormatAgree)
{
    int bits = DeviceBitsPerPixel(true);
    TPixelFormat pf = DevicePixelFormat(true);
    EXPECT_EQ(DeviceBitsPerPixel(false), bits);
    EXPECT_EQ(DevicePixelFormat(false), pf);
    EXPECT_EQ(PixelFormatBits(pf), bits == 15 ? 16 : bits);
    EXPECT_EQ(IsPaletteDevice(false), bits == 8);
    EXPECT_EQ(IsHighColorDevice(false), bits > 8);
}

TEST(Screen, HighColourProbeCountsTheGreenBits)
{
    for (TPixelFormat pf : {pf15bit, pf16bit}) {
        TBitmap b;
        PrepareBitmap(&b, nullptr, 2, 2, pf);
        EXPECT_EQ(ProbeHighColorFormat(b.CanvasDC()), pf);
    }
}

TEST(WindowsVersion, Classification)
{
    struct Case {
        DWORD Platform, Major, Minor;
        const wchar_t* Sp;
        TTEOSVersion Expected;
    };
    for (const Case& c : {Case{VER_PLATFORM_WIN32s, 3, 11, L"", ovWin32s},
                          Case{VER_PLATFORM_WIN32_WINDOWS, 4, 0, L"", ovWin95},
                          Case{VER_PLATFORM_WIN32_WINDOWS, 4, 10, L" ", ovWin98},
                          Case{VER_PLATFORM_WIN32_WINDOWS, 4, 10, L"A ", ovWin98SE},
                          Case{VER_PLATFORM_WIN32_WINDOWS, 4, 90, L"", ovWinME},
                          Case{VER_PLATFORM_WIN32_NT, 4, 0, L"Service Pack 6", ovWinNT4},
                          Case{VER_PLATFORM_WIN32_NT, 5, 0, L"", ovWin2000},
                          Case{VER_PLATFORM_WIN32_NT, 5, 1, L"", ovWinXP},
                          Case{VER_PLATFORM_WIN32_NT, 5, 2, L"", ovWin2003},
                          Case{VER_PLATFORM_WIN32_NT, 5, 3, L"", ovUnknown},
                          Case{VER_PLATFORM_WIN32_NT, 6, 3, L"", ovWinVista},
                          Case{VER_PLATFORM_WIN32_NT, 10, 0, L"", ovLater},
                          Case{VER_PLATFORM_WIN32_NT, 3, 51, L"", ovUnknown}})
        EXPECT_EQ(ClassifyOSVersion(c.Platform, c.Major, c.Minor, c.Sp), c.Expected)
            << c.Platform << " " << c.Major << "." << c.Minor;
    EXPECT_GT(OSVersion, ovWinNT4);   // what start-up found here
}

TEST(ScreenCapture, LayeredWindowsJoinOnlyAfterNt4)
{
    EXPECT_EQ(CaptureRasterOp(true, ovWinNT4), static_cast<DWORD>(SRCCOPY));
    EXPECT_EQ(CaptureRasterOp(true, ovWinXP), static_cast<DWORD>(SRCCOPY | CAPTUREBLT));
    EXPECT_EQ(CaptureRasterOp(false, ovLater), static_cast<DWORD>(SRCCOPY));
}

// Real windows under the display.
class WindowQueries : public testing::Test {
protected:
    HWND Make(DWORD style, int x, int y, int w, int h, HWND parent = nullptr, DWORD ex = 0)
    {
        HWND wnd = CreateWindowExW(ex, L"STATIC", L"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
        if (!parent)
            Windows.push_back(wnd);
        return wnd;
    }
    void TearDown() override
    {
        for (HWND w : Windows)
            DestroyWindow(w);
    }
    std::vector<HWND> Windows;
};

TEST_F(WindowQueries, CaptureScreenRectCopiesWhatIsShown)
{
    HWND wnd = Make(WS_POPUP | WS_VISIBLE, 100, 100, 40, 30);
    UpdateWindow(wnd);
    auto settle = [] {
        // Let the window's own painting happen and its surface reach the screen.
        for (int i = 0; i < 10; ++i) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            Sleep(10);
        }
    };
    settle();
    {
        TClientDC dc(wnd);
        TBrushHandle red(CreateSolidBrush(RGB(255, 0, 0)));
        RECT r{0, 0, 40, 30};
        FillRect(dc, &r, red);
    }
    settle();
    auto shot = CaptureScreenRect(Rect(105, 105, 125, 115), pf24bit, true);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->Width(), 20);
    EXPECT_EQ(shot->Height(), 10);
    EXPECT_EQ(shot->PixelFormat(), pf24bit);
    EXPECT_EQ(shot->Canvas()->Pixel(10, 5), clRed);
}

TEST_F(WindowQueries, ObscuredRectangles)
{
    HWND top = Make(WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND child = Make(WS_CHILD | WS_VISIBLE, 10, 10, 100, 100, top);
    HWND sibling = Make(WS_CHILD | WS_VISIBLE, 80, 80, 50, 50, top);
    SetWindowPos(sibling, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    int sw = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int sh = GetSystemMetrics(SM_CYVIRTUALSCREEN);

    EXPECT_FALSE(IsRectObscured(child, nullptr, Rect(10, 10, 60, 60)));
    EXPECT_TRUE(IsRectObscured(child, nullptr, Rect(10, 10, 100, 100)));    // the sibling above covers a corner
    EXPECT_FALSE(IsRectObscured(child, sibling, Rect(10, 10, 100, 100)));   // unless it is ignored
    EXPECT_TRUE(IsRectObscured(child, nullptr, Rect(5, 10, 60, 60)));       // outside the window

    // Another top-level window above the top-level ancestor does not count for a child.
    Make(WS_POPUP | WS_VISIBLE, 20, 20, 30, 30);
    EXPECT_FALSE(IsRectObscured(child, nullptr, Rect(10, 10, 60, 60)));
    EXPECT_TRUE(IsRectObscured(top, nullptr, Rect(10, 10, 60, 60)));

    HWND edge = Make(WS_POPUP | WS_VISIBLE, sw - 50, sh - 50, 60, 60);
    SetWindowPos(edge, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(IsRectObscured(edge, nullptr, Rect(sw - 50, sh - 50, sw, sh)));
    EXPECT_TRUE(IsRectObscured(edge, nullptr, Rect(sw - 50, sh - 50, sw + 1, sh)));   // one pixel past the desktop
}

TEST_F(WindowQueries, RegionLayeredScrollBarsAndClientOffset)
{
    HWND plain = Make(WS_POPUP, 0, 0, 50, 50);
    HWND framed = Make(WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_VSCROLL, 0, 0, 200, 200);
    HWND layered = Make(WS_POPUP, 0, 0, 10, 10, nullptr, WS_EX_LAYERED);

    EXPECT_FALSE(HasWindowRegion(plain));
    SetWindowRgn(plain, CreateEllipticRgn(0, 0, 50, 50), FALSE);   // the window owns the region
    EXPECT_TRUE(HasWindowRegion(plain));

    EXPECT_TRUE(IsLayeredWindow(layered));
    EXPECT_FALSE(IsLayeredWindow(plain));

    POINT p{-1, -1};
    WindowClientOffset(plain, p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    WindowClientOffset(framed, p);
    EXPECT_GT(p.x, 0);
    EXPECT_GT(p.y, p.x);   // the caption is above

    SetScrollRange(framed, SB_VERT, 0, 0, FALSE);
    EXPECT_FALSE(HasVisibleScrollBar(framed, true));
    SetScrollRange(framed, SB_VERT, 0, 100, FALSE);
    EXPECT_TRUE(HasVisibleScrollBar(framed, true));
    EXPECT_FALSE(HasVisibleScrollBar(framed, false));   // no horizontal bar style
}

LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefFrameProcW(wnd, reinterpret_cast<HWND>(GetWindowLongPtrW(wnd, GWLP_USERDATA)), msg, wp, lp);
}

LRESULT CALLBACK ChildProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return DefMDIChildProcW(wnd, msg, wp, lp);
}

TEST_F(WindowQueries, MdiClientWithAMaximizedChild)
{
    WNDCLASSW frameClass{};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.lpszClassName = L"ZulTestMdiFrame";
    RegisterClassW(&frameClass);
    WNDCLASSW childClass{};
    childClass.lpfnWndProc = ChildProc;
    childClass.lpszClassName = L"ZulTestMdiChild";
    RegisterClassW(&childClass);
    HWND frame = CreateWindowExW(0, L"ZulTestMdiFrame", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                            nullptr, nullptr);
    Windows.push_back(frame);
    CLIENTCREATESTRUCT ccs{};
    HWND client = CreateWindowExW(0, L"mdiclient", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 300, 300, frame, nullptr,
                                  nullptr, &ccs);
    ASSERT_NE(client, nullptr);
    SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client));

    MDICREATESTRUCTW mcs{L"ZulTestMdiChild", L"", nullptr, 0, 0, 100, 100, WS_VISIBLE, 0};
    HWND child = reinterpret_cast<HWND>(SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)));
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(IsMDIClientWithMaximizedChild(client));
    SendMessageW(client, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(child), 0);
    EXPECT_TRUE(IsMDIClientWithMaximizedChild(client));
    EXPECT_FALSE(IsMDIClientWithMaximizedChild(frame));   // not an MDI client
    EXPECT_FALSE(IsMDIClientWithMaximizedChild(nullptr));
}

TEST(Composition, AbsentCompositionIsNoError)
{
    // Wine answers FALSE; either way nothing may fail.
    bool enabled = IsCompositionEnabled();
    EXPECT_EQ(IsCompositionEnabled(), enabled);
    HWND wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DisableWindowTransitions(wnd);
    DestroyWindow(wnd);
    EXPECT_NE(UpdateLayeredWindowProc, nullptr);
    EXPECT_NE(SetLayeredWindowAttributesProc, nullptr);
}

TEST(FileVersion, MajorVersionOrZero)
{
    wchar_t sys[MAX_PATH];
    GetSystemDirectoryW(sys, MAX_PATH);
    EXPECT_GT(FileMajorVersion(WideToUtf8(sys) + "\\kernel32.dll"), 0);
    EXPECT_EQ(FileMajorVersion("C:\\no\\such\\file.dll"), 0);
    wchar_t tmp[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    GetTempFileNameW(tmp, L"zul", 0, name);   // an empty file without version information
    EXPECT_EQ(FileMajorVersion(WideToUtf8(name)), 0);
    DeleteFileW(name);
    EXPECT_EQ(GetPackVersion(), "Version 4.1 beta 21");
}

}  // namespace
