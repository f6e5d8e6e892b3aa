#include "session/LiveSessionMaps.h"

#include <cstdint>

namespace livemaps {

namespace {

// Kind 1 codes 1 to 7 and 10 to 12, the same for video and audio.
bool MapConnectionCode(int code, int* out)
{
    if (code == 1 || code == 2)
        *out = 1;
    else if (code >= 3 && code <= 7)
        *out = code - 1;
    else if (code >= 10 && code <= 12)
        *out = code;
    else
        return false;
    return true;
}

bool MapRecordingEvent(int code, EventAction* out)
{
    *out = {kCategoryRecording, 0, true};
    switch (code) {
    case -1:
        out->nCode = kRecordWriteError;
        return true;
    case 2:
    case 4:
        out->nCode = kRecordStopped;
        return true;
    case 3:
        out->nCode = kRecordStarted;
        out->bStopRecorder = false;
        return true;
    case 5:
        out->nCode = kRecordDiskReserve;
        return true;
    case 6:
        out->nCode = kRecordSpaceQuery;
        return true;
    default:
        return false;
    }
}

} // namespace

int EventCode(unsigned long event)
{
    return int16_t(uint16_t(uint32_t(event) >> 16));
}

unsigned EventKind(unsigned long event)
{
    return uint32_t(event) & 0xFFFFu;
}

bool MapVideoEvent(unsigned long event, EventAction* out)
{
    const int code = EventCode(event);
    switch (EventKind(event)) {
    case kEventConnection:
        *out = {kCategoryVideo, 0, false};
        if (code == 0)
            return true;
        if (code == 13) {
            out->nCode = kVideoSizeChanged;
            return true;
        }
        if (code == 14) {
            out->nCode = kVideoPictureTooLarge;
            return true;
        }
        return MapConnectionCode(code, &out->nCode);
    case kEventRecording:
        return MapRecordingEvent(code, out);
    default:
        return false;
    }
}

bool MapAudioEvent(unsigned long event, EventAction* out)
{
    switch (EventKind(event)) {
    case kEventConnection:
        *out = {kCategoryAudio, 0, false};
        if (!MapConnectionCode(EventCode(event), &out->nCode))
            out->nCode = 0;
        return true;
    case kEventRecording:
        return MapRecordingEvent(EventCode(event), out);
    default:
        return false;
    }
}

void ClampRecordingInterval(long* value, long* kind)
{
    struct Range {
        long kind, max, fallback;
    };
    static const Range ranges[] = {{0, 14399, 1800}, {1, 239, 30}, {16, 2047, 1024}, {17, 2, 1}};
    const Range* r = &ranges[0];
    for (const Range& c : ranges)
        if (c.kind == *kind)
            r = &c;
    *kind = r->kind;
    if (*value < 1 || *value > r->max)
        *value = r->fallback;
}

} // namespace livemaps
