// Building and reading the information block with the uninstaller's own
// marker and complement from the portable payload code.

#include "pack.h"

#include "info/payload_core.h"

static std::string BlockMarker()
{
    char marker[TW_MARKER_LENGTH + 1];
    ComposeBlockMarker(marker);
    return std::string(marker, TW_MARKER_LENGTH);
}

size_t FindBlockMarker(const std::string& image)
{
    return image.find(BlockMarker());
}

bool ExtractInfoText(const std::string& image, std::string* text)
{
    long long offset = FindPayloadOffset(reinterpret_cast<const unsigned char*>(image.data()),
                                         image.size());
    if (offset < 0)
        return false;
    std::string payload = image.substr((size_t)offset);
    ComplementBytes(reinterpret_cast<unsigned char*>(&payload[0]), payload.size());
    *text = payload;
    return true;
}

std::string StripBlock(const std::string& image)
{
    size_t at = FindBlockMarker(image);
    return at == std::string::npos ? image : image.substr(0, at);
}

std::string AppendBlock(const std::string& image, const std::string& text)
{
    std::string payload = text;
    ComplementBytes(reinterpret_cast<unsigned char*>(&payload[0]), payload.size());
    return image + BlockMarker() + "\r\n" + payload;
}

bool LooksLikeExecutable(const std::string& image)
{
    return image.size() >= 2 && image[0] == 'M' && image[1] == 'Z';
}
