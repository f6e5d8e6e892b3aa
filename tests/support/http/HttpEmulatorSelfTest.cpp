// Checks the emulated camera's HTTP side against curl and raw sockets on
// loopback, so that the client's tests can trust their peer.

#include "HttpEmulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

using testsupport::HttpEmulator;
using testsupport::MonotonicNow;

namespace {

struct CurlResult {
    int exitCode = -1;
    std::string out; // body, then "\n" and the status code
    int Status() const
    {
        size_t nl = out.rfind('\n');
        return nl == std::string::npos ? -1 : std::atoi(out.c_str() + nl + 1);
    }
    std::string Body() const
    {
        size_t nl = out.rfind('\n');
        return nl == std::string::npos ? out : out.substr(0, nl);
    }
};

CurlResult Curl(const std::string& args)
{
    CurlResult r;
    std::string cmd = "curl -s -m 10 -w '\\n%{http_code}' " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Url(const HttpEmulator& emu, const std::string& path, const char* scheme = "http")
{
    return std::string("'") + scheme + "://127.0.0.1:" + std::to_string(emu.Port()) + path + "'";
}

// What a raw GET got back before the peer ended or went quiet.
struct RawReply {
    std::string data;
    int reads = 0;
    enum End { kEof, kReset, kQuiet } end = kQuiet;
    size_t HeaderEnd() const
    {
        size_t p = data.find("\r\n\r\n");
        return p == std::string::npos ? std::string::npos : p + 4;
    }
};

RawReply RawGet(int port, const std::string& path, double quietSeconds)
{
    RawReply r;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    std::string req = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(static_cast<ssize_t>(req.size()), send(fd, req.data(), req.size(), MSG_NOSIGNAL));
    const double deadline = MonotonicNow() + 10; // bound even a chatty peer
    while (MonotonicNow() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(quietSeconds * 1000)) == 0)
            break;
        char buf[65536];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n == 0) {
            r.end = RawReply::kEof;
            break;
        }
        if (n < 0) {
            r.end = errno == ECONNRESET ? RawReply::kReset : RawReply::kEof;
            break;
        }
        r.data.append(buf, static_cast<size_t>(n));
        ++r.reads;
    }
    close(fd);
    return r;
}

void RequireProgram(const char* name)
{
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(cmd.c_str())) << name << " is missing (scripts/setup installs it)";
}

class HttpEmulatorCurl : public ::testing::Test {
protected:
    void SetUp() override { RequireProgram("curl"); }
};

} // namespace

TEST_F(HttpEmulatorCurl, DigestWithQopAuthPassesAndResendsOnTheSameConnection)
{
    HttpEmulator emu(R"({"auth":"digest","user":"admin","password":"s3cret","realm":"cam",
                         "qop":"auth","body":"picture","content_length":true})");
    CurlResult r = Curl("--digest -u admin:s3cret " + Url(emu, "/video/mjpg.cgi?profileid=3"));
    EXPECT_EQ(200, r.Status());
    EXPECT_EQ("picture", r.Body());

    auto reqs = emu.Requests();
    ASSERT_EQ(2u, reqs.size());
    EXPECT_EQ(reqs[0].connection, reqs[1].connection);
    EXPECT_EQ(std::string::npos, reqs[0].Text().find("Authorization:"));
    EXPECT_NE(std::string::npos, reqs[1].Text().find("Authorization: Digest"));
    EXPECT_NE(std::string::npos, reqs[1].Text().find("qop=auth"));

    EXPECT_EQ(401, Curl("--digest -u admin:wrong " + Url(emu, "/video/mjpg.cgi")).Status());
    EXPECT_EQ(401, Curl("--digest -u other:s3cret " + Url(emu, "/video/mjpg.cgi")).Status());
}

TEST_F(HttpEmulatorCurl, DigestWithoutQopAndStaleNonce)
{
    HttpEmulator plain(R"({"auth":"digest","user":"u","password":"p","qop":"",
                           "body":"ok","content_length":true})");
    CurlResult r = Curl("--digest -u u:p " + Url(plain, "/a"));
    EXPECT_EQ(200, r.Status());
    auto reqs = plain.Requests();
    ASSERT_EQ(2u, reqs.size());
    EXPECT_EQ(std::string::npos, reqs[1].Text().find("qop="));
    EXPECT_EQ(401, Curl("--digest -u u:x " + Url(plain, "/a")).Status());

    // A valid answer is refused once with stale=true; curl retries with the
    // fresh nonce and gets in.
    HttpEmulator stale(R"({"auth":"digest","user":"u","password":"p","stale":1,
                           "body":"ok","content_length":true})");
    CurlResult s = Curl("-D - --digest -u u:p " + Url(stale, "/a"));
    EXPECT_NE(std::string::npos, s.out.find("stale=true")) << s.out;
    EXPECT_EQ(200, s.Status()) << s.out;
}

