// The public records against the cameras' records, offline: every record
// both ways, and the checks of the finder handle that come before any
// traffic (a camera is put into the list from a made-up discovery reply).
#include "api/CLANCamFinder.h"
#include "api/RiloRecordConvert.h"
#include "DiagCapture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

uint32_t Addr(const char* text)
{
    in_addr a{};
    EXPECT_EQ(1, inet_pton(AF_INET, text, &a)) << text;
    return a.s_addr;
}

// Sets the process time zone for one test and puts the old one back.
class ScopedTZ {
public:
    explicit ScopedTZ(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old)
            m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTZ()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

_LANDAP_Device_Info SampleDevice()
{
    _LANDAP_Device_Info d;
    std::strcpy(d.BrandName, "Rilo");
    std::strcpy(d.ProdName, "Emulated network camera");
    std::strcpy(d.ModelName, "RC-100");
    std::strcpy(d.FWVer, "1.2.3");
    d.ProdType = 0x0101;
    d.ProdHWSpec = 0xA1B2C3D4;
    const uint8_t mac[6] = {0x02, 0x00, 0x5e, 0x00, 0x02, 0x01};
    std::memcpy(d.MAC, mac, 6);
    std::strcpy(d.BasicSet.CameraName, "Porch");
    d.BasicSet.IPAddr = Addr("192.0.2.2");
    d.BasicSet.SubnetMask = Addr("255.255.255.0");
    d.BasicSet.Gateway = Addr("192.0.2.1");
    d.BasicSet.DNS1 = Addr("192.0.2.53");
    d.BasicSet.DNS2 = 0;
    d.BasicSet.WebPort = 8080;
    d.BasicSet.Reserved = 0x02;
    d.BasicSet.CustomizedDNS = 1;
    d.BasicSet.DHCP = 2;
    std::strcpy(d.LocalTime, "20240131235959");
    d.Timezone = 0x1234;
    d.DST = 1;
    return d;
}

} // namespace

TEST(RecordConvertCamInfo, WrapsEveryFieldOfTheDeviceInformation)
{
    ScopedTZ tz("UTC0");
    _LANDAP_Device_Info d = SampleDevice();
    _RiloLANDAPCamInfo rec;
    std::memset(&rec, 0xAB, sizeof rec);
    RiloWrapCamInfo(d, &rec);

    EXPECT_EQ(1, rec.SettingsHdr.CamSettingsType);
    EXPECT_EQ(368u, rec.SettingsHdr.SettingsBodyLen);
    const _RiloNetworkInfo& n = rec.Body.BasicSet.Network;
    EXPECT_EQ(2, n.bCamUseDHCP) << "the raw DHCP byte, not reduced to 0/1";
    EXPECT_STREQ("192.0.2.2", n.szCamIP);
    EXPECT_STREQ("255.255.255.0", n.szCamSubnetMask);
    EXPECT_STREQ("192.0.2.1", n.szCamGateway);
    EXPECT_STREQ("192.0.2.53", n.szCamDNS1);
    EXPECT_STREQ("0.0.0.0", n.szCamDNS2);
    EXPECT_EQ(1, n.CustomizedDNS);
    EXPECT_EQ(2, n.Reserved);
    EXPECT_STREQ("Porch", rec.Body.BasicSet.CameraName);
    EXPECT_EQ(8080, rec.Body.BasicSet.WebPort);
    EXPECT_EQ(0, std::memcmp(d.MAC, rec.Body.MACAddress.UniData.String, 6));
    EXPECT_EQ(0x5e, rec.Body.MACAddress.UniData.Digit.d3);
    EXPECT_STREQ("Rilo", rec.Body.BrandName);
    EXPECT_STREQ("Emulated network camera", rec.Body.ProdName);
    EXPECT_STREQ("RC-100", rec.Body.ModelName);
    EXPECT_STREQ("1.2.3", rec.Body.FWVer);
    EXPECT_EQ(0x0101, rec.Body.ProdType);
    EXPECT_EQ(0xA1B2C3D4u, rec.Body.ProdHWSpec);
    EXPECT_EQ(1706745599u, rec.Body.Datetime);
    EXPECT_EQ(0x1234, rec.Body.Timezone);
    EXPECT_EQ(1, rec.Body.DST);
}

