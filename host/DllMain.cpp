#include <windows.h>

#include "host/ZulEd.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        InitializeUnits();
        break;
    case DLL_PROCESS_DETACH:
        FinalizeUnits();
        break;
    }
    return TRUE;
}