TEST_F(HttpEmulatorCurl, BasicPassesAndWrongCredentialsGet401WithBody)
{
    HttpEmulator emu(R"({"auth":"basic","user":"admin","password":"pw",
                         "unauthorized_body":"<html>denied</html>","body":"live","content_length":true})");
    CurlResult ok = Curl("--basic -u admin:pw " + Url(emu, "/video/ACVS.cgi?profileid=1"));
    EXPECT_EQ(200, ok.Status());
    EXPECT_EQ("live", ok.Body());
    ASSERT_EQ(1u, emu.Requests().size());
    EXPECT_NE(std::string::npos,
              emu.Requests()[0].Text().find("Authorization: Basic YWRtaW46cHc=\r\n"));

    CurlResult bad = Curl("--basic -u admin:nope " + Url(emu, "/x"));
    EXPECT_EQ(401, bad.Status());
    EXPECT_EQ("<html>denied</html>", bad.Body());
    EXPECT_EQ(401, Curl(Url(emu, "/x")).Status());
}

TEST_F(HttpEmulatorCurl, ConfiguredStatusLines)
{
    HttpEmulator emu(R"({"status":403,"status_body":"forbidden",
                         "routes":{"/teapot":{"status":418,"reason":"Short And Stout"},
                                   "/raw":{"status_line":"HTTP/1.0 200","body":"raw","content_length":true}}})");
    CurlResult f = Curl(Url(emu, "/video/mjpg.cgi"));
    EXPECT_EQ(403, f.Status());
    EXPECT_EQ("forbidden", f.Body());
    EXPECT_EQ(418, Curl(Url(emu, "/teapot")).Status());

    RawReply t = RawGet(emu.Port(), "/teapot", 0.3);
    EXPECT_EQ(0u, t.data.rfind("HTTP/1.1 418 Short And Stout\r\n", 0)) << t.data;
    RawReply raw = RawGet(emu.Port(), "/raw", 0.3);
    EXPECT_EQ(0u, raw.data.rfind("HTTP/1.0 200\r\n", 0)) << raw.data;
}

TEST_F(HttpEmulatorCurl, RefusesTheFirstConnections)
{
    for (const char* mode : {"close", "reset"}) {
        SCOPED_TRACE(mode);
        HttpEmulator emu(std::string(R"({"refuse_first":2,"refuse_mode":")") + mode +
                         R"(","body":"hi","content_length":true})");
        // 52: empty reply (accepted and closed). A reset right after the
        // accept reads as 56 (reset while receiving), as 7 when it beats
        // curl's connect check, or, when curl is slow to write its request
        // on a loaded machine, as 55 (reset while sending).
        bool reset = std::string(mode) == "reset";
        for (int i = 0; i < 2; ++i) {
            int code = Curl(Url(emu, "/")).exitCode;
            if (reset)
                EXPECT_TRUE(code == 56 || code == 7 || code == 55) << code;
            else
                EXPECT_EQ(52, code);
        }
        CurlResult third = Curl(Url(emu, "/"));
        EXPECT_EQ(0, third.exitCode);
        EXPECT_EQ("hi", third.Body());
        EXPECT_EQ(3u, emu.AcceptTimes().size());
        EXPECT_EQ(1u, emu.Requests().size());
    }
}

TEST_F(HttpEmulatorCurl, HeaderSplitByteByByteAndHeaderOver8192Bytes)
{
    HttpEmulator emu(
        R"({"split_header":true,"split_delay":0.001,"body":"tail","content_length":true,
                         "routes":{"/long":{"split_header":false,"header_padding":9000}}})");
    CurlResult r = Curl(Url(emu, "/split"));
    EXPECT_EQ(200, r.Status());
    EXPECT_EQ("tail", r.Body());
    RawReply split = RawGet(emu.Port(), "/split", 0.5);
    ASSERT_NE(std::string::npos, split.HeaderEnd());
    // Far more reads than one: the header really came in pieces.
    EXPECT_GT(split.reads, static_cast<int>(split.HeaderEnd() / 4));

    RawReply big = RawGet(emu.Port(), "/long", 0.3);
    ASSERT_NE(std::string::npos, big.HeaderEnd());
    EXPECT_GE(big.HeaderEnd(), 9000u);
    EXPECT_EQ("tail", big.data.substr(big.HeaderEnd()));
    EXPECT_EQ(200, Curl(Url(emu, "/long")).Status());
}

