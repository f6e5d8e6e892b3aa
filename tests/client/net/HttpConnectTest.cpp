// The TLS connection against a real TLS server (openssl s_server) on loopback.
#include "net/CHttpConnect.h"

#include "ClientTestUtil.h"
#include "DiagCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

using namespace rilotest;

namespace {

std::string g_dir;

class HttpConnectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/rilo-tls-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        g_dir = tmpl;
        // A self-signed certificate, as cameras have.
        std::string cmd =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=camera -keyout " + g_dir +
            "/key.pem -out " + g_dir + "/cert.pem >" + g_dir + "/req.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << "openssl req failed (is openssl installed?)";
    }
    static void TearDownTestSuite()
    {
        std::string cmd = "rm -rf " + g_dir;
        if (!g_dir.empty())
            (void)std::system(cmd.c_str());
    }

    // Starts s_server on a free loopback port with extra arguments; its
    // standard input stays open (an end of input would stop it).
    void StartServer(const std::vector<std::string>& extra = {})
    {
        // A few tries: another test may take the free port first.
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = ClosedPort();
            std::vector<std::string> argv = {
                "openssl", "s_server",          "-accept", "127.0.0.1:" + std::to_string(port_),
                "-cert",   g_dir + "/cert.pem", "-key",    g_dir + "/key.pem"};
            argv.insert(argv.end(), extra.begin(), extra.end());
            ASSERT_TRUE(server_.Start(argv));
            if (server_.WaitOutput("ACCEPT", milliseconds(10000)))
                return;
        }
        FAIL() << "openssl s_server did not start: " << server_.Output();
    }

    struct Sink {
        std::mutex mu;
        std::string data;
        std::atomic<bool> gate{true}; // false: the callback waits
        std::atomic<bool> inside{false};
        unsigned long limit = ~0ul;
        static unsigned long Proc(void* user, unsigned char* p, unsigned long n)
        {
            auto* s = static_cast<Sink*>(user);
            s->inside = true;
            Eventually([&] { return s->gate.load(); }, milliseconds(10000));
            std::lock_guard<std::mutex> g(s->mu);
            unsigned long take = std::min(n, s->limit);
            s->data.append(reinterpret_cast<char*>(p), take);
            return take;
        }
        bool WaitData(const std::string& text, milliseconds t)
        {
            return Eventually(
                [&] {
                    std::lock_guard<std::mutex> g(mu);
                    return data.find(text) != std::string::npos;
                },
                t);
        }
    };

    // Create, Connect and the connected notification.
    void Open(CHttpConnect& c)
    {
        c.SetRecvDataProc(Sink::Proc, &sink_);
        ASSERT_EQ(c.Create("127.0.0.1", port_), 1);
        ASSERT_EQ(c.Connect(), 1) << server_.Output();
        Msg m{};
        ASSERT_TRUE(owner_.WaitFor(CLISOCK_NOTIFY_CONNECT, milliseconds(5000), &m));
        EXPECT_EQ(m.message, unsigned(WM_HTTPCTRL_LAST));
        EXPECT_EQ(m.l, 0u);
        EXPECT_TRUE(c.IsConnected());
    }

    unsigned port_ = 0;
    Child server_;
    NotifySink owner_;
    Sink sink_;
};

TEST_F(HttpConnectTest, SelfSignedServerDataBothWays)
{
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    const std::string req = "GET /videostream.cgi HTTP/1.1\r\n\r\n";
    EXPECT_EQ(c.GetTlsVersion(), "TLSv1.3");
    EXPECT_EQ(c.Send(req.data(), int(req.size())), int(req.size()));
    EXPECT_TRUE(server_.WaitOutput("GET /videostream.cgi", milliseconds(5000))) << server_.Output();
    ASSERT_TRUE(server_.Write("HTTP/1.1 200 OK from the camera\n"));
    EXPECT_TRUE(sink_.WaitData("HTTP/1.1 200 OK from the camera\n", milliseconds(5000)));
    EXPECT_EQ(c.Close(), 1);
    EXPECT_EQ(c.Close(), 0); // closed already
    usleep(100000);
    EXPECT_EQ(owner_.Count(CLISOCK_NOTIFY_CLOSE), 0u); // an owner close posts nothing
}

