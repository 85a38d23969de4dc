#include "platform/Graphics.h"

#include <algorithm>
#include <cstring>

TColor ColorToRGB(TColor color)
{
    if (color < 0)
        return static_cast<TColor>(GetSysColor(color & 0xFF));
    return color;
}

namespace {

COLORREF Rgb(TColor c)
{
    return static_cast<COLORREF>(ColorToRGB(c)) & 0xFFFFFF;
}

[[noreturn]] void OutOfResources()
{
    throw EOutOfResourcesGdi("Out of system resources");
}

}  // namespace

// ---- handle owners ---------------------------------------------------------------

TClientDC::TClientDC(HWND wnd) : FWnd(wnd), FDC(GetDC(wnd))
{
    if (!FDC)
        OutOfResources();
}

TClientDC::~TClientDC()
{
    ReleaseDC(FWnd, FDC);
}

TMemoryDC::TMemoryDC(HDC compatible) : FDC(CreateCompatibleDC(compatible))
{
    if (!FDC)
        OutOfResources();
}

TMemoryDC::~TMemoryDC()
{
    RestoreAll();
    DeleteDC(FDC);
}

void TMemoryDC::SelectBitmap(HBITMAP bmp)
{
    HGDIOBJ old = SelectObject(FDC, bmp);
    if (!FBitmapSelected) {
        FOldBitmap = old;
        FBitmapSelected = true;
    }
}

void TMemoryDC::SelectPalette(HPALETTE pal, bool background)
{
    HPALETTE old = ::SelectPalette(FDC, pal, background);
    RealizePalette(FDC);
    if (!FPaletteSelected) {
        FOldPalette = old;
        FPaletteSelected = true;
    }
}

void TMemoryDC::RestoreAll()
{
    if (FBitmapSelected)
        SelectObject(FDC, FOldBitmap);
    if (FPaletteSelected && FOldPalette)
        ::SelectPalette(FDC, FOldPalette, TRUE);
    FBitmapSelected = FPaletteSelected = false;
}

// ---- pens, brushes, fonts ---------------------------------------------------------------

HPEN TPen::Handle()
{
    if (!FHandle) {
        static const int styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
        FHandle.Reset(CreatePen(styles[FStyle], FWidth, Rgb(FColor)));
        if (!FHandle)
            OutOfResources();
    }
    return FHandle;
}

void TBrush::SetColor(TColor c)
{
    if (c == FColor && FStyle != bsClear)
        return;
    FColor = c;
    if (FStyle == bsClear)
        FStyle = bsSolid;
    FHandle.Reset();
}

void TBrush::SetStyle(TBrushStyle s)
{
    if (s != FStyle) {
        FStyle = s;
        FHandle.Reset();
    }
}

void TBrush::SetBitmap(TBitmap* b)
{
    FBitmap = b;
    FHandle.Reset();
}

