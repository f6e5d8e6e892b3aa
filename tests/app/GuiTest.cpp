// The real program under Xvfb, in a test LAN with emulated cameras: a test
// page drives FinderObj and reports through console.log; a second run takes
// a screenshot of the wizard page after a search; a third page asks for the
// desktop services in a home folder of its own; a fourth walks the wizard
// to its live picture and takes the window with and without it.
#include "ChildProcess.h"
#include "FinderLan.h"
#include "HttpEmulator.h"
#include "LiveViewTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

using testsupport::CamEnv;
using testsupport::LandapEmulator;
using testsupport::ReadFile;

namespace {

// faults: further members of the camera's command_faults.
std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& model,
                                            const std::string& extra,
                                            const std::string& faults = "")
{
    return testsupport::StartNetlabCamera(
        i, "\"model\": \"" + model + "\", \"web_port\": " + std::to_string(8000 + i) +
               ", \"gateway\": \"192.0.2.254\", \"dns1\": \"192.0.2.53\", \"user\": \"admin\", "
               "\"password\": \"secret\", \"command_faults\": {\"discovery\": {\"delay_ms\": " +
               std::to_string(300 * i) + "}" + (faults.empty() ? "" : ", " + faults) + "}" +
               (extra.empty() ? "" : ", " + extra));
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

int Shell(const std::string& command)
{
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + (WIFSIGNALED(rc) ? WTERMSIG(rc) : 0);
}

// A copy of the build's program folder (program, bridge module, page
// folder) in a fresh temporary folder.
std::string CopyProgram()
{
    char tmpl[] = "/tmp/rilo-gui-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    EXPECT_NE(nullptr, dir);
    std::string d = dir ? dir : "/tmp";
    std::string app = RILO_APP_DIR;
    EXPECT_EQ(0, Shell("cp -r " + app + "/CameraWizard " + app + "/webext " + app + "/MacHtml " +
                       app + "/Html " + d + "/"));
    return d;
}

// Loads driver (script text) into the copied page at dir, after the page's
// own scripts: the page's policy allows no inline script.
void AddPageDriver(const std::string& dir, const std::string& driver)
{
    std::string page = ReadFile(dir + "/MacHtml/index.html");
    size_t end = page.rfind("</body>");
    page.insert(end == std::string::npos ? page.size() : end,
                "<script src=\"test-driver.js\"></script>");
    WriteFile(dir + "/MacHtml/index.html", page);
    WriteFile(dir + "/MacHtml/test-driver.js", driver);
}

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// Runs the copied program under a private X server. inner is the shell text
// that starts it ("./CameraWizard" by default) and may do more meanwhile;
// env holds further variables ("NAME=value ..."); the whole run ends after
// limitSeconds.
ProgramRun RunProgram(const std::string& dir, const std::string& inner = "./CameraWizard",
                      const std::string& env = "", int limitSeconds = 120)
{
    for (const char* tool : {"xvfb-run", "Xvfb", "xauth"})
        EXPECT_EQ(0, Shell(std::string("command -v ") + tool + " >/dev/null"))
            << tool << " is missing";
    std::string runtime = dir + "/runtime";
    mkdir(runtime.c_str(), 0700);
    std::string cmd = "cd " + dir + " && " + env + " XDG_RUNTIME_DIR=" + runtime +
                      " NO_AT_BRIDGE=1 timeout -k 5 " + std::to_string(limitSeconds) + " " +
                      "xvfb-run -a -s '-screen 0 720x480x24' sh -c '" + inner + "' > " + dir +
                      "/out.txt 2> " + dir + "/err.txt";
    ProgramRun r;
    r.status = Shell(cmd);
    r.out = ReadFile(dir + "/out.txt");
    r.err = ReadFile(dir + "/err.txt");
    return r;
}

// The page's console lines, wherever WebKit wrote them.
bool Logged(const ProgramRun& r, const std::string& message)
{
    std::string line = "CONSOLE LOG " + message + "\n";
    return r.out.find(line) != std::string::npos || r.err.find(line) != std::string::npos;
}

// The page's half of a handshake with a driver script: it polls for go.png,
// which the driver drops beside the page once it has done its part, then
// closes the program (after a minute at the latest).
const char* kWaitForGo = R"JS(
function waitForGo(n) {
  var img = new Image();
  img.onload = function () { console.log("T go"); FinderObj.CloseWizard(); };
  img.onerror = function () {
    if (n < 600) setTimeout(function () { waitForGo(n + 1); }, 100);
    else { console.log("T no go"); FinderObj.CloseWizard(); }
  };
  img.src = "go.png?" + n;
}
)JS";

// The driver's half: starts the program, waits (at most 90 s) until the
// shell condition ready holds, runs actions, then lets the page close.
std::string DriverScript(const std::string& ready, const std::string& actions)
{
    return "#!/bin/sh\n./CameraWizard & p=$!\ni=0\n"
           "while [ $i -lt 900 ] && ! { " +
           ready + "; }; do sleep 0.1; i=$((i + 1)); done\n" + actions +
           "\ncp MacHtml/Html/images/background.png MacHtml/go.png\nwait $p\n";
}

