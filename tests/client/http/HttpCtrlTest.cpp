// The HTTP worker end to end against the emulated camera on loopback.
#include "HttpCtrlTestUtil.h"

#include "ClientTestUtil.h"

#include <gtest/gtest.h>

using namespace httptest;
using testsupport::HttpEmulator;

namespace {

const char kObject[] = "/video/mjpg.cgi?profileid=3";

std::string Pattern(const std::string& unit, size_t total)
{
    std::string s;
    while (s.size() < total)
        s += unit;
    return s.substr(0, total);
}

// Gaps between successive accepted connections.
std::vector<double> Gaps(const std::vector<double>& t)
{
    std::vector<double> g;
    for (size_t i = 1; i < t.size(); ++i)
        g.push_back(t[i] - t[i - 1]);
    return g;
}

// The pause is 1 to 3 s; a loaded machine can only lengthen it (a late timer,
// a late accept), so the upper bound has room.
void ExpectReconnectPauses(const std::vector<double>& accepts, double extra = 0)
{
    for (double gap : Gaps(accepts)) {
        EXPECT_GE(gap, 0.95 + extra);
        EXPECT_LE(gap, 4.5 + extra);
    }
}

// Every accepted connection carried exactly one request, except perhaps a
// last one that the worker's Destroy cut short.
void ExpectOneRequestPerConnection(const HttpEmulator& cam)
{
    auto reqs = cam.Requests();
    for (size_t i = 0; i < reqs.size(); ++i)
        EXPECT_EQ(reqs[i].connection, int(i + 1));
    EXPECT_LE(cam.AcceptTimes().size(), reqs.size() + 1);
}

class HttpCtrlTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (worker_)
            worker_->Destroy();
        worker_ = nullptr;
        CHTTPCtrl::SetWatchdogPeriodForTest(0);
    }
    TestCtrl* worker_ = nullptr;
    Recorder rec_;
};

// ---- request bytes per authorization type

TEST_F(HttpCtrlTest, ReadyValueIsSentAsIs)
{
    HttpEmulator cam(R"({"auth":"exact","authorization":"admin:pw",
                         "body":{"pattern":"ab","total":1000},"content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 1, "admin:pw");
    ASSERT_TRUE(rec_.WaitContent(1000, 10));
    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].Text(), RequestText(kObject, cam.Port(), "admin:pw"));
    EXPECT_EQ(rec_.Content(), Pattern("ab", 1000));
    // Pictures-flow events come from the stream classes; a bare worker reports nothing.
    EXPECT_EQ(rec_.CountAll(), 0u);
}

TEST_F(HttpCtrlTest, BasicValueAndNoAuthorizationLine)
{
    HttpEmulator cam(R"({"auth":"basic","user":"admin","password":"pw",
                         "body":"hello","content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2, "Basic YWRtaW46cHc=");
    ASSERT_TRUE(rec_.WaitContent(5, 10));
    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].Text(), RequestText(kObject, cam.Port(), "Basic YWRtaW46cHc="));
    EXPECT_EQ(rec_.Content(), "hello");

    // An empty value: the request ends with the blank line after Keep-Alive.
    Recorder rec2;
    HttpEmulator open(R"({"body":"x","content_length":true})");
    TestCtrl* w2 = StartWorker(rec2, open.Port(), "/", 2, "");
    ASSERT_TRUE(rec2.WaitContent(1, 10));
    ASSERT_EQ(open.Requests().size(), 1u);
    EXPECT_EQ(open.Requests()[0].Text(), RequestText("/", open.Port(), ""));
    w2->Destroy();
}

// ---- Digest

struct DigestCase {
    int authType;
    const char* qop;
    bool longForm;
};

class HttpCtrlDigestTest : public HttpCtrlTest, public ::testing::WithParamInterface<DigestCase> {};

