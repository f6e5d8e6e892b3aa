#ifndef RILO_HTTPPARSE_H
#define RILO_HTTPPARSE_H

// The HTTP worker's readers of reply headers and its Digest answer: pure
// functions over what a camera sent.

#include <cstddef>

// The three values of a Digest challenge that the Authorization answer needs.
struct DigestChallenge {
    char nonce[128];
    char realm[128];
    char qop[128];
    bool stale;
};

// The value of header field name in data: everything after the name up to
// the next line end or NUL, colon and blanks included. The name matches only
// at the start of a line. False when absent, empty, unterminated within
// length, or longer than outLen - 1.
bool GetFiledValue(const char* data, unsigned long length, const char* name, char* out,
                   unsigned long outLen);
// The Digest challenge among the WWW-Authenticate fields of a reply header.
bool ParseDigestChallenge(const char* header, unsigned long length, DigestChallenge* out);
// The Authorization value answering a challenge; false when it does not fit.
bool BuildDigestAuthorization(const char* method, const char* uri, const char* user,
                              const char* password, const DigestChallenge& ch, const char* cnonce,
                              char* out, size_t outLen);
// The status code of a reply header's first line (0 without one).
int ParseStatusCode(const char* header, unsigned long length);
// True when the server closes the connection after this reply: a
// "Connection: close", or HTTP/1.0 without "Connection: keep-alive".
bool ReplyEndsConnection(const char* header, unsigned long length);

#endif
