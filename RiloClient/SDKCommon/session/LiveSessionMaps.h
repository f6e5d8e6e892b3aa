#ifndef RILO_LIVESESSIONMAPS_H
#define RILO_LIVESESSIONMAPS_H

// What the live session makes of its streams' event words for the
// application's handler, and the limits of a recording interval. Pure
// functions: no session, no lock.
namespace livemaps {

// Event kinds in the low 16 bits of a stream's event word.
enum : unsigned int { kEventConnection = 1, kEventRecording = 2 };
// Handler categories.
enum : int { kCategoryVideo = 0, kCategoryAudio = 1, kCategoryRecording = 2 };
// Live video codes the handler receives for a picture: its size changed;
// one was dropped as too large (RiloClientLib.h).
enum : int { kVideoSizeChanged = 0x10000, kVideoPictureTooLarge = 0x10001 };
// Recording codes the handler receives.
enum : int {
    kRecordStopped = 21,
    kRecordDiskReserve = 22,
    kRecordWriteError = 23,
    kRecordSpaceQuery = 24,
    kRecordStarted = 65566,
};

// What one stream event becomes.
struct EventAction {
    int nCategory;
    int nCode;
    bool bStopRecorder; // recording ends before the handler is called
};

// The code of an event word: its bits 16 to 31 as a signed number, so a
// negative result (a write error, -1) stays negative on a 64-bit long.
int EventCode(unsigned long event);
unsigned EventKind(unsigned long event);

// The video and audio maps: false when the event is not delivered.
bool MapVideoEvent(unsigned long event, EventAction* out);
bool MapAudioEvent(unsigned long event, EventAction* out);

// A recording interval's kind and value as they are kept: an unknown kind
// is 0, a value out of its kind's range that kind's default.
void ClampRecordingInterval(long* value, long* kind);

} // namespace livemaps

#endif
