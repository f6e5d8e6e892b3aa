#include "landap/LANDAPRecords.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Test buffers are written by hand, byte by byte, not with the codec's helpers.
void PutText(Bytes& b, size_t off, const std::string& s)
{
    std::memcpy(b.data() + off, s.data(), s.size());
}

void PutLE(Bytes& b, size_t off, uint64_t v, int width)
{
    for (int i = 0; i < width; ++i)
        b[off + size_t(i)] = uint8_t(v >> (8 * i));
}

void PutAddr(Bytes& b, size_t off, const char* dotted)
{
    in_addr a;
    ASSERT_EQ(inet_pton(AF_INET, dotted, &a), 1);
    std::memcpy(b.data() + off, &a, 4);
}

std::string Dotted(uint32_t sAddr)
{
    in_addr a;
    a.s_addr = sAddr;
    char buf[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, buf, sizeof buf) ? buf : "";
}

// Decodes b, checks that short input is refused, and re-encodes.
template <typename R>
Bytes RoundTrip(const Bytes& b, R& r)
{
    EXPECT_EQ(b.size(), R::WireSize);
    R untouched;
    EXPECT_FALSE(untouched.Decode(b.data(), R::WireSize - 1));
    EXPECT_FALSE(untouched.Decode(nullptr, R::WireSize));
    EXPECT_TRUE(r.Decode(b.data(), b.size()));
    Bytes out(R::WireSize + 1, 0xEE);
    EXPECT_EQ(r.Encode(out.data(), R::WireSize - 1), 0u);
    EXPECT_EQ(r.Encode(out.data(), out.size()), R::WireSize);
    EXPECT_EQ(out[R::WireSize], 0xEE) << "encoder wrote past the record";
    out.resize(R::WireSize);
    return out;
}

Bytes DeviceInfoBytes()
{
    Bytes b(312, 0);
    PutText(b, 0, "Quillmar");
    PutText(b, 64, "Network Camera");
    PutText(b, 128, "QC-7210W");
    PutText(b, 160, "2.4.1");
    PutLE(b, 192, 0x1234, 2);
    PutLE(b, 194, 0xA1B2C3D4, 4); // unaligned
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(b.data() + 198, mac, 6);
    PutText(b, 204, "Front door");
    PutAddr(b, 268, "192.0.2.2");
    PutLE(b, 272, 8080, 2);
    b[274] = 0x02;
    b[275] = 0x01;
    PutAddr(b, 276, "255.255.255.0");
    PutAddr(b, 280, "192.0.2.1");
    PutAddr(b, 284, "198.51.100.53");
    PutAddr(b, 288, "198.51.100.54");
    b[292] = 2;
    PutText(b, 293, "20240131235959");
    PutLE(b, 309, 0xFFC4, 2);
    b[311] = 1;
    return b;
}

TEST(LANDAPDeviceInfo, FieldsAtTheirOffsetsAndRoundTrip)
{
    Bytes b = DeviceInfoBytes();
    _LANDAP_Device_Info d;
    EXPECT_EQ(RoundTrip(b, d), b);
    EXPECT_STREQ(d.BrandName, "Quillmar");
    EXPECT_STREQ(d.ProdName, "Network Camera");
    EXPECT_STREQ(d.ModelName, "QC-7210W");
    EXPECT_STREQ(d.FWVer, "2.4.1");
    EXPECT_EQ(d.ProdType, 0x1234);
    EXPECT_EQ(d.ProdHWSpec, 0xA1B2C3D4u);
    EXPECT_EQ(d.MAC[0], 0x00);
    EXPECT_EQ(d.MAC[5], 0x5E);
    EXPECT_STREQ(d.BasicSet.CameraName, "Front door");
    EXPECT_EQ(Dotted(d.BasicSet.IPAddr), "192.0.2.2");
    EXPECT_EQ(d.BasicSet.WebPort, 8080);
    EXPECT_EQ(d.BasicSet.Reserved & _LANDAP_Basic_Set::FlagHTTPS, _LANDAP_Basic_Set::FlagHTTPS);
    EXPECT_EQ(d.BasicSet.CustomizedDNS, 1);
    EXPECT_EQ(Dotted(d.BasicSet.SubnetMask), "255.255.255.0");
    EXPECT_EQ(Dotted(d.BasicSet.Gateway), "192.0.2.1");
    EXPECT_EQ(Dotted(d.BasicSet.DNS1), "198.51.100.53");
    EXPECT_EQ(Dotted(d.BasicSet.DNS2), "198.51.100.54");
    EXPECT_EQ(d.BasicSet.DHCP, 2) << "the raw byte, not reduced to 0/1";
    EXPECT_STREQ(d.LocalTime, "20240131235959");
    EXPECT_EQ(d.Timezone, 0xFFC4);
    EXPECT_EQ(d.DST, 1);

    // The same basic setting stands alone as the 0xA2 record.
    _LANDAP_Basic_Set s;
    Bytes basic(b.begin() + 204, b.begin() + 293);
    EXPECT_EQ(RoundTrip(basic, s), basic);
    EXPECT_EQ(s.WebPort, 8080);
}

