#include <windows.h>

extern "C" {
void __stdcall DllInitialize(int, int, int, int, int, int, int, int, int) {}
BOOL __stdcall ShowEditor(HWND, const BYTE*, char**, int, int*, int) { return FALSE; }
BOOL __stdcall ShowAbout(HWND) { return FALSE; }
}
