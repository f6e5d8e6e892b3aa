#include "Emulator.h"

#include "ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// Resolved before fork: the child may only make async-signal-safe calls.
std::string FindProgram(const std::string& name, const std::vector<std::string>& preferred) {
    for (const auto& p : preferred)
        if (IsExecutable(p)) return p;
    const char* path = getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        std::string candidate = dir + "/" + name;
        if (IsExecutable(candidate)) return candidate;
    }
    throw std::runtime_error("emulator: program not found: " + name);
}

void RemoveTree(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
            unlink((dir + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

// A parser for exactly the log lines the emulator writes: one flat object of
// string and number values.
class LineParser {
public:
    explicit LineParser(const std::string& s) : m_s(s) {}

    bool Parse(LoggedRequest& out) {
        if (!Take('{')) return false;
        if (Take('}')) return true;
        do {
            std::string key;
            if (!String(key) || !Take(':')) return false;
            Skip();
            if (m_i < m_s.size() && m_s[m_i] == '"') {
                std::string value;
                if (!String(value)) return false;
                if (key == "camera") out.camera = value;
                else if (key == "from") out.fromAddr = value;
                else if (key == "hex" && !Hex(value, out.bytes)) return false;
            } else {
                double value = 0;
                if (!Number(value)) return false;
                if (key == "time") out.time = value;
                else if (key == "port") out.port = static_cast<int>(value);
                else if (key == "from_port") out.fromPort = static_cast<int>(value);
            }
        } while (Take(','));
        return Take('}');
    }

private:
    void Skip() {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\r'))
            ++m_i;
    }
    bool Take(char c) {
        Skip();
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        while (m_i < m_s.size()) {
            char c = m_s[m_i++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size()) return false;
            char e = m_s[m_i++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                // Only ASCII escapes occur in these logs; others become '?'.
                if (m_i + 4 > m_s.size()) return false;
                unsigned long code = strtoul(m_s.substr(m_i, 4).c_str(), nullptr, 16);
                m_i += 4;
                out += code < 0x80 ? static_cast<char>(code) : '?';
                break;
            }
            default: out += e; break;
            }
        }
        return false;
    }
    bool Number(double& out) {
        Skip();
        const char* start = m_s.c_str() + m_i;
        char* end = nullptr;
        out = strtod(start, &end);
        if (end == start) return false;
        m_i += static_cast<size_t>(end - start);
        return true;
    }
    static int Nibble(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    static bool Hex(const std::string& text, std::vector<uint8_t>& out) {
        if (text.size() % 2 != 0) return false;
        out.clear();
        out.reserve(text.size() / 2);
        for (size_t i = 0; i < text.size(); i += 2) {
            int hi = Nibble(text[i]), lo = Nibble(text[i + 1]);
            if (hi < 0 || lo < 0) return false;
            out.push_back(static_cast<uint8_t>(hi << 4 | lo));
        }
        return true;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

}  // namespace

std::string NetlabEnv(const char* name) {
    const char* v = getenv(name);
    if (v == nullptr || *v == '\0')
        throw std::runtime_error(std::string(name) +
                                 " is not set: this test runs inside scripts/netlab");
    return v;
}

LandapEmulator::LandapEmulator(const std::string& ns, const std::string& configJson) {
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
        for (const std::string& a :
             {python, script, std::string("--config"), config, std::string("--log"), log,
              std::string("--ready"), ready})
            args.push_back(a);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (errFd < 0) throw std::runtime_error("emulator: cannot create " + errPath);
        const double start = MonotonicNow();
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(errFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(errFd);
        if (pid < 0) throw std::runtime_error(std::string("emulator: fork: ") + strerror(errno));
        m_pid = pid;

        const ChildWait waited = WaitUntilReady(m_pid, kReadyTimeoutSeconds, 2, [&] {
            return access(ready.c_str(), F_OK) == 0;
        });
        if (waited == ChildWait::Ended) {
            m_pid = -1;
            throw std::runtime_error("emulator exited before it was ready: " + ReadFile(errPath));
        }
        if (waited == ChildWait::TimedOut) {
            Stop();
            throw std::runtime_error("emulator not ready within " + std::to_string(int(kReadyTimeoutSeconds)) +
                                     " s: " + ReadFile(errPath));
        }
        m_startSeconds = MonotonicNow() - start;
    } catch (...) {
        Stop();
        RemoveTree(m_dir);
        throw;
    }
}

LandapEmulator::~LandapEmulator() {
    Stop();
    RemoveTree(m_dir);
}

void LandapEmulator::Stop() {
    StopChild(m_pid, kStopGraceSeconds);
    m_pid = -1;
}

std::vector<LoggedRequest> LandapEmulator::Requests() const {
    std::vector<LoggedRequest> out;
    const std::string text = ReadFile(m_dir + "/log.jsonl");
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) break;  // a line still being written
        const std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        LoggedRequest r;
        if (LineParser(line).Parse(r)) out.push_back(std::move(r));
    }
    return out;
}

}  // namespace testsupport
