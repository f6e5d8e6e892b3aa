// The exported finder functions: pointer and handle checks, forwarding to the
// handle, and the mapping of internal results to the public codes.
#include "CHandleRegistry.h"
#include "api/CLANCamFinder.h"

#include <cstring>
#include <new>

namespace {

CHandleRegistry& Handles()
{
    static CHandleRegistry handles('F');
    return handles;
}

CLANCamFinder* Finder(void* h)
{
    if (auto* f = static_cast<CLANCamFinder*>(Handles().Find(h)))
        return f;
    BCPrint("Rilo Lib: Error of parameter!\n");
    return nullptr;
}

// The checks in front of a call on the handle: a missing argument is
// reported before the handle is looked at.
template <typename Call>
int WithFinder(void* h, bool argsGiven, Call call)
{
    if (!argsGiven)
        return RILO_FINDER_NULL_ARG;
    CLANCamFinder* f = Finder(h);
    return f ? call(*f) : RILO_FINDER_FAIL;
}

template <typename Get>
int RunGet(void* h, bool argsGiven, Get get)
{
    return WithFinder(h, argsGiven, [&](CLANCamFinder& f) {
        return RiloPublicResult(FinderFamily::Get, get(f));
    });
}

// A set: the result step runs after a refused record too, but not after a
// record that was not given.
template <typename Convert>
int RunSet(void* h, int index, const _RiloCamSettings* record, _RiloFinderResult* result,
           int noWait, Convert convert)
{
    return WithFinder(h, record != nullptr, [&](CLANCamFinder& f) {
        FinderResult rc = convert(&f);
        f.ProcessResult(index, rc, result, noWait);
        return RiloPublicResult(FinderFamily::Plain, rc);
    });
}

template <typename Command>
int RunCommand(void* h, int index, _RiloFinderResult* result, int noWait, Command command)
{
    return WithFinder(h, true, [&](CLANCamFinder& f) {
        FinderResult rc = command(f.Mgr());
        f.ProcessResult(index, rc, result, noWait);
        return RiloPublicResult(FinderFamily::Plain, rc);
    });
}

// The two address functions on the interface the camera was found on.
// Unlike the others they look at the handle before the arguments.
template <typename Service>
int AddressResult(void* h, int index, char* text, short* length, Service service)
{
    CLANCamFinder* f = Finder(h);
    if (!f)
        return RILO_FINDER_FAIL;
    if (!text || !length)
        return RILO_FINDER_NULL_ARG;
    uint32_t intf = 0;
    if (f->Mgr().GetCamObjIntf(index, &intf) != kFinderOk)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Address, service(*f, &intf));
}

} // namespace

extern "C" {

// ---- handle, search and list ---------------------------------------------------

void* RiloCreateFinder(void)
{
    CLANCamFinder* f = new (std::nothrow) CLANCamFinder();
    if (!f)
        return nullptr;
    void* handle = Handles().Add(f);
    if (!handle)
        delete f;
    return handle;
}

void RiloDestroyFinder(void* hFinder)
{
    delete static_cast<CLANCamFinder*>(Handles().Remove(hFinder));
}

int RiloFinderSearch(void* hFinder, int mode)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f || mode != 0)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Plain,
                            f->Mgr().Refresh(CLANDAPMgr::kSearchBudgetMs, nullptr, nullptr));
}

int RiloGetCameraNum(void* hFinder)
{
    CLANCamFinder* f = Finder(hFinder);
    return f ? f->Mgr().GetCameraNum() : 0;
}

int RiloFindCameraIdxByMAC(void* hFinder, const MAC_ADDR* mac)
{
    if (!mac)
        return RILO_FINDER_FAIL;
    CLANCamFinder* f = Finder(hFinder);
    return f ? f->Mgr().FindCamIdxByMAC(mac) : RILO_FINDER_FAIL;
}

