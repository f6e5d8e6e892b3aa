#ifndef RILO_CSESSIONMSG_H
#define RILO_CSESSIONMSG_H

#include <cstddef>
#include <memory>

// The two call forms a session's queue runs. The first is the worker's event
// callback (bool result, not looked at); the second is an application
// handler such as the notify handler.
typedef bool (*SessionMsgCallback)(void* param, unsigned long first, unsigned long second);
typedef void (*SessionMsgHandler)(void* param, unsigned long first, unsigned long second);

// One queued call: callback(param, first, second) or handler(param, first,
// second). Any of the three arguments may be an owned copy of a text instead
// of a value: the call then receives the copy's address, valid until the call
// returns, and the copy is freed with the entry (also when it is dropped
// without running). Move-only.
class CSessionMsg {
public:
    enum Arg { argParam = 0, argFirst = 1, argSecond = 2, argCount = 3 };

    // An entry with nothing to call: the queue discards it.
    CSessionMsg();
    static CSessionMsg Callback(SessionMsgCallback pfn, void* param, unsigned long first,
                                unsigned long second, const void* source = nullptr);
    static CSessionMsg Handler(SessionMsgHandler pfn, void* param, unsigned long first,
                               unsigned long second, const void* source = nullptr);

    CSessionMsg(CSessionMsg&&) noexcept;
    CSessionMsg& operator=(CSessionMsg&&) noexcept;
    CSessionMsg(const CSessionMsg&) = delete;
    CSessionMsg& operator=(const CSessionMsg&) = delete;
    ~CSessionMsg();

    // Makes argument arg the address of a copy of text (len bytes, then a
    // NUL). False, and the entry unchanged, when there is no memory.
    bool SetText(Arg arg, const char* text, size_t len);
    bool SetText(Arg arg, const char* text);

    bool IsEmpty() const { return !m_pfnCallback && !m_pfnHandler; }
    // Who posted it (a stream, say), for CSessionMsgQueue::Discard; may be null.
    const void* Source() const { return m_pSource; }
    const char* Text(Arg arg) const { return m_texts[arg].get(); }
    // Runs the call; nothing for an empty entry.
    void Invoke() const;

private:
    CSessionMsg(SessionMsgCallback pfnCallback, SessionMsgHandler pfnHandler, void* param,
                unsigned long first, unsigned long second, const void* source);
    unsigned long Word(Arg arg, unsigned long value) const;

    SessionMsgCallback m_pfnCallback;
    SessionMsgHandler m_pfnHandler;
    void* m_pParam;
    unsigned long m_dwFirst;
    unsigned long m_dwSecond;
    const void* m_pSource;
    std::unique_ptr<char[]> m_texts[argCount];
};

#endif
