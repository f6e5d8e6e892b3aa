#ifndef RILO_APP_CLIVEVIEW_H
#define RILO_APP_CLIVEVIEW_H

// The camera's live picture: one client stream handle whose render callback
// turns every frame into the current image. The stream's thread writes the
// image; the page's main loop takes copies of it to draw.

#include "platform/Image.h"
#include "RiloClientLib.h"

#include <mutex>

class CLiveView {
public:
    CLiveView() = default;
    virtual ~CLiveView();
    CLiveView(const CLiveView&) = delete;
    CLiveView& operator=(const CLiveView&) = delete;

    // 0 only when no stream handle can be made; the other results are left
    // to the library, which reconnects by itself.
    int StartLiveView(const char* ip, int port, const char* user, const char* password,
                      int authType);
    // Ends the stream (and with it every callback), then drops the images.
    int StopLiveView();
    // The latest frame's image, owned by the view: valid until the next call
    // or StopLiveView; null before the first frame.
    const platform::Image* GetLiveViewImage();

    // The render callback; user is the view.
    static void GetVideoCB(void* user, tagBITMAPINFOHEADER* header, unsigned char* pixels,
                           unsigned long bytes);

private:
    void GetVideoFrame(const tagBITMAPINFOHEADER* header, const unsigned char* pixels,
                       unsigned long bytes);
    void UpdateImage(const unsigned char* pixels, unsigned long bytes, int width, int height);
    static platform::ImageRef CreateImage(const unsigned char* pixels, unsigned long bytes,
                                          int width, int height);

    void* m_hStream = nullptr;
    platform::ImageRef m_CurImage;  // under m_Mutex
    platform::ImageRef m_CopyImage; // main thread only
    std::mutex m_Mutex;
};

#endif
