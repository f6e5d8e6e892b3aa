#include "session/CSessionMsg.h"

#include <cstring>
#include <new>
#include <utility>

CSessionMsg::CSessionMsg() : CSessionMsg(nullptr, nullptr, nullptr, 0, 0, nullptr) {}

CSessionMsg::CSessionMsg(SessionMsgCallback pfnCallback, SessionMsgHandler pfnHandler, void* param,
                         unsigned long first, unsigned long second, const void* source)
    : m_pfnCallback(pfnCallback), m_pfnHandler(pfnHandler), m_pParam(param), m_dwFirst(first),
      m_dwSecond(second), m_pSource(source)
{
}

CSessionMsg CSessionMsg::Callback(SessionMsgCallback pfn, void* param, unsigned long first,
                                  unsigned long second, const void* source)
{
    return CSessionMsg(pfn, nullptr, param, first, second, source);
}

CSessionMsg CSessionMsg::Handler(SessionMsgHandler pfn, void* param, unsigned long first,
                                 unsigned long second, const void* source)
{
    return CSessionMsg(nullptr, pfn, param, first, second, source);
}

CSessionMsg::CSessionMsg(CSessionMsg&& o) noexcept : CSessionMsg()
{
    *this = std::move(o);
}

CSessionMsg& CSessionMsg::operator=(CSessionMsg&& o) noexcept
{
    if (this == &o)
        return *this;
    m_pfnCallback = std::exchange(o.m_pfnCallback, nullptr);
    m_pfnHandler = std::exchange(o.m_pfnHandler, nullptr);
    m_pParam = std::exchange(o.m_pParam, nullptr);
    m_dwFirst = std::exchange(o.m_dwFirst, 0ul);
    m_dwSecond = std::exchange(o.m_dwSecond, 0ul);
    m_pSource = std::exchange(o.m_pSource, nullptr);
    for (int i = 0; i < argCount; ++i)
        m_texts[i] = std::move(o.m_texts[i]);
    return *this;
}

CSessionMsg::~CSessionMsg() = default;

bool CSessionMsg::SetText(Arg arg, const char* text, size_t len)
{
    if (arg < 0 || arg >= argCount || !text)
        return false;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[len + 1]);
    if (!copy)
        return false;
    std::memcpy(copy.get(), text, len);
    copy[len] = 0;
    m_texts[arg] = std::move(copy);
    return true;
}

bool CSessionMsg::SetText(Arg arg, const char* text)
{
    return text && SetText(arg, text, std::strlen(text));
}

unsigned long CSessionMsg::Word(Arg arg, unsigned long value) const
{
    return m_texts[arg] ? reinterpret_cast<unsigned long>(m_texts[arg].get()) : value;
}

void CSessionMsg::Invoke() const
{
    void* param = m_texts[argParam] ? static_cast<void*>(m_texts[argParam].get()) : m_pParam;
    const unsigned long first = Word(argFirst, m_dwFirst);
    const unsigned long second = Word(argSecond, m_dwSecond);
    if (m_pfnCallback)
        m_pfnCallback(param, first, second);
    else if (m_pfnHandler)
        m_pfnHandler(param, first, second);
}
