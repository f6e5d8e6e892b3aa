#include "FinderLan.h"

#include "ChildProcess.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace testsupport {

double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string CamEnv(int i, const char* what)
{
    return NetlabEnv(("NETLAB_CAM" + std::to_string(i) + "_" + what).c_str());
}

std::vector<std::string> NetlabMacs(const std::vector<int>& cams)
{
    std::vector<std::string> macs;
    for (int i : cams)
        macs.push_back(CamEnv(i, "MAC"));
    return macs;
}

Mac ParseMac(const std::string& text)
{
    unsigned v[6] = {};
    EXPECT_EQ(
        6, std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]))
        << text;
    Mac m{};
    for (size_t k = 0; k < m.size(); ++k)
        m[k] = uint8_t(v[k]);
    return m;
}

uint32_t ParseAddr(const std::string& text)
{
    in_addr a{};
    EXPECT_EQ(1, inet_pton(AF_INET, text.c_str(), &a)) << text;
    return a.s_addr;
}

std::string CameraJson(const std::string& mac, const std::string& ip, const std::string& members)
{
    return "{\"mac\": \"" + mac + "\", \"ip\": \"" + ip + "\"" +
           (members.empty() ? "" : ", " + members) + "}";
}

std::unique_ptr<LandapEmulator> StartCameras(const std::string& ns,
                                             const std::vector<std::string>& cameras)
{
    std::string cfg = "{\"cameras\": [";
    for (size_t k = 0; k < cameras.size(); ++k)
        cfg += (k ? ", " : "") + cameras[k];
    return std::make_unique<LandapEmulator>(ns, cfg + "]}");
}

std::unique_ptr<LandapEmulator> StartNetlabCamera(int i, const std::string& members)
{
    return StartCameras(CamEnv(i, "NS"),
                        {CameraJson(CamEnv(i, "MAC"), CamEnv(i, "ADDR"), members)});
}

std::vector<LoggedRequest> RequestsTo(const LandapEmulator& emu, const std::string& mac,
                                      uint16_t command)
{
    const Mac m = ParseMac(mac);
    std::vector<LoggedRequest> out;
    for (const LoggedRequest& r : emu.Requests())
        if (r.bytes.size() >= 22 && r.Command() == command &&
            std::memcmp(r.bytes.data() + 6, m.data(), 6) == 0)
            out.push_back(r);
    return out;
}

std::vector<LoggedRequest> RequestsTo(const LandapEmulator& emu, int cam, uint16_t command)
{
    return RequestsTo(emu, CamEnv(cam, "MAC"), command);
}

namespace {
std::string g_lastSearch = "no search yet\n";
} // namespace

std::string TimedSearch(const std::function<std::string()>& search)
{
    const double start = MonotonicNow();
    std::string printed = search();
    char when[96];
    snprintf(when, sizeof when, "search from %.6f to %.6f (monotonic) printed:\n", start,
             MonotonicNow());
    g_lastSearch = when + printed;
    return printed;
}

std::string LastSearchReport()
{
    return g_lastSearch + EmulatorLogs();
}

testing::AssertionResult CameraSearch::SearchAndIndex(const std::vector<std::string>& macs,
                                                      std::vector<int>* indexes, const char* user,
                                                      const char* password)
{
    TimedSearch([this] { return RunSearch(); });
    indexes->clear();
    for (const std::string& mac : macs) {
        int index = IndexOfMac(ParseMac(mac));
        if (index < 0)
            return testing::AssertionFailure()
                   << "camera " << mac << " not found; " << LastSearchReport();
        if (user && !SetCredentials(index, user, password))
            return testing::AssertionFailure() << "camera " << mac << " took no credentials";
        indexes->push_back(index);
    }
    return testing::AssertionSuccess();
}

} // namespace testsupport
