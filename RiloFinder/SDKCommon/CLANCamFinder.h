#ifndef RILO_CLANCAMFINDER_H
#define RILO_CLANCAMFINDER_H

// BCCommon.h first: it defines the MAC_ADDR that the public header reuses.
#include "BCCommon.h"
#include "CLANDAPMgr.h"
#include "RiloLANFinderLib.h"

#include <cstdint>

// Internal results of the finder handle besides the manager's own.
enum : int {
    kFinderBadRecord = -3,      // wrong type, size or body length; nothing sent
    kFinderTooSmall = -6,       // caller's size too small; the needed size written back
    kFinderInfoTooSmall = -122, // the same for the camera information
};

// The finder handle behind the exported functions: the camera list and the
// credentials last given, and the conversion between the public records and
// the cameras' records. Camera indexes as in the camera list.
class CLANCamFinder {
public:
    static constexpr int kCredentialSize = 128;
    // Longest pause a camera's announced wait may impose on the caller.
    static constexpr uint64_t kMaxWaitMs = 300000;
    static constexpr unsigned long kDHCPTimeoutMs = 2000;
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
    // then to the camera. 0, or -1 for no camera.
    int SetAuthentication(int i, const char* user, const char* password);
    const char* GetUserName() const { return m_UserName; }
    const char* GetPassword() const { return m_Password; }

    // Hands the camera's last result to the caller and, after a success and
    // unless noWait, sleeps the wait it announced (capped at kMaxWaitMs).
    void ProcessResult(int i, int rc, _RiloFinderResult* result, int noWait);
    // Lowers the cap for this handle (tests wait less than 300 s).
    void SetMaxWaitMs(uint64_t ms) { m_MaxWaitMs = ms < kMaxWaitMs ? ms : kMaxWaitMs; }

    // ---- sets: -1 (null record or no camera), kFinderBadRecord, else the
    // manager's result.
    int SetCameraSetting(int i, const void* record);
    int SetCameraWireless(int i, const void* record, unsigned long size);
    int SetCameraAdvNetwork(int i, const void* record, unsigned long size);
    int SetCameraDatetime(int i, const void* record);
    int SetCameraSimpleWireless(int i, const void* record, unsigned long size);

    // ---- gets: -1 (null pointer, no camera or a failed exchange),
    // kFinderTooSmall with *size set, else 0 with the record filled.
    int GetCameraWireless(int i, void* record, unsigned long* size);
    int GetCameraAdvNetwork(int i, void* record, unsigned long* size);
    int GetCameraDatetime(int i, void* record, unsigned long* size);
    int GetCameraSimpleWireless(int i, void* record, unsigned long* size);
    int GetCameraWirelessCap(int i, void* record, unsigned long* size);
    int GetWirelessAssociatedStatus(int i, _RiloWirelessAssociatedStatus* out, unsigned long* size);
    int QueryNetworkStatus(int i, _RiloCamNetworkStatus* out);
    // *count: capacity in; on 0 the number found, on kFinderTooSmall the
    // number needed. -1 for a capacity below 1 (nothing sent).
    int GetLANDAPWirelessSiteSurInfo(int i, _RiloWirelessSiteSurInfo* entries, int* count);

    // The stored device information into a 376-byte record: -1 no camera,
    // kFinderInfoTooSmall with *size = 376, else 0.
    int WrapCameraInfo(int i, void* record, unsigned long* size);
    // The camera's stored IP setting: DHCP flag and the five addresses.
    int GetNetworkInfo(int i, _RiloNetworkInfo* out);

    // ---- host interface of the camera (interface address, network order).
    // 1 with the interface's MAC, 0 for a null out or no such interface.
    int GetIntfMAC(const uint32_t* intfAddr, MAC_ADDR* out);
    // 0 (length untouched) for a null text or no such interface, else the
    // enumerator's result.
    int GetFreeIP(const uint32_t* intfAddr, char* text, short* length);
    // 1 with the DHCP server's address; 0 for no interface, no MAC, no answer
    // or too small a buffer; -1 when the probe could not bind its port.
    int GetIntfDHCP(const uint32_t* intfAddr, int* reserved, char* text, short* length);

    // The exported results of the two address functions for the interface
    // the camera was found on, or any given one.
    int FreeIPResult(uint32_t intfAddr, char* text, short* length);
    int DHCPResult(uint32_t intfAddr, char* text, short* length);

    // The 300-byte DHCPDISCOVER sent from the interface with this MAC.
    static void BuildDHCPDiscover(uint8_t* out, const uint8_t mac[6]);

private:
    CLANDAPMgr m_Mgr;
    uint64_t m_MaxWaitMs = kMaxWaitMs;
    char m_UserName[kCredentialSize] = {};
    char m_Password[kCredentialSize] = {};
};

// Public result of an address function from the finder's result, the
// caller's length and the length it left.
int RiloAddressResult(int op, short callerLength, short leftLength, short* length);

#endif
