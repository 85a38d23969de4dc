// Preloaded into 32-bit Wine when it runs under qemu-user emulation.
//
// Wine reserves its address ranges with MAP_FIXED_NOREPLACE. qemu-user does not
// honour that flag for 32-bit guests and maps elsewhere, so Wine's reservation loop
// splits every range down to 64 KiB and a process spends a minute starting. Here the
// flag gets its kernel meaning: map exactly there when the range is free (qemu shows
// the guest's own mappings in /proc/self/maps), else fail with EEXIST.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static char maps[256 * 1024];
static volatile int maps_lock;

static int range_free(uintptr_t start, uintptr_t len)
{
    int fd = open("/proc/self/maps", O_RDONLY);
    if (fd < 0)
        return 0;
    size_t n = 0;
    ssize_t r;
    while (n < sizeof maps - 1 && (r = read(fd, maps + n, sizeof maps - 1 - n)) > 0)
        n += (size_t)r;
    close(fd);
    if (n >= sizeof maps - 1)
        return 0;   // could not see every mapping: refuse rather than overwrite one
    maps[n] = 0;
    uintptr_t end = start + len;
    for (char* p = maps; *p;) {
        unsigned long lo, hi;
        if (sscanf(p, "%lx-%lx", &lo, &hi) == 2 && lo < end && hi > start)
            return 0;
        char* nl = strchr(p, '\n');
        if (!nl)
            break;
        p = nl + 1;
    }
    return 1;
}

typedef void* (*mmap64_fn)(void*, size_t, int, int, int, off64_t);

static void* map(void* addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    static mmap64_fn real;
    if (!real)
        real = (mmap64_fn)dlsym(RTLD_NEXT, "mmap64");
    if (!(flags & MAP_FIXED_NOREPLACE) || !addr)
        return real(addr, len, prot, flags, fd, off);
    // Check and map under one lock so no other thread maps in between.
    while (__sync_lock_test_and_set(&maps_lock, 1))
        sched_yield();
    void* result = MAP_FAILED;
    if (range_free((uintptr_t)addr, len))
        result = real(addr, len, prot, (flags & ~MAP_FIXED_NOREPLACE) | MAP_FIXED, fd, off);
    else
        errno = EEXIST;
    __sync_lock_release(&maps_lock);
    return result;
}

void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t off)
{
    return map(addr, len, prot, flags, fd, off);
}

void* mmap64(void* addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    return map(addr, len, prot, flags, fd, off);
}
