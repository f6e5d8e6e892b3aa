#ifndef RILO_CDELIVERYSCOPE_H
#define RILO_CDELIVERYSCOPE_H

// Marks the thread that runs one of a session's render or audio callbacks
// for as long as the callback runs. The thread that called it may hold a
// lock that a stop waits for, and a stop may wait for that thread, so the
// exported functions refuse a call on that session from there that could
// wait, and answer the others.
class CDeliveryScope {
public:
    enum Kind { kNone = -1, kPicture = 0, kSound = 1, kKinds = 2 };

    CDeliveryScope(const void* session, Kind kind);
    ~CDeliveryScope();
    CDeliveryScope(const CDeliveryScope&) = delete;
    CDeliveryScope& operator=(const CDeliveryScope&) = delete;

    // The kind of callback of session that this thread runs, or kNone
    // (always for null).
    static Kind Inside(const void* session);

private:
    const void* m_pOuter;
    Kind m_nOuterKind;
};

#endif