TEST(RecordConvertCamInfo, FullWidthTextsAreCutAndTerminated)
{
    _LANDAP_Device_Info d = SampleDevice();
    std::memset(d.BasicSet.CameraName, 'N', 64);
    std::memset(d.ModelName, 'M', 32);
    _RiloLANDAPCamInfo rec;
    std::memset(&rec, 0xAB, sizeof rec);
    RiloWrapCamInfo(d, &rec);
    EXPECT_EQ(std::string(63, 'N'), rec.Body.BasicSet.CameraName);
    EXPECT_EQ(std::string(31, 'M'), rec.Body.ModelName);
}

TEST(RecordConvertCamInfo, ShortTimeTextKeepsTheCallersDate)
{
    _LANDAP_Device_Info d = SampleDevice();
    std::strcpy(d.LocalTime, "2024013123595");
    _RiloLANDAPCamInfo rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.Datetime = 12345;
    RiloWrapCamInfo(d, &rec);
    EXPECT_EQ(12345u, rec.Body.Datetime);
}

TEST(RecordConvertCamInfo, BasicSettingsFromTheRecord)
{
    _RiloLANDAPCamInfo rec;
    std::memset(&rec, 0, sizeof rec);
    _RiloNetworkInfo& n = rec.Body.BasicSet.Network;
    n.bCamUseDHCP = 0x101;
    std::strcpy(n.szCamIP, "192.0.2.50");
    std::strcpy(n.szCamSubnetMask, "255.255.255.0");
    std::strcpy(n.szCamGateway, "192.0.2.1");
    std::strcpy(n.szCamDNS1, "not an address");
    n.szCamDNS2[0] = '\0';
    n.Reserved = 0x02;
    n.CustomizedDNS = 1;
    std::memset(rec.Body.BasicSet.CameraName, 'C', 64); // no NUL
    rec.Body.BasicSet.WebPort = 443;

    _LANDAP_Basic_Set b;
    RiloCamInfoToBasicSet(rec, &b);
    EXPECT_EQ(Addr("192.0.2.50"), b.IPAddr);
    EXPECT_EQ(Addr("255.255.255.0"), b.SubnetMask);
    EXPECT_EQ(Addr("192.0.2.1"), b.Gateway);
    EXPECT_EQ(kRiloInvalidAddr, b.DNS1);
    EXPECT_EQ(kRiloInvalidAddr, b.DNS2) << "an empty text goes out as the invalid address";
    EXPECT_EQ(1, b.DHCP) << "low byte of the flag";
    EXPECT_EQ(0x02, b.Reserved);
    EXPECT_EQ(1, b.CustomizedDNS);
    EXPECT_EQ(443, b.WebPort);
    EXPECT_EQ(std::string(64, 'C'), b.CameraName);

    uint8_t wire[_LANDAP_Basic_Set::WireSize];
    ASSERT_EQ(sizeof wire, b.Encode(wire, sizeof wire));
    EXPECT_EQ(0xFF, wire[84]);
    EXPECT_EQ(0xFF, wire[87]);
}

TEST(RecordConvertCamInfo, AddressTextFillingItsFieldIsReadWithinIt)
{
    char field[16];
    std::memset(field, '1', sizeof field); // no NUL anywhere
    EXPECT_EQ(kRiloInvalidAddr, RiloTextToAddr(field, sizeof field));
    std::memcpy(field, "10.0.0.1", 9);
    EXPECT_EQ(Addr("10.0.0.1"), RiloTextToAddr(field, sizeof field));
}

