#include "Common.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string Enc(const std::string& in)
{
    std::string out(4 * ((in.size() + 2) / 3) + 1, 'X');
    int n = Base64_Encode(reinterpret_cast<const unsigned char*>(in.data()), unsigned(in.size()),
                          reinterpret_cast<unsigned char*>(&out[0]));
    EXPECT_EQ(out[size_t(n)], '\0');
    out.resize(size_t(n));
    return out;
}

std::string Dec(const std::string& in, int* n = nullptr)
{
    std::string out(in.size() + 4, 'X');
    int k = Base64_Decode(reinterpret_cast<const unsigned char*>(in.data()), unsigned(in.size()),
                          reinterpret_cast<unsigned char*>(&out[0]));
    if (n)
        *n = k;
    EXPECT_EQ(out[size_t(k)], '\0');
    out.resize(size_t(k));
    return out;
}

TEST(Base64, Rfc4648Vectors)
{
    const char* vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(Enc(v[0]), v[1]) << v[0];
        EXPECT_EQ(Dec(v[1]), v[0]) << v[1];
    }
}

TEST(Base64, AllByteValuesRoundTrip)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(char(i));
    for (size_t len = 0; len <= all.size(); len += 37)
        EXPECT_EQ(Dec(Enc(all.substr(0, len))), all.substr(0, len));
}

TEST(Base64, DecoderSkipsBlanksAndDropsIncompleteGroup)
{
    int n = -1;
    EXPECT_EQ(Dec("YW Jj\r\n", &n), "abc");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(Dec("YWI=", &n), "ab");
    EXPECT_EQ(n, 2);
    EXPECT_EQ(Dec("YWJ", &n), "");
    EXPECT_EQ(n, 0);
}

TEST(AuthText, JoinsAndSplits)
{
    char out[64];
    EXPECT_EQ(EncBase64AuthData("", "", out, sizeof out), 1);
    EXPECT_STREQ(out, "Og==");
    EncBase64AuthData("admin", "secret", out, sizeof out);
    EXPECT_STREQ(out, "YWRtaW46c2VjcmV0");

    char user[16], pw[16];
    ASSERT_EQ(DecBase64AuthData(Enc("ab:c:d").c_str(), user, sizeof user, pw, sizeof pw), 1);
    EXPECT_STREQ(user, "ab");
    EXPECT_STREQ(pw, "c:d");
    ASSERT_EQ(DecBase64AuthData(Enc("abcde:x").c_str(), user, 3, pw, sizeof pw), 1);
    EXPECT_STREQ(user, "ab");
    strcpy(user, "keep");
    EXPECT_EQ(DecBase64AuthData(Enc("nocolon").c_str(), user, sizeof user, pw, sizeof pw), 0);
    EXPECT_STREQ(user, "keep");
}

TEST(AuthText, LongCredentialsAreNotCut)
{
    // Two full 1024-byte fields must come out whole, not overrun a work buffer.
    std::string user(1023, 'u'), pw(1023, 'p');
    std::string out(4096, '\0');
    EncBase64AuthData(user.c_str(), pw.c_str(), &out[0], unsigned(out.size()));
    EXPECT_EQ(Dec(out.c_str()), user + ":" + pw);

    char small[8];
    memset(small, 'Z', sizeof small);
    EncBase64AuthData(user.c_str(), pw.c_str(), small, sizeof small);
    EXPECT_EQ(std::string(small, 8), Enc(user + ":" + pw).substr(0, 8));
}

TEST(Clocks, AgreeWithEachOther)
{
    // Each reading is bracketed by the steady clock: a loaded machine may
    // stretch the sleep, but both clocks must see the same stretch.
    using Steady = std::chrono::steady_clock;
    auto ms = [](Steady::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    auto a0 = Steady::now();
    uint64_t us0 = GetTime();
    uint32_t ms0 = GetTickCount();
    auto a1 = Steady::now();
    usleep(200000);
    auto b0 = Steady::now();
    uint64_t us1 = GetTime();
    uint32_t ms1 = GetTickCount();
    auto b1 = Steady::now();
    const double least = ms(b0 - a1) - 2.0, most = ms(b1 - a0) + 2.0;
    EXPECT_GE(least, 190.0);
    EXPECT_GE(double(us1 - us0) / 1000.0, least);
    EXPECT_LE(double(us1 - us0) / 1000.0, most);
    EXPECT_GE(double(uint32_t(ms1 - ms0)), least);
    EXPECT_LE(double(uint32_t(ms1 - ms0)), most);
    EXPECT_NEAR(double(us0 / 1000 % 0x100000000ull), double(ms0), 2.0 + ms(a1 - a0));
}

} // namespace
