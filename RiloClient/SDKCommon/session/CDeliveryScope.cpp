#include "session/CDeliveryScope.h"

namespace {

thread_local const void* t_pDelivering = nullptr;

} // namespace

CDeliveryScope::CDeliveryScope(const void* session) : m_pOuter(t_pDelivering)
{
    t_pDelivering = session;
}

CDeliveryScope::~CDeliveryScope()
{
    t_pDelivering = m_pOuter;
}

bool CDeliveryScope::IsInside(const void* session)
{
    return session && session == t_pDelivering;
}
