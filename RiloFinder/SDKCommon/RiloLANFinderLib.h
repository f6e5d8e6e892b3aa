/* LAN finder and configuration library: the exported interface.
 *
 * Plain C; compiles as C and as C++. Every record is caller-allocated and
 * laid out with natural alignment: the sizes below are part of the binary
 * interface. Text fields are NUL-terminated char arrays; IPv4 addresses are
 * dotted texts. */
#ifndef RILO_LANFINDERLIB_H
#define RILO_LANFINDERLIB_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define RILO_FINDER_API __attribute__((visibility("default")))
#else
#define RILO_FINDER_API
#endif

#ifdef __cplusplus
#define RILO_FINDER_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define RILO_FINDER_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes of the exported functions. */
#define RILO_FINDER_OK 0
#define RILO_FINDER_FAIL (-1)          /* bad handle, no such camera, no or bad reply */
#define RILO_FINDER_REFUSED (-2)       /* credentials refused, remote-access status 2 */
#define RILO_FINDER_NULL_ARG (-3)      /* a required pointer is NULL */
#define RILO_FINDER_TOO_SMALL (-4)     /* buffer too small; the needed size was written back */
#define RILO_FINDER_CAP_TOO_SMALL (-6) /* the same, from RiloGetWirelessCapability only */
#define RILO_FINDER_NOT_AVAILABLE (-7) /* nothing to report */
#define RILO_FINDER_AUTH_STATUS4 (-8)  /* the authorization check answered status 4 */

/* The value of CamSettingsType in every settings record. */
#define RILO_CAM_SETTINGS_TYPE 1

/* The finder's MAC record, compared byte by byte. The library's own sources
 * define the same six bytes before they include this header. */
#ifndef RILO_BCCOMMON_H
typedef struct MAC_ADDR {
    uint8_t addr[6];
} MAC_ADDR;
#endif

typedef struct _RiloMACAddr {
    union {
        struct {
            uint8_t d1, d2, d3, d4, d5, d6; /* wire order */
        } Digit;
        char String[6];
    } UniData;
} _RiloMACAddr;

/* Outcome of the camera's last set-type command. */
typedef struct _RiloFinderResult {
    uint32_t Code; /* 0 when the camera answered with a full result, else its error code */
    uint32_t Value;
    uint32_t WaitMs; /* the camera asks for this pause before it is usable again */
} _RiloFinderResult;

/* Opens every settings record. */
typedef struct _RiloCamSettingsHdr {
    int32_t CamSettingsType;  /* always RILO_CAM_SETTINGS_TYPE */
    uint32_t SettingsBodyLen; /* record size - 8 */
} _RiloCamSettingsHdr;

/* The generic settings record: the header, then the body of its kind. */
typedef struct _RiloCamSettings {
    _RiloCamSettingsHdr SettingsHdr;
} _RiloCamSettings;

typedef struct _RiloNetworkInfo {
    int32_t bCamUseDHCP;
    char szCamIP[16];
    char szCamSubnetMask[16];
    char szCamGateway[16];
    char szCamDNS1[16];
    char szCamDNS2[16];
    uint8_t CustomizedDNS;
    uint8_t Reserved; /* bit 1: the web port serves HTTPS */
} _RiloNetworkInfo;

typedef struct _RiloLANDAPBasicSet {
    _RiloNetworkInfo Network;
    char CameraName[64];
    uint16_t WebPort;
} _RiloLANDAPBasicSet;

typedef struct _RiloLANDAPInfoBody {
    _RiloLANDAPBasicSet BasicSet;
    _RiloMACAddr MACAddress;
    char BrandName[64];
    char ProdName[64];
    char ModelName[32];
    char FWVer[32];
    uint16_t ProdType;
    uint32_t ProdHWSpec;
    uint32_t Datetime; /* the camera's local time as seconds since 1970 */
    uint16_t Timezone;
    uint8_t DST;
} _RiloLANDAPInfoBody;

typedef struct _RiloLANDAPCamInfo {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPInfoBody Body;
} _RiloLANDAPCamInfo;

typedef struct _RiloLANDAPWirelessBody {
    int32_t WirelessEnable;
    int32_t WirelessMode;
    char SSID[33];
    int32_t WirelessChannel;
    int32_t Authentication;
    int32_t Encryption;
    int32_t WEPKeyLen;
    int32_t WEPKeyFormat;
    int32_t WEPDefKey;
    char WEPKey1[32];
    char WEPKey2[32];
    char WEPKey3[32];
    char WEPKey4[32];
    char WPAKey[65];
    int32_t TxRate;
} _RiloLANDAPWirelessBody;

