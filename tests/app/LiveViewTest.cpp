// The live picture on the headless backend: frames of the emulated camera
// (MJPEG on loopback) become images and are drawn into the live rectangle,
// the background stands in before them and when the camera is away, and
// stopping ends the drawing and the callbacks. Bad frames are fed by hand.
#include "BridgeTestUtil.h"
#include "CLiveView.h"
#include "HttpEmulator.h"
#include "LiveViewTestUtil.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using bridgetest::N;
using bridgetest::Page;
using bridgetest::S;
using liveviewtest::ColourAt;
using liveviewtest::Near;
using platform::HeadlessPlatform;

namespace {

// A private folder that goes with the test.
struct Folder {
    std::string path;
    Folder()
    {
        char tmpl[] = "/tmp/rilo-live-XXXXXX";
        const char* d = mkdtemp(tmpl);
        path = d ? std::string(d) + "/" : "/tmp/";
    }
    ~Folder() { std::filesystem::remove_all(path); }
};

// A program folder with the background picture where the program has it.
std::string WithBackground(const Folder& f)
{
    std::filesystem::create_directories(f.path + "Html/images");
    std::filesystem::copy_file(std::string(RILO_SOURCE_DIR) + "/MacHtml/Html/images/background.png",
                               f.path + "Html/images/background.png");
    return f.path + "Html/images/background.png";
}

bool Eventually(const std::function<bool()>& cond, double seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A loopback port nobody listens on.
int ClosedPort()
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

int Field(Page& page, const std::string& name)
{
    return int(page.platform.Get(name).number());
}

bool InLiveRect(const HeadlessPlatform::Drawing& d)
{
    return d.rect.x == 535 && d.rect.y == 335 && d.rect.width == 160 && d.rect.height == 120;
}

// How far the image is from the block picture at each block's centre.
::testing::AssertionResult ShowsBlocks(const platform::Image& image, int tolerance)
{
    for (int row = 0; row < liveviewtest::kBlocksDown; ++row)
        for (int col = 0; col < liveviewtest::kBlocksAcross; ++col) {
            const int x = (2 * col + 1) * image.width() / (2 * liveviewtest::kBlocksAcross);
            const int y = (2 * row + 1) * image.height() / (2 * liveviewtest::kBlocksDown);
            const uint8_t* p =
                image.rgba().data() + (size_t(y) * size_t(image.width()) + size_t(x)) * 4;
            if (!Near(ColourAt(x, y, image.width(), image.height()), p, tolerance) || p[3] != 255)
                return ::testing::AssertionFailure()
                       << "block " << col << "," << row << " is " << int(p[0]) << " " << int(p[1])
                       << " " << int(p[2]) << " " << int(p[3]);
        }
    return ::testing::AssertionSuccess();
}

tagBITMAPINFOHEADER Header(int width, int height, uint32_t compression = 0)
{
    tagBITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = compression;
    h.biSizeImage = uint32_t(std::llabs(int64_t(width) * height) * 4);
    return h;
}

} // namespace

// Background first (the camera's reply is held back), then the camera's
// pictures at their own size; one drawing timer however often the page
// starts; stopping ends the drawing, clears the picture, and is harmless twice.
TEST(LiveViewDrawing, BackgroundThenFramesThenStop)
{
    Folder dir;
    const std::string background = WithBackground(dir);
    ASSERT_TRUE(liveviewtest::MakeBlockPicture(dir.path, "blocks", 640, 480));
    testsupport::HttpEmulator cam(liveviewtest::CameraConfig(
        dir.path + "blocks.jpg", 15, R"("split_header":true,"split_delay":0.01,)"));
    Page page(dir.path);

    page.Call("LiveView_IP_Port_ID_Password_AuthType_",
              {S("0"), S("127.0.0.1"), N(cam.Port()), S("admin"), S("secret"), N(2)});
    EXPECT_EQ(1u, page.platform.LiveTimers());
    EXPECT_EQ(1, Field(page, "tDraw"));
    page.platform.FireTimers();
    auto drawn = page.platform.Drawings();
    ASSERT_EQ(1u, drawn.size());
    EXPECT_EQ(background, drawn[0].source);
    EXPECT_EQ(1024, drawn[0].width);
    EXPECT_EQ(768, drawn[0].height);
    EXPECT_TRUE(InLiveRect(drawn[0]));
    EXPECT_EQ(0, Field(page, "bLivePicture")) << "the background is no picture of the camera";

    ASSERT_TRUE(Eventually(
        [&] {
            page.platform.FireTimers();
            return page.platform.Drawings().back().source == "pixels";
        },
        30))
        << cam.Output();
    drawn = page.platform.Drawings();
    EXPECT_EQ(1, Field(page, "bLivePicture"));
    EXPECT_EQ(640, drawn.back().width);
    EXPECT_EQ(480, drawn.back().height);
    EXPECT_TRUE(InLiveRect(drawn.back()));
    EXPECT_TRUE(ShowsBlocks(*page.platform.LastImage(), 12));
    const auto requests = cam.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(0u, requests.back().Text().find("GET /video/mjpg.cgi?profileid=3 HTTP/1.1\r\n"))
        << requests.back().Text();
    EXPECT_EQ("ok", requests.back().auth);

    // Again without stopping: the view and its stream go on, and one timer draws.
    page.Call("LiveView_IP_Port_ID_Password_AuthType_",
              {N(0), S("127.0.0.1"), N(cam.Port()), S("admin"), S("secret"), N(2)});
    EXPECT_EQ(1u, page.platform.LiveTimers());
    size_t before = page.platform.Drawings().size();
    page.platform.FireTimers();
    EXPECT_EQ(before + 1, page.platform.Drawings().size());

    page.Call("StopLiveView");
    EXPECT_EQ(0u, page.platform.LiveTimers());
    EXPECT_EQ(0, Field(page, "tDraw"));
    EXPECT_EQ(0, Field(page, "m_pliveview"));
    EXPECT_EQ(0, Field(page, "bLivePicture"));
    EXPECT_EQ(1, page.platform.imageClears);
    page.Call("StopLiveView");
    EXPECT_EQ(1, page.platform.imageClears);
    before = page.platform.Drawings().size();
    page.platform.FireTimers();
    EXPECT_EQ(before, page.platform.Drawings().size());
}

// A camera that never answers leaves the background on every tick; without
// the background file nothing is drawn; the shutdown path stops the picture.
TEST(LiveViewDrawing, CameraAwayShowsTheBackground)
{
    Folder dir;
    const std::string background = WithBackground(dir);
    Page page(dir.path);
    page.Call("LiveView_IP_Port_ID_Password_AuthType_",
              {N(7), S("127.0.0.1"), N(ClosedPort()), S("admin"), S("secret"), N(2)});
    for (int k = 0; k < 10; ++k) {
        page.platform.FireTimers();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto drawn = page.platform.Drawings();
    ASSERT_EQ(10u, drawn.size());
    for (const auto& d : drawn)
        EXPECT_TRUE(d.source == background && InLiveRect(d)) << d.source;
    EXPECT_EQ(0, Field(page, "bLivePicture"));

    std::filesystem::remove(background);
    page.platform.FireTimers();
    EXPECT_EQ(10u, page.platform.Drawings().size());

    page.Call("CloseWizard");
    EXPECT_EQ(1, page.platform.terminated);
    EXPECT_EQ(0u, page.platform.LiveTimers());
    EXPECT_EQ(0, Field(page, "m_pliveview"));
    EXPECT_EQ(1, page.platform.imageClears);
}

// Frames fed by hand: the image owns a copy, is opaque and takes its height
// from the descriptor; unusable frames leave the image as it was.
TEST(LiveViewFrames, UnusableFramesLeaveTheImage)
{
    CLiveView view;
    EXPECT_EQ(nullptr, view.GetLiveViewImage());
    std::vector<uint8_t> px(4 * 2 * 4 + 64, 0x11);
    for (size_t i = 0; i < 32; ++i)
        px[i] = uint8_t(i);
    tagBITMAPINFOHEADER h = Header(4, -2);
    // The buffer is larger than the picture, as a stream's buffer may be.
    CLiveView::GetVideoCB(&view, &h, px.data(), px.size());
    px.assign(px.size(), 0xEE);
    const platform::Image* image = view.GetLiveViewImage();
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(4, image->width());
    EXPECT_EQ(2, image->height());
    ASSERT_EQ(32u, image->rgba().size());
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(i % 4 == 3 ? 255 : int(i), image->rgba()[i]) << i;

    struct Bad {
        tagBITMAPINFOHEADER header;
        bool nullPixels;
        unsigned long bytes;
    };
    const Bad bad[] = {
        {Header(8, -8), true, 1024},          // null pixels
        {Header(8, -8, 1), false, 1024},      // another compression
        {Header(0, -8), false, 1024},         // no width
        {Header(-8, -8), false, 1024},        // negative width
        {Header(8, 0), false, 1024},          // no height
        {Header(8, -8), false, 255},          // too few bytes
        {Header(65536, -65536), false, 1024}, // size far beyond the bytes
        {Header(8, INT32_MIN), false, 1024},  // a height with no positive value
    };
    std::vector<uint8_t> big(1024, 0x55);
    for (const Bad& b : bad) {
        tagBITMAPINFOHEADER header = b.header;
        CLiveView::GetVideoCB(&view, &header, b.nullPixels ? nullptr : big.data(), b.bytes);
        const platform::Image* now = view.GetLiveViewImage();
        ASSERT_NE(nullptr, now);
        EXPECT_EQ(4, now->width()) << header.biWidth << "x" << header.biHeight;
        EXPECT_EQ(1, now->rgba()[1]);
    }

    // Rows stored bottom-up still give the height.
    h = Header(8, 8);
    CLiveView::GetVideoCB(&view, &h, big.data(), big.size());
    EXPECT_EQ(8, view.GetLiveViewImage()->height());

    EXPECT_EQ(1, view.StopLiveView());
    EXPECT_EQ(nullptr, view.GetLiveViewImage());
    EXPECT_EQ(1, view.StopLiveView());

    // Pictures from files: the background, and what is not a PNG picture.
    EXPECT_NE(nullptr, platform::Image::FromPNGFile(std::string(RILO_SOURCE_DIR) +
                                                    "/MacHtml/Html/images/background.png"));
    EXPECT_EQ(nullptr,
              platform::Image::FromPNGFile(std::string(RILO_SOURCE_DIR) + "/MacHtml/index.html"));
    EXPECT_EQ(nullptr, platform::Image::FromPNGFile("/nonexistent/background.png"));
}

// Once StopLiveView has returned no frame arrives: the image stays null
// while the camera goes on sending. Several rounds on one view.
TEST(LiveViewFrames, NoFrameAfterStop)
{
    Folder dir;
    ASSERT_TRUE(liveviewtest::MakeBlockPicture(dir.path, "blocks", 320, 240));
    testsupport::HttpEmulator cam(liveviewtest::CameraConfig(dir.path + "blocks.jpg", 60));
    CLiveView view;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(1, view.StartLiveView("127.0.0.1", cam.Port(), "admin", "secret", 2));
        ASSERT_TRUE(Eventually([&] { return view.GetLiveViewImage() != nullptr; }, 30))
            << cam.Output();
        EXPECT_EQ(320, view.GetLiveViewImage()->width());
        EXPECT_TRUE(ShowsBlocks(*view.GetLiveViewImage(), 12));
        view.StopLiveView();
        for (int k = 0; k < 20; ++k) {
            ASSERT_EQ(nullptr, view.GetLiveViewImage())
                << "a frame after StopLiveView, round " << round;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    }
}
