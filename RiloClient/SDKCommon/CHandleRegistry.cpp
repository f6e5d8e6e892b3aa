#include "CHandleRegistry.h"

#include <new>

bool CHandleRegistry::Add(const void* handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    try {
        m_handles.insert(handle);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CHandleRegistry::Remove(const void* handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_handles.erase(handle) != 0;
}

bool CHandleRegistry::Contains(const void* handle) const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_handles.count(handle) != 0;
}
