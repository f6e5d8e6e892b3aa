#ifndef RILO_TESTS_FINDER_API_NETUTIL_H
#define RILO_TESTS_FINDER_API_NETUTIL_H

// Helpers of the finder interface tests that run inside a netlab test LAN:
// the emulated camera they start with, and other programs started in a
// camera namespace. Only the C library and the test support.

#include "FinderLan.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace apitest {

using testsupport::CamEnv;
using testsupport::Clock;
using testsupport::RequestsTo;
using testsupport::SecondsSince;

inline std::vector<uint8_t> AddrBytes(const char* text)
{
    uint32_t a = testsupport::ParseAddr(text);
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &a, 4);
    return b;
}

// An emulated camera in netlab camera namespace i at its netlab MAC and
// address; extra holds further members of the camera object.
inline std::unique_ptr<testsupport::LandapEmulator> StartCamera(int i,
                                                                const std::string& extra = "")
{
    return testsupport::StartNetlabCamera(
        i, "\"model\": \"RC-100\", \"camera_name\": \"Porch\", \"web_port\": 8080, \"flags\": 2, "
           "\"gateway\": \"192.0.2.1\", \"dns1\": \"192.0.2.53\", \"time\": \"20240131235959\", "
           "\"user\": \"admin\", \"password\": \"secret\"" +
               (extra.empty() ? "" : ", " + extra));
}

// A program of the test, ended and reaped when this goes.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv)
    {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (posix_spawnp(&m_pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
            m_pid = -1;
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

template <typename Cond>
bool WaitUntil(Cond cond, double seconds)
{
    auto t0 = Clock::now();
    while (SecondsSince(t0) < seconds) {
        if (cond())
            return true;
        usleep(20000);
    }
    return false;
}

inline bool WaitForFile(const std::string& path, double seconds)
{
    return WaitUntil([&] { return access(path.c_str(), F_OK) == 0; }, seconds);
}

} // namespace apitest

#endif
