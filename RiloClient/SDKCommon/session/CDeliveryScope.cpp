#include "session/CDeliveryScope.h"

namespace {

thread_local const void* t_pDelivering = nullptr;
thread_local CDeliveryScope::Kind t_nKind = CDeliveryScope::kNone;

} // namespace

CDeliveryScope::CDeliveryScope(const void* session, Kind kind)
    : m_pOuter(t_pDelivering), m_nOuterKind(t_nKind)
{
    t_pDelivering = session;
    t_nKind = kind;
}

CDeliveryScope::~CDeliveryScope()
{
    t_pDelivering = m_pOuter;
    t_nKind = m_nOuterKind;
}

CDeliveryScope::Kind CDeliveryScope::Inside(const void* session)
{
    return session && session == t_pDelivering ? t_nKind : kNone;
}
