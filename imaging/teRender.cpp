#include "imaging/teRender.h"

#include <cpuid.h>
#include <cstring>

bool CpuHasMMX = false;
bool CpuHasMMXExt = false;

void DetectCpuFeatures()
{
    unsigned a, b, c, d;
    CpuHasMMX = CpuHasMMXExt = false;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return;
    char vendor[13];
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    vendor[12] = 0;
    if (a >= 1) {
        __cpuid(1, a, b, c, d);
        CpuHasMMX = (d >> 23) & 1;
        CpuHasMMXExt = (d >> 25) & 1;   // SSE brings the MMX extensions
    }
    if (std::strcmp(vendor, "AuthenticAMD") == 0 && __get_cpuid_max(0x80000000u, nullptr) >= 0x80000001u) {
        __cpuid(0x80000001u, a, b, c, d);
        if ((d >> 22) & 1)
            CpuHasMMXExt = true;
    }
}

// ---- Windows version -----------------------------------------------------------------

TTEOSVersion OSVersion = ovUnknown;

TTEOSVersion ClassifyOSVersion(DWORD platformId, DWORD major, DWORD minor, const wchar_t* servicePack)
{
    switch (platformId) {
    case VER_PLATFORM_WIN32s:
        return ovWin32s;
    case VER_PLATFORM_WIN32_WINDOWS:
        if (major == 4 && minor == 0)
            return ovWin95;
        if (major == 4 && minor == 10)
            return (servicePack && servicePack[0] == L'A') ? ovWin98SE : ovWin98;
        if (major == 4 && minor == 90)
            return ovWinME;
        return ovUnknown;
    case VER_PLATFORM_WIN32_NT:
        if (major == 4)
            return ovWinNT4;
        if (major == 5) {
            switch (minor) {
            case 0: return ovWin2000;
            case 1: return ovWinXP;
            case 2: return ovWin2003;
            default: return ovUnknown;
            }
        }
        if (major == 6)
            return ovWinVista;
        return major > 6 ? ovLater : ovUnknown;
    default:
        return ovUnknown;
    }
}

namespace {

TTEOSVersion DetectOSVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    // The kernel's own answer is not bent by compatibility shims.
    using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto rtl = reinterpret_cast<TRtlGetVersion>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
    bool ok = rtl && rtl(&info) == 0;
    if (!ok) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        ok = GetVersionExW(&info) != 0;
#pragma GCC diagnostic pop
    }
    if (!ok)
        return ovUnknown;
    return ClassifyOSVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion);
}

// ---- composition library ----

HMODULE gDwmLibrary = nullptr;
bool gDwmLooked = false;
using TDwmIsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
using TDwmSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
TDwmIsCompositionEnabled gDwmIsCompositionEnabled = nullptr;
TDwmSetWindowAttribute gDwmSetWindowAttribute = nullptr;

void LoadDwm()
{
    if (gDwmLooked)
        return;
    gDwmLooked = true;
    if (OSVersion <= ovWin2003)
        return;
    gDwmLibrary = LoadLibraryW(L"DWMAPI.DLL");
    if (!gDwmLibrary)
        return;
    gDwmIsCompositionEnabled =
        reinterpret_cast<TDwmIsCompositionEnabled>(GetProcAddress(gDwmLibrary, "DwmIsCompositionEnabled"));
    gDwmSetWindowAttribute =
        reinterpret_cast<TDwmSetWindowAttribute>(GetProcAddress(gDwmLibrary, "DwmSetWindowAttribute"));
}

int gDeviceBits = 0;
TPixelFormat gDeviceFormat = pf24bit;
int gNesting = 0;

}  // namespace

TUpdateLayeredWindowProc UpdateLayeredWindowProc = nullptr;
TGetLayeredWindowAttributesProc GetLayeredWindowAttributesProc = nullptr;
TSetLayeredWindowAttributesProc SetLayeredWindowAttributesProc = nullptr;

bool IsCompositionEnabled()
{
    LoadDwm();
    BOOL enabled = FALSE;
    return gDwmIsCompositionEnabled && SUCCEEDED(gDwmIsCompositionEnabled(&enabled)) && enabled;
}

void DisableWindowTransitions(HWND wnd)
{
    if (!IsCompositionEnabled() || !gDwmSetWindowAttribute)
        return;
    const int32_t value = -1;
    gDwmSetWindowAttribute(wnd, 3 /* DWMWA_TRANSITIONS_FORCEDISABLED */, &value, sizeof(value));
}

// ---- bitmaps and pixel formats ----------------------------------------------------------

int PixelFormatBits(TPixelFormat pf)
{
    if (pf == pfCustom) {
        TPixelFormat dev = DevicePixelFormat(false);
        return dev == pfCustom ? 0 : StoredBitsPerPixel(dev);
    }
    return StoredBitsPerPixel(pf);
}

