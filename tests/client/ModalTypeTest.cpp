// Which URL and stream kind a camera model code, authorization type and talk
// path choose; refused families; URLs that would not fit are refused whole.
#include "ModalType.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Video {
    bool ok;
    std::string url;
    unsigned kind;
    int profile;
};

Video VideoFor(unsigned modal, int authType, int profile, const char* host = "cam", unsigned port = 8080)
{
    char url[kStreamURLSize] = "unchanged";
    unsigned kind = 99;
    const bool ok = MakeVideoModalURL(modal, authType, host, port, &profile, url, sizeof url, &kind);
    return {ok, url, kind, profile};
}

std::string AudioFor(unsigned modal, int authType)
{
    char url[kStreamURLSize] = "";
    return MakeAudioModalURL(modal, authType, "cam", 8080, url, sizeof url) ? url : "none";
}

TEST(ModalType, VideoCodecPicksFormAndKind)
{
    struct Case {
        unsigned modal;
        const char* path;
        unsigned kind;
    } cases[] = {
        {0x0100, "/video/ACVS.cgi?profileid=2", kVideoKindMPEG4},
        {0x0102, "/video/ACVS.cgi?profileid=2", kVideoKindMPEG4},
        {0x0104, "/video/ACVS-H264.cgi?profileid=2", kVideoKindH264},
        {0x0101, "/video/mjpg.cgi?profileid=2", kVideoKindMJPEG},
        {0x0103, "/video/mjpg.cgi?profileid=2", kVideoKindMJPEG},
        {0x010F, "/video/mjpg.cgi?profileid=2", kVideoKindMJPEG},
        // Only the low 16 bits count.
        {0xABCD0104, "/video/ACVS-H264.cgi?profileid=2", kVideoKindH264},
    };
    for (const Case& c : cases) {
        const Video v = VideoFor(c.modal, 2, 2);
        EXPECT_TRUE(v.ok) << std::hex << c.modal;
        EXPECT_EQ(v.url, std::string("http://cam:8080") + c.path) << std::hex << c.modal;
        EXPECT_EQ(v.kind, c.kind) << std::hex << c.modal;
        EXPECT_EQ(v.profile, 2) << std::hex << c.modal;
    }
    // Authorization type 3 takes the second set; 1, 2 and 4 the first.
    EXPECT_EQ(VideoFor(0x0101, 3, 3).url, "http://cam:8080/av2/mjpg.cgi?profileid=3");
    EXPECT_EQ(VideoFor(0x0100, 3, 1).url, "http://cam:8080/av2/ACVS.cgi?profileid=1");
    EXPECT_EQ(VideoFor(0x0104, 3, 1).url, "http://cam:8080/av2/ACVS-H264.cgi?profileid=1");
    EXPECT_EQ(VideoFor(0x0101, 4, 3).url, "http://cam:8080/video/mjpg.cgi?profileid=3");
}

TEST(ModalType, FixedURLFamiliesForceProfileAndHaveNoAudio)
{
    for (int authType : {2, 3}) {
        const Video v = VideoFor(0x3011, authType, 5);
        EXPECT_EQ(v.url, "http://cam:8080/VIDEO.CGI");
        EXPECT_EQ(v.kind, kVideoKindMJPEG);
        EXPECT_EQ(v.profile, 0);
    }
    EXPECT_EQ(VideoFor(0x4004, 2, 1).url, "http://cam:8080/VIDEO.CGI");
    const Video v41 = VideoFor(0x4100, 2, 4);
    EXPECT_EQ(v41.url, "http://cam:8080/mjpeg.cgi");
    EXPECT_EQ(v41.kind, kVideoKindMJPEG);
    EXPECT_EQ(v41.profile, 0);
    for (unsigned modal : {0x3011u, 0x4010u, 0x4110u})
        EXPECT_EQ(AudioFor(modal, 2), "none") << std::hex << modal;
}

