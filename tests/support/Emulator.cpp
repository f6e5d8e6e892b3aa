#include "Emulator.h"

#include "ChildProcess.h"
#include "FlatJson.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#ifndef RILO_EMULATOR_DIR
#error "RILO_EMULATOR_DIR must name the folder of the emulator scripts"
#endif

namespace testsupport {

namespace {

// Ready in a fraction of a second on an idle machine; the bound is for a
// loaded one (parallel ctest, other builds) and ends no passing run early.
constexpr double kReadyTimeoutSeconds = 30.0;
constexpr double kStopGraceSeconds = 2.0;

bool IsExecutable(const std::string& path)
{
    return access(path.c_str(), X_OK) == 0;
}

// Resolved before fork: the child may only make async-signal-safe calls.
std::string FindProgram(const std::string& name, const std::vector<std::string>& preferred)
{
    for (const auto& p : preferred)
        if (IsExecutable(p))
            return p;
    const char* path = getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty())
            continue;
        std::string candidate = dir + "/" + name;
        if (IsExecutable(candidate))
            return candidate;
    }
    throw std::runtime_error("emulator: program not found: " + name);
}

void RemoveTree(const std::string& dir)
{
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
                continue;
            unlink((dir + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

// The emulators this process runs, for the logs of a failure message.
std::mutex g_runningLock;
std::vector<const LandapEmulator*> g_running;

std::vector<LoggedRequest> ReadLog(const std::string& path)
{
    std::vector<LoggedRequest> out;
    for (auto& f : ReadJsonLines(path)) {
        LoggedRequest r;
        r.time = strtod(f["time"].c_str(), nullptr);
        r.kind = f.count("kind") ? f["kind"] : "request";
        r.camera = f["camera"];
        r.port = atoi(f["port"].c_str());
        r.fromAddr = f["from"];
        r.fromPort = atoi(f["from_port"].c_str());
        if (DecodeHex(f["hex"], &r.bytes))
            out.push_back(std::move(r));
    }
    return out;
}

std::string LogLine(const LoggedRequest& r)
{
    char line[256];
    const bool request = r.kind == "request";
    snprintf(line, sizeof line, "  %.6f %-10s %s%s %s:%d port %d cmd 0x%04x seq %u status %u, %zu bytes\n",
             r.time, r.kind.c_str(), request ? r.camera.c_str() : "",
             request ? " from" : "to", r.fromAddr.c_str(), r.fromPort, r.port,
             unsigned(r.Command()), unsigned(r.SeqNo()), unsigned(r.Status()), r.bytes.size());
    return line;
}

} // namespace

std::string EmulatorLogs()
{
    std::lock_guard<std::mutex> hold(g_runningLock);
    char now[64];
    snprintf(now, sizeof now, "emulator logs at %.6f (monotonic):\n", MonotonicNow());
    std::string out = now;
    for (const LandapEmulator* emu : g_running)
        out += "emulator " + emu->Dir() + ":\n" + emu->LogText();
    return out;
}

std::string NetlabEnv(const char* name)
{
    const char* v = getenv(name);
    if (v == nullptr || *v == '\0')
        throw std::runtime_error(std::string(name) +
                                 " is not set: this test runs inside scripts/netlab");
    return v;
}

LandapEmulator::LandapEmulator(const std::string& ns, const std::string& configJson)
{
    char tmpl[] = "/tmp/rilo-emu-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        throw std::runtime_error(std::string("emulator: mkdtemp: ") + strerror(errno));
    m_dir = tmpl;
    const std::string config = m_dir + "/config.json", log = m_dir + "/log.jsonl",
                      ready = m_dir + "/ready", errPath = m_dir + "/stderr.txt";
    try {
        WriteFile(config, configJson, "emulator");
        // The distribution's interpreter starts much faster than wrapper shims.
        const std::string python = FindProgram("python3", {"/usr/bin/python3"});
        const std::string script = std::string(RILO_EMULATOR_DIR) + "/landap_camera.py";
        std::vector<std::string> args;
        if (!ns.empty()) {
            args = {FindProgram("ip", {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}),
                    "netns", "exec", ns};
        }
        for (const std::string& a : {python, script, std::string("--config"), config,
                                     std::string("--log"), log, std::string("--ready"), ready})
            args.push_back(a);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (errFd < 0)
            throw std::runtime_error("emulator: cannot create " + errPath);
        const double start = MonotonicNow();
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(errFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(errFd);
        if (pid < 0)
            throw std::runtime_error(std::string("emulator: fork: ") + strerror(errno));
        m_pid = pid;

        const ChildWait waited = WaitUntilReady(m_pid, kReadyTimeoutSeconds, 2,
                                                [&] { return access(ready.c_str(), F_OK) == 0; });
        if (waited == ChildWait::Ended) {
            m_pid = -1;
            throw std::runtime_error("emulator exited before it was ready: " + ReadFile(errPath));
        }
        if (waited == ChildWait::TimedOut) {
            Stop();
            throw std::runtime_error("emulator not ready within " +
                                     std::to_string(int(kReadyTimeoutSeconds)) +
                                     " s: " + ReadFile(errPath));
        }
        m_startSeconds = MonotonicNow() - start;
        std::lock_guard<std::mutex> hold(g_runningLock);
        g_running.push_back(this);
    } catch (...) {
        Stop();
        RemoveTree(m_dir);
        throw;
    }
}

LandapEmulator::~LandapEmulator()
{
    {
        std::lock_guard<std::mutex> hold(g_runningLock);
        g_running.erase(std::remove(g_running.begin(), g_running.end(), this), g_running.end());
    }
    Stop();
    RemoveTree(m_dir);
}

void LandapEmulator::Stop()
{
    StopChild(m_pid, kStopGraceSeconds);
    m_pid = -1;
}

std::vector<LoggedRequest> LandapEmulator::Requests() const
{
    std::vector<LoggedRequest> all = ReadLog(m_dir + "/log.jsonl");
    all.erase(std::remove_if(all.begin(), all.end(),
                             [](const LoggedRequest& r) { return r.kind != "request"; }),
              all.end());
    return all;
}

std::string LandapEmulator::LogText() const
{
    std::string out;
    for (const LoggedRequest& r : ReadLog(m_dir + "/log.jsonl"))
        out += LogLine(r);
    return out.empty() ? "  (nothing logged)\n" : out;
}

} // namespace testsupport
