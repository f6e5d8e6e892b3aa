#ifndef RILO_CHANDLEREGISTRY_H
#define RILO_CHANDLEREGISTRY_H

#include <mutex>
#include <unordered_set>

// The handles a library has handed out and not yet destroyed. A pointer
// that is not among them is never dereferenced, so a stale or foreign handle
// gets an answer instead of being followed.
class CHandleRegistry {
public:
    // False when the handle cannot be recorded (out of memory).
    bool Add(const void* handle);
    // False when it is not recorded: never made, or destroyed already.
    bool Remove(const void* handle);
    bool Contains(const void* handle) const;

private:
    mutable std::mutex m_lock;
    std::unordered_set<const void*> m_handles;
};

#endif
