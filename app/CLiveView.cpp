#include "CLiveView.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The camera's MJPEG endpoint, and the profile the picture uses.
constexpr unsigned kModalType = 0x0101;
constexpr int kProfile = 3;

} // namespace

CLiveView::~CLiveView()
{
    StopLiveView();
}

int CLiveView::StartLiveView(const char* ip, int port, const char* user, const char* password,
                             int authType)
{
    if (!m_hStream) {
        m_hStream = RiloCreateStream(0, kModalType);
        if (!m_hStream)
            return 0;
    }
    RiloSetStreamAddr(m_hStream, ip, port);
    RiloSetStreamAuth(m_hStream, user, password, authType);
    RiloStartVideoStreamRenderCB(m_hStream, &CLiveView::GetVideoCB, this, 0, kProfile, 0);
    return 1;
}

int CLiveView::StopLiveView()
{
    if (m_hStream) {
        // Once stopped, the stream's thread calls back no more.
        RiloStopVideoStream(m_hStream);
        RiloDestroyStream(m_hStream);
        m_hStream = nullptr;
    }
    platform::ImageRef old;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        old.swap(m_CurImage);
    }
    m_CopyImage.reset();
    return 1;
}

const platform::Image* CLiveView::GetLiveViewImage()
{
    m_CopyImage.reset();
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_CopyImage = m_CurImage;
    return m_CopyImage.get();
}

void CLiveView::GetVideoCB(void* user, tagBITMAPINFOHEADER* header, unsigned char* pixels,
                           unsigned long bytes)
{
    if (user && header)
        static_cast<CLiveView*>(user)->GetVideoFrame(header, pixels, bytes);
}

void CLiveView::GetVideoFrame(const tagBITMAPINFOHEADER* header, const unsigned char* pixels,
                              unsigned long bytes)
{
    if (header->biCompression != 0)
        return;
    const int64_t height = std::llabs(int64_t(header->biHeight));
    if (height > INT32_MAX)
        return;
    UpdateImage(pixels, bytes, header->biWidth, int(height));
}

void CLiveView::UpdateImage(const unsigned char* pixels, unsigned long bytes, int width, int height)
{
    if (!pixels)
        return;
    // Made outside the lock: the main loop never waits for a copy.
    platform::ImageRef image = CreateImage(pixels, bytes, width, height);
    if (!image)
        return; // a frame of no usable size or too few bytes
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_CurImage.swap(image);
}

platform::ImageRef CLiveView::CreateImage(const unsigned char* pixels, unsigned long bytes,
                                          int width, int height)
{
    return platform::Image::FromRGBX(pixels, bytes, width, height);
}
