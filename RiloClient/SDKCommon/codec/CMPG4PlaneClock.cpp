#include "codec/CMPG4PlaneClock.h"

#include "codec/BitStreamData.h"
#include "codec/MPEG4ConfigParser.h"

namespace {

const uint8_t kPlaneCode = 0xB6;

bool IsPlaneAt(const uint8_t* p)
{
    return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == kPlaneCode;
}

// Ticks from one increment to the next: a smaller one means the counter
// wrapped.
int64_t TicksBetween(uint32_t from, uint32_t to, uint32_t resolution)
{
    const int64_t d = int64_t(to) - int64_t(from);
    return to < from ? d + resolution : d;
}

} // namespace

int MPEG4IncrementBits(uint32_t dwResolution)
{
    if (dwResolution == 0)
        return 0;
    return dwResolution > 1 ? int(CountMinBits(dwResolution - 1)) : 1;
}

bool ReadMPEG4PlaneHeader(const uint8_t* vop, size_t len, int nIncrementBits,
                          MPEG4PlaneHeader* pHeader)
{
    if (len < 5)
        return false;
    BitStreamData bits(vop + 4, (unsigned long)(len - 4));
    pHeader->nCodingType = bits.GetBits(2);
    while (bits.GetBits(1) == 1 && !bits.Overrun()) {
        // modulo_time_base
    }
    bits.GetBits(1); // marker
    pHeader->dwIncrement = 0;
    pHeader->bCoded = true;
    if (nIncrementBits > 0) {
        pHeader->dwIncrement = bits.GetBits(nIncrementBits);
        bits.GetBits(1); // marker
        pHeader->bCoded = bits.GetBits(1) == 1;
    }
    return !bits.Overrun();
}

void CMPG4PlaneClock::Restart(uint32_t dwResolution)
{
    m_dwResolution = dwResolution;
    m_nIncrementBits = MPEG4IncrementBits(dwResolution);
    m_llRefTime = m_llPrevRefTime = 0;
    m_dwRefIncrement = m_dwPrevRefIncrement = 0;
    m_llUnitTime = 0;
    m_waiting = {};
}

void CMPG4PlaneClock::TakeUnit(const uint8_t* unit, size_t len)
{
    bool first = true;
    for (size_t i = 0; i + 4 <= len; ++i) {
        if (!IsPlaneAt(unit + i))
            continue;
        MPEG4PlaneHeader plane;
        if (!ReadMPEG4PlaneHeader(unit + i, len - i, m_nIncrementBits, &plane))
            break;
        const int64_t llTime = TimeOf(plane);
        if (first)
            m_llUnitTime = llTime;
        first = false;
        if (plane.bCoded)
            Wait(llTime);
        i += 3;
    }
}

int64_t CMPG4PlaneClock::TimeOf(const MPEG4PlaneHeader& plane)
{
    if (m_dwResolution == 0)
        return 0;
    if (plane.nCodingType == MPEG4PlaneHeader::kTypeB)
        return m_llPrevRefTime +
               TicksBetween(m_dwPrevRefIncrement, plane.dwIncrement, m_dwResolution);
    m_llPrevRefTime = m_llRefTime;
    m_dwPrevRefIncrement = m_dwRefIncrement;
    m_llRefTime += TicksBetween(m_dwRefIncrement, plane.dwIncrement, m_dwResolution);
    m_dwRefIncrement = plane.dwIncrement;
    return m_llRefTime;
}

void CMPG4PlaneClock::Wait(int64_t llTime)
{
    m_waiting.push(llTime);
    if (m_waiting.size() > kMostWaiting)
        m_waiting.pop(); // the decoder lost it
}

int64_t CMPG4PlaneClock::Shown()
{
    if (m_waiting.empty())
        return m_llUnitTime;
    const int64_t llTime = m_waiting.top();
    m_waiting.pop();
    return llTime;
}

int64_t CMPG4PlaneClock::Passed()
{
    while (!m_waiting.empty() && m_waiting.top() <= m_llUnitTime)
        m_waiting.pop();
    return m_llUnitTime;
}
