#include "RiloAssert.h"

#include <cstdio>
#include <cstdlib>

void RiloAssertFailed(const char* expr, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: assertion \"%s\" failed\n", file, line, expr);
    std::fflush(stderr);
    std::abort();
}
