// The launcher starts the emulator inside a camera namespace of the test LAN
// (scripts/netlab), where the client's end-to-end tests will find it.

#include "HttpEmulator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

} // namespace

TEST(HttpEmulatorNetns, ServesFromACameraNamespace)
{
    const std::string ns = Env("NETLAB_CAM0_NS"), addr = Env("NETLAB_CAM0_ADDR");
    ASSERT_FALSE(ns.empty()) << "run under scripts/netlab";
    ASSERT_EQ(0, std::system("command -v curl >/dev/null 2>&1")) << "curl is missing";
    testsupport::HttpEmulator cam(R"({"auth":"basic","user":"u","password":"p",
                                      "body":"from the camera","content_length":true})",
                                  ns, addr, 80);
    EXPECT_EQ(80, cam.Port());
    std::string cmd = "curl -s -m 5 --basic -u u:p http://" + addr + "/video/mjpg.cgi";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    char buf[256] = {};
    size_t n = fread(buf, 1, sizeof buf - 1, p);
    EXPECT_EQ(0, pclose(p));
    EXPECT_EQ("from the camera", std::string(buf, n));
    auto reqs = cam.Requests();
    ASSERT_EQ(1u, reqs.size());
    EXPECT_NE(std::string::npos, reqs[0].Text().find("Host: " + addr + "\r\n"));
}
