// Drives the built module as a host would: loads zulEd.htd, calls its exports, and
// reads and closes the error boxes they show from a watcher thread.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "host/zulWork.h"
#include "platform/SysUtils.h"

namespace {

using TDllInitialize = void(__stdcall*)(INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR,
                                        INT_PTR);
using TShowEditor = BOOL(__stdcall*)(HWND, const BYTE*, char**, int, int*, int);
using TShowAbout = BOOL(__stdcall*)(HWND);

std::wstring ModulePath()
{
    // The build's path on the Unix side; Wine shows it on drive Z:.
    std::wstring p = Utf8ToWide(ZUL_MODULE_PATH);
    for (wchar_t& c : p)
        if (c == L'/')
            c = L'\\';
    if (!p.empty() && p[0] == L'\\')
        p = L"Z:" + p;
    return p;
}

struct SeenBox {
    std::wstring Caption;
    std::wstring Text;
    HWND Owner;
};

// Watches for message boxes of this process, notes their caption, text and owner,
// and presses OK.
class TBoxWatcher {
public:
    TBoxWatcher() : FThread([this] { Run(); }) {}
    ~TBoxWatcher()
    {
        FStop = true;
        FThread.join();
    }
    std::vector<SeenBox> Boxes()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FBoxes;
    }

private:
    void Run()
    {
        while (!FStop) {
            EnumWindows(&LookAt, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }
    static BOOL CALLBACK LookAt(HWND wnd, LPARAM self)
    {
        reinterpret_cast<TBoxWatcher*>(self)->Look(wnd);
        return TRUE;
    }
    void Look(HWND wnd)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        wchar_t cls[64] = {};
        GetClassNameW(wnd, cls, 64);
        if (pid != GetCurrentProcessId() || std::wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(wnd))
            return;
        if (std::find(FHandled.begin(), FHandled.end(), wnd) != FHandled.end())
            return;
        wchar_t caption[256] = {}, text[1024] = {};
        InternalGetWindowText(wnd, caption, 256);
        if (HWND label = GetDlgItem(wnd, 0xFFFF))
            InternalGetWindowText(label, text, 1024);
        {
            std::lock_guard<std::mutex> lock(FLock);
            FBoxes.push_back({caption, text, GetWindow(wnd, GW_OWNER)});
        }
        FHandled.push_back(wnd);
        PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    std::atomic<bool> FStop{false};
    std::mutex FLock;
    std::vector<SeenBox> FBoxes;
    std::vector<HWND> FHandled;
    std::thread FThread;
};

std::vector<String> gOpenedByHost;

bool ZUL_HOST_CALL HostOpenStreamProbe(const char* name, IStream** stream)
{
    gOpenedByHost.push_back(name);
    *stream = nullptr;
    return false;
}

bool ZUL_HOST_CALL HostBrowseFileProbe(INT_PTR, char**) { return false; }

class Module : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Dll = LoadLibraryW(ModulePath().c_str());
        ASSERT_TRUE(Dll) << "cannot load " << ZUL_MODULE_PATH << " (" << GetLastError() << ")";
        Init = reinterpret_cast<TDllInitialize>(GetProcAddress(Dll, "DllInitialize"));
        Editor = reinterpret_cast<TShowEditor>(GetProcAddress(Dll, "ShowEditor"));
        About = reinterpret_cast<TShowAbout>(GetProcAddress(Dll, "ShowAbout"));
        ASSERT_TRUE(Init && Editor && About);
        Init(1, 2, 3, reinterpret_cast<INT_PTR>(&HostBrowseFileProbe), 5, 6, 7,
             reinterpret_cast<INT_PTR>(&HostOpenStreamProbe), 9);
    }
    static void TearDownTestSuite()
    {
        if (Dll)
            FreeLibrary(Dll);
    }

    // One ShowEditor call with a host block and size that must survive a failure.
    struct EditorCall {
        BOOL Result;
        std::vector<SeenBox> Boxes;
        bool BlockUntouched;
        int ResultSize;
    };
    EditorCall CallEditor(const void* data, int size, HWND parent = nullptr)
    {
        char* block = static_cast<char*>(GlobalAlloc(GMEM_FIXED, 4));
        std::memcpy(block, "old", 4);
        char* const original = block;
        int resultSize = 1234;
        EditorCall call{};
        {
            TBoxWatcher watcher;
            call.Result = Editor(parent, static_cast<const BYTE*>(data), &block, size, &resultSize, 0);
            Sleep(50);
            call.Boxes = watcher.Boxes();
        }
        call.BlockUntouched = block == original && std::strcmp(block, "old") == 0;
        call.ResultSize = resultSize;
        GlobalFree(block);
        return call;
    }