int ScanlineByteSize(const TBitmap* bitmap, TPixelFormat pf, int alignBits)
{
    if (pf == pfDevice || pf == pfCustom || alignBits <= 0)
        return 0;
    int bits = bitmap->Width() * PixelFormatBits(pf);
    return ((bits + alignBits - 1) & ~(alignBits - 1)) / 8;
}

HPALETTE CreateSystemPaletteCopy()
{
    TClientDC screen;
    int size = GetDeviceCaps(screen, SIZEPALETTE);
    if (size > 256)
        size = 256;
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[256];
    } lp{};
    lp.version = 0x300;
    int got = size > 0 ? static_cast<int>(GetSystemPaletteEntries(screen, 0, size, lp.entries)) : 0;
    if (got <= 0) {
        // A true-colour screen has no system palette to read: the default static colours
        // stand in, so the bitmap still gets a usable palette.
        got = GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, lp.entries);
    }
    lp.count = static_cast<WORD>(got);
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    if (!pal)
        throw EOutOfResourcesGdi("Out of system resources");
    return pal;
}

void PrepareBitmap(TBitmap* bitmap, HPALETTE palette, int width, int height, TPixelFormat pf)
{
    bitmap->SetPixelFormat(pf);
    if (pf == pf1bit)
        bitmap->SetMonochrome(true);
    else if (pf == pf8bit) {
        if (palette)
            bitmap->SetPalette(palette);
        else
            bitmap->AdoptPalette(CreateSystemPaletteCopy());
    }
    bitmap->SetWidth(width);
    bitmap->SetHeight(height);
}

void PrepareFilledBitmap(TBitmap* bitmap, int width, int height, TPixelFormat pf, HPALETTE palette, TColor color)
{
    TCanvas* canvas = bitmap->Canvas();
    canvas->Lock();
    try {
        PrepareBitmap(bitmap, palette, width, height, pf);
        canvas->Brush()->SetColor(color);
        canvas->Brush()->SetStyle(bsSolid);
        canvas->FillRect(Rect(0, 0, width + 1, height + 1));
    } catch (...) {
        canvas->Unlock();
        throw;
    }
    canvas->Unlock();
}

// ---- the screen -------------------------------------------------------------------------

TPixelFormat ProbeHighColorFormat(HDC dc)
{
    TMemoryDC mem(dc);
    TBitmapHandle bmp(CreateCompatibleBitmap(dc, 10, 10));
    if (!bmp)
        return pf16bit;
    mem.SelectBitmap(bmp);
    int changes = 0;
    int prev = 255;
    for (int i = 0; i < 256; ++i) {
        SetPixel(mem, 1, 1, RGB(0, i, 0));
        int g = GetGValue(GetPixel(mem, 1, 1));
        if (g != prev)
            ++changes;
        prev = g;
    }
    mem.RestoreAll();
    return changes > 32 ? pf16bit : pf15bit;
}

int DeviceBitsPerPixel(bool refresh)
{
    if (refresh) {
        TClientDC screen;
        gDeviceBits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    }
    return gDeviceBits;
}

TPixelFormat DevicePixelFormat(bool refresh)
{
    if (refresh) {
        switch (DeviceBitsPerPixel(true)) {
        case 1: gDeviceFormat = pf1bit; break;
        case 4: gDeviceFormat = pf4bit; break;
        case 8: gDeviceFormat = pf8bit; break;
        case 15: gDeviceFormat = pf15bit; break;
        case 16: {
            TClientDC screen;
            gDeviceFormat = ProbeHighColorFormat(screen);
            break;
        }
        case 32: gDeviceFormat = pf32bit; break;
        default: gDeviceFormat = pf24bit; break;
        }
    }
    return gDeviceFormat;
}

bool IsPaletteDevice(bool refresh)
{
    return DeviceBitsPerPixel(refresh) == 8;
}

bool IsHighColorDevice(bool refresh)
{
    return DeviceBitsPerPixel(refresh) > 8;
}

DWORD CaptureRasterOp(bool includeLayered, TTEOSVersion os)
{
    return includeLayered && os > ovWinNT4 ? (SRCCOPY | CAPTUREBLT) : SRCCOPY;
}

std::unique_ptr<TBitmap> CaptureScreenRect(const RECT& r, TPixelFormat pf, bool includeLayered)
{
    TClientDC screen;
    auto bmp = std::make_unique<TBitmap>();
    PrepareBitmap(bmp.get(), nullptr, RectWidth(r), RectHeight(r), pf);
    TCanvas* canvas = bmp->Canvas();
    canvas->Lock();
    BOOL ok = BitBlt(canvas->Handle(), 0, 0, RectWidth(r), RectHeight(r), screen, r.left, r.top,
                     CaptureRasterOp(includeLayered, OSVersion));
    canvas->Unlock();
    if (!ok && !bmp->Empty())
        RaiseLastOSError();
    return bmp;
}

