#ifndef RILO_APP_SCRIPTTEXT_H
#define RILO_APP_SCRIPTTEXT_H

// Texts between camera records and page scripts.

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace scripttext {

// The bytes as valid UTF-8: each byte that does not start a well-formed
// sequence becomes U+FFFD, so a camera's garbage still reaches the page as
// text instead of breaking the script around it.
std::string ValidUtf8(const char* p, size_t n);
inline std::string ValidUtf8(const std::string& s)
{
    return ValidUtf8(s.data(), s.size());
}

// The text of a fixed char field: up to its first NUL or its end, whichever
// comes first (a camera may fill a field without a NUL).
template <size_t N>
std::string FieldText(const char (&field)[N])
{
    return ValidUtf8(field, strnlen(field, N));
}
inline std::string FieldText(const char* field, size_t n)
{
    return ValidUtf8(field, strnlen(field, n));
}

// Copies text into a fixed field of n bytes: at most n - 1 bytes, never
// ending inside a UTF-8 sequence, then NULs to the end of the field.
void CopyToField(char* field, size_t n, const std::string& text);
template <size_t N>
void CopyToField(char (&field)[N], const std::string& text)
{
    CopyToField(field, N, text);
}

// The text escaped to stand between double quotes as a script string
// literal with exactly the same value.
std::string QuoteBody(const std::string& utf8);

// "Name("a1","a2")": a call of a page function with every argument a string
// literal, as the page's callbacks expect them.
std::string Call(const char* function, const std::vector<std::string>& args);

} // namespace scripttext

#endif
