// Reads the display name of the application's installed-programs entry,
// the name that the question and the progress dialog show.

#include "worker/worker.h"
#include "common/common.h"
#include "common/guard.h"

void ReadDisplayName(HKEY hEntry, char* displayName, size_t cchDisplayName)
{
    displayName[0] = '\0';
    DWORD type = 0;
    DWORD cb = (DWORD)cchDisplayName;
    LONG rc = RegQueryValueExA(hEntry, "DisplayName", NULL, &type, (BYTE*)displayName, &cb);
    if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        // Registry strings may arrive without their terminator.
        displayName[cb < cchDisplayName ? cb : cchDisplayName - 1] = '\0';
        return;
    }
    displayName[0] = '\0';
    if (rc != ERROR_MORE_DATA || (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    HeapGuard whole(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cb + 1));
    if (whole.Get() == NULL)
        return;
    if (RegQueryValueExA(hEntry, "DisplayName", NULL, &type, (BYTE*)whole.Get(), &cb) == ERROR_SUCCESS)
        CopyText(displayName, cchDisplayName, (const char*)whole.Get());
}
