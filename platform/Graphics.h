#pragma once
// Graphics types of the class library stand-in: colours, pixel formats, GDI handle
// owners, pens, brushes, fonts, canvases and device-independent bitmaps.

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/SysUtils.h"

// $00BBGGRR; negative values name system colours (clBtnFace = clSystemColor | COLOR_BTNFACE).
using TColor = int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = clSystemColor | COLOR_3DLIGHT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;

// A system colour becomes its current RGB value; other values are returned unchanged.
TColor ColorToRGB(TColor color);

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits one pixel takes in a device-independent bitmap of the format; 0 for the
// formats whose size depends on the screen (pfDevice, pfCustom).
int StoredBitsPerPixel(TPixelFormat pf);

ZUL_EXCEPTION_CLASS(EInvalidGraphic, Exception);
ZUL_EXCEPTION_CLASS(EInvalidGraphicOperation, Exception);   // "Scan line index out of range", ...
ZUL_EXCEPTION_CLASS(EOutOfResourcesGdi, EOutOfResources);   // a GDI object could not be made

// ---- handle owners ---------------------------------------------------------------

// Owns one GDI object (pen, brush, font, bitmap, region, palette) and deletes it.
template <class H>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(H h) : FHandle(h) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    TGdiObject(TGdiObject&& o) noexcept : FHandle(o.Release()) {}
    TGdiObject& operator=(TGdiObject&& o) noexcept
    {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    H Get() const { return FHandle; }
    operator H() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    H Release() { return std::exchange(FHandle, nullptr); }
    void Reset(H h = nullptr)
    {
        if (FHandle && FHandle != h)
            DeleteObject(FHandle);
        FHandle = h;
    }

private:
    H FHandle = nullptr;
};
using TBitmapHandle = TGdiObject<HBITMAP>;
using TBrushHandle = TGdiObject<HBRUSH>;
using TPenHandle = TGdiObject<HPEN>;
using TFontHandle = TGdiObject<HFONT>;
using TRegionHandle = TGdiObject<HRGN>;
using TPaletteHandle = TGdiObject<HPALETTE>;

// The screen's (or a window's) DC for one scope.
class TClientDC {
public:
    explicit TClientDC(HWND wnd = nullptr);
    ~TClientDC();
    TClientDC(const TClientDC&) = delete;
    TClientDC& operator=(const TClientDC&) = delete;
    HDC Get() const { return FDC; }
    operator HDC() const { return FDC; }

private:
    HWND FWnd;
    HDC FDC;
};

// A memory DC that puts back what it selected (objects and palette) before it goes.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC compatible = nullptr);
    ~TMemoryDC();
    TMemoryDC(const TMemoryDC&) = delete;
    TMemoryDC& operator=(const TMemoryDC&) = delete;
    HDC Get() const { return FDC; }
    operator HDC() const { return FDC; }
    void SelectBitmap(HBITMAP bmp);
    void SelectPalette(HPALETTE pal, bool background);
    void RestoreAll();

private:
    HDC FDC;
    HGDIOBJ FOldBitmap = nullptr;
    HPALETTE FOldPalette = nullptr;
    bool FBitmapSelected = false;
    bool FPaletteSelected = false;
};

// Selects an object into a DC for one scope.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(obj ? SelectObject(dc, obj) : nullptr) {}
    ~TSelectObject()
    {
        if (FOld)
            SelectObject(FDC, FOld);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// ---- pens, brushes, fonts ---------------------------------------------------------------

class TBitmap;

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A graphics object's handle is made on first use and remade after a change.
class TPen {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor c) { Change(FColor, c); }
    int Width() const { return FWidth; }
    void SetWidth(int w) { Change(FWidth, w < 1 ? 1 : w); }
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle s) { Change(FStyle, s); }
    HPEN Handle();

private:
    template <class T>
    void Change(T& field, T v)
    {
        if (field != v) {
            field = v;
            FHandle.Reset();
        }
    }
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
    TPenHandle FHandle;
};

class TBrush {
public:
    TColor Color() const { return FColor; }
    // Setting a colour turns a clear brush solid, as the platform does.
    void SetColor(TColor c);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle s);
    // Pattern bitmap (not owned); while set it takes the place of colour and style.
    TBitmap* Bitmap() const { return FBitmap; }
    void SetBitmap(TBitmap* b);
    HBRUSH Handle();

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
    TBitmap* FBitmap = nullptr;
    TBrushHandle FHandle;
};

class TFont {
public:
    String Name() const { return FName; }
    void SetName(const String& n);
    // Height in pixels: negative for character height, as LOGFONT.
    int Height() const { return FHeight; }
    void SetHeight(int h);
    int Size() const;   // points, at the screen's resolution
    void SetSize(int points);
    TColor Color() const { return FColor; }
    void SetColor(TColor c) { FColor = c; }
    unsigned Style() const { return FStyle; }
    void SetStyle(unsigned s);
    HFONT Handle();

private:
    String FName = "Tahoma";
    int FHeight = -11;
    TColor FColor = clWindowText;
    unsigned FStyle = 0;
    TFontHandle FHandle;
};

// ---- canvas -----------------------------------------------------------------------