// ---- windows ----------------------------------------------------------------------------

void WindowClientOffset(HWND wnd, POINT& p)
{
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    RECT wr{};
    GetWindowRect(wnd, &wr);
    p.x = origin.x - wr.left;
    p.y = origin.y - wr.top;
}

bool HasWindowRegion(HWND wnd)
{
    TRegionHandle rgn(CreateRectRgn(0, 0, 0, 0));
    return rgn && GetWindowRgn(wnd, rgn) != ERROR;
}

bool IsLayeredWindow(HWND wnd)
{
    return (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
}

bool HasVisibleScrollBar(HWND wnd, bool vertical)
{
    LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    if (!(style & (vertical ? WS_VSCROLL : WS_HSCROLL)))
        return false;
    int lo = 0, hi = 0;
    if (!GetScrollRange(wnd, vertical ? SB_VERT : SB_HORZ, &lo, &hi))
        return false;
    return lo != 0 || hi != 0;
}

namespace {
bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
bool Meets(const RECT& a, const RECT& b)
{
    RECT x;
    return IntersectRect(&x, &a, &b) != 0;
}
}  // namespace

bool IsRectObscured(HWND wnd, HWND ignoreWnd, const RECT& r)
{
    RECT wr{};
    GetWindowRect(wnd, &wr);
    if (!Contains(wr, r))
        return true;
    RECT desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    desktop.right = desktop.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    desktop.bottom = desktop.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (!Contains(desktop, r))
        return true;
    HWND current = wnd;
    for (;;) {
        for (HWND w = GetWindow(current, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
            if (w == ignoreWnd || !IsWindowVisible(w))
                continue;
            RECT sr{};
            GetWindowRect(w, &sr);
            if (Meets(sr, r))
                return true;
        }
        HWND parent = GetAncestor(current, GA_PARENT);
        if (!parent || parent == GetDesktopWindow() || !(GetWindowLongPtrW(parent, GWL_STYLE) & WS_CHILD))
            return false;
        if (parent != ignoreWnd) {
            RECT pr{};
            GetWindowRect(parent, &pr);
            if (!Contains(pr, r))
                return true;
        }
        current = parent;
    }
}

bool IsMDIClientWithMaximizedChild(HWND wnd)
{
    wchar_t name[32];
    if (!wnd || !GetClassNameW(wnd, name, 32) || !SameText(WideToUtf8(name), "MDICLIENT"))
        return false;
    // Only the active child can be maximized: the others are restored when it is.
    BOOL maximized = FALSE;
    HWND active = reinterpret_cast<HWND>(SendMessageW(wnd, WM_MDIGETACTIVE, 0, reinterpret_cast<LPARAM>(&maximized)));
    return active && maximized;
}

// ---- files and version ------------------------------------------------------------------

int FileMajorVersion(const String& fileName)
{
    std::wstring name = Utf8ToWide(fileName);
    DWORD dummy = 0;
    DWORD size = GetFileVersionInfoSizeW(name.c_str(), &dummy);
    if (size == 0)
        return 0;
    std::unique_ptr<BYTE[]> data(new BYTE[size]);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, data.get()))
        return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&info), &len) || !info || len < sizeof(*info))
        return 0;
    return HIWORD(info->dwFileVersionMS);
}

String GetPackVersion()
{
    return "Version 4.1 beta 21";
}

// ---- start-up and shut-down ---------------------------------------------------------------

void teRenderInitialize()
{
    if (gNesting++ > 0)
        return;
    HMODULE user = GetModuleHandleW(L"User32.dll");
    if (user) {
        UpdateLayeredWindowProc = reinterpret_cast<TUpdateLayeredWindowProc>(GetProcAddress(user, "UpdateLayeredWindow"));
        GetLayeredWindowAttributesProc =
            reinterpret_cast<TGetLayeredWindowAttributesProc>(GetProcAddress(user, "GetLayeredWindowAttributes"));
        SetLayeredWindowAttributesProc =
            reinterpret_cast<TSetLayeredWindowAttributesProc>(GetProcAddress(user, "SetLayeredWindowAttributes"));
    }
    DevicePixelFormat(true);
    DetectCpuFeatures();
    OSVersion = DetectOSVersion();
}

void teRenderFinalize()
{
    if (--gNesting > 0)
        return;
    if (gDwmLibrary) {
        FreeLibrary(gDwmLibrary);
        gDwmLibrary = nullptr;
    }
    gDwmIsCompositionEnabled = nullptr;
    gDwmSetWindowAttribute = nullptr;
    gDwmLooked = false;
}
