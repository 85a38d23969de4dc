#include "tests/common/ResourceCount.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// One entry of the shared handle table: the object's address, the owner, the handle's
// upper word, the object type (0 = free slot), flags and a user pointer.
#pragma pack(push, 1)
struct TGdiEntry {
    uint64_t Object;
    uint32_t Owner;
    uint16_t Unique;
    uint8_t Type;
    uint8_t Flags;
    uint64_t UserPointer;
};
#pragma pack(pop)
static_assert(sizeof(TGdiEntry) == 24, "handle table entries are 24 bytes");

constexpr int kMaxEntries = 0x10000;
#ifdef _WIN64
constexpr size_t kTableOffset = 0xF8;
#else
constexpr size_t kTableOffset = 0x94;
#endif

const TGdiEntry* HandleTable()
{
    PROCESS_BASIC_INFORMATION pbi{};
    ULONG len = 0;
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &pbi, sizeof(pbi), &len) != 0 ||
        !pbi.PebBaseAddress)
        return nullptr;
    const BYTE* peb = reinterpret_cast<const BYTE*>(pbi.PebBaseAddress);
    const void* table = nullptr;
    std::memcpy(&table, peb + kTableOffset, sizeof(table));
    return static_cast<const TGdiEntry*>(table);
}

bool LayoutConfirmed(const TGdiEntry* table)
{
    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    if (!probe)
        return false;
    uintptr_t h = reinterpret_cast<uintptr_t>(probe);
    const TGdiEntry& e = table[h & 0xFFFF];
    bool ok = e.Type != 0 && e.Unique == static_cast<uint16_t>(h >> 16);
    DeleteObject(probe);
    ok = ok && table[h & 0xFFFF].Type == 0;
    return ok;
}

BOOL CALLBACK CountChild(HWND, LPARAM counter)
{
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int CountWithChildren(HWND wnd)
{
    int n = 1;
    EnumChildWindows(wnd, CountChild, reinterpret_cast<LPARAM>(&n));
    return n;
}

BOOL CALLBACK CountTopLevel(HWND wnd, LPARAM counter)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == GetCurrentProcessId())
        *reinterpret_cast<int*>(counter) += CountWithChildren(wnd);
    return TRUE;
}

}  // namespace

int CountGdiObjects()
{
    const TGdiEntry* table = HandleTable();
    if (!table || !LayoutConfirmed(table))
        return -1;
    int n = 0;
    for (int i = 0; i < kMaxEntries; ++i)
        if (table[i].Type != 0)
            ++n;
    return n;
}

int CountProcessWindows()
{
    int n = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&n));
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId())
            n += CountWithChildren(w);
    }
    return n;
}