TEST(RecordConvertCamInfo, NetworkInfoLeavesTheTrailingBytes)
{
    _NetworkSetting s;
    s.DHCP = 5;
    s.IPAddr = Addr("192.0.2.9");
    s.SubnetMask = Addr("255.255.0.0");
    _RiloNetworkInfo n;
    std::memset(&n, 0x5A, sizeof n);
    RiloNetworkSettingToInfo(s, &n);
    EXPECT_EQ(1, n.bCamUseDHCP);
    EXPECT_STREQ("192.0.2.9", n.szCamIP);
    EXPECT_STREQ("255.255.0.0", n.szCamSubnetMask);
    EXPECT_STREQ("0.0.0.0", n.szCamDNS2);
    EXPECT_EQ(0x5A, n.CustomizedDNS);
    EXPECT_EQ(0x5A, n.Reserved);
}

TEST(RecordConvertWireless, BothWaysWithNibblesAndKeys)
{
    _RiloLANDAPWireless rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.WirelessEnable = 0x101;
    rec.Body.WirelessMode = 0x13;
    rec.Body.WirelessChannel = 11;
    std::memset(rec.Body.SSID, 'S', sizeof rec.Body.SSID); // 33, no NUL
    rec.Body.Authentication = 3;
    rec.Body.Encryption = 2;
    rec.Body.WEPKeyLen = 1;
    rec.Body.WEPKeyFormat = 0x1F;
    rec.Body.WEPDefKey = 2;
    std::strcpy(rec.Body.WEPKey3, "0123456789");
    std::strcpy(rec.Body.WPAKey, "passphrase");
    rec.Body.TxRate = 7;

    _LANDAPWirelessSettings dev;
    RiloWirelessToDevice(rec, &dev);
    EXPECT_EQ(1, dev.WirelessEnable);
    EXPECT_EQ(11, dev.WirelessChannel);
    EXPECT_EQ(std::string(33, 'S'), dev.SSID);
    EXPECT_EQ(0x072F1323u, dev.PackedWord()) << std::hex << dev.PackedWord();
    EXPECT_STREQ("0123456789", dev.WEPKey3);
    EXPECT_STREQ("passphrase", dev.WPAKey);

    // And back, from full-width camera texts.
    std::memset(dev.SSID, 'T', 36);
    std::memset(dev.WPAKey, 'K', 68);
    std::memset(dev.WEPKey1, 'W', 32);
    _RiloLANDAPWireless back;
    std::memset(&back, 0xAB, sizeof back);
    RiloWirelessFromDevice(dev, &back);
    EXPECT_EQ(1, back.Body.WirelessEnable);
    EXPECT_EQ(3, back.Body.WirelessMode);
    EXPECT_EQ(11, back.Body.WirelessChannel);
    EXPECT_EQ(3, back.Body.Authentication);
    EXPECT_EQ(2, back.Body.Encryption);
    EXPECT_EQ(1, back.Body.WEPKeyLen);
    EXPECT_EQ(0xF, back.Body.WEPKeyFormat);
    EXPECT_EQ(2, back.Body.WEPDefKey);
    EXPECT_EQ(7, back.Body.TxRate);
    EXPECT_EQ(std::string(32, 'T'), back.Body.SSID);
    EXPECT_EQ(std::string(64, 'K'), back.Body.WPAKey);
    EXPECT_EQ(std::string(31, 'W'), back.Body.WEPKey1);
    EXPECT_STREQ("0123456789", back.Body.WEPKey3);
}

TEST(RecordConvertAdvNetwork, MaskZeroSendsNoFeaturesButTheDDNSTexts)
{
    _RiloLANDAPAdvNetwork rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.dwSet.SettingMask = 0;
    rec.Body.UPnPSetting = 1;
    rec.Body.PPPoESetting = 1;
    rec.Body.DDNSSetting = 1;
    std::strcpy(rec.Body.PPPoEUID, "pppuser");
    rec.Body.DDNSIndex = 3;
    std::strcpy(rec.Body.DDNSUID, "duser");
    std::strcpy(rec.Body.DDNSPWD, "dpass");
    std::strcpy(rec.Body.DDNSServer, "dyn.example.invalid");
    _LANDAPAdvNetworkSettings dev;
    RiloAdvNetworkToDevice(rec, &dev);
    EXPECT_EQ(0, dev.Features);
    EXPECT_EQ(0, dev.Status);
    EXPECT_EQ(0, dev.PPPoECredentials);
    EXPECT_STREQ("", dev.PPPoEUID);
    EXPECT_EQ(3, dev.DDNSIndex);
    EXPECT_STREQ("duser", dev.DDNSUID);
    EXPECT_STREQ("dpass", dev.DDNSPWD);
    EXPECT_STREQ("dyn.example.invalid", dev.DDNSServer);
}

