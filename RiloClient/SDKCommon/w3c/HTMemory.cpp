#include "w3c/HTMemory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// Kept apart from HTList: the list allocates through this file. Recursive,
// so that a callback may change the list while it is being walked.
std::recursive_mutex g_callsMutex;
std::vector<HTMemoryCallback*> g_calls;
std::atomic<HTMemory_exitCallback*> g_exit{nullptr};

// Runs the callbacks one by one, retrying the allocation after each. Walked
// by index: nothing is allocated here, and a callback may remove itself.
template <typename Alloc>
void* AllocWithHook(size_t size, Alloc alloc)
{
    void* p = alloc();
    if (p || size == 0)
        return p;
    std::lock_guard<std::recursive_mutex> lock(g_callsMutex);
    for (size_t i = 0; i < g_calls.size();) {
        HTMemoryCallback* cbf = g_calls[i];
        cbf(size);
        if ((p = alloc()) != nullptr)
            return p;
        if (i < g_calls.size() && g_calls[i] == cbf)
            ++i; // else it removed itself and the next one is now at i
    }
    return nullptr;
}

} // namespace

void* HTMemory_malloc(size_t size)
{
    return AllocWithHook(size, [size] { return std::malloc(size); });
}

void* HTMemory_calloc(size_t count, size_t size)
{
    size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total))
        return nullptr; // no callback can make room for that
    return AllocWithHook(total, [count, size] { return std::calloc(count, size); });
}

void* HTMemory_realloc(void* ptr, size_t size)
{
    return AllocWithHook(size, [ptr, size] { return std::realloc(ptr, size); });
}

void HTMemory_free(void* ptr)
{
    std::free(ptr);
}

bool HTMemoryCall_add(HTMemoryCallback* cbf)
{
    if (!cbf)
        return false;
    std::lock_guard<std::recursive_mutex> lock(g_callsMutex);
    if (std::find(g_calls.begin(), g_calls.end(), cbf) != g_calls.end())
        return false;
    g_calls.push_back(cbf);
    return true;
}

bool HTMemoryCall_delete(HTMemoryCallback* cbf)
{
    std::lock_guard<std::recursive_mutex> lock(g_callsMutex);
    auto it = std::find(g_calls.begin(), g_calls.end(), cbf);
    if (it == g_calls.end())
        return false;
    g_calls.erase(it);
    return true;
}

bool HTMemoryCall_deleteAll(void)
{
    std::lock_guard<std::recursive_mutex> lock(g_callsMutex);
    g_calls.clear();
    return true;
}

void HTMemory_setExit(HTMemory_exitCallback* pExit)
{
    g_exit.store(pExit);
}

HTMemory_exitCallback* HTMemory_exit(void)
{
    return g_exit.load();
}

void HTMemory_outofmem(const char* name, const char* file, unsigned long line)
{
    if (HTMemory_exitCallback* pExit = g_exit.load())
        pExit(name, file, line);
    std::abort();
}
