#include "HttpEmulator.h"

#include "FlatJson.h"

#include <spawn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

const char* const kPython = "/usr/bin/python3"; // the Debian one: starts fastest

// The logged objects of one kind of event.
std::vector<std::map<std::string, std::string>> ReadLog(const std::string& path, const char* event)
{
    std::vector<std::map<std::string, std::string>> out;
    for (auto& fields : ReadJsonLines(path))
        if (fields["event"] == event)
            out.push_back(std::move(fields));
    return out;
}

} // namespace

HttpEmulator::HttpEmulator(const std::string& configJson, const std::string& ns,
                           const std::string& address, int port)
{
    char tmpl[] = "/tmp/rilo-http-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error(std::string("HttpEmulator: mkdtemp: ") + std::strerror(errno));
    m_dir = tmpl;
    const std::string config = m_dir + "/config.json";
    const std::string ready = m_dir + "/ready";
    const std::string output = m_dir + "/output.txt";
    WriteFile(config, configJson, "HttpEmulator");

    std::vector<std::string> args;
    if (!ns.empty())
        args = {"ip", "netns", "exec", ns};
    args.insert(args.end(),
                {kPython, RILO_HTTP_EMULATOR, "--config", config, "--ready-file", ready, "--log",
                 m_dir + "/log.jsonl", "--listen", address, "--port", std::to_string(port)});
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error(std::string("HttpEmulator: cannot start ") + argv[0] + ": " +
                                 std::strerror(rc));
    }
    m_pid = pid;

    // Bounded wait: the emulator is up in a fraction of a second, unless
    // the machine is loaded.
    const ChildWait waited = WaitUntilReady(m_pid, 30.0, 5, [&] {
        std::string text = ReadFile(ready);
        if (text.rfind("ready ", 0) != 0 || text.find('\n') == std::string::npos)
            return false;
        m_port = std::atoi(text.c_str() + 6);
        return m_port > 0;
    });
    if (waited == ChildWait::Ready)
        return;
    const bool ended = waited == ChildWait::Ended;
    if (ended)
        m_pid = -1;
    std::string why = ended ? "ended before it was ready" : "not ready in 30 s";
    std::string out = Output();
    Stop();
    std::filesystem::remove_all(m_dir);
    throw std::runtime_error("HttpEmulator: " + why + ": " + out);
}

HttpEmulator::~HttpEmulator()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void HttpEmulator::Stop()
{
    StopChild(m_pid, 3.0);
    m_pid = -1;
}

std::vector<HttpLoggedRequest> HttpEmulator::Requests() const
{
    std::vector<HttpLoggedRequest> out;
    for (auto& f : ReadLog(m_dir + "/log.jsonl", "request")) {
        HttpLoggedRequest r;
        r.time = std::strtod(f["time"].c_str(), nullptr);
        r.connection = std::atoi(f["conn"].c_str());
        if (!DecodeHex(f["bytes"], &r.bytes))
            throw std::runtime_error("HttpEmulator: bad bytes in the log");
        r.auth = f["auth"];
        out.push_back(std::move(r));
    }
    return out;
}

namespace {

std::vector<HttpLoggedData> ReadData(const std::string& log, const char* event)
{
    std::vector<HttpLoggedData> out;
    for (auto& f : ReadLog(log, event)) {
        HttpLoggedData d;
        d.time = std::strtod(f["time"].c_str(), nullptr);
        d.connection = std::atoi(f["conn"].c_str());
        if (!DecodeHex(f["bytes"], &d.bytes))
            throw std::runtime_error("HttpEmulator: bad bytes in the log");
        out.push_back(std::move(d));
    }
    return out;
}

} // namespace

std::vector<HttpLoggedData> HttpEmulator::SpeakerPackets() const
{
    return ReadData(m_dir + "/log.jsonl", "speaker_packet");
}

std::vector<HttpLoggedData> HttpEmulator::SpeakerJunk() const
{
    return ReadData(m_dir + "/log.jsonl", "speaker_junk");
}

std::vector<double> HttpEmulator::AcceptTimes() const
{
    std::vector<double> out;
    for (auto& f : ReadLog(m_dir + "/log.jsonl", "accept"))
        out.push_back(std::strtod(f["time"].c_str(), nullptr));
    return out;
}

std::string HttpEmulator::Output() const
{
    return ReadFile(m_dir + "/output.txt");
}

} // namespace testsupport
