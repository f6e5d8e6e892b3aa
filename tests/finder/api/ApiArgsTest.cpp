// Every exported function with a bad handle and with NULL arguments: the
// codes, the parameter line, and no crash. Nothing here reaches a camera, so
// no traffic leaves the process.
#include "RiloLANFinderLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

const char kParamLine[] = "Rilo Lib: Error of parameter!\n";

struct Call {
    const char* name;
    std::function<int(void*)> run;
    int badHandle; // with a handle that is not one
};

// Runs f, returns its result and what it printed.
int Captured(const std::function<int()>& f, std::string* out)
{
    testing::internal::CaptureStdout();
    int rc = f();
    *out = testing::internal::GetCapturedStdout();
    return rc;
}

std::vector<Call> AllCalls()
{
    static unsigned char rec[400];
    static unsigned long size;
    static _RiloFinderResult res;
    static MAC_ADDR mac;
    static _RiloNetworkInfo net;
    static _RiloWirelessAssociatedStatus as;
    static _RiloCamNetworkStatus ns;
    static _RiloWirelessSiteSurInfo st[4];
    static uint16_t codes[8];
    static int n, a, b, c;
    static char text[64];
    static short len;
    _RiloCamSettings* r = reinterpret_cast<_RiloCamSettings*>(rec);
    size = sizeof rec;
    len = sizeof text;
    n = 4;
    return {
        {"RiloFinderSearch", [](void* h) { return RiloFinderSearch(h, 0); }, RILO_FINDER_FAIL},
        {"RiloFindCameraIdxByMAC", [](void* h) { return RiloFindCameraIdxByMAC(h, &mac); },
         RILO_FINDER_FAIL},
        {"RiloGetCameraMAC", [](void* h) { return RiloGetCameraMAC(h, 0, &mac); },
         RILO_FINDER_FAIL},
        {"RiloGetCameraInfo", [](void* h) { return RiloGetCameraInfo(h, 0, rec, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetCameraInfoL", [](void* h) { return RiloGetCameraInfoL(h, 0, rec, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetCameraNetwork", [](void* h) { return RiloGetCameraNetwork(h, 0, &net); },
         RILO_FINDER_FAIL},
        {"RiloSetFinderCamAuth", [](void* h) { return RiloSetFinderCamAuth(h, 0, "u", "p"); },
         RILO_FINDER_FAIL},
        {"RiloFinderVerifyAuth", [](void* h) { return RiloFinderVerifyAuth(h, 0); },
         RILO_FINDER_FAIL},
        {"RiloChangeAdminPassword",
         [](void* h) { return RiloChangeAdminPassword(h, 0, "u", "p", &res, 1); },
         RILO_FINDER_FAIL},
        {"RiloGetWireless", [r](void* h) { return RiloGetWireless(h, 0, r, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetWirelessCapability",
         [r](void* h) { return RiloGetWirelessCapability(h, 0, r, &size); }, RILO_FINDER_FAIL},
        {"RiloGetAdvNetwork", [r](void* h) { return RiloGetAdvNetwork(h, 0, r, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetCameraDatetime", [r](void* h) { return RiloGetCameraDatetime(h, 0, r, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetSimpleWireless", [r](void* h) { return RiloGetSimpleWireless(h, 0, r, &size); },
         RILO_FINDER_FAIL},
        {"RiloGetWirelessAssociatedStatus",
         [](void* h) { return RiloGetWirelessAssociatedStatus(h, 0, &as, &size); },
         RILO_FINDER_FAIL},
        {"RiloQueryNetworkStatus", [](void* h) { return RiloQueryNetworkStatus(h, 0, &ns); },
         RILO_FINDER_FAIL},
        {"RiloGetWirelessSiteSurInfo",
         [](void* h) { return RiloGetWirelessSiteSurInfo(h, 0, st, &n); }, RILO_FINDER_FAIL},
        {"RiloGetLANDAPOptionCmd", [](void* h) { return RiloGetLANDAPOptionCmd(h, 0, codes, &n); },
         RILO_FINDER_FAIL},
        {"RiloGetDDNSProvidersCount", [](void* h) { return RiloGetDDNSProvidersCount(h, 0, &n); },
         RILO_FINDER_FAIL},
        {"RiloGetDDNSProviderList",
         [](void* h) { return RiloGetDDNSProviderList(h, 0, 0, text, 64); }, RILO_FINDER_FAIL},
        {"RiloSetCameraInfo", [r](void* h) { return RiloSetCameraInfo(h, 0, r, 376, &res, 1); },
         RILO_FINDER_FAIL},
        {"RiloSetWireless", [r](void* h) { return RiloSetWireless(h, 0, r, 276, &res, 1); },
         RILO_FINDER_FAIL},
        {"RiloSetAdvNetwork", [r](void* h) { return RiloSetAdvNetwork(h, 0, r, 348, &res, 1); },
         RILO_FINDER_FAIL},
        {"RiloSetCameraDatetime",
         [r](void* h) { return RiloSetCameraDatetime(h, 0, r, 104, &res, 1); }, RILO_FINDER_FAIL},
        {"RiloSetSimpleWireless",
         [r](void* h) { return RiloSetSimpleWireless(h, 0, r, 132, &res, 1); }, RILO_FINDER_FAIL},
        {"RiloCommitSettings", [](void* h) { return RiloCommitSettings(h, 0, &res, 0); },
         RILO_FINDER_FAIL},
        {"RiloInitWirelessSiteSurvey",
         [](void* h) { return RiloInitWirelessSiteSurvey(h, 0, &res, 0); }, RILO_FINDER_FAIL},
        {"RiloResetCamera", [](void* h) { return RiloResetCamera(h, 0, &res, 0); },
         RILO_FINDER_FAIL},
        {"RiloFactoryResetCamera", [](void* h) { return RiloFactoryResetCamera(h, 0, &res, 0); },
         RILO_FINDER_FAIL},
        {"RiloGetTessel12Enabled", [](void* h) { return RiloGetTessel12Enabled(h, 0, &a); },
         RILO_FINDER_FAIL},
        {"RiloTessel12QueryProcState",
         [](void* h) { return RiloTessel12QueryProcState(h, 0, &a, &b, &c); }, RILO_FINDER_FAIL},
        {"RiloEnableTessel12", [](void* h) { return RiloEnableTessel12(h, 0, 1, &res, 0); },
         RILO_FINDER_FAIL},
        {"RiloQueryTessel12URL", [](void* h) { return RiloQueryTessel12URL(h, 0, text, &len); },
         RILO_FINDER_FAIL},
        {"RiloGetFreeIP", [](void* h) { return RiloGetFreeIP(h, 0, text, &len); },
         RILO_FINDER_FAIL},
        {"RiloDHCPDiscover", [](void* h) { return RiloDHCPDiscover(h, 0, text, &len); },
         RILO_FINDER_FAIL},
    };
}

} // namespace

// A destroyed handle is checked while a newer one lives, which is likely to
// sit in the memory the destroyed one had.
TEST(FinderApiHandle, NullAndForeignHandlesPrintTheLineAndFail)
{
    int notAHandle = 0;
    void* destroyed = RiloCreateFinder();
    ASSERT_NE(nullptr, destroyed);
    RiloDestroyFinder(destroyed);
    void* newer = RiloCreateFinder();
    ASSERT_NE(nullptr, newer);
    EXPECT_NE(destroyed, newer);
    void* bad[] = {nullptr, &notAHandle, destroyed};
    for (void* h : bad) {
        for (const Call& call : AllCalls()) {
            SCOPED_TRACE(std::string(call.name) + (h ? " with a foreign handle" : " with NULL"));
            std::string out;
            int rc = Captured([&] { return call.run(h); }, &out);
            EXPECT_EQ(call.badHandle, rc);
            EXPECT_EQ(kParamLine, out);
        }
        std::string out;
        EXPECT_EQ(0, Captured([&] { return RiloGetCameraNum(h); }, &out));
        EXPECT_EQ(kParamLine, out);
    }
    std::string out;
    Captured(
        [&] {
            RiloDestroyFinder(nullptr);
            RiloDestroyFinder(&notAHandle);
            RiloDestroyFinder(destroyed); // twice: nothing happens
            return 0;
        },
        &out);
    EXPECT_EQ("", out);
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(newer, 1)) << "still a handle";
    EXPECT_EQ("", out);
    RiloDestroyFinder(newer);
}

// The wizard makes a handle per search: a thousand create, destroy, create
// again cycles hand out a thousand and one values, and each destroyed one
// stays bad.
TEST(FinderApiHandle, ValuesAreNeverHandedOutTwice)
{
    std::set<void*> seen;
    void* h = RiloCreateFinder();
    ASSERT_TRUE(seen.insert(h).second);
    std::string out;
    Captured(
        [&] {
            for (int cycle = 0; cycle < 1000; ++cycle) {
                void* old = h;
                RiloDestroyFinder(old);
                h = RiloCreateFinder();
                EXPECT_TRUE(seen.insert(h).second) << "cycle " << cycle;
                EXPECT_EQ(0, RiloGetCameraNum(old)) << "cycle " << cycle;
                EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(old, 1)) << "cycle " << cycle;
                RiloDestroyFinder(old); // nothing: h lives on
            }
            return 0;
        },
        &out);
    std::string line = kParamLine, want;
    for (int i = 0; i < 2000; ++i)
        want += line;
    EXPECT_EQ(want, out);
    EXPECT_EQ(0, Captured([&] { return RiloGetCameraNum(h); }, &out));
    EXPECT_EQ("", out);
    RiloDestroyFinder(h);
}

TEST(FinderApiHandle, EmptyListGivesNoCamera)
{
    void* h = RiloCreateFinder();
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(0, RiloGetCameraNum(h));
    for (const Call& call : AllCalls()) {
        if (std::string(call.name) == "RiloFinderSearch")
            continue; // mode 0 would broadcast
        SCOPED_TRACE(call.name);
        std::string out;
        EXPECT_EQ(RILO_FINDER_FAIL, Captured([&] { return call.run(h); }, &out));
        EXPECT_EQ("", out);
    }
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(h, 1)) << "only mode 0 searches";
    EXPECT_EQ(RILO_FINDER_FAIL, RiloFinderSearch(h, -1));
    RiloDestroyFinder(h);
}

TEST(FinderApiNullArgs, PointerFirstFunctionsGiveNullArgEvenWithoutAHandle)
{
    void* good = RiloCreateFinder();
    ASSERT_NE(nullptr, good);
    unsigned long size = 400;
    int n = 4;
    for (void* h : {static_cast<void*>(nullptr), good}) {
        SCOPED_TRACE(h ? "valid handle" : "NULL handle");
        std::string out;
        int rc = Captured(
            [&] {
                int bad = 0;
                bad |= RiloGetCameraMAC(h, 0, nullptr) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetCameraNetwork(h, 0, nullptr) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetWireless(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetWirelessCapability(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetAdvNetwork(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetCameraDatetime(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetSimpleWireless(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |=
                    RiloGetWirelessAssociatedStatus(h, 0, nullptr, &size) != RILO_FINDER_NULL_ARG;
                bad |= RiloQueryNetworkStatus(h, 0, nullptr) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetWirelessSiteSurInfo(h, 0, nullptr, &n) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetWirelessSiteSurInfo(
                           h, 0, reinterpret_cast<_RiloWirelessSiteSurInfo*>(&size), nullptr) !=
                       RILO_FINDER_NULL_ARG;
                bad |= RiloGetLANDAPOptionCmd(h, 0, nullptr, &n) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetLANDAPOptionCmd(h, 0, reinterpret_cast<uint16_t*>(&size), nullptr) !=
                       RILO_FINDER_NULL_ARG;
                bad |= RiloGetDDNSProvidersCount(h, 0, nullptr) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetDDNSProviderList(h, 0, 0, nullptr, 16) != RILO_FINDER_NULL_ARG;
                bad |= RiloSetCameraInfo(h, 0, nullptr, 376, nullptr, 1) != RILO_FINDER_NULL_ARG;
                bad |= RiloSetWireless(h, 0, nullptr, 276, nullptr, 1) != RILO_FINDER_NULL_ARG;
                bad |= RiloSetAdvNetwork(h, 0, nullptr, 348, nullptr, 1) != RILO_FINDER_NULL_ARG;
                bad |=
                    RiloSetCameraDatetime(h, 0, nullptr, 104, nullptr, 1) != RILO_FINDER_NULL_ARG;
                bad |=
                    RiloSetSimpleWireless(h, 0, nullptr, 132, nullptr, 1) != RILO_FINDER_NULL_ARG;
                bad |= RiloGetTessel12Enabled(h, 0, nullptr) != RILO_FINDER_NULL_ARG;
                int x = 0;
                bad |= RiloTessel12QueryProcState(h, 0, &x, &x, nullptr) != RILO_FINDER_NULL_ARG;
                bad |= RiloTessel12QueryProcState(h, 0, nullptr, &x, &x) != RILO_FINDER_NULL_ARG;
                bad |= RiloQueryTessel12URL(h, 0, nullptr, nullptr) != RILO_FINDER_NULL_ARG;
                // A NULL MAC is no camera: -1, also checked first.
                bad |= RiloFindCameraIdxByMAC(h, nullptr) != -1;
                return bad;
            },
            &out);
        EXPECT_EQ(0, rc);
        EXPECT_EQ("", out) << "the pointer check comes first";
    }

    // With a handle: the remaining pointer rules.
    char text[32];
    short len = sizeof text;
    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloDHCPDiscover(good, 0, nullptr, &len))
        << "not a success without a probe";
    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloDHCPDiscover(good, 0, text, nullptr));
    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloGetFreeIP(good, 0, nullptr, &len));
    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloGetFreeIP(good, 0, text, nullptr));
    EXPECT_EQ(RILO_FINDER_NULL_ARG, RiloQueryTessel12URL(good, 0, text, nullptr));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetCameraInfo(good, 0, nullptr, nullptr))
        << "a NULL size is an error, not a crash";
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetCameraInfoL(good, 0, text, nullptr));
    EXPECT_EQ(RILO_FINDER_FAIL,
              RiloGetWireless(good, 0, reinterpret_cast<_RiloCamSettings*>(text), nullptr));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetDDNSProviderList(good, 0, 0, text, 0));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetDDNSProviderList(good, 0, 0, text, -5));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloSetFinderCamAuth(good, 0, nullptr, nullptr));
    EXPECT_EQ(RILO_FINDER_FAIL, RiloChangeAdminPassword(good, 0, nullptr, nullptr, nullptr, 0));
    int count = -3;
    _RiloWirelessSiteSurInfo e;
    EXPECT_EQ(RILO_FINDER_FAIL, RiloGetWirelessSiteSurInfo(good, 0, &e, &count));
    EXPECT_EQ(-3, count);
    RiloDestroyFinder(good);
}
