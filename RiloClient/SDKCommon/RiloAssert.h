#ifndef RILO_ASSERT_H
#define RILO_ASSERT_H

// Programming errors end the process in every build type, naming where.
[[noreturn]] void RiloAssertFailed(const char* expr, const char* file, int line);

#define RILO_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : RiloAssertFailed(#expr, __FILE__, __LINE__))

#endif