TEST(RecordConvertAdvNetwork, MaskBitsSelectTheGroups)
{
    _RiloLANDAPAdvNetwork rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.dwSet.SettingMask = 0x108; // only the low byte counts
    rec.Body.PPPoESetting = 1;
    std::strcpy(rec.Body.PPPoEUID, "pppuser");
    std::strcpy(rec.Body.PPPoEPWD, "ppppass");
    _LANDAPAdvNetworkSettings dev;
    RiloAdvNetworkToDevice(rec, &dev);
    EXPECT_EQ(8, dev.Status);
    EXPECT_EQ(1, dev.PPPoECredentials);
    EXPECT_STREQ("pppuser", dev.PPPoEUID);
    EXPECT_STREQ("ppppass", dev.PPPoEPWD);
    EXPECT_EQ(0, dev.Features) << "bit 2 of the mask is clear";

    rec.Body.dwSet.SettingMask = 0x07;
    rec.Body.UPnPSetting = 5;
    rec.Body.DDNSSetting = 0;
    RiloAdvNetworkToDevice(rec, &dev);
    EXPECT_EQ(0x05, dev.Features);
    EXPECT_EQ(0, dev.PPPoECredentials);

    // The read keeps the bits where they stand.
    dev.Features = 0x07;
    dev.Status = 0x9C;
    std::memset(dev.DDNSServer, 'D', 64);
    _RiloLANDAPAdvNetwork back;
    std::memset(&back, 0, sizeof back);
    RiloAdvNetworkFromDevice(dev, &back);
    EXPECT_EQ(1, back.Body.UPnPSetting);
    EXPECT_EQ(2, back.Body.DDNSSetting);
    EXPECT_EQ(4, back.Body.PPPoESetting);
    EXPECT_EQ(0x9Cu, back.Body.dwSet.NetAdvStatus);
    EXPECT_EQ(std::string(63, 'D'), back.Body.DDNSServer);
}

TEST(RecordConvertDatetime, RoundTripUnderAFixedZone)
{
    ScopedTZ tz("JST-9");
    _RiloLANDAPDatetime rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.Datetime = 1706713199; // 2024-01-31 23:59:59 in that zone
    rec.Body.Value16 = 0xBEEF;
    rec.Body.Value18 = 0x1FF;
    rec.Body.Value19 = 7;
    std::strcpy(rec.Body.Text20, "Asia/Tokyo");
    _LANDAPDatetime dev;
    RiloDatetimeToDevice(rec, &dev);
    EXPECT_STREQ("20240131235959", dev.LocalTime);
    EXPECT_EQ(0xBEEF, dev.Value16);
    EXPECT_EQ(0xFF, dev.Value18);
    EXPECT_EQ(7, dev.Value19);
    EXPECT_STREQ("Asia/Tokyo", dev.Text20);

    _RiloLANDAPDatetime back;
    std::memset(&back, 0, sizeof back);
    EXPECT_TRUE(RiloDatetimeFromDevice(dev, &back));
    EXPECT_EQ(1706713199u, back.Body.Datetime);
    EXPECT_EQ(0xBEEF, back.Body.Value16);
    EXPECT_EQ(0xFF, back.Body.Value18);
    EXPECT_EQ(7, back.Body.Value19);
    EXPECT_STREQ("Asia/Tokyo", back.Body.Text20);

    std::strcpy(dev.LocalTime, "20240131");
    back.Body.Datetime = 99;
    EXPECT_FALSE(RiloDatetimeFromDevice(dev, &back));
    EXPECT_EQ(99u, back.Body.Datetime);
}

