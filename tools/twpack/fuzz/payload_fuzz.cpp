// libFuzzer target: the block locator and the twpack builder and extractor
// on arbitrary executable images. Whatever the bytes, the locator's answer
// must point just past a marker line, and a block built onto an image must
// come back out unchanged.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "info/payload_core.h"
#include "pack.h"

static void Require(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    long long offset = FindPayloadOffset(data, size);
    char marker[TW_MARKER_LENGTH + 1];
    ComposeBlockMarker(marker);
    if (offset >= 0) {
        size_t at = (size_t)offset;
        Require(at >= TW_MARKER_LENGTH + TW_MARKER_LINE_END && at < size);
        Require(memcmp(data + at - TW_MARKER_LENGTH - TW_MARKER_LINE_END, marker, TW_MARKER_LENGTH) == 0);
    }

    std::string image(reinterpret_cast<const char*>(data), size);
    std::string text;
    Require(ExtractInfoText(image, &text) == (offset >= 0));
    if (offset >= 0)
        Require(text.size() == size - (size_t)offset);

    // The first half of the input as an image, the second as the text.
    std::string half = image.substr(0, size / 2);
    std::string info = image.substr(size / 2);
    std::string stripped = StripBlock(half);
    Require(FindBlockMarker(stripped) == std::string::npos);
    if (!info.empty()) {
        std::string back;
        Require(ExtractInfoText(AppendBlock(stripped, info), &back));
        Require(back == info);
    }
    return 0;
}
