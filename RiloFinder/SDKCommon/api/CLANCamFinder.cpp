// CLANCamFinder: credentials, the result step, and the checks around the
// conversion of each public record.
#include "api/CLANCamFinder.h"

#include "api/RiloRecordConvert.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// Largest number of stations a survey read can bring: it stops after
// CLANDAPObj::kMaxSurveyPages pages of 20.
constexpr size_t kMaxSurveyStations = size_t(CLANDAPObj::kMaxSurveyPages) * 20;

// The caller's record of a checked size, copied so that no struct is laid
// over the caller's memory.
template <typename Record>
Record ReadRecord(const void* record, size_t bytes = sizeof(Record))
{
    Record r;
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r, record, bytes < sizeof r ? bytes : sizeof r);
    return r;
}

_RiloCamSettingsHdr ReadHeader(const void* record)
{
    return ReadRecord<_RiloCamSettingsHdr>(record);
}

bool HeaderIs(const _RiloCamSettingsHdr& h, uint32_t bodyLen)
{
    return h.CamSettingsType == RILO_CAM_SETTINGS_TYPE && h.SettingsBodyLen == bodyLen;
}

void WriteHeader(void* record, size_t recordSize)
{
    _RiloCamSettingsHdr h;
    RiloSetHeader(&h, recordSize);
    std::memcpy(record, &h, sizeof h);
}

} // namespace

FinderResult CLANCamFinder::SetAuthentication(int i, const char* user, const char* password)
{
    RiloCopyText(m_UserName, sizeof m_UserName, user);
    RiloCopyText(m_Password, sizeof m_Password, password);
    return m_Mgr.SetAuthentication(i, m_UserName, m_Password);
}

void CLANCamFinder::ProcessResult(int i, FinderResult rc, _RiloFinderResult* result, int noWait)
{
    _CmdResult last;
    if (m_Mgr.GetLastCmdResult(i, &last) != kFinderOk)
        return;
    if (result) {
        result->Code = last.code;
        result->Value = last.value;
        result->WaitMs = last.waitMs;
    }
    if (rc == kFinderOk && last.waitMs != 0 && !noWait) {
        // The wait is the camera's word: never longer than the cap.
        uint64_t ms = last.waitMs;
        SleepMs(ms < m_MaxWaitMs ? ms : m_MaxWaitMs);
    }
}

// ---- sets --------------------------------------------------------------------

namespace {

// A set of a record whose size and header must match exactly.
template <typename Body, typename Public, typename Device>
FinderResult SetFrom(const CLANCamFinder& f, CLANDAPMgr& mgr, int i, const void* record,
                     unsigned long size, void (*toDevice)(const Public&, Device*),
                     FinderResult (CLANDAPMgr::*write)(int, const Device*))
{
    if (!record || !f.HasCamera(i))
        return kFinderFail;
    if (size != sizeof(Public) || !HeaderIs(ReadHeader(record), sizeof(Body)))
        return kFinderBadRecord;
    auto rec = ReadRecord<Public>(record);
    Device dev;
    toDevice(rec, &dev);
    return (mgr.*write)(i, &dev);
}

} // namespace

FinderResult CLANCamFinder::SetCameraSetting(int i, const void* record)
{
    if (!record || !HasCamera(i))
        return kFinderFail;
    _RiloCamSettingsHdr h = ReadHeader(record);
    if (h.CamSettingsType != RILO_CAM_SETTINGS_TYPE ||
        h.SettingsBodyLen < sizeof(_RiloLANDAPBasicSet))
        return kFinderBadRecord;
    // Only the basic settings are read: a body of 156 bytes is enough.
    auto rec = ReadRecord<_RiloLANDAPCamInfo>(record, sizeof h + sizeof(_RiloLANDAPBasicSet));
    _LANDAP_Basic_Set dev;
    RiloCamInfoToBasicSet(rec, &dev);
    return m_Mgr.SetCameraSetting(i, &dev);
}

