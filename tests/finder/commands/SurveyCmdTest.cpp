// Site survey (0xB1, 0xAE), supported commands (0xA5) and the DDNS provider
// list (0xA6) against emulated cameras.
#include "CmdTestUtil.h"

using namespace cmdtest;

namespace {

std::string Ssid(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "AP-%02d", n);
    return text;
}

} // namespace

TEST(FinderCmdSurvey, FortyFiveStationsInThreePages)
{
    auto c0 = StartCamera(0, "\"stations\": 45, \"survey_requires_init\": true, "
                             "\"command_faults\": {\"0xB1\": {\"wait_ms\": 500}}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);
    testsupport::CaptureDiagOut();

    // No scan yet: one page with no station.
    std::vector<_LANDAPWirelessStation> st(64);
    int count = 64;
    ASSERT_EQ(kFinderOk, mgr.GetWirelessSiteSurInfo(i, st.data(), count));
    EXPECT_EQ(0, count);

    ASSERT_EQ(kFinderOk, mgr.InitWirelessSiteSurvey(i));
    _CmdResult r;
    ASSERT_EQ(kFinderOk, mgr.GetLastCmdResult(i, &r));
    EXPECT_EQ(500u, r.waitMs);

    count = 10;
    EXPECT_EQ(kFinderTooSmall, mgr.GetWirelessSiteSurInfo(i, st.data(), count));
    EXPECT_EQ(45, count);
    count = -3;
    EXPECT_EQ(kFinderTooSmall, mgr.GetWirelessSiteSurInfo(i, st.data(), count))
        << "a negative capacity holds nothing";
    EXPECT_EQ(45, count);

    count = 64;
    auto t0 = Clock::now();
    ASSERT_EQ(kFinderOk, mgr.GetWirelessSiteSurInfo(i, st.data(), count));
    double took = SecondsSince(t0);
    testsupport::TakeDiagOut();
    ASSERT_EQ(45, count);
    for (int k = 0; k < 45; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(Ssid(k + 1), st[size_t(k)].SSID);
        EXPECT_EQ(100 - k, st[size_t(k)].Signal);
        EXPECT_EQ(unsigned(k % 3), st[size_t(k)].WirelessMode());
        EXPECT_EQ(unsigned(k % 5), st[size_t(k)].Encryption());
        EXPECT_EQ(unsigned(k % 6), st[size_t(k)].Authentication());
        EXPECT_EQ(unsigned(1 + k % 13), st[size_t(k)].Channel());
    }
    // Only the short last page waits out the quiet time.
    EXPECT_LT(took, 6.0);

    auto reqs = RequestsTo(*c0, 0, 0xAE);
    ASSERT_EQ(4u, reqs.size()) << "one request per read, the later pages follow on their own";
    for (const auto& q : reqs) {
        EXPECT_EQ(128, BodyLen(q));
        EXPECT_EQ(Hex(AdminSecret()), Hex(Body(q)));
    }
    ASSERT_EQ(1u, RequestsTo(*c0, 0, 0xB1).size());
    EXPECT_EQ(Hex(AdminSecret()), Hex(Body(RequestsTo(*c0, 0, 0xB1)[0])));
}

TEST(FinderCmdSurvey, BadPagesFailTheWholeRead)
{
    // 0: page 1 answers another request; 1: page 1 announces more body than
    // arrived, and comes alone (the rest of the buffer still holds page 0,
    // whose bytes would read as a last-page marker);
    // 2: page 0 announces more than a page holds; 3: pages without
    // end; 4: page 2 never comes; 5: the first page only after the third send.
    auto emu = StartExtraCameras({
        "\"stations\": 45, \"command_faults\": {\"0xAE\": {\"page_faults\": {\"1\": "
        "{\"wrong_seq\": true}}}}",
        "\"stations\": 45, \"command_faults\": {\"0xAE\": {\"page_faults\": "
        "{\"1\": {\"body_len\": 700, \"truncate\": 300}, \"2\": {\"silent\": true}}}}",
        "\"stations\": 45, \"command_faults\": {\"0xAE\": {\"page_faults\": {\"0\": {\"body_len\": "
        "900}}}}",
        "\"stations\": 45, \"command_faults\": {\"0xAE\": {\"endless_pages\": 200}}",
        "\"stations\": 45, \"command_faults\": {\"0xAE\": {\"page_faults\": {\"2\": {\"silent\": "
        "true}}}}",
        "\"stations\": 5, \"command_faults\": {\"0xAE\": {\"drop_first\": 2}}",
    });
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(6), &idx));
    ASSERT_EQ(6, mgr.GetCameraNum());
    std::vector<_LANDAPWirelessStation> st(2000);

    testsupport::CaptureDiagOut();
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        int count = 2000;
        auto t0 = Clock::now();
        EXPECT_EQ(kFinderFail, mgr.GetWirelessSiteSurInfo(idx[size_t(k)], st.data(), count));
        EXPECT_EQ(2000, count) << "the capacity is left alone";
        EXPECT_LT(SecondsSince(t0), 10.0);
        EXPECT_EQ(1u, RequestsTo(*emu, ExtraMac(k), 0xAE).size());
    }
    int count = 2000;
    auto t0 = Clock::now();
    EXPECT_EQ(kFinderOk, mgr.GetWirelessSiteSurInfo(idx[5], st.data(), count));
    double took = SecondsSince(t0);
    testsupport::TakeDiagOut();
    EXPECT_EQ(5, count);
    EXPECT_EQ(Ssid(5), st[4].SSID);
    EXPECT_EQ(3u, RequestsTo(*emu, ExtraMac(5), 0xAE).size());
    EXPECT_GT(took, 4.0);
    EXPECT_EQ(kFinderFail, mgr.GetWirelessSiteSurInfo(idx[5], nullptr, count));
}

