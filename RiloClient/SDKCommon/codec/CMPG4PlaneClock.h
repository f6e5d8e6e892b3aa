#ifndef RILO_CMPG4PLANECLOCK_H
#define RILO_CMPG4PLANECLOCK_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <queue>
#include <vector>

// The fields of a video object plane header up to vop_coded.
struct MPEG4PlaneHeader {
    enum { kTypeI = 0, kTypeP = 1, kTypeB = 2, kTypeS = 3 };
    unsigned nCodingType = kTypeI;
    uint32_t dwIncrement = 0; // 0 when the increment has no width
    bool bCoded = true;
};

// The width of vop_time_increment at a vop_time_increment_resolution; 0 for
// a resolution of 0 (unknown), whose increments are not read.
int MPEG4IncrementBits(uint32_t dwResolution);

// Reads the header of the plane whose start code opens vop (len bytes);
// nIncrementBits as MPEG4IncrementBits gives it (with 0 neither the
// increment nor vop_coded is read). False when the header runs past the end.
bool ReadMPEG4PlaneHeader(const uint8_t* vop, size_t len, int nIncrementBits,
                          MPEG4PlaneHeader* pHeader);

// The times of an MPEG-4 stream's planes, in ticks of its time increment
// resolution, and the order in which the decoder shows them. Planes arrive
// in decoding order: a B-plane comes after the later reference it is
// predicted from, so its increment is smaller than the one before it. The
// decoder shows its pictures in their own order, one unit later where it
// holds a reference back; each picture it shows is the earliest coded
// plane not shown yet, whichever unit (one of Xvid's packed units holds two
// planes, its placeholder none) brought it out.
//
// A reference plane is one tick-wrap step after the reference before it (a
// smaller increment means the counter wrapped); a B-plane lies that way
// after the reference before the last one. A stream of reference planes
// alone thus steps from plane to plane as its increments do.
class CMPG4PlaneClock {
public:
    // A new configuration: times start at 0; all are 0 while the
    // resolution is 0.
    void Restart(uint32_t dwResolution);
    // The planes of one unit, in their order in it.
    void TakeUnit(const uint8_t* unit, size_t len);
    // The time of the picture the decoder has just shown.
    int64_t Shown();
    // The time of the last unit taken, which showed no picture of its own
    // (lost, or not coded); pictures of earlier planes not shown by then
    // are taken as lost.
    int64_t Passed();

private:
    enum : size_t { kMostWaiting = 16 };

    int64_t TimeOf(const MPEG4PlaneHeader& plane);
    void Wait(int64_t llTime);

    int m_nIncrementBits = 0;
    uint32_t m_dwResolution = 0;
    int64_t m_llRefTime = 0, m_llPrevRefTime = 0;
    uint32_t m_dwRefIncrement = 0, m_dwPrevRefIncrement = 0;
    int64_t m_llUnitTime = 0;
    // Times of coded planes the decoder has not shown yet, earliest on top.
    std::priority_queue<int64_t, std::vector<int64_t>, std::greater<int64_t>> m_waiting;
};

#endif