TEST_P(HttpCtrlDigestTest, AnswersOnTheSameConnectionAndSkipsThe401Body)
{
    const DigestCase c = GetParam();
    std::string cfg =
        std::string(R"({"auth":"digest","user":"admin","password":"pw","realm":"cam","qop":")") +
        c.qop + R"(","unauthorized_body":"<html>401 go away</html>",
                      "body":{"pattern":"0123456789","total":20000},"content_length":true})";
    HttpEmulator cam(cfg);
    worker_ = StartWorker(rec_, cam.Port(), kObject, c.authType, "", "admin", "pw");
    ASSERT_TRUE(rec_.WaitContent(20000, 10));
    EXPECT_EQ(rec_.Content(), Pattern("0123456789", 20000));

    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].connection, reqs[1].connection);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);
    EXPECT_EQ(reqs[0].Text(), RequestText(kObject, cam.Port(), ""));

    // The answer, computed here with another MD5.
    const std::string sent = reqs[1].Text();
    const std::string nonce = QuotedParam(sent, "nonce");
    ASSERT_EQ(nonce.size(), 32u);
    const std::string ha1 = Md5Hex("admin:cam:pw");
    const std::string ha2 = Md5Hex(std::string("GET:") + kObject);
    std::string value;
    if (c.longForm) {
        const std::string cnonce = "5e2b7c90a41f3d86b0c9e7a2d4f61b38";
        std::string resp = Md5Hex(ha1 + ":" + nonce + ":00000001:" + cnonce + ":auth:" + ha2);
        value = "Digest username=\"admin\",realm=\"cam\",uri=\"" + std::string(kObject) +
                "\",nonce=\"" + nonce + "\",cnonce=\"" + cnonce + "\",nc=\"00000001\",response=\"" +
                resp + "\",qop=\"auth\"";
    } else {
        std::string resp = Md5Hex(ha1 + ":" + nonce + ":" + ha2);
        value = "Digest username=\"admin\",realm=\"cam\",uri=\"" + std::string(kObject) +
                "\",nonce=\"" + nonce + "\",response=\"" + resp + "\"";
    }
    EXPECT_EQ(sent, RequestText(kObject, cam.Port(), value));
    EXPECT_EQ(rec_.CountAll(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Forms, HttpCtrlDigestTest,
                         ::testing::Values(DigestCase{4, "auth", true}, DigestCase{3, "auth", true},
                                           DigestCase{4, "", false},
                                           DigestCase{3, "auth,auth-int", false}));

TEST_F(HttpCtrlTest, StaleNonceGetsAnotherAnswer)
{
    HttpEmulator cam(R"({"auth":"digest","user":"admin","password":"pw","stale":2,
                         "body":"fresh","content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 4, "", "admin", "pw");
    ASSERT_TRUE(rec_.WaitContent(5, 10));
    EXPECT_EQ(rec_.Content(), "fresh");
    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    for (auto& r : reqs)
        EXPECT_EQ(r.connection, 1);
    EXPECT_EQ(rec_.CountAll(), 0u);
}

TEST_F(HttpCtrlTest, WrongDigestCredentialsRaiseOneEventAndReconnectWithPauses)
{
    HttpEmulator cam(R"({"auth":"digest","user":"admin","password":"pw",
                         "unauthorized_body":"nope","body":"x"})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 4, "", "admin", "wrong");
    ASSERT_TRUE(rec_.WaitEvent(ConnEvent(cerAuthFailed), 10));
    ASSERT_TRUE(Eventually([&] { return cam.AcceptTimes().size() >= 3; }, 15));
    worker_->Destroy();
    worker_ = nullptr;

    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerAuthFailed)});
    auto accepts = cam.AcceptTimes();
    ExpectReconnectPauses(accepts);
    // Per connection: the plain request and one answer, then it gives up.
    std::map<int, int> perConn;
    for (auto& r : cam.Requests())
        ++perConn[r.connection];
    for (auto& kv : perConn)
        EXPECT_LE(kv.second, 2) << "connection " << kv.first;
    EXPECT_EQ(perConn[1], 2);
    EXPECT_EQ(perConn[2], 2);
}

// A 401 that ends its connection ("Connection: close") gets the Digest
// answer on a new connection, not on the one the camera is closing.
TEST_F(HttpCtrlTest, ChallengeThatClosesIsAnsweredOnANewConnection)
{
    HttpEmulator cam(R"({"auth":"digest","user":"admin","password":"pw","close_after_401":true,
                         "unauthorized_body":"<p>401</p>","body":"fresh","content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 4, "", "admin", "pw");
    ASSERT_TRUE(rec_.WaitContent(5, 10));
    EXPECT_EQ(rec_.Content(), "fresh");
    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].connection, 1);
    EXPECT_EQ(reqs[0].auth, "missing");
    EXPECT_EQ(reqs[1].connection, 2);
    EXPECT_EQ(reqs[1].auth, "ok");
    EXPECT_EQ(rec_.CountAll(), 0u);
}