// Many records both ways at once: sends on the owner thread while the socket
// thread reads the same session.
TEST_F(HttpConnectTest, ConcurrentSendAndReceiveOnOneSession)
{
    StartServer({"-rev"});
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        std::string line = "line-" + std::to_string(i) + "-abcdefghijklmnopqrstuvwxyz";
        std::string sent = line + "\n";
        ASSERT_EQ(c.Send(sent.data(), int(sent.size())), int(sent.size()));
        expected += std::string(line.rbegin(), line.rend()) + "\n";
    }
    EXPECT_TRUE(sink_.WaitData(expected, milliseconds(10000)));
    c.Close();
}

TEST_F(HttpConnectTest, OldServerTls10LowSecurityLevel)
{
    StartServer({"-tls1", "-cipher", "ALL:@SECLEVEL=0"});
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    EXPECT_EQ(c.GetTlsVersion(), "TLSv1");
    ASSERT_EQ(c.Send("ping\n", 5), 5);
    EXPECT_TRUE(server_.WaitOutput("ping", milliseconds(5000)));
    ASSERT_TRUE(server_.Write("pong\n"));
    EXPECT_TRUE(sink_.WaitData("pong\n", milliseconds(5000)));
    c.Close();
}

// A camera that goes away without close_notify: read as an end of stream,
// with one "closed" notification.
TEST_F(HttpConnectTest, EofWithoutCloseNotifyIsAClose)
{
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    ASSERT_TRUE(server_.Write("last words\n"));
    ASSERT_TRUE(sink_.WaitData("last words\n", milliseconds(5000)));
    testsupport::CaptureDiagOut();
    kill(server_.Pid(), SIGKILL); // the kernel closes with a FIN, TLS says nothing
    Msg m{};
    bool closed = owner_.WaitFor(CLISOCK_NOTIFY_CLOSE, milliseconds(5000), &m);
    std::string out = testsupport::TakeDiagOut();
    ASSERT_TRUE(closed);
    EXPECT_EQ(m.l, 0u);
    EXPECT_NE(out.find("[CHttpConnect::OnReceive] Receive DATA: 0 byte!"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Socket Error occurred"), std::string::npos) << out;
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.GetState(), CHttpConnect::stClosed);
    usleep(100000);
    EXPECT_EQ(owner_.Count(CLISOCK_NOTIFY_CLOSE), 1u);
    EXPECT_EQ(c.Close(), 0);
}

// Both current protocol versions carry data, and a server that ends the
// session properly (close_notify) is reported once as closed.
TEST_F(HttpConnectTest, Tls12And13WithOrderlyServerClose)
{
    for (const char* version : {"-tls1_2", "-tls1_3"}) {
        SCOPED_TRACE(version);
        StartServer({version});
        NotifySink owner;
        Sink sink;
        CHttpConnect c(owner.GetThreadID(), WM_HTTPCTRL_LAST);
        c.SetRecvDataProc(Sink::Proc, &sink);
        ASSERT_EQ(c.Create("127.0.0.1", port_), 1);
        ASSERT_EQ(c.Connect(), 1) << server_.Output();
        ASSERT_TRUE(owner.WaitFor(CLISOCK_NOTIFY_CONNECT, milliseconds(5000), nullptr));
        EXPECT_EQ(c.GetTlsVersion(), std::string(version) == "-tls1_2" ? "TLSv1.2" : "TLSv1.3");
        const std::string req = "GET /x HTTP/1.1\r\n\r\n";
        EXPECT_EQ(c.Send(req.data(), int(req.size())), int(req.size()));
        EXPECT_TRUE(server_.WaitOutput("GET /x", milliseconds(5000))) << server_.Output();
        ASSERT_TRUE(server_.Write("picture\n"));
        EXPECT_TRUE(sink.WaitData("picture\n", milliseconds(5000)));
        ASSERT_TRUE(server_.Write("Q\n")); // s_server: close_notify, then exit
        EXPECT_TRUE(owner.WaitFor(CLISOCK_NOTIFY_CLOSE, milliseconds(5000), nullptr));
        usleep(100000);
        EXPECT_EQ(owner.Count(CLISOCK_NOTIFY_CLOSE), 1u);
        EXPECT_FALSE(c.IsConnected());
        c.Close();
        server_.Kill();
    }
}

// Close must not wait for a read on a camera that sends nothing.
TEST_F(HttpConnectTest, CloseIsPromptWhileTheServerIsSilent)
{
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    usleep(300000); // the socket thread is waiting for data now
    auto start = Clock::now();
    EXPECT_EQ(c.Close(), 1);
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_EQ(CountThreadsNamed("rilo-tls"), 0);
}

// A listener that takes the TCP connection but never answers the handshake.
TEST_F(HttpConnectTest, ConnectTimesOutOnASilentListener)
{
    Listener l; // the kernel completes the TCP handshake; nobody speaks TLS
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    c.SetRecvDataProc(Sink::Proc, &sink_);
    c.SetConnectTimeout(800);
    ASSERT_EQ(c.Create("127.0.0.1", l.Port()), 1);
    auto start = Clock::now();
    EXPECT_EQ(c.Connect(), 0);
    auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(700));
    EXPECT_LT(took, milliseconds(3000));
    EXPECT_EQ(c.GetLastError(), ETIMEDOUT);
    EXPECT_FALSE(c.IsConnected());
    usleep(100000);
    EXPECT_EQ(owner_.Messages().size(), 0u);
    EXPECT_EQ(c.Close(), 0);
}

