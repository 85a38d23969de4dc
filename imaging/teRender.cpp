#include "imaging/teRender.h"

#include <cpuid.h>
#include <cstring>

bool CpuHasMMX = false;
bool CpuHasMMXExt = false;

void DetectCpuFeatures()
{
    unsigned a, b, c, d;
    CpuHasMMX = CpuHasMMXExt = false;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return;
    char vendor[13];
    std::memcpy(vendor, &b, 4);
    std::memcpy(vendor + 4, &d, 4);
    std::memcpy(vendor + 8, &c, 4);
    vendor[12] = 0;
    if (a >= 1) {
        __cpuid(1, a, b, c, d);
        CpuHasMMX = (d >> 23) & 1;
        CpuHasMMXExt = (d >> 25) & 1;   // SSE brings the MMX extensions
    }
    if (std::strcmp(vendor, "AuthenticAMD") == 0 && __get_cpuid_max(0x80000000u, nullptr) >= 0x80000001u) {
        __cpuid(0x80000001u, a, b, c, d);
        if ((d >> 22) & 1)
            CpuHasMMXExt = true;
    }
}
