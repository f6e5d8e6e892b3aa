#include "CHandleRegistry.h"

#include <new>

namespace {

const unsigned kCounterBits = 8 * (sizeof(uintptr_t) - 1);
const uintptr_t kCounterMask = (uintptr_t(1) << kCounterBits) - 1;

} // namespace

CHandleRegistry::CHandleRegistry(uint8_t tag) : m_tag(uintptr_t(tag) << kCounterBits), m_nNext(1) {}

void* CHandleRegistry::Add(void* object)
{
    std::lock_guard<std::mutex> g(m_lock);
    // Refused rather than wrapped: a value is never handed out twice.
    if (m_nNext > kCounterMask)
        return nullptr;
    const uintptr_t value = m_tag | m_nNext;
    try {
        m_objects.emplace(value, object);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    ++m_nNext;
    return reinterpret_cast<void*>(value);
}

void* CHandleRegistry::Find(const void* handle) const
{
    std::lock_guard<std::mutex> g(m_lock);
    const auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == m_objects.end() ? nullptr : it->second;
}

void* CHandleRegistry::Remove(const void* handle)
{
    std::lock_guard<std::mutex> g(m_lock);
    const auto it = m_objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m_objects.end())
        return nullptr;
    void* object = it->second;
    m_objects.erase(it);
    return object;
}
