// Text conversions of the vendor tool: names met on the build machine
// (UTF-8 file names and arguments on Linux, Unicode registry exports) into
// the ANSI code page of the systems the uninstaller ships to, 1252 or 932.
#pragma once

#include <string>

// Converts UTF-8 text into code page 1252 or 932. False when the text is
// not valid UTF-8 or holds a character that the code page cannot hold:
// the conversion must give back the same text when read again, so no
// character is ever replaced by a look-alike (an overline by a tilde).
bool Utf8ToCodePage(const std::string& utf8, int codePage, std::string* out);

// Converts text in code page 1252 or 932 into UTF-8. False when the bytes
// are no valid text of that code page (a lone lead byte, an unused code).
bool CodePageToUtf8(const std::string& text, int codePage, std::string* out);

// Converts UTF-16 little-endian bytes (no byte order mark) into UTF-8.
// False on a lone surrogate or an odd length.
bool Utf16LeToUtf8(const std::string& bytes, std::string* out);

// A command-line argument as UTF-8: Linux hands arguments over in UTF-8;
// on Windows they arrive in the system's ANSI code page.
std::string ArgumentToUtf8(const std::string& argument);

// Text for the terminal: UTF-8 text, or text in code page 1252 or 932, as
// the console of the build machine shows it (UTF-8 on Linux, the ANSI code
// page on Windows). Text that cannot be converted is passed on as it is.
std::string Utf8ForConsole(const std::string& utf8);
std::string CodePageForConsole(const std::string& text, int codePage);

// True for the lead bytes of double-byte characters in code page 932.
int IsShiftJisLeadByte(unsigned char c);

// The text with its control characters written as \xNN, for messages
// about names that may hold any byte.
std::string EscapedBytes(const std::string& text);
