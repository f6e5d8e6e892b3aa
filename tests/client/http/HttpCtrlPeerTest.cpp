// The HTTP worker against third-party peers on loopback: Apache httpd with
// mod_auth_digest, and TLS (the emulated camera behind a certificate made by
// openssl).
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

// Apache httpd in one process, with a configuration of its own in a
// temporary folder: one file behind Digest authorization.
class Apache {
public:
    bool Start(const std::string& body)
    {
        dir_ = MakeTempDir("rilo-apache-");
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
                execl("/usr/sbin/apache2", "apache2", "-X", "-f", (dir_ + "/httpd.conf").c_str(),
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
    ~Apache()
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
        const std::string m = "/usr/lib/apache2/modules/";
        WriteFile(dir_ + "/httpd.conf",
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

class HttpCtrlApacheTest : public ::testing::TestWithParam<int> {};

TEST_P(HttpCtrlApacheTest, DigestAgainstApacheReceivesALargeBodyIntact)
{
    ASSERT_EQ(access("/usr/sbin/apache2", X_OK), 0) << "apache2 is not installed (scripts/setup)";
    const std::string body = RandomBody(3 * 1024 * 1024 + 17);
    Apache apache;
    ASSERT_TRUE(apache.Start(body)) << apache.ErrorLog();

    Recorder rec;
    TestCtrl* w =
        StartWorker(rec, int(apache.Port()), "/video/big.bin", GetParam(), "", "admin", "pw");
    ASSERT_NE(w, nullptr);
    bool got = rec.WaitContent(body.size(), 30);
    w->Destroy();
    ASSERT_TRUE(got) << rec.Content().size() << " bytes\n" << apache.ErrorLog();
    // Apache keeps the connection; nothing after the body belongs to it.
    std::string content = rec.Content();
    EXPECT_EQ(content.size(), body.size());
    EXPECT_TRUE(content == body) << "the body differs";
    EXPECT_EQ(rec.Count(ConnEvent(cerAuthFailed)), 0u);
}

INSTANTIATE_TEST_SUITE_P(AuthTypes, HttpCtrlApacheTest, ::testing::Values(3, 4));

TEST(HttpCtrlApacheWrong, WrongPasswordIsReportedOnce)
{
    Apache apache;
    ASSERT_TRUE(apache.Start("x")) << apache.ErrorLog();
    Recorder rec;
    TestCtrl* w = StartWorker(rec, int(apache.Port()), "/video/big.bin", 4, "", "admin", "bad");
    ASSERT_TRUE(Eventually([&] { return rec.connects >= 3; }, 12));
    w->Destroy();
    EXPECT_EQ(rec.Values(), std::vector<unsigned long>{ConnEvent(cerAuthFailed)});
    EXPECT_EQ(rec.Content(), "");
}

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
