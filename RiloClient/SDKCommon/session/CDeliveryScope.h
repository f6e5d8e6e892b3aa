#ifndef RILO_CDELIVERYSCOPE_H
#define RILO_CDELIVERYSCOPE_H

// Marks the thread that runs one of a session's render or audio callbacks
// for as long as the callback runs. The stream that called it may hold its
// lock meanwhile, so the exported functions answer a call on that session
// from there at once rather than wait for that lock.
class CDeliveryScope {
public:
    explicit CDeliveryScope(const void* session);
    ~CDeliveryScope();
    CDeliveryScope(const CDeliveryScope&) = delete;
    CDeliveryScope& operator=(const CDeliveryScope&) = delete;

    // True on a thread inside a callback of session (never for null).
    static bool IsInside(const void* session);

private:
    const void* m_pOuter;
};

#endif