typedef struct _RiloLANDAPWireless {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPWirelessBody Body;
} _RiloLANDAPWireless;

typedef struct _RiloLANDAPAdvNetworkBody {
    union {
        uint32_t NetAdvStatus; /* read */
        uint32_t SettingMask;  /* write: bit 0 UPnP, 1 DDNS, 2 PPPoE, 3 PPPoE credentials */
    } dwSet;
    int32_t UPnPSetting;
    int32_t PPPoESetting;
    int32_t DDNSSetting;
    char PPPoEUID[64];
    char PPPoEPWD[64];
    uint8_t DDNSIndex;
    char DDNSUID[64];
    char DDNSPWD[64];
    char DDNSServer[64];
} _RiloLANDAPAdvNetworkBody;

typedef struct _RiloLANDAPAdvNetwork {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPAdvNetworkBody Body;
} _RiloLANDAPAdvNetwork;

/* The camera gives the small values no names; each is carried unchanged
 * and named after its place in the camera's record. */
typedef struct _RiloLANDAPSimpleWirelessBody {
    int32_t Value0;
    char SSID[36];
    int32_t Value37; /* signed on the camera */
    int32_t Value38;
    int32_t Value39;
    int32_t Value40;
    char Key[68];
} _RiloLANDAPSimpleWirelessBody;

typedef struct _RiloLANDAPSimpleWireless {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPSimpleWirelessBody Body;
} _RiloLANDAPSimpleWireless;

typedef struct _RiloLANDAPDatetimeBody {
    uint32_t Datetime; /* local time as seconds since 1970 */
    uint16_t Value16;
    int32_t Value18;
    int32_t Value19;
    char Text20[64];
    uint8_t Unused[16];
} _RiloLANDAPDatetimeBody;

typedef struct _RiloLANDAPDatetime {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPDatetimeBody Body;
} _RiloLANDAPDatetime;

typedef struct _RiloLANDAPWirelessCapBody {
    uint32_t ChannelBitmap; /* bit n: channel n can be used */
    uint8_t WirelessModeBits;
    uint8_t EncryptionBits;
    uint8_t AuthenticationBits;
    uint8_t ExtraBytes[3];
    uint32_t ExtraWord;
} _RiloLANDAPWirelessCapBody;

typedef struct _RiloLANDAPWirelessCap {
    _RiloCamSettingsHdr SettingsHdr;
    _RiloLANDAPWirelessCapBody Body;
} _RiloLANDAPWirelessCap;

/* One access point of a site survey. */
typedef struct _RiloWirelessSiteSurInfo {
    char SSID[33];
    int32_t SignalStrength;
    int32_t WirelessMode;
    int32_t Encryption;
    int32_t Authentication;
    int32_t Channel;
} _RiloWirelessSiteSurInfo;

typedef struct _RiloWirelessAssociatedStatus {
    int32_t Value0;
    int32_t Value4;
    char SSID[36];
} _RiloWirelessAssociatedStatus;

typedef struct _RiloCamNetworkStatus {
    int32_t Value0;
    char Addr4[16];
    int32_t Value8;
    char Addr12[16];
    int32_t Value16;
} _RiloCamNetworkStatus;

RILO_FINDER_STATIC_ASSERT(sizeof(MAC_ADDR) == 6, "MAC_ADDR is 6 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloMACAddr) == 6, "_RiloMACAddr is 6 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloFinderResult) == 12, "_RiloFinderResult is 12 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloCamSettingsHdr) == 8, "settings header is 8 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloNetworkInfo) == 88, "_RiloNetworkInfo is 88 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPBasicSet) == 156, "_RiloLANDAPBasicSet is 156 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPCamInfo) == 376, "_RiloLANDAPCamInfo is 376 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPWireless) == 276, "_RiloLANDAPWireless is 276 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPAdvNetwork) == 348,
                          "_RiloLANDAPAdvNetwork is 348 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPSimpleWireless) == 132,
                          "_RiloLANDAPSimpleWireless is 132 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPDatetime) == 104, "_RiloLANDAPDatetime is 104 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloLANDAPWirelessCap) == 24,
                          "_RiloLANDAPWirelessCap is 24 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloWirelessSiteSurInfo) == 56,
                          "_RiloWirelessSiteSurInfo is 56 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloWirelessAssociatedStatus) == 44,
                          "_RiloWirelessAssociatedStatus is 44 bytes");
