// The real program under Xvfb, in a test LAN with emulated cameras: a test
// page drives FinderObj and reports through console.log; a second run takes
// a screenshot of the wizard page after a search.
#include "FinderLan.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using testsupport::CamEnv;
using testsupport::LandapEmulator;

namespace {

std::unique_ptr<LandapEmulator> StartCamera(int i, const std::string& model, const std::string& extra)
{
    return testsupport::StartNetlabCamera(
        i, "\"model\": \"" + model + "\", \"web_port\": " + std::to_string(8000 + i) +
               ", \"gateway\": \"192.0.2.254\", \"dns1\": \"192.0.2.53\", \"user\": \"admin\", "
               "\"password\": \"secret\", \"command_faults\": {\"discovery\": {\"delay_ms\": " +
               std::to_string(300 * i) + "}}" + (extra.empty() ? "" : ", " + extra));
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
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
    EXPECT_EQ(0, Shell("cp -r " + app + "/CameraWizard " + app + "/webext " + app + "/MacHtml " + d + "/"));
    return d;
}

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

// Runs the copied program under a private X server. inner is the shell text
// that starts it ("./CameraWizard" by default) and may do more meanwhile.
ProgramRun RunProgram(const std::string& dir, const std::string& inner = "./CameraWizard")
{
    for (const char* tool : {"xvfb-run", "Xvfb", "xauth"})
        EXPECT_EQ(0, Shell(std::string("command -v ") + tool + " >/dev/null")) << tool << " is missing";
    std::string runtime = dir + "/runtime";
    mkdir(runtime.c_str(), 0700);
    std::string cmd = "cd " + dir + " && XDG_RUNTIME_DIR=" + runtime + " NO_AT_BRIDGE=1 timeout -k 5 120 " +
                      "xvfb-run -a -s '-screen 0 720x480x24' sh -c '" + inner + "' > " + dir + "/out.txt 2> " +
                      dir + "/err.txt";
    ProgramRun r;
    r.status = Shell(cmd);
    r.out = Slurp(dir + "/out.txt");
    r.err = Slurp(dir + "/err.txt");
    return r;
}

// The page's console lines, wherever WebKit wrote them.
bool Logged(const ProgramRun& r, const std::string& message)
{
    std::string line = "CONSOLE LOG " + message + "\n";
    return r.out.find(line) != std::string::npos || r.err.find(line) != std::string::npos;
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

}  // namespace

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
        "T GatherCameraInfo 0|192.0.2.2|255.255.255.0|192.0.2.254|192.0.2.53|0.0.0.0|8000|Gui \"Cam\" \\ x|0",
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
    // measure, says when the list of both cameras is on screen, and closes
    // the program a while after that (or, failing that, long after loading).
    std::string page = Slurp(dir + "/MacHtml/index.html");
    size_t end = page.rfind("</body>");
    page.insert(end == std::string::npos ? page.size() : end, "<script src=\"test-driver.js\"></script>");
    WriteFile(dir + "/MacHtml/index.html", page);
    WriteFile(dir + "/MacHtml/test-driver.js",
              "window.addEventListener('load', function () {\n"
              "  setTimeout(function () { var b = document.getElementById('search-btn'); if (b) b.click(); }, 300);\n"
              "  var loaded = Date.now();\n"
              "  var poll = setInterval(function () {\n"
              "    var shown = document.getElementById('busy').hidden &&\n"
              "                document.querySelectorAll('#camera-list li').length >= 2;\n"
              "    if (!shown && Date.now() - loaded < 90000) return;\n"
              "    clearInterval(poll);\n"
              "    requestAnimationFrame(function () { requestAnimationFrame(function () {\n"
              "      if (shown) console.log('T shoot');\n"
              "      setTimeout(function () { console.log('T closing'); FinderObj.CloseWizard(); }, 8000);\n"
              "    }); });\n"
              "  }, 200);\n"
              "});\n");

    std::string shot = std::string(RILO_SCREENSHOT_DIR) + "/wizard-after-search.png";
    Shell("mkdir -p " + std::string(RILO_SCREENSHOT_DIR) + " && rm -f " + shot);
    // The picture is taken once the page says the list is painted, not after
    // a fixed time that a loaded machine may not keep.
    ProgramRun r = RunProgram(dir, "./CameraWizard & p=$!; n=0; "
                                   "until grep -qs \"CONSOLE LOG T shoot\" out.txt err.txt || [ $n -ge 1000 ]; "
                                   "do sleep 0.1; n=$((n+1)); done; import -window root " + shot + "; wait $p");
    SCOPED_TRACE("stdout:\n" + r.out + "\nstderr:\n" + r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(Logged(r, "T shoot")) << "the list of cameras never showed";
    struct stat st {};
    ASSERT_EQ(0, stat(shot.c_str(), &st)) << shot;
    EXPECT_GT(st.st_size, 5000) << "an empty picture";
    EXPECT_TRUE(Logged(r, "T closing"));
    std::printf("screenshot: %s\n", shot.c_str());
    Shell("rm -rf " + dir);
}

TEST(GuiProgram, WithoutADisplayItSaysSoAndEnds)
{
    std::string dir = CopyProgram();
    int status = Shell("cd " + dir + " && env -u DISPLAY -u WAYLAND_DISPLAY NO_AT_BRIDGE=1 timeout -k 5 60 " +
                       "./CameraWizard > " + dir + "/out.txt 2> " + dir + "/err.txt");
    std::string err = Slurp(dir + "/err.txt");
    EXPECT_EQ(1, status) << err;
    EXPECT_NE(std::string::npos, err.find("cannot open a display (DISPLAY=not set)")) << err;
    EXPECT_NE(std::string::npos, err.find("needs a graphical desktop")) << err;
    Shell("rm -rf " + dir);
}