const char* kTestPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>
<script>
var cams = [];
function log(s) { console.log("T " + s); }
function args(a) { return Array.prototype.join.call(a, "|"); }
function AddCameraList(mac, i) { cams.push(i); log("AddCameraList " + mac + " " + i); }
function CompleteSearch() { log("CompleteSearch " + cams.length); settings(); }
function GatherCameraInfo() { log("GatherCameraInfo " + args(arguments)); }
function GatherSiteSurvey() { log("GatherSiteSurvey " + args(arguments)); }
function CompleteSiteSurvey() { log("CompleteSiteSurvey"); finish(); }
function poll(next) {
  var n = 0;
  var t = setInterval(function () {
    if (FinderObj.CheckThreadComplete() || ++n > 300) { clearInterval(t); next(); }
  }, 100);
}
function settings() {
  var i = cams[0];
  log("info " + FinderObj.GetCameraInfo_(i));
  log("verify " + FinderObj.VerifyAuth_ID_Password_(i, "admin", "secret"));
  FinderObj.SetupDHCP_(i);
  poll(function () {
    log("dhcp " + FinderObj.QueryResult());
    log("survey " + FinderObj.InitSiteSurvey_(String(i)));
    FinderObj.GetSiteSurveyInfo_(i);
    poll(function () { FinderObj.FinishSiteSurvey(); });
  });
}
function finish() {
  log("typeof " + typeof FinderObj.CheckThreadComplete + " " + typeof FinderObj.bComplete);
  location.hash = "reloaded";
  location.reload();
}
if (location.hash == "#reloaded") {
  log("reloaded " + FinderObj.iCamCount + " " + FinderObj.bComplete + " " + FinderObj.CheckThreadComplete());
  FinderObj.CloseWizard();
  log("still running after CloseWizard");
} else {
  log("start " + FinderObj.CheckThreadComplete() + " " + FinderObj.bComplete);
  FinderObj.SearchCamera_("RC-100");
}
</script></body></html>
)HTML";

} // namespace

TEST(GuiProgram, TestPageDrivesTheBridgeAndClosesWithStatusZero)
{
    auto c0 = StartCamera(0, "RC-100", R"("camera_name": "Gui \"Cam\" \\ x", "stations": 2)");
    auto c1 = StartCamera(1, "RC-100", "");
    auto c2 = StartCamera(2, "RC-200", "");
    std::string dir = CopyProgram();
    WriteFile(dir + "/MacHtml/index.html", kTestPage);
    ProgramRun r = RunProgram(dir);
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    const char* lines[] = {
        "T start 0 0",
        "T AddCameraList 02005E000201 0",
        "T AddCameraList 02005E000202 1",
        "T CompleteSearch 2",
        ("T GatherCameraInfo 0|192.0.2.2|255.255.255.0|192.0.2.254|192.0.2.53|0.0.0.0|8000|Gui "
         "\"Cam\" \\ x|0"),
        "T info 1",
        "T verify 0",
        "T dhcp 1",
        "T survey 1",
        "T GatherSiteSurvey AP-01|100|0|0|0|1",
        "T GatherSiteSurvey AP-02|99|1|1|1|2",
        "T CompleteSiteSurvey",
        "T typeof function number",
        "T reloaded 2 1 1",
    };
    for (const char* l : lines)
        EXPECT_TRUE(Logged(r, l)) << l;
    // The camera got the DHCP setting through the real program.
    int sets = 0;
    for (const auto& q : c0->Requests())
        if (q.bytes.size() >= 22 && q.Command() == 0xA2 && q.camera == CamEnv(0, "MAC"))
            ++sets;
    EXPECT_EQ(1, sets);
    Shell("rm -rf " + dir);
}

