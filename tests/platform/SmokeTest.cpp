#include <gtest/gtest.h>
#include <windows.h>

TEST(Smoke, PerformanceCounterExists)
{
    LARGE_INTEGER f;
    EXPECT_TRUE(QueryPerformanceFrequency(&f));
}