RILO_FINDER_STATIC_ASSERT(sizeof(_RiloCamNetworkStatus) == 44, "_RiloCamNetworkStatus is 44 bytes");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloLANDAPCamInfo, Body.BasicSet.Network.CustomizedDNS) == 92 &&
                              offsetof(_RiloLANDAPCamInfo, Body.BasicSet.WebPort) == 160 &&
                              offsetof(_RiloLANDAPCamInfo, Body.MACAddress) == 164 &&
                              offsetof(_RiloLANDAPCamInfo, Body.ProdHWSpec) == 364 &&
                              offsetof(_RiloLANDAPCamInfo, Body.DST) == 374,
                          "camera information layout");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloLANDAPWireless, Body.SSID) == 16 &&
                              offsetof(_RiloLANDAPWireless, Body.WPAKey) == 204 &&
                              offsetof(_RiloLANDAPWireless, Body.TxRate) == 272,
                          "wireless layout");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloLANDAPAdvNetwork, Body.DDNSIndex) == 152 &&
                              offsetof(_RiloLANDAPAdvNetwork, Body.DDNSServer) == 281,
                          "advanced network layout");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloLANDAPDatetime, Body.Value18) == 16 &&
                              offsetof(_RiloLANDAPDatetime, Body.Unused) == 88,
                          "date and time layout");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloLANDAPWirelessCap, Body.ExtraWord) == 20,
                          "capability layout");
RILO_FINDER_STATIC_ASSERT(offsetof(_RiloWirelessSiteSurInfo, SignalStrength) == 36,
                          "station layout");

/* ---- handle, search and list ---------------------------------------------
 * A handle is an opaque value, not an address, and no value is handed out
 * twice while the library is loaded. A handle that RiloDestroyFinder has
 * destroyed, like NULL or one the library did not make, stays a bad handle
 * whatever was created since: every function prints "Rilo Lib: Error of
 * parameter!" and returns RILO_FINDER_FAIL (RiloGetCameraNum 0; functions
 * that check a pointer argument first give RILO_FINDER_NULL_ARG for a NULL
 * one), and RiloDestroyFinder does nothing. A handle must not be used from
 * two threads at once. Camera indexes are positions in the list of the last
 * search and are void after the next. */
RILO_FINDER_API void* RiloCreateFinder(void);
RILO_FINDER_API void RiloDestroyFinder(void* hFinder);
/* mode 0 only; takes at least the 3-second quiet time of the search. */
RILO_FINDER_API int RiloFinderSearch(void* hFinder, int mode);
RILO_FINDER_API int RiloGetCameraNum(void* hFinder);
RILO_FINDER_API int RiloFindCameraIdxByMAC(void* hFinder, const MAC_ADDR* mac);
RILO_FINDER_API int RiloGetCameraMAC(void* hFinder, int index, MAC_ADDR* mac);

/* ---- camera information and network -------------------------------------
 * record is a _RiloLANDAPCamInfo of *size bytes. */
RILO_FINDER_API int RiloGetCameraInfo(void* hFinder, int index, void* record, unsigned long* size);
/* As RiloGetCameraInfo, from the copy kept since the last read, without traffic. */
RILO_FINDER_API int RiloGetCameraInfoL(void* hFinder, int index, void* record, unsigned long* size);
RILO_FINDER_API int RiloGetCameraNetwork(void* hFinder, int index, _RiloNetworkInfo* info);

/* ---- authentication ------------------------------------------------------ */
RILO_FINDER_API int RiloSetFinderCamAuth(void* hFinder, int index, const char* user,
                                         const char* password);
RILO_FINDER_API int RiloFinderVerifyAuth(void* hFinder, int index);
RILO_FINDER_API int RiloChangeAdminPassword(void* hFinder, int index, const char* newUser,
                                            const char* newPassword, _RiloFinderResult* result,
                                            int noWait);

/* ---- gets: *size in, the needed size written back with RILO_FINDER_TOO_SMALL ---- */
RILO_FINDER_API int RiloGetWireless(void* hFinder, int index, _RiloCamSettings* record,
                                    unsigned long* size);
/* Gives -6 rather than -4 for a size below 24. */
RILO_FINDER_API int RiloGetWirelessCapability(void* hFinder, int index, _RiloCamSettings* record,
                                              unsigned long* size);