TEST(GuiProgram, ScreenshotOfTheWizardPageAfterASearch)
{
    auto c0 = StartCamera(0, "RC-100", R"("camera_name": "Porch")");
    auto c1 = StartCamera(1, "RC-100", R"("camera_name": "Yard")");
    std::string dir = CopyProgram();
    ASSERT_EQ(0, Shell("test -f " + dir + "/MacHtml/index.html")) << "the wizard page is missing";
    EXPECT_EQ(0, Shell("command -v import >/dev/null")) << "imagemagick's import is missing";
    // The wizard searches by itself once loaded; a script beside it (the
    // page's policy allows no inline script) presses Search again for good
    // measure and says when both cameras are on screen; the picture is taken
    // then, and the page closes the program.
    AddPageDriver(
        dir, std::string(kWaitForGo) +
                 "window.addEventListener('load', function () {\n"
                 "  setTimeout(function () { var b = document.getElementById('search-btn'); if "
                 "(b) b.click(); }, 300);\n"
                 "  var n = 0;\n"
                 "  var t = setInterval(function () {\n"
                 "    if (document.querySelectorAll('#camera-list button').length < 2 && ++n < "
                 "600) return;\n"
                 "    clearInterval(t);\n"
                 "    requestAnimationFrame(function () { requestAnimationFrame(function () {\n"
                 "      console.log('T shown'); waitForGo(0);\n"
                 "    }); });\n"
                 "  }, 100);\n"
                 "});\n");

    std::string shot = std::string(RILO_SCREENSHOT_DIR) + "/wizard-after-search.png";
    Shell("mkdir -p " + std::string(RILO_SCREENSHOT_DIR) + " && rm -f " + shot);
    WriteFile(dir + "/driver.sh", DriverScript("grep -qs 'CONSOLE LOG T shown' err.txt out.txt",
                                               "import -window root " + shot));
    ProgramRun r = RunProgram(dir, "sh ./driver.sh");
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    struct stat st {};
    ASSERT_EQ(0, stat(shot.c_str(), &st)) << shot;
    EXPECT_GT(st.st_size, 5000) << "an empty picture";
    EXPECT_TRUE(Logged(r, "T shown")) << "the list of cameras never showed";
    EXPECT_TRUE(Logged(r, "T go"));
    std::printf("screenshot: %s\n", shot.c_str());
    Shell("rm -rf " + dir);
}

TEST(GuiProgram, WithoutADisplayItSaysSoAndEnds)
{
    std::string dir = CopyProgram();
    int status = Shell("cd " + dir +
                       " && env -u DISPLAY -u WAYLAND_DISPLAY NO_AT_BRIDGE=1 timeout -k 5 60 " +
                       "./CameraWizard > " + dir + "/out.txt 2> " + dir + "/err.txt");
    std::string err = ReadFile(dir + "/err.txt");
    EXPECT_EQ(1, status) << err;
    EXPECT_NE(std::string::npos, err.find("cannot open a display (DISPLAY=not set)")) << err;
    EXPECT_NE(std::string::npos, err.find("needs a graphical desktop")) << err;
    Shell("rm -rf " + dir);
}