// A server that keeps the connection for its challenge and closes it with
// the 401 that refuses an answer: wrong credentials are one authorization
// event, and no close is reported beside it.
TEST_F(HttpCtrlTest, RefusalThatClosesIsOneAuthorizationEvent)
{
    HttpEmulator cam(R"({"auth":"digest","user":"admin","password":"pw",
                         "close_after_401":"refused","unauthorized_body":"nope","body":"x"})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 4, "", "admin", "wrong");
    // The first connection and two reconnects, each with its answer.
    ASSERT_TRUE(Eventually([&] { return cam.Requests().size() >= 6; }, 20));
    worker_->Destroy();
    worker_ = nullptr;

    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerAuthFailed)});
    EXPECT_EQ(rec_.Content(), "");
    // The challenge and the refused answer share the first connection; the
    // camera closes every later one after its single request, so each
    // answer after a refusal went out on a connection of its own.
    auto reqs = cam.Requests();
    std::map<int, int> perConn;
    for (auto& r : reqs)
        ++perConn[r.connection];
    for (auto& kv : perConn)
        EXPECT_EQ(kv.second, kv.first == 1 ? 2 : 1) << "connection " << kv.first;
    for (size_t i = 1; i < reqs.size(); ++i)
        EXPECT_EQ(reqs[i].auth, "wrong") << i;
}

TEST_F(HttpCtrlTest, WrongBasicCredentialsRaiseOneEventAndReconnectWithPauses)
{
    HttpEmulator cam(R"({"auth":"basic","user":"admin","password":"pw","body":"x"})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2, "Basic YWRtaW46d3Jvbmc=");
    ASSERT_TRUE(Eventually([&] { return cam.Requests().size() >= 3; }, 15));
    worker_->Destroy();
    worker_ = nullptr;
    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerAuthFailed)});
    ExpectReconnectPauses(cam.AcceptTimes());
    ExpectOneRequestPerConnection(cam);
}

// ---- connection faults

TEST_F(HttpCtrlTest, CloseMidStreamReportsAndReconnectsWithFreshContent)
{
    HttpEmulator cam(R"({"body":{"pattern":"0123456789"},"close_after":5000})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(rec_.WaitContent(10000, 10));
    EXPECT_EQ(rec_.Content().substr(0, 10000),
              Pattern("0123456789", 5000) + Pattern("0123456789", 5000));
    EXPECT_EQ(rec_.Count(ConnEvent(cerClosed)), 1u);
    auto accepts = cam.AcceptTimes();
    ASSERT_GE(accepts.size(), 2u);
    ExpectReconnectPauses(accepts);
}

TEST_F(HttpCtrlTest, ResetMidStreamMakesOneReconnectPerOutage)
{
    HttpEmulator cam(R"({"body":{"pattern":"z"},"reset_after":3000})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(Eventually([&] { return cam.Requests().size() >= 3; }, 15));
    worker_->Destroy();
    worker_ = nullptr;
    // One event for the repeated reason; every connection one request,
    // and no two connections inside one pause.
    EXPECT_EQ(rec_.CountAll(), 1u);
    ExpectReconnectPauses(cam.AcceptTimes());
    ExpectOneRequestPerConnection(cam);
}

TEST_F(HttpCtrlTest, ForcedReconnectBurstMakesOneNewConnection)
{
    HttpEmulator cam(R"({"body":{"pattern":"s"},"rate":20000,"chunk":1000})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(rec_.WaitContent(1000, 10));
    double t0 = Now();
    for (int i = 0; i < 5; ++i)
        worker_->ForceReconnect();
    ASSERT_TRUE(Eventually([&] { return cam.AcceptTimes().size() >= 2; }, 10));
    usleep(3500 * 1000);
    auto accepts = cam.AcceptTimes();
    EXPECT_EQ(accepts.size(), 2u);
    EXPECT_GE(accepts.back() - t0, 0.95);
    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerForcedReconnect)});
    EXPECT_EQ(worker_->GetState(), htcConnected);
}