TEST(RecordConvertSimpleWireless, LongestKeyStaysInsideTheDeviceRecord)
{
    _RiloLANDAPSimpleWireless rec;
    std::memset(&rec, 0, sizeof rec);
    rec.Body.Value0 = 0x1FE;
    std::memset(rec.Body.SSID, 'S', 36); // no NUL
    rec.Body.Value37 = -5;
    rec.Body.Value38 = 1;
    rec.Body.Value39 = 2;
    rec.Body.Value40 = 3;
    std::memset(rec.Body.Key, 'K', 67); // legal in char[68]
    _LANDAPSimpleWireless dev;
    RiloSimpleWirelessToDevice(rec, &dev);
    EXPECT_EQ(0xFE, dev.Value0);
    EXPECT_EQ(std::string(35, 'S'), dev.SSID);
    EXPECT_EQ(-5, dev.Value37);
    EXPECT_EQ(std::string(66, 'K'), dev.Key);

    uint8_t wire[_LANDAPSimpleWireless::WireSize + 4];
    std::memset(wire, 0xEE, sizeof wire);
    ASSERT_EQ(_LANDAPSimpleWireless::WireSize, dev.Encode(wire, _LANDAPSimpleWireless::WireSize));
    EXPECT_EQ(0, wire[36]) << "SSID terminated inside its field";
    EXPECT_EQ(0, wire[107]) << "key terminated inside the record";
    EXPECT_EQ(0xEE, wire[108]) << "nothing written past the record";

    _RiloLANDAPSimpleWireless back;
    std::memset(&back, 0, sizeof back);
    RiloSimpleWirelessFromDevice(dev, &back);
    EXPECT_EQ(0xFE, back.Body.Value0);
    EXPECT_EQ(-5, back.Body.Value37) << "byte 37 is widened with its sign";
    EXPECT_EQ(1, back.Body.Value38);
    EXPECT_EQ(2, back.Body.Value39);
    EXPECT_EQ(3, back.Body.Value40);
    EXPECT_EQ(std::string(35, 'S'), back.Body.SSID);
    EXPECT_EQ(std::string(66, 'K'), back.Body.Key);
}

TEST(RecordConvertReads, CapabilityStationAndStatusRecords)
{
    _LANDAPWirelessCapability cap;
    cap.ChannelBitmap = 0x3FFE;
    cap.WirelessModeBits = 3;
    cap.EncryptionBits = 0x1F;
    cap.AuthenticationBits = 0x3F;
    cap.ExtraBytes[0] = 7;
    cap.ExtraBytes[1] = 8;
    cap.ExtraBytes[2] = 9;
    cap.ExtraWord = 0xCAFEBABE;
    _RiloLANDAPWirelessCap c;
    std::memset(&c, 0, sizeof c);
    RiloWirelessCapFromDevice(cap, &c);
    EXPECT_EQ(0x3FFEu, c.Body.ChannelBitmap);
    EXPECT_EQ(3, c.Body.WirelessModeBits);
    EXPECT_EQ(0x1F, c.Body.EncryptionBits);
    EXPECT_EQ(0x3F, c.Body.AuthenticationBits);
    EXPECT_EQ(8, c.Body.ExtraBytes[1]);
    EXPECT_EQ(0xCAFEBABEu, c.Body.ExtraWord);

    _LANDAPWirelessStation st;
    std::memset(st.SSID, 'A', 33);
    st.Signal = 200;
    st.Packed = 0x6321; // mode 1, encryption 2, authentication 3, channel 6
    _RiloWirelessSiteSurInfo e;
    std::memset(&e, 0xAB, sizeof e);
    RiloStationFromDevice(st, &e);
    EXPECT_EQ(std::string(32, 'A'), e.SSID);
    EXPECT_EQ(200, e.SignalStrength);
    EXPECT_EQ(1, e.WirelessMode);
    EXPECT_EQ(2, e.Encryption);
    EXPECT_EQ(3, e.Authentication);
    EXPECT_EQ(6, e.Channel);

    _tLANDAP_Wireless_AssociatedStatus as;
    as.Value0 = 1;
    as.Value4 = 0xFFFFFFFF;
    std::memset(as.Text8, 'H', 36);
    _RiloWirelessAssociatedStatus a;
    RiloAssociatedStatusFromDevice(as, &a);
    EXPECT_EQ(1, a.Value0);
    EXPECT_EQ(-1, a.Value4);
    EXPECT_EQ(std::string(35, 'H'), a.SSID);

    _LANDAPNetworkStatus ns;
    ns.Value0 = 1;
    ns.Addr4 = Addr("192.0.2.2");
    ns.Value8 = 2;
    ns.Addr12 = Addr("192.0.2.254");
    ns.Value16 = 3;
    _RiloCamNetworkStatus s;
    RiloNetworkStatusFromDevice(ns, &s);
    EXPECT_EQ(1, s.Value0);
    EXPECT_STREQ("192.0.2.2", s.Addr4);
    EXPECT_EQ(2, s.Value8);
    EXPECT_STREQ("192.0.2.254", s.Addr12);
    EXPECT_EQ(3, s.Value16);
}