HBRUSH TBrush::Handle()
{
    if (FBitmap && !FBitmap->Empty()) {
        // The pattern's pixels may have changed since the last use.
        FHandle.Reset(CreatePatternBrush(FBitmap->Handle()));
    } else if (FStyle == bsClear) {
        return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    } else if (!FHandle) {
        if (FStyle == bsSolid) {
            FHandle.Reset(CreateSolidBrush(Rgb(FColor)));
        } else {
            static const int hatch[] = {0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
            FHandle.Reset(CreateHatchBrush(hatch[FStyle], Rgb(FColor)));
        }
    }
    if (!FHandle)
        OutOfResources();
    return FHandle;
}

void TFont::SetName(const String& n)
{
    if (n != FName) {
        FName = n;
        FHandle.Reset();
    }
}

void TFont::SetHeight(int h)
{
    if (h != FHeight) {
        FHeight = h;
        FHandle.Reset();
    }
}

namespace {
int ScreenPixelsPerInch()
{
    TClientDC dc;
    return GetDeviceCaps(dc, LOGPIXELSY);
}
}  // namespace

int TFont::Size() const
{
    return -MulDiv(FHeight, 72, ScreenPixelsPerInch());
}

void TFont::SetSize(int points)
{
    SetHeight(-MulDiv(points, ScreenPixelsPerInch(), 72));
}

void TFont::SetStyle(unsigned s)
{
    if (s != FStyle) {
        FStyle = s;
        FHandle.Reset();
    }
}

HFONT TFont::Handle()
{
    if (!FHandle) {
        std::wstring name = Utf8ToWide(FName);
        FHandle.Reset(CreateFontW(FHeight, 0, 0, 0, (FStyle & fsBold) ? FW_BOLD : FW_NORMAL, (FStyle & fsItalic) != 0,
                                  (FStyle & fsUnderline) != 0, (FStyle & fsStrikeOut) != 0, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                  name.c_str()));
        if (!FHandle)
            OutOfResources();
    }
    return FHandle;
}

// ---- canvas -----------------------------------------------------------------------

TCanvas::TCanvas()
{
    InitializeCriticalSection(&FLock);
}

TCanvas::TCanvas(HDC dc) : TCanvas()
{
    FHandle = dc;
}

TCanvas::~TCanvas()
{
    DeleteCriticalSection(&FLock);
}

HDC TCanvas::Handle()
{
    RequireHandle();
    return FHandle;
}

void TCanvas::SetHandle(HDC dc)
{
    FHandle = dc;
}

void TCanvas::RequireHandle()
{
    if (!FHandle)
        FHandle = CreateHandle();
    if (!FHandle)
        throw EInvalidOperation("Canvas does not allow drawing");
}

void TCanvas::Lock()
{
    EnterCriticalSection(&FLock);
    ++FLockCount;
}

bool TCanvas::TryLock()
{
    if (!TryEnterCriticalSection(&FLock))
        return false;
    ++FLockCount;
    return true;
}

void TCanvas::Unlock()
{
    --FLockCount;
    LeaveCriticalSection(&FLock);
}

void TCanvas::FillRect(const RECT& r)
{
    HDC dc = Handle();
    ::FillRect(dc, &r, FBrush.Handle());
}

void TCanvas::FrameRect(const RECT& r)
{
    HDC dc = Handle();
    ::FrameRect(dc, &r, FBrush.Handle());
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    HDC dc = Handle();
    TSelectObject p(dc, FPen.Handle()), b(dc, FBrush.Handle());
    ::Rectangle(dc, x1, y1, x2, y2);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2)
{
    HDC dc = Handle();
    TSelectObject p(dc, FPen.Handle()), b(dc, FBrush.Handle());
    ::Ellipse(dc, x1, y1, x2, y2);
}

void TCanvas::Polygon(const POINT* points, int count)
{
    if (count < 2)
        return;
    HDC dc = Handle();
    TSelectObject p(dc, FPen.Handle()), b(dc, FBrush.Handle());
    ::Polygon(dc, points, count);
}

void TCanvas::MoveTo(int x, int y)
{
    MoveToEx(Handle(), x, y, nullptr);
    FPenPos = POINT{x, y};
}

void TCanvas::LineTo(int x, int y)
{
    HDC dc = Handle();
    TSelectObject p(dc, FPen.Handle());
    MoveToEx(dc, FPenPos.x, FPenPos.y, nullptr);
    ::LineTo(dc, x, y);
    FPenPos = POINT{x, y};
}

void TCanvas::TextOut(int x, int y, const String& text)
{
    HDC dc = Handle();
    std::wstring w = Utf8ToWide(text);
    TSelectObject f(dc, FFont.Handle());
    SetTextColor(dc, Rgb(FFont.Color()));
    if (FBrush.Style() == bsClear) {
        SetBkMode(dc, TRANSPARENT);
    } else {
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, Rgb(FBrush.Color()));
    }
    ::TextOutW(dc, x, y, w.c_str(), static_cast<int>(w.size()));
    SIZE sz{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &sz);
    FPenPos = POINT{x + sz.cx, y};
}

SIZE TCanvas::TextExtent(const String& text)
{
    HDC dc = Handle();
    std::wstring w = Utf8ToWide(text);
    TSelectObject f(dc, FFont.Handle());
    SIZE sz{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &sz);
    return sz;
}

TColor TCanvas::Pixel(int x, int y)
{
    return static_cast<TColor>(GetPixel(Handle(), x, y));
}

