#pragma once
// Bitmap and display utilities, processor and Windows-version flags, window queries.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/Graphics.h"

// Processor features, filled at start-up from CPUID.
extern bool CpuHasMMX;
extern bool CpuHasMMXExt;   // SSE, or AMD's MMX extensions

void DetectCpuFeatures();

// ---- Windows version -----------------------------------------------------------------

// Other units compare these by order (later than ovWinNT4, ...): keep it.
enum TTEOSVersion : uint8_t {
    ovUnknown,
    ovWin32s,
    ovWin95,
    ovWin98,
    ovWin98SE,
    ovWinME,
    ovWinNT4,
    ovWin2000,
    ovWinXP,
    ovWin2003,
    ovWinVista,
    ovLater
};

extern TTEOSVersion OSVersion;

// Classification of a platform id (VER_PLATFORM_*), version and service-pack text.
TTEOSVersion ClassifyOSVersion(DWORD platformId, DWORD major, DWORD minor, const wchar_t* servicePack);

// ---- layered windows and composition --------------------------------------------------

using TUpdateLayeredWindowProc = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
using TGetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
using TSetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// Looked up in User32 at start-up so that the module loads where they are missing.
extern TUpdateLayeredWindowProc UpdateLayeredWindowProc;
extern TGetLayeredWindowAttributesProc GetLayeredWindowAttributesProc;
extern TSetLayeredWindowAttributesProc SetLayeredWindowAttributesProc;

// Desktop composition, when the system has it (false or nothing otherwise).
bool IsCompositionEnabled();
// Switches off the desktop's own show and hide animation of Wnd.
void DisableWindowTransitions(HWND wnd);

// ---- bitmaps and pixel formats ----------------------------------------------------------

// Bits per pixel: pfDevice 0, pf15bit 16, pfCustom those of the screen's format.
int PixelFormatBits(TPixelFormat pf);
// Bytes of one row of Bitmap's width in PixelFormat, rows padded to AlignBits
// (32 for a device-independent bitmap). 0 for pfDevice and pfCustom.
int ScanlineByteSize(const TBitmap* bitmap, TPixelFormat pf, int alignBits);

// Format first (pf1bit monochrome, pf8bit with Palette or a copy of the system
// palette), then width and height. Every work bitmap is made this way.
void PrepareBitmap(TBitmap* bitmap, HPALETTE palette, int width, int height, TPixelFormat pf);
// PrepareBitmap, then the whole bitmap filled with Color.
void PrepareFilledBitmap(TBitmap* bitmap, int width, int height, TPixelFormat pf, HPALETTE palette, TColor color);
// A palette with the screen's current system palette entries (at most 256); the caller owns it.
HPALETTE CreateSystemPaletteCopy();

// ---- the screen -------------------------------------------------------------------------

// Refresh true measures the screen again; false returns the value cached at start-up.
int DeviceBitsPerPixel(bool refresh);
TPixelFormat DevicePixelFormat(bool refresh);
bool IsPaletteDevice(bool refresh);     // 8 bits per pixel
bool IsHighColorDevice(bool refresh);   // more than 8 bits per pixel
// pf15bit or pf16bit: how many bits of green a bitmap compatible with DC keeps.
TPixelFormat ProbeHighColorFormat(HDC dc);

// Raster operation of a screen capture: CAPTUREBLT joins SRCCOPY for layered windows
// on systems later than NT 4.
DWORD CaptureRasterOp(bool includeLayered, TTEOSVersion os);
// A new bitmap of R's size in PF holding that area of the screen.
std::unique_ptr<TBitmap> CaptureScreenRect(const RECT& r, TPixelFormat pf, bool includeLayered);

// ---- windows ----------------------------------------------------------------------------

// Position of the client area's top-left corner inside the window rectangle.
void WindowClientOffset(HWND wnd, POINT& p);
bool HasWindowRegion(HWND wnd);
bool IsLayeredWindow(HWND wnd);
// The window shows that scroll bar with a non-empty range.
bool HasVisibleScrollBar(HWND wnd, bool vertical);
// Whether screen rectangle R of Wnd cannot be taken from the screen unchanged: outside
// the window or the desktop, or covered by a sibling above Wnd or above one of its
// child-window ancestors. IgnoreWnd never counts as covering.
bool IsRectObscured(HWND wnd, HWND ignoreWnd, const RECT& r);

// Wnd is an MDI client window ("MDICLIENT", any letter case) whose active child is maximized.
bool IsMDIClientWithMaximizedChild(HWND wnd);

// ---- files and version ------------------------------------------------------------------

// Major version of a file's fixed version information; 0 without one.
int FileMajorVersion(const String& fileName);
String GetPackVersion();

// Start-up and shut-down of the unit (they nest; only the outermost pair acts).
void teRenderInitialize();
void teRenderFinalize();
