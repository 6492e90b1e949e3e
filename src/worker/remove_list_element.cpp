// Takes the program's directory out of a list value such as PATH, where
// other programs keep their directories too: only the elements equal to
// it go; everything else in the value, and its type, stays as it was.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

// Folds text[0..cch) for comparison: one final backslash dropped, upper
// case in the ANSI code page, into folded (MAX_PATH bytes). 0 when it does
// not fit, which no listed directory would.
static int FoldDirectory(const char* text, size_t cch, char* folded)
{
    if (cch >= MAX_PATH)
        return 0;
    CopyMemory(folded, text, cch);
    folded[cch] = '\0';
    // The trail byte 0x5C of a double-byte character is no backslash.
    if (EndsWithBackslash(folded))
        folded[--cch] = '\0';
    CharUpperBuffA(folded, (DWORD)cch);
    return 1;
}

size_t DropListElements(const char* list, const char* directory, char* out)
{
    char wanted[MAX_PATH];
    // An empty directory (or a lone backslash) would match empty elements.
    const int matchable = FoldDirectory(directory, (size_t)lstrlenA(directory), wanted) && wanted[0] != '\0';
    size_t taken = 0;
    size_t cchOut = 0;
    int kept = 0;
    for (const char* element = list;;) {
        // ';' is never the trail byte of a double-byte character.
        const char* end = element;
        while (*end != '\0' && *end != ';')
            ++end;
        size_t cch = (size_t)(end - element);
        char folded[MAX_PATH];
        if (matchable && FoldDirectory(element, cch, folded) && lstrcmpA(folded, wanted) == 0) {
            ++taken;
        } else {
            // The kept elements with the separators between them, so that
            // nothing changes where nothing is taken out.
            if (kept++)
                out[cchOut++] = ';';
            CopyMemory(out + cchOut, element, cch);
            cchOut += cch;
        }
        if (*end == '\0')
            break;
        element = end + 1;
    }
    out[cchOut] = '\0';
    return taken;
}

// On the NT family the registry holds Unicode, and the ANSI functions give
// each character the code page lacks as another one: writing such a text
// back would change the elements of other programs. True when the text
// part of ansi (as RegQueryValueExA read it) is the value's text exactly.
// The 9x family keeps ANSI text, so nothing is lost there.
static int IsFaithfulAnsiText(HKEY hKey, const char* name, const char* ansi)
{
    if (IsNtPlatform() == 0)
        return 1;
    typedef LONG (WINAPI* QueryValueW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    HMODULE hAdvapi = GetModuleHandleA("advapi32.dll");
    QueryValueW queryW = hAdvapi ? (QueryValueW)(void*)GetProcAddress(hAdvapi, "RegQueryValueExW") : NULL;
    WCHAR wideName[MAX_PATH];
    if (queryW == NULL || MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, COUNTOF(wideName)) == 0)
        return 0;
    DWORD cbStored = 0;
    if (queryW(hKey, wideName, NULL, NULL, NULL, &cbStored) != ERROR_SUCCESS)
        return 0;
    HeapGuard stored(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cbStored + 2 * sizeof(WCHAR)));
    int cchAnsi = lstrlenA(ansi);
    HeapGuard converted(HeapAlloc(GetProcessHeap(), 0, ((size_t)cchAnsi + 1) * sizeof(WCHAR)));
    if (stored.Get() == NULL || converted.Get() == NULL ||
        queryW(hKey, wideName, NULL, NULL, (BYTE*)stored.Get(), &cbStored) != ERROR_SUCCESS)
        return 0;
    WCHAR* wide = (WCHAR*)converted.Get();
    int cchWide = MultiByteToWideChar(CP_ACP, 0, ansi, cchAnsi, wide, cchAnsi);
    if (cchAnsi > 0 && cchWide == 0)
        return 0;
    const WCHAR* storedText = (const WCHAR*)stored.Get();
    return cchWide == lstrlenW(storedText) && memcmp(wide, storedText, (size_t)cchWide * sizeof(WCHAR)) == 0;
}

LONG ReadListValue(HKEY hKey, const char* name, DWORD* type, char** data, DWORD* cbData)
{
    *data = NULL;
    DWORD cbSize = 0;
    LONG error = RegQueryValueExA(hKey, name, NULL, type, NULL, &cbSize);
    if (error != ERROR_SUCCESS)
        return error;
    // Room for two terminators that a stored value may lack. The 9x family
    // holds at most 16,300 bytes in a value; the NT family has no such
    // limit, so the size comes from the registry, not from a fixed buffer.
    HeapGuard block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)cbSize + 2));
    if (block.Get() == NULL)
        return ERROR_NOT_ENOUGH_MEMORY;
    *cbData = cbSize;
    error = RegQueryValueExA(hKey, name, NULL, type, (BYTE*)block.Get(), cbData);
    if (error != ERROR_SUCCESS)
        return error;
    if (*type != REG_SZ && *type != REG_EXPAND_SZ)
        return ERROR_INVALID_DATATYPE;
    if (!IsFaithfulAnsiText(hKey, name, (const char*)block.Get()))
        return ERROR_NO_UNICODE_TRANSLATION;
    *data = (char*)block.Detach();
    return ERROR_SUCCESS;
}

static int FailWith(LONG error)
{
    SetLastError((DWORD)error);
    return 0;
}

int RemoveListElement(HKEY root, const char* keyPath, const char* name, const char* directory)
{
    if (!IsValueKeyPath(root, keyPath))
        return FailWith(ERROR_INVALID_NAME);
    KeyGuard key;
    LONG error = RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Out());
    if (error != ERROR_SUCCESS)
        return FailWith(error);
    DWORD type = 0;
    DWORD cbRead = 0;
    char* text = NULL;
    error = ReadListValue(key.Get(), name, &type, &text, &cbRead);
    HeapGuard data(text);
    if (error != ERROR_SUCCESS)
        return FailWith(error);
    HeapGuard changed(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (SIZE_T)cbRead + 2));
    if (changed.Get() == NULL)
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    char* out = (char*)changed.Get();
    if (DropListElements(text, directory, out) == 0)
        return FailWith(ERROR_FILE_NOT_FOUND);
    // What followed the text (its terminator, and whatever a program wrote
    // after it) stays too.
    size_t cchText = (size_t)lstrlenA(text);
    size_t cchOut = (size_t)lstrlenA(out);
    size_t cbTail = cbRead > cchText ? cbRead - cchText : 0;
    CopyMemory(out + cchOut, text + cchText, cbTail);
    error = RegSetValueExA(key.Get(), name, 0, type, (const BYTE*)out, (DWORD)(cchOut + cbTail));
    if (error != ERROR_SUCCESS)
        return FailWith(error);
    return 1;
}
