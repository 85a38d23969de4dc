#pragma once
// Transition descriptions: the text form (Key=Value items joined by ';') that the
// plug-in reads and writes, and the legacy binary form ("ZULS", version, id, hex
// property stream) that it still reads.

#include <cstdint>

#include "engine/TransEff.h"
#include "platform/Classes.h"

// 17 rows: class name, name in descriptions, legacy id (empty: none).
extern const char* const TransitionNames[17][3];

// Maps Name from column From to column To (1..3). No row, or an empty target,
// raises Exception "Transition '%s' not found".
String MapTransitionName(int from, int to, const String& name);

// Makes a new transition from the host's description bytes. Null data or fewer than
// 7 bytes give a cross-fade of 1000 ms. Text is read up to its zero byte but never
// beyond Size bytes. On success the variable's old object (if any) is freed and the
// new one stored (the caller owns it); on failure the variable is left as it was and
// nothing new survives.
void ReadTransitionDescription(TTransitionEffect*& transition, const void* data, int size);

// Writes the transition as text into a host string block, reusing the block when
// OldSize equals the new text length (and there is a block), replacing it otherwise.
void WriteTransitionDescription(TTransitionEffect* transition, char*& block, int oldSize);

// The text form of a transition (the UTF-8 text before conversion for the host).
String TransitionDescriptionText(TTransitionEffect* transition);

// Decodes hexadecimal text (two digits per byte, either letter case) from Source's
// position to its end into Target.
void HexToStream(TStream* target, TStream* source);

// Reads properties into the transition until the end-of-list byte, then consumes it.
void ReadPropertyList(TReader* reader, TTransitionEffect* transition);

// The platform's property reader with a 1024-byte buffer.
class TTransitionReader : public TReader {
public:
    explicit TTransitionReader(TStream* stream) : TReader(stream, 1024) {}
};

// GlobalAlloc (GMEM_FIXED) of Size bytes; EOSError when that fails.
void AllocHostBlock(char*& block, size_t size);
// GlobalFree of a non-null block, then the pointer is cleared.
void FreeHostBlock(char*& block);
