// The notify session: against the emulated camera's event CGI (close events,
// reconnect, stop and start again, Basic credentials), the texts its entries
// own, and the URL it accepts.
#include "Common.h"
#include "session/CHTTPNotifyLive.h"
#include "session/CameraURL.h"

#include "FedNotify.h"
#include "HttpEmulator.h"
#include "NotifyRecorder.h"
#include "NotifyTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>

namespace {

using namespace notifytest;
using testsupport::HttpEmulator;

int g_user; // the handler's user pointer

unsigned long Word(unsigned flag, unsigned id)
{
    return (static_cast<unsigned long>(flag) << 16) | id;
}

std::set<std::thread::id> Threads(const std::vector<Call>& calls)
{
    std::set<std::thread::id> t;
    for (const Call& c : calls)
        t.insert(c.thread);
    return t;
}

class NotifySessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NotifyRecorder::Get().Reset();
        ASSERT_TRUE(session_.Create());
        session_.SetParentCallback(&g_user, NotifyRecorder::Handler);
    }
    NotifyRecorder& rec_ = NotifyRecorder::Get();
    CHTTPNotifyLive session_;
};

TEST_F(NotifySessionTest, LinesCutAcrossReadsThenCloseEventsAndReconnect)
{
    const std::string longTail(300, 'z');
    HttpEmulator cam(EventConfig(R"({"piece":7,"piece_delay":0.002,"scripts":[
        ["motion_detected_2=on","camera_name=Lobby",{"keep_alive":2},"pan_pos=-15","door=hot",
         {"line":")" + longTail + R"(","end":""},"close"],
        ["gp_input_1=on",{"wait_file":"end"},"close"]]})"));
    ASSERT_TRUE(session_.AssignNotifyURL(EventURL(cam.Port()).c_str()));
    ASSERT_TRUE(session_.StartNotify(true));
    void* stream = session_.GetNotifyStreamForTest();
    ASSERT_NE(stream, nullptr);
    // The first connection closes; the second starts with a new line, not
    // with the rest of the long one.
    ASSERT_TRUE(rec_.WaitCount(7)) << rec_.Count();
    auto calls = rec_.Calls();
    EXPECT_EQ(calls[0].second, Word(2, nevMotion));
    EXPECT_EQ(calls[0].third, 1ul);
    EXPECT_EQ(calls[1].second, Word(0, nevCameraName));
    EXPECT_EQ(calls[1].thirdText, "camera_name=Lobby");
    EXPECT_EQ(calls[2].second, Word(0, nevPan));
    EXPECT_EQ(calls[2].thirdText, "-15");
    EXPECT_TRUE(calls[3].IsGeneral());
    EXPECT_EQ(calls[3].secondText, "door");
    EXPECT_EQ(calls[3].thirdText, "hot");
    EXPECT_EQ(calls[4].second, Word(0, nevClosed));
    EXPECT_EQ(calls[4].third, 0ul);
    EXPECT_EQ(calls[5].firstText, "socket closed");
    EXPECT_EQ(calls[5].second, 0ul);
    EXPECT_EQ(calls[5].third, reinterpret_cast<unsigned long>(&g_user));
    EXPECT_EQ(calls[6].second, Word(1, nevInput));
    EXPECT_EQ(calls[6].third, 1ul);
    for (int i : {0, 1, 2, 3, 4, 6})
        EXPECT_EQ(calls[size_t(i)].first, stream) << i;
    const auto threads = Threads(calls);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);

    // A second start changes nothing while the stream runs.
    EXPECT_FALSE(session_.StartNotify(true));
    EXPECT_EQ(session_.GetNotifyStreamForTest(), stream);
    std::ofstream(cam.Dir() + "/end").put('\n');
    ASSERT_TRUE(rec_.WaitFor([](const std::vector<Call>& c) {
        return c.size() >= 9 && c[8].firstText == "socket closed";
    }));
    EXPECT_EQ(rec_.Calls()[7].second, Word(0, nevClosed));
    auto reqs = cam.Requests();
    ASSERT_GE(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].Text().rfind(std::string("GET ") + kEventPath + " HTTP/1.1\r\n", 0), 0u);
    session_.Destroy();
    rec_.Close();
    EXPECT_FALSE(session_.IsRunning());
}

