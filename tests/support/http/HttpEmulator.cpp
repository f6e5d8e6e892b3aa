#include "HttpEmulator.h"

#include <spawn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

const char* const kPython = "/usr/bin/python3";  // the Debian one: starts fastest

// The scalar fields of one flat JSON object, as the emulator logs them.
// Nested values are skipped; strings keep their decoded text, numbers and
// literals their source text.
class FlatJson {
public:
    explicit FlatJson(const std::string& text) : m_s(text) {}

    bool Parse(std::map<std::string, std::string>& out) {
        Blank();
        if (!Take('{'))
            return false;
        Blank();
        if (Take('}'))
            return true;
        for (;;) {
            std::string key, value;
            Blank();
            if (!String(key))
                return false;
            Blank();
            if (!Take(':'))
                return false;
            Blank();
            if (Peek() == '"') {
                if (!String(value))
                    return false;
                out[key] = value;
            } else if (Peek() == '{' || Peek() == '[') {
                if (!SkipNested())
                    return false;
            } else {
                size_t start = m_i;
                while (m_i < m_s.size() && m_s[m_i] != ',' && m_s[m_i] != '}' &&
                       m_s[m_i] != ' ')
                    ++m_i;
                if (m_i == start)
                    return false;
                out[key] = m_s.substr(start, m_i - start);
            }
            Blank();
            if (Take('}'))
                return true;
            if (!Take(','))
                return false;
        }
    }

private:
    char Peek() const { return m_i < m_s.size() ? m_s[m_i] : '\0'; }
    bool Take(char c) {
        if (Peek() != c)
            return false;
        ++m_i;
        return true;
    }
    void Blank() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t'))
            ++m_i;
    }
    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        while (m_i < m_s.size()) {
            char c = m_s[m_i++];
            if (c == '"')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size())
                return false;
            char e = m_s[m_i++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (m_i + 4 > m_s.size())
                    return false;
                unsigned v = 0;
                for (int k = 0; k < 4; ++k) {
                    int h = Hex(m_s[m_i++]);
                    if (h < 0)
                        return false;
                    v = v * 16 + static_cast<unsigned>(h);
                }
                // The log carries only ASCII text; wider code points are not needed.
                out += v < 0x80 ? static_cast<char>(v) : '?';
                break;
            }
            default: out += e; break;
            }
        }
        return false;
    }
    bool SkipNested() {
        int depth = 0;
        while (m_i < m_s.size()) {
            char c = Peek();
            if (c == '"') {
                std::string ignored;
                if (!String(ignored))
                    return false;
                continue;
            }
            ++m_i;
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return true;
        }
        return false;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

std::vector<std::map<std::string, std::string>> ReadLog(const std::string& path,
                                                        const char* event) {
    std::vector<std::map<std::string, std::string>> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        std::map<std::string, std::string> fields;
        // A line still being written has no closing brace yet and fails here.
        if (FlatJson(line).Parse(fields) && fields["event"] == event)
            out.push_back(std::move(fields));
    }
    return out;
}

bool DecodeHex(const std::string& hex, std::vector<uint8_t>& out) {
    if (hex.size() % 2)
        return false;
    out.clear();
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        long v = std::strtol(pair, &end, 16);
        if (end != pair + 2)
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

}  // namespace

HttpEmulator::HttpEmulator(const std::string& configJson, const std::string& ns,
                           const std::string& address, int port) {
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
    args.insert(args.end(), {kPython, RILO_HTTP_EMULATOR, "--config", config,
                             "--ready-file", ready, "--log", m_dir + "/log.jsonl",
                             "--listen", address, "--port", std::to_string(port)});
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

HttpEmulator::~HttpEmulator() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void HttpEmulator::Stop() {
    StopChild(m_pid, 3.0);
    m_pid = -1;
}

std::vector<HttpLoggedRequest> HttpEmulator::Requests() const {
    std::vector<HttpLoggedRequest> out;
    for (auto& f : ReadLog(m_dir + "/log.jsonl", "request")) {
        HttpLoggedRequest r;
        r.time = std::strtod(f["time"].c_str(), nullptr);
        r.connection = std::atoi(f["conn"].c_str());
        if (!DecodeHex(f["bytes"], r.bytes))
            throw std::runtime_error("HttpEmulator: bad bytes in the log");
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<double> HttpEmulator::AcceptTimes() const {
    std::vector<double> out;
    for (auto& f : ReadLog(m_dir + "/log.jsonl", "accept"))
        out.push_back(std::strtod(f["time"].c_str(), nullptr));
    return out;
}

std::string HttpEmulator::Output() const {
    return ReadFile(m_dir + "/output.txt");
}

}  // namespace testsupport
