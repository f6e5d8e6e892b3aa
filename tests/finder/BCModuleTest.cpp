// CBCModule on loopback: no broadcast, no namespaces needed.
#include "DiagCapture.h"
#include "net/CBCModule.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// A plain UDP sender bound to a loopback address of its own.
class Sender {
public:
    explicit Sender(const char* from = "127.0.0.1")
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, from, &a.sin_addr);
        EXPECT_EQ(0, bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    }
    ~Sender() { close(m_fd); }
    void Send(uint16_t port, const std::vector<uint8_t>& data)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(ssize_t(data.size()), sendto(m_fd, data.data(), data.size(), 0,
                                               reinterpret_cast<sockaddr*>(&to), sizeof to));
    }

private:
    int m_fd = -1;
};

std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i);
    return v;
}

struct CallbackLog {
    int calls = 0;
    unsigned long lastLength = 0;
    uint32_t lastSender = 0;
};

int CountingCallback(void* ctx, uint8_t*, unsigned long length, sockaddr_in* sender, uint32_t*)
{
    auto* log = static_cast<CallbackLog*>(ctx);
    ++log->calls;
    log->lastLength = length;
    log->lastSender = sender->sin_addr.s_addr;
    return length > 1 ? 1 : 0; // refuses one-byte datagrams
}

} // namespace

TEST(BCModuleSocket, CreateSendDestroy)
{
    CBCModule m;
    uint8_t buf[4];
    EXPECT_EQ(-1, m.Receive(0, buf, sizeof buf, nullptr, nullptr, nullptr));
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    EXPECT_NE(0, m.GetBoundPort());
    EXPECT_EQ(-1, m.Create(nullptr, 0, 1)) << "a second socket is refused";

    // Port 0 sends to the bound port: the datagram comes back to us.
    uint32_t loop = htonl(INADDR_LOOPBACK);
    const uint8_t hello[3] = {1, 2, 3};
    EXPECT_EQ(3, m.Send(hello, sizeof hello, &loop, 0, 0, nullptr));
    EXPECT_EQ(3, m.Receive(0, buf, sizeof buf, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, memcmp(buf, hello, 3));

    m.Destroy();
    EXPECT_EQ(-1, m.GetSocket());
    EXPECT_EQ(0, m.GetBoundPort());

    // Binding a port that is taken fails cleanly.
    CBCModule a, b;
    ASSERT_EQ(0, a.Create(&loop, 0, 1));
    uint16_t taken = a.GetBoundPort();
    testsupport::CaptureDiagOut();
    EXPECT_EQ(-1, b.Create(&loop, taken, 1));
    std::string out = testsupport::TakeDiagOut();
    EXPECT_NE(std::string::npos, out.find("socket bind error: -1!, errno = ")) << out;
    EXPECT_EQ(-1, b.GetSocket());
}

TEST(BCModuleReceive, TimeoutEndsAtQuietSecond)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    uint8_t buf[64];

    auto t0 = Clock::now();
    EXPECT_EQ(0, m.Receive(0, buf, sizeof buf, nullptr, nullptr, nullptr));
    double quiet0 = SecondsSince(t0);
    // Upper bounds tell one quiet slice from two, with room for a loaded machine.
    EXPECT_GT(quiet0, 0.9);
    EXPECT_LT(quiet0, 1.95);

    // 1800 ms is only noticed at the second quiet slice.
    t0 = Clock::now();
    EXPECT_EQ(0, m.Receive(1800, buf, sizeof buf, nullptr, nullptr, nullptr));
    double quiet1800 = SecondsSince(t0);
    EXPECT_GT(quiet1800, 1.9);
    EXPECT_LT(quiet1800, 2.95);
}

TEST(BCModuleReceive, GathersDatagramsBackToBack)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    Sender s;
    auto a = Pattern(200, 0), b = Pattern(134, 100);
    s.Send(m.GetBoundPort(), a);
    s.Send(m.GetBoundPort(), b);

    std::vector<uint8_t> buf(334, 0xEE);
    uint32_t first = 0;
    auto t0 = Clock::now();
    ASSERT_EQ(334, m.Receive(5000, buf.data(), buf.size(), &first, nullptr, nullptr));
    EXPECT_LT(SecondsSince(t0), 0.9) << "a full buffer ends the receive before a quiet second";
    EXPECT_TRUE(std::equal(a.begin(), a.end(), buf.begin()));
    EXPECT_TRUE(std::equal(b.begin(), b.end(), buf.begin() + 200));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), first);
}