TEST(FinderCmdSupported, ListLongerThanTheArrayAndBoundedWalks)
{
    // 0: a mixed list; 1: 130 codes, more than a reply can hold; 2: a body
    // length far beyond the datagram; 3: none of the cached codes; 4: status
    // 4; 5: status 2.
    std::string many;
    for (int k = 0; k < 130; ++k)
        many += std::string(k ? ", " : "") + "\"0xB0\"";
    auto emu = StartExtraCameras({
        "\"supported_commands\": [\"0xA1\", \"0xA6\", \"0xB1\", \"0xC0\", \"0xC9\", \"0xD1\", "
        "\"0x105\"]",
        "\"supported_commands\": [" + many + "]",
        "\"supported_commands\": [\"0xA6\", \"0xA7\"], \"command_faults\": {\"0xA5\": "
        "{\"body_len\": 65534}}",
        "\"supported_commands\": [\"0xA1\", \"0xD1\", \"0xCA\", \"0xA5\"]",
        "\"command_faults\": {\"0xA5\": {\"status\": 4}}",
        "\"command_faults\": {\"0xA5\": {\"status\": 2}}",
    });
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(6), &idx));
    ASSERT_EQ(6, mgr.GetCameraNum());
    testsupport::CaptureDiagOut();

    uint16_t codes[200] = {};
    int count = 2;
    EXPECT_EQ(kFinderTooSmall, mgr.GetSupportedCommand(idx[0], codes, count));
    EXPECT_EQ(4, count);
    count = 4;
    ASSERT_EQ(kFinderOk, mgr.GetSupportedCommand(idx[0], codes, count));
    ASSERT_EQ(4, count);
    EXPECT_EQ(0xA6, codes[0]);
    EXPECT_EQ(0xB1, codes[1]);
    EXPECT_EQ(0xC0, codes[2]);
    EXPECT_EQ(0xC9, codes[3]);
    auto reqs = RequestsTo(*emu, ExtraMac(0), 0xA5);
    ASSERT_EQ(1u, reqs.size()) << "the second call is served from the cache";
    EXPECT_EQ(Hex(AdminSecret()), Hex(Body(reqs[0])));

    count = 200;
    ASSERT_EQ(kFinderOk, mgr.GetSupportedCommand(idx[1], codes, count));
    EXPECT_EQ(120, count) << "a 262-byte reply holds 120 codes";

    count = 200;
    ASSERT_EQ(kFinderOk, mgr.GetSupportedCommand(idx[2], codes, count));
    EXPECT_EQ(2, count) << "only the codes that arrived";

    count = 200;
    EXPECT_EQ(kFinderOk, mgr.GetSupportedCommand(idx[3], codes, count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(kFinderOk, mgr.GetSupportedCommand(idx[3], codes, count));
    EXPECT_EQ(2u, RequestsTo(*emu, ExtraMac(3), 0xA5).size()) << "an empty cache asks again";

    EXPECT_EQ(kFinderFail, mgr.GetSupportedCommand(idx[4], codes, count));
    EXPECT_EQ(kFinderCamAuthFailed,
              mgr.GetLANDAPObj(idx[4])->GetSupportedCommand(codes, &count, 7));
    EXPECT_EQ(kFinderCamRefused, mgr.GetLANDAPObj(idx[5])->GetSupportedCommand(codes, &count, 8));
    EXPECT_EQ(kFinderFail, mgr.GetSupportedCommand(idx[0], nullptr, count));
    testsupport::TakeDiagOut();
}

namespace {

uint64_t g_fakeNow = 1000;

uint64_t FakeNow()
{
    return g_fakeNow;
}

// Puts the DDNS clock back whatever the test's outcome.
struct FakeDDNSClock {
    FakeDDNSClock() { CLANDAPObj::SetDDNSClock(FakeNow); }
    ~FakeDDNSClock() { CLANDAPObj::SetDDNSClock(nullptr); }
};

} // namespace

TEST(FinderCmdDDNS, ProvidersSplitAtSemicolonsAndAged)
{
    // 0: two names and two empty parts; 1: a length byte beyond the field
    // and a name longer than a slot; 2: a length byte of 0.
    auto emu = StartExtraCameras({
        "\"ddns_list\": \"A;;B;\"",
        "\"ddns_list\": \"" + std::string(150, 'x') + ";" + std::string(49, 'y') +
            "\", \"ddns_list_len\": 255",
        "\"ddns_list\": \"Q\", \"ddns_list_len\": 0",
    });
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(3), &idx));
    ASSERT_EQ(3, mgr.GetCameraNum());
    FakeDDNSClock fake;
    testsupport::CaptureDiagOut();

    g_fakeNow = 1000;
    int count = 0;
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[0], &count));
    EXPECT_EQ(4, count);
    char name[128];
    EXPECT_EQ(kFinderOk, mgr.GetDDNSProvider(idx[0], 0, name));
    EXPECT_STREQ("A", name);
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvider(idx[0], 1, name)) << "an empty name";
    EXPECT_EQ(kFinderOk, mgr.GetDDNSProvider(idx[0], 2, name));
    EXPECT_STREQ("B", name);
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvider(idx[0], 3, name));
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvider(idx[0], 4, name));
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvider(idx[0], -1, name));
    EXPECT_EQ(kFinderFail, mgr.GetLANDAPObj(idx[0])->GetDDNSProvider(1, name));
    EXPECT_EQ(1u, RequestsTo(*emu, ExtraMac(0), 0xA6).size());

    g_fakeNow = 1030;
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[0], &count));
    g_fakeNow = 1060;
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[0], &count));
    EXPECT_EQ(1u, RequestsTo(*emu, ExtraMac(0), 0xA6).size()) << "60 s old is still fresh";
    g_fakeNow = 1061;
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[0], &count));
    EXPECT_EQ(2u, RequestsTo(*emu, ExtraMac(0), 0xA6).size());
    EXPECT_EQ(4, count);
    g_fakeNow = 900;
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[0], &count));
    EXPECT_EQ(3u, RequestsTo(*emu, ExtraMac(0), 0xA6).size()) << "a clock set back reads again";
    for (const auto& q : RequestsTo(*emu, ExtraMac(0), 0xA6))
        EXPECT_EQ(Hex(AdminSecret()), Hex(Body(q)));

    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[1], &count));
    ASSERT_EQ(2, count);
    EXPECT_EQ(kFinderOk, mgr.GetDDNSProvider(idx[1], 0, name));
    EXPECT_EQ(std::string(127, 'x'), name) << "a slot holds 127 characters";
    EXPECT_EQ(kFinderOk, mgr.GetDDNSProvider(idx[1], 1, name));
    EXPECT_EQ(std::string(49, 'y'), name) << "the list ends with its 200-byte field";

    // No list in the reply: nothing held, and the next call reads again.
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[2], &count));
    EXPECT_EQ(0, count);
    ASSERT_EQ(kFinderOk, mgr.GetDDNSProvidersCount(idx[2], &count));
    EXPECT_EQ(2u, RequestsTo(*emu, ExtraMac(2), 0xA6).size());
    _LANDAPAdvNetworkSettings a;
    EXPECT_EQ(kFinderOk, mgr.GetCameraAdvNetwork(idx[2], &a));
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvidersCount(idx[2], nullptr));
    EXPECT_EQ(kFinderFail, mgr.GetDDNSProvider(idx[2], 0, nullptr));
    testsupport::TakeDiagOut();
}