// ---- the handle's checks, with one camera listed and no network ---------------

class FinderChecks : public testing::Test {
protected:
    void SetUp() override
    {
        ScopedTZ tz("UTC0");
        _LANDAP_Device_Info d = SampleDevice();
        uint8_t dgram[LandapHeader::WireSize + _LANDAP_Device_Info::WireSize] = {};
        LandapHeader h;
        h.LandapSignature = LandapReplySignature;
        h.LandapSeqNo = m_Finder.Mgr().GetSeqNo();
        h.LandapCommand = LandapCmdGetDeviceInfo;
        std::memcpy(h.LandapTargetMAC, d.MAC, 6);
        h.LandapFixedOne = 1;
        h.LandapBodyLen = _LANDAP_Device_Info::WireSize;
        h.Encode(dgram);
        d.Encode(dgram + LandapHeader::WireSize, _LANDAP_Device_Info::WireSize);
        sockaddr_in from{};
        uint32_t bound = 0;
        testsupport::CaptureDiagOut();
        m_Finder.Mgr().DoFoundCamera(dgram, sizeof dgram, &from, &bound);
        testsupport::TakeDiagOut();
        ASSERT_EQ(1, m_Finder.Mgr().GetCameraNum());
    }

    CLANCamFinder m_Finder;
};

TEST_F(FinderChecks, SetsRefuseRecordsOfTheWrongShape)
{
    _RiloLANDAPWireless w;
    std::memset(&w, 0, sizeof w);
    RiloSetHeader(&w.SettingsHdr, sizeof w);
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraWireless(0, &w, 275));
    w.SettingsHdr.SettingsBodyLen = 267;
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraWireless(0, &w, sizeof w));
    w.SettingsHdr.SettingsBodyLen = 268;
    w.SettingsHdr.CamSettingsType = 2;
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraWireless(0, &w, sizeof w));
    EXPECT_EQ(kFinderFail, m_Finder.SetCameraWireless(1, &w, sizeof w)) << "no such camera";
    EXPECT_EQ(kFinderFail, m_Finder.SetCameraWireless(0, nullptr, sizeof w));

    // Camera information: at least the basic settings, whatever the size.
    unsigned char basicOnly[8 + 155] = {};
    _RiloCamSettingsHdr h{1, 155};
    std::memcpy(basicOnly, &h, sizeof h);
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraSetting(0, basicOnly));

    _RiloLANDAPAdvNetwork a;
    std::memset(&a, 0, sizeof a);
    RiloSetHeader(&a.SettingsHdr, sizeof a);
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraAdvNetwork(0, &a, 347));
    _RiloLANDAPSimpleWireless s;
    std::memset(&s, 0, sizeof s);
    RiloSetHeader(&s.SettingsHdr, sizeof s);
    s.SettingsHdr.SettingsBodyLen = 123;
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraSimpleWireless(0, &s, sizeof s));
    _RiloLANDAPDatetime t;
    std::memset(&t, 0, sizeof t);
    RiloSetHeader(&t.SettingsHdr, sizeof t);
    t.SettingsHdr.SettingsBodyLen = 95;
    EXPECT_EQ(kFinderBadRecord, m_Finder.SetCameraDatetime(0, &t));
}

