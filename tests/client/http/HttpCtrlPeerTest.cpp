// The HTTP worker against third-party peers on loopback: Apache httpd with
// mod_auth_digest and lighttpd with mod_auth, and TLS (the emulated camera behind a certificate
// made by openssl).
#include "HttpCtrlTestUtil.h"

#include "ClientTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <tuple>

using namespace httptest;
using testsupport::HttpEmulator;

namespace {

std::string MakeTempDir(const char* prefix)
{
    std::string tmpl = std::string("/tmp/") + prefix + "XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        return "";
    chmod(tmpl.c_str(), 0755); // Apache's worker runs as www-data
    return tmpl;
}

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << data;
}

bool PortAnswers(unsigned port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// A web server in one process, with a configuration of its own in a
// temporary folder: one file behind Digest authorization (realm "cam",
// admin and pw). Apache keeps the connection after a refused answer;
// lighttpd closes it ("Connection: close").
enum class WebServer { kApache, kLighttpd };

const char* ServerProgram(WebServer kind)
{
    return kind == WebServer::kApache ? "/usr/sbin/apache2" : "/usr/sbin/lighttpd";
}

std::string ServerLabel(WebServer kind)
{
    return kind == WebServer::kApache ? "Apache" : "Lighttpd";
}

std::string ServerName(const testing::TestParamInfo<WebServer>& info)
{
    return ServerLabel(info.param);
}

class DigestServer {
public:
    explicit DigestServer(WebServer kind) : kind_(kind) {}
    bool Start(const std::string& body)
    {
        dir_ = MakeTempDir("rilo-webserver-");
        if (dir_.empty())
            return false;
        mkdir((dir_ + "/htdocs").c_str(), 0755);
        mkdir((dir_ + "/htdocs/video").c_str(), 0755);
        mkdir((dir_ + "/logs").c_str(), 0755);
        WriteFile(dir_ + "/htdocs/video/big.bin", body);
        chmod((dir_ + "/htdocs/video/big.bin").c_str(), 0644);
        WriteFile(dir_ + "/digest.pw", "admin:cam:" + Md5Hex("admin:cam:pw") + "\n");
        chmod((dir_ + "/digest.pw").c_str(), 0644);
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = rilotest::ClosedPort();
            WriteConfig();
            pid_ = fork();
            if (pid_ == 0) {
                int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                const std::string conf = dir_ + "/server.conf";
                if (kind_ == WebServer::kApache)
                    execl(ServerProgram(kind_), "apache2", "-X", "-f", conf.c_str(),
                          static_cast<char*>(nullptr));
                else
                    execl(ServerProgram(kind_), "lighttpd", "-D", "-f", conf.c_str(),
                          static_cast<char*>(nullptr));
                _exit(127);
            }
            if (Eventually([&] { return PortAnswers(port_) || Exited(); }, 30) && !Exited())
                return true;
            Stop();
        }
        return false;
    }
    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    ~DigestServer()
    {
        Stop();
        if (!dir_.empty())
            (void)std::system(("rm -rf " + dir_).c_str());
    }
    unsigned Port() const { return port_; }
    std::string ErrorLog() const
    {
        std::ifstream f(dir_ + "/logs/error.log");
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

private:
    bool Exited()
    {
        if (pid_ <= 0)
            return true;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        return false;
    }
    void WriteConfig()
    {
        if (kind_ == WebServer::kLighttpd) {
            WriteFile(dir_ + "/server.conf",
                      "server.document-root = \"" + dir_ +
                          "/htdocs\"\nserver.bind = \"127.0.0.1\"\n" +
                          "server.port = " + std::to_string(port_) + "\n" + "server.errorlog = \"" +
                          dir_ + "/logs/error.log\"\n" +
                          "server.modules = (\"mod_auth\", \"mod_authn_file\")\n" +
                          "auth.backend = \"htdigest\"\n" + "auth.backend.htdigest.userfile = \"" +
                          dir_ + "/digest.pw\"\n" +
                          "auth.require = (\"/\" => (\"method\" => \"digest\", \"realm\" => " +
                          "\"cam\", \"require\" => \"valid-user\"))\n");
            return;
        }
        const std::string m = "/usr/lib/apache2/modules/";
        WriteFile(dir_ + "/server.conf",
                  "ServerRoot \"" + dir_ +
                      "\"\nServerName localhost\nListen 127.0.0.1:" + std::to_string(port_) +
                      "\nPidFile \"" + dir_ + "/httpd.pid\"\n" + "ErrorLog \"" + dir_ +
                      "/logs/error.log\"\nLogLevel info\n" + "LoadModule mpm_event_module " + m +
                      "mod_mpm_event.so\n" + "LoadModule authn_core_module " + m +
                      "mod_authn_core.so\n" + "LoadModule authn_file_module " + m +
                      "mod_authn_file.so\n" + "LoadModule authz_core_module " + m +
                      "mod_authz_core.so\n" + "LoadModule authz_user_module " + m +
                      "mod_authz_user.so\n" + "LoadModule auth_digest_module " + m +
                      "mod_auth_digest.so\n" + "User www-data\nGroup www-data\nDocumentRoot \"" +
                      dir_ + "/htdocs\"\n" + "<Directory \"" + dir_ +
                      "/htdocs\">\n  AuthType Digest\n  AuthName \"cam\"\n" +
                      "  AuthDigestProvider file\n  AuthUserFile \"" + dir_ + "/digest.pw\"\n" +
                      "  Require valid-user\n</Directory>\n");
    }

    const WebServer kind_;
    std::string dir_;
    unsigned port_ = 0;
    pid_t pid_ = -1;
};

std::string RandomBody(size_t n)
{
    std::mt19937 gen(12345);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(gen());
    return s;
}

class HttpCtrlWebServerTest : public ::testing::TestWithParam<std::tuple<WebServer, int>> {};

TEST_P(HttpCtrlWebServerTest, DigestReceivesALargeBodyIntact)
{
    const WebServer kind = std::get<0>(GetParam());
    ASSERT_EQ(access(ServerProgram(kind), X_OK), 0)
        << ServerProgram(kind) << " is not installed (scripts/setup)";
    const std::string body = RandomBody(3 * 1024 * 1024 + 17);
    DigestServer server(kind);
    ASSERT_TRUE(server.Start(body)) << server.ErrorLog();

    Recorder rec;
    TestCtrl* w = StartWorker(rec, int(server.Port()), "/video/big.bin", std::get<1>(GetParam()),
                              "", "admin", "pw");
    ASSERT_NE(w, nullptr);
    bool got = rec.WaitContent(body.size(), 30);
    w->Destroy();
    ASSERT_TRUE(got) << rec.Content().size() << " bytes\n" << server.ErrorLog();
    // The server keeps the connection; nothing after the body belongs to it.
    std::string content = rec.Content();
    EXPECT_EQ(content.size(), body.size());
    EXPECT_TRUE(content == body) << "the body differs";
    EXPECT_EQ(rec.Count(ConnEvent(cerAuthFailed)), 0u);
}

INSTANTIATE_TEST_SUITE_P(ServersAndAuthTypes, HttpCtrlWebServerTest,
                         ::testing::Combine(::testing::Values(WebServer::kApache,
                                                              WebServer::kLighttpd),
                                            ::testing::Values(3, 4)),
                         [](const testing::TestParamInfo<std::tuple<WebServer, int>>& info) {
                             return ServerLabel(std::get<0>(info.param)) + "AuthType" +
                                    std::to_string(std::get<1>(info.param));
                         });

class HttpCtrlWebServerWrong : public ::testing::TestWithParam<WebServer> {};

// Also where the server closes the connection with its refusal: one
// authorization event, no close event after it.
TEST_P(HttpCtrlWebServerWrong, WrongPasswordIsReportedOnce)
{
    ASSERT_EQ(access(ServerProgram(GetParam()), X_OK), 0)
        << ServerProgram(GetParam()) << " is not installed (scripts/setup)";
    DigestServer server(GetParam());
    ASSERT_TRUE(server.Start("x")) << server.ErrorLog();
    Recorder rec;
    TestCtrl* w = StartWorker(rec, int(server.Port()), "/video/big.bin", 4, "", "admin", "bad");
    ASSERT_TRUE(Eventually([&] { return rec.connects >= 5; }, 20));
    w->Destroy();
    EXPECT_EQ(rec.Values(), std::vector<unsigned long>{ConnEvent(cerAuthFailed)});
    EXPECT_EQ(rec.Content(), "");
}

INSTANTIATE_TEST_SUITE_P(Servers, HttpCtrlWebServerWrong,
                         ::testing::Values(WebServer::kApache, WebServer::kLighttpd), ServerName);

// ---- TLS

std::string g_certDir;

class HttpCtrlTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_certDir = MakeTempDir("rilo-httptls-");
        ASSERT_FALSE(g_certDir.empty());
        std::string cmd =
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=camera -keyout " +
            g_certDir + "/key.pem -out " + g_certDir + "/cert.pem >" + g_certDir + "/req.log 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << "openssl req failed (is openssl installed?)";
    }
    static void TearDownTestSuite()
    {
        if (!g_certDir.empty())
            (void)std::system(("rm -rf " + g_certDir).c_str());
    }
    static std::string TlsConfig(const std::string& rest)
    {
        return R"({"tls_cert":")" + g_certDir + R"(/cert.pem","tls_key":")" + g_certDir +
               "/key.pem\"," + rest + "}";
    }
};

