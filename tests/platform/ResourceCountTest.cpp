#include <gtest/gtest.h>

#include <windows.h>

#include "tests/common/ResourceCount.h"

namespace {

// The leak checks of other tests rely on these counters: they must see a leak.
TEST(ResourceCount, SeesALeakedGdiObject)
{
    int before = CountGdiObjects();
    ASSERT_GE(before, 0) << "GDI handle table not readable";
    HBRUSH leaked = CreateSolidBrush(RGB(9, 9, 9));   // deliberately not freed yet
    EXPECT_EQ(CountGdiObjects(), before + 1);
    DeleteObject(leaked);
    EXPECT_EQ(CountGdiObjects(), before);
}

TEST(ResourceCount, SeesALeakedWindowOfEveryKind)
{
    // A thread's top-level windows bring the system's input-method window, which goes
    // with the last of them: an anchor keeps it in place while we count.
    HWND anchor = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    int before = CountProcessWindows();
    HWND top = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, top, nullptr, nullptr, nullptr);
    HWND msgOnly = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(top && child && msgOnly);
    EXPECT_EQ(CountProcessWindows(), before + 3);
    DestroyWindow(msgOnly);
    DestroyWindow(top);
    EXPECT_EQ(CountProcessWindows(), before);
    DestroyWindow(anchor);
}

}  // namespace
