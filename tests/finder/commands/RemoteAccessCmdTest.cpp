// Remote-access commands on port 62977 (0xD1, 0xD2, 0x102, 0x105), and the
// give-up paths of silent cameras.
#include "CmdTestUtil.h"

#include <thread>

using namespace cmdtest;

TEST(FinderCmdTessel12, StateSequence)
{
    auto c0 = StartCamera(
        0, "\"tessel12\": {\"enabled\": false, \"states\": [[1, 0, 0], [2, 5, 6], [3, 0, 0]], "
           "\"url\": \"https://remote.example.invalid/porch\"}");
    CLANDAPMgr mgr;
    int i = Find(mgr, 0, nullptr);
    ASSERT_GE(i, 0);

    // The two reads carry no credentials and say nothing about them.
    testsupport::CaptureDiagOut();
    _TESSEL12Enable en;
    en.Enabled = 7;
    ASSERT_EQ(kFinderOk, mgr.GetTessel12Enabled(i, &en));
    EXPECT_EQ(0, en.Enabled);
    _TESSEL12ProcStatus ps;
    ASSERT_EQ(kFinderOk, mgr.Tessel12QueryProcState(i, &ps));
    EXPECT_EQ(1u, ps.State);
    std::string out = testsupport::TakeDiagOut();
    EXPECT_FALSE(Contains(out, "Authentication information does not exist!")) << out;

    mgr.SetAuthentication(i, "admin", "secret");
    testsupport::CaptureDiagOut();
    _TESSEL12Enable on;
    on.Enabled = 1;
    ASSERT_EQ(kFinderOk, mgr.EnableTessel12(i, &on));
    ASSERT_EQ(kFinderOk, mgr.GetTessel12Enabled(i, &en));
    EXPECT_EQ(1, en.Enabled);
    const uint32_t want[4][3] = {{1, 0, 0}, {2, 5, 6}, {3, 0, 0}, {3, 0, 0}};
    for (const auto& w : want) {
        ASSERT_EQ(kFinderOk, mgr.Tessel12QueryProcState(i, &ps));
        EXPECT_EQ(w[0], ps.State);
        EXPECT_EQ(w[1], ps.Value4);
        EXPECT_EQ(w[2], ps.Value8);
    }
    _TESSEL12URL url;
    ASSERT_EQ(kFinderOk, mgr.QueryTessel12URL(i, &url));
    EXPECT_STREQ("https://remote.example.invalid/porch", url.URL);
    // Switching again starts the sequence over.
    ASSERT_EQ(kFinderOk, mgr.EnableTessel12(i, &on));
    ASSERT_EQ(kFinderOk, mgr.Tessel12QueryProcState(i, &ps));
    EXPECT_EQ(1u, ps.State);
    testsupport::TakeDiagOut();

    for (uint16_t cmd : {0xD1, 0x102}) {
        auto reqs = RequestsTo(*c0, 0, cmd);
        ASSERT_FALSE(reqs.empty());
        for (const auto& r : reqs) {
            EXPECT_EQ(62977, r.port);
            EXPECT_EQ(22u, r.bytes.size());
            EXPECT_EQ(0x7777, r.Status());
        }
    }
    auto en2 = RequestsTo(*c0, 0, 0xD2);
    ASSERT_EQ(2u, en2.size());
    Bytes rec(16, 0);
    rec[0] = 1;
    EXPECT_EQ(62977, en2[0].port);
    EXPECT_EQ(144, BodyLen(en2[0]));
    EXPECT_EQ(Hex(AuthPlus(rec)), Hex(Body(en2[0])));
    auto u = RequestsTo(*c0, 0, 0x105);
    ASSERT_EQ(1u, u.size());
    EXPECT_EQ(62977, u[0].port);
    EXPECT_EQ(Hex(AdminSecret()), Hex(Body(u[0])));
    EXPECT_TRUE(RequestsTo(*c0, 0, 0xA6).empty());
}