TEST_F(NotifySessionTest, StopEndsOnlyTheStreamAndStartDeliversAgain)
{
    HttpEmulator cam(EventConfig(R"({"script":["in_recording=1",{"pause":0.02}],"repeat":true})",
                                 R"("auth":"basic","user":"admin","password":"pw")"));
    ASSERT_TRUE(session_.AssignNotifyURL(EventURL(cam.Port()).c_str()));
    session_.SetAuthData("admin", "pw", 2);
    ASSERT_TRUE(session_.StartNotify(true));
    ASSERT_TRUE(rec_.WaitCount(3));
    session_.StopNotifyHTTP();
    rec_.Close();
    EXPECT_FALSE(session_.HasNotifyStream());
    EXPECT_TRUE(session_.IsRunning());
    const size_t stopped = rec_.Count();

    rec_.Open();
    ASSERT_TRUE(session_.StartNotify(true));
    ASSERT_TRUE(rec_.WaitCount(stopped + 3));
    session_.StopNotify();
    rec_.Close();
    // A call while closed is late; the next stream may deliver as soon as it
    // starts, so the recorder opens before it.
    SleepMs(100);
    rec_.Open();
    const size_t again = rec_.Count();
    ASSERT_TRUE(session_.StartNotify(true));
    ASSERT_TRUE(rec_.WaitCount(again + 1));
    session_.Destroy();
    rec_.Close();
    EXPECT_EQ(rec_.Late(), 0);
    auto calls = rec_.Calls();
    for (const Call& c : calls)
        EXPECT_EQ(c.second, Word(0, nevRecording));
    // The message thread outlived each stream.
    EXPECT_EQ(Threads(calls).size(), 1u);
    auto reqs = cam.Requests();
    ASSERT_GE(reqs.size(), 3u);
    for (const auto& r : reqs)
        EXPECT_NE(r.Text().find("\r\nAuthorization: Basic YWRtaW46cHc=\r\n"), std::string::npos);
    EXPECT_FALSE(session_.StartNotify(true)); // Destroy is final
}

TEST_F(NotifySessionTest, EntriesOwnTheirTexts)
{
    FedNotify stream;
    stream.SetParentCallback(&g_user, NotifyRecorder::Handler);
    stream.SetNotifyPoster(CHTTPNotifyLive::PostNotifyMessage, &session_);
    rec_.Hold();
    stream.Feed("pan_pos=-1\r\n");
    ASSERT_TRUE(rec_.WaitHolding());
    // Parsed while the first call waits: the stream's own texts change.
    stream.Feed("pan_pos=-2\r\ncamera_name=A\r\ndoor=x\r\ncamera_name=B\r\n");
    rec_.Release();
    ASSERT_TRUE(rec_.WaitCount(5));
    auto calls = rec_.Calls();
    EXPECT_EQ(calls[0].thirdText, "-1");
    EXPECT_EQ(calls[1].thirdText, "-2");
    EXPECT_EQ(calls[2].thirdText, "camera_name=A");
    EXPECT_EQ(calls[3].secondText, "door");
    EXPECT_EQ(calls[3].thirdText, "x");
    EXPECT_EQ(calls[4].thirdText, "camera_name=B");
    session_.Destroy();
}

TEST_F(NotifySessionTest, UrlsAndStartsThatAreRefused)
{
    struct Row {
        const char* url;
        bool ok;
        const char* host;
        unsigned port;
        const char* path;
    };
    const Row rows[] = {
        {"http://192.0.2.7/cgi/web_event.cgi", true, "192.0.2.7", 80, "/cgi/web_event.cgi"},
        {"HTTP://cam.example:8080/event2/web_event.cgi?x=1#f", true, "cam.example", 8080,
         "/event2/web_event.cgi?x=1"},
        {"http://[2001:db8::7]:81/e", true, "[2001:db8::7]", 81, "/e"},
        {"http://[2001:db8::7]", true, "[2001:db8::7]", 80, "/"},
        {"http://192.0.2.7:0/e", true, "192.0.2.7", 80, "/e"},
        {"https://192.0.2.7/e", false, "", 0, ""},
        {"http://:80/e", false, "", 0, ""},
        {"http://192.0.2.7:80x/e", false, "", 0, ""},
        {"http://192.0.2.7:99999/e", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Row& r : rows) {
        CameraURL u{"unchanged", 1, "unchanged"};
        ASSERT_EQ(SplitCameraURL(r.url, &u), r.ok) << r.url;
        if (!r.ok) {
            EXPECT_EQ(u.host, "unchanged");
            continue;
        }
        EXPECT_EQ(u.host, r.host) << r.url;
        EXPECT_EQ(u.port, r.port) << r.url;
        EXPECT_EQ(u.path, r.path) << r.url;
    }
    // Without a URL a start fails and leaves no stream behind.
    EXPECT_FALSE(session_.AssignNotifyURL("https://127.0.0.1/cgi/web_event.cgi"));
    EXPECT_FALSE(session_.StartNotify(true));
    EXPECT_FALSE(session_.HasNotifyStream());
    // A refused URL keeps the one before.
    HttpEmulator cam(EventConfig(R"({"script":["gp_input_3=on"]})"));
    ASSERT_TRUE(session_.AssignNotifyURL(EventURL(cam.Port()).c_str()));
    EXPECT_FALSE(session_.AssignNotifyURL("ftp://127.0.0.1/x"));
    ASSERT_TRUE(session_.StartNotify(false));
    ASSERT_TRUE(rec_.WaitCount(1));
    EXPECT_EQ(rec_.Calls()[0].second, Word(3, nevInput));
    session_.Destroy();
}

} // namespace