namespace {

// The page asks for every desktop service, then for a web view of 400 x 300
// on red; once that is drawn it tells the driver through the opener and
// waits for go.png, which the driver drops beside it when it is done.
const std::string kDesktopPage = std::string(R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8">
<style>html, body { margin: 0; height: 100%; overflow: hidden; background: #ff0000; }</style></head><body>
<script>)HTML") + kWaitForGo + R"HTML(
function log(s) { console.log("T " + s); }
log("size " + innerWidth + "x" + innerHeight);
FinderObj.ClipboardData_("clip: caf\u00e9 & <b>");
FinderObj.OpenBrowser_("http://192.0.2.2:8000/setup?a=1&b=2");
FinderObj.OpenBrowser_("rilo-nohandler:x");
FinderObj.OpenBrowser_("not an address");
FinderObj.OpenPDF_("MacHtml/QuickStart.pdf");
FinderObj.CreateShortcut_URL_("RC-100", "https://abcd1234.remote.invalid/?a=1&b=<2>");
FinderObj.CreateNonCloudShortcut_Address_MAC_("../../escape", "http://192.0.2.2:8000", "02/../00");
FinderObj.SetWindowSizeWidth_Height_(400, 300);
// The new size is polled and its paint awaited by two animation frames. A
// busy machine once held the resize event and animation frames back for
// over a minute, so after 5 s the page goes on without them.
var tries = 0, sized = setInterval(function () {
  if ((innerWidth == 720 || innerHeight == 480) && ++tries < 600)
    return;
  clearInterval(sized);
  var reported = false;
  function report() {
    if (reported)
      return;
    reported = true;
    log("resized " + innerWidth + "x" + innerHeight);
    FinderObj.OpenBrowser_("http://192.0.2.9/resized/" + innerWidth + "x" + innerHeight);
    waitForGo(0);
  }
  requestAnimationFrame(function () { requestAnimationFrame(report); });
  setTimeout(report, 5000);
}, 50);
</script></body></html>
)HTML";

// A home of its own: HOME and the XDG folders under dir/home with a
// desktop folder, and a stub opener as the default handler of web addresses
// and PDF files that writes each address it gets to dir/opened.txt. Returns
// the variables that point the program there.
std::string MakeHome(const std::string& dir)
{
    std::string home = dir + "/home";
    std::string apps = home + "/.local/share/applications";
    EXPECT_EQ(0, Shell("mkdir -p " + home + "/Desktop " + home + "/.config " + apps));
    WriteFile(home + "/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
    WriteFile(dir + "/stub-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + dir + "/opened.txt\n");
    chmod((dir + "/stub-open").c_str(), 0755);
    WriteFile(apps + "/rilo-test-open.desktop",
              "[Desktop Entry]\nType=Application\nName=Test opener\nExec=" + dir +
                  "/stub-open "
                  "%u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;application/pdf;\n");
    WriteFile(
        home + "/.config/mimeapps.list",
        "[Default Applications]\nx-scheme-handler/http=rilo-test-open.desktop\n"
        "x-scheme-handler/https=rilo-test-open.desktop\napplication/pdf=rilo-test-open.desktop\n");
    return "HOME=" + home + " XDG_CONFIG_HOME=" + home + "/.config XDG_DATA_HOME=" + home +
           "/.local/share XDG_CACHE_HOME=" + home + "/.cache";
}

// A picture of the window as ImageMagick writes binary PPM.
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    bool Red(int x, int y) const
    {
        size_t i = (static_cast<size_t>(y) * width + x) * 3;
        if (x < 0 || y < 0 || x >= width || y >= height || i + 2 >= rgb.size())
            return false;
        auto c = [&](size_t k) { return static_cast<unsigned char>(rgb[i + k]); };
        return c(0) > 200 && c(1) < 60 && c(2) < 60;
    }
};

Picture ReadPpm(const std::string& path)
{
    std::istringstream in(ReadFile(path));
    std::string magic;
    int max = 0;
    Picture p;
    in >> magic >> p.width >> p.height >> max;
    in.get();
    if (magic != "P6" || max != 255)
        return Picture();
    p.rgb.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return p;
}

} // namespace

TEST(GuiProgram, DesktopServicesReachTheDesktop)
{
    std::string dir = CopyProgram();
    WriteFile(dir + "/MacHtml/index.html", kDesktopPage);
    // Once the page's signal is in, the clipboard is read and the window
    // taken.
    WriteFile(
        dir + "/driver.sh",
        DriverScript(
            "grep -q resized/ opened.txt 2>/dev/null && [ \"$(grep -c '' opened.txt)\" -ge 3 ]",
            "xclip -o -selection clipboard -t UTF8_STRING > clip.txt\n"
            "import -depth 8 -window 'Camera Wizard' shot.ppm"));
    for (const char* tool : {"xclip", "import"})
        EXPECT_EQ(0, Shell(std::string("command -v ") + tool + " >/dev/null"))
            << tool << " is missing";
    ProgramRun r = RunProgram(dir, "sh ./driver.sh", MakeHome(dir));
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(Logged(r, "T size 720x480"));
    EXPECT_TRUE(Logged(r, "T resized 400x300"));
    EXPECT_TRUE(Logged(r, "T go"));

    // The clipboard held the text while the program ran.
    EXPECT_EQ("clip: caf\xC3\xA9 & <b>", ReadFile(dir + "/clip.txt"));

    // The default handler got the web addresses and the manual (GIO hands a
    // local file over as its path); what no handler takes, or does not
    // parse, is a diagnostic line.
    std::string opened = ReadFile(dir + "/opened.txt");
    for (std::string line :
         {std::string("http://192.0.2.2:8000/setup?a=1&b=2"),
          std::string("http://192.0.2.9/resized/400x300"), dir + "/MacHtml/QuickStart.pdf"})
        EXPECT_NE(std::string::npos, opened.find(line + "\n")) << line << " in\n" << opened;
    EXPECT_EQ(3, std::count(opened.begin(), opened.end(), '\n')) << opened;
    EXPECT_NE(std::string::npos, r.err.find("[CameraWizard] cannot open rilo-nohandler:x: "));
    EXPECT_NE(std::string::npos,
              r.err.find("[CameraWizard] cannot open not an address: not an address\n"));

    // Both bookmarks lie in the desktop folder, the hostile one too.
    std::string desktop = dir + "/home/Desktop/";
    EXPECT_NE(
        std::string::npos,
        ReadFile(desktop + "Quillmar RC-100(abcd1234).webloc")
            .find("\n<string>https://abcd1234.remote.invalid/?a=1&amp;b=&lt;2&gt;</string>\n"));
    EXPECT_NE(std::string::npos, ReadFile(desktop + "Quillmar .._.._escape(02_.._00).webloc")
                                     .find("\n<string>http://192.0.2.2:8000</string>\n"));
    EXPECT_EQ(0, Shell("test \"$(find " + dir + " -name '*escape*' | wc -l)\" = 1"));

    // The window kept its size; the web view sits in its bottom left corner.
    Picture shot = ReadPpm(dir + "/shot.ppm");
    EXPECT_EQ(720, shot.width);
    EXPECT_EQ(480, shot.height);
    EXPECT_TRUE(shot.Red(5, 475) && shot.Red(395, 185) && shot.Red(5, 185))
        << "the web view is not at the bottom left";
    EXPECT_FALSE(shot.Red(5, 5) || shot.Red(405, 475) || shot.Red(715, 475) || shot.Red(395, 175))
        << "the web view is larger than 400 x 300";
    if (!HasFailure())
        Shell("rm -rf " + dir);
}

namespace {

// The wizard page walked to its live picture: the camera of the search is
// chosen, logged in as admin / secret, and the live step opened from the
// step list. On stop.png the page stops the picture itself (staying on the
// step), then waits for go.png to close.
const std::string kLiveDriver = std::string(kWaitForGo) + R"JS(
function waitForFile(name, n, then) {
  var img = new Image();
  img.onload = then;
  img.onerror = function () {
    if (n < 600) setTimeout(function () { waitForFile(name, n + 1, then); }, 100);
    else { console.log("T no " + name); then(); }
  };
  img.src = name + "?" + n;
}
function when(cond, then) {
  var n = 0;
  var t = setInterval(function () {
    if (!cond() && ++n < 600) return;
    clearInterval(t);
    then();
  }, 100);
}
window.addEventListener("load", function () {
  when(function () { return document.querySelector("#camera-list button") !== null; }, function () {
    document.querySelector("#camera-list button").click();
    document.getElementById("login-user").value = "admin";
    document.getElementById("login-password").value = "secret";
    document.getElementById("login-form").requestSubmit();
    when(function () { return !document.getElementById("step-info").hidden; }, function () {
      document.querySelector('#steps li[data-step="live"]').click();
      // Told once the step has been drawn: on a loaded machine the picture
      // may otherwise be shot over a page still showing an earlier step.
      requestAnimationFrame(function () { requestAnimationFrame(function () {
        console.log("T live " + document.body.classList.contains("live-step"));
        waitForFile("stop.png", 0, function () {
          console.log("T picture " + FinderObj.bLivePicture);
          FinderObj.StopLiveView();
          console.log("T stopped " + FinderObj.bLivePicture);
          waitForGo(0);
        });
      }); });
    });
  });
});
)JS";

// Takes the window as PPM into out until the pixel at (x, y) is within
// tolerance of r, g, b (at most 60 s); the shell text of that loop.
std::string ShootUntil(const std::string& out, int x, int y, const liveviewtest::Colour& c,
                       int tolerance)
{
    return "i=0; while [ $i -lt 300 ]; do import -depth 8 -window 'Camera Wizard' " + out +
           " 2>/dev/null && python3 -c \"import sys; d=open('" + out +
           "','rb').read(); h=d.split(b'\\\\n',3); w=int(h[1].split()[0]); "
           "o=len(d)-w*int(h[1].split()[1])*3+(" +
           std::to_string(y) + "*w+" + std::to_string(x) +
           ")*3; sys.exit(0 if all(abs(d[o+k]-v)<=" + std::to_string(tolerance) +
           " for k,v in enumerate((" + std::to_string(c[0]) + "," + std::to_string(c[1]) + "," +
           std::to_string(c[2]) + "))) else 1)\" && break; sleep 0.2; i=$((i + 1)); done";
}

// The live rectangle in the window's top-down coordinates.
constexpr int kRectLeft = 535, kRectTop = 480 - 335 - 120, kRectWidth = 160, kRectHeight = 120;

// Checks every block of the picture in the rectangle, away from its edges.
::testing::AssertionResult ShowsBlocksInRect(const Picture& p, int tolerance)
{
    const int bw = kRectWidth / liveviewtest::kBlocksAcross,
              bh = kRectHeight / liveviewtest::kBlocksDown;
    for (int row = 0; row < liveviewtest::kBlocksDown; ++row)
        for (int col = 0; col < liveviewtest::kBlocksAcross; ++col)
            for (int dy = 6; dy < bh - 6; dy += 7)
                for (int dx = 6; dx < bw - 6; dx += 7) {
                    const int x = kRectLeft + col * bw + dx, y = kRectTop + row * bh + dy;
                    const auto* px = reinterpret_cast<const uint8_t*>(p.rgb.data()) +
                                     (size_t(y) * p.width + x) * 3;
                    if (!liveviewtest::Near(liveviewtest::BlockColour(col, row), px, tolerance))
                        return ::testing::AssertionFailure()
                               << "block " << col << "," << row << " at " << x << "," << y << " is "
                               << int(px[0]) << " " << int(px[1]) << " " << int(px[2]);
                }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(GuiProgram, LivePictureInItsRectangle)
{
    auto landap = StartCamera(0, "RC-100", R"("camera_name": "Live")");
    std::string dir = CopyProgram();
    ASSERT_TRUE(liveviewtest::MakeBlockPicture(dir, "blocks", 640, 480));
    // The camera's web side on its own address and web port.
    testsupport::HttpEmulator web(liveviewtest::CameraConfig(dir + "/blocks.jpg", 10),
                                  CamEnv(0, "NS"), CamEnv(0, "ADDR"), 8000);
    AddPageDriver(dir, kLiveDriver);

    // With the picture: the first block's colour at its centre; without it:
    // the page's own colour of the rectangle.
    const std::string shots = RILO_SCREENSHOT_DIR;
    Shell("mkdir -p " + shots + " && rm -f " + shots + "/live-picture*.png");
    const liveviewtest::Colour pageArea{{0x2b, 0x3a, 0x4a}};
    WriteFile(
        dir + "/driver.sh",
        DriverScript("grep -qs 'CONSOLE LOG T live' err.txt out.txt",
                     ShootUntil("live.ppm", kRectLeft + 20, kRectTop + 20,
                                liveviewtest::BlockColour(0, 0), 30) +
                         "\n" + "cp MacHtml/Html/images/background.png MacHtml/stop.png\n" +
                         ShootUntil("stopped.ppm", kRectLeft + 20, kRectTop + 20, pageArea, 8)));
    ProgramRun r = RunProgram(dir, "sh ./driver.sh");
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(Logged(r, "T live true"));
    // The page can tell that the camera's picture came, and that it went.
    EXPECT_TRUE(Logged(r, "T picture 1"));
    EXPECT_TRUE(Logged(r, "T stopped 0"));
    EXPECT_TRUE(Logged(r, "T go"));
    Shell("convert " + dir + "/live.ppm " + shots + "/live-picture.png");
    Shell("convert " + dir + "/stopped.ppm " + shots + "/live-picture-stopped.png");
    std::printf("screenshots: %s/live-picture.png, %s/live-picture-stopped.png\n", shots.c_str(),
                shots.c_str());

    // The camera was asked for its MJPEG picture of profile 3 with the
    // credentials the page logged in with.
    bool asked = false;
    for (const auto& q : web.Requests())
        asked = asked || (q.Text().rfind("GET /video/mjpg.cgi?profileid=3 HTTP/1.1\r\n", 0) == 0 &&
                          q.auth == "ok");
    EXPECT_TRUE(asked) << web.Output();

    Picture live = ReadPpm(dir + "/live.ppm"), stopped = ReadPpm(dir + "/stopped.ppm");
    ASSERT_EQ(720, live.width);
    ASSERT_EQ(480, live.height);
    ASSERT_EQ(720, stopped.width);
    ASSERT_EQ(480, stopped.height);
    EXPECT_TRUE(ShowsBlocksInRect(live, 24));
    // Around the rectangle both pictures show the same page; inside, once
    // stopped, the page's own area shows again.
    auto at = [](const Picture& p, int x, int y) {
        return p.rgb.substr((size_t(y) * p.width + x) * 3, 3);
    };
    int differ = 0;
    for (int x = kRectLeft - 4; x <= kRectLeft + kRectWidth + 3; ++x)
        for (int y : {kRectTop - 4, kRectTop + kRectHeight + 3})
            differ += at(live, x, y) != at(stopped, x, y);
    for (int y = kRectTop - 4; y <= kRectTop + kRectHeight + 3; ++y)
        for (int x : {kRectLeft - 4, kRectLeft + kRectWidth + 3})
            differ += at(live, x, y) != at(stopped, x, y);
    EXPECT_EQ(0, differ) << "the picture reaches outside its rectangle";
    for (int y = kRectTop + 2; y < kRectTop + kRectHeight - 2; y += 9)
        for (int x = kRectLeft + 2; x < kRectLeft + kRectWidth - 2; x += 9)
            ASSERT_TRUE(liveviewtest::Near(
                pageArea, reinterpret_cast<const uint8_t*>(at(stopped, x, y).data()), 8))
                << "the picture stayed after StopLiveView at " << x << "," << y;
    if (!HasFailure())
        Shell("rm -rf " + dir);
}

namespace {

// The driver's half of the close-button tests: it starts the program and,
// each time the page logs "T press N" (N from 1 to presses), presses the
// window's close button (firstReady, a pattern of a line, may stand for the
// first). A driver that waits in vain gives up after 90 s for each press.
std::string CloseDriver(int presses, const std::string& firstReady = "")
{
    std::string s = "#!/bin/sh\n./CameraWizard & p=$!\n"
                    "await() { i=0; while [ $i -lt 900 ] && kill -0 $p 2>/dev/null && "
                    "! grep -qs \"$@\" out.txt err.txt; do sleep 0.1; i=$((i + 1)); done; }\n";
    for (int n = 1; n <= presses; ++n) {
        if (n == 1 && !firstReady.empty())
            s += "await '" + firstReady + "'\n";
        else
            s += "await 'CONSOLE LOG T press " + std::to_string(n) + "$'\n";
        s += std::string(RILO_SEND_CLOSE) + " 'Camera Wizard' || echo 'no press " +
             std::to_string(n) + "' >&2\n";
    }
    return s + "wait $p\n";
}

// What the drivers of the wizard page below share: each waits for what the
// user would see (at most two minutes unless told more) and logs it.
const char* kDriverHelpers = R"JS(
function log(s) { console.log("T " + s); }
function $(id) { return document.getElementById(id); }
function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }
function Fail(m) { this.message = m; }
async function until(what, cond, polls) {
  for (var n = 0; n < (polls || 1200); n++) {
    if (cond()) return;
    await sleep(100);
  }
  throw new Fail("no " + what + "; the message: " + message());
}
function message() { return $("message").hidden ? "" : $("message").textContent; }
function idle() { return $("busy").hidden; }
function choose(label) {
  var b = Array.prototype.filter.call($("message").querySelectorAll("button"),
                                      function (x) { return x.textContent === label; });
  if (b.length !== 1) throw new Fail("no choice " + label + " in: " + message());
  b[0].click();
}
function type(id, text) {
  $(id).value = text;
  $(id).dispatchEvent(new Event("input", { bubbles: true }));
}
async function login() {
  await until("the camera", function () { return idle() && document.querySelector("#camera-list button"); });
  document.querySelector("#camera-list button").click();
  $("login-password").value = "secret";
  $("login-form").requestSubmit();
  await until("the camera information", function () { return idle() && !$("step-info").hidden; });
}
// Resolves once the driver put the file beside the page.
function fileAppears(name) {
  return new Promise(function (resolve) {
    var n = 0;
    function probe() {
      var img = new Image();
      img.onload = resolve;
      img.onerror = function () { if (++n < 1200) setTimeout(probe, 100); else resolve(); };
      img.src = name + "?" + n;
    }
    probe();
  });
}
function run(walk) {
  window.addEventListener("load", function () {
    walk().catch(function (e) {
      log("fail: " + (e instanceof Fail ? e.message : e));
      FinderObj.CloseWizard();
    });
  });
}
)JS";

// A driver of the wizard page: the helpers and the walk, in a scope of their
// own beside the page's globals.
std::string PageDriver(const char* walk)
{
    return std::string("(function () {\n\"use strict\";\n") + kDriverHelpers + walk + "})();\n";
}

// The user's side of the close-button tests: each question that a press of
// the close button should bring is awaited and logged.
const char* kCloseButtonWalk = R"JS(
var presses = 0;
async function pressClose(what, pattern) {
  log("press " + (++presses));
  await until("question " + what, function () { return pattern.test(message()); });
  log("asked " + what);
}
run(async function () {
  await login();
  document.querySelector("#step-info .next").click();
  type("addr-dns2", "192.0.2.54");
  await pressClose("typed", /typed on the IP address page are not applied/);
  choose("Stay here");
  await pressClose("again", /typed on the IP address page are not applied/);
  choose("Apply and close");
  await until("the question about saving", function () {
    return idle() && /sent to the camera but not saved/.test(message());
  });
  choose("Go to Save");
  $("save-btn").click();
  await pressClose("during the save", /being saved in the camera|saving the settings and may restart/);
  await until("the save", function () { return idle() && /settings are saved/.test(message()); });
  log("saved");
  document.querySelector('#steps li[data-step="address"]').click();
  type("addr-dns2", "192.0.2.55");
  $("address-form").requestSubmit();
  await until("the applied address", function () { return idle() && $("message").className === "ok"; });
  await pressClose("unsaved", /sent to the camera but not saved/);
  choose("Close anyway");
});
)JS";

constexpr const char* kNoCloseAnswer = "[CameraWizard] the page did not answer the close button";

} // namespace

