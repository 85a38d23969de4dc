#pragma once
// The module's exports and the host's callbacks.

#include <windows.h>
#include <objidl.h>

#include "platform/SysUtils.h"

// The nine values the host hands to DllInitialize (index 0 is value 1).
extern INT_PTR HostValues[9];

// Value 4: lets the author choose a file (request code, block reference) -> boolean.
// Value 8: opens a file of the publication (file name, stream reference) -> boolean.
// Both take their first two arguments in EAX and EDX and answer in AL on i386.
#if defined(__i386__)
#define ZUL_HOST_CALL __attribute__((regparm(2)))
#else
#define ZUL_HOST_CALL
#endif
// How a host (or a test standing in for one) declares the two callbacks.
using THostBrowseFile = bool ZUL_HOST_CALL (*)(INT_PTR requestCode, char** block);
using THostOpenStream = bool ZUL_HOST_CALL (*)(const char* fileName, IStream** stream);

constexpr int HostBrowseFileIndex = 3;
constexpr int HostOpenStreamIndex = 7;
constexpr int HostBrowseFileRequest = 13;

// Calls HostBrowseFile with FileName as the current name; true when the author chose
// a file (FileName then holds it). Raises when the host supplied no such callback.
bool HostBrowseFile(String& fileName);
// Calls HostOpenStream; Stream is cleared first. Raises when the host supplied no
// such callback.
bool HostOpenStream(const String& fileName, IStream** stream);

// The messages shown while the editor and the About box are not part of the module.
extern const char* const EditorNotAvailableText;
extern const char* const AboutNotAvailableText;

extern "C" {
void __stdcall DllInitialize(INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5, INT_PTR v6, INT_PTR v7,
                             INT_PTR v8, INT_PTR v9);
BOOL __stdcall ShowEditor(HWND parentWindow, const BYTE* data, char** resultBlock, int dataSize, int* resultSize,
                          int reserved);
BOOL __stdcall ShowAbout(HWND parentWindow);
}

void InitializeZulWork();
void FinalizeZulWork();