TEST(LANDAPDeviceInfo, FullWidthTextsStayInTheirFields)
{
    Bytes b = DeviceInfoBytes();
    PutText(b, 0, std::string(64, 'B')); // runs into ProdName without a NUL
    PutText(b, 128, std::string(32, 'M'));
    PutText(b, 160, std::string(32, 'F')); // runs into ProdType
    PutText(b, 204, std::string(64, 'N')); // runs into the address
    PutText(b, 293, "2024013123595999");   // 16 characters, no NUL
    _LANDAP_Device_Info d;
    EXPECT_EQ(RoundTrip(b, d), b);
    EXPECT_EQ(std::string(d.BrandName), std::string(64, 'B'));
    EXPECT_EQ(std::string(d.ModelName), std::string(32, 'M'));
    EXPECT_EQ(std::string(d.FWVer), std::string(32, 'F'));
    EXPECT_EQ(std::string(d.BasicSet.CameraName), std::string(64, 'N'));
    EXPECT_EQ(std::string(d.LocalTime), "2024013123595999");

    // Bytes after a NUL inside a field are not part of the text and go out as zero.
    b[128 + 3] = 0;
    ASSERT_TRUE(d.Decode(b.data(), b.size()));
    EXPECT_STREQ(d.ModelName, "MMM");
    Bytes out(312);
    d.Encode(out.data(), out.size());
    EXPECT_EQ(out[128 + 4], 0);
}

TEST(LANDAPText, NarrowerDestinationTruncatesAndTerminates)
{
    uint8_t field[36];
    std::memset(field, 'S', sizeof field);
    char ssid[33];
    std::memset(ssid, 'x', sizeof ssid);
    LANDAPGetText(ssid, sizeof ssid, field, sizeof field);
    EXPECT_EQ(std::string(ssid), std::string(32, 'S'));

    // Encoding reads at most its source size and the field width.
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    uint8_t out[8];
    std::memset(out, 0xEE, sizeof out);
    LANDAPPutText(out, 6, unterminated, sizeof unterminated);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 6), std::string("abcd\0\0", 6));
    EXPECT_EQ(out[6], 0xEE);
    LANDAPPutText(out, 3, "wxyz", 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), std::string("wxyd"));
}

// ---- wireless ------------------------------------------------------------------

Bytes WirelessBytes()
{
    Bytes b(238, 0);
    b[0] = 1;
    b[1] = 11;
    PutText(b, 2, std::string(36, 'S')); // full width, runs into the packed word
    PutLE(b, 38, 0x07654321, 4);
    PutText(b, 42, "key-one");
    PutText(b, 74, "key-two");
    PutText(b, 106, "key-three");
    PutText(b, 138, std::string(32, '4'));
    PutText(b, 170, std::string(68, 'W')); // ends the record
    return b;
}

TEST(LANDAPWireless, NibblesAndTextsRoundTrip)
{
    Bytes b = WirelessBytes();
    _LANDAPWirelessSettings w;
    EXPECT_EQ(RoundTrip(b, w), b);
    EXPECT_EQ(w.WirelessEnable, 1);
    EXPECT_EQ(w.WirelessChannel, 11);
    EXPECT_EQ(std::string(w.SSID), std::string(36, 'S'));
    EXPECT_EQ(w.WirelessMode, 1);
    EXPECT_EQ(w.Encryption, 2);
    EXPECT_EQ(w.Authentication, 3);
    EXPECT_EQ(w.WEPKeyLen, 4);
    EXPECT_EQ(w.WEPKeyFormat, 5);
    EXPECT_EQ(w.WEPDefKey, 6);
    EXPECT_EQ(w.TxRate, 7);
    EXPECT_STREQ(w.WEPKey3, "key-three");
    EXPECT_EQ(std::string(w.WEPKey4), std::string(32, '4'));
    EXPECT_EQ(std::string(w.WPAKey), std::string(68, 'W'));

    // Mode 1, encryption 2, authentication 3: 0x321 at 38; values wider than a nibble are cut.
    _LANDAPWirelessSettings s;
    s.WirelessMode = 0x11;
    s.Encryption = 2;
    s.Authentication = 3;
    Bytes out(238, 0xEE);
    ASSERT_EQ(s.Encode(out.data(), out.size()), 238u);
    EXPECT_EQ(out[38], 0x21);
    EXPECT_EQ(out[39], 0x03);
    EXPECT_EQ(out[40], 0x00);
    EXPECT_EQ(out[41], 0x00);
    EXPECT_EQ(out[2], 0) << "empty SSID zero-filled";

    // The top nibble is not one of the fields and goes out as zero.
    PutLE(b, 38, 0xF0000321, 4);
    ASSERT_TRUE(w.Decode(b.data(), b.size()));
    EXPECT_EQ(w.PackedWord(), 0x321u);
}

