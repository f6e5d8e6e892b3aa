#include "ChildProcess.h"

#include <cerrno>
#include <ctime>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace testsupport {

namespace {

void SleepMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace

double MonotonicNow()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& text, const std::string& who)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error(who + ": cannot write " + path);
}

ChildWait WaitUntilReady(int pid, double timeoutSeconds, long pollMs,
                         const std::function<bool()>& ready)
{
    const double deadline = MonotonicNow() + timeoutSeconds;
    for (;;) {
        if (ready())
            return ChildWait::Ready;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return ChildWait::Ended;
        if (MonotonicNow() > deadline)
            return ChildWait::TimedOut;
        SleepMs(pollMs);
    }
}

void StopChild(int pid, double graceSeconds)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    const double deadline = MonotonicNow() + graceSeconds;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (MonotonicNow() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        SleepMs(2);
    }
}

} // namespace testsupport
