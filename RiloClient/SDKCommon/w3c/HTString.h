#ifndef RILO_HTSTRING_H
#define RILO_HTSTRING_H

// Comparison, matching and allocated-string helpers. Allocated strings come
// from HTMemory and are freed with HTMemory_free; an allocation failure ends
// the process through HTMemory_outofmem.

extern "C" {

// Case-insensitive: 0 when equal; -1 when a ends first, 1 when b ends first;
// else the difference of the first unequal lower-cased characters.
int strcasecomp(const char* a, const char* b);
// The same over at most n characters.
int strncasecomp(const char* a, const char* b, int n);

// s1 against the last strlen(s1) characters of s2 (all of s2 when it is
// shorter), as strcmp / strcasecomp answer.
int tailcomp(const char* s1, const char* s2);
int tailcasecomp(const char* s1, const char* s2);

// Whether name matches tmpl, where the first "*" of tmpl stands for any run
// of characters (later ones are literal).
bool HTStrMatch(const char* tmpl, const char* name);
bool HTStrCaseMatch(const char* tmpl, const char* name);

// Case-insensitive search for s2 in s1: where it starts in s1, or null.
const char* HTStrCaseStr(const char* s1, const char* s2);

// Cuts trailing white space off s and returns the first character that is
// not white space.
char* HTStrip(char* s);

// *dest becomes a new copy of src (null for a null src); the old *dest is
// freed. Returns *dest.
char* HTSACopy(char** dest, const char* src);
// Appends src to *dest (a copy when *dest is null). Returns *dest.
char* HTSACat(char** dest, const char* src);
// The same for the texts that follow, up to a null pointer.
char* StrAllocMCopy(char** dest, ...) __attribute__((sentinel));
char* StrAllocMCat(char** dest, ...) __attribute__((sentinel));
}

#endif
