#include "effects/teBmpMk2.h"

#include <cstring>
#include <vector>

bool (*OpenPublicationStream)(const String& fileName, IStream** stream) = nullptr;

namespace {
const TPropInfo BmpMask2Props[] = {
    published::Text<&TBmpMaskTransition2::NBMaskFileName, &TBmpMaskTransition2::SetNBMaskFileName>(
        "NBMaskFileName"),
    TPropInfo{"Mask", TPropKind::Class, nullptr, 0, false, false},
};
String BmpMask2Editor() { return TBmpMaskTransition2::GetEditor(); }

// Releases a COM interface on every path.
struct ComRelease {
    IUnknown* p;
    ~ComRelease()
    {
        if (p)
            p->Release();
    }
};

std::vector<uint8_t> ReadWholeStream(IStream* stream)
{
    std::vector<uint8_t> bytes;
    uint8_t buf[16384];
    for (;;) {
        ULONG got = 0;
        HRESULT hr = stream->Read(buf, sizeof buf, &got);
        if (FAILED(hr))
            throw EReadError("Stream read error");
        bytes.insert(bytes.end(), buf, buf + got);
        if (got == 0 || hr == S_FALSE)
            break;
        if (bytes.size() > (64u << 20))
            throw EInvalidGraphic("Bitmap image is not valid");
    }
    return bytes;
}
}  // namespace

const TTransitionClassInfo TBmpMaskTransition2::ClassInfo{
    {"TBmpMaskTransition2", &TBmpMaskTransition::ClassInfo, &CreateInstance<TBmpMaskTransition2>, BmpMask2Props},
    nullptr, &BmpMask2Editor};

void LoadBmpFromMemory(TBitmap* bitmap, const uint8_t* data, size_t size)
{
    auto invalid = [] { throw EInvalidGraphic("Bitmap image is not valid"); };
    BITMAPFILEHEADER fh;
    if (size < sizeof fh + sizeof(BITMAPINFOHEADER))
        invalid();
    std::memcpy(&fh, data, sizeof fh);
    if (fh.bfType != 0x4D42)
        invalid();
    BITMAPINFOHEADER ih;
    std::memcpy(&ih, data + sizeof fh, sizeof ih);
    if (ih.biSize < sizeof ih || ih.biSize > size - sizeof fh || ih.biPlanes != 1 || ih.biWidth <= 0 ||
        ih.biHeight == 0 || ih.biWidth > 32768 || ih.biHeight > 32768 || ih.biHeight < -32768)
        invalid();
    if (ih.biCompression != BI_RGB && !(ih.biCompression == BI_BITFIELDS && (ih.biBitCount == 16 || ih.biBitCount == 32)))
        invalid();
    int bits = ih.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        invalid();
    int width = ih.biWidth;
    bool topDown = ih.biHeight < 0;
    int height = topDown ? -ih.biHeight : ih.biHeight;
    size_t colors = bits <= 8 ? (ih.biClrUsed ? ih.biClrUsed : (1u << bits)) : 0;
    if (colors > 256)
        invalid();
    size_t tableAt = sizeof fh + ih.biSize;
    size_t masks = ih.biCompression == BI_BITFIELDS && ih.biSize == sizeof ih ? 12 : 0;
    size_t headerEnd = tableAt + masks + colors * sizeof(RGBQUAD);
    size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    size_t bitsAt = fh.bfOffBits ? fh.bfOffBits : headerEnd;
    if (headerEnd > size || bitsAt < headerEnd || bitsAt > size || stride * height > size - bitsAt)
        invalid();

    if (bits == 8) {
        // Palette indices are kept as they are: a mask's values are its indices.
        std::vector<uint8_t> logPal(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
        auto* lp = reinterpret_cast<LOGPALETTE*>(logPal.data());
        lp->palVersion = 0x300;
        lp->palNumEntries = static_cast<WORD>(colors ? colors : 1);
        const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(data + tableAt + masks);
        for (size_t i = 0; i < colors; ++i)
            lp->palPalEntry[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
        TPaletteHandle pal(CreatePalette(lp));
        bitmap->SetPixelFormat(pf8bit);
        bitmap->SetSize(width, height);
        bitmap->SetPalette(pal.Get());
        for (int y = 0; y < height; ++y) {
            int srcRow = topDown ? y : height - 1 - y;
            std::memcpy(bitmap->ScanLine(y), data + bitsAt + stride * srcRow, static_cast<size_t>(width));
        }
        return;
    }
    // Other depths go through GDI into a 24-bit picture.
    std::vector<uint8_t> info(ih.biSize + masks + colors * sizeof(RGBQUAD));
    std::memcpy(info.data(), data + sizeof fh, info.size());
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
    TClientDC screen;
    if (!SetDIBits(screen, bitmap->Handle(), 0, height, data + bitsAt,
                   reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS))
        invalid();
}

void TBmpMaskTransition2::SetNBMaskFileName(const String& name)
{
    if (name == FNBMaskFileName)
        return;
    FNBMaskFileName = name;
    if (name.empty()) {
        FMask.reset();
        return;
    }
    if (!OpenPublicationStream)
        throw Exception("The host offers no way to open publication files");
    IStream* stream = nullptr;
    bool opened = OpenPublicationStream(name, &stream);
    ComRelease release{stream};
    if (!opened || !stream)
        throw Exception(Format("Файл '%s' не найден.", {name}));
    std::vector<uint8_t> bytes = ReadWholeStream(stream);
    auto mask = std::make_unique<TBitmap>();
    LoadBmpFromMemory(mask.get(), bytes.data(), bytes.size());
    FMask = std::move(mask);
}

void TBmpMaskTransition2::Assign(TPersistent* source)
{
    TBmpMaskTransition::Assign(source);
    if (auto* s = dynamic_cast<TBmpMaskTransition2*>(source))
        SetNBMaskFileName(s->FNBMaskFileName);
}

void TBmpMaskTransition2::LoadFromStrings(TStrings* list)
{
    TBmpMaskTransition::LoadFromStrings(list);
    String name = list->Values("EmbeddedFilename");
    if (!name.empty())
        SetNBMaskFileName(name);
}

void TBmpMaskTransition2::SaveToStrings(TStrings* list, bool onlyNonDefault)
{
    TBmpMaskTransition::SaveToStrings(list, onlyNonDefault);
    if (!onlyNonDefault || !FNBMaskFileName.empty())
        list->SetValues("EmbeddedFilename", FNBMaskFileName);
}

void InitializeTeBmpMk2()
{
    RegisterTransition(&TBmpMaskTransition2::ClassInfo);
}