TEST(FinderCmdTessel12, RefusedRepliesAndFullWidthURL)
{
    // 0: status 4 and a wrong sequence number on the reads; 1: the switch
    // refused; 2: a URL filling its field; 3: a URL from another camera.
    auto emu = StartExtraCameras({
        "\"tessel12\": {\"enabled\": true, \"states\": [[9, 8, 7]]}, \"command_faults\": "
        "{\"0xD1\": {\"status\": 4}, "
        "\"0x102\": {\"wrong_seq\": true}}",
        "\"command_faults\": {\"0xD2\": {\"status\": 2}}",
        "\"tessel12\": {\"url\": \"https://x.invalid/\"}, \"command_faults\": {\"0x105\": "
        "{\"full_width\": true}}",
        "\"tessel12\": {\"url\": \"https://x.invalid/\"}, \"command_faults\": {\"0x105\": "
        "{\"wrong_mac\": true}}",
    });
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(4), &idx));
    testsupport::CaptureDiagOut();
    _TESSEL12Enable en;
    EXPECT_EQ(kFinderCamFailed, mgr.GetTessel12Enabled(idx[0], &en));
    EXPECT_EQ(1, en.Enabled) << "the record is filled all the same";
    _TESSEL12ProcStatus ps;
    EXPECT_EQ(kFinderCamFailed, mgr.Tessel12QueryProcState(idx[0], &ps));
    EXPECT_EQ(9u, ps.State);
    EXPECT_EQ(7u, ps.Value8);

    _TESSEL12Enable on;
    on.Enabled = 1;
    EXPECT_EQ(kFinderCamRefused, mgr.EnableTessel12(idx[1], &on));
    _TESSEL12URL url;
    ASSERT_EQ(kFinderOk, mgr.QueryTessel12URL(idx[2], &url));
    EXPECT_EQ("https://x.invalid/" + std::string(64 - 18, '#'), url.URL);
    std::snprintf(url.URL, sizeof url.URL, "kept");
    EXPECT_EQ(kFinderFail, mgr.QueryTessel12URL(idx[3], &url));
    EXPECT_STREQ("kept", url.URL);
    EXPECT_EQ(kFinderFail, mgr.QueryTessel12URL(idx[3], nullptr));
    testsupport::TakeDiagOut();
}

// One slow test for every give-up path that differs from the set-type
// ladder: the survey and the command list stop after 6 silent sends, the
// remote-access read after 8 with its own code. They run side by side.
TEST(FinderCmdSilence, SilentCamerasGiveUp)
{
    auto c0 = StartCamera(0, "\"stations\": 3, \"command_faults\": {\"0xAE\": {\"silent\": true}}");
    auto c1 = StartCamera(1, "\"command_faults\": {\"0xA5\": {\"silent\": true}}");
    auto c2 = StartCamera(2, "\"command_faults\": {\"0xD1\": {\"silent\": true}}");
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(testsupport::NetlabMacs({0, 1, 2}), &idx));
    CLANDAPObj* cam[3] = {};
    for (int k = 0; k < 3; ++k)
        cam[k] = mgr.GetLANDAPObj(idx[size_t(k)]);
    testsupport::CaptureDiagOut();

    FinderResult rc[3] = {kFinderOk, kFinderOk, kFinderOk};
    double took[3] = {0, 0, 0};
    std::vector<_LANDAPWirelessStation> st(10);
    int count = 10;
    uint16_t codes[16];
    int ncodes = 16;
    _TESSEL12Enable en;
    en.Enabled = 5;
    std::thread t0([&] {
        auto s = Clock::now();
        rc[0] = cam[0]->GetWirelessSiteSurInfo(st.data(), count, 100);
        took[0] = SecondsSince(s);
    });
    std::thread t1([&] {
        auto s = Clock::now();
        rc[1] = cam[1]->GetSupportedCommand(codes, &ncodes, 200);
        took[1] = SecondsSince(s);
    });
    std::thread t2([&] {
        auto s = Clock::now();
        rc[2] = cam[2]->GetTessel12Enabled(&en, 300);
        took[2] = SecondsSince(s);
    });
    t0.join();
    t1.join();
    t2.join();
    testsupport::TakeDiagOut();

    EXPECT_EQ(kFinderFail, rc[0]);
    EXPECT_EQ(10, count);
    EXPECT_EQ(6u, RequestsTo(*c0, 0, 0xAE).size());
    EXPECT_EQ(kFinderFail, rc[1]);
    EXPECT_EQ(16, ncodes);
    EXPECT_EQ(0, cam[1]->GetSupportedCmdCount());
    EXPECT_EQ(6u, RequestsTo(*c1, 1, 0xA5).size());
    EXPECT_EQ(kFinderNoReply, rc[2]);
    EXPECT_EQ(5, en.Enabled);
    EXPECT_EQ(8u, RequestsTo(*c2, 2, 0xD1).size());
    // Six waits of 1.8 s and more, each 0.2 to 0.5 s longer than the last.
    for (int k = 0; k < 2; ++k) {
        EXPECT_GT(took[k], 13.0) << k;
        EXPECT_LT(took[k], 35.0) << k;
    }
    EXPECT_GT(took[2], 20.0);
    EXPECT_LT(took[2], 55.0);
}