TEST_F(HttpCtrlTlsTest, DigestOverTls)
{
    const std::string body = RandomBody(500000);
    HttpEmulator cam(TlsConfig(R"("auth":"digest","user":"admin","password":"pw",
                                  "unauthorized_body":"<p>401</p>","body":{"file":"body.bin"},
                                  "content_length":true)"));
    WriteFile(cam.Dir() + "/body.bin", body);
    Recorder rec;
    TestCtrl* w = StartWorker(rec, cam.Port(), "/video/mjpg.cgi", 4, "", "admin", "pw", true);
    bool got = rec.WaitContent(body.size(), 20);
    w->Destroy();
    ASSERT_TRUE(got) << rec.Content().size();
    EXPECT_TRUE(rec.Content() == body);
    auto reqs = cam.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].connection, reqs[1].connection);
    EXPECT_EQ(QuotedParam(reqs[1].Text(), "nc"), "00000001");
}

TEST_F(HttpCtrlTlsTest, BasicOverTlsWithCloseAndReconnect)
{
    HttpEmulator cam(TlsConfig(R"("auth":"basic","user":"admin","password":"pw",
                                  "body":{"pattern":"t"},"close_after":3000)"));
    Recorder rec;
    TestCtrl* w =
        StartWorker(rec, cam.Port(), "/video/mjpg.cgi", 2, "Basic YWRtaW46cHc=", "", "", true);
    bool got = rec.WaitContent(6000, 15);
    w->Destroy();
    ASSERT_TRUE(got) << rec.Content().size();
    EXPECT_EQ(rec.Values(), std::vector<unsigned long>{ConnEvent(cerClosed)});
    auto reqs = cam.Requests();
    ASSERT_GE(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].Text(), RequestText("/video/mjpg.cgi", cam.Port(), "Basic YWRtaW46cHc="));
}

TEST_F(HttpCtrlTlsTest, AuthTypeThreeStaysOnPlainTcp)
{
    // With the TLS flag set, auth type 3 still connects over plain TCP.
    HttpEmulator plain(R"({"auth":"digest","user":"admin","password":"pw","body":"plain",
                           "content_length":true})");
    Recorder rec;
    TestCtrl* w = StartWorker(rec, plain.Port(), "/", 3, "", "admin", "pw", true);
    bool got = rec.WaitContent(5, 10);
    w->Destroy();
    ASSERT_TRUE(got);
    EXPECT_EQ(rec.Content(), "plain");
}

} // namespace
