#ifndef RILO_LOCKEDCALLBACK_H
#define RILO_LOCKEDCALLBACK_H

#include <mutex>

// A callback and the user value it is called with.
template <class Fn>
struct CallbackTarget {
    Fn pfn;
    void* user;
};

// A callback and its user value set on one thread and called on another:
// they are set and taken together under a lock of their own, which is held
// for nothing else, so the callback itself runs with no lock held.
template <class Fn>
class LockedCallback {
public:
    LockedCallback() = default;
    LockedCallback(const LockedCallback&) = delete;
    LockedCallback& operator=(const LockedCallback&) = delete;

    void Set(Fn pfn, void* user)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_target = {pfn, user};
    }

    CallbackTarget<Fn> Get() const
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_target;
    }

    // Calls pfn(user, args...); false when no callback is set.
    template <class... Args>
    bool Call(Args... args) const
    {
        const CallbackTarget<Fn> t = Get();
        if (!t.pfn)
            return false;
        t.pfn(t.user, args...);
        return true;
    }

private:
    mutable std::mutex m_lock;
    CallbackTarget<Fn> m_target{nullptr, nullptr};
};

#endif
