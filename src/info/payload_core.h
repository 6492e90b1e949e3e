// The information block at the end of the uninstaller executable: the
// marker line "[<program title>]" + CR LF, then the uninstall information
// text with every byte complemented. Portable: no Windows headers, so the
// vendor tool builds it natively too.
#pragma once

#include <stddef.h>

// Length of the block marker, without terminator.
#define TW_MARKER_LENGTH 22
// Bytes after the marker that are skipped unexamined (CR LF).
#define TW_MARKER_LINE_END 2

// Composes the marker into marker (TW_MARKER_LENGTH + 1 bytes) at run time.
// The marker is never stored whole in the program's data, so that a search
// of the executable cannot find it inside the program's own image.
void ComposeBlockMarker(char* marker);

// Searches data[0..size) for the first marker and returns the offset at
// which the payload begins (marker + line end), or -1 when there is no
// block: no marker, or a payload shorter than one byte.
long long FindPayloadOffset(const unsigned char* data, size_t size);

// Complements every byte in place; the same call encodes and decodes.
void ComplementBytes(unsigned char* data, size_t size);
