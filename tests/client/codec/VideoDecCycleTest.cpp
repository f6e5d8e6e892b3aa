// Starting and stopping the decode threads while they decode, pace and are
// asked for their rates from other threads: a stop returns promptly, also
// from a long pacing wait, and no picture is delivered after it returned.
#include "VideoDecTestUtil.h"

#include <gtest/gtest.h>

#include <random>

using namespace vdtest;

namespace {

// Seconds StopDecodingProc may take: about one data-source wait is the
// rule; the machine may be loaded.
const double kPromptStop = 1.0;

double TimedStop(CVideoDecThread& dec)
{
    const double t0 = testsupport::MonotonicNow();
    dec.StopDecodingProc();
    return testsupport::MonotonicNow() - t0;
}

// Asks for rates and sizes and sets the threshold until stopped.
class Prober {
public:
    explicit Prober(CVideoDecThread& dec)
        : m_thread([this, &dec] {
              while (!m_stop) {
                  double fps;
                  unsigned long bps;
                  int w, h;
                  dec.GetFPS(&fps);
                  dec.GetBPS(&bps);
                  StreamSize(dec, &w, &h);
                  dec.SetDelayThreshold(10);
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~Prober()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(VideoDecCycle, StartStopWhileDecodingAndPacing)
{
    const std::vector<StreamSpec> specs = {
        {"mpeg4", 320, 240, 30, 30, 10, ""},
        {"h264", 320, 240, 30, 30, 10, "-profile:v baseline"},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    std::mt19937 random(7);
    for (size_t i = 0; i < specs.size(); ++i) {
        const std::string& codec = specs[i].codec;
        SCOPED_TRACE(codec);
        // The configuration again at each round, as a stream sends it
        // whenever its decoder starts.
        UnitFeeder feeder(feeds[i].units);
        feeder.Start(0, -1, true);
        DeliveryLog log(nullptr, false);
        auto dec = StartDecoder(codec, feeder, log, true);
        std::unique_ptr<Prober> prober(new Prober(*dec));
        EXPECT_EQ(-2, dec->StartDecodingProc());
        size_t delivered = 0;
        for (int cycle = 0; cycle < 12; ++cycle) {
            // Stop in the middle of anything: the first picture, a pacing
            // wait, a data-source wait.
            if (cycle % 3 == 0) {
                EXPECT_TRUE(log.WaitFor(delivered + 1, 30));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 80));
            EXPECT_LT(TimedStop(*dec), kPromptStop);
            log.Close();
            delivered = log.Count();
            dec->SetPacing(cycle % 2 == 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            log.Open();
            ASSERT_EQ(0, dec->StartDecodingProc());
        }
        EXPECT_GT(log.Count(), 4u);
        // Destroyed while running: the destructor stops the thread.
        prober.reset();
        dec.reset();
        log.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(0, log.Late());
    }
}

TEST(VideoDecCycle, StopEndsALongPacingWait)
{
    // A picture a second (H.264), and two a second (MPEG-4: its clock of
    // one tick a second would show no increments at all).
    const std::vector<StreamSpec> specs = {
        {"h264", 160, 120, 1, 5, 5, "-profile:v baseline"},
        {"mpeg4", 160, 120, 2, 5, 5, ""},
    };
    const std::vector<Feed> feeds = MakeFeeds(specs);
    for (size_t i = 0; i < specs.size(); ++i) {
        const std::string& codec = specs[i].codec;
        SCOPED_TRACE(codec);
        UnitFeeder feeder(feeds[i].units);
        DeliveryLog log(&feeder, false);
        auto dec = StartDecoder(codec, feeder, log, true);
        feeder.Start();
        // The first picture goes out at once, the next is due a step later.
        ASSERT_TRUE(log.WaitFor(1, 30));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_LT(TimedStop(*dec), 0.4);
        log.Close();
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        EXPECT_EQ(0, log.Late());
        EXPECT_EQ(1u, log.Count());
    }
}

TEST(VideoDecCycle, StartsWithoutSourceAndOnlyOnce)
{
    for (const std::string codec : {"mpeg4", "h264"}) {
        SCOPED_TRACE(codec);
        std::unique_ptr<CVideoDecThread> dec;
        if (codec == "mpeg4")
            dec.reset(new CMPG4VideoDec);
        else
            dec.reset(new CH264VideoDec);
        dec->StopDecodingProc(); // nothing to stop
        ASSERT_EQ(0, dec->StartDecodingProc());
        EXPECT_EQ(-2, dec->StartDecodingProc());
        double fps = -1;
        dec->GetFPS(&fps);
        EXPECT_EQ(0, fps);
        int w = -1, h = -1;
        EXPECT_FALSE(StreamSize(*dec, &w, &h));
        EXPECT_LT(TimedStop(*dec), kPromptStop);
        EXPECT_LT(TimedStop(*dec), kPromptStop);
        ASSERT_EQ(0, dec->StartDecodingProc());
    }
}
