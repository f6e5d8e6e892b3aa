#ifndef RILO_TESTS_HTTP_EMULATOR_H
#define RILO_TESTS_HTTP_EMULATOR_H

// Starts and stops the HTTP side of the emulated camera
// (tests/emulator/http_camera.py) from a test, and reads what it logged.
// Shares nothing with the libraries under test.

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One request header the HTTP emulator received, as logged.
struct HttpLoggedRequest {
    double time = 0;            // seconds, monotonic clock, at its first byte
    int connection = 0;         // 1-based number of the accepted connection
    std::vector<uint8_t> bytes; // the request header up to its blank line
    std::string auth;           // the emulator's verdict: "none", "ok", "missing", "wrong", ...

    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

// Bytes the speaker endpoint received in a request body: one audio packet
// (header and payload) or a stretch that is not one.
struct HttpLoggedData {
    double time = 0; // seconds, monotonic clock, when the last byte arrived
    int connection = 0;
    std::vector<uint8_t> bytes;
};

class HttpEmulator {
public:
    // Starts the emulator with the given JSON configuration (see
    // tests/emulator/HTTP.md) in network namespace ns (empty: this one),
    // listening on address:port (port 0: any free port), and waits until it
    // listens. Relative paths in the configuration resolve against Dir().
    // Throws std::runtime_error when it cannot start.
    explicit HttpEmulator(const std::string& configJson, const std::string& ns = "",
                          const std::string& address = "127.0.0.1", int port = 0);
    ~HttpEmulator();
    HttpEmulator(const HttpEmulator&) = delete;
    HttpEmulator& operator=(const HttpEmulator&) = delete;

    int Port() const { return m_port; }
    // A private folder that lives as long as this object.
    const std::string& Dir() const { return m_dir; }

    // Every request logged so far, in arrival order; still readable after Stop.
    std::vector<HttpLoggedRequest> Requests() const;
    // What the speaker endpoint logged so far, in arrival order.
    std::vector<HttpLoggedData> SpeakerPackets() const;
    std::vector<HttpLoggedData> SpeakerJunk() const;
    // Monotonic time of every accepted connection, refused ones included.
    std::vector<double> AcceptTimes() const;
    // What the emulator wrote on its standard output and error.
    std::string Output() const;

    void Stop();

private:
    int m_pid = -1;
    int m_port = 0;
    std::string m_dir;
};

} // namespace testsupport

#endif