RILO_FINDER_API int RiloGetAdvNetwork(void* hFinder, int index, _RiloCamSettings* record,
                                      unsigned long* size);
RILO_FINDER_API int RiloGetCameraDatetime(void* hFinder, int index, _RiloCamSettings* record,
                                          unsigned long* size);
RILO_FINDER_API int RiloGetSimpleWireless(void* hFinder, int index, _RiloCamSettings* record,
                                          unsigned long* size);
RILO_FINDER_API int RiloGetWirelessAssociatedStatus(void* hFinder, int index,
                                                    _RiloWirelessAssociatedStatus* status,
                                                    unsigned long* size);
RILO_FINDER_API int RiloQueryNetworkStatus(void* hFinder, int index, _RiloCamNetworkStatus* status);
/* *count: capacity in entries in; the number found (or needed) out. */
RILO_FINDER_API int RiloGetWirelessSiteSurInfo(void* hFinder, int index,
                                               _RiloWirelessSiteSurInfo* entries, int* count);
RILO_FINDER_API int RiloGetLANDAPOptionCmd(void* hFinder, int index, uint16_t* codes, int* count);
RILO_FINDER_API int RiloGetDDNSProvidersCount(void* hFinder, int index, int* count);
/* Copies provider which (from 0) into name: at most length bytes. A name
 * shorter than length arrives with its NUL; a longer one fills the length
 * bytes and has no NUL. */
RILO_FINDER_API int RiloGetDDNSProviderList(void* hFinder, int index, int which, char* name,
                                            int length);

/* ---- sets: the camera's result goes to *result (may be NULL); with noWait 0
 * the call sleeps the wait the camera asks for (at most 300 s) ---- */
RILO_FINDER_API int RiloSetCameraInfo(void* hFinder, int index, const _RiloCamSettings* record,
                                      unsigned long size, _RiloFinderResult* result, int noWait);
RILO_FINDER_API int RiloSetWireless(void* hFinder, int index, const _RiloCamSettings* record,
                                    unsigned long size, _RiloFinderResult* result, int noWait);
RILO_FINDER_API int RiloSetAdvNetwork(void* hFinder, int index, const _RiloCamSettings* record,
                                      unsigned long size, _RiloFinderResult* result, int noWait);
RILO_FINDER_API int RiloSetCameraDatetime(void* hFinder, int index, const _RiloCamSettings* record,
                                          unsigned long size, _RiloFinderResult* result,
                                          int noWait);
RILO_FINDER_API int RiloSetSimpleWireless(void* hFinder, int index, const _RiloCamSettings* record,
                                          unsigned long size, _RiloFinderResult* result,
                                          int noWait);

/* ---- commands ------------------------------------------------------------ */
RILO_FINDER_API int RiloCommitSettings(void* hFinder, int index, _RiloFinderResult* result,
                                       int noWait);
RILO_FINDER_API int RiloInitWirelessSiteSurvey(void* hFinder, int index, _RiloFinderResult* result,
                                               int noWait);
RILO_FINDER_API int RiloResetCamera(void* hFinder, int index, _RiloFinderResult* result,
                                    int noWait);
RILO_FINDER_API int RiloFactoryResetCamera(void* hFinder, int index, _RiloFinderResult* result,
                                           int noWait);

/* ---- remote access ------------------------------------------------------- */
RILO_FINDER_API int RiloGetTessel12Enabled(void* hFinder, int index, int* enabled);
RILO_FINDER_API int RiloTessel12QueryProcState(void* hFinder, int index, int* state, int* second,
                                               int* third);
RILO_FINDER_API int RiloEnableTessel12(void* hFinder, int index, int enable,
                                       _RiloFinderResult* result, int noWait);
/* *length: room in url in; the text length + 1 out. */
RILO_FINDER_API int RiloQueryTessel12URL(void* hFinder, int index, char* url, short* length);

/* ---- free address and DHCP probe on the camera's host interface ----------
 * *length: room in text in; the text length + 1 out. */
RILO_FINDER_API int RiloGetFreeIP(void* hFinder, int index, char* text, short* length);
/* Binds UDP port 68 and broadcasts a DISCOVER, again after 2 s without an
 * answer: no server gives -7 after about 4 s. */
RILO_FINDER_API int RiloDHCPDiscover(void* hFinder, int index, char* text, short* length);

#ifdef __cplusplus
}
#endif

#endif