// The window's close button asks the page as its own Close does: with
// nothing to lose it closes at once; with a typed change it asks, also a
// second time after the user stayed; during a save it says so, and the save
// (which the camera makes take longer than the wait for the page's answer)
// goes on to its end; Close anyway then ends the program.
TEST(GuiProgram, CloseButtonAsksBeforeLosingWork)
{
    auto cam =
        StartCamera(0, "RC-100", R"("camera_name": "Closing")", R"("0xC0": {"wait_ms": 8000})");
    {
        std::string dir = CopyProgram();
        WriteFile(dir + "/driver.sh", CloseDriver(1, "search finished"));
        ProgramRun r = RunProgram(dir, "sh ./driver.sh");
        SCOPED_TRACE("nothing to lose: stdout:\n" + r.out + "\nstderr:\n" + r.err);
        EXPECT_EQ(0, r.status);
        EXPECT_TRUE(Logged(r, "[wizard] search finished: 1 camera(s) of model RC-100"));
        EXPECT_EQ(std::string::npos, r.err.find("no press"));
        EXPECT_EQ(std::string::npos, r.err.find(kNoCloseAnswer)) << "the page was not asked";
        if (!HasFailure())
            Shell("rm -rf " + dir);
    }
    std::string dir = CopyProgram();
    AddPageDriver(dir, PageDriver(kCloseButtonWalk));
    WriteFile(dir + "/driver.sh", CloseDriver(4));
    ProgramRun r = RunProgram(dir, "sh ./driver.sh");
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    for (const char* line : {"T asked typed", "T asked again", "T asked during the save", "T saved",
                             "T asked unsaved"})
        EXPECT_TRUE(Logged(r, line)) << line;
    EXPECT_EQ(std::string::npos, r.err.find("T fail: "));
    EXPECT_EQ(std::string::npos, r.err.find("no press"));
    EXPECT_EQ(std::string::npos, r.err.find(kNoCloseAnswer));
    // Both applied addresses reached the camera, and the one save.
    size_t sets = 0, commits = 0;
    for (const auto& q : cam->Requests()) {
        if (q.bytes.size() < 22 || q.camera != CamEnv(0, "MAC"))
            continue;
        sets += q.Command() == 0xA2;
        commits += q.Command() == 0xC0;
    }
    EXPECT_EQ(2u, sets);
    EXPECT_EQ(1u, commits);
    if (!HasFailure())
        Shell("rm -rf " + dir);
}