TEST(BCModuleReceive, StopsAtExactly106Bytes)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    Sender s;
    s.Send(m.GetBoundPort(), Pattern(106, 7));
    s.Send(m.GetBoundPort(), Pattern(50, 9)); // left for the next receive

    std::vector<uint8_t> buf(334, 0);
    auto t0 = Clock::now();
    EXPECT_EQ(106, m.Receive(5000, buf.data(), buf.size(), nullptr, nullptr, nullptr));
    EXPECT_LT(SecondsSince(t0), 0.9);
    EXPECT_EQ(50, m.Receive(0, buf.data(), buf.size(), nullptr, nullptr, nullptr));

    // 100 + 6 also makes 106.
    s.Send(m.GetBoundPort(), Pattern(100, 1));
    s.Send(m.GetBoundPort(), Pattern(6, 1));
    EXPECT_EQ(106, m.Receive(5000, buf.data(), buf.size(), nullptr, nullptr, nullptr));
}

TEST(BCModuleReceive, OversizedBufferIsClampedToInternalBuffer)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    Sender s;
    // Two datagrams that fill the internal 65536 bytes exactly; a third one
    // must not land behind them.
    s.Send(m.GetBoundPort(), Pattern(60000, 3));
    s.Send(m.GetBoundPort(), Pattern(5536, 5));
    s.Send(m.GetBoundPort(), Pattern(30000, 9));
    std::vector<uint8_t> big(200000, 0);
    EXPECT_EQ(65536, m.Receive(3000, big.data(), big.size(), nullptr, nullptr, nullptr));
    EXPECT_EQ(0, big[65536]);
}

TEST(BCModuleReceive, CallbackModeCountsAcceptedDatagrams)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    Sender s;
    s.Send(m.GetBoundPort(), Pattern(30, 0));
    s.Send(m.GetBoundPort(), Pattern(1, 0)); // refused by the callback
    s.Send(m.GetBoundPort(), Pattern(40, 0));
    CallbackLog log;
    EXPECT_EQ(2, m.Receive(500, nullptr, 0, nullptr, CountingCallback, &log));
    EXPECT_EQ(3, log.calls);
    EXPECT_EQ(40u, log.lastLength);
}

TEST(BCModuleReceive, OwnAddressIgnoredAndCannotHoldTheDeadline)
{
    uint32_t loop = htonl(INADDR_LOOPBACK);
    CBCModule m;
    ASSERT_EQ(0, m.Create(&loop, 0, 1));
    uint16_t port = m.GetBoundPort();

    // A sender on the bound address keeps talking; a second loopback address
    // sends one datagram that is accepted.
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        Sender self("127.0.0.1");
        auto d = Pattern(20, 1);
        while (!stop) {
            self.Send(port, d);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    Sender other("127.0.0.2");
    other.Send(port, Pattern(10, 4));

    CallbackLog log;
    uint32_t first = 0;
    auto t0 = Clock::now();
    int n = m.Receive(1000, nullptr, 0, &first, CountingCallback, &log);
    double took = SecondsSince(t0);
    stop = true;
    flood.join();
    EXPECT_EQ(1, n);
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(10u, log.lastLength);
    uint32_t two = 0;
    inet_pton(AF_INET, "127.0.0.2", &two);
    EXPECT_EQ(two, first);
    EXPECT_LT(took, 3.5) << "ignored datagrams must not keep the receive alive";
}

TEST(BCModuleReceive, EmptyDatagramsCannotHoldAGather)
{
    CBCModule m;
    ASSERT_EQ(0, m.Create(nullptr, 0, 1));
    uint16_t port = m.GetBoundPort();
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        Sender s;
        while (!stop) {
            s.Send(port, {});
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    uint8_t buf[334];
    auto t0 = Clock::now();
    EXPECT_EQ(0, m.Receive(1000, buf, sizeof buf, nullptr, nullptr, nullptr));
    double took = SecondsSince(t0);
    stop = true;
    flood.join();
    EXPECT_LT(took, 3.5);
}
