// Indexing the uninstall information text: one pass that splits it into
// sections and keys by the profile functions' rules, a second that fills
// the index, and hash tables that find the first section and key of a name.
// The profile functions work on the text converted to Unicode, so a
// double-byte character is stepped over whole: its trail byte is never
// taken for a line end, a bracket or a letter to fold.

#include "info/ini_index.h"

#include <stdlib.h>
#include <string.h>

int IsIniBlank(unsigned char c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' ';
}

// Length of the character at p (1 or 2 bytes); p < end.
static size_t CharLength(const unsigned char* leadBytes, const char* p, const char* end)
{
    return (leadBytes[(unsigned char)*p] && p + 1 < end && p[1] != '\0') ? 2 : 1;
}

// The end of [p, end) cut at its first NUL.
static const char* CutAtNul(const char* p, const char* end)
{
    const void* nul = memchr(p, '\0', (size_t)(end - p));
    return nul != NULL ? (const char*)nul : end;
}

static unsigned char FoldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c - 'A' + 'a') : c;
}

int IniNamesMatch(const IniIndex* index, const char* a, const char* b, size_t cch)
{
    const char* end = a + cch;
    while (a < end) {
        size_t n = CharLength(index->leadBytes, a, end);
        if (n == 2) {
            if (a[0] != b[0] || a[1] != b[1])
                return 0;
        } else if (FoldAscii((unsigned char)*a) != FoldAscii((unsigned char)*b)) {
            return 0;
        }
        a += n;
        b += n;
    }
    return 1;
}

static unsigned HashName(const IniIndex* index, const char* p, size_t cch, unsigned seed)
{
    unsigned h = 2166136261u ^ seed;
    const char* end = p + cch;
    while (p < end) {
        size_t n = CharLength(index->leadBytes, p, end);
        h = (h ^ (n == 2 ? (unsigned char)*p : FoldAscii((unsigned char)*p))) * 16777619u;
        if (n == 2)
            h = (h ^ (unsigned char)p[1]) * 16777619u;
        p += n;
    }
    return h ^ (h >> 15);
}

// What one pass over the text finds: counts only, or the entries too.
struct ParseState {
    IniIndex* index;
    int fill;
    unsigned sectionCount;
    unsigned keyCount;
    int previousKeyNameless;    // the section's last key has an empty name
    int haveKeyInSection;
};

static void AddSection(ParseState* s, const char* name, const char* nameEnd)
{
    if (s->fill) {
        IniSectionEntry* e = &s->index->sections[s->sectionCount];
        e->nameAt = (unsigned)(name - s->index->text);
        e->cchName = (unsigned)(nameEnd - name);
        e->firstKey = s->keyCount;
        e->keyCount = 0;
    }
    ++s->sectionCount;
    s->haveKeyInSection = 0;
}

static void AddKey(ParseState* s, const char* name, const char* nameEnd, const char* value,
                   const char* valueEnd)
{
    // Runs of lines with an empty name keep only their first, as the
    // profile functions do. A name that starts with a NUL counts as empty
    // for the next line, but only a line with no name at all is dropped.
    const char* cut = CutAtNul(name, nameEnd);
    if (nameEnd == name && s->haveKeyInSection && s->previousKeyNameless)
        return;
    if (s->fill) {
        IniKeyEntry* e = &s->index->keys[s->keyCount];
        e->nameAt = (unsigned)(name - s->index->text);
        e->cchName = (unsigned)(cut - name);
        if (value != NULL) {
            e->valueAt = (unsigned)(value - s->index->text);
            e->cchValue = (unsigned)(CutAtNul(value, valueEnd) - value);
        } else {
            e->valueAt = 0;
            e->cchValue = INI_NO_VALUE;
        }
        ++s->index->sections[s->sectionCount - 1].keyCount;
    }
    ++s->keyCount;
    s->haveKeyInSection = 1;
    s->previousKeyNameless = cut == name;
}

