// The live picture's share of the bridge object. The picture itself (the
// view, its stream and the drawing timer's body) comes with CLiveView;
// until then nothing starts it, and stopping has only the timer to end.
#include "HTMLControl.h"

void HTMLControl::ReleaseLiveView()
{
    if (tDraw) {
        m_services.loop->Invalidate(tDraw);
        tDraw = 0;
    }
    m_pliveview = nullptr;
}