void TCanvas::SetPixel(int x, int y, TColor c)
{
    ::SetPixelV(Handle(), x, y, Rgb(c));
}

void TCanvas::Draw(int x, int y, TBitmap* bitmap)
{
    if (!bitmap || bitmap->Empty())
        return;
    BitBlt(Handle(), x, y, bitmap->Width(), bitmap->Height(), bitmap->CanvasDC(), 0, 0, FCopyMode);
}

void TCanvas::StretchDraw(const RECT& dest, TBitmap* bitmap)
{
    if (!bitmap || bitmap->Empty())
        return;
    HDC dc = Handle();
    int old = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, dest.left, dest.top, RectWidth(dest), RectHeight(dest), bitmap->CanvasDC(), 0, 0, bitmap->Width(),
               bitmap->Height(), FCopyMode);
    SetStretchBltMode(dc, old);
}

void TCanvas::CopyRect(const RECT& dest, TCanvas* source, const RECT& src)
{
    HDC dc = Handle();
    HDC sdc = source->Handle();
    if (RectWidth(dest) == RectWidth(src) && RectHeight(dest) == RectHeight(src)) {
        BitBlt(dc, dest.left, dest.top, RectWidth(dest), RectHeight(dest), sdc, src.left, src.top, FCopyMode);
    } else {
        int old = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, dest.left, dest.top, RectWidth(dest), RectHeight(dest), sdc, src.left, src.top, RectWidth(src),
                   RectHeight(src), FCopyMode);
        SetStretchBltMode(dc, old);
    }
}

void TCanvas::ExcludeClipRect(const RECT& r)
{
    ::ExcludeClipRect(Handle(), r.left, r.top, r.right, r.bottom);
}

void TCanvas::IntersectClipRect(const RECT& r)
{
    ::IntersectClipRect(Handle(), r.left, r.top, r.right, r.bottom);
}

void TCanvas::SelectClipRgn(HRGN rgn)
{
    ::SelectClipRgn(Handle(), rgn);
}

RECT TCanvas::ClipRect()
{
    RECT r{};
    GetClipBox(Handle(), &r);
    return r;
}

POINT TCanvas::WindowOrg()
{
    POINT p{};
    GetWindowOrgEx(Handle(), &p);
    return p;
}

POINT TCanvas::SetWindowOrg(POINT p)
{
    POINT old{};
    SetWindowOrgEx(Handle(), p.x, p.y, &old);
    return old;
}

POINT TCanvas::ViewportOrg()
{
    POINT p{};
    GetViewportOrgEx(Handle(), &p);
    return p;
}

POINT TCanvas::SetViewportOrg(POINT p)
{
    POINT old{};
    SetViewportOrgEx(Handle(), p.x, p.y, &old);
    return old;
}

// ---- bitmap ---------------------------------------------------------------------

class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap* owner) : FOwner(owner) {}
    void Forget() { FHandle = nullptr; }

protected:
    HDC CreateHandle() override { return FOwner->CanvasDC(); }

private:
    TBitmap* FOwner;
};

TBitmap::TBitmap() = default;

TBitmap::~TBitmap()
{
    delete FCanvas;
    if (FDC) {
        DetachDC();
        DeleteDC(FDC);
    }
}

int StoredBitsPerPixel(TPixelFormat pf)
{
    switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
    }
}

namespace {

const RGBQUAD kVga16[16] = {
    {0, 0, 0, 0},       {0, 0, 0x80, 0},    {0, 0x80, 0, 0},    {0, 0x80, 0x80, 0}, {0x80, 0, 0, 0},    {0x80, 0, 0x80, 0},
    {0x80, 0x80, 0, 0}, {0x80, 0x80, 0x80, 0}, {0xC0, 0xC0, 0xC0, 0}, {0, 0, 0xFF, 0}, {0, 0xFF, 0, 0},
    {0, 0xFF, 0xFF, 0}, {0xFF, 0, 0, 0},    {0xFF, 0, 0xFF, 0}, {0xFF, 0xFF, 0, 0}, {0xFF, 0xFF, 0xFF, 0}};

}  // namespace

