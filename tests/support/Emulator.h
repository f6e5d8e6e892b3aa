#ifndef RILO_TESTS_EMULATOR_H
#define RILO_TESTS_EMULATOR_H

// Starts and stops the emulated cameras of tests/emulator/ from a test, and
// reads what they logged. Shares nothing with the libraries under test.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One request a camera emulator received, as logged.
struct LoggedRequest {
    double time = 0;      // seconds, monotonic clock of the emulator
    std::string kind;     // "request"; in LogText also "reply" and "send_error"
    std::string camera;   // MAC of the emulated camera that logged it, "02:00:..."
    int port = 0;         // local UDP port it arrived on (62976 or 62977)
    std::string fromAddr; // sender address (a reply's destination)
    int fromPort = 0;
    std::vector<uint8_t> bytes; // the whole datagram

    // Header fields of the logged datagram (0 when it is shorter than a header).
    uint16_t Command() const { return U16(4); }
    uint16_t SeqNo() const { return U16(2); }
    uint16_t Status() const { return U16(16); }

private:
    uint16_t U16(size_t at) const
    {
        return bytes.size() >= 22 ? static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8) : 0;
    }
};

// The value of a variable set by scripts/netlab; fails the test when unset.
std::string NetlabEnv(const char* name);

// The logs of every emulator this process is running, with the present time
// on their clock: for the message of a failed search.
std::string EmulatorLogs();

class LandapEmulator {
public:
    // Starts tests/emulator/landap_camera.py in network namespace ns (empty:
    // this one) with the given JSON configuration (see tests/emulator/README.md)
    // and waits until it listens. Throws std::runtime_error when it cannot.
    LandapEmulator(const std::string& ns, const std::string& configJson);
    ~LandapEmulator();
    LandapEmulator(const LandapEmulator&) = delete;
    LandapEmulator& operator=(const LandapEmulator&) = delete;

    // Every request logged so far, in arrival order.
    std::vector<LoggedRequest> Requests() const;
    // The whole log, requests and replies with their times, a line each.
    std::string LogText() const;
    // Ends the emulator and reaps it; the log stays readable. Idempotent.
    void Stop();

    // Folder holding config.json, log.jsonl, ready and stderr.txt.
    const std::string& Dir() const { return m_dir; }
    // Seconds from spawning the process to its ready file.
    double StartSeconds() const { return m_startSeconds; }

private:
    int m_pid = -1;
    std::string m_dir; // temporary folder with config, log and ready files
    double m_startSeconds = 0;
};

} // namespace testsupport

#endif
