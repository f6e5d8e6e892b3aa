// Helpers shared by the client library's tests: a thread that collects
// transport notifications, a loopback listener, child processes and thread
// counting.
#ifndef RILO_CLIENT_TEST_UTIL_H
#define RILO_CLIENT_TEST_UTIL_H

#include "CBLThread.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace rilotest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Msg {
    unsigned message;
    unsigned long w;
    unsigned long l;
};

// A worker thread that records every message it is sent.
class NotifySink : public CBLThread {
public:
    NotifySink()
    {
        SetAutoDelete(false);
        BeginThread();
    }
    ~NotifySink() override { CloseThread(0, false); }

    int OnThreadMessage(unsigned m, unsigned long w, unsigned long l) override
    {
        std::lock_guard<std::mutex> g(mu_);
        msgs_.push_back({m, w, l});
        cv_.notify_all();
        return 0;
    }
    std::vector<Msg> Messages()
    {
        std::lock_guard<std::mutex> g(mu_);
        return msgs_;
    }
    // Waits until some message matches w (any lParam); false on time-out.
    bool WaitFor(unsigned long w, milliseconds timeout, Msg* out = nullptr)
    {
        std::unique_lock<std::mutex> g(mu_);
        bool ok = cv_.wait_for(g, timeout, [&] {
            for (const Msg& m : msgs_)
                if (m.w == w) {
                    if (out)
                        *out = m;
                    return true;
                }
            return false;
        });
        return ok;
    }
    size_t Count(unsigned long w)
    {
        std::lock_guard<std::mutex> g(mu_);
        size_t n = 0;
        for (const Msg& m : msgs_)
            n += (m.w == w);
        return n;
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<Msg> msgs_;
};

// A listening TCP socket on 127.0.0.1 with a kernel-chosen port.
class Listener {
public:
    Listener()
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 8);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    unsigned Port() const { return port_; }
    // A blocking accepted socket, or -1 after timeout.
    int Accept(milliseconds timeout = milliseconds(5000))
    {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, int(timeout.count())) <= 0)
            return -1;
        return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    int fd_ = -1;
    unsigned port_ = 0;
};

// A loopback port on which nothing listens.
inline unsigned ClosedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

inline bool WriteAll(int fd, const void* data, size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
        if (r <= 0)
            return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

// Threads of this process whose name is name.
inline int CountThreadsNamed(const std::string& name)
{
    int n = 0;
    DIR* d = opendir("/proc/self/task");
    if (!d)
        return -1;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream f(std::string("/proc/self/task/") + e->d_name + "/comm");
        std::string comm;
        std::getline(f, comm);
        n += (comm == name);
    }
    closedir(d);
    return n;
}

// Threads of this process.
inline int CountThreads()
{
    int n = 0;
    DIR* d = opendir("/proc/self/task");
    if (!d)
        return -1;
    while (dirent* e = readdir(d))
        n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

// Polls cond every 5 ms until it holds or timeout passes.
inline bool Eventually(const std::function<bool()>& cond, milliseconds timeout)
{
    auto end = Clock::now() + timeout;
    while (!cond()) {
        if (Clock::now() > end)
            return false;
        usleep(5000);
    }
    return true;
}

// A child process with its standard input and output on pipes (stderr goes
// to stdout).
class Child {
public:
    bool Start(const std::vector<std::string>& argv)
    {
        Kill();
        output_.clear();
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return false;
        pid_ = fork();
        if (pid_ < 0)
            return false;
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(out[1], 2);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        in_ = in[1];
        out_ = out[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
        return true;
    }
    ~Child() { Kill(); }
    void Kill()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (in_ >= 0)
            close(in_);
        if (out_ >= 0)
            close(out_);
        in_ = out_ = -1;
    }
    bool Write(const std::string& s) { return write(in_, s.data(), s.size()) == ssize_t(s.size()); }
    // Waits until the child's output contains text.
    bool WaitOutput(const std::string& text, milliseconds timeout)
    {
        auto end = Clock::now() + timeout;
        for (;;) {
            if (output_.find(text) != std::string::npos)
                return true;
            auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, int(left)) > 0) {
                char buf[4096];
                ssize_t n = read(out_, buf, sizeof buf);
                if (n > 0)
                    output_.append(buf, size_t(n));
                else if (n == 0)
                    return output_.find(text) != std::string::npos;
            }
        }
    }
    const std::string& Output() const { return output_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string output_;
};

} // namespace rilotest

#endif
