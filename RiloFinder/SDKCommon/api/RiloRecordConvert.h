#ifndef RILO_RILORECORDCONVERT_H
#define RILO_RILORECORDCONVERT_H

// Field-by-field conversion between the public settings records and the
// cameras' records. No checks of type or size here (the finder handle does
// them) and no traffic. Every text copy is bounded by both fields and leaves
// the destination terminated; ints go to the camera as their low byte or
// nibble.

#include "landap/CLANCamObject.h"
#include "landap/LANDAPCmdRecords.h"
#include "landap/LANDAPRecords.h"
#include "net/BCCommon.h"
#include "RiloLANFinderLib.h"

#include <cstddef>
#include <cstdint>

// The value an address text that is no address goes out as.
constexpr uint32_t kRiloInvalidAddr = 0xFFFFFFFFu;

// Dotted text of an address in network order into a 16-byte field.
void RiloAddrToText(char* dst16, uint32_t addr);
// The address of a dotted text of at most width bytes (network order), or
// kRiloInvalidAddr when it is none.
uint32_t RiloTextToAddr(const char* text, size_t width);

// Camera local-time seconds to and from the cameras' 14-digit text. False
// (and *out untouched) when the text cannot be read or the time does not
// fit 32 bits.
bool RiloTimeTextToSeconds(const char* text, uint32_t* out);
void RiloSecondsToTimeText(uint32_t seconds, char* text, size_t size);

// Fills the body of a camera-information record (the header too); the date
// keeps the record's value when the camera's text cannot be read.
void RiloWrapCamInfo(const _LANDAP_Device_Info& dev, _RiloLANDAPCamInfo* rec);
void RiloCamInfoToBasicSet(const _RiloLANDAPCamInfo& rec, _LANDAP_Basic_Set* out);
// The DHCP flag as 0/1 and the five addresses; the two bytes behind them are
// left as they are.
void RiloNetworkSettingToInfo(const _NetworkSetting& s, _RiloNetworkInfo* out);

void RiloWirelessToDevice(const _RiloLANDAPWireless& rec, _LANDAPWirelessSettings* out);
void RiloWirelessFromDevice(const _LANDAPWirelessSettings& dev, _RiloLANDAPWireless* rec);

void RiloAdvNetworkToDevice(const _RiloLANDAPAdvNetwork& rec, _LANDAPAdvNetworkSettings* out);
void RiloAdvNetworkFromDevice(const _LANDAPAdvNetworkSettings& dev, _RiloLANDAPAdvNetwork* rec);

void RiloDatetimeToDevice(const _RiloLANDAPDatetime& rec, _LANDAPDatetime* out);
// False when the time text could not be read (the seconds are kept).
bool RiloDatetimeFromDevice(const _LANDAPDatetime& dev, _RiloLANDAPDatetime* rec);

void RiloSimpleWirelessToDevice(const _RiloLANDAPSimpleWireless& rec, _LANDAPSimpleWireless* out);
void RiloSimpleWirelessFromDevice(const _LANDAPSimpleWireless& dev, _RiloLANDAPSimpleWireless* rec);

void RiloWirelessCapFromDevice(const _LANDAPWirelessCapability& dev, _RiloLANDAPWirelessCap* rec);
void RiloStationFromDevice(const _LANDAPWirelessStation& dev, _RiloWirelessSiteSurInfo* out);
void RiloAssociatedStatusFromDevice(const _tLANDAP_Wireless_AssociatedStatus& dev,
                                    _RiloWirelessAssociatedStatus* out);
void RiloNetworkStatusFromDevice(const _LANDAPNetworkStatus& dev, _RiloCamNetworkStatus* out);

// Header of a record of the given full size.
void RiloSetHeader(_RiloCamSettingsHdr* hdr, size_t recordSize);

#endif