FinderResult CLANCamFinder::SetCameraWireless(int i, const void* record, unsigned long size)
{
    return SetFrom<_RiloLANDAPWirelessBody>(*this, m_Mgr, i, record, size, RiloWirelessToDevice,
                                            &CLANDAPMgr::SetCameraWireless);
}

FinderResult CLANCamFinder::SetCameraAdvNetwork(int i, const void* record, unsigned long size)
{
    return SetFrom<_RiloLANDAPAdvNetworkBody>(*this, m_Mgr, i, record, size, RiloAdvNetworkToDevice,
                                              &CLANDAPMgr::SetCameraAdvNetwork);
}

FinderResult CLANCamFinder::SetCameraDatetime(int i, const void* record)
{
    if (!record || !HasCamera(i))
        return kFinderFail;
    if (!HeaderIs(ReadHeader(record), sizeof(_RiloLANDAPDatetimeBody)))
        return kFinderBadRecord;
    auto rec = ReadRecord<_RiloLANDAPDatetime>(record);
    _LANDAPDatetime dev;
    RiloDatetimeToDevice(rec, &dev);
    return m_Mgr.SetCameraDatetime(i, &dev);
}

FinderResult CLANCamFinder::SetCameraSimpleWireless(int i, const void* record, unsigned long size)
{
    return SetFrom<_RiloLANDAPSimpleWirelessBody>(*this, m_Mgr, i, record, size,
                                                  RiloSimpleWirelessToDevice,
                                                  &CLANDAPMgr::SetCameraSimpleWireless);
}

// ---- gets --------------------------------------------------------------------

namespace {

// The common checks of a get into a record with a header: kFinderFail,
// kFinderTooSmall with *size set, or kFinderOk with the header written.
FinderResult BeginGet(const CLANCamFinder& f, int i, void* record, unsigned long* size, size_t need,
                      bool writeHeader = true)
{
    if (!record || !size || !f.HasCamera(i))
        return kFinderFail;
    if (*size < need) {
        *size = need;
        return kFinderTooSmall;
    }
    if (writeHeader)
        WriteHeader(record, need);
    return kFinderOk;
}

// A get into a record with a header, the header written before the read.
template <typename Public, typename Device>
FinderResult GetInto(const CLANCamFinder& f, CLANDAPMgr& mgr, int i, void* record,
                     unsigned long* size, FinderResult (CLANDAPMgr::*read)(int, Device*),
                     void (*fromDevice)(const Device&, Public*))
{
    FinderResult rc = BeginGet(f, i, record, size, sizeof(Public));
    if (rc != kFinderOk)
        return rc;
    Device dev;
    rc = (mgr.*read)(i, &dev);
    if (rc != kFinderOk)
        return rc;
    auto rec = ReadRecord<Public>(record);
    fromDevice(dev, &rec);
    std::memcpy(record, &rec, sizeof rec);
    return kFinderOk;
}

} // namespace

FinderResult CLANCamFinder::GetCameraWireless(int i, void* record, unsigned long* size)
{
    return GetInto(*this, m_Mgr, i, record, size, &CLANDAPMgr::GetCameraWireless,
                   RiloWirelessFromDevice);
}

FinderResult CLANCamFinder::GetCameraAdvNetwork(int i, void* record, unsigned long* size)
{
    return GetInto(*this, m_Mgr, i, record, size, &CLANDAPMgr::GetCameraAdvNetwork,
                   RiloAdvNetworkFromDevice);
}

FinderResult CLANCamFinder::GetCameraDatetime(int i, void* record, unsigned long* size)
{
    FinderResult rc = BeginGet(*this, i, record, size, sizeof(_RiloLANDAPDatetime), false);
    if (rc != kFinderOk)
        return rc;
    _LANDAPDatetime dev;
    rc = m_Mgr.GetCameraDatetime(i, &dev);
    if (rc != kFinderOk)
        return rc;
    auto rec = ReadRecord<_RiloLANDAPDatetime>(record);
    RiloSetHeader(&rec.SettingsHdr, sizeof rec);
    RiloDatetimeFromDevice(dev, &rec);
    std::memcpy(record, &rec, sizeof rec);
    return kFinderOk;
}

