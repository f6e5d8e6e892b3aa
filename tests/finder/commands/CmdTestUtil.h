// Shared pieces of the command tests: emulated cameras in the netlab camera
// namespaces, the search-then-index setup on a camera list, and the bytes of
// what a camera logged.
#ifndef RILO_TESTS_CMDTESTUTIL_H
#define RILO_TESTS_CMDTESTUTIL_H

#include "DiagCapture.h"
#include "Emulator.h"
#include "FinderLan.h"
#include "landap/CLANDAPMgr.h"
#include "landap/CLANDAPObj.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace cmdtest {

using testsupport::CamEnv;
using testsupport::Clock;
using testsupport::LandapEmulator;
using testsupport::LoggedRequest;
using testsupport::RequestsTo;
using testsupport::SecondsSince;
using Bytes = std::vector<uint8_t>;

constexpr size_t kHdr = 22;
constexpr size_t kAuth = 128;

inline uint32_t Addr(const std::string& text)
{
    return testsupport::ParseAddr(text);
}

inline MAC_ADDR ParseMac(const std::string& text)
{
    MAC_ADDR m{};
    testsupport::Mac bytes = testsupport::ParseMac(text);
    std::memcpy(m.addr, bytes.data(), sizeof m.addr);
    return m;
}

// Camera i of the netlab LAN, credentials admin/secret; extra holds further
// members of its JSON object.
inline std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& extra = "")
{
    return testsupport::StartNetlabCamera(i, "\"user\": \"admin\", \"password\": \"secret\"" +
                                                 (extra.empty() ? "" : ", " + extra));
}

// Several cameras served by one emulator in the namespace of camera 0:
// camera k has MAC 02:00:5e:00:0a:0k and address 192.0.2.(100 + k).
inline std::string ExtraMac(int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "02:00:5e:00:0a:%02x", k);
    return text;
}

inline std::vector<std::string> ExtraMacs(int n)
{
    std::vector<std::string> macs;
    for (int k = 0; k < n; ++k)
        macs.push_back(ExtraMac(k));
    return macs;
}

inline std::unique_ptr<LandapEmulator> StartExtraCameras(const std::vector<std::string>& extras)
{
    std::vector<std::string> cameras;
    for (size_t k = 0; k < extras.size(); ++k)
        cameras.push_back(testsupport::CameraJson(ExtraMac(int(k)),
                                                  "192.0.2." + std::to_string(100 + k),
                                                  "\"user\": \"admin\", \"password\": \"secret\"" +
                                                      (extras[k].empty() ? "" : ", " + extras[k])));
    return testsupport::StartCameras(CamEnv(0, "NS"), cameras);
}

// The search-then-index setup on a camera list.
class ListSearch : public testsupport::CameraSearch {
public:
    explicit ListSearch(CLANDAPMgr& mgr) : m_mgr(mgr) {}

protected:
    std::string RunSearch() override
    {
        testsupport::CaptureDiagOut();
        m_mgr.Refresh(1000, nullptr, nullptr);
        return testsupport::TakeDiagOut();
    }
    int IndexOfMac(const testsupport::Mac& m) override
    {
        MAC_ADDR mac;
        std::memcpy(mac.addr, m.data(), sizeof mac.addr);
        return m_mgr.FindCamIdxByMAC(&mac);
    }
    bool SetCredentials(int i, const char* user, const char* password) override
    {
        return m_mgr.SetAuthentication(i, user, password) == kFinderOk;
    }

private:
    CLANDAPMgr& m_mgr;
};

// Searches and returns the index of netlab camera i, with its credentials
// set (user NULL: none), or -1 with the test failed.
inline int Find(CLANDAPMgr& mgr, int i, const char* user = "admin", const char* password = "secret")
{
    std::vector<int> idx;
    EXPECT_TRUE(ListSearch(mgr).SearchAndIndex({CamEnv(i, "MAC")}, &idx, user, password));
    return idx.empty() ? -1 : idx[0];
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

} // namespace cmdtest

#endif
