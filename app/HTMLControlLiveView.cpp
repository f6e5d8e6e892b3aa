// The live picture's share of the bridge object: starting and stopping the
// view, and the drawing timer's body.
#include "HTMLControl.h"

#include "ScriptText.h"

#include <cstdio>

using scripttext::FieldText;

namespace {

constexpr int kCameraInfoReads = 3;
constexpr double kDrawSeconds = 0.1;

} // namespace

void HTMLControl::LiveView(int index, const std::string& ip, int port, const std::string& user,
                           const std::string& password, int authType)
{
    // The camera's own address and web port, which the page's may lag behind.
    _RiloLANDAPCamInfo info{};
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(m_finderMutex);
        for (int k = 0; k < kCameraInfoReads && !found; ++k) {
            unsigned long size = sizeof info;
            found = RiloGetCameraInfo(hFinder, index, &info, &size) == 0;
        }
    }
    if (!m_pliveview)
        m_pliveview = std::make_unique<CLiveView>();
    bLivePicture = 0;
    int started = 0;
    if (found) {
        const _RiloLANDAPBasicSet& b = info.Body.BasicSet;
        started = m_pliveview->StartLiveView(FieldText(b.Network.szCamIP).c_str(), b.WebPort,
                                             user.c_str(), password.c_str(), authType);
    }
    if (!started &&
        !m_pliveview->StartLiveView(ip.c_str(), port, user.c_str(), password.c_str(), authType))
        return;
    // One timer draws; an older one would go on drawing after StopLiveView.
    if (tDraw)
        m_services.loop->Invalidate(tDraw);
    tDraw = m_services.loop->ScheduleRepeating(kDrawSeconds, [this] { DrawLiveView(); });
}

void HTMLControl::StopLiveView()
{
    const bool shown = tDraw || m_pliveview;
    bLivePicture = 0;
    if (tDraw) {
        m_services.loop->Invalidate(tDraw);
        tDraw = 0;
    }
    if (m_pliveview) {
        m_pliveview->StopLiveView();
        m_pliveview.reset();
    }
    if (shown)
        m_services.app->ClearImage();
}

void HTMLControl::DrawLiveView()
{
    const platform::Image* image = m_pliveview ? m_pliveview->GetLiveViewImage() : nullptr;
    if (image) {
        m_services.app->DrawImageInRect(*image, LiveViewRect);
        bLivePicture = 1;
        return;
    }
    // Read afresh on every tick; a missing file draws nothing.
    char path[4096];
    std::snprintf(path, sizeof path, "%s%s", BundleParentDir().c_str(),
                  "Html/images/background.png");
    if (platform::ImageRef background = platform::Image::FromPNGFile(path))
        m_services.app->DrawImageInRect(*background, LiveViewRect);
}
