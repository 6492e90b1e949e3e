// The few C library functions that the executable needs, written here so
// that it imports no C runtime DLL: the block functions that the compiler
// calls by itself (structure copies, zeroed arrays) and the ones the
// portable information index uses. Only the executable links this file;
// the test programs and tools take their C runtime's.
//
// Built with -fno-builtin and without loop-to-call rewriting, so that no
// loop below is turned back into a call of the function it implements.

#include <windows.h>
#include <stddef.h>

extern "C" {

void* memcpy(void* dst, const void* src, size_t cb)
{
    unsigned char* d = (unsigned char*)dst;
    const unsigned char* s = (const unsigned char*)src;
    while (cb--)
        *d++ = *s++;
    return dst;
}

void* memmove(void* dst, const void* src, size_t cb)
{
    unsigned char* d = (unsigned char*)dst;
    const unsigned char* s = (const unsigned char*)src;
    if (d <= s || d >= s + cb)
        return memcpy(dst, src, cb);
    // Overlapping with the source first: copy from the end down.
    while (cb--)
        d[cb] = s[cb];
    return dst;
}

void* memset(void* dst, int value, size_t cb)
{
    unsigned char* d = (unsigned char*)dst;
    while (cb--)
        *d++ = (unsigned char)value;
    return dst;
}

int memcmp(const void* a, const void* b, size_t cb)
{
    const unsigned char* p = (const unsigned char*)a;
    const unsigned char* q = (const unsigned char*)b;
    for (; cb; --cb, ++p, ++q)
        if (*p != *q)
            return *p < *q ? -1 : 1;
    return 0;
}

void* memchr(const void* block, int value, size_t cb)
{
    const unsigned char* p = (const unsigned char*)block;
    for (; cb; --cb, ++p)
        if (*p == (unsigned char)value)
            return (void*)p;
    return NULL;
}

size_t strlen(const char* text)
{
    const char* p = text;
    while (*p)
        ++p;
    return (size_t)(p - text);
}

// Zeroed blocks from the process heap, as the rest of the program uses.
void* calloc(size_t count, size_t cb)
{
    if (cb && count > (size_t)-1 / cb)
        return NULL;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * cb);
}

void free(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

}
