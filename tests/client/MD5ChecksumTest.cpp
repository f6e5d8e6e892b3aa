#include "CMD5Checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Md5(const std::string& s)
{
    char out[33];
    CMD5Checksum::GetMD5(reinterpret_cast<const uint8_t*>(s.data()), unsigned(s.size()), out);
    return std::string(out);
}

std::string Md5(const std::vector<uint8_t>& v)
{
    char out[33];
    CMD5Checksum::GetMD5(v.data(), unsigned(v.size()), out);
    return std::string(out);
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = uint8_t(seed >> 16);
    }
    return v;
}

// The md5sum program's digest of data, through a temporary file.
std::string Md5sum(const std::vector<uint8_t>& data)
{
    char path[] = "/tmp/rilo-md5-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "mkstemp failed";
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = write(fd, data.data() + off, data.size() - off);
        if (n <= 0)
            break;
        off += size_t(n);
    }
    close(fd);
    std::string cmd = std::string("md5sum ") + path;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    if (p) {
        char buf[128];
        if (fgets(buf, sizeof buf, p))
            out = buf;
        pclose(p);
    }
    unlink(path);
    return out.size() >= 32 ? out.substr(0, 32) : "md5sum failed: " + out;
}

TEST(MD5Checksum, Rfc1321Vectors)
{
    EXPECT_EQ(Md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5("1234567890123456789012345678901234567890"
                  "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// The padding boundaries (55/56 bytes, one block, one block plus one) and a
// large input against an independent implementation.
TEST(MD5Checksum, MatchesMd5sumAcrossPaddingBoundaries)
{
    for (size_t n : {55u, 56u, 63u, 64u, 65u, 1048576u}) {
        std::vector<uint8_t> data = Pattern(n, uint32_t(n));
        EXPECT_EQ(Md5(data), Md5sum(data)) << "length " << n;
    }
}

TEST(MD5Checksum, UpdateInPiecesEqualsOneShot)
{
    std::vector<uint8_t> data = Pattern(10000, 7);
    const std::string whole = Md5(data);
    for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 4097u}) {
        CMD5Checksum md5;
        for (size_t off = 0; off < data.size(); off += piece)
            md5.Update(data.data() + off, std::min(piece, data.size() - off));
        char out[33];
        md5.Final(out);
        EXPECT_EQ(std::string(out), whole) << "pieces of " << piece;
    }
}

TEST(MD5Checksum, TextIsAlways32LowerCaseDigits)
{
    // Digests with zero and single-digit bytes ("00", "04", "09" in the first).
    for (const char* s : {"", "a", "The quick brown fox jumps over the lazy dog"}) {
        std::string d = Md5(s);
        ASSERT_EQ(d.size(), 32u) << s;
        for (char c : d)
            EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << d;
    }
    EXPECT_EQ(Md5("The quick brown fox jumps over the lazy dog"),
              "9e107d9d372bb6826bd81d3542a419d6");
}

} // namespace
