/* The public header from C: the record sizes at compile time, and a link
 * against the shared library that makes a handle and frees it. */
#include "RiloLANFinderLib.h"

#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(_RiloLANDAPCamInfo) == 376, "camera information");
_Static_assert(sizeof(_RiloLANDAPBasicSet) == 156, "basic settings");
_Static_assert(sizeof(_RiloNetworkInfo) == 88, "network information");
_Static_assert(sizeof(_RiloLANDAPWireless) == 276, "wireless");
_Static_assert(sizeof(_RiloLANDAPAdvNetwork) == 348, "advanced network");
_Static_assert(sizeof(_RiloLANDAPSimpleWireless) == 132, "simple wireless");
_Static_assert(sizeof(_RiloLANDAPDatetime) == 104, "date and time");
_Static_assert(sizeof(_RiloLANDAPWirelessCap) == 24, "wireless capability");
_Static_assert(sizeof(_RiloWirelessSiteSurInfo) == 56, "station");
_Static_assert(sizeof(_RiloWirelessAssociatedStatus) == 44, "associated status");
_Static_assert(sizeof(_RiloCamNetworkStatus) == 44, "network status");
_Static_assert(sizeof(_RiloFinderResult) == 12, "result");
_Static_assert(sizeof(_RiloMACAddr) == 6, "MAC");
_Static_assert(sizeof(_RiloCamSettingsHdr) == 8, "header");
_Static_assert(offsetof(_RiloLANDAPCamInfo, Body.ModelName) == 298, "model name");
_Static_assert(offsetof(_RiloLANDAPCamInfo, Body.Datetime) == 368, "date");
_Static_assert(offsetof(_RiloLANDAPWireless, Body.WEPKey1) == 76, "first WEP key");
_Static_assert(offsetof(_RiloLANDAPSimpleWireless, Body.Key) == 64, "simple key");
_Static_assert(offsetof(_RiloCamNetworkStatus, Addr12) == 24, "status address");

int main(void)
{
    void* h = RiloCreateFinder();
    if (!h) {
        fprintf(stderr, "no handle\n");
        return 1;
    }
    _RiloLANDAPWireless w;
    unsigned long size = sizeof w;
    memset(&w, 0, sizeof w);
    int failures = 0;
    if (RiloGetCameraNum(h) != 0)
        ++failures;
    if (RiloGetWireless(h, 0, (_RiloCamSettings*)&w, &size) != RILO_FINDER_FAIL)
        ++failures;
    if (RiloGetWireless(h, 0, NULL, &size) != RILO_FINDER_NULL_ARG)
        ++failures;
    RiloDestroyFinder(h);
    if (failures)
        fprintf(stderr, "%d unexpected results\n", failures);
    return failures ? 1 : 0;
}