// Drawing on a device context. A plain TCanvas draws on an HDC it is given (not owned);
// a bitmap's canvas draws on the bitmap's own memory DC. Pen, brush and font are
// selected for each operation and put back after it, so nothing stays selected.
class TCanvas {
public:
    TCanvas();
    explicit TCanvas(HDC dc);
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    HDC Handle();
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return FHandle != nullptr; }

    TPen* Pen() { return &FPen; }
    TBrush* Brush() { return &FBrush; }
    TFont* Font() { return &FFont; }
    DWORD CopyMode() const { return FCopyMode; }
    void SetCopyMode(DWORD rop) { FCopyMode = rop; }

    // Serialises the canvas between threads; the owner's DC stays while locked.
    void Lock();
    bool TryLock();
    void Unlock();
    int LockCount() const { return FLockCount; }

    void FillRect(const RECT& r);
    void FrameRect(const RECT& r);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void Ellipse(int x1, int y1, int x2, int y2);
    void Ellipse(const RECT& r) { Ellipse(r.left, r.top, r.right, r.bottom); }
    void Polygon(const POINT* points, int count);
    void Polygon(const std::vector<POINT>& points) { Polygon(points.data(), static_cast<int>(points.size())); }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    POINT PenPos() const { return FPenPos; }
    void TextOut(int x, int y, const String& text);
    SIZE TextExtent(const String& text);
    int TextWidth(const String& text) { return TextExtent(text).cx; }
    int TextHeight(const String& text) { return TextExtent(text).cy; }
    TColor Pixel(int x, int y);
    void SetPixel(int x, int y, TColor c);

    void Draw(int x, int y, TBitmap* bitmap);
    void StretchDraw(const RECT& dest, TBitmap* bitmap);
    void CopyRect(const RECT& dest, TCanvas* source, const RECT& src);

    // Clipping.
    void ExcludeClipRect(const RECT& r);
    void IntersectClipRect(const RECT& r);
    void SelectClipRgn(HRGN rgn);   // copied by the system; nullptr resets
    void ResetClip() { SelectClipRgn(nullptr); }
    RECT ClipRect();

    // Origins (logical point (0,0) maps to the viewport origin minus the window origin).
    POINT WindowOrg();
    POINT SetWindowOrg(POINT p);   // returns the previous one
    POINT ViewportOrg();
    POINT SetViewportOrg(POINT p);

protected:
    // Asked for a DC when none is set; a bitmap's canvas answers with its memory DC.
    virtual HDC CreateHandle() { return nullptr; }
    void RequireHandle();
    HDC FHandle = nullptr;

private:
    TPen FPen;
    TBrush FBrush;
    TFont FFont;
    DWORD FCopyMode = SRCCOPY;
    POINT FPenPos{};
    CRITICAL_SECTION FLock;
    int FLockCount = 0;
};

// ---- bitmap ---------------------------------------------------------------------

// A bitmap in one pixel format: a DIB section (bottom-up rows padded to 32 bits) for
// pf1bit..pf32bit (pf15bit and pf16bit with BI_BITFIELDS masks), a bitmap compatible
// with the screen for pfDevice. Changing the format or the size keeps the picture
// (converted by GDI; new area white). The palette is always the bitmap's own copy.
class TBitmap {
public:
    TBitmap();
    ~TBitmap();
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetWidth(int w) { SetSize(w, FHeight); }
    void SetHeight(int h) { SetSize(FWidth, h); }
    void SetSize(int w, int h);
    bool Empty() const { return FWidth == 0 || FHeight == 0; }

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TPixelFormat pf);
    bool Monochrome() const;
    // True makes a 1-bit black-and-white bitmap; False turns a monochrome one to pfDevice.
    void SetMonochrome(bool v);

    // The bitmap's palette (owned by the bitmap; 0 without one). Setting takes a copy.
    HPALETTE Palette() const { return FPalette.Get(); }
    void SetPalette(HPALETTE pal);
    // Takes ownership of Pal instead of copying it.
    void AdoptPalette(HPALETTE pal);
    // A new palette with the bitmap's colours that the caller owns (0 without one).
    HPALETTE CopyPalette() const;

    // Row Row's first byte (rows counted from the top). Raises for a bad row or pfDevice.
    void* ScanLine(int row);
    int RowBytes() const;   // distance between rows; 0 for pfDevice

    HBITMAP Handle();
    TCanvas* Canvas();
    bool HasCanvasHandle() const { return FDC != nullptr; }
    // The memory DC the bitmap is selected into (made on first use), for blits.
    HDC CanvasDC();

    // Copies size, format, palette and picture of another bitmap.
    void Assign(TBitmap* source);

private:
    friend class TBitmapCanvas;
    void Recreate(int w, int h, TPixelFormat pf, bool keepPicture);
    void DetachDC();
    void AttachDC();
    void ColorTable(std::vector<RGBQUAD>& table, int bits) const;

    int FWidth = 0;
    int FHeight = 0;
    TPixelFormat FPixelFormat = pfDevice;
    bool FMono = false;
    TBitmapHandle FHandle;
    void* FBits = nullptr;
    TPaletteHandle FPalette;
    HDC FDC = nullptr;                // memory DC of the canvas, owned
    HGDIOBJ FOldBitmap = nullptr;
    HPALETTE FOldPalette = nullptr;
    class TBitmapCanvas* FCanvas = nullptr;
};

// Small rectangle helpers.
inline RECT Rect(int l, int t, int r, int b) { return RECT{l, t, r, b}; }
inline bool RectIsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }
inline int RectWidth(const RECT& r) { return r.right - r.left; }
inline int RectHeight(const RECT& r) { return r.bottom - r.top; }