TEST(ModalType, AudioCodecPicksForm)
{
    EXPECT_EQ(AudioFor(0x0111, 2), "http://cam:8080/audio/ACAS-ULAW.cgi?sec=0");
    EXPECT_EQ(AudioFor(0x0111, 3), "http://cam:8080/av2/ACAS-ULAW.cgi?sec=0");
    EXPECT_EQ(AudioFor(0x0121, 2), "http://cam:8080/audio/ACAS-MSADPCM.cgi");
    EXPECT_EQ(AudioFor(0x0121, 3), "http://cam:8080/av2/ACAS-MSADPCM.cgi");
    EXPECT_EQ(AudioFor(0x0101, 2), "http://cam:8080/audio/ACAS.cgi");
    EXPECT_EQ(AudioFor(0x0131, 3), "http://cam:8080/av2/ACAS.cgi");
    // AAC has one form; its video still takes the second set.
    EXPECT_EQ(AudioFor(0x0141, 3), "http://cam:8080/audio/ACAS-AAC.cgi");
    EXPECT_EQ(VideoFor(0x0141, 3, 3).url, "http://cam:8080/av2/mjpg.cgi?profileid=3");
}

TEST(ModalType, RefusedFamilies)
{
    for (unsigned modal : {0x2001u, 0x4210u, 0x5000u, 0x6004u, 0x12342001u})
        EXPECT_TRUE(IsRefusedModalFamily(modal)) << std::hex << modal;
    for (unsigned modal : {0x0101u, 0x3011u, 0x4000u, 0x4100u, 0x4300u, 0x2101u, 0x20u})
        EXPECT_FALSE(IsRefusedModalFamily(modal)) << std::hex << modal;
}

TEST(ModalType, NotifyAndTalkURLsIgnoreTheModel)
{
    char url[kStreamURLSize];
    ASSERT_TRUE(MakeNotifyURL(2, "cam", 80, url, sizeof url));
    EXPECT_STREQ(url, "http://cam:80/cgi/web_event.cgi");
    ASSERT_TRUE(MakeNotifyURL(3, "cam", 80, url, sizeof url));
    EXPECT_STREQ(url, "http://cam:80/event2/web_event.cgi");

    struct Case {
        int path, authType;
        const char* url;
    } cases[] = {
        {1, 2, "http://cam:80/dev/speaker.cgi"},   {1, 3, "http://cam:80/av2/speaker.cgi"},
        {2, 2, "http://cam:80/dev/speaker2.cgi"},  {2, 3, "http://cam:80/dev/speaker2.cgi"},
        {3, 3, "http://cam:80/dev2/dgtalkie.cgi"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(MakeTalkURL(c.path, c.authType, "cam", 80, url, sizeof url)) << c.path;
        EXPECT_STREQ(url, c.url);
    }
    EXPECT_FALSE(MakeTalkURL(0, 2, "cam", 80, url, sizeof url));
    EXPECT_FALSE(MakeTalkURL(4, 2, "cam", 80, url, sizeof url));
}

TEST(ModalType, HostAsItStandsAndURLsThatDoNotFit)
{
    EXPECT_EQ(VideoFor(0x0101, 2, 3, "[fe80::1]", 81).url, "http://[fe80::1]:81/video/mjpg.cgi?profileid=3");

    // "http://" + host + ":80/VIDEO.CGI" is 7 + n + 13 bytes: n = 1003 fills
    // the buffer with its NUL, one more byte does not fit.
    const std::string fits(1003, 'h'), over(1004, 'h');
    const Video ok = VideoFor(0x3000, 2, 0, fits.c_str(), 80);
    EXPECT_TRUE(ok.ok);
    EXPECT_EQ(ok.url.size(), kStreamURLSize - 1);
    const Video refused = VideoFor(0x3000, 2, 7, over.c_str(), 80);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.url, "");
    EXPECT_EQ(refused.profile, 7);
    EXPECT_EQ(refused.kind, 99u);

    // A small buffer: nothing is written past it.
    char small[16];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(MakeTalkURL(1, 2, "cam", 80, small, sizeof small));
    EXPECT_EQ(small[0], 0);
    const std::string longHost(2000, 'a');
    char url[kStreamURLSize];
    EXPECT_FALSE(MakeNotifyURL(2, longHost.c_str(), 80, url, sizeof url));
    EXPECT_FALSE(MakeAudioModalURL(0x0110, 2, longHost.c_str(), 80, url, sizeof url));
}

} // namespace
