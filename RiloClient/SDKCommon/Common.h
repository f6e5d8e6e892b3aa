#ifndef RILO_COMMON_H
#define RILO_COMMON_H

#include <cstdint>

// Base64 (RFC 4648, section 4). out must hold 4 * ceil(len / 3) + 1 bytes.
int Base64_Encode(const unsigned char* in, unsigned len, unsigned char* out);
// out must hold len * 3 / 4 + 1 bytes.
int Base64_Decode(const unsigned char* in, unsigned len, unsigned char* out);

// "user:password" as Base64 into out (at most outLen characters; terminated
// only when shorter). Returns 1.
int EncBase64AuthData(const char* user, const char* password, char* out, unsigned outLen);
// Splits a Base64 "user:password" text. Returns 1, or 0 without a colon.
int DecBase64AuthData(const char* text, char* user, unsigned userLen,
                      char* password, unsigned passwordLen);

// Wall clock, microseconds since the epoch.
uint64_t GetTime();
// Wall clock, milliseconds since the epoch, modulo 2^32.
uint32_t GetTickCount();

#endif
