// Shared pieces of the command tests: emulated cameras in the netlab camera
// namespaces, a search, and the requests each camera logged.
#ifndef RILO_TESTS_CMDTESTUTIL_H
#define RILO_TESTS_CMDTESTUTIL_H

#include "CLANDAPMgr.h"
#include "CLANDAPObj.h"
#include "DiagCapture.h"
#include "Emulator.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace cmdtest {

using testsupport::LandapEmulator;
using testsupport::LoggedRequest;
using testsupport::NetlabEnv;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kHdr = 22;
constexpr size_t kAuth = 128;

inline double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

inline uint32_t Addr(const std::string& text)
{
    in_addr a{};
    EXPECT_EQ(1, inet_pton(AF_INET, text.c_str(), &a)) << text;
    return a.s_addr;
}

inline std::string CamEnv(int i, const char* what)
{
    return NetlabEnv(("NETLAB_CAM" + std::to_string(i) + "_" + what).c_str());
}

inline MAC_ADDR ParseMac(const std::string& text)
{
    MAC_ADDR m{};
    unsigned v[6] = {};
    EXPECT_EQ(6, std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]));
    for (int k = 0; k < 6; ++k)
        m.addr[k] = uint8_t(v[k]);
    return m;
}

// Camera i of the netlab LAN, credentials admin/secret; extra holds further
// members of its JSON object.
inline std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& extra = "")
{
    std::string cfg = "{\"cameras\": [{\"mac\": \"" + CamEnv(i, "MAC") + "\", \"ip\": \"" + CamEnv(i, "ADDR") +
                      "\", \"user\": \"admin\", \"password\": \"secret\"" +
                      (extra.empty() ? "" : ", " + extra) + "}]}";
    return std::make_unique<LandapEmulator>(CamEnv(i, "NS"), cfg);
}

// Several cameras served by one emulator in the namespace of camera 0:
// camera k has MAC 02:00:5e:00:0a:0k and address 192.0.2.(100 + k).
inline std::string ExtraMac(int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "02:00:5e:00:0a:%02x", k);
    return text;
}

inline std::unique_ptr<LandapEmulator> StartExtraCameras(const std::vector<std::string>& extras)
{
    std::string cfg = "{\"cameras\": [";
    for (size_t k = 0; k < extras.size(); ++k) {
        cfg += std::string(k ? ", " : "") + "{\"mac\": \"" + ExtraMac(int(k)) + "\", \"ip\": \"192.0.2." +
               std::to_string(100 + k) + "\", \"user\": \"admin\", \"password\": \"secret\"" +
               (extras[k].empty() ? "" : ", " + extras[k]) + "}";
    }
    cfg += "]}";
    return std::make_unique<LandapEmulator>(CamEnv(0, "NS"), cfg);
}

inline int FindMac(const CLANDAPMgr& mgr, const std::string& macText)
{
    MAC_ADDR mac = ParseMac(macText);
    return mgr.FindCamIdxByMAC(&mac);
}

// Searches and returns the index of camera i, with its credentials set
// (user NULL: none set).
inline int Find(CLANDAPMgr& mgr, int i, const char* user = "admin", const char* password = "secret")
{
    testsupport::CaptureDiagOut();
    mgr.Refresh(1000, nullptr, nullptr);
    std::string out = testsupport::TakeDiagOut();
    MAC_ADDR mac = ParseMac(CamEnv(i, "MAC"));
    int idx = mgr.FindCamIdxByMAC(&mac);
    EXPECT_GE(idx, 0) << "camera " << i << " not found: " << out;
    if (idx >= 0 && user)
        mgr.SetAuthentication(idx, user, password);
    return idx;
}

// Requests with this command that the camera with this MAC logged.
inline std::vector<LoggedRequest> SentTo(const LandapEmulator& emu, const std::string& macText, uint16_t command)
{
    MAC_ADDR mac = ParseMac(macText);
    std::vector<LoggedRequest> out;
    for (const LoggedRequest& r : emu.Requests())
        if (r.bytes.size() >= kHdr && r.Command() == command && std::memcmp(r.bytes.data() + 6, mac.addr, 6) == 0)
            out.push_back(r);
    return out;
}

// Requests with this command that camera i logged.
inline std::vector<LoggedRequest> Sent(const LandapEmulator& emu, int i, uint16_t command)
{
    return SentTo(emu, CamEnv(i, "MAC"), command);
}

inline Bytes Body(const LoggedRequest& r)
{
    return Bytes(r.bytes.begin() + kHdr, r.bytes.end());
}

inline uint16_t BodyLen(const LoggedRequest& r)
{
    return uint16_t(r.bytes[20] | r.bytes[21] << 8);
}

// The 128-byte block a camera expects for these Base64 texts.
inline Bytes AuthBlock(const std::string& userB64, const std::string& passwordB64)
{
    Bytes b(kAuth, 0);
    std::memcpy(b.data(), userB64.data(), userB64.size());
    std::memcpy(b.data() + 64, passwordB64.data(), passwordB64.size());
    return b;
}

inline const Bytes& AdminSecret()
{
    static const Bytes b = AuthBlock("YWRtaW4=", "c2VjcmV0");
    return b;
}

inline void PutLE(Bytes& b, size_t off, uint64_t v, int width)
{
    for (int k = 0; k < width; ++k)
        b[off + size_t(k)] = uint8_t(v >> (8 * k));
}

inline void PutText(Bytes& b, size_t off, const std::string& s)
{
    std::memcpy(b.data() + off, s.data(), s.size());
}

inline void PutAddr(Bytes& b, size_t off, const char* dotted)
{
    uint32_t a = Addr(dotted);
    std::memcpy(b.data() + off, &a, 4);
}

// The authentication block followed by a record.
inline Bytes AuthPlus(const Bytes& record, const Bytes& auth = AdminSecret())
{
    Bytes b = auth;
    b.insert(b.end(), record.begin(), record.end());
    return b;
}

inline std::string Hex(const Bytes& b)
{
    static const char* d = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

inline bool Contains(const std::string& text, const std::string& what)
{
    return text.find(what) != std::string::npos;
}

}  // namespace cmdtest

#endif
