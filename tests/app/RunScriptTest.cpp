// scripts/run on a machine without a display: it says plainly that the
// wizard needs one and points at scripts/demo, before it installs or builds
// anything. Runs a copy of the script whose setup and build only report.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

int Shell(const std::string& command)
{
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class RunScript : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/rilo-run-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        m_dir = tmpl;
        ASSERT_EQ(0, Shell("mkdir " + m_dir + "/scripts && cp " RILO_SOURCE_DIR "/scripts/run " +
                           m_dir + "/scripts/"));
        for (const char* step : {"setup", "build"}) {
            std::string path = m_dir + "/scripts/" + step;
            std::ofstream(path) << "#!/bin/sh\necho \"" << step << " ran\"\nexit 3\n";
            chmod(path.c_str(), 0755);
        }
    }
    void TearDown() override { Shell("rm -rf " + m_dir); }

    // The script's status, with what it wrote on both streams in *output.
    int Run(const std::string& env, std::string* output)
    {
        int status =
            Shell("env " + env + " " + m_dir + "/scripts/run > " + m_dir + "/out.txt 2>&1");
        *output = testsupport::ReadFile(m_dir + "/out.txt");
        return status;
    }

    std::string m_dir;
};

} // namespace

TEST_F(RunScript, WithoutADisplayItPointsAtTheDemo)
{
    std::string out;
    EXPECT_EQ(1, Run("-u DISPLAY -u WAYLAND_DISPLAY", &out));
    EXPECT_NE(std::string::npos, out.find("needs a graphical display")) << out;
    EXPECT_NE(std::string::npos, out.find("scripts/demo")) << out;
    EXPECT_EQ(std::string::npos, out.find("setup ran")) << "nothing installed or built first";
}

TEST_F(RunScript, WithADisplayItSetsUpAndBuilds)
{
    std::string out;
    EXPECT_EQ(3, Run("-u WAYLAND_DISPLAY DISPLAY=:99", &out));
    EXPECT_NE(std::string::npos, out.find("setup ran")) << out;
}