TEST(LANDAPWireless, CapabilityAndPack)
{
    Bytes b = WirelessBytes();
    b.resize(252, 0);
    PutLE(b, 238, 0x00003FFE, 4); // channels 1-13
    b[242] = 0x03;
    b[243] = 0x1F;
    b[244] = 0x3F;
    b[245] = 0xA7;
    b[246] = 0xA8;
    b[247] = 0xA9;
    PutLE(b, 248, 0xDEADBEEF, 4); // unaligned u32 at capability offset 10

    _LANDAP_Get_Wireless_Pack pack;
    EXPECT_EQ(RoundTrip(b, pack), b);
    EXPECT_EQ(pack.Settings.TxRate, 7);
    EXPECT_EQ(pack.Capability.ChannelBitmap, 0x3FFEu);
    EXPECT_EQ(pack.Capability.WirelessModeBits, 0x03);
    EXPECT_EQ(pack.Capability.EncryptionBits, 0x1F);
    EXPECT_EQ(pack.Capability.AuthenticationBits, 0x3F);
    EXPECT_EQ(pack.Capability.ExtraBytes[2], 0xA9);
    EXPECT_EQ(pack.Capability.ExtraWord, 0xDEADBEEFu);

    _LANDAPWirelessCapability cap;
    Bytes c(b.begin() + 238, b.end());
    EXPECT_EQ(RoundTrip(c, cap), c);
    EXPECT_EQ(cap.ExtraWord, 0xDEADBEEFu);
}

// ---- advanced network ----------------------------------------------------------

Bytes AdvNetworkBytes(const std::string& list, uint8_t listLen)
{
    Bytes b(525, 0);
    b[0] = 1;
    PutText(b, 1, "pppoe-user");
    PutText(b, 65, std::string(64, 'p')); // runs into the feature byte
    b[129] = 0x07;
    b[130] = 0x0B;
    b[131] = 2;
    PutText(b, 132, "ddns-user");
    PutText(b, 196, "ddns-secret");
    PutText(b, 260, std::string(64, 'd')); // runs into the list length
    b[324] = listLen;
    PutText(b, 325, list);
    return b;
}

TEST(LANDAPAdvNetwork, SettingsAndProviderList)
{
    Bytes b = AdvNetworkBytes("DynA;DynB;", 10);
    _LANDAP_Get_AdvNetwork_Pack pack;
    EXPECT_EQ(RoundTrip(b, pack), b);
    const _LANDAPAdvNetworkSettings& a = pack.Settings;
    EXPECT_EQ(a.PPPoECredentials, 1);
    EXPECT_STREQ(a.PPPoEUID, "pppoe-user");
    EXPECT_EQ(std::string(a.PPPoEPWD), std::string(64, 'p'));
    EXPECT_EQ(a.Features, _LANDAPAdvNetworkSettings::FeatureUPnP |
                              _LANDAPAdvNetworkSettings::FeatureDDNS |
                              _LANDAPAdvNetworkSettings::FeaturePPPoE);
    EXPECT_EQ(a.Status, 0x0B);
    EXPECT_EQ(a.DDNSIndex, 2);
    EXPECT_STREQ(a.DDNSPWD, "ddns-secret");
    EXPECT_EQ(std::string(a.DDNSServer), std::string(64, 'd'));
    EXPECT_EQ(pack.ProviderListLen, 10);
    EXPECT_STREQ(pack.ProviderList, "DynA;DynB;");

    _LANDAPAdvNetworkSettings s;
    Bytes settings(b.begin(), b.begin() + 324);
    EXPECT_EQ(RoundTrip(settings, s), settings);
}

