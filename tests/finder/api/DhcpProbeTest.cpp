// The DHCP probe through the exported functions, inside a netlab test LAN:
// real DHCP servers in camera namespaces (dnsmasq, at once or with a reply
// delay, and busybox udhcpd, which checks the address by ARP before it
// offers), a silent listener that records the requests, and port 68
// already taken.
#include "RiloLANFinderLib.h"

#include "ApiNetUtil.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using apitest::CamEnv;
using apitest::Child;
using apitest::Clock;
using apitest::SecondsSince;
using apitest::StartCamera;

namespace {

const char kDnsmasq[] = "/usr/sbin/dnsmasq";
const char kBusybox[] = "/usr/bin/busybox";

std::string TempDir()
{
    char tmpl[] = "/tmp/rilo-dhcp-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

// Whether the process (and so its network namespace) has a UDP socket on port.
bool UdpPortOpen(pid_t pid, unsigned port)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/net/udp");
    char want[16];
    std::snprintf(want, sizeof want, ":%04X ", port);
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if ((local + " ").find(want) != std::string::npos)
            return true;
    }
    return false;
}

enum class DhcpServer {
    kDnsmasq,        // answers at once
    kDnsmasqDelayed, // --dhcp-reply-delay=3
    kUdhcpd,         // busybox udhcpd: an ARP check of about 2 s before each offer
};

// A DHCP server in netlab camera namespace cam, its files in a folder of its
// own, serving addresses from .100; ready once it listens on port 67.
class DhcpServerProcess {
public:
    DhcpServerProcess(DhcpServer kind, int cam) : dir_(TempDir()), child_(Argv(kind, cam)) {}
    ~DhcpServerProcess()
    {
        child_.Stop();
        if (!dir_.empty())
            (void)std::system(("rm -rf " + dir_).c_str());
    }
    bool WaitReady()
    {
        return child_.Running() &&
               apitest::WaitUntil([&] { return UdpPortOpen(child_.Pid(), 67); }, 30);
    }

private:
    std::vector<std::string> Argv(DhcpServer kind, int cam)
    {
        std::vector<std::string> argv = {"ip", "netns", "exec", CamEnv(cam, "NS")};
        if (kind == DhcpServer::kUdhcpd) {
            std::ofstream(dir_ + "/udhcpd.conf")
                << "start 192.0.2.100\nend 192.0.2.150\ninterface eth0\nlease_file " << dir_
                << "/leases\npidfile " << dir_ << "/pid\nopt subnet 255.255.255.0\n";
            argv.insert(argv.end(), {kBusybox, "udhcpd", "-f", dir_ + "/udhcpd.conf"});
            return argv;
        }
        argv.insert(argv.end(),
                    {kDnsmasq, "--conf-file=/dev/null", "--keep-in-foreground", "--log-facility=-",
                     "--port=0", "--interface=eth0", "--bind-interfaces", "--no-ping",
                     "--user=root", "--group=root",
                     "--dhcp-range=192.0.2.100,192.0.2.150,255.255.255.0",
                     "--dhcp-leasefile=" + dir_ + "/leases", "--pid-file=" + dir_ + "/pid"});
        if (kind == DhcpServer::kDnsmasqDelayed)
            argv.push_back("--dhcp-reply-delay=3");
        return argv;
    }

    std::string dir_;
    Child child_;
};

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

void SendUdp(const std::string& addr, unsigned port, const std::string& data)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = testsupport::ParseAddr(addr.c_str());
    EXPECT_EQ(ssize_t(data.size()),
              sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to));
    close(fd);
}

// A probe from a handle that found the camera reports the server at addr.
void ExpectServerFound(const Searched& s, const char* addr)
{
    ASSERT_EQ(0, s.rc);
    char text[16] = {};
    short len = sizeof text;
    std::string out;
    ASSERT_EQ(RILO_FINDER_OK, Probe(s.h, text, &len, &out)) << out;
    EXPECT_STREQ(addr, text);
    EXPECT_EQ(short(std::strlen(addr) + 1), len);
    EXPECT_EQ(std::string::npos, out.find("No DHCP Server!")) << out;
}

} // namespace