TEST_F(HttpEmulatorCurl, TlsWithSelfSignedCertificate)
{
    RequireProgram("openssl");
    char dir[] = "/tmp/rilo-http-tls-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string d = dir;
    std::string gen =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=camera -keyout " + d +
        "/key.pem -out " + d + "/cert.pem >/dev/null 2>&1";
    ASSERT_EQ(0, std::system(gen.c_str()));
    {
        HttpEmulator emu(R"({"tls_cert":")" + d + R"(/cert.pem","tls_key":")" + d +
                         R"(/key.pem","auth":"basic","user":"u","password":"p","body":"secure",
                             "content_length":true})");
        CurlResult r = Curl("-k --basic -u u:p " + Url(emu, "/video/mjpg.cgi", "https"));
        EXPECT_EQ(200, r.Status());
        EXPECT_EQ("secure", r.Body());
        EXPECT_NE(0, Curl(Url(emu, "/")).exitCode); // plain HTTP to a TLS port
    }
    std::system(("rm -rf " + d).c_str());
}

TEST(HttpEmulatorBody, CloseResetAndStallAfterNBytes)
{
    HttpEmulator emu(R"({"body":{"pattern":"0123456789"},
                         "routes":{"/close":{"close_after":25},"/reset":{"reset_after":13},
                                   "/stall":{"stall_after":17}}})");
    RawReply c = RawGet(emu.Port(), "/close", 2);
    EXPECT_EQ(RawReply::kEof, c.end);
    EXPECT_EQ("0123456789012345678901234", c.data.substr(c.HeaderEnd()));

    RawReply r = RawGet(emu.Port(), "/reset", 2);
    EXPECT_EQ(RawReply::kReset, r.end);
    EXPECT_LE(r.data.size() - r.HeaderEnd(), 13u);

    RawReply s = RawGet(emu.Port(), "/stall", 0.4);
    EXPECT_EQ(RawReply::kQuiet, s.end);
    EXPECT_EQ("01234567890123456", s.data.substr(s.HeaderEnd()));
}

TEST(HttpEmulatorBody, FileMultipartAtARateAndPluggableGenerator)
{
    HttpEmulator emu(R"({"routes":{
        "/file":{"body":{"file":"data.bin"}},
        "/mjpeg":{"body":{"multipart":{"boundary":"myb","parts":[{"hex":"ffd8aaffd9"}],"count":5,"fps":20}}},
        "/gen":{"body":{"generator":"gen.py:numbers","args":{"n":3}}},
        "/paced":{"body":{"pattern":"ab","total":400},"rate":2000,"chunk":100}}})");
    std::ofstream(emu.Dir() + "/data.bin", std::ios::binary) << std::string("A\0B", 3);
    std::ofstream(emu.Dir() + "/gen.py") << "def numbers(args, ctx):\n"
                                            "    for i in range(args['n']):\n"
                                            "        yield ('%d;' % i).encode()\n";
    RawReply f = RawGet(emu.Port(), "/file", 2);
    EXPECT_EQ(std::string("A\0B", 3), f.data.substr(f.HeaderEnd()));

    double t0 = MonotonicNow();
    RawReply m = RawGet(emu.Port(), "/mjpeg", 2);
    EXPECT_GE(MonotonicNow() - t0, 0.19); // 5 parts at 20 per second
    EXPECT_NE(std::string::npos,
              m.data.find("Content-Type: multipart/x-mixed-replace;boundary=myb\r\n"));
    std::string body = m.data.substr(m.HeaderEnd());
    size_t parts = 0;
    for (size_t p = 0; (p = body.find("--myb\r\n", p)) != std::string::npos; ++p)
        ++parts;
    EXPECT_EQ(5u, parts);
    EXPECT_NE(std::string::npos, body.find("x-ts-usec: "));
    EXPECT_NE(std::string::npos, body.find("\r\n\r\n\xff\xd8\xaa\xff\xd9\r\n"));

    RawReply g = RawGet(emu.Port(), "/gen", 2);
    EXPECT_EQ("0;1;2;", g.data.substr(g.HeaderEnd()));

    t0 = MonotonicNow();
    RawReply p = RawGet(emu.Port(), "/paced", 2);
    EXPECT_GE(MonotonicNow() - t0, 0.15); // 400 bytes at 2000 per second
    EXPECT_EQ(400u, p.data.size() - p.HeaderEnd());
}

TEST(HttpEmulatorLog, ExactRequestBytesAndMonotonicTimes)
{
    HttpEmulator emu(R"({"body":"x","content_length":true})");
    double before = MonotonicNow();
    RawReply r = RawGet(emu.Port(), "/video/mjpg.cgi?profileid=3", 0.3);
    double after = MonotonicNow();
    ASSERT_NE(std::string::npos, r.HeaderEnd());
    auto reqs = emu.Requests();
    ASSERT_EQ(1u, reqs.size());
    EXPECT_EQ("GET /video/mjpg.cgi?profileid=3 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
              reqs[0].Text());
    EXPECT_GE(reqs[0].time, before);
    EXPECT_LE(reqs[0].time, after);
    ASSERT_EQ(1u, emu.AcceptTimes().size());
    EXPECT_LE(emu.AcceptTimes()[0], reqs[0].time);
    emu.Stop();
    EXPECT_EQ(1u, emu.Requests().size()); // the log outlives the process
}
