// Text conversions between UTF-8 and the two ANSI code pages the
// uninstaller ships for: iconv on Linux, the system's own conversions on
// Windows. Every conversion into a code page is checked by converting back.

#include "codepage.h"

#include <stdio.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace {

#ifdef _WIN32

bool ToWide(const std::string& text, UINT codePage, std::wstring* wide)
{
    wide->clear();
    if (text.empty())
        return true;
    int cch = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), NULL, 0);
    if (cch <= 0)
        return false;
    wide->resize((size_t)cch);
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), &(*wide)[0],
                               cch) == cch;
}

bool FromWide(const std::wstring& wide, UINT codePage, std::string* text)
{
    text->clear();
    if (wide.empty())
        return true;
    // UTF-8 takes neither a default character nor the best-fit flag.
    BOOL usedDefault = FALSE;
    BOOL* pUsedDefault = codePage == CP_UTF8 ? NULL : &usedDefault;
    DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int cb = WideCharToMultiByte(codePage, flags, wide.data(), (int)wide.size(), NULL, 0, NULL, pUsedDefault);
    if (cb <= 0 || usedDefault)
        return false;
    text->resize((size_t)cb);
    return WideCharToMultiByte(codePage, flags, wide.data(), (int)wide.size(), &(*text)[0], cb, NULL,
                               pUsedDefault) == cb && !usedDefault;
}

bool Convert(const std::string& text, int fromCodePage, int toCodePage, std::string* out)
{
    std::wstring wide;   // text may be *out
    return ToWide(text, (UINT)fromCodePage, &wide) && FromWide(wide, (UINT)toCodePage, out);
}

const int kUtf8 = CP_UTF8;

#else

bool Convert(const std::string& text, int fromCodePage, int toCodePage, std::string* out)
{
    auto name = [](int codePage) { return codePage == 0 ? "UTF-8" : codePage == 932 ? "CP932" : "CP1252"; };
    std::string input = text;   // iconv wants writable input; text may be *out
    out->clear();
    iconv_t cd = iconv_open(name(toCodePage), name(fromCodePage));
    if (cd == (iconv_t)-1)
        return false;
    char* in = input.empty() ? nullptr : &input[0];
    size_t inLeft = input.size();
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* o = buffer;
        size_t outLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
        out->append(buffer, (size_t)(o - buffer));
        if (rc == (size_t)-1 && errno != E2BIG) {
            ok = false;
            break;
        }
        // Characters that iconv replaced count as not convertible.
        if (rc != (size_t)-1 && rc > 0) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

const int kUtf8 = 0;

#endif

}  // namespace

bool Utf8ToCodePage(const std::string& utf8, int codePage, std::string* out)
{
    std::string back;
    return Convert(utf8, kUtf8, codePage, out) && Convert(*out, codePage, kUtf8, &back) && back == utf8;
}

bool CodePageToUtf8(const std::string& text, int codePage, std::string* out)
{
    return Convert(text, codePage, kUtf8, out);
}

bool Utf16LeToUtf8(const std::string& bytes, std::string* out)
{
    out->clear();
    if (bytes.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        unsigned c = (unsigned char)bytes[i] | ((unsigned)(unsigned char)bytes[i + 1] << 8);
        if (c >= 0xDC00 && c <= 0xDFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size())
                return false;
            unsigned low = (unsigned char)bytes[i + 2] | ((unsigned)(unsigned char)bytes[i + 3] << 8);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        if (c < 0x80) {
            *out += (char)c;
        } else if (c < 0x800) {
            *out += (char)(0xC0 | (c >> 6));
            *out += (char)(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out += (char)(0xE0 | (c >> 12));
            *out += (char)(0x80 | ((c >> 6) & 0x3F));
            *out += (char)(0x80 | (c & 0x3F));
        } else {
            *out += (char)(0xF0 | (c >> 18));
            *out += (char)(0x80 | ((c >> 12) & 0x3F));
            *out += (char)(0x80 | ((c >> 6) & 0x3F));
            *out += (char)(0x80 | (c & 0x3F));
        }
    }
    return true;
}

std::string ArgumentToUtf8(const std::string& argument)
{
#ifdef _WIN32
    std::string utf8;
    return Convert(argument, CP_ACP, CP_UTF8, &utf8) ? utf8 : argument;
#else
    return argument;
#endif
}

std::string Utf8ForConsole(const std::string& utf8)
{
#ifdef _WIN32
    std::string text;
    return Convert(utf8, CP_UTF8, CP_ACP, &text) ? text : utf8;
#else
    return utf8;
#endif
}

std::string CodePageForConsole(const std::string& text, int codePage)
{
    std::string shown;
#ifdef _WIN32
    if ((UINT)codePage == GetACP() || !Convert(text, codePage, CP_ACP, &shown))
        return text;
#else
    if (!Convert(text, codePage, kUtf8, &shown))
        return text;
#endif
    return shown;
}

int IsShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string EscapedBytes(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            out += (char)c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}