void TBitmap::ColorTable(std::vector<RGBQUAD>& table, int bits) const
{
    int n = 1 << bits;
    table.assign(n, RGBQUAD{0, 0, 0, 0});
    if (FPalette) {
        PALETTEENTRY pe[256];
        int count = GetPaletteEntries(FPalette, 0, std::min(n, 256), pe);
        for (int i = 0; i < count; ++i)
            table[i] = RGBQUAD{pe[i].peBlue, pe[i].peGreen, pe[i].peRed, 0};
        return;
    }
    if (bits == 1) {
        table[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    } else if (bits == 4) {
        std::copy(kVga16, kVga16 + 16, table.begin());
    } else {
        // The twenty static colours at both ends, as the default system palette has them.
        PALETTEENTRY pe[20];
        int count = GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, pe);
        for (int i = 0; i < count; ++i) {
            int at = i < 10 ? i : n - 20 + i;
            table[at] = RGBQUAD{pe[i].peBlue, pe[i].peGreen, pe[i].peRed, 0};
        }
    }
}

void TBitmap::DetachDC()
{
    if (!FDC)
        return;
    if (FOldBitmap)
        SelectObject(FDC, FOldBitmap);
    if (FOldPalette)
        ::SelectPalette(FDC, FOldPalette, TRUE);
    FOldBitmap = nullptr;
    FOldPalette = nullptr;
}

void TBitmap::AttachDC()
{
    if (!FDC)
        return;
    if (FHandle)
        FOldBitmap = SelectObject(FDC, FHandle);
    if (FPalette) {
        FOldPalette = ::SelectPalette(FDC, FPalette, TRUE);
        RealizePalette(FDC);
    }
}

HDC TBitmap::CanvasDC()
{
    if (!FDC) {
        FDC = CreateCompatibleDC(nullptr);
        if (!FDC)
            OutOfResources();
        AttachDC();
    }
    return FDC;
}

void TBitmap::Recreate(int w, int h, TPixelFormat pf, bool keepPicture)
{
    if (w < 0)
        w = 0;
    if (h < 0)
        h = 0;
    if (pf == pfCustom)
        pf = pfDevice;
    TBitmapHandle made;
    void* bits = nullptr;
    if (w > 0 && h > 0) {
        TClientDC screen;
        if (pf == pfDevice) {
            made.Reset(CreateCompatibleBitmap(screen, w, h));
        } else {
            int bpp = StoredBitsPerPixel(pf);
            struct {
                BITMAPINFOHEADER h;
                RGBQUAD colors[256];
            } bi{};
            bi.h.biSize = sizeof(BITMAPINFOHEADER);
            bi.h.biWidth = w;
            bi.h.biHeight = h;   // bottom-up
            bi.h.biPlanes = 1;
            bi.h.biBitCount = static_cast<WORD>(bpp);
            bi.h.biCompression = BI_RGB;
            if (bpp <= 8) {
                std::vector<RGBQUAD> table;
                ColorTable(table, bpp);
                std::copy(table.begin(), table.end(), bi.colors);
                bi.h.biClrUsed = static_cast<DWORD>(table.size());
            } else if (pf == pf15bit || pf == pf16bit) {
                bi.h.biCompression = BI_BITFIELDS;
                DWORD* masks = reinterpret_cast<DWORD*>(bi.colors);
                masks[0] = pf == pf15bit ? 0x7C00 : 0xF800;
                masks[1] = pf == pf15bit ? 0x03E0 : 0x07E0;
                masks[2] = 0x001F;
            }
            made.Reset(CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0));
        }
        if (!made)
            OutOfResources();
        TMemoryDC dst;
        dst.SelectBitmap(made);
        if (FPalette)
            dst.SelectPalette(FPalette, true);
        {
            // White as a colour, not all bits set (pf15bit keeps its top bit clear, a
            // palette bitmap gets the index of its white).
            TSelectObject brush(dst, GetStockObject(WHITE_BRUSH));
            PatBlt(dst, 0, 0, w, h, PATCOPY);
        }
        if (keepPicture && FHandle) {
            HDC src = CanvasDC();
            BitBlt(dst, 0, 0, std::min(w, FWidth), std::min(h, FHeight), src, 0, 0, SRCCOPY);
        }
        GdiFlush();
    }
    DetachDC();
    FHandle = std::move(made);
    FBits = bits;
    FWidth = w;
    FHeight = h;
    FPixelFormat = pf;
    AttachDC();
}

