// zulrender: runs a transition between two pictures on a memory surface, untimed,
// and writes chosen frames and a contact sheet of them as PNG files.
//
//   zulrender.exe --description TEXT [--from A] [--to B] [--size WxH]
//                 [--bits 15|16|24|32] [--frames N | --all] --out DIR
#include <windows.h>
#include <shellapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "host/ZulEd.h"
#include "host/zulPers.h"
#include "imaging/teRender.h"
#include "platform/SysUtils.h"
#include "tools/MemoryDevice.h"

namespace {

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr()
    {
        if (FPtr)
            FPtr->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T** operator&() { return &FPtr; }
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }

private:
    T* FPtr = nullptr;
};

void Check(HRESULT hr, const String& what)
{
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(hr));
        throw Exception(what + " (error " + code + ")");
    }
}

struct TCom {
    TCom() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~TCom() { CoUninitialize(); }
};

IWICImagingFactory* gFactory = nullptr;   // released before COM goes

IWICImagingFactory* Factory()
{
    if (!gFactory)
        Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&gFactory)),
              "Windows Imaging Component is not available");
    return gFactory;
}

// Decodes a BMP, PNG or JPEG file and draws it scaled onto Target.
void LoadPicture(const std::wstring& file, TBitmap& target)
{
    const String name = WideToUtf8(file);
    TComPtr<IWICBitmapDecoder> decoder;
    Check(Factory()->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                               &decoder),
          "Cannot read picture \"" + name + "\"");
    TComPtr<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, &frame), "Cannot read picture \"" + name + "\"");
    TComPtr<IWICFormatConverter> converter;
    Check(Factory()->CreateFormatConverter(&converter), "Cannot convert picture");
    Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0,
                                WICBitmapPaletteTypeCustom),
          "Cannot convert picture \"" + name + "\"");
    UINT w = 0, h = 0;
    Check(converter->GetSize(&w, &h), "Cannot read picture \"" + name + "\"");
    if (w == 0 || h == 0 || w > 16384 || h > 16384)
        throw Exception("Picture \"" + name + "\" has an unusable size");
    TBitmap decoded;
    decoded.SetPixelFormat(pf32bit);
    decoded.SetSize(static_cast<int>(w), static_cast<int>(h));
    GdiFlush();
    for (UINT y = 0; y < h; ++y) {
        WICRect row{0, static_cast<INT>(y), static_cast<INT>(w), 1};
        Check(converter->CopyPixels(&row, w * 4, w * 4, static_cast<BYTE*>(decoded.ScanLine(static_cast<int>(y)))),
              "Cannot read picture \"" + name + "\"");
    }
    HDC dc = target.CanvasDC();
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 0, target.Width(), target.Height(), decoded.CanvasDC(), 0, 0, static_cast<int>(w),
               static_cast<int>(h), SRCCOPY);
    GdiFlush();
}

// Writes Bitmap as a 24-bit PNG.
void SavePng(TBitmap& bitmap, const std::wstring& file)
{
    TBitmap rgb;
    rgb.SetPixelFormat(pf24bit);
    rgb.SetSize(bitmap.Width(), bitmap.Height());
    BitBlt(rgb.CanvasDC(), 0, 0, bitmap.Width(), bitmap.Height(), bitmap.CanvasDC(), 0, 0, SRCCOPY);
    GdiFlush();
    const String name = WideToUtf8(file);
    TComPtr<IWICStream> stream;
    Check(Factory()->CreateStream(&stream), "Cannot write \"" + name + "\"");
    Check(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE), "Cannot write \"" + name + "\"");
    TComPtr<IWICBitmapEncoder> encoder;
    Check(Factory()->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "No PNG encoder");
    Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "Cannot write \"" + name + "\"");
    TComPtr<IWICBitmapFrameEncode> frame;
    Check(encoder->CreateNewFrame(&frame, nullptr), "Cannot write \"" + name + "\"");
    Check(frame->Initialize(nullptr), "Cannot write \"" + name + "\"");
    const UINT w = static_cast<UINT>(rgb.Width()), h = static_cast<UINT>(rgb.Height());
    Check(frame->SetSize(w, h), "Cannot write \"" + name + "\"");
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    Check(frame->SetPixelFormat(&format), "Cannot write \"" + name + "\"");
    for (UINT y = 0; y < h; ++y)
        Check(frame->WritePixels(1, static_cast<UINT>(rgb.RowBytes()), static_cast<UINT>(rgb.RowBytes()),
                                 static_cast<BYTE*>(rgb.ScanLine(static_cast<int>(y)))),
              "Cannot write \"" + name + "\"");
    Check(frame->Commit(), "Cannot write \"" + name + "\"");
    Check(encoder->Commit(), "Cannot write \"" + name + "\"");
}