// Handles one line, [p, end) without its line end.
static void ParseLine(ParseState* s, const char* p, const char* end)
{
    const unsigned char* lead = s->index->leadBytes;
    // One walk over the characters: the trimmed bounds, the first "=", and
    // the last "]" with the end of the text before it.
    const char* first = NULL;
    const char* lastEnd = p;
    const char* equals = NULL;
    const char* nameEndAtEquals = NULL;
    const char* close = NULL;
    const char* endBeforeClose = NULL;
    for (const char* q = p; q < end;) {
        size_t n = CharLength(lead, q, end);
        if (n == 1 && IsIniBlank((unsigned char)*q)) {
            q += 1;
            continue;
        }
        if (first == NULL)
            first = q;
        if (n == 1 && *q == '=' && equals == NULL) {
            equals = q;
            nameEndAtEquals = lastEnd;
        }
        if (n == 1 && *q == ']') {
            close = q;
            endBeforeClose = lastEnd;
        }
        q += n;
        lastEnd = q;
    }
    if (first == NULL)
        return;

    if (*first == '[' && close != NULL && close > first) {
        // The name runs to the last "]", so text after it is dropped and a
        // "]" inside the name is kept; blanks inside the brackets go.
        const char* name = first + 1;
        while (name < endBeforeClose && IsIniBlank((unsigned char)*name))
            ++name;
        const char* nameEnd = endBeforeClose > name ? endBeforeClose : name;
        AddSection(s, name, CutAtNul(name, nameEnd));
        return;
    }

    if (equals == NULL) {
        AddKey(s, first, lastEnd, NULL, NULL);
        return;
    }
    const char* nameEnd = nameEndAtEquals > first ? nameEndAtEquals : first;
    const char* value = equals + 1;
    while (value < lastEnd && IsIniBlank((unsigned char)*value))
        ++value;
    AddKey(s, first, nameEnd, value, lastEnd);
}

static void ParseText(ParseState* s, const char* text, const char* end)
{
    const unsigned char* lead = s->index->leadBytes;
    AddSection(s, text, text);
    const char* p = text;
    while (p < end) {
        // A line ends at a CR or an LF alike, but never inside a
        // double-byte character.
        const char* lineStart = p;
        while (p < end && !(*p == '\r' || *p == '\n'))
            p += CharLength(lead, p, end);
        ParseLine(s, lineStart, p);
        while (p < end && (*p == '\r' || *p == '\n'))
            ++p;
    }
}

// The most sections or keys one index holds: their slots (half as many
// again, rounded up to a power of two) still fit an unsigned.
static const unsigned kMaxEntries = 0x40000000u;

static unsigned SlotCount(unsigned entries)
{
    // At most two thirds full.
    unsigned slots = 16;
    while (slots < entries + entries / 2 + 1)
        slots *= 2;
    return slots;
}

static const IniSectionEntry* LookUpSection(const IniIndex* index, const char* name, size_t cch)
{
    if (index->sectionSlots == NULL)
        return NULL;
    unsigned h = HashName(index, name, cch, 0) & index->sectionMask;
    for (;; h = (h + 1) & index->sectionMask) {
        unsigned slot = index->sectionSlots[h];
        if (slot == 0)
            return NULL;
        const IniSectionEntry* e = &index->sections[slot - 1];
        if (e->cchName == cch && IniNamesMatch(index, index->text + e->nameAt, name, cch))
            return e;
    }
}

static const IniKeyEntry* LookUpKey(const IniIndex* index, const IniSectionEntry* section,
                                    const char* name, size_t cch)
{
    unsigned sectionNumber = (unsigned)(section - index->sections);
    unsigned h = HashName(index, name, cch, sectionNumber * 2654435761u) & index->keyMask;
    for (;; h = (h + 1) & index->keyMask) {
        unsigned slot = index->keySlots[h];
        if (slot == 0)
            return NULL;
        unsigned k = slot - 1;
        const IniKeyEntry* e = &index->keys[k];
        if (k >= section->firstKey && k - section->firstKey < section->keyCount && e->cchName == cch &&
            IniNamesMatch(index, index->text + e->nameAt, name, cch))
            return e;
    }
}