namespace {

// The user's side of the silent camera's test: the wireless step of a camera
// that does not answer its wireless reads, then Try again once it does.
const char* kSilentWirelessWalk = R"JS(
run(async function () {
  await login();
  document.querySelector('#steps li[data-step="wireless"]').click();
  // Each read waits out the finder's retries.
  await until("the wireless error", function () { return idle() && message() !== ""; }, 2400);
  log("error " + $("message").querySelector(".message-text").textContent);
  log("controls " + $("wireless-btn").disabled + " " + $("survey-btn").disabled + " " +
      Array.prototype.map.call($("message").querySelectorAll("button"), function (b) { return b.textContent; }));
  log("unsilence");
  await fileAppears("answering.png");
  choose("Try again");
  await until("the wireless settings", function () { return idle() && $("wl-ssid").value !== ""; });
  log("read " + $("wl-ssid").value + " " + $("wireless-btn").disabled);
  // A WEP key typed just above the buttons and refused: the field stays in
  // view above the message, which grows the button row.
  $("wl-advanced").open = true;
  $("wl-auth").value = "1";
  $("wl-auth").dispatchEvent(new Event("change", { bubbles: true }));
  var row = document.querySelectorAll("#step-wireless .buttons");
  $("content").scrollTop += $("wl-wepkey").getBoundingClientRect().bottom -
                            row[row.length - 1].getBoundingClientRect().top + 2;
  $("wl-wepkey").focus({ preventScroll: true });
  type("wl-wepkey", "xyz");
  $("wireless-form").requestSubmit();
  await until("the key's error", function () { return $("wl-wepkey").classList.contains("invalid"); });
  await new Promise(function (r) { requestAnimationFrame(function () { requestAnimationFrame(r); }); });
  var rows = document.querySelectorAll("#step-wireless .buttons");
  var key = $("wl-wepkey").getBoundingClientRect(), content = $("content").getBoundingClientRect();
  log("key in view " + (key.top >= content.top && key.bottom <= rows[rows.length - 1].getBoundingClientRect().top) +
      " " + (document.activeElement === $("wl-wepkey")));
  FinderObj.CloseWizard();
});
)JS";

} // namespace

