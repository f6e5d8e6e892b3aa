// Field lookup, Digest challenge and answer, status line, and the receive
// path fed by hand (no thread, no network).
#include "http/CHTTPCtrl.h"
#include "http/HttpParse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool Field(const std::string& data, const char* name, std::string* value, size_t outLen = 256)
{
    std::string out(outLen, '\x7f');
    bool ok = GetFiledValue(data.data(), data.size(), name, &out[0], outLen);
    *value = ok ? std::string(out.c_str()) : "";
    return ok;
}

TEST(GetFiledValue, MatchesOnlyAtLineStartsAndKeepsTheColon)
{
    const std::string h = "HTTP/1.1 200 OK\r\nX-Content-Type: text/evil\r\n"
                          "Content-Type-Options: nosniff\r\ncontent-TYPE: image/jpeg\r\n\r\n";
    std::string v;
    ASSERT_TRUE(Field(h, "Content-Type", &v));
    EXPECT_EQ(v, ": image/jpeg");
    ASSERT_TRUE(Field("x-ts-sec: 12\r\nrest", "x-ts-sec:", &v));
    EXPECT_EQ(v, " 12");
    EXPECT_FALSE(Field("HTTP/1.1 200 OK\r\nX-Content-Type: a\r\n\r\n", "content-type", &v));
}

TEST(GetFiledValue, BoundedByInputAndOutput)
{
    std::string v;
    // No line end inside the data: the value may go on, so it is not taken.
    EXPECT_FALSE(Field("Content-Length: 12", "content-length", &v));
    // Too long for the output.
    EXPECT_FALSE(Field("Content-Type: 0123456789\r\n", "content-type", &v, 8));
    EXPECT_TRUE(Field("Content-Type: 0123456789\r\n", "content-type", &v, 13));
    EXPECT_EQ(v, ": 0123456789");
    // Name not shorter than the data, empty value.
    EXPECT_FALSE(Field("Content-Type", "content-type", &v));
    EXPECT_FALSE(Field("Content-Type\r\n\r\n", "content-type", &v));
    // Data containing NUL bytes is still read by length.
    std::string bin("\xff\xd8\0\0\r\nx-ts-usec: 5\r\n", 19);
    ASSERT_TRUE(Field(bin, "x-ts-usec:", &v));
    EXPECT_EQ(v, " 5");
}

TEST(DigestChallenge, OnlyFromWwwAuthenticateAndBounded)
{
    const std::string h =
        "HTTP/1.1 401 Unauthorized\r\nX-Info: nonce=\"evil\", realm=\"evil\"\r\n"
        "WWW-Authenticate: Basic realm=\"b\"\r\n"
        "www-authenticate: Basic realm=\"x, y\", Digest qop=\"auth\", realm=\"cam \\\"1\\\"\", "
        "nonce=abc123, stale=TRUE\r\n\r\n";
    DigestChallenge ch{};
    ASSERT_TRUE(ParseDigestChallenge(h.data(), h.size(), &ch));
    EXPECT_STREQ(ch.nonce, "abc123");
    EXPECT_STREQ(ch.realm, "cam \"1\"");
    EXPECT_STREQ(ch.qop, "auth");
    EXPECT_TRUE(ch.stale);

    std::string longNonce = "HTTP/1.1 401 X\r\nWWW-Authenticate: Digest realm=\"r\", nonce=\"" +
                            std::string(200, 'n') + "\"\r\n\r\n";
    EXPECT_FALSE(ParseDigestChallenge(longNonce.data(), longNonce.size(), &ch));
    std::string open = "HTTP/1.1 401 X\r\nWWW-Authenticate: Digest realm=\"r, nonce=\"abc";
    EXPECT_FALSE(ParseDigestChallenge(open.data(), open.size(), &ch));
    std::string none = "HTTP/1.1 401 X\r\nX-WWW-Authenticate: Digest nonce=\"a\"\r\n\r\n";
    EXPECT_FALSE(ParseDigestChallenge(none.data(), none.size(), &ch));
}

