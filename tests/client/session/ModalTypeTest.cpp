// Which URL and stream kind a camera model code, authorization type and talk
// path choose; refused families; URLs that would not fit are refused whole.
#include "session/CHTTPSCHLive.h"
#include "session/ModalType.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace {

const unsigned kMPEG4 = CHTTPSCHLive::kKindMPEG4, kMJPEG = CHTTPSCHLive::kKindMJPEG,
               kH264 = CHTTPSCHLive::kKindH264;

std::string Video(unsigned modal, int authType, int* profile, unsigned* kind,
                  const char* host = "cam")
{
    char url[kStreamURLSize] = "";
    return MakeVideoModalURL(modal, authType, host, 8080, profile, url, sizeof url, kind)
               ? url
               : "refused";
}

std::string Audio(unsigned modal, int authType)
{
    char url[kStreamURLSize] = "";
    return MakeAudioModalURL(modal, authType, "cam", 8080, url, sizeof url) ? url : "none";
}

TEST(ModalType, VideoAndAudioURLsByModel)
{
    struct Case {
        unsigned modal;
        int authType, profile;
        const char* url;
        unsigned kind;
        int profileAfter;
    } cases[] = {
        {0x0100, 2, 2, "/video/ACVS.cgi?profileid=2", kMPEG4, 2},
        {0x0102, 2, 2, "/video/ACVS.cgi?profileid=2", kMPEG4, 2},
        {0x0104, 2, 2, "/video/ACVS-H264.cgi?profileid=2", kH264, 2},
        {0x0101, 2, 3, "/video/mjpg.cgi?profileid=3", kMJPEG, 3},
        {0x0103, 4, 1, "/video/mjpg.cgi?profileid=1", kMJPEG, 1},
        {0x010F, 1, 1, "/video/mjpg.cgi?profileid=1", kMJPEG, 1},
        {0x0101, 3, 3, "/av2/mjpg.cgi?profileid=3", kMJPEG, 3},
        {0x0100, 3, 1, "/av2/ACVS.cgi?profileid=1", kMPEG4, 1},
        {0xABCD0104, 3, 1, "/av2/ACVS-H264.cgi?profileid=1", kH264, 1}, // high bits ignored
        {0x3011, 3, 5, "/VIDEO.CGI", kMJPEG, 0},
        {0x4004, 2, 1, "/VIDEO.CGI", kMJPEG, 0},
        {0x4100, 2, 4, "/mjpeg.cgi", kMJPEG, 0},
    };
    for (const Case& c : cases) {
        int profile = c.profile;
        unsigned kind = 99;
        EXPECT_EQ(Video(c.modal, c.authType, &profile, &kind),
                  std::string("http://cam:8080") + c.url)
            << std::hex << c.modal;
        EXPECT_EQ(kind, c.kind) << std::hex << c.modal;
        EXPECT_EQ(profile, c.profileAfter) << std::hex << c.modal;
    }
    const std::pair<unsigned, const char*> audio2[] = {{0x0111, "/audio/ACAS-ULAW.cgi?sec=0"},
                                                       {0x0121, "/audio/ACAS-MSADPCM.cgi"},
                                                       {0x0141, "/audio/ACAS-AAC.cgi"},
                                                       {0x0101, "/audio/ACAS.cgi"}};
    const std::pair<unsigned, const char*> audio3[] = {{0x0111, "/av2/ACAS-ULAW.cgi?sec=0"},
                                                       {0x0121, "/av2/ACAS-MSADPCM.cgi"},
                                                       {0x0141, "/audio/ACAS-AAC.cgi"},
                                                       {0x0131, "/av2/ACAS.cgi"}};
    for (const auto& a : audio2)
        EXPECT_EQ(Audio(a.first, 2), std::string("http://cam:8080") + a.second);
    for (const auto& a : audio3)
        EXPECT_EQ(Audio(a.first, 3), std::string("http://cam:8080") + a.second);
    for (unsigned modal : {0x3011u, 0x4010u, 0x4110u})
        EXPECT_EQ(Audio(modal, 2), "none") << std::hex << modal;
}

TEST(ModalType, RefusedFamiliesNotifyAndTalkURLs)
{
    for (unsigned modal : {0x2001u, 0x4210u, 0x5000u, 0x6004u, 0x12342001u})
        EXPECT_TRUE(IsRefusedModalFamily(modal)) << std::hex << modal;
    for (unsigned modal : {0x0101u, 0x3011u, 0x4100u, 0x4300u, 0x2101u, 0x20u})
        EXPECT_FALSE(IsRefusedModalFamily(modal)) << std::hex << modal;

    char url[kStreamURLSize];
    ASSERT_TRUE(MakeNotifyURL(2, "cam", 80, url, sizeof url));
    EXPECT_STREQ(url, "http://cam:80/cgi/web_event.cgi");
    ASSERT_TRUE(MakeNotifyURL(3, "cam", 80, url, sizeof url));
    EXPECT_STREQ(url, "http://cam:80/event2/web_event.cgi");
    const std::tuple<int, int, const char*> talk[] = {{1, 2, "/dev/speaker.cgi"},
                                                      {1, 3, "/av2/speaker.cgi"},
                                                      {2, 3, "/dev/speaker2.cgi"},
                                                      {3, 2, "/dev2/dgtalkie.cgi"},
                                                      {0, 2, nullptr},
                                                      {4, 2, nullptr}};
    for (const auto& t : talk) {
        const bool ok = MakeTalkURL(std::get<0>(t), std::get<1>(t), "cam", 80, url, sizeof url);
        EXPECT_EQ(ok ? std::string(url) : "refused",
                  std::get<2>(t) ? std::string("http://cam:80") + std::get<2>(t) : "refused");
    }
}

TEST(ModalType, HostAsItStandsAndURLsThatDoNotFit)
{
    int profile = 3;
    unsigned kind = 0;
    EXPECT_EQ(Video(0x0101, 2, &profile, &kind, "[fe80::1]"),
              "http://[fe80::1]:8080/video/mjpg.cgi?profileid=3");

    // "http://" + host + ":8080/VIDEO.CGI" is 7 + n + 15 bytes: n = 1001
    // fills the buffer with its NUL; one byte more is refused, unchanged.
    profile = 7;
    EXPECT_EQ(Video(0x3000, 2, &profile, &kind, std::string(1001, 'h').c_str()).size(),
              kStreamURLSize - 1);
    profile = 7;
    kind = 99;
    EXPECT_EQ(Video(0x3000, 2, &profile, &kind, std::string(1002, 'h').c_str()), "refused");
    EXPECT_EQ(profile, 7);
    EXPECT_EQ(kind, 99u);
    char small[16];
    EXPECT_FALSE(MakeTalkURL(1, 2, "cam", 80, small, sizeof small));
    EXPECT_EQ(small[0], 0);
    const std::string longHost(2000, 'a');
    char url[kStreamURLSize];
    EXPECT_FALSE(MakeNotifyURL(2, longHost.c_str(), 80, url, sizeof url));
    EXPECT_FALSE(MakeAudioModalURL(0x0110, 2, longHost.c_str(), 80, url, sizeof url));
}

} // namespace
