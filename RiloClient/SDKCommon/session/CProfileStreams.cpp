#include "session/CProfileStreams.h"

#include "Common.h"
#include "RiloAssert.h"
#include "stream/CHTTPVisStrm.h"

#include <utility>

const CProfileStreams::Entry* CProfileStreams::FindEntry(int nProfileID) const
{
    for (const Entry& e : m_entries)
        if (e.nProfileID == nProfileID)
            return &e;
    return nullptr;
}

CProfileStreams::Entry* CProfileStreams::FindEntry(int nProfileID)
{
    return const_cast<Entry*>(static_cast<const CProfileStreams*>(this)->FindEntry(nProfileID));
}

CHTTPVisStrm* CProfileStreams::Find(int nProfileID) const
{
    const Entry* e = FindEntry(nProfileID);
    return e ? e->pStream.get() : nullptr;
}

bool CProfileStreams::Add(int nProfileID, StreamPtr<CHTTPVisStrm>& pStream)
{
    if (!pStream)
        return false;
    if (FindEntry(nProfileID)) {
        DiagPrint(kDiagOut,
                  "[CHTTPSCHLive::AddStreamToArray]stream is already exist, profile id = %d\r\n",
                  nProfileID);
        return false;
    }
    m_entries.push_back(Entry{nProfileID, 0, std::move(pStream)});
    DiagPrint(kDiagOut, "[CHTTPSCHLive::AddStreamToArray]add profile id = %d\r\n", nProfileID);
    return true;
}

StreamPtr<CHTTPVisStrm> CProfileStreams::Remove(int nProfileID)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->nProfileID == nProfileID) {
            StreamPtr<CHTTPVisStrm> pStream = std::move(it->pStream);
            m_entries.erase(it);
            return pStream;
        }
    }
    return nullptr;
}

int CProfileStreams::AddRef(int nProfileID)
{
    Entry* e = FindEntry(nProfileID);
    return e ? ++e->nUseCount : 0;
}

int CProfileStreams::Release(int nProfileID)
{
    Entry* e = FindEntry(nProfileID);
    if (!e)
        return -1;
    e->nUseCount = e->nUseCount > 1 ? e->nUseCount - 1 : 0;
    return e->nUseCount;
}

int CProfileStreams::UseCount(int nProfileID) const
{
    const Entry* e = FindEntry(nProfileID);
    return e ? e->nUseCount : -1;
}

int CProfileStreams::FrontProfile() const
{
    RILO_ASSERT(!m_entries.empty());
    return m_entries.front().nProfileID;
}