TEST(LANDAPAdvNetwork, ProviderListLengthIsBounded)
{
    _LANDAP_Get_AdvNetwork_Pack pack;
    // An empty list is valid.
    ASSERT_TRUE(pack.Decode(AdvNetworkBytes("", 0).data(), 525));
    EXPECT_EQ(pack.ProviderListLen, 0);
    EXPECT_STREQ(pack.ProviderList, "");

    // Only the first L bytes count.
    ASSERT_TRUE(pack.Decode(AdvNetworkBytes("DynA;DynB;", 4).data(), 525));
    EXPECT_STREQ(pack.ProviderList, "DynA");

    // A length beyond the field is taken as the 200 bytes of the field.
    Bytes full = AdvNetworkBytes(std::string(200, 'x'), 255);
    ASSERT_TRUE(pack.Decode(full.data(), full.size()));
    EXPECT_EQ(pack.ProviderListLen, 255);
    EXPECT_EQ(std::string(pack.ProviderList), std::string(200, 'x'));
    EXPECT_FALSE(pack.Decode(full.data(), 524));
}

// ---- date and time, simple wireless, status -------------------------------------

TEST(LANDAPDatetime, FieldsAndUnusedTailSentAsZero)
{
    Bytes b(100, 0);
    PutText(b, 0, "20240131235959");
    PutLE(b, 16, 0xBEEF, 2);
    b[18] = 0x12;
    b[19] = 0xFE;
    PutText(b, 20, std::string(64, 'z')); // runs into the unused tail
    _LANDAPDatetime d;
    EXPECT_EQ(RoundTrip(b, d), b);
    EXPECT_STREQ(d.LocalTime, "20240131235959");
    EXPECT_EQ(d.Value16, 0xBEEF);
    EXPECT_EQ(d.Value18, 0x12);
    EXPECT_EQ(d.Value19, 0xFE);
    EXPECT_EQ(std::string(d.Text20), std::string(64, 'z'));

    // Whatever the camera had in bytes 84-99, they go back as zero.
    for (size_t i = 84; i < 100; ++i)
        b[i] = 0xAA;
    ASSERT_TRUE(d.Decode(b.data(), b.size()));
    Bytes out(100, 0xEE);
    d.Encode(out.data(), out.size());
    for (size_t i = 84; i < 100; ++i)
        EXPECT_EQ(out[i], 0) << i;
}

TEST(LANDAPSimpleWireless, SignedByteAndFullKey)
{
    Bytes b(108, 0);
    b[0] = 1;
    PutText(b, 1, std::string(36, 's')); // runs into the signed byte
    b[37] = 0xC4;                        // -60
    b[38] = 3;
    b[39] = 4;
    b[40] = 5;
    PutText(b, 41, std::string(67, 'k')); // ends the record
    _LANDAPSimpleWireless w;
    EXPECT_EQ(RoundTrip(b, w), b);
    EXPECT_EQ(w.Value0, 1);
    EXPECT_EQ(std::string(w.SSID), std::string(36, 's'));
    EXPECT_EQ(w.Value37, -60);
    EXPECT_EQ(int(w.Value37), -60) << "sign kept when widened";
    EXPECT_EQ(w.Value38, 3);
    EXPECT_EQ(w.Value40, 5);
    EXPECT_EQ(std::string(w.Key), std::string(67, 'k'));
}

TEST(LANDAPStatus, AssociatedAndNetworkStatus)
{
    Bytes a(44, 0);
    PutLE(a, 0, 1, 4);
    PutLE(a, 4, 0x80000001u, 4);
    PutText(a, 8, std::string(36, 'A'));
    _tLANDAP_Wireless_AssociatedStatus as;
    EXPECT_EQ(RoundTrip(a, as), a);
    EXPECT_EQ(as.Value0, 1u);
    EXPECT_EQ(as.Value4, 0x80000001u);
    EXPECT_EQ(std::string(as.Text8), std::string(36, 'A'));

    Bytes n(20, 0);
    PutLE(n, 0, 7, 4);
    PutAddr(n, 4, "192.0.2.2");
    PutLE(n, 8, 0x01020304, 4);
    PutAddr(n, 12, "198.51.100.7");
    PutLE(n, 16, 0xFFFFFFFFu, 4);
    _LANDAPNetworkStatus ns;
    EXPECT_EQ(RoundTrip(n, ns), n);
    EXPECT_EQ(ns.Value0, 7u);
    EXPECT_EQ(Dotted(ns.Addr4), "192.0.2.2");
    EXPECT_EQ(ns.Value8, 0x01020304u);
    EXPECT_EQ(Dotted(ns.Addr12), "198.51.100.7");
    EXPECT_EQ(ns.Value16, 0xFFFFFFFFu);
}

