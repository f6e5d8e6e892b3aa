#ifndef RILO_CLANCAMFINDER_H
#define RILO_CLANCAMFINDER_H

// BCCommon.h first: it defines the MAC_ADDR that the public header reuses.
#include "net/BCCommon.h"
#include "landap/CLANDAPMgr.h"
#include "landap/FinderResult.h"
#include "RiloLANFinderLib.h"

#include <cstdint>

// The finder handle behind the exported functions: the camera list and the
// credentials last given, and the conversion between the public records and
// the cameras' records. Camera indexes as in the camera list.
class CLANCamFinder {
public:
    static constexpr int kCredentialSize = 128;
    // Longest pause a camera's announced wait may impose on the caller.
    static constexpr uint64_t kMaxWaitMs = 300000;
    // Each DISCOVER waits this long for an answer: silence gives its
    // verdict after kDHCPDiscoverSends waits, about 4 s.
    static constexpr unsigned long kDHCPTimeoutMs = 2000;
    static constexpr int kDHCPDiscoverSends = 2;
    static constexpr uint16_t kDHCPClientPort = 68;
    static constexpr uint16_t kDHCPServerPort = 67;
    static constexpr size_t kDHCPRequestSize = 300;
    static constexpr size_t kDHCPReplyBuffer = 1024;

    CLANCamFinder() = default;
    virtual ~CLANCamFinder() = default;
    CLANCamFinder(const CLANCamFinder&) = delete;
    CLANCamFinder& operator=(const CLANCamFinder&) = delete;

    CLANDAPMgr& Mgr() { return m_Mgr; }
    bool HasCamera(int i) const { return m_Mgr.GetLANDAPObj(i) != nullptr; }

    // Credentials into the handle's buffers (at most 127 characters each),
    // then to the camera. kFinderFail for no camera.
    FinderResult SetAuthentication(int i, const char* user, const char* password);
    const char* GetUserName() const { return m_UserName; }
    const char* GetPassword() const { return m_Password; }

    // Hands the camera's last result to the caller and, after a success and
    // unless noWait, sleeps the wait it announced (capped at kMaxWaitMs).
    void ProcessResult(int i, FinderResult rc, _RiloFinderResult* result, int noWait);
    // Lowers the cap for this handle (tests wait less than 300 s).
    void SetMaxWaitMs(uint64_t ms) { m_MaxWaitMs = ms < kMaxWaitMs ? ms : kMaxWaitMs; }

    // ---- sets: kFinderFail (null record or no camera), kFinderBadRecord,
    // else the manager's result.
    FinderResult SetCameraSetting(int i, const void* record);
    FinderResult SetCameraWireless(int i, const void* record, unsigned long size);
    FinderResult SetCameraAdvNetwork(int i, const void* record, unsigned long size);
    FinderResult SetCameraDatetime(int i, const void* record);
    FinderResult SetCameraSimpleWireless(int i, const void* record, unsigned long size);

    // ---- gets: kFinderFail (null pointer, no camera or a failed exchange),
    // kFinderTooSmall with *size set, else kFinderOk with the record filled.
    FinderResult GetCameraWireless(int i, void* record, unsigned long* size);
    FinderResult GetCameraAdvNetwork(int i, void* record, unsigned long* size);
    FinderResult GetCameraDatetime(int i, void* record, unsigned long* size);
    FinderResult GetCameraSimpleWireless(int i, void* record, unsigned long* size);
    FinderResult GetCameraWirelessCap(int i, void* record, unsigned long* size);
    FinderResult GetWirelessAssociatedStatus(int i, _RiloWirelessAssociatedStatus* out,
                                             unsigned long* size);
    FinderResult QueryNetworkStatus(int i, _RiloCamNetworkStatus* out);
    // *count: capacity in; with kFinderOk the number found, with
    // kFinderTooSmall the number needed. kFinderFail for a capacity below 1
    // (nothing sent).
    FinderResult GetLANDAPWirelessSiteSurInfo(int i, _RiloWirelessSiteSurInfo* entries, int* count);

    // The stored device information into a 376-byte record: kFinderFail no
    // camera, kFinderInfoTooSmall with *size = 376.
    FinderResult WrapCameraInfo(int i, void* record, unsigned long* size);
    // The camera's stored IP setting: DHCP flag and the five addresses.
    FinderResult GetNetworkInfo(int i, _RiloNetworkInfo* out);

    // ---- host interface of the camera (interface address, network order;
    // 0 picks the first interface with an address, a mask and a broadcast
    // address).
    // The interface's MAC; kFinderFail for a null out, no such interface or
    // one without a MAC.
    FinderResult GetIntfMAC(const uint32_t* intfAddr, MAC_ADDR* out);
    // The two address services: kFinderOk with the text and *length = its
    // length + 1; kFinderTooSmall with the needed length; kFinderNotAvailable
    // with *length 0 (no address to suggest, no DHCP server answered);
    // kFinderFail (length untouched) for a null argument, no such interface,
    // or a probe that could not run.
    FinderResult GetFreeIP(const uint32_t* intfAddr, char* text, short* length);
    FinderResult GetIntfDHCP(const uint32_t* intfAddr, int* reserved, char* text, short* length);

    // The 300-byte DHCPDISCOVER sent from the interface with this MAC.
    static void BuildDHCPDiscover(uint8_t* out, const uint8_t mac[6]);

private:
    CLANDAPMgr m_Mgr;
    uint64_t m_MaxWaitMs = kMaxWaitMs;
    char m_UserName[kCredentialSize] = {};
    char m_Password[kCredentialSize] = {};
};

#endif
