// CLANDAPObj: the remote-access commands, all on port 62977.
#include "landap/CLANDAPObj.h"

#include <cstring>

namespace {

constexpr unsigned kTessel12RecordReply = unsigned(LandapHeader::WireSize + 16);

} // namespace

template <typename Record>
FinderResult CLANDAPObj::Tessel12Read(Record* out, uint16_t command, uint16_t seq)
{
    if (!out)
        return kFinderFail;
    FillRequestHeader(command, seq);
    int n = Transact(kTessel12RecordReply, LandapTessel12BaseTimeout, LandapTessel12Port);
    if (n <= 0)
        return kFinderNoReply;
    // The record is handed on whatever the camera said about it.
    out->Decode(m_Packet->Body(), Record::WireSize);
    return CheckGetReply(n, seq) == kFinderOk ? kFinderOk : kFinderCamFailed;
}

FinderResult CLANDAPObj::GetTessel12Enabled(_TESSEL12Enable* out, uint16_t seq)
{
    return Tessel12Read(out, LandapCmdGetTessel12Enabled, seq);
}

FinderResult CLANDAPObj::Tessel12QueryProcState(_TESSEL12ProcStatus* out, uint16_t seq)
{
    return Tessel12Read(out, LandapCmdTessel12QueryProcState, seq);
}

FinderResult CLANDAPObj::EnableTessel12(const _TESSEL12Enable* rec, uint16_t seq)
{
    if (!rec)
        return kFinderFail;
    WarnIfNoAuthentication(false);
    return RecordSet(rec, LandapCmdEnableTessel12, seq, LandapTessel12BaseTimeout,
                     LandapTessel12Port);
}

FinderResult CLANDAPObj::QueryTessel12URL(_TESSEL12URL* out, uint16_t seq)
{
    return PlainGet(out, LandapCmdQueryTessel12URL, seq, false, false, LandapTessel12BaseTimeout,
                    LandapTessel12Port);
}
