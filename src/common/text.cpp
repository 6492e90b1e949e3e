// Bounded string copies that never split a double-byte character.

#include "common/common.h"

// Length of the longest prefix of src[0..cb) that does not end in half a
// double-byte character of the system code page.
static size_t WholeCharacterPrefix(const char* src, size_t cb)
{
    size_t i = 0;
    while (i < cb) {
        size_t step = (IsDBCSLeadByte((BYTE)src[i]) && src[i + 1] != '\0') ? 2 : 1;
        if (i + step > cb)
            break;
        i += step;
    }
    return i;
}

int CopyText(char* dst, size_t cchDst, const char* src)
{
    if (dst == NULL || cchDst == 0)
        return 0;
    size_t len = lstrlenA(src);
    if (len < cchDst) {
        CopyMemory(dst, src, len + 1);
        return 1;
    }
    size_t keep = WholeCharacterPrefix(src, cchDst - 1);
    CopyMemory(dst, src, keep);
    dst[keep] = '\0';
    return 0;
}

int AppendText(char* dst, size_t cchDst, const char* src)
{
    if (dst == NULL || cchDst == 0)
        return 0;
    size_t used = 0;
    while (used < cchDst && dst[used] != '\0')
        ++used;
    if (used == cchDst)
        return 0;
    return CopyText(dst + used, cchDst - used, src);
}

const char* FindLastCharacter(const char* text)
{
    const char* last = NULL;
    const char* p = text;
    while (*p != '\0') {
        last = p;
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0')
            p += 2;
        else
            p += 1;
    }
    return last;
}

int EndsWithBackslash(const char* path)
{
    const char* last = FindLastCharacter(path);
    return last != NULL && *last == '\\' && last[1] == '\0';
}

void StripTrailingBackslashes(char* path)
{
    for (;;) {
        const char* last = FindLastCharacter(path);
        if (last == NULL || *last != '\\' || last[1] != '\0')
            return;
        path[last - path] = '\0';
    }
}

int AppendBackslash(char* path, size_t cchPath)
{
    if (path == NULL || cchPath == 0)
        return 0;
    size_t len = 0;
    while (len < cchPath && path[len] != '\0')
        ++len;
    if (len == cchPath)
        return 0;                       // not terminated within its buffer
    if (len == 0 || EndsWithBackslash(path))
        return 1;
    if (len + 2 > cchPath)
        return 0;
    path[len] = '\\';
    path[len + 1] = '\0';
    return 1;
}

const char* FindFileName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; p += IsDBCSLeadByte((BYTE)*p) && p[1] != '\0' ? 2 : 1)
        if (*p == '\\')
            name = p + 1;
    return name;
}
