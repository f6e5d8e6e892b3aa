#ifndef RILO_CHANDLEREGISTRY_H
#define RILO_CHANDLEREGISTRY_H

#include <cstdint>
#include <mutex>
#include <unordered_map>

// The handles a library has handed out and not yet destroyed. A handle is an
// opaque value that the registry maps to its object, not the object's
// address, and no value is handed out twice while the library is loaded: a
// destroyed handle stays unknown after its object's memory holds a newer
// one. A value that is not known is never followed.
class CHandleRegistry {
public:
    // tag: the top byte of every value, so two registries never share one
    // (on x86-64 the values are then no addresses at all).
    explicit CHandleRegistry(uint8_t tag);
    CHandleRegistry(const CHandleRegistry&) = delete;
    CHandleRegistry& operator=(const CHandleRegistry&) = delete;

    // A new handle for object; null when none can be recorded (out of
    // memory, or every value used).
    void* Add(void* object);
    // The object of handle; null when it is not known: never made, or
    // destroyed already.
    void* Find(const void* handle) const;
    // As Find, and the handle is unknown from then on.
    void* Remove(const void* handle);

private:
    mutable std::mutex m_lock;
    std::unordered_map<uintptr_t, void*> m_objects;
    const uintptr_t m_tag;
    uintptr_t m_nNext; // the counter of the next value
};

#endif
