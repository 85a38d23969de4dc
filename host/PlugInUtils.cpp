#include "host/PlugInUtils.h"

#include <windows.h>

#include <cstring>

#include "platform/SysUtils.h"

void SetHostString(char*& block, std::string_view text)
{
    FreeHostString(block);
    void* p = GlobalAlloc(GMEM_FIXED, text.size() + 1);
    if (!p)
        RaiseLastOSError();
    std::memcpy(p, text.data(), text.size());
    static_cast<char*>(p)[text.size()] = '\0';
    block = static_cast<char*>(p);
}

void FreeHostString(char*& block)
{
    if (block)
        GlobalFree(block);
    block = nullptr;
}
