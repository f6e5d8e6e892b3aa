#ifndef RILO_TESTS_FINDERLAN_H
#define RILO_TESTS_FINDERLAN_H

// The test LAN of the finder tests: the cameras scripts/netlab names,
// emulators serving them, the requests a camera logged, and the setup most
// finder tests begin with: one search, then each camera's list index by its
// MAC. Shares nothing with the libraries under test.

#include "Emulator.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

using Mac = std::array<uint8_t, 6>;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t0);

// NETLAB_CAM<i>_<what> (NS, ADDR or MAC) of the test LAN.
std::string CamEnv(int i, const char* what);
// The netlab MACs of these cameras, as texts.
std::vector<std::string> NetlabMacs(const std::vector<int>& cams);
// The six bytes of "02:00:5e:..."; a bad text fails the test.
Mac ParseMac(const std::string& text);
// An IPv4 text in network order; a bad text fails the test.
uint32_t ParseAddr(const std::string& text);

// The JSON object of one emulated camera: MAC, address, then members
// (JSON members without braces; may be empty).
std::string CameraJson(const std::string& mac, const std::string& ip, const std::string& members);
// An emulator in namespace ns serving these camera objects.
std::unique_ptr<LandapEmulator> StartCameras(const std::string& ns,
                                             const std::vector<std::string>& cameras);
// An emulator serving netlab camera i in its namespace, at its MAC and address.
std::unique_ptr<LandapEmulator> StartNetlabCamera(int i, const std::string& members);

// Requests with this command addressed to the camera with this MAC (or to
// netlab camera i), in arrival order.
std::vector<LoggedRequest> RequestsTo(const LandapEmulator& emu, const std::string& mac,
                                      uint16_t command);
std::vector<LoggedRequest> RequestsTo(const LandapEmulator& emu, int cam, uint16_t command);

// Runs a search (which returns what it printed) and keeps, for a failure
// message, what it printed and when it ran on the emulators' clock.
std::string TimedSearch(const std::function<std::string()>& search);
// The last TimedSearch's printed text and times, and every running
// emulator's log: the message of a search that missed a camera.
std::string LastSearchReport();

// One search over a camera list, then the index of each wanted camera, with
// its credentials set. The finder's interface and its camera list each fill
// in the three steps.
class CameraSearch {
public:
    virtual ~CameraSearch() = default;

    // Fails, with what the search printed, when a camera is not in the list
    // or does not take its credentials. user NULL sets none.
    testing::AssertionResult SearchAndIndex(const std::vector<std::string>& macs,
                                            std::vector<int>* indexes, const char* user = "admin",
                                            const char* password = "secret");

protected:
    // Runs one search and returns what it printed.
    virtual std::string RunSearch() = 0;
    // The camera's list index, or -1.
    virtual int IndexOfMac(const Mac& mac) = 0;
    virtual bool SetCredentials(int index, const char* user, const char* password) = 0;
};

} // namespace testsupport

#endif