TEST(FinderApiDHCP, ServerAddressComesBack)
{
    ASSERT_EQ(0, access(kDnsmasq, X_OK))
        << "dnsmasq is needed (scripts/setup installs dnsmasq-base)";
    DhcpServerProcess server(DhcpServer::kDnsmasq, 0);
    ASSERT_TRUE(server.WaitReady()) << "dnsmasq did not start";

    Searched s;
    ExpectServerFound(s, "192.0.2.2");

    char small[16] = {};
    short len = 9;
    std::string out;
    EXPECT_EQ(RILO_FINDER_TOO_SMALL, Probe(s.h, small, &len, &out)) << out;
    EXPECT_EQ(10, len);
    EXPECT_STREQ("", small);
}

// Servers that answer after the first two seconds: the DISCOVER goes out
// again and their answer still counts.
class FinderApiDHCPLate : public testing::TestWithParam<DhcpServer> {};

TEST_P(FinderApiDHCPLate, ServerAnsweringAfterTheFirstWaitIsFound)
{
    ASSERT_EQ(0, access(GetParam() == DhcpServer::kUdhcpd ? kBusybox : kDnsmasq, X_OK))
        << "scripts/setup installs dnsmasq-base and busybox";
    DhcpServerProcess server(GetParam(), 1);
    ASSERT_TRUE(server.WaitReady()) << "the DHCP server did not start";
    ExpectServerFound(Searched(), "192.0.2.3");
}

INSTANTIATE_TEST_SUITE_P(Servers, FinderApiDHCPLate,
                         testing::Values(DhcpServer::kDnsmasqDelayed, DhcpServer::kUdhcpd),
                         [](const testing::TestParamInfo<DhcpServer>& info) {
                             return std::string(info.param == DhcpServer::kUdhcpd
                                                    ? "UdhcpdArpCheck"
                                                    : "DnsmasqReplyDelay3s");
                         });

TEST(FinderApiDHCP, OfTwoServersThePromptOneIsReported)
{
    DhcpServerProcess slow(DhcpServer::kDnsmasqDelayed, 1);
    DhcpServerProcess prompt(DhcpServer::kDnsmasq, 0);
    ASSERT_TRUE(slow.WaitReady() && prompt.WaitReady()) << "dnsmasq did not start";
    ExpectServerFound(Searched(), "192.0.2.2");
}

TEST(FinderApiDHCP, NoServerGivesMinus7AfterTwoDiscoversAndTheRequestIsExact)
{
    std::string dir = TempDir();
    ASSERT_FALSE(dir.empty());
    // Records every datagram on port 67 with the kernel's arrival time, and
    // answers nothing, until the test's "end" (sent after the probe).
    const std::string script =
        "import socket,struct,sys,os\n"
        "SO_TIMESTAMPNS=35\n"
        "s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM)\n"
        "s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1)\n"
        "s.setsockopt(socket.SOL_SOCKET,SO_TIMESTAMPNS,1)\n"
        "s.bind(('0.0.0.0',67))\n"
        "open(sys.argv[1]+'/ready','w').close()\n"
        "out=''\n"
        "while True:\n"
        "  d,anc,_,a=s.recvmsg(4096,256)\n"
        "  if d==b'end': break\n"
        "  t=[struct.unpack('qq',c[2][:16]) for c in anc if c[1]==SO_TIMESTAMPNS][0]\n"
        "  out+='%d.%09d %s\\n'%(t[0],t[1],d.hex())\n"
        "open(sys.argv[1]+'/req.tmp','w').write(out)\n"
        "os.rename(sys.argv[1]+'/req.tmp',sys.argv[1]+'/req')\n";
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
    // Two waits of two seconds; a loaded machine can only lengthen them.
    EXPECT_GE(took, 3.9);
    EXPECT_LT(took, 5.5);
    EXPECT_EQ(0, len);
    EXPECT_NE(std::string::npos, out.find("No DHCP Server!")) << out;

    // Everything the probe sent is queued ahead of this.
    SendUdp(CamEnv(0, "ADDR"), 67, "end");
    ASSERT_TRUE(apitest::WaitForFile(dir + "/req", 10));
    std::ifstream in(dir + "/req");
    std::vector<std::pair<double, std::string>> got;
    double at;
    std::string hex;
    while (in >> at >> hex)
        got.emplace_back(at, hex);
    ASSERT_EQ(2u, got.size()) << "the DISCOVER and its one repetition";
    EXPECT_GE(got[1].first - got[0].first, 1.9) << "the second after the first wait";
    EXPECT_EQ(got[0].second, got[1].second);
    hex = got[0].second;
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