void TBitmap::SetSize(int w, int h)
{
    if (w == FWidth && h == FHeight)
        return;
    Recreate(w, h, FPixelFormat, true);
}

void TBitmap::SetPixelFormat(TPixelFormat pf)
{
    if (pf == pfCustom)
        pf = pfDevice;
    if (pf == FPixelFormat)
        return;
    Recreate(FWidth, FHeight, pf, true);
}

bool TBitmap::Monochrome() const
{
    return FPixelFormat == pf1bit && !FPalette;
}

void TBitmap::SetMonochrome(bool v)
{
    if (v == Monochrome())
        return;
    if (v) {
        // The colours go first so that the new bitmap gets the black-and-white table.
        DetachDC();
        FPalette.Reset();
        AttachDC();
        if (FPixelFormat == pf1bit)
            Recreate(FWidth, FHeight, pf1bit, true);
        else
            SetPixelFormat(pf1bit);
    } else {
        SetPixelFormat(pfDevice);
    }
}

void TBitmap::AdoptPalette(HPALETTE pal)
{
    if (pal == FPalette.Get())
        return;
    DetachDC();
    FPalette.Reset(pal);
    AttachDC();
    int bpp = StoredBitsPerPixel(FPixelFormat);
    if (FHandle && bpp >= 1 && bpp <= 8) {
        // The pixels keep their indexes; only the colours they name change.
        std::vector<RGBQUAD> table;
        ColorTable(table, bpp);
        SetDIBColorTable(CanvasDC(), 0, static_cast<UINT>(table.size()), table.data());
    }
}

namespace {
HPALETTE DuplicatePalette(HPALETTE pal)
{
    if (!pal)
        return nullptr;
    WORD count = 0;
    GetObjectW(pal, sizeof(count), &count);
    std::vector<BYTE> buf(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * (count ? count : 1));
    LOGPALETTE* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = count;
    GetPaletteEntries(pal, 0, count, lp->palPalEntry);
    HPALETTE copy = CreatePalette(lp);
    if (!copy)
        OutOfResources();
    return copy;
}
}  // namespace

void TBitmap::SetPalette(HPALETTE pal)
{
    if (pal == FPalette.Get())
        return;
    TPaletteHandle copy(DuplicatePalette(pal));
    AdoptPalette(copy.Release());
}

HPALETTE TBitmap::CopyPalette() const
{
    return DuplicatePalette(FPalette);
}

int TBitmap::RowBytes() const
{
    int bpp = StoredBitsPerPixel(FPixelFormat);
    return ((FWidth * bpp + 31) & ~31) / 8;
}

void* TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= FHeight)
        throw EInvalidGraphicOperation("Scan line index out of range");
    if (!FBits)
        throw EInvalidGraphicOperation("Bitmap has no scan lines");
    GdiFlush();
    return static_cast<BYTE*>(FBits) + static_cast<size_t>(FHeight - 1 - row) * RowBytes();
}

HBITMAP TBitmap::Handle()
{
    return FHandle;
}

TCanvas* TBitmap::Canvas()
{
    if (!FCanvas)
        FCanvas = new TBitmapCanvas(this);
    return FCanvas;
}

void TBitmap::Assign(TBitmap* source)
{
    if (!source || source == this)
        return;
    DetachDC();
    FPalette.Reset(source->CopyPalette());
    AttachDC();
    Recreate(source->Width(), source->Height(), source->PixelFormat(), false);
    if (!FHandle)
        return;
    if (FBits && source->FBits) {
        GdiFlush();
        std::memcpy(FBits, source->FBits, static_cast<size_t>(RowBytes()) * FHeight);
    } else {
        BitBlt(CanvasDC(), 0, 0, FWidth, FHeight, source->CanvasDC(), 0, 0, SRCCOPY);
        GdiFlush();
    }
}