int RiloGetCameraMAC(void* hFinder, int index, MAC_ADDR* mac)
{
    return WithFinder(hFinder, mac != nullptr, [&](CLANCamFinder& f) {
        return RiloPublicResult(FinderFamily::Plain, f.Mgr().GetCameraMAC(index, mac));
    });
}

// ---- camera information and network -------------------------------------------

int RiloGetCameraInfo(void* hFinder, int index, void* record, unsigned long* size)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f || !size || !f->HasCamera(index))
        return RILO_FINDER_FAIL;
    if (f->Mgr().UpdateCameraNetwork(index) != kFinderOk)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Info, f->WrapCameraInfo(index, record, size));
}

int RiloGetCameraInfoL(void* hFinder, int index, void* record, unsigned long* size)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f || !size)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Info, f->WrapCameraInfo(index, record, size));
}

int RiloGetCameraNetwork(void* hFinder, int index, _RiloNetworkInfo* info)
{
    if (!info)
        return RILO_FINDER_NULL_ARG;
    CLANCamFinder* f = Finder(hFinder);
    if (!f || !f->HasCamera(index))
        return RILO_FINDER_FAIL;
    if (f->Mgr().UpdateCameraNetwork(index) != kFinderOk)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Plain, f->GetNetworkInfo(index, info));
}

// ---- authentication --------------------------------------------------------------

int RiloSetFinderCamAuth(void* hFinder, int index, const char* user, const char* password)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Plain, f->SetAuthentication(index, user, password));
}

int RiloFinderVerifyAuth(void* hFinder, int index)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f)
        return RILO_FINDER_FAIL;
    return RiloPublicResult(FinderFamily::Verify, f->Mgr().VerifyAuthorization(index));
}

int RiloChangeAdminPassword(void* hFinder, int index, const char* newUser, const char* newPassword,
                            _RiloFinderResult* result, int noWait)
{
    return RunCommand(hFinder, index, result, noWait, [&](CLANDAPMgr& m) {
        return m.ChangeAdminPassword(index, newUser, newPassword);
    });
}

// ---- gets ------------------------------------------------------------------------

int RiloGetWireless(void* hFinder, int index, _RiloCamSettings* record, unsigned long* size)
{
    return RunGet(hFinder, record != nullptr,
                  [&](CLANCamFinder& f) { return f.GetCameraWireless(index, record, size); });
}

int RiloGetWirelessCapability(void* hFinder, int index, _RiloCamSettings* record,
                              unsigned long* size)
{
    return WithFinder(hFinder, record != nullptr, [&](CLANCamFinder& f) {
        // Its own code for a record too small: callers of this one test it.
        FinderResult rc = f.GetCameraWirelessCap(index, record, size);
        if (rc == kFinderTooSmall)
            return RILO_FINDER_CAP_TOO_SMALL;
        return RiloPublicResult(FinderFamily::Plain, rc);
    });
}

int RiloGetAdvNetwork(void* hFinder, int index, _RiloCamSettings* record, unsigned long* size)
{
    return RunGet(hFinder, record != nullptr,
                  [&](CLANCamFinder& f) { return f.GetCameraAdvNetwork(index, record, size); });
}

int RiloGetCameraDatetime(void* hFinder, int index, _RiloCamSettings* record, unsigned long* size)
{
    return RunGet(hFinder, record != nullptr,
                  [&](CLANCamFinder& f) { return f.GetCameraDatetime(index, record, size); });
}

int RiloGetSimpleWireless(void* hFinder, int index, _RiloCamSettings* record, unsigned long* size)
{
    return RunGet(hFinder, record != nullptr,
                  [&](CLANCamFinder& f) { return f.GetCameraSimpleWireless(index, record, size); });
}

int RiloGetWirelessAssociatedStatus(void* hFinder, int index, _RiloWirelessAssociatedStatus* status,
                                    unsigned long* size)
{
    return RunGet(hFinder, status != nullptr, [&](CLANCamFinder& f) {
        return f.GetWirelessAssociatedStatus(index, status, size);
    });
}

