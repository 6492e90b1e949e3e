// Locating and decoding the information block in a memory image of the
// executable. The file handling lives in payload.cpp.

#include "info/payload_core.h"
#include "common/title.h"

#include <string.h>

void ComposeBlockMarker(char* marker)
{
    // Copied through volatile pointers so that the compiler cannot fold the
    // three pieces into one marker literal in the executable's data.
    static const char kOpen[] = "[";
    static const char kTitle[] = TW_PROGRAM_TITLE;
    static const char kClose[] = "]";
    const char* const volatile parts[3] = { kOpen, kTitle, kClose };
    size_t n = 0;
    for (int i = 0; i < 3; ++i) {
        const char* volatile p = parts[i];
        while (*p != '\0' && n < TW_MARKER_LENGTH)
            marker[n++] = *p++;
    }
    marker[n] = '\0';
}

long long FindPayloadOffset(const unsigned char* data, size_t size)
{
    char marker[TW_MARKER_LENGTH + 1];
    ComposeBlockMarker(marker);
    if (data == NULL || size <= TW_MARKER_LENGTH)
        return -1;
    const size_t lastStart = size - TW_MARKER_LENGTH - 1;
    for (size_t at = 0; at <= lastStart; ++at) {
        if (data[at] != (unsigned char)marker[0])
            continue;
        if (memcmp(data + at, marker, TW_MARKER_LENGTH) != 0)
            continue;
        size_t payload = at + TW_MARKER_LENGTH + TW_MARKER_LINE_END;
        if (payload >= size)
            return -1;              // the block ends within its line end
        return (long long)payload;
    }
    return -1;
}

void ComplementBytes(unsigned char* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        data[i] = (unsigned char)~data[i];
}
