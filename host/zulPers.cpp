#include "host/zulPers.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "effects/teBlend.h"

const char* const TransitionNames[17][3] = {
    {"TBmpMaskTransition2", "BmpMask", "01"},
    {"TCircleTransition", "Circle", "02"},
    {"TBlendTransition", "CrossFade", "03"},
    {"TDiagonalTransition", "Diagonal", "04"},
    {"TDripTransition", "Drip", "05"},
    {"TInterlacedTransition", "Interlaced", "06"},
    {"TFuseTransition", "Pattern", "07"},
    {"TPushTransition", "Push", "08"},
    {"TBlockTransition", "Puzzle", "09"},
    {"TRadialTransition", "Radial", "10"},
    {"TRollTransition", "Roll", "11"},
    {"TSlideTransition", "Slide", "12"},
    {"TWaterfallTransition", "Waterfall", "13"},
    {"TWipeTransition", "Wipe", "14"},
    {"TBlurTransition", "Blur", ""},
    {"TPageTransition", "Page", ""},
    {"TPixelateTransition", "Pixelate", ""},
};

String MapTransitionName(int from, int to, const String& name)
{
    ZUL_ASSERT(from >= 1 && from <= 3 && to >= 1 && to <= 3, "zulPers");
    for (const auto& row : TransitionNames)
        if (name == row[from - 1]) {
            if (*row[to - 1] == '\0')
                break;
            return row[to - 1];
        }
    throw Exception(Format("Transition '%s' not found", {name}));
}

void HexToStream(TStream* target, TStream* source)
{
    while (source->Position() < source->Size()) {
        char pair[2];
        source->ReadBuffer(pair, 2);
        String text = "$" + String(pair, 2);
        uint8_t byte = static_cast<uint8_t>(StrToInt(text) & 0xFF);
        target->WriteBuffer(&byte, 1);
    }
}

void ReadPropertyList(TReader* reader, TTransitionEffect* transition)
{
    while (!reader->EndOfList())
        reader->ReadProperty(transition);
    reader->ReadListEnd();
}

namespace {
constexpr int MinDescriptionSize = 7;

void PrepareDescriptionList(TStringList& list)
{
    list.Delimiter = ';';
    list.QuoteChar = '\'';
}

std::unique_ptr<TTransitionEffect> ReadLegacy(const void* data, int size)
{
    TReadOnlyMemoryStream source(data, size);
    char header[4];
    source.ReadBuffer(header, 4);
    char version;
    source.ReadBuffer(&version, 1);
    if (version != '1' && version != '2')
        throw Exception(Format("%s '%s'", {"Wrong format version", String(1, version)}));
    char id[2];
    source.ReadBuffer(id, 2);
    String className = MapTransitionName(3, 1, String(id, 2));
    // Transitions are registered in the class group of TControl.
    TClass previous = ActivateClassGroup(&TControlClassInfo);
    TClass cls = GetClass(className);
    ActivateClassGroup(previous);
    if (!cls)
        throw EClassNotFound(Format("Class %s not found", {className}));
    std::unique_ptr<TTransitionEffect> t(CreateTransition(cls, nullptr));

    TMemoryStream bytes;
    if (version == '2') {
        // Version 2 leaves out the name and type of its first property, Milliseconds.
        static const uint8_t prefix[] = {12, 'M', 'i', 'l', 'l', 'i', 's', 'e', 'c', 'o', 'n', 'd', 's', vaInt16};
        bytes.WriteBuffer(prefix, sizeof prefix);
    }
    HexToStream(&bytes, &source);
    bytes.SetPosition(0);
    TTransitionReader reader(&bytes);
    ReadPropertyList(&reader, t.get());
    return t;
}

std::unique_ptr<TTransitionEffect> ReadText(const void* data, int size)
{
    // The text ends at its zero byte, or at the end of the host's block without one.
    const char* text = static_cast<const char*>(data);
    size_t length = strnlen(text, static_cast<size_t>(size));
    TStringList list;
    PrepareDescriptionList(list);
    list.SetDelimitedText(AnsiToUtf8(std::string_view(text, length)));
    list.SetValues("Transition", MapTransitionName(2, 1, list.Values("Transition")));
    return std::unique_ptr<TTransitionEffect>(CreateTransitionFromList(&list));
}
}  // namespace

void ReadTransitionDescription(TTransitionEffect*& transition, const void* data, int size)
{
    std::unique_ptr<TTransitionEffect> made;
    if (!data || size < MinDescriptionSize) {
        made = std::make_unique<TBlendTransition>(nullptr);
        made->SetMilliseconds(1000);
    } else if (std::memcmp(data, "ZULS", 4) == 0) {
        made = ReadLegacy(data, size);
    } else {
        made = ReadText(data, size);
    }
    delete transition;
    transition = made.release();
}

String TransitionDescriptionText(TTransitionEffect* transition)
{
    TStringList list;
    PrepareDescriptionList(list);
    SaveTransitionToList(transition, &list, true);
    list.SetValues("Transition", MapTransitionName(1, 2, list.Values("Transition")));
    return list.DelimitedText();
}

void WriteTransitionDescription(TTransitionEffect* transition, char*& block, int oldSize)
{
    std::string text = Utf8ToAnsi(TransitionDescriptionText(transition));
    if (!block || static_cast<int64_t>(text.size()) != oldSize) {
        FreeHostBlock(block);
        AllocHostBlock(block, text.size() + 1);
    }
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
}

void AllocHostBlock(char*& block, size_t size)
{
    void* p = GlobalAlloc(GMEM_FIXED, size);
    if (!p)
        RaiseLastOSError();
    block = static_cast<char*>(p);
}

void FreeHostBlock(char*& block)
{
    if (block)
        GlobalFree(block);
    block = nullptr;
}