    static inline HMODULE Dll = nullptr;
    static inline TDllInitialize Init = nullptr;
    static inline TShowEditor Editor = nullptr;
    static inline TShowAbout About = nullptr;
};

struct EditorCase {
    const char* Label;
    String Bytes;
    bool NullData;
    int SizeDelta;   // added to the byte count
    const char* Message;
};

void PrintTo(const EditorCase& c, std::ostream* os) { *os << c.Label; }

class ModuleEditor : public Module, public testing::WithParamInterface<EditorCase> {};

TEST_P(ModuleEditor, ShowsOneErrorBoxAndLeavesTheHostsBlock)
{
    const EditorCase& c = GetParam();
    EditorCall call = CallEditor(c.NullData ? nullptr : c.Bytes.data(),
                                 static_cast<int>(c.Bytes.size()) + c.SizeDelta);
    EXPECT_FALSE(call.Result);
    ASSERT_EQ(call.Boxes.size(), 1u);
    EXPECT_EQ(call.Boxes[0].Text, Utf8ToWide(c.Message));
    EXPECT_EQ(call.Boxes[0].Caption, L"zulEd");
    EXPECT_TRUE(call.BlockUntouched);
    EXPECT_EQ(call.ResultSize, 1234);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModuleEditor,
    testing::Values(
        // A readable description reaches the editor step.
        EditorCase{"NullData", "", true, 100, "The transition editor is not available yet."},
        EditorCase{"SizeBelowSeven", "Transition=Sparkle", false, -12, "The transition editor is not available yet."},
        EditorCase{"NegativeSize", "x", false, -10, "The transition editor is not available yet."},
        EditorCase{"CrossFade", String("Transition=CrossFade;Milliseconds=400\0", 38), false, 0,
                   "The transition editor is not available yet."},
        EditorCase{"UnknownName", String("Transition=Sparkle\0", 19), false, 0, "Transition 'Sparkle' not found"},
        EditorCase{"NoZeroWithinSize", "Transition=Sparkle;Milliseconds=1", false, -14,
                   "Transition 'Sparkle' not found"},
        EditorCase{"LegacyVersion", "ZULS303E80300", false, 0, "Wrong format version '3'"},
        EditorCase{"LegacyTruncated", "ZULS203E803", false, 0, "Stream read error"},
        EditorCase{"MaskFileMissing", String("Transition=BmpMask;EmbeddedFilename=wave.bmp\0", 45), false, 0,
                   "Файл 'wave.bmp' не найден."}),
    [](const auto& info) { return String(info.param.Label); });

TEST_F(Module, MaskFileIsAskedOfTheHostsCallback)
{
    gOpenedByHost.clear();
    const char text[] = "Transition=BmpMask;EmbeddedFilename=wave.bmp";
    CallEditor(text, sizeof text);
    EXPECT_EQ(gOpenedByHost, std::vector<String>{"wave.bmp"});
}

TEST_F(Module, ErrorBoxBelongsToTheHostsWindow)
{
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_TRUE(parent);
    EditorCall call = CallEditor(nullptr, 0, parent);
    ASSERT_EQ(call.Boxes.size(), 1u);
    EXPECT_EQ(call.Boxes[0].Owner, parent);
    DestroyWindow(parent);
    // The handle is given back: the next call without a parent owns nothing.
    call = CallEditor(nullptr, 0, nullptr);
    ASSERT_EQ(call.Boxes.size(), 1u);
    EXPECT_EQ(call.Boxes[0].Owner, nullptr);
}

TEST_F(Module, AboutReportsAndAnswersFalse)
{
    BOOL result;
    std::vector<SeenBox> boxes;
    {
        TBoxWatcher watcher;
        result = About(nullptr);
        Sleep(50);
        boxes = watcher.Boxes();
    }
    EXPECT_FALSE(result);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, L"The About box is not available yet.");
}

TEST_F(Module, NullResultReferencesDoNotCrash)
{
    TBoxWatcher watcher;
    EXPECT_FALSE(Editor(nullptr, nullptr, nullptr, 0, nullptr, 0));
}

}  // namespace