TEST_F(FinderChecks, GetsWriteBackTheNeededSize)
{
    unsigned char buf[400];
    unsigned long size = 275;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetCameraWireless(0, buf, &size));
    EXPECT_EQ(276u, size);
    size = 347;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetCameraAdvNetwork(0, buf, &size));
    EXPECT_EQ(348u, size);
    size = 0;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetCameraDatetime(0, buf, &size));
    EXPECT_EQ(104u, size);
    size = 131;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetCameraSimpleWireless(0, buf, &size));
    EXPECT_EQ(132u, size);
    size = 23;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetCameraWirelessCap(0, buf, &size));
    EXPECT_EQ(24u, size);
    _RiloWirelessAssociatedStatus as;
    size = 43;
    EXPECT_EQ(kFinderTooSmall, m_Finder.GetWirelessAssociatedStatus(0, &as, &size));
    EXPECT_EQ(44u, size);
    EXPECT_EQ(kFinderFail, m_Finder.GetCameraWireless(0, buf, nullptr));
    EXPECT_EQ(kFinderFail, m_Finder.QueryNetworkStatus(0, nullptr));
}

TEST_F(FinderChecks, SurveyCapacityBelowOneSendsNothing)
{
    _RiloWirelessSiteSurInfo e[2];
    int count = 0;
    EXPECT_EQ(kFinderFail, m_Finder.GetLANDAPWirelessSiteSurInfo(0, e, &count));
    EXPECT_EQ(0, count);
    count = -7;
    EXPECT_EQ(kFinderFail, m_Finder.GetLANDAPWirelessSiteSurInfo(0, e, &count));
    EXPECT_EQ(-7, count) << "the capacity is left as given";
    EXPECT_EQ(kFinderFail, m_Finder.GetLANDAPWirelessSiteSurInfo(0, nullptr, &count));
}

TEST_F(FinderChecks, CameraInformationFromTheStoredCopy)
{
    ScopedTZ tz("UTC0");
    _RiloLANDAPCamInfo rec;
    unsigned long size = sizeof rec - 1;
    EXPECT_EQ(kFinderInfoTooSmall, m_Finder.WrapCameraInfo(0, &rec, &size));
    EXPECT_EQ(376u, size);
    size = 0;
    EXPECT_EQ(kFinderInfoTooSmall, m_Finder.WrapCameraInfo(0, nullptr, &size));
    EXPECT_EQ(376u, size);
    EXPECT_EQ(kFinderFail, m_Finder.WrapCameraInfo(0, &rec, nullptr));
    EXPECT_EQ(kFinderFail, m_Finder.WrapCameraInfo(3, &rec, &size));

    size = sizeof rec;
    ASSERT_EQ(kFinderOk, m_Finder.WrapCameraInfo(0, &rec, &size));
    EXPECT_EQ(376u, size);
    EXPECT_STREQ("RC-100", rec.Body.ModelName);
    EXPECT_STREQ("192.0.2.2", rec.Body.BasicSet.Network.szCamIP);
    EXPECT_EQ(1706745599u, rec.Body.Datetime);

    _RiloNetworkInfo n;
    std::memset(&n, 0x5A, sizeof n);
    ASSERT_EQ(kFinderOk, m_Finder.GetNetworkInfo(0, &n));
    EXPECT_EQ(1, n.bCamUseDHCP) << "the stored setting is 0 or 1";
    EXPECT_STREQ("192.0.2.53", n.szCamDNS1);
}

TEST_F(FinderChecks, ResultStepCopiesTheLastResult)
{
    _RiloFinderResult r{9, 9, 9};
    m_Finder.ProcessResult(5, kFinderOk, &r, 0);
    EXPECT_EQ(9u, r.Code) << "no camera, nothing copied";
    m_Finder.ProcessResult(0, kFinderFail, &r, 0);
    EXPECT_EQ(0u, r.Code);
    EXPECT_EQ(0u, r.WaitMs);
    m_Finder.ProcessResult(0, kFinderOk, nullptr, 0);
}