int RiloQueryNetworkStatus(void* hFinder, int index, _RiloCamNetworkStatus* status)
{
    return RunGet(hFinder, status != nullptr,
                  [&](CLANCamFinder& f) { return f.QueryNetworkStatus(index, status); });
}

int RiloGetWirelessSiteSurInfo(void* hFinder, int index, _RiloWirelessSiteSurInfo* entries,
                               int* count)
{
    return RunGet(hFinder, entries != nullptr && count != nullptr, [&](CLANCamFinder& f) {
        return f.GetLANDAPWirelessSiteSurInfo(index, entries, count);
    });
}

int RiloGetLANDAPOptionCmd(void* hFinder, int index, uint16_t* codes, int* count)
{
    return RunGet(hFinder, codes != nullptr && count != nullptr, [&](CLANCamFinder& f) {
        return f.Mgr().GetSupportedCommand(index, codes, *count);
    });
}

int RiloGetDDNSProvidersCount(void* hFinder, int index, int* count)
{
    return WithFinder(hFinder, count != nullptr, [&](CLANCamFinder& f) {
        return RiloPublicResult(FinderFamily::Plain, f.Mgr().GetDDNSProvidersCount(index, count));
    });
}

int RiloGetDDNSProviderList(void* hFinder, int index, int which, char* name, int length)
{
    if (!name)
        return RILO_FINDER_NULL_ARG;
    CLANCamFinder* f = Finder(hFinder);
    if (!f || length <= 0)
        return RILO_FINDER_FAIL;
    // A provider slot holds up to 127 characters, whatever the caller's room.
    char slot[128] = {};
    if (f->Mgr().GetDDNSProvider(index, which, slot) != kFinderOk)
        return RILO_FINDER_FAIL;
    // At most length bytes: the NUL only when the name leaves room for it.
    size_t n = strnlen(slot, sizeof slot - 1) + 1;
    std::memcpy(name, slot, n < size_t(length) ? n : size_t(length));
    return RILO_FINDER_OK;
}

// ---- sets ------------------------------------------------------------------------

int RiloSetCameraInfo(void* hFinder, int index, const _RiloCamSettings* record,
                      unsigned long /*size*/, _RiloFinderResult* result, int noWait)
{
    return RunSet(hFinder, index, record, result, noWait,
                  [&](CLANCamFinder* f) { return f->SetCameraSetting(index, record); });
}

int RiloSetWireless(void* hFinder, int index, const _RiloCamSettings* record, unsigned long size,
                    _RiloFinderResult* result, int noWait)
{
    return RunSet(hFinder, index, record, result, noWait,
                  [&](CLANCamFinder* f) { return f->SetCameraWireless(index, record, size); });
}

int RiloSetAdvNetwork(void* hFinder, int index, const _RiloCamSettings* record, unsigned long size,
                      _RiloFinderResult* result, int noWait)
{
    return RunSet(hFinder, index, record, result, noWait,
                  [&](CLANCamFinder* f) { return f->SetCameraAdvNetwork(index, record, size); });
}

int RiloSetCameraDatetime(void* hFinder, int index, const _RiloCamSettings* record,
                          unsigned long /*size*/, _RiloFinderResult* result, int noWait)
{
    return RunSet(hFinder, index, record, result, noWait,
                  [&](CLANCamFinder* f) { return f->SetCameraDatetime(index, record); });
}

int RiloSetSimpleWireless(void* hFinder, int index, const _RiloCamSettings* record,
                          unsigned long size, _RiloFinderResult* result, int noWait)
{
    return RunSet(hFinder, index, record, result, noWait, [&](CLANCamFinder* f) {
        return f->SetCameraSimpleWireless(index, record, size);
    });
}

// ---- commands --------------------------------------------------------------------

int RiloCommitSettings(void* hFinder, int index, _RiloFinderResult* result, int noWait)
{
    return RunCommand(hFinder, index, result, noWait,
                      [&](CLANDAPMgr& m) { return m.CommitSettings(index); });
}

