#include <windows.h>

#include "host/ZulEd.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // A failed start-up (a broken invariant) keeps the module from loading.
        try {
            InitializeUnits();
        } catch (...) {
            try {
                FinalizeUnits();
            } catch (...) {
            }
            return FALSE;
        }
        break;
    case DLL_PROCESS_DETACH:
        try {
            FinalizeUnits();
        } catch (...) {
        }
        break;
    }
    return TRUE;
}
