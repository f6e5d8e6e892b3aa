// The finder handle's interface services and the cap on a camera's wait,
// inside a netlab test LAN (host eth0 192.0.2.1/24, eth1 192.0.2.200/32).
#include "CLANCamFinder.h"

#include "ApiNetUtil.h"

#include <gtest/gtest.h>

using apitest::Clock;
using apitest::SecondsSince;

namespace {

uint32_t Addr(const char* text)
{
    in_addr a{};
    EXPECT_EQ(1, inet_pton(AF_INET, text, &a)) << text;
    return a.s_addr;
}

}  // namespace

TEST(FinderIntf, FreeAddressOnSlash24AndSlash32)
{
    CLANCamFinder f;
    testing::internal::CaptureStdout();
    f.Mgr().GetAdapters().Refresh();
    testing::internal::GetCapturedStdout();

    char text[32];
    short len = sizeof text;
    EXPECT_EQ(0, f.FreeIPResult(Addr("192.0.2.1"), text, &len));
    EXPECT_STREQ("192.0.2.2", text);
    EXPECT_EQ(10, len);
    len = sizeof text;
    EXPECT_EQ(0, f.FreeIPResult(0, text, &len)) << "0 picks eth0, the first with a broadcast address";
    EXPECT_STREQ("192.0.2.2", text);

    len = sizeof text;
    EXPECT_EQ(-7, f.FreeIPResult(Addr("192.0.2.200"), text, &len)) << "a /32 leaves no address";
    EXPECT_EQ(0, len);
    len = sizeof text;
    EXPECT_EQ(-1, f.FreeIPResult(Addr("203.0.113.9"), text, &len)) << "no such interface";
    EXPECT_EQ(short(sizeof text), len);
}

TEST(FinderIntf, InterfaceMACs)
{
    CLANCamFinder f;
    testing::internal::CaptureStdout();
    f.Mgr().GetAdapters().Refresh();
    testing::internal::GetCapturedStdout();
    std::vector<uint8_t> want = apitest::ParseMac(testsupport::NetlabEnv("NETLAB_HOST_MAC"));
    std::vector<uint8_t> want1 = apitest::ParseMac(testsupport::NetlabEnv("NETLAB_HOST_MAC1"));
    MAC_ADDR mac{};
    uint32_t eth0 = Addr("192.0.2.1"), eth1 = Addr("192.0.2.200"), none = Addr("203.0.113.9");
    ASSERT_EQ(1, f.GetIntfMAC(&eth0, &mac));
    EXPECT_EQ(0, std::memcmp(want.data(), mac.addr, 6));
    ASSERT_EQ(1, f.GetIntfMAC(&eth1, &mac));
    EXPECT_EQ(0, std::memcmp(want1.data(), mac.addr, 6));
    EXPECT_EQ(0, f.GetIntfMAC(&none, &mac));
    EXPECT_EQ(0, f.GetIntfMAC(&eth0, nullptr));
}

TEST(FinderIntf, AnnouncedWaitIsComputedWideAndCapped)
{
    // 0xFFFFFFFF ms: 49.7 days uncapped, and a wrapped product in 32 bits.
    auto cam = apitest::StartCamera(0, "\"command_faults\": {\"0xC0\": {\"wait_ms\": 4294967295}}");
    CLANCamFinder f;
    testing::internal::CaptureStdout();
    ASSERT_EQ(1, f.Mgr().Refresh(1000, nullptr, nullptr));
    ASSERT_EQ(0, f.SetAuthentication(0, "admin", "secret"));
    int rc = f.Mgr().CommitSettings(0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(0, rc);
    f.SetMaxWaitMs(800);
    _RiloFinderResult res{};
    auto t0 = Clock::now();
    f.ProcessResult(0, rc, &res, 0);
    double waited = SecondsSince(t0);
    EXPECT_EQ(0xFFFFFFFFu, res.WaitMs);
    EXPECT_GE(waited, 0.79);
    EXPECT_LT(waited, 5.0) << "capped, not the announced wait";
}
