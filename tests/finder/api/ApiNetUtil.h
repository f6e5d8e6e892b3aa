#ifndef RILO_TESTS_FINDER_API_NETUTIL_H
#define RILO_TESTS_FINDER_API_NETUTIL_H

// Helpers of the finder tests that run inside a netlab test LAN: emulated
// cameras at the netlab addresses, request log lookups, and other programs
// started in a camera namespace. Only the C library and the test support.

#include "Emulator.h"

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

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

inline std::string CamEnv(int i, const char* what)
{
    return testsupport::NetlabEnv(("NETLAB_CAM" + std::to_string(i) + "_" + what).c_str());
}

inline std::vector<uint8_t> ParseMac(const std::string& text)
{
    unsigned v[6] = {};
    EXPECT_EQ(6, std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]))
        << text;
    std::vector<uint8_t> m(6);
    for (int i = 0; i < 6; ++i)
        m[size_t(i)] = uint8_t(v[i]);
    return m;
}

inline std::vector<uint8_t> AddrBytes(const char* text)
{
    in_addr a{};
    EXPECT_EQ(1, inet_pton(AF_INET, text, &a)) << text;
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &a.s_addr, 4);
    return b;
}

// An emulated camera in netlab camera namespace i at its netlab MAC and
// address; extra holds further members of the camera object.
inline std::unique_ptr<testsupport::LandapEmulator> StartCamera(int i, const std::string& extra = "")
{
    std::string cfg = "{\"cameras\": [{\"mac\": \"" + CamEnv(i, "MAC") + "\", \"ip\": \"" + CamEnv(i, "ADDR") +
                      "\", \"model\": \"RC-100\", \"camera_name\": \"Porch\", \"web_port\": 8080, "
                      "\"flags\": 2, \"gateway\": \"192.0.2.1\", \"dns1\": \"192.0.2.53\", "
                      "\"time\": \"20240131235959\", \"user\": \"admin\", \"password\": \"secret\"" +
                      (extra.empty() ? "" : ", " + extra) + "}]}";
    return std::make_unique<testsupport::LandapEmulator>(CamEnv(i, "NS"), cfg);
}

// Requests with this command addressed to camera i, in arrival order.
inline std::vector<testsupport::LoggedRequest> RequestsTo(const testsupport::LandapEmulator& emu, int i,
                                                          uint16_t command)
{
    std::vector<uint8_t> mac = ParseMac(CamEnv(i, "MAC"));
    std::vector<testsupport::LoggedRequest> out;
    for (const testsupport::LoggedRequest& r : emu.Requests())
        if (r.bytes.size() >= 22 && r.Command() == command && std::memcmp(r.bytes.data() + 6, mac.data(), 6) == 0)
            out.push_back(r);
    return out;
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

inline bool WaitForFile(const std::string& path, double seconds)
{
    auto t0 = Clock::now();
    while (SecondsSince(t0) < seconds) {
        if (access(path.c_str(), F_OK) == 0)
            return true;
        usleep(20000);
    }
    return false;
}

}  // namespace apitest

#endif
