// Reads 1 GiB over loopback from one local HTTP server, once through
// CCliSocket and once through curl, and prints both rates and their ratio.
//
//   bench_clisocket_throughput [MiB]
#include "CBLThread.h"
#include "net/CCliSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Serves every connection the same body after any request.
class Server {
public:
    explicit Server(uint64_t bodyBytes) : m_body(bodyBytes)
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(m_fd, 8) != 0) {
            perror("bench server");
            std::exit(1);
        }
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Loop(); });
    }
    ~Server()
    {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_thread.join();
    }
    unsigned Port() const { return m_port; }

private:
    void Loop()
    {
        std::vector<char> chunk(1 << 16, 'x');
        while (!m_stop) {
            int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                return;
            char req[4096];
            if (recv(c, req, sizeof req, 0) <= 0) {
                close(c);
                continue;
            }
            std::string head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                               "Content-Length: " +
                               std::to_string(m_body) + "\r\n\r\n";
            send(c, head.data(), head.size(), MSG_NOSIGNAL);
            uint64_t left = m_body;
            while (left > 0) {
                size_t n = left < chunk.size() ? size_t(left) : chunk.size();
                ssize_t k = send(c, chunk.data(), n, MSG_NOSIGNAL);
                if (k <= 0)
                    break;
                left -= uint64_t(k);
            }
            close(c);
        }
    }

    uint64_t m_body;
    int m_fd = -1;
    unsigned m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Counter {
    std::mutex mu;
    std::condition_variable cv;
    uint64_t bytes = 0;
    static unsigned long Proc(void* user, unsigned char*, unsigned long n)
    {
        auto* c = static_cast<Counter*>(user);
        std::lock_guard<std::mutex> g(c->mu);
        c->bytes += n;
        c->cv.notify_all();
        return n;
    }
};

double ThroughCliSocket(unsigned port, uint64_t total)
{
    // Notifications go to an id nobody reads; this measures the data path.
    BLThreadID owner = AllocThreadMessageID();
    Counter counter;
    double seconds = -1;
    {
        CCliSocket s(owner, WM_HTTPCTRL_LAST);
        s.SetRecvDataProc(Counter::Proc, &counter);
        if (!s.Create(AF_INET, SOCK_STREAM, 0) || !s.Connect("127.0.0.1", port, AF_INET)) {
            std::fprintf(stderr, "CCliSocket connect failed\n");
            std::exit(1);
        }
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!s.IsConnected() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const char req[] = "GET / HTTP/1.0\r\n\r\n";
        auto start = Clock::now();
        s.Send(req, int(sizeof req - 1), 0);
        std::unique_lock<std::mutex> lk(counter.mu);
        counter.cv.wait_for(lk, std::chrono::seconds(300), [&] { return counter.bytes >= total; });
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        lk.unlock();
        s.Close();
    }
    ReleaseThreadMessageID(owner);
    return seconds;
}

double ThroughCurl(unsigned port)
{
    std::string cmd = "curl -s -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/";
    auto start = Clock::now();
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "curl failed (is it installed?)\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    uint64_t body = mib << 20;
    Server server(body);
    // The header is small; counting it in keeps the two sides comparable.
    uint64_t headerBytes =
        std::string("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                    "Content-Length: " +
                    std::to_string(body) + "\r\n\r\n")
            .size();

    // Discard CCliSocket's per-pass diagnostics so the terminal is not the bottleneck.
    std::fflush(stdout);
    int saved = dup(1);
    FILE* devnull = std::freopen("/dev/null", "w", stdout);
    double cli = ThroughCliSocket(server.Port(), body + headerBytes);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    (void)devnull;
    double curl = ThroughCurl(server.Port());

    double mb = double(body) / 1e6;
    std::fprintf(stderr, "body: %llu MiB over loopback\n", static_cast<unsigned long long>(mib));
    std::fprintf(stderr, "CCliSocket: %.3f s, %.1f MB/s\n", cli, mb / cli);
    std::fprintf(stderr, "curl:       %.3f s, %.1f MB/s\n", curl, mb / curl);
    std::fprintf(stderr, "ratio CCliSocket/curl: %.2f\n", curl / cli);
    return 0;
}
