// Putting the uninstall information into an uninstaller executable and
// taking it out again, on byte strings in memory. The block is the marker
// line "[<program title>]" + CR LF followed by the complemented text, and
// the uninstaller reads it from the first marker in its file onwards.
#pragma once

#include <string>

// Offset of the first marker in image, or std::string::npos. Unlike the
// uninstaller's own locator this also finds a marker that has no payload
// after it, so that no half block is ever built over.
size_t FindBlockMarker(const std::string& image);

// The information text of an uninstaller, decoded exactly as the launcher
// writes it (every byte from the payload to the end of the file). False
// when the file carries no block that the uninstaller would accept.
bool ExtractInfoText(const std::string& image, std::string* text);

// The executable without its block: everything before the first marker
// (the whole image when it has none).
std::string StripBlock(const std::string& image);

// image + marker + CR LF + complemented text. The caller makes sure the
// image holds no marker and the text is not empty.
std::string AppendBlock(const std::string& image, const std::string& text);

// True when the image starts like a Windows executable ("MZ").
bool LooksLikeExecutable(const std::string& image);