// The project's sample picture Name: in a resources folder next to the program or
// in one of its parent folders.
std::wstring SamplePicture(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    while (true) {
        size_t slash = dir.find_last_of(L"\\/");
        if (slash == std::wstring::npos)
            break;
        dir.resize(slash);
        std::wstring candidate = dir + L"\\resources\\" + name;
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES)
            return candidate;
    }
    throw Exception("Sample picture \"" + WideToUtf8(name) + "\" not found; give --from and --to");
}

struct TOptions {
    String Description;
    std::wstring From, To, Out;
    int Width = 640, Height = 480;
    int Bits = 32;
    int Frames = 8;
    bool All = false;
};

[[noreturn]] void Usage(const String& why)
{
    throw Exception(why + "\nusage: zulrender --description TEXT [--from A] [--to B] [--size WxH] "
                          "[--bits 15|16|24|32] [--frames N | --all] --out DIR");
}

TOptions ParseOptions(int argc, wchar_t** argv)
{
    TOptions o;
    bool haveDescription = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        auto value = [&]() -> std::wstring {
            if (i + 1 >= argc)
                Usage("missing value of " + WideToUtf8(a));
            return argv[++i];
        };
        if (a == L"--description") {
            o.Description = WideToUtf8(value());
            haveDescription = true;
        } else if (a == L"--from") {
            o.From = value();
        } else if (a == L"--to") {
            o.To = value();
        } else if (a == L"--out") {
            o.Out = value();
        } else if (a == L"--size") {
            String v = WideToUtf8(value());
            size_t x = v.find_first_of("xX");
            int w, h;
            if (x == String::npos || !TryStrToInt(v.substr(0, x), w) || !TryStrToInt(v.substr(x + 1), h) || w < 1 ||
                h < 1 || w > 8192 || h > 8192)
                Usage("bad --size \"" + v + "\"");
            o.Width = w, o.Height = h;
        } else if (a == L"--bits") {
            String v = WideToUtf8(value());
            if (!TryStrToInt(v, o.Bits) || (o.Bits != 15 && o.Bits != 16 && o.Bits != 24 && o.Bits != 32))
                Usage("bad --bits \"" + v + "\"");
        } else if (a == L"--frames") {
            String v = WideToUtf8(value());
            if (!TryStrToInt(v, o.Frames) || o.Frames < 1)
                Usage("bad --frames \"" + v + "\"");
        } else if (a == L"--all") {
            o.All = true;
        } else {
            Usage("unknown argument \"" + WideToUtf8(a) + "\"");
        }
    }
    if (!haveDescription)
        Usage("--description is required");
    if (o.Out.empty())
        Usage("--out is required");
    return o;
}

TPixelFormat FormatOfBits(int bits)
{
    return bits == 15 ? pf15bit : bits == 16 ? pf16bit : bits == 24 ? pf24bit : pf32bit;
}

// Count frames out of Frames, evenly spaced, ending with the last.
std::set<int> EvenlySpaced(int frames, int count)
{
    std::set<int> chosen;
    if (count >= frames) {
        for (int f = 1; f <= frames; ++f)
            chosen.insert(f);
        return chosen;
    }
    for (int k = 1; k <= count; ++k)
        chosen.insert(std::max(1, (k * frames + count / 2) / count));
    return chosen;
}

// Scales a 24-bit picture down to W x H by averaging the pixels each target pixel
// covers (the system's stretching samples, which hides fine patterns such as a dither).
void ShrinkInto(TBitmap& source, TBitmap& target, int x0, int y0, int w, int h)
{
    const int sw = source.Width(), sh = source.Height();
    TBitmap thumb;
    thumb.SetPixelFormat(pf24bit);
    thumb.SetSize(w, h);
    GdiFlush();
    for (int y = 0; y < h; ++y) {
        int ya = y * sh / h, yb = std::max(ya + 1, (y + 1) * sh / h);
        auto* out = static_cast<uint8_t*>(thumb.ScanLine(y));
        for (int x = 0; x < w; ++x) {
            int xa = x * sw / w, xb = std::max(xa + 1, (x + 1) * sw / w);
            unsigned sum[3] = {}, n = 0;
            for (int sy = ya; sy < yb; ++sy) {
                auto* in = static_cast<const uint8_t*>(source.ScanLine(sy)) + xa * 3;
                for (int sx = xa; sx < xb; ++sx, in += 3, ++n)
                    sum[0] += in[0], sum[1] += in[1], sum[2] += in[2];
            }
            for (int k = 0; k < 3; ++k)
                out[x * 3 + k] = static_cast<uint8_t>((sum[k] + n / 2) / n);
        }
    }
    BitBlt(target.CanvasDC(), x0, y0, w, h, thumb.CanvasDC(), 0, 0, SRCCOPY);
}

