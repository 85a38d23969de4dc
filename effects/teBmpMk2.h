#pragma once
// Bitmap-mask transition whose mask comes from a file of the host's publication,
// named by NBMaskFileName and opened through the host.

#include <objidl.h>

#include "effects/teBmpMsk.h"

// Opens a file of the host's publication as a COM stream (set by the module boundary).
// Answers false when the host could not open it; raises when no host is there to ask.
extern bool (*OpenPublicationStream)(const String& fileName, IStream** stream);

class TBmpMaskTransition2 : public TBmpMaskTransition {
    ZUL_CLASS_INFO(TTransitionClassInfo)
public:
    using TBmpMaskTransition::TBmpMaskTransition;
    static String GetEditor() { return "TBmpMaskTransitionEditor2"; }

    void LoadFromStrings(TStrings* list) override;
    void SaveToStrings(TStrings* list, bool onlyNonDefault) override;
    void Assign(TPersistent* source) override;
    // The mask comes only from the file name.
    void SetMask(TBitmap*) override {}

    const String& NBMaskFileName() const { return FNBMaskFileName; }
    // Loads the mask through the host; a file the host cannot open raises
    // "Файл '%s' не найден." (the name stays, the old mask too).
    void SetNBMaskFileName(const String& name);

private:
    String FNBMaskFileName;
};

// Reads a BMP file's bytes into Bitmap (8-bit masks keep their palette indices).
// Raises EInvalidGraphic for anything that is not a readable BMP.
void LoadBmpFromMemory(TBitmap* bitmap, const uint8_t* data, size_t size);

void InitializeTeBmpMk2();
