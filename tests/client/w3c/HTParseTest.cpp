// URL splitting as the sessions use it, resolution against a related name,
// the port lookup's limits, the rewriting helpers, and every short input
// against the text bounds.
#include "w3c/HTMemory.h"
#include "w3c/HTParse.h"
#include "w3c/HTString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

std::string Parse(const char* name, int wanted, const char* related = "")
{
    HTMemoryText out(HTParse(name, related, wanted));
    return out ? out.get() : "(null)";
}

// The port of a host text, or -1 for none.
int Port(const char* host)
{
    int port = -1;
    const char* colon = HTParsePort(host, &port);
    if (!colon)
        return -1;
    EXPECT_EQ(*colon, ':');
    return port;
}

std::string Simplified(const char* url)
{
    std::string s(url);
    return HTSimplify(&s[0]);
}

std::string Relative(const char* name, const char* related)
{
    HTMemoryText out(HTRelative(name, related));
    return out.get();
}

TEST(HTParse, CameraUrlTable)
{
    struct Row {
        const char* url;
        int mask;
        const char* want;
        int port; // of the mask-8 text; -1: none
    };
    const char* cam = "http://192.0.2.7:80/video/mjpg.cgi?profileid=3#top";
    const Row rows[] = {
        // The scheme as written; callers compare it with "HTTP" in any case.
        {"HTTP://192.0.2.7/video.cgi", 16, "HTTP", -1},
        {"hTtP://192.0.2.7/video.cgi", 17, "hTtP:", -1},
        {cam, 16, "http", 80},
        {cam, 8, "192.0.2.7:80", 80},
        {cam, 9, "//192.0.2.7:80", 80},
        // Path and query kept, fragment dropped by mask 5.
        {cam, 5, "/video/mjpg.cgi?profileid=3", 80},
        {cam, 4, "video/mjpg.cgi?profileid=3", 80},
        {cam, 2, "top", 80},
        {cam, 31, cam, 80},
        {"URL:http://192.0.2.7:8081/a", 16, "http", 8081},
        {"url:URL:http://192.0.2.7/a", 8, "192.0.2.7", -1},
        // White space before the scheme's end is dropped.
        {"ht\ttp://192.0.2.7/a", 16, "http", -1},
        // A space ends the URL, a fragment after it too.
        {"http://192.0.2.7/video.cgi?x=1 HTTP/1.1#f", 7, "/video.cgi?x=1", -1},
        {"http://192.0.2.7/a#frag ment", 3, "#frag", -1},
        {"http://[2001:db8::7]:8080/video.cgi", 8, "[2001:db8::7]:8080", 8080},
        {"http://[2001:db8::7]/video.cgi", 8, "[2001:db8::7]", -1},
        {"http://192.0.2.7:80x/a", 8, "192.0.2.7:80x", -1},
        // No port: the helper gives none; 80 is the session's default.
        {"http://192.0.2.7", 8, "192.0.2.7", -1},
        {"http://192.0.2.7", 5, "/", -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Parse(r.url, r.mask), r.want) << r.url << " mask " << r.mask;
        EXPECT_EQ(Port(Parse(r.url, PARSE_HOST).c_str()), r.port) << r.url;
    }
    EXPECT_EQ(strcasecomp(Parse("hTtP://h/", PARSE_ACCESS).c_str(), "HTTP"), 0);
}

TEST(HTParse, CompletesFromRelatedName)
{
    const char* base = "http://192.0.2.7/cgi/old.cgi?a=1#top";
    EXPECT_EQ(Parse("new.cgi?b=2", PARSE_ALL, base), "http://192.0.2.7/cgi/new.cgi?b=2");
    EXPECT_EQ(Parse("/x", PARSE_ALL, base), "http://192.0.2.7/x#top");
    EXPECT_EQ(Parse("", PARSE_ALL, base), "http://192.0.2.7/cgi/old.cgi?a=1");
    // Another scheme or host: nothing else of the related name is used.
    EXPECT_EQ(Parse("ftp:file", PARSE_ALL, base), "ftp:file");
    EXPECT_EQ(Parse("//198.51.100.2", PARSE_ALL, base), "http://198.51.100.2/");
    EXPECT_EQ(Parse(nullptr, PARSE_ALL, base), "(null)");
    EXPECT_EQ(Parse("http://h/p", PARSE_ALL, nullptr), "http://h/p");
}