FinderResult CLANCamFinder::GetCameraSimpleWireless(int i, void* record, unsigned long* size)
{
    return GetInto(*this, m_Mgr, i, record, size, &CLANDAPMgr::GetCameraSimpleWireless,
                   RiloSimpleWirelessFromDevice);
}

FinderResult CLANCamFinder::GetCameraWirelessCap(int i, void* record, unsigned long* size)
{
    return GetInto(*this, m_Mgr, i, record, size, &CLANDAPMgr::GetCameraWirelessCap,
                   RiloWirelessCapFromDevice);
}

FinderResult CLANCamFinder::GetWirelessAssociatedStatus(int i, _RiloWirelessAssociatedStatus* out,
                                                        unsigned long* size)
{
    // This record has no header.
    FinderResult rc = BeginGet(*this, i, out, size, sizeof *out, false);
    if (rc != kFinderOk)
        return rc;
    _tLANDAP_Wireless_AssociatedStatus dev;
    rc = m_Mgr.GetWirelessAssociatedStatus(i, &dev);
    if (rc != kFinderOk)
        return rc;
    RiloAssociatedStatusFromDevice(dev, out);
    return kFinderOk;
}

FinderResult CLANCamFinder::QueryNetworkStatus(int i, _RiloCamNetworkStatus* out)
{
    if (!out || !HasCamera(i))
        return kFinderFail;
    _LANDAPNetworkStatus dev;
    FinderResult rc = m_Mgr.QueryNetworkStatus(i, &dev);
    if (rc != kFinderOk)
        return rc;
    RiloNetworkStatusFromDevice(dev, out);
    return kFinderOk;
}

FinderResult CLANCamFinder::GetLANDAPWirelessSiteSurInfo(int i, _RiloWirelessSiteSurInfo* entries,
                                                         int* count)
{
    if (!entries || !count || *count <= 0 || !HasCamera(i))
        return kFinderFail;
    // No read brings more than kMaxSurveyStations, so a larger capacity
    // needs no larger temporary array.
    const size_t capacity = size_t(*count);
    const size_t slots = capacity < kMaxSurveyStations ? capacity : kMaxSurveyStations;
    std::vector<_LANDAPWirelessStation> stations;
    try {
        stations.resize(slots);
    } catch (const std::bad_alloc&) {
        return kFinderFail;
    }
    int found = int(slots);
    FinderResult rc = m_Mgr.GetWirelessSiteSurInfo(i, stations.data(), found);
    if (rc == kFinderTooSmall || rc == kFinderOk)
        *count = found;
    if (rc != kFinderOk)
        return rc;
    for (size_t k = 0; k < size_t(found) && k < capacity; ++k)
        RiloStationFromDevice(stations[k], &entries[k]);
    return kFinderOk;
}

// ---- camera information -------------------------------------------------------

FinderResult CLANCamFinder::WrapCameraInfo(int i, void* record, unsigned long* size)
{
    CLANDAPObj* cam = m_Mgr.GetLANDAPObj(i);
    if (!cam || !size)
        return kFinderFail;
    if (!record || *size < sizeof(_RiloLANDAPCamInfo)) {
        *size = sizeof(_RiloLANDAPCamInfo);
        return kFinderInfoTooSmall;
    }
    auto rec = ReadRecord<_RiloLANDAPCamInfo>(record);
    RiloWrapCamInfo(cam->GetDeviceInfo(), &rec);
    std::memcpy(record, &rec, sizeof rec);
    return kFinderOk;
}

FinderResult CLANCamFinder::GetNetworkInfo(int i, _RiloNetworkInfo* out)
{
    _NetworkSetting s;
    if (!out || m_Mgr.GetCameraNetwork(i, &s) != kFinderOk)
        return kFinderFail;
    RiloNetworkSettingToInfo(s, out);
    return kFinderOk;
}
