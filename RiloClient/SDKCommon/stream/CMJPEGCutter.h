// Cuts JPEG pictures out of multipart content as it accumulates in a
// buffer. A picture runs from its start marker to the next picture's start
// marker, so the boundary and the part headers of the part after it travel
// with it. The header segments after a start marker are stepped over by
// their lengths up to the scan data, so a start marker inside them (an EXIF
// thumbnail) does not cut. Each picture gets the stamp of its own part
// headers, which stand between the previous picture's end and its start.
#ifndef RILO_CMJPEGCUTTER_H
#define RILO_CMJPEGCUTTER_H

#include <cstddef>
#include <cstdint>

class CMJPEGCutter {
public:
    // Where the cut pictures go.
    class Sink {
    public:
        // stamp: milliseconds from the part headers, 0 when they gave none.
        virtual void OnPicture(const uint8_t* data, uint32_t len, int64_t stamp) = 0;

    protected:
        ~Sink() = default;
    };

    // Part headers are looked for at most this far before a start marker.
    enum : uint32_t { kStampWindow = 4096 };

    // Forgets where the last call stopped: the buffer was emptied.
    void Reset();

    // Cuts the pictures that buf[0, len) completes, scanning only the bytes
    // the last call left unexamined, and returns how many leading bytes the
    // caller drops (moving the rest to the front) before appending more.
    // When capacity bytes are held and nothing can be cut, the picture in
    // progress can never complete: all but the last byte are dropped and the
    // next start marker is waited for.
    uint32_t Cut(const uint8_t* buf, uint32_t len, uint32_t capacity, Sink& sink);

    // Whether the last Cut dropped a picture or bytes for a full buffer.
    bool LastCutDropped() const { return m_bDropped; }
    // Whether what it dropped was a picture begun (not the rest of one
    // dropped before).
    bool LastCutLostPicture() const { return m_bLostPicture; }
    // The bytes a buffer needs to hold the picture in progress and the part
    // headers after it, by the length its part headers declare; 0 when they
    // declared none, or no picture is in progress.
    uint64_t PictureRoom() const;

private:
    enum Mode { kSeek, kHeaders, kScanData };

    void WalkHeaders(const uint8_t* buf, uint32_t len);
    void ScanForMarkers(const uint8_t* buf, uint32_t len, Sink& sink);
    void OnStartMarker(const uint8_t* buf, uint32_t at, Sink& sink);

    Mode m_eMode = kSeek;
    uint32_t m_nPos = 0;       // next byte to examine
    uint32_t m_nStart = 0;     // start of the picture in progress (not kSeek)
    uint32_t m_nRegion = 0;    // where the next picture's part headers may begin
    int64_t m_llStamp = 0;     // of the picture in progress
    uint32_t m_dwDeclared = 0; // the length its part headers declare
    bool m_bDropped = false;
    bool m_bLostPicture = false;
};

#endif
