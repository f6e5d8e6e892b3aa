#ifndef RILO_HTPARSE_H
#define RILO_HTPARSE_H

// Splitting and rewriting URLs. Returned texts come from HTMemory (free them
// with HTMemory_free, or hold them in an HTMemoryText).

extern "C" {

// Parts of HTParse's wanted mask, combinable.
enum {
    PARSE_ACCESS = 16,  // scheme; ":" after it with punctuation
    PARSE_HOST = 8,     // host and port; "//" before it with punctuation
    PARSE_PATH = 4,     // path with its query; "/" before an absolute one
    PARSE_FRAGMENT = 2, // "#" before it with punctuation
    PARSE_PUNCTUATION = 1,
    PARSE_ALL = 31
};

// The parts of aName selected by wanted, completed from relatedName (null
// counts as ""). Null for a null aName.
char* HTParse(const char* aName, const char* relatedName, int wanted);

// Sets *port to 0, then looks for a ":" outside brackets followed by digits
// up to the end of host. Returns that ":" with *port set to the number, or
// null when there is none or the number is above 65535. A ":" followed by
// digits and more text is skipped, but *port keeps those digits' value.
const char* HTParsePort(const char* host, int* port);

// True when a ":" comes before any "/", "?", "#" or the end.
bool HTURL_isAbsolute(const char* url);

// Cuts str at the first character that is not a tab, 32-126 or 160-254.
// True when it cut.
bool HTCleanTelnetString(char* str);

// aName relative to relatedName (".." for each directory of relatedName not
// shared); a copy of aName when they share no scheme, host or directory.
char* HTRelative(const char* aName, const char* relatedName);

// In place: lower-cases scheme and host, drops a default port (http 80,
// gopher 70, ftp 21) and a trailing "." of the host, and removes empty, "."
// and ".." steps from the path. Returns url.
char* HTSimplify(char* url);
}

#endif