struct TShot {
    int Pass, Frame;
    std::unique_ptr<TBitmap> Picture;
};

// A grid of the shots, each labelled with its pass and frame number.
void WriteSheet(const std::vector<TShot>& shots, const std::wstring& file)
{
    if (shots.empty())
        return;
    // At most 16 pictures, evenly spaced over what was written.
    std::vector<const TShot*> picked;
    if (shots.size() <= 16) {
        for (auto& s : shots)
            picked.push_back(&s);
    } else {
        for (size_t k = 1; k <= 16; ++k)
            picked.push_back(&shots[(k * shots.size() + 8) / 16 - 1]);
    }
    const int w = shots[0].Picture->Width(), h = shots[0].Picture->Height();
    const int tw = std::min(w, 320), th = std::max(1, h * tw / w);
    const int label = 20, gap = 8;
    const int cols = std::min<int>(4, static_cast<int>(picked.size()));
    const int rows = (static_cast<int>(picked.size()) + cols - 1) / cols;
    TBitmap sheet;
    sheet.SetPixelFormat(pf24bit);
    sheet.SetSize(gap + cols * (tw + gap), gap + rows * (th + label + gap));
    TCanvas* c = sheet.Canvas();
    c->Brush()->SetColor(0x303030);
    c->FillRect(RECT{0, 0, sheet.Width(), sheet.Height()});
    c->Font()->SetName("Arial");
    c->Font()->SetHeight(-13);
    c->Font()->SetColor(clWhite);
    HDC dc = sheet.CanvasDC();
    for (size_t i = 0; i < picked.size(); ++i) {
        int x = gap + static_cast<int>(i % cols) * (tw + gap);
        int y = gap + static_cast<int>(i / cols) * (th + label + gap);
        ShrinkInto(*picked[i]->Picture, sheet, x, y, tw, th);
        char text[48];
        std::snprintf(text, sizeof text, "pass %d, frame %d", picked[i]->Pass, picked[i]->Frame);
        SetBkMode(dc, TRANSPARENT);
        c->TextOut(x, y + th + 3, text);
    }
    SavePng(sheet, file);
}

int Run(int argc, wchar_t** argv)
{
    TOptions o = ParseOptions(argc, argv);
    const TPixelFormat pf = FormatOfBits(o.Bits);

    TTransitionEffect* transition = nullptr;
    ReadTransitionDescription(transition, o.Description.data(), static_cast<int>(o.Description.size()));
    std::unique_ptr<TTransitionEffect> owner(transition);
    transition->SetMilliseconds(0);   // untimed: every frame is drawn

    TMemoryDevice device(o.Width, o.Height, pf);
    LoadPicture(o.From.empty() ? SamplePicture(L"zulrender-a.jpg") : o.From, device.Src);
    LoadPicture(o.To.empty() ? SamplePicture(L"zulrender-b.jpg") : o.To, device.Dst);

    if (!CreateDirectoryW(o.Out.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        throw Exception("Cannot create folder \"" + WideToUtf8(o.Out) + "\"");

    std::vector<TShot> shots;
    std::vector<std::pair<int, int>> passFrames;
    std::set<int> chosen;
    device.OnFrame = [&](int pass, int frame, int frames) {
        if (frame == 1) {
            passFrames.push_back({pass, frames});
            chosen = o.All ? EvenlySpaced(frames, frames) : EvenlySpaced(frames, o.Frames);
        }
        if (!chosen.count(frame))
            return;
        wchar_t name[64];
        swprintf(name, 64, L"\\frame-%d-%04d.png", pass, frame);
        SavePng(device.Screen, o.Out + name);
        auto copy = std::make_unique<TBitmap>();
        copy->SetPixelFormat(pf24bit);
        copy->SetSize(o.Width, o.Height);
        BitBlt(copy->CanvasDC(), 0, 0, o.Width, o.Height, device.Screen.CanvasDC(), 0, 0, SRCCOPY);
        shots.push_back({pass, frame, std::move(copy)});
    };
    device.Run(transition);
    for (auto [pass, frames] : passFrames)
        std::printf("pass %d: %d frames\n", pass, frames);
    WriteSheet(shots, o.Out + L"\\sheet.png");
    return 0;
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int rc;
    {
        TCom com;
        InitializeUnits();
        try {
            rc = Run(argc, argv);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zulrender: %s\n", e.what());
            rc = 2;
        }
        if (gFactory)
            gFactory->Release();
        FinalizeUnits();
    }
    LocalFree(argv);
    return rc;
}