TEST_F(HttpConnectTest, RefusedConnectFails)
{
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    c.SetRecvDataProc(Sink::Proc, &sink_);
    ASSERT_EQ(c.Create("127.0.0.1", ClosedPort()), 1);
    EXPECT_EQ(c.Connect(), 0);
    EXPECT_EQ(c.GetLastError(), ECONNREFUSED);
    EXPECT_FALSE(c.IsConnected());
}

// A camera that resets while the client sends must not end the process with
// SIGPIPE (OpenSSL would write with write()).
TEST_F(HttpConnectTest, SendAfterPeerResetDoesNotRaiseSigpipe)
{
    signal(SIGPIPE, SIG_DFL);
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    sink_.gate = false; // hold the socket thread inside the callback
    Open(c);
    ASSERT_TRUE(server_.Write("x\n"));
    ASSERT_TRUE(Eventually([&] { return sink_.inside.load(); }, milliseconds(5000)));
    kill(server_.Pid(), SIGKILL);
    usleep(100000);
    std::string chunk(16384, 'z');
    int failedAt = -1;
    for (int i = 0; i < 50; ++i) {
        if (c.Send(chunk.data(), int(chunk.size())) < 0) {
            failedAt = i;
            break;
        }
        usleep(20000);
    }
    EXPECT_GE(failedAt, 0);
    EXPECT_TRUE(c.GetLastError() == EPIPE || c.GetLastError() == ECONNRESET) << c.GetLastError();
    sink_.gate = true;
    EXPECT_TRUE(owner_.WaitFor(CLISOCK_NOTIFY_CLOSE, milliseconds(5000)));
    c.Close();
}

TEST_F(HttpConnectTest, FullBufferClosesWithOneNotification)
{
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    sink_.limit = 0; // a callback that never consumes
    Open(c);
    std::string big(3000, 'q');
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(server_.Write(big + "\n"));
    Msg m{};
    ASSERT_TRUE(owner_.WaitFor(CLISOCK_NOTIFY_CLOSE, milliseconds(5000), &m));
    EXPECT_EQ(m.l, 0u);
    EXPECT_FALSE(c.IsConnected());
    usleep(100000);
    EXPECT_EQ(owner_.Count(CLISOCK_NOTIFY_CLOSE), 1u);
}

// Create again on the same object after a close: a new connection and one
// socket thread, on the context kept from the first.
TEST_F(HttpConnectTest, ReconnectOnTheSameObject)
{
    StartServer();
    CHttpConnect c(owner_.GetThreadID(), WM_HTTPCTRL_LAST);
    Open(c);
    c.Close();
    server_.Kill();
    StartServer();
    ASSERT_EQ(c.Create("127.0.0.1", port_), 1);
    ASSERT_EQ(c.Connect(), 1);
    ASSERT_TRUE(
        Eventually([&] { return owner_.Count(CLISOCK_NOTIFY_CONNECT) == 2; }, milliseconds(5000)));
    EXPECT_EQ(CountThreadsNamed("rilo-tls"), 1);
    ASSERT_TRUE(server_.Write("again\n"));
    EXPECT_TRUE(sink_.WaitData("again\n", milliseconds(5000)));
}

} // namespace
