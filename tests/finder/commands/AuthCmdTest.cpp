// Credential check (0xA3) and password change (0xA4) against emulated cameras.
#include "CmdTestUtil.h"

using namespace cmdtest;

TEST(FinderCmdAuth, VerifyGivesEachOutcome)
{
    // 0: accepted; 1: verdict 0; 2: refusal with status 2; 3: an 8-byte body;
    // 4: a reply that names another request and camera, taken all the same.
    auto emu = StartExtraCameras(
        {"", "\"command_faults\": {\"0xA3\": {\"verdict\": 0}}",
         "\"command_faults\": {\"0xA3\": {\"status\": 2}}",
         "\"command_faults\": {\"0xA3\": {\"body_size\": 8}}",
         "\"command_faults\": {\"0xA3\": {\"wrong_seq\": true, \"wrong_mac\": true}}"});
    CLANDAPMgr mgr;
    std::vector<int> idx;
    ASSERT_TRUE(ListSearch(mgr).SearchAndIndex(ExtraMacs(5), &idx));
    ASSERT_EQ(5, mgr.GetCameraNum());

    testsupport::CaptureDiagOut();
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(idx[0]));
    EXPECT_EQ(kFinderCamRefused, mgr.VerifyAuthorization(idx[1]));
    EXPECT_EQ(kFinderCamRefused, mgr.VerifyAuthorization(idx[2]));
    EXPECT_EQ(kFinderFail, mgr.VerifyAuthorization(idx[3]));
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(idx[4]));
    // Wrong password: the camera answers status 4.
    mgr.SetAuthentication(idx[0], "admin", "wrong");
    EXPECT_EQ(kFinderCamAuthFailed, mgr.VerifyAuthorization(idx[0]));
    EXPECT_EQ(kFinderFail, mgr.VerifyAuthorization(mgr.GetCameraNum()));
    std::string out = testsupport::TakeDiagOut();

    auto reqs = RequestsTo(*emu, ExtraMac(0), 0xA3);
    ASSERT_EQ(2u, reqs.size()) << out;
    EXPECT_EQ(62976, reqs[0].port);
    EXPECT_EQ(128, BodyLen(reqs[0]));
    EXPECT_EQ(Hex(AdminSecret()), Hex(Body(reqs[0])));
    EXPECT_EQ(Hex(AuthBlock("YWRtaW4=", "d3Jvbmc=")), Hex(Body(reqs[1])));
    // Every outcome came from the first reply.
    for (int k = 1; k < 5; ++k)
        EXPECT_EQ(1u, RequestsTo(*emu, ExtraMac(k), 0xA3).size()) << k;
}

TEST(FinderCmdAuth, ChangePasswordWithNewAbsentAndOverlongValues)
{
    auto c0 = StartCamera(0);
    CLANDAPMgr mgr;
    int i = Find(mgr, 0);
    ASSERT_GE(i, 0);

    testsupport::CaptureDiagOut();
    EXPECT_EQ(kFinderOk, mgr.ChangeAdminPassword(i, "root", "n3w"));
    // The object keeps the old pair until it is told the new one.
    EXPECT_EQ(kFinderCamAuthFailed, mgr.VerifyAuthorization(i));
    mgr.SetAuthentication(i, "root", "n3w");
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(i));

    // No new user name: the current one goes out again.
    EXPECT_EQ(kFinderOk, mgr.ChangeAdminPassword(i, nullptr, "x"));
    mgr.SetAuthentication(i, "root", "x");
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(i));

    // A 300-byte password: 64 Base64 characters of its first 48 bytes.
    std::string longPassword(300, 'p');
    EXPECT_EQ(kFinderOk, mgr.ChangeAdminPassword(i, "root", longPassword.c_str()));
    mgr.SetAuthentication(i, "root", longPassword.c_str());
    EXPECT_EQ(kFinderOk, mgr.VerifyAuthorization(i));
    EXPECT_EQ(kFinderFail, mgr.ChangeAdminPassword(i, "root", nullptr));
    std::string out = testsupport::TakeDiagOut();
    EXPECT_FALSE(Contains(out, "Authentication information does not exist!")) << out;

    auto reqs = RequestsTo(*c0, 0, 0xA4);
    ASSERT_EQ(3u, reqs.size());
    for (const auto& r : reqs)
        ASSERT_EQ(256, BodyLen(r));
    EXPECT_EQ(Hex(AuthPlus(AuthBlock("cm9vdA==", "bjN3"))), Hex(Body(reqs[0])));
    EXPECT_EQ(Hex(AuthPlus(AuthBlock("cm9vdA==", "eA=="), AuthBlock("cm9vdA==", "bjN3"))),
              Hex(Body(reqs[1])));
    std::string p64;
    for (int k = 0; k < 16; ++k)
        p64 += "cHBw";
    EXPECT_EQ(Hex(AuthPlus(AuthBlock("cm9vdA==", p64), AuthBlock("cm9vdA==", "eA=="))),
              Hex(Body(reqs[2])));
}