TEST_F(FinderChecks, CredentialsAreCutTo127Characters)
{
    std::string longUser(300, 'u');
    EXPECT_EQ(kFinderOk, m_Finder.SetAuthentication(0, longUser.c_str(), nullptr));
    EXPECT_EQ(std::string(127, 'u'), m_Finder.GetUserName());
    EXPECT_STREQ("", m_Finder.GetPassword());
    EXPECT_EQ(kFinderFail, m_Finder.SetAuthentication(1, "a", "b"));
}

// ---- internal results as public codes, and the DHCP request -----------------

TEST(FinderPublicResult, EachFamilyHasItsOwnCodes)
{
    struct Row {
        FinderFamily family;
        FinderResult rc;
        int code;
    };
    const Row rows[] = {
        {FinderFamily::Get, kFinderOk, RILO_FINDER_OK},
        {FinderFamily::Get, kFinderTooSmall, RILO_FINDER_TOO_SMALL},
        {FinderFamily::Get, kFinderInfoTooSmall, RILO_FINDER_FAIL},
        {FinderFamily::Get, kFinderCamFailed, RILO_FINDER_FAIL},
        {FinderFamily::Info, kFinderInfoTooSmall, RILO_FINDER_TOO_SMALL},
        {FinderFamily::Info, kFinderTooSmall, RILO_FINDER_FAIL},
        {FinderFamily::Plain, kFinderOk, RILO_FINDER_OK},
        {FinderFamily::Plain, kFinderCamRefused, RILO_FINDER_FAIL},
        {FinderFamily::Plain, kFinderCamFailed, RILO_FINDER_FAIL},
        {FinderFamily::Plain, kFinderBadRecord, RILO_FINDER_FAIL},
        {FinderFamily::Verify, kFinderOk, RILO_FINDER_OK},
        {FinderFamily::Verify, kFinderCamRefused, RILO_FINDER_REFUSED},
        {FinderFamily::Verify, kFinderCamAuthFailed, RILO_FINDER_AUTH_STATUS4},
        {FinderFamily::Verify, kFinderFail, RILO_FINDER_FAIL},
        {FinderFamily::Enable, kFinderCamRefused, RILO_FINDER_REFUSED},
        {FinderFamily::Enable, kFinderCamAuthFailed, RILO_FINDER_FAIL},
        {FinderFamily::RemoteRead, kFinderNoReply, RILO_FINDER_NOT_AVAILABLE},
        {FinderFamily::RemoteRead, kFinderCamFailed, RILO_FINDER_FAIL},
        {FinderFamily::Address, kFinderOk, RILO_FINDER_OK},
        {FinderFamily::Address, kFinderTooSmall, RILO_FINDER_TOO_SMALL},
        {FinderFamily::Address, kFinderNotAvailable, RILO_FINDER_NOT_AVAILABLE},
        {FinderFamily::Address, kFinderFail, RILO_FINDER_FAIL},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.code, RiloPublicResult(r.family, r.rc)) << int(r.family) << " " << int(r.rc);
}

TEST(FinderDHCPRequest, DiscoverLayout)
{
    uint8_t req[CLANCamFinder::kDHCPRequestSize];
    std::memset(req, 0xEE, sizeof req);
    const uint8_t mac[6] = {0x02, 0x00, 0x5e, 0x00, 0x01, 0x01};
    CLANCamFinder::BuildDHCPDiscover(req, mac);
    const uint8_t head[12] = {1, 1, 6, 0, 0x83, 0x78, 0x32, 0xE8, 0, 0, 0x80, 0};
    EXPECT_EQ(0, std::memcmp(head, req, sizeof head));
    for (size_t i = 12; i < 28; ++i)
        EXPECT_EQ(0, req[i]) << i;
    EXPECT_EQ(0, std::memcmp(mac, req + 28, 6));
    for (size_t i = 34; i < 236; ++i)
        ASSERT_EQ(0, req[i]) << i;
    const uint8_t tail[8] = {0x63, 0x82, 0x53, 0x63, 53, 1, 1, 0xFF};
    EXPECT_EQ(0, std::memcmp(tail, req + 236, sizeof tail));
    for (size_t i = 244; i < sizeof req; ++i)
        ASSERT_EQ(0, req[i]) << i;
}