int RiloInitWirelessSiteSurvey(void* hFinder, int index, _RiloFinderResult* result, int noWait)
{
    return RunCommand(hFinder, index, result, noWait,
                      [&](CLANDAPMgr& m) { return m.InitWirelessSiteSurvey(index); });
}

int RiloResetCamera(void* hFinder, int index, _RiloFinderResult* result, int noWait)
{
    return RunCommand(hFinder, index, result, noWait,
                      [&](CLANDAPMgr& m) { return m.ResetCamera(index); });
}

int RiloFactoryResetCamera(void* hFinder, int index, _RiloFinderResult* result, int noWait)
{
    return RunCommand(hFinder, index, result, noWait,
                      [&](CLANDAPMgr& m) { return m.FactoryResetCamera(index); });
}

// ---- remote access ---------------------------------------------------------------

int RiloGetTessel12Enabled(void* hFinder, int index, int* enabled)
{
    return WithFinder(hFinder, enabled != nullptr, [&](CLANCamFinder& f) {
        _TESSEL12Enable rec;
        FinderResult rc = f.Mgr().GetTessel12Enabled(index, &rec);
        // The flag is handed on whenever the camera answered.
        if (rc == kFinderOk || rc == kFinderCamFailed)
            *enabled = rec.Enabled;
        return RiloPublicResult(FinderFamily::RemoteRead, rc);
    });
}

int RiloTessel12QueryProcState(void* hFinder, int index, int* state, int* second, int* third)
{
    bool given = state != nullptr && second != nullptr && third != nullptr;
    return WithFinder(hFinder, given, [&](CLANCamFinder& f) {
        _TESSEL12ProcStatus rec;
        FinderResult rc = f.Mgr().Tessel12QueryProcState(index, &rec);
        if (rc == kFinderOk || rc == kFinderCamFailed) {
            *state = static_cast<int>(rec.State);
            *second = static_cast<int>(rec.Value4);
            *third = static_cast<int>(rec.Value8);
        }
        return RiloPublicResult(FinderFamily::RemoteRead, rc);
    });
}

int RiloEnableTessel12(void* hFinder, int index, int enable, _RiloFinderResult* result, int noWait)
{
    CLANCamFinder* f = Finder(hFinder);
    if (!f)
        return RILO_FINDER_FAIL;
    _TESSEL12Enable rec;
    rec.Enabled = static_cast<uint8_t>(enable);
    FinderResult rc = f->Mgr().EnableTessel12(index, &rec);
    f->ProcessResult(index, rc, result, noWait);
    return RiloPublicResult(FinderFamily::Enable, rc);
}

int RiloQueryTessel12URL(void* hFinder, int index, char* url, short* length)
{
    if (!url || !length)
        return RILO_FINDER_NULL_ARG;
    CLANCamFinder* f = Finder(hFinder);
    if (!f)
        return RILO_FINDER_FAIL;
    _TESSEL12URL rec;
    if (f->Mgr().QueryTessel12URL(index, &rec) != kFinderOk)
        return RILO_FINDER_FAIL;
    size_t len = strnlen(rec.URL, _TESSEL12URL::WireSize);
    short needed = short(len + 1);
    if (*length < needed) {
        *length = needed;
        return RILO_FINDER_TOO_SMALL;
    }
    std::memcpy(url, rec.URL, len);
    url[len] = '\0';
    *length = needed;
    return RILO_FINDER_OK;
}

// ---- free address and DHCP probe -------------------------------------------------

int RiloGetFreeIP(void* hFinder, int index, char* text, short* length)
{
    return AddressResult(hFinder, index, text, length, [&](CLANCamFinder& f, const uint32_t* intf) {
        return f.GetFreeIP(intf, text, length);
    });
}

int RiloDHCPDiscover(void* hFinder, int index, char* text, short* length)
{
    return AddressResult(hFinder, index, text, length, [&](CLANCamFinder& f, const uint32_t* intf) {
        int reserved = 0;
        return f.GetIntfDHCP(intf, &reserved, text, length);
    });
}

} // extern "C"
