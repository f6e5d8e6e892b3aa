#ifndef RILO_LANDAPAUTH_H
#define RILO_LANDAPAUTH_H

#include <cstddef>
#include <cstdint>

// The block at the start of every authenticated body: Base64 of the user
// name, then of the password, 64 characters each, NUL-padded.
constexpr size_t kLandapAuthBlockSize = 128;
constexpr size_t kLandapAuthHalf = 64;
// Longest value whose encoding still matters: 48 bytes give 64 characters,
// and a longer value only adds characters the block cuts off.
constexpr size_t kLandapAuthValueMax = 48;

// Base64 of value (NULL or empty gives "") into out, terminated. Encodes at
// most kLandapAuthValueMax bytes, so any value length is safe; outSize of 65
// or more keeps all 64 characters.
void LandapEncodeAuthText(const char* value, char* out, size_t outSize);

// Writes the 128-byte block at body from two Base64 texts (NULL = empty):
// the first 64 characters of each, zero-padded, unterminated when full.
void LandapWriteAuthBlock(uint8_t* body, const char* userText, const char* passwordText);

#endif
