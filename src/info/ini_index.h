// The uninstall information text, read once and indexed: every look-up finds
// the section and key that the Windows profile functions find, without
// going through the text again. Portable: no Windows headers, so the vendor
// tool builds it natively and checks exactly what the uninstaller reads.
//
// Where its answers are not the profile functions' (they read the text as
// Unicode): a text with a UTF-16 mark has no sections here (the 9x family
// cannot read it either); and names are compared as bytes, so a name that
// holds a byte standing for no character of the code page, a character
// with two codes, or (after a UTF-8 mark) any non-ASCII character may match
// differently. The uninstaller's own names are ASCII. Values are given as
// bytes of the text; info/infofile.cpp converts them as the profile
// functions do (after a UTF-8 mark, invalid UTF-8 in a value's last bytes
// may convert differently: the profile functions see what follows).
#pragma once

#include <stddef.h>

// A key line of the text: where its name and value stand (offsets into the
// text). Names and values are trimmed of blanks and end at an embedded NUL,
// as the profile functions' strings do; the value keeps its quotes.
struct IniKeyEntry {
    unsigned nameAt;
    unsigned cchName;
    unsigned valueAt;
    unsigned cchValue;      // INI_NO_VALUE for a line without "="
};
#define INI_NO_VALUE 0xFFFFFFFFu

// A section: its name (between "[" and the last "]", trimmed) and its keys,
// keys[firstKey] .. keys[firstKey + keyCount - 1]. Section 0 is the
// nameless part before the first header.
struct IniSectionEntry {
    unsigned nameAt;
    unsigned cchName;
    unsigned firstKey;
    unsigned keyCount;
};

// What the text starts with. The profile functions read a text that starts
// with a byte order mark as Unicode; the uninstaller's information is plain
// ANSI. After a UTF-8 mark the bytes are read as they are; a UTF-16 text
// has no sections at all.
enum IniTextEncoding { INI_ANSI = 0, INI_UTF8_BOM = 1, INI_UTF16_BOM = 2 };

// The index of one text. The text itself stays the caller's and must
// outlive the index; the index is one heap block besides it.
struct IniIndex {
    const char* text;
    size_t cbText;
    int encoding;                       // IniTextEncoding
    unsigned char leadBytes[256];       // non-zero for the lead bytes of the code page
    IniSectionEntry* sections;
    unsigned sectionCount;
    IniKeyEntry* keys;
    unsigned keyCount;
    unsigned* sectionSlots;             // hash of the first section of each name
    unsigned sectionMask;
    unsigned* keySlots;                 // hash of the first key of each name in those
    unsigned keyMask;
    void* block;
};

// Indexes text[0..cbText). leadBytes (256 entries, or NULL for a single-byte
// code page) says which bytes start a double-byte character: such a byte and
// the next one, whatever it is, form one character, unless the next is a NUL
// or the text ends. Lines end at CR or LF; blanks are tab, LF, VT, FF, CR,
// blank and the DOS end-of-file mark (0x1A). Returns non-zero on success,
// 0 when memory runs out or the text is larger than 4 GB (the index is then
// empty and FreeIniIndex may still be called). Never changes the text.
int BuildIniIndex(IniIndex* index, const char* text, size_t cbText, const unsigned char* leadBytes);

// Releases the index (not the text). The index is empty afterwards.
void FreeIniIndex(IniIndex* index);

// True for the bytes trimmed around names and values.
int IsIniBlank(unsigned char c);

// The section that a look-up of `name` reads: blanks around the asked name
// are dropped; the first section whose name matches without regard to the
// case of single-byte ASCII letters wins (an empty name finds the nameless
// part). NULL when there is none.
const IniSectionEntry* FindIniSection(const IniIndex* index, const char* name);

// The key that a look-up reads: the first key of that name in the section
// FindIniSection picks. NULL when there is none.
const IniKeyEntry* FindIniKey(const IniIndex* index, const char* section, const char* key);

// The value as GetPrivateProfileString gives it with an ample buffer: one
// pair of matching quotes (' or ") around it removed. Stores where it
// stands and its length and returns non-zero; returns 0 when the key is
// missing or has no "=" (the profile functions then give the default). An
// empty or blank key name finds the first key whose name is empty.
int FindIniValue(const IniIndex* index, const char* section, const char* key,
                 const char** pValue, size_t* pcchValue);

// The number as GetPrivateProfileInt gives it: the default for a missing or
// empty value, otherwise the leading number of its first 29 characters
// (blanks and control characters, an optional sign, an optional 0b/0o/0x
// prefix, then digits; wrapping like a 32-bit unsigned).
unsigned ReadIniNumber(const IniIndex* index, const char* section, const char* key, int defaultValue);

// Compares two names of cch bytes each as the look-ups do. Non-zero when
// they match.
int IniNamesMatch(const IniIndex* index, const char* a, const char* b, size_t cch);