TEST_F(HttpCtrlTest, StallIsClosedByTheWatchdogAndReconnected)
{
    CHTTPCtrl::SetWatchdogPeriodForTest(400);
    HttpEmulator cam(R"({"body":{"pattern":"q"},"stall_after":2000})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(rec_.WaitContent(2000, 10));
    double stalled = Now();
    ASSERT_TRUE(rec_.WaitEvent(ConnEvent(cerClosedError), 10));
    double fired = Now();
    // Far below the 45 s default, with room for a loaded machine.
    EXPECT_GE(fired - stalled, 0.35);
    EXPECT_LE(fired - stalled, 5.0);
    ASSERT_TRUE(rec_.WaitContent(4000, 10));
    EXPECT_EQ(cam.AcceptTimes().size(), 2u);
}

TEST_F(HttpCtrlTest, WatchdogFiringDuringDisconnectsNeverClosesAfterThem)
{
    // A watchdog that fires every few milliseconds against a stalled stream,
    // and a caller who disconnects at random moments.
    CHTTPCtrl::SetWatchdogPeriodForTest(3);
    HttpEmulator cam(R"({"body":{"pattern":"w"},"stall_after":10})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    const int kRounds = 30;
    for (int i = 0; i < kRounds; ++i) {
        usleep(useconds_t(1000 * (i % 7)));
        worker_->Disconnect();
        worker_->Connect("127.0.0.1", unsigned(cam.Port()), kObject, true);
    }
    worker_->Disconnect();
    // Commands queue up: ready is only final once the last Disconnect is handled.
    ASSERT_TRUE(Eventually([&] { return rec_.disconnects == kRounds + 1; }, 20));
    EXPECT_EQ(worker_->GetState(), htcReady);
    // The worker's own count; the emulator's accepts can lag it.
    const int made = rec_.connects;
    Eventually([&] { return cam.AcceptTimes().size() >= size_t(made); }, 10);
    usleep(3500 * 1000);
    // Nothing scheduled a reconnect after the last Disconnect.
    EXPECT_EQ(rec_.connects.load(), made);
    EXPECT_LE(cam.AcceptTimes().size(), size_t(made));
    EXPECT_EQ(worker_->GetState(), htcReady);
}

TEST_F(HttpCtrlTest, OversizeHeaderIsReportedAndReconnected)
{
    HttpEmulator cam(R"({"header_padding":9000,"body":"x"})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(Eventually([&] { return cam.AcceptTimes().size() >= 2; }, 10));
    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerHeaderTooLong)});
    EXPECT_EQ(rec_.Content(), "");
    // The second's wait before the event adds to the pause.
    ExpectReconnectPauses(cam.AcceptTimes(), 1.0);
}