TEST(HTParsePort, RangeAndBrackets)
{
    EXPECT_EQ(Port("192.0.2.7:0"), 0);
    EXPECT_EQ(Port("192.0.2.7:65535"), 65535);
    EXPECT_EQ(Port("[2001:db8::1]:8080"), 8080);
    int port = -1;
    EXPECT_EQ(HTParsePort("[2001:db8::1]", &port), nullptr);
    EXPECT_EQ(port, 0);
    EXPECT_EQ(Port("192.0.2.7:"), -1);
    EXPECT_EQ(Port(""), -1);
    EXPECT_EQ(Port(nullptr), -1);
    // Above 65535 is no port, however many digits (2^32 + 80 among them).
    EXPECT_EQ(Port("192.0.2.7:65536"), -1);
    EXPECT_EQ(Port("192.0.2.7:4294967376"), -1);
    EXPECT_EQ(HTParsePort("192.0.2.7:99999999999999999999999", &port), nullptr);
    EXPECT_EQ(port, 0);
    // A later port still counts; the skipped digits' value is kept on failure.
    EXPECT_EQ(Port("a:1b:81"), 81);
    EXPECT_EQ(HTParsePort("192.0.2.7:80x", &port), nullptr);
    EXPECT_EQ(port, 80);
}

TEST(HTParse, RewritingHelpers)
{
    EXPECT_EQ(Simplified("HTTP://Cam.Example.:80/a/./b//c/../d?x=/../#f"),
              "http://cam.example/a/b/d?x=/../#f");
    EXPECT_EQ(Simplified("ftp://User@H:21/"), "ftp://User@h/");
    EXPECT_EQ(Simplified("gopher://h:70"), "gopher://h");
    EXPECT_EQ(Simplified("http://h.:8080/a/.."), "http://h:8080/");
    EXPECT_EQ(Simplified("https://h:80/"), "https://h:80/");
    EXPECT_EQ(Simplified("/../a/."), "/a/");
    EXPECT_EQ(Simplified("../a/./../../b"), "../../b");
    EXPECT_EQ(Simplified("a/.."), "");

    EXPECT_EQ(Relative("http://h/a/b/c", "http://h/a/x"), "b/c");
    EXPECT_EQ(Relative("http://h/a", "http://h/b/c/d"), "../../a");
    EXPECT_EQ(Relative("http://h/a/", "http://h/a/x"), "./");
    EXPECT_EQ(Relative("http://g/a", "http://h/a"), "http://g/a");
    EXPECT_EQ(Relative("http://h/a?x/y", "http://h/a?x/z"), "a?x/y");

    EXPECT_TRUE(HTURL_isAbsolute("http:x"));
    EXPECT_FALSE(HTURL_isAbsolute("/a:b"));
    EXPECT_FALSE(HTURL_isAbsolute("a?b:c"));
    EXPECT_FALSE(HTURL_isAbsolute(""));

    char text[] = "ok\t\xa0\xfe-\x7f rest";
    EXPECT_TRUE(HTCleanTelnetString(text));
    EXPECT_STREQ(text, "ok\t\xa0\xfe-");
    EXPECT_FALSE(HTCleanTelnetString(text));
}

// Every text of up to three characters from the URL's marks, in a block of
// exactly its size, so that the sanitizer build sees any step past its end.
TEST(HTParse, ShortInputsStayInBounds)
{
    const std::string marks = ":/[]#? @.0aU\t";
    std::vector<std::string> texts{""};
    for (size_t i = 0; i < texts.size() && texts[i].size() < 3; ++i) {
        for (char c : marks)
            texts.push_back(texts[i] + c);
    }
    auto exact = [](const std::string& s) {
        std::unique_ptr<char[]> p(new char[s.size() + 1]);
        std::memcpy(p.get(), s.c_str(), s.size() + 1);
        return p;
    };
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string& t = texts[i];
        const std::string& rel = texts[texts.size() - 1 - i];
        auto name = exact(t);
        auto related = exact(rel);
        for (int mask = 0; mask <= PARSE_ALL; ++mask) {
            HTMemoryText out(HTParse(name.get(), related.get(), mask));
            ASSERT_TRUE(out);
            EXPECT_LE(std::strlen(out.get()), t.size() + rel.size() + 5) << t << " " << mask;
        }
        int port = -1;
        const char* colon = HTParsePort(name.get(), &port);
        EXPECT_TRUE(colon ? (*colon == ':' && port >= 0) : port == 0) << t;
        HTSimplify(name.get());
        EXPECT_LE(std::strlen(name.get()), t.size());
        HTMemoryText rel2(HTRelative(related.get(), exact(t).get()));
        HTCleanTelnetString(related.get());
    }
}

} // namespace