// ---- time text -------------------------------------------------------------

class LANDAPTimeText : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = getenv("TZ");
        m_hadTZ = old != nullptr;
        if (old)
            m_oldTZ = old;
        setenv("TZ", kTZ, 1);
        tzset();
    }
    void TearDown() override
    {
        if (m_hadTZ)
            setenv("TZ", m_oldTZ.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    // What date(1) prints for t under the same zone.
    static std::string DateText(time_t t)
    {
        std::string cmd = std::string("TZ='") + kTZ + "' date -d @" +
                          std::to_string(static_cast<long long>(t)) + " +%Y%m%d%H%M%S";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p)
            return "popen failed";
        char buf[64] = {};
        if (!fgets(buf, sizeof buf, p))
            buf[0] = 0;
        int rc = pclose(p);
        if (rc != 0)
            return "date failed";
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        return s;
    }

    static constexpr const char* kTZ = "CET-1CEST,M3.5.0,M10.5.0/3";
    bool m_hadTZ = false;
    std::string m_oldTZ;
};

TEST_F(LANDAPTimeText, WinterTimeBothWaysAgreesWithDate)
{
    time_t t = 0;
    ASSERT_EQ(LANDAPTimeToSystemTime("20240131235959", &t), 14);
    EXPECT_EQ(t, time_t(1706741999)); // 22:59:59 UTC
    EXPECT_EQ(DateText(t), "20240131235959");

    char buf[16];
    ASSERT_EQ(SystemTimeToLANDAPTime(&t, buf, sizeof buf), 14);
    EXPECT_STREQ(buf, "20240131235959");

    const time_t samples[] = {0, 951782400, 1709164800, 1719835199, 2147483647};
    for (time_t s : samples) {
        ASSERT_EQ(SystemTimeToLANDAPTime(&s, buf, sizeof buf), 14);
        EXPECT_EQ(buf, DateText(s)) << "t=" << (long long)s;
    }
}

TEST_F(LANDAPTimeText, SummerTextIsTakenAsStandardTime)
{
    // Daylight saving is never applied to the text, so summer times come back an hour later.
    time_t t = 0;
    ASSERT_EQ(LANDAPTimeToSystemTime("20240715120000", &t), 14);
    EXPECT_EQ(t, time_t(1721041200)); // 11:00 UTC
    char buf[16];
    ASSERT_EQ(SystemTimeToLANDAPTime(&t, buf, sizeof buf), 14);
    EXPECT_STREQ(buf, "20240715130000");
}

TEST_F(LANDAPTimeText, ShortOrBadInputIsRefused)
{
    time_t t = 12345;
    EXPECT_EQ(LANDAPTimeToSystemTime("2024013123595", &t), 0);
    EXPECT_EQ(t, time_t(12345));
    EXPECT_EQ(LANDAPTimeToSystemTime(nullptr, &t), 0);
    EXPECT_EQ(LANDAPTimeToSystemTime("20240131235959", nullptr), 0);

    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(SystemTimeToLANDAPTime(&t, buf, 15), 0);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(SystemTimeToLANDAPTime(&t, nullptr, 16), 0);
    EXPECT_EQ(SystemTimeToLANDAPTime(nullptr, buf, 16), 0);

    // Five-digit years would not fit the field.
    time_t far = time_t(253402300800LL); // 10000-01-01 UTC
    EXPECT_EQ(SystemTimeToLANDAPTime(&far, buf, sizeof buf), 0);
}

TEST_F(LANDAPTimeText, UnterminatedFieldAndNonDigits)
{
    // Exactly the 16 bytes of a camera field on the heap, no NUL: never read past it.
    std::vector<char> field(16, '9');
    std::memcpy(field.data(), "2024013123595999", 16);
    time_t t = 0;
    ASSERT_EQ(LANDAPTimeToSystemTime(field.data(), &t), 14);
    EXPECT_EQ(DateText(t), "20240131235959");

    // Each part stops at its first non-digit: " 1" reads as month 0, which is December before.
    ASSERT_EQ(LANDAPTimeToSystemTime("2024 115120000", &t), 14);
    EXPECT_EQ(DateText(t), "20231215120000");
}

} // namespace