// Enters the first section of each name, and the first key of each name in
// those sections; later ones are never read.
static void FillSlots(IniIndex* index)
{
    for (unsigned i = 0; i < index->sectionCount; ++i) {
        const IniSectionEntry* section = &index->sections[i];
        const char* name = index->text + section->nameAt;
        if (LookUpSection(index, name, section->cchName) != NULL)
            continue;
        unsigned h = HashName(index, name, section->cchName, 0) & index->sectionMask;
        while (index->sectionSlots[h] != 0)
            h = (h + 1) & index->sectionMask;
        index->sectionSlots[h] = i + 1;
        for (unsigned k = section->firstKey; k < section->firstKey + section->keyCount; ++k) {
            const IniKeyEntry* key = &index->keys[k];
            const char* keyName = index->text + key->nameAt;
            if (LookUpKey(index, section, keyName, key->cchName) != NULL)
                continue;
            unsigned kh = HashName(index, keyName, key->cchName, i * 2654435761u) & index->keyMask;
            while (index->keySlots[kh] != 0)
                kh = (kh + 1) & index->keyMask;
            index->keySlots[kh] = k + 1;
        }
    }
}

int BuildIniIndex(IniIndex* index, const char* text, size_t cbText, const unsigned char* leadBytes)
{
    memset(index, 0, sizeof(*index));
    if (leadBytes != NULL)
        memcpy(index->leadBytes, leadBytes, sizeof(index->leadBytes));
    index->text = text;
    index->cbText = cbText;
    if (cbText > 0xFFFFFFF0u)
        return 0;

    const char* start = text;
    const char* end = text + cbText;
    if (cbText >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        index->encoding = INI_UTF8_BOM;
        start += 3;
        // UTF-8 has no trail bytes below 0x80.
        memset(index->leadBytes, 0, sizeof(index->leadBytes));
    } else if (cbText >= 2 && (memcmp(text, "\xFF\xFE", 2) == 0 || memcmp(text, "\xFE\xFF", 2) == 0)) {
        // Read as UTF-16 by the profile functions: nothing in it can be
        // matched byte for byte.
        index->encoding = INI_UTF16_BOM;
        end = start;
    }

    ParseState count = { index, 0, 0, 0, 0, 0 };
    ParseText(&count, start, end);
    // Hundreds of millions of lines are more than the slots and the block
    // size can count: no index, as when memory runs out.
    if (count.sectionCount > kMaxEntries || count.keyCount > kMaxEntries)
        return 0;
    unsigned sectionSlots = SlotCount(count.sectionCount);
    unsigned keySlots = SlotCount(count.keyCount);
    unsigned long long cb = (unsigned long long)count.sectionCount * sizeof(IniSectionEntry) +
                            (unsigned long long)count.keyCount * sizeof(IniKeyEntry) +
                            ((unsigned long long)sectionSlots + keySlots) * sizeof(unsigned);
    if (cb > (size_t)-1)
        return 0;
    void* block = calloc(1, (size_t)cb);
    if (block == NULL)
        return 0;
    index->block = block;
    index->sections = (IniSectionEntry*)block;
    index->keys = (IniKeyEntry*)(index->sections + count.sectionCount);
    index->sectionSlots = (unsigned*)(index->keys + count.keyCount);
    index->sectionMask = sectionSlots - 1;
    index->keySlots = index->sectionSlots + sectionSlots;
    index->keyMask = keySlots - 1;

    ParseState fill = { index, 1, 0, 0, 0, 0 };
    ParseText(&fill, start, end);
    index->sectionCount = fill.sectionCount;
    index->keyCount = fill.keyCount;
    FillSlots(index);
    return 1;
}

void FreeIniIndex(IniIndex* index)
{
    free(index->block);
    memset(index, 0, sizeof(*index));
}