TEST_F(HttpCtrlTest, HeaderByteByByteAndStatusWithoutSpaceAreAccepted)
{
    HttpEmulator cam(R"({"header_padding":8000,"split_header":true,"split_delay":0,
                         "status_line":"HTTP/1.1200","body":"payload","content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(rec_.WaitContent(7, 20));
    EXPECT_EQ(rec_.Content(), "payload");
    EXPECT_EQ(rec_.CountAll(), 0u);
}

TEST_F(HttpCtrlTest, Status500IsReportedAndReconnected)
{
    HttpEmulator cam(R"({"status":500,"status_body":"broken"})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(Eventually([&] { return cam.AcceptTimes().size() >= 2; }, 10));
    EXPECT_EQ(rec_.Values(), std::vector<unsigned long>{ConnEvent(cerBadStatus)});
    EXPECT_EQ(rec_.Content(), "");
}

TEST_F(HttpCtrlTest, ForbiddenWithDigestIsReported)
{
    HttpEmulator cam(R"({"status":403})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 4, "", "admin", "pw");
    ASSERT_TRUE(rec_.WaitEvent(ConnEvent(cerAuthFailed), 10));
}

TEST_F(HttpCtrlTest, FullBufferThatNothingCanBeCutFromIsReset)
{
    HttpEmulator cam(R"({"body":{"pattern":"u","total":100000},"content_length":true})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2, "", "", "", false, 4096, false);
    ASSERT_TRUE(Eventually([&] { return rec_.seen >= 100000; }, 10));
    EXPECT_EQ(rec_.seen.load(), 100000u);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);
    EXPECT_EQ(rec_.CountAll(), 0u);
}

TEST_F(HttpCtrlTest, RefusedPortRaisesOneEventWhileRetrying)
{
    unsigned port = rilotest::ClosedPort();
    worker_ = StartWorker(rec_, int(port), kObject, 2);
    ASSERT_TRUE(Eventually([&] { return rec_.connects >= 3; }, 10));
    auto v = rec_.Values();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(v[0] == ConnEvent(cerConnectFailed) || v[0] == ConnEvent(cerConnectError)) << v[0];
}

TEST_F(HttpCtrlTest, DestroyDuringReconnectPauseReturnsPromptly)
{
    unsigned port = rilotest::ClosedPort();
    worker_ = StartWorker(rec_, int(port), kObject, 2);
    ASSERT_TRUE(Eventually([&] { return rec_.CountAll() >= 1; }, 10));
    double t0 = Now();
    worker_->Destroy();
    worker_ = nullptr;
    // The pause still ahead is at least a second.
    EXPECT_LT(Now() - t0, 0.9);
}

TEST_F(HttpCtrlTest, DisconnectPostsNothingAndStopsReconnecting)
{
    HttpEmulator cam(R"({"body":{"pattern":"d"},"close_after":1000})");
    worker_ = StartWorker(rec_, cam.Port(), kObject, 2);
    ASSERT_TRUE(rec_.WaitContent(1000, 10));
    worker_->Disconnect();
    usleep(3500 * 1000);
    // The camera's close came either before (one event, its reconnect
    // cancelled) or after the Disconnect (no event).
    EXPECT_LE(rec_.CountAll(), 1u);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);
    EXPECT_EQ(worker_->GetState(), htcReady);
}

TEST_F(HttpCtrlTest, WithoutRetryAnEventLeavesTheWorkerReady)
{
    HttpEmulator cam(R"({"status":404})");
    worker_ = new TestCtrl(&rec_, false, 2);
    ASSERT_TRUE(worker_->Create());
    worker_->Connect("127.0.0.1", unsigned(cam.Port()), kObject, false);
    ASSERT_TRUE(rec_.WaitEvent(ConnEvent(cerBadStatus), 10));
    usleep(3500 * 1000);
    EXPECT_EQ(cam.AcceptTimes().size(), 1u);
    EXPECT_EQ(worker_->GetState(), htcReady);
}

TEST_F(HttpCtrlTest, RequestsThatCannotGoOutAreReportedNotCountedAsSent)
{
    // A peer that accepts and never reads: the send buffers fill up.
    rilotest::Listener peer;
    worker_ = StartWorker(rec_, int(peer.Port()), "/" + std::string(900, 'p'), 2);
    int fd = peer.Accept();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(Eventually([&] { return worker_->GetState() == htcConnected; }, 5));
    const size_t len = RequestText("/" + std::string(900, 'p'), int(peer.Port()), "").size();
    int sent = 0;
    double failedAfter = 0;
    const double start = Now();
    while (Now() - start < 60) {
        double t = Now();
        if (!worker_->SendRequest()) {
            failedAfter = Now() - t;
            break;
        }
        ++sent;
    }
    ASSERT_GT(failedAfter, 0) << "every send succeeded";
    // It waited for room before it gave up.
    EXPECT_GE(failedAfter, 4.5);
    // Everything reported as sent arrived whole; the failed one did not.
    size_t got = 0;
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 500) > 0) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    EXPECT_GE(got, size_t(sent + 1) * len);
    EXPECT_LT(got, size_t(sent + 2) * len);
}

TEST_F(HttpCtrlTest, Ipv6HostInBracketsKeepsThemInTheHostField)
{
    HttpEmulator cam(R"({"body":"six","content_length":true})", "", "::1");
    auto* w = new TestCtrl(&rec_, false, 2);
    worker_ = w;
    ASSERT_TRUE(w->Create());
    w->Connect("[::1]", unsigned(cam.Port()), "/v6", true);
    ASSERT_TRUE(rec_.WaitContent(3, 10));
    EXPECT_EQ(rec_.Content(), "six");
    ASSERT_EQ(cam.Requests().size(), 1u);
    EXPECT_NE(
        cam.Requests()[0].Text().find("\r\nHost: [::1]:" + std::to_string(cam.Port()) + "\r\n"),
        std::string::npos);
}

} // namespace
