// The DHCP probe through the exported functions, inside a netlab test LAN:
// a real DHCP server (dnsmasq) in a camera namespace, a silent listener that
// records the request, and port 68 already taken.
#include "RiloLANFinderLib.h"

#include "ApiNetUtil.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>
#include <string>

using apitest::CamEnv;
using apitest::Child;
using apitest::Clock;
using apitest::SecondsSince;
using apitest::StartCamera;

namespace {

const char kDnsmasq[] = "/usr/sbin/dnsmasq";

std::string TempDir()
{
    char tmpl[] = "/tmp/rilo-dhcp-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

// A handle that found the camera of cam1, so that index 0 exists.
struct Searched {
    Searched() : cam(StartCamera(1)), h(RiloCreateFinder())
    {
        testing::internal::CaptureStdout();
        rc = RiloFinderSearch(h, 0);
        testing::internal::GetCapturedStdout();
    }
    ~Searched() { RiloDestroyFinder(h); }
    std::unique_ptr<testsupport::LandapEmulator> cam;
    void* h;
    int rc = -1;
};

int Probe(void* h, char* text, short* len, std::string* out)
{
    testing::internal::CaptureStdout();
    int rc = RiloDHCPDiscover(h, 0, text, len);
    *out = testing::internal::GetCapturedStdout();
    return rc;
}

} // namespace

TEST(FinderApiDHCP, ServerAddressComesBack)
{
    ASSERT_EQ(0, access(kDnsmasq, X_OK))
        << "dnsmasq is needed (scripts/setup installs dnsmasq-base)";
    std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    Child server({"ip", "netns", "exec", CamEnv(0, "NS"), kDnsmasq, "--conf-file=/dev/null",
                  "--keep-in-foreground", "--log-facility=-", "--port=0", "--interface=eth0",
                  "--bind-interfaces", "--no-ping", "--user=root", "--group=root",
                  "--dhcp-range=192.0.2.100,192.0.2.150,255.255.255.0",
                  "--dhcp-leasefile=" + dir + "/leases", "--pid-file=" + dir + "/pid"});
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(apitest::WaitForFile(dir + "/pid", 30)) << "dnsmasq did not start";

    Searched s;
    ASSERT_EQ(0, s.rc);
    char text[16] = {};
    short len = sizeof text;
    std::string out;
    ASSERT_EQ(RILO_FINDER_OK, Probe(s.h, text, &len, &out)) << out;
    EXPECT_STREQ("192.0.2.2", text);
    EXPECT_EQ(10, len);

    char small[16] = {};
    len = 9;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, Probe(s.h, small, &len, &out)) << out;
    EXPECT_EQ(10, len);
    EXPECT_STREQ("", small);
    server.Stop();
    std::string rm = "rm -rf " + dir;
    EXPECT_EQ(0, std::system(rm.c_str()));
}

TEST(FinderApiDHCP, NoServerGivesMinus7AfterTwoSecondsAndTheRequestIsExact)
{
    std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    // Records the first datagram on port 67 and answers nothing.
    const std::string script = "import socket,sys\n"
                               "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
                               "s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1)\n"
                               "s.bind(('0.0.0.0',67))\n"
                               "open(sys.argv[1]+'/ready','w').close()\n"
                               "d,a=s.recvfrom(4096)\n"
                               "open(sys.argv[1]+'/req.tmp','w').write(d.hex())\n"
                               "import os; os.rename(sys.argv[1]+'/req.tmp',sys.argv[1]+'/req')\n";
    Child listener({"ip", "netns", "exec", CamEnv(0, "NS"), "python3", "-c", script, dir});
    ASSERT_TRUE(apitest::WaitForFile(dir + "/ready", 30));

    Searched s;
    ASSERT_EQ(0, s.rc);
    char text[16] = "unchanged";
    short len = sizeof text;
    std::string out;
    auto t0 = Clock::now();
    EXPECT_EQ(RILO_FINDER_NOT_AVAILABLE, Probe(s.h, text, &len, &out));
    double took = SecondsSince(t0);
    EXPECT_GE(took, 1.9);
    EXPECT_LT(took, 3.5);
    EXPECT_EQ(0, len);
    EXPECT_NE(std::string::npos, out.find("No DHCP Server!")) << out;

    ASSERT_TRUE(apitest::WaitForFile(dir + "/req", 10));
    std::ifstream in(dir + "/req");
    std::string hex;
    in >> hex;
    ASSERT_EQ(600u, hex.size()) << "300 bytes";
    std::vector<uint8_t> req;
    for (size_t k = 0; k < hex.size(); k += 2)
        req.push_back(uint8_t(std::stoi(hex.substr(k, 2), nullptr, 16)));
    const uint8_t head[12] = {1, 1, 6, 0, 0x83, 0x78, 0x32, 0xE8, 0, 0, 0x80, 0};
    EXPECT_EQ(0, std::memcmp(head, req.data(), sizeof head));
    testsupport::Mac mac = testsupport::ParseMac(testsupport::NetlabEnv("NETLAB_HOST_MAC"));
    EXPECT_EQ(0, std::memcmp(mac.data(), req.data() + 28, 6)) << "chaddr is the interface's MAC";
    const uint8_t tail[8] = {0x63, 0x82, 0x53, 0x63, 53, 1, 1, 0xFF};
    EXPECT_EQ(0, std::memcmp(tail, req.data() + 236, sizeof tail));
    for (size_t k = 244; k < req.size(); ++k)
        EXPECT_EQ(0, req[k]) << k;
    listener.Stop();
    std::string rm = "rm -rf " + dir;
    EXPECT_EQ(0, std::system(rm.c_str()));
}

TEST(FinderApiDHCP, PortInUseIsNoVerdictOnTheNetwork)
{
    Searched s;
    ASSERT_EQ(0, s.rc);
    int taken = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(taken, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(68);
    ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a));

    char text[16];
    short len = 0;
    std::string out;
    auto t0 = Clock::now();
    EXPECT_EQ(RILO_FINDER_FAIL, Probe(s.h, text, &len, &out))
        << "not nothing-available: no probe was made";
    EXPECT_LT(SecondsSince(t0), 1.5) << "no two-second wait for a reply";
    EXPECT_NE(std::string::npos, out.find("cannot bind UDP port 68")) << out;
    EXPECT_EQ(std::string::npos, out.find("No DHCP Server!")) << out;
    close(taken);

    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloDHCPDiscover(s.h, 0, nullptr, &len));
}
