// The finder handle's interface services and the cap on a camera's wait,
// inside a netlab test LAN (host eth0 192.0.2.1/24, eth1 192.0.2.200/32).
#include "api/CLANCamFinder.h"
#include "DiagCapture.h"

#include "ApiNetUtil.h"

#include <gtest/gtest.h>

using testsupport::Clock;
using testsupport::ParseAddr;
using testsupport::SecondsSince;

TEST(FinderIntf, FreeAddressOnSlash24AndSlash32)
{
    CLANCamFinder f;
    testsupport::CaptureDiagOut();
    f.Mgr().GetAdapters().Refresh();
    testsupport::TakeDiagOut();

    char text[32];
    short len = sizeof text;
    uint32_t eth0 = ParseAddr("192.0.2.1");
    EXPECT_EQ(kFinderOk, f.GetFreeIP(&eth0, text, &len));
    EXPECT_STREQ("192.0.2.2", text);
    EXPECT_EQ(10, len);
    len = 9;
    EXPECT_EQ(kFinderTooSmall, f.GetFreeIP(&eth0, text, &len));
    EXPECT_EQ(10, len);
    len = sizeof text;
    uint32_t any = 0;
    EXPECT_EQ(kFinderOk, f.GetFreeIP(&any, text, &len))
        << "0 picks eth0, the first with a broadcast address";
    EXPECT_STREQ("192.0.2.2", text);

    len = sizeof text;
    uint32_t eth1 = ParseAddr("192.0.2.200");
    EXPECT_EQ(kFinderNotAvailable, f.GetFreeIP(&eth1, text, &len)) << "a /32 leaves no address";
    EXPECT_EQ(0, len);
    len = sizeof text;
    uint32_t none = ParseAddr("203.0.113.9");
    EXPECT_EQ(kFinderFail, f.GetFreeIP(&none, text, &len)) << "no such interface";
    EXPECT_EQ(short(sizeof text), len);
}

TEST(FinderIntf, InterfaceMACs)
{
    CLANCamFinder f;
    testsupport::CaptureDiagOut();
    f.Mgr().GetAdapters().Refresh();
    testsupport::TakeDiagOut();
    testsupport::Mac want = testsupport::ParseMac(testsupport::NetlabEnv("NETLAB_HOST_MAC"));
    testsupport::Mac want1 = testsupport::ParseMac(testsupport::NetlabEnv("NETLAB_HOST_MAC1"));
    MAC_ADDR mac{};
    uint32_t eth0 = ParseAddr("192.0.2.1"), eth1 = ParseAddr("192.0.2.200"),
             none = ParseAddr("203.0.113.9");
    ASSERT_EQ(kFinderOk, f.GetIntfMAC(&eth0, &mac));
    EXPECT_EQ(0, std::memcmp(want.data(), mac.addr, 6));
    ASSERT_EQ(kFinderOk, f.GetIntfMAC(&eth1, &mac));
    EXPECT_EQ(0, std::memcmp(want1.data(), mac.addr, 6));
    EXPECT_EQ(kFinderFail, f.GetIntfMAC(&none, &mac));
    EXPECT_EQ(kFinderFail, f.GetIntfMAC(&eth0, nullptr));
}

TEST(FinderIntf, AnnouncedWaitIsComputedWideAndCapped)
{
    // 0xFFFFFFFF ms: 49.7 days uncapped, and a wrapped product in 32 bits.
    auto cam = apitest::StartCamera(0, "\"command_faults\": {\"0xC0\": {\"wait_ms\": 4294967295}}");
    CLANCamFinder f;
    testsupport::CaptureDiagOut();
    ASSERT_EQ(kFinderOk, f.Mgr().Refresh(1000, nullptr, nullptr));
    ASSERT_EQ(kFinderOk, f.SetAuthentication(0, "admin", "secret"));
    FinderResult rc = f.Mgr().CommitSettings(0);
    testsupport::TakeDiagOut();
    ASSERT_EQ(kFinderOk, rc);
    f.SetMaxWaitMs(800);
    _RiloFinderResult res{};
    auto t0 = Clock::now();
    f.ProcessResult(0, rc, &res, 0);
    double waited = SecondsSince(t0);
    EXPECT_EQ(0xFFFFFFFFu, res.WaitMs);
    EXPECT_GE(waited, 0.79);
    EXPECT_LT(waited, 5.0) << "capped, not the announced wait";
}
