#include "landap/LandapAuth.h"

#include "Common.h"

#include <cstring>

void LandapEncodeAuthText(const char* value, char* out, size_t outSize)
{
    if (!out || outSize == 0)
        return;
    std::memset(out, 0, outSize);
    if (!value)
        return;
    size_t len = strnlen(value, kLandapAuthValueMax);
    unsigned char text[kLandapAuthHalf + 1] = {};
    Base64_Encode(reinterpret_cast<const unsigned char*>(value), unsigned(len), text);
    RiloCopyText(out, outSize, reinterpret_cast<const char*>(text), kLandapAuthHalf);
}

void LandapWriteAuthBlock(uint8_t* body, const char* userText, const char* passwordText)
{
    std::memset(body, 0, kLandapAuthBlockSize);
    if (userText)
        std::memcpy(body, userText, strnlen(userText, kLandapAuthHalf));
    if (passwordText)
        std::memcpy(body + kLandapAuthHalf, passwordText, strnlen(passwordText, kLandapAuthHalf));
}