// A camera that stops answering its wireless reads: the step says so and
// offers Try again, which reads the settings once the camera answers again.
// Then a WEP key the page refuses: its field stays in view above the
// message that says why.
TEST(GuiProgram, SilentWirelessReadOffersTryAgain)
{
    std::string dir = CopyProgram();
    const std::string silence = dir + "/camera-silent";
    WriteFile(silence, "");
    auto cam = StartCamera(
        0, "RC-100",
        R"("camera_name": "Quiet", "wireless": {"enable": 1, "ssid": "Quiet-Net", "channel": 6})",
        "\"0xA8\": {\"silent_while\": \"" + silence + "\"}");
    AddPageDriver(dir, PageDriver(kSilentWirelessWalk));
    WriteFile(
        dir + "/driver.sh",
        "#!/bin/sh\n./CameraWizard & p=$!\ni=0\n"
        "while [ $i -lt 2400 ] && kill -0 $p 2>/dev/null && "
        "! grep -qs 'CONSOLE LOG T unsilence$' out.txt err.txt; do sleep 0.1; i=$((i + 1)); done\n"
        "rm -f " +
            silence +
            "\n"
            "cp MacHtml/Html/images/background.png MacHtml/answering.png\nwait $p\n");
    ProgramRun r = RunProgram(dir, "sh ./driver.sh", "", 280);
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(
        Logged(r, "T error The wireless settings could not be read from the camera. The camera "
                  "did not answer; check that it is on and connected, then try again."));
    EXPECT_TRUE(Logged(r, "T controls true true Try again"));
    EXPECT_TRUE(Logged(r, "T read Quiet-Net false"));
    EXPECT_TRUE(Logged(r, "T key in view true true"));
    EXPECT_EQ(std::string::npos, r.err.find("T fail: "));
    // The silent reads were tried more than once before the page said so.
    size_t reads = 0;
    for (const auto& q : cam->Requests())
        reads += q.bytes.size() >= 22 && q.Command() == 0xA8 && q.camera == CamEnv(0, "MAC");
    EXPECT_GT(reads, 3u);
    if (!HasFailure())
        Shell("rm -rf " + dir);
}