// Drops the blanks around an asked name: *pName and the returned length.
// A blank that ends a double-byte character stays, as in the text.
static size_t TrimAskedName(const IniIndex* index, const char** pName)
{
    const char* name = *pName;
    while (IsIniBlank((unsigned char)*name))
        ++name;
    const char* end = name + strlen(name);
    const char* lastEnd = name;
    for (const char* p = name; p < end;) {
        size_t n = CharLength(index->leadBytes, p, end);
        if (n == 2 || !IsIniBlank((unsigned char)*p))
            lastEnd = p + n;
        p += n;
    }
    *pName = name;
    return (size_t)(lastEnd - name);
}

const IniSectionEntry* FindIniSection(const IniIndex* index, const char* name)
{
    size_t cch = TrimAskedName(index, &name);
    return LookUpSection(index, name, cch);
}

const IniKeyEntry* FindIniKey(const IniIndex* index, const char* section, const char* key)
{
    const IniSectionEntry* found = FindIniSection(index, section);
    if (found == NULL)
        return NULL;
    size_t cch = TrimAskedName(index, &key);
    return LookUpKey(index, found, key, cch);
}

// The start of the last character of [p, end), which is not empty.
static const char* LastChar(const IniIndex* index, const char* p, const char* end)
{
    const char* last = p;
    while (p < end) {
        last = p;
        p += CharLength(index->leadBytes, p, end);
    }
    return last;
}

int FindIniValue(const IniIndex* index, const char* section, const char* key,
                 const char** pValue, size_t* pcchValue)
{
    const IniKeyEntry* found = FindIniKey(index, section, key);
    if (found == NULL || found->cchValue == INI_NO_VALUE)
        return 0;
    const char* value = index->text + found->valueAt;
    const char* end = value + found->cchValue;
    // One pair of matching quotes around the whole value goes; a lone quote
    // stays.
    if (end - value >= 2 && (*value == '"' || *value == '\'')) {
        const char* last = LastChar(index, value, end);
        if (last > value && last + 1 == end && *last == *value) {
            ++value;
            --end;
        }
    }
    *pValue = value;
    *pcchValue = (size_t)(end - value);
    return 1;
}

unsigned ReadIniNumber(const IniIndex* index, const char* section, const char* key, int defaultValue)
{
    const IniKeyEntry* found = FindIniKey(index, section, key);
    if (found == NULL || found->cchValue == INI_NO_VALUE)
        return (unsigned)defaultValue;
    // The profile functions read the number from a buffer of 30
    // characters; a quoted value loses its closing quote only when all of
    // it fitted, and otherwise its last character that did.
    const char* p = index->text + found->valueAt;
    const char* end = p + found->cchValue;
    int quoted = 0;
    if (end - p >= 2 && (*p == '"' || *p == '\'')) {
        const char* last = LastChar(index, p, end);
        if (last > p && last + 1 == end && *last == *p) {
            quoted = 1;
            ++p;
        }
    }
    size_t chars = 0;
    const char* cut = p;
    const char* lastKept = p;
    for (const char* q = p; q < end;) {
        size_t n = CharLength(index->leadBytes, q, end);
        if (chars < 29) {
            lastKept = q;
            cut = q + n;
        }
        ++chars;
        q += n;
    }
    if (quoted && chars <= 30)
        cut = lastKept;
    if (cut == p)
        return (unsigned)defaultValue;

    while (p < cut && (unsigned char)*p <= ' ')
        ++p;
    int negative = 0;
    if (p < cut && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // The conversion honours the prefixes 0b, 0o and 0x whatever base it
    // was asked for.
    unsigned base = 10;
    if (cut - p >= 2 && p[0] == '0') {
        base = p[1] == 'b' ? 2 : p[1] == 'o' ? 8 : p[1] == 'x' ? 16 : 10;
        if (base != 10)
            p += 2;
    }
    unsigned result = 0;
    for (; p < cut; ++p) {
        char c = *p;
        unsigned digit = (c >= '0' && c <= '9') ? (unsigned)(c - '0')
                       : (c >= 'a' && c <= 'z') ? (unsigned)(c - 'a' + 10)
                       : (c >= 'A' && c <= 'Z') ? (unsigned)(c - 'A' + 10) : 99u;
        if (digit >= base)
            break;
        result = result * base + digit;
    }
    return negative ? 0u - result : result;
}
