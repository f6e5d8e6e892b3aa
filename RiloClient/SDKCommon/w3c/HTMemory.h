#ifndef RILO_HTMEMORY_H
#define RILO_HTMEMORY_H

#include <cstddef>
#include <memory>

// The system allocator with an out-of-memory hook. A failed allocation calls
// each registered callback in turn with the size and retries after each.
// Results are freed with HTMemory_free.

extern "C" {

typedef void HTMemoryCallback(size_t size);
typedef void HTMemory_exitCallback(const char* name, const char* file, unsigned long line);

void* HTMemory_malloc(size_t size);
void* HTMemory_calloc(size_t count, size_t size);
void* HTMemory_realloc(void* ptr, size_t size);
void HTMemory_free(void* ptr);

// Out-of-memory callbacks. add refuses a null or already registered one.
bool HTMemoryCall_add(HTMemoryCallback* cbf);
bool HTMemoryCall_delete(HTMemoryCallback* cbf);
bool HTMemoryCall_deleteAll(void);

void HTMemory_setExit(HTMemory_exitCallback* pExit);
HTMemory_exitCallback* HTMemory_exit(void);

// Calls the exit hook, if any, then aborts the process.
[[noreturn]] void HTMemory_outofmem(const char* name, const char* file, unsigned long line);
}

// Owns a text (or any block) from HTMemory, such as HTParse's result.
struct HTMemoryDeleter {
    void operator()(void* p) const { HTMemory_free(p); }
};
using HTMemoryText = std::unique_ptr<char, HTMemoryDeleter>;

#endif
