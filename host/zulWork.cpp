#include "host/zulWork.h"

#include <memory>

#include "effects/teBmpMk2.h"
#include "engine/TransEff.h"
#include "host/PlugInUtils.h"
#include "host/zulPers.h"
#include "platform/Forms.h"

INT_PTR HostValues[9] = {};

const char* const EditorNotAvailableText = "The transition editor is not available yet.";
const char* const AboutNotAvailableText = "The About box is not available yet.";

namespace {
// Calls a host function of the host's register convention with two arguments and a
// one-byte boolean result. On x86-64 there is one convention: a plain call.
bool CallHostFunction(INT_PTR fn, INT_PTR a, INT_PTR b)
{
#if defined(__i386__)
    INT_PTR eax = a, edx = b;
    __asm__ volatile("call *%[fn]"
                     : "+a"(eax), "+d"(edx)
                     : [fn] "r"(fn)
                     : "ecx", "memory", "cc");
    return (eax & 0xFF) != 0;
#else
    auto f = reinterpret_cast<bool (*)(INT_PTR, INT_PTR)>(fn);
    return f(a, b);
#endif
}

INT_PTR RequireHostFunction(int index, const char* name)
{
    INT_PTR fn = HostValues[index];
    if (!fn)
        throw Exception(Format("The host has not supplied the function %s", {name}));
    return fn;
}

bool OpenStreamForMask(const String& fileName, IStream** stream)
{
    return HostOpenStream(fileName, stream);
}

// Runs the transition editor on the object; true when the author pressed OK.
bool EditTransition(TTransitionEffect*& transition)
{
    throw Exception(EditorNotAvailableText);
}
}  // namespace

bool HostBrowseFile(String& fileName)
{
    INT_PTR fn = RequireHostFunction(HostBrowseFileIndex, "HostBrowseFile");
    char* block = nullptr;
    struct BlockOwner {
        char*& b;
        ~BlockOwner() { FreeHostString(b); }
    } owner{block};
    SetHostString(block, Utf8ToAnsi(fileName));
    bool chosen = CallHostFunction(fn, HostBrowseFileRequest, reinterpret_cast<INT_PTR>(&block));
    if (chosen && block)
        fileName = AnsiToUtf8(block);
    return chosen && block;
}

bool HostOpenStream(const String& fileName, IStream** stream)
{
    INT_PTR fn = RequireHostFunction(HostOpenStreamIndex, "HostOpenStream");
    *stream = nullptr;
    std::string name = Utf8ToAnsi(fileName);
    return CallHostFunction(fn, reinterpret_cast<INT_PTR>(name.c_str()), reinterpret_cast<INT_PTR>(stream));
}

extern "C" void __stdcall DllInitialize(INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5, INT_PTR v6,
                                        INT_PTR v7, INT_PTR v8, INT_PTR v9)
{
    INT_PTR values[9] = {v1, v2, v3, v4, v5, v6, v7, v8, v9};
    for (int i = 0; i < 9; ++i)
        HostValues[i] = values[i];
}

extern "C" BOOL __stdcall ShowEditor(HWND parentWindow, const BYTE* data, char** resultBlock, int dataSize,
                                     int* resultSize, int)
{
    bool result = false;
    try {
        TApplicationHandleScope handle(parentWindow);
        try {
            std::unique_ptr<TTransitionEffect> owner;
            TTransitionEffect* transition = nullptr;
            ReadTransitionDescription(transition, data, dataSize);
            owner.reset(transition);

            // The editor may hand back another object; the variable always holds the one to free.
            bool ok = false;
            try {
                ok = EditTransition(transition);
            } catch (...) {
                if (transition != owner.get()) {
                    owner.release();
                    owner.reset(transition);
                }
                throw;
            }
            if (transition != owner.get()) {
                owner.release();
                owner.reset(transition);
            }
            result = ok;
            if (ok) {
                if (!resultBlock || !resultSize)
                    throw Exception("The host gave no place for the result");
                FreeHostString(*resultBlock);
                *resultSize = 0;
                WriteTransitionDescription(transition, *resultBlock, 0);
            }
        } catch (...) {
            Application->HandleException();
        }
    } catch (...) {
        Application->HandleException();
    }
    return result ? TRUE : FALSE;
}

extern "C" BOOL __stdcall ShowAbout(HWND parentWindow)
{
    bool result = false;
    try {
        TApplicationHandleScope handle(parentWindow);
        try {
            throw Exception(AboutNotAvailableText);
        } catch (...) {
            Application->HandleException();
        }
    } catch (...) {
        Application->HandleException();
    }
    return result ? TRUE : FALSE;
}

void InitializeZulWork()
{
    OpenPublicationStream = &OpenStreamForMask;
}

void FinalizeZulWork()
{
    OpenPublicationStream = nullptr;
}