TEST(DigestAnswer, MatchesTheRfc2617Example)
{
    DigestChallenge ch{};
    std::strcpy(ch.realm, "testrealm@host.com");
    std::strcpy(ch.nonce, "dcd98b7102dd2f0e8b11d0f600bfb0c093");
    std::strcpy(ch.qop, "auth");
    char out[1024];
    ASSERT_TRUE(BuildDigestAuthorization("GET", "/dir/index.html", "Mufasa", "Circle Of Life", ch,
                                         "0a4f113b", out, sizeof out));
    EXPECT_NE(std::strstr(out, "response=\"6629fae49393a05397450978507c4ef1\""), nullptr) << out;
    EXPECT_EQ(std::string(out).rfind("Digest username=\"Mufasa\",realm=\"testrealm@host.com\","
                                     "uri=\"/dir/index.html\",nonce=",
                                     0),
              0u);
    // Too small an output is refused, not cut.
    char small[64];
    EXPECT_FALSE(BuildDigestAuthorization("GET", "/", "u", "p", ch, "c", small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(StatusCode, FirstLineOnly)
{
    auto code = [](const std::string& s) { return ParseStatusCode(s.data(), s.size()); };
    EXPECT_EQ(code("HTTP/1.1 401 Unauthorized\r\n\r\n"), 401);
    EXPECT_EQ(code("HTTP/1.1200\r\nX-A: 404\r\n\r\n"), 0);
    EXPECT_EQ(code("HTTP/1.0 99999999999999999"), 999999999);
    EXPECT_EQ(code(""), 0);
}

TEST(ReplyEndsConnection, CloseTokenOrHttp10WithoutKeepAlive)
{
    auto ends = [](const std::string& s) { return ReplyEndsConnection(s.data(), s.size()); };
    EXPECT_FALSE(ends("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_TRUE(ends("HTTP/1.1 401 Unauthorized\r\nconnection:  Close \r\n\r\n"));
    EXPECT_TRUE(ends("HTTP/1.1 401 X\r\nConnection: TE\r\nConnection: upgrade, close\r\n\r\n"));
    EXPECT_FALSE(ends("HTTP/1.1 401 X\r\nConnection: closed\r\nX-Connection: close\r\n\r\n"));
    EXPECT_TRUE(ends("HTTP/1.0 401 Unauthorized\r\n\r\n"));
    EXPECT_FALSE(ends("HTTP/1.0 401 X\r\nConnection: Keep-Alive\r\n\r\n"));
    EXPECT_TRUE(ends("HTTP/1.0 401 X\r\nConnection: keep-alive, close\r\n\r\n"));
}

// A worker without a thread whose receive path is fed by hand.
class Offline : public CHTTPCtrl {
public:
    explicit Offline(int authType = 2, uint32_t size = 0) : CHTTPCtrl(1124, false, authType)
    {
        if (size)
            m_dwSizeContent = size;
        PrepareContentBuffer(true);
    }
    ~Offline() override { PrepareContentBuffer(false); }
    void ProcessContent() override
    {
        ++calls;
        firstAtCall.append(reinterpret_cast<char*>(m_pContent), m_dwContent);
        m_dwContent = 0;
    }
    unsigned long Feed(const std::string& s)
    {
        std::string copy = s;
        return OnDataReceived(reinterpret_cast<unsigned char*>(&copy[0]), copy.size());
    }
    bool InContent() const { return m_bInContent; }
    bool Failed() const { return m_bRxFailed; }
    std::string ContentType() const { return m_szContentType; }
    int calls = 0;
    std::string firstAtCall;
};

TEST(ReceivePath, HeaderAndBodyInOneChunk)
{
    Offline w;
    std::string reply =
        "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n--b\r\nDATA";
    EXPECT_EQ(w.Feed(reply), reply.size());
    EXPECT_TRUE(w.InContent());
    EXPECT_EQ(w.firstAtCall, "--b\r\nDATA");
    EXPECT_EQ(w.ContentType(), ": multipart/x-mixed-replace;boundary=b");
}

TEST(ReceivePath, HeaderSplitAtEveryByte)
{
    Offline w;
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\nBODY";
    for (char c : reply)
        EXPECT_EQ(w.Feed(std::string(1, c)), 1u);
    EXPECT_EQ(w.firstAtCall, "BODY");
    EXPECT_EQ(w.ContentType(), ": image/jpeg");
}

TEST(ReceivePath, RefusedOrOversizeHeaderDropsTheRest)
{
    Offline refused;
    refused.Feed("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nabc");
    EXPECT_TRUE(refused.Failed());
    EXPECT_EQ(refused.firstAtCall, "");

    Offline big;
    std::string h = "HTTP/1.1 200 OK\r\n" + std::string(9000, 'x');
    EXPECT_EQ(big.Feed(h), h.size());
    EXPECT_TRUE(big.Failed());
    EXPECT_FALSE(big.InContent());
    // A header that ends exactly at the buffer's end still counts.
    Offline edge;
    std::string e = "HTTP/1.1 200 OK\r\nX: " + std::string(8192 - 20 - 4, 'y') + "\r\n\r\n";
    ASSERT_EQ(e.size(), 8192u);
    edge.Feed(e + "tail");
    EXPECT_TRUE(edge.InContent());
    EXPECT_EQ(edge.firstAtCall, "tail");
}

TEST(ReceivePath, ContentLargerThanTheBufferIsTakenInPieces)
{
    Offline w(2, 16);
    w.Feed("HTTP/1.1 200 OK\r\n\r\n");
    std::string body(100, 'b');
    EXPECT_EQ(w.Feed(body), body.size());
    EXPECT_EQ(w.firstAtCall, body);
    EXPECT_GE(w.calls, 7);
}

} // namespace
