// A small stand-in for the authoring application: loads zulEd.htd from its own folder,
// hands it the two host callbacks (browse for a file and open a file of the
// "publication", a folder beside the program), and lets a person edit a transition
// description with the plug-in.
//
//   zuldemo [--description TEXT] [--publication DIR] [--press edit|about] [--close-after SECONDS]

#include <windows.h>
#include <commdlg.h>
#include <objidl.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

namespace {

#if defined(__i386__)
// The host's own convention: first two arguments in EAX and EDX, the result in AL.
#define HOST_CALL __attribute__((regparm(2)))
#else
#define HOST_CALL
#endif

using TDllInitialize = void(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR,
                                        INT_PTR);
using TShowEditor = BOOL(__stdcall*)(HWND, const BYTE*, char**, int, int*, int);
using TShowAbout = BOOL(__stdcall*)(HWND);

enum { IdDescription = 100, IdEdit, IdAbout, IdResult, IdStatus };
constexpr UINT_PTR PressTimer = 1, CloseTimer = 2;

HMODULE gModule;
TShowEditor gShowEditor;
TShowAbout gShowAbout;
std::wstring gPublication;
HWND gMain, gDescription, gResult, gStatus;
HFONT gFont;
std::wstring gPress;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/"));
}

std::string ToAnsi(const std::wstring& w)
{
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring FromAnsi(const char* s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
    return w;
}

char* NewHostBlock(const std::string& text)
{
    auto* p = static_cast<char*>(GlobalAlloc(GMEM_FIXED, text.size() + 1));
    if (p)
        std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

// Value 4: lets the author pick a file of the publication; the block holds the current
// name on entry and the chosen one on a true result.
bool HOST_CALL HostBrowseFile(INT_PTR requestCode, char** block)
{
    wchar_t file[MAX_PATH] = {};
    if (*block)
        lstrcpynW(file, FromAnsi(*block).c_str(), MAX_PATH);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = gMain;
    ofn.lpstrFilter = L"Bitmaps (*.bmp)\0*.bmp\0All files\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = gPublication.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn))
        return false;
    // The publication knows its files by name.
    std::wstring chosen = file + ofn.nFileOffset;
    if (*block)
        GlobalFree(*block);
    *block = NewHostBlock(ToAnsi(chosen));
    return *block != nullptr;
}

// Value 8: opens a file of the publication as a stream.
bool HOST_CALL HostOpenStream(const char* fileName, IStream** stream)
{
    std::wstring path = gPublication + L"\\" + FromAnsi(fileName);
    return SUCCEEDED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL,
                                            FALSE, nullptr, stream));
}

std::wstring WindowText(HWND wnd)
{
    int n = GetWindowTextLengthW(wnd);
    std::wstring s(n + 1, L'\0');
    GetWindowTextW(wnd, s.data(), n + 1);
    s.resize(n);
    return s;
}

void PressEdit()
{
    std::string description = ToAnsi(WindowText(gDescription));
    char* result = nullptr;
    int resultSize = -1;
    BOOL ok = gShowEditor(gMain, reinterpret_cast<const BYTE*>(description.c_str()), &result,
                          static_cast<int>(description.size() + 1), &resultSize, 0);
    if (ok && result) {
        SetWindowTextW(gResult, FromAnsi(result).c_str());
        SetWindowTextW(gDescription, FromAnsi(result).c_str());
    }
    if (result)
        GlobalFree(result);
    SetWindowTextW(gStatus, ok ? L"ShowEditor: OK" : L"ShowEditor: отмена или ошибка (False)");
}

void PressAbout()
{
    BOOL ok = gShowAbout(gMain);
    SetWindowTextW(gStatus, ok ? L"ShowAbout: True" : L"ShowAbout: False");
}

HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
           DWORD exStyle = 0)
{
    HWND wnd = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, gMain,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);
    return wnd;
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) == IdEdit)
            PressEdit();
        else if (LOWORD(wp) == IdAbout)
            PressAbout();
        return 0;
    case WM_TIMER:
        KillTimer(wnd, wp);
        if (wp == PressTimer)
            PostMessageW(wnd, WM_COMMAND, gPress == L"about" ? IdAbout : IdEdit, 0);
        else if (wp == CloseTimer)
            PostQuitMessage(0);   // also ends a message box's own loop
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    std::wstring description = L"Transition=CrossFade;Milliseconds=1000";
    gPublication = ProgramFolder() + L"\\publication";
    int closeAfter = 0;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring key = argv[i], value = argv[i + 1];
        if (key == L"--description")
            description = value;
        else if (key == L"--publication")
            gPublication = value;
        else if (key == L"--press")
            gPress = value;
        else if (key == L"--close-after")
            closeAfter = _wtoi(value.c_str());
    }
    LocalFree(argv);
    CreateDirectoryW(gPublication.c_str(), nullptr);

    gModule = LoadLibraryW((ProgramFolder() + L"\\zulEd.htd").c_str());
    auto init = gModule ? reinterpret_cast<TDllInitialize>(GetProcAddress(gModule, "DllInitialize")) : nullptr;
    gShowEditor = gModule ? reinterpret_cast<TShowEditor>(GetProcAddress(gModule, "ShowEditor")) : nullptr;
    gShowAbout = gModule ? reinterpret_cast<TShowAbout>(GetProcAddress(gModule, "ShowAbout")) : nullptr;
    if (!init || !gShowEditor || !gShowAbout) {
        MessageBoxW(nullptr, L"zulEd.htd не найден рядом с программой или не загружается.", L"zuldemo",
                    MB_OK | MB_ICONSTOP);
        return 1;
    }
    // Values 1-3, 5-7 and 9 mean nothing to the plug-in.
    init(0, 0, 0, reinterpret_cast<INT_PTR>(&HostBrowseFile), 0, 0, 0, reinterpret_cast<INT_PTR>(&HostOpenStream),
         0);

    gFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");

    WNDCLASSW wc{};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = L"ZulDemoHost";
    RegisterClassW(&wc);
    gMain = CreateWindowW(L"ZulDemoHost", L"zuldemo — хост для zulEd.htd", WS_OVERLAPPED | WS_CAPTION |
                          WS_SYSMENU | WS_MINIMIZEBOX, 60, 60, 560, 240, nullptr, nullptr, instance, nullptr);

    Child(L"STATIC", L"Описание перехода:", 0, 12, 12, 520, 16, 0);
    gDescription = Child(L"EDIT", description.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, 12, 30, 520, 22,
                         IdDescription, WS_EX_CLIENTEDGE);
    Child(L"BUTTON", L"Изменить…", WS_TABSTOP | BS_DEFPUSHBUTTON, 12, 62, 110, 26, IdEdit);
    Child(L"BUTTON", L"О плагине", WS_TABSTOP, 130, 62, 110, 26, IdAbout);
    Child(L"STATIC", L"Возвращённое описание:", 0, 12, 102, 520, 16, 0);
    gResult = Child(L"EDIT", L"", ES_AUTOHSCROLL | ES_READONLY, 12, 120, 520, 22, IdResult, WS_EX_CLIENTEDGE);
    gStatus = Child(L"STATIC", L"Нажмите «Изменить…», чтобы открыть редактор перехода.", 0, 12, 152, 520, 16,
                    IdStatus);
    std::wstring where = L"Публикация: " + gPublication;
    Child(L"STATIC", where.c_str(), SS_PATHELLIPSIS, 12, 176, 520, 16, 0);

    ShowWindow(gMain, show);
    UpdateWindow(gMain);
    if (!gPress.empty())
        SetTimer(gMain, PressTimer, 800, nullptr);
    if (closeAfter > 0)
        SetTimer(gMain, CloseTimer, closeAfter * 1000, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(gMain, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow(gMain);
    DeleteObject(gFont);
    FreeLibrary(gModule);
    return 0;
}
