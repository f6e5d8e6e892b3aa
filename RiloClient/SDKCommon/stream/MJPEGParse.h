// Readers of a camera's multipart JPEG content: the marker segments of a
// picture, its size, and the stamp of its part headers. Pure functions over
// untrusted bytes; nothing is read outside the given length.
#ifndef RILO_MJPEGPARSE_H
#define RILO_MJPEGPARSE_H

#include <cstddef>
#include <cstdint>

enum JpegStepKind {
    jsNeedMore,  // the marker or its length lies beyond the bytes at hand
    jsMalformed, // no marker where one must be
    jsSegment,   // a marker segment (or fill byte) to step over
    jsScan,      // the start-of-scan header: entropy-coded data follows
    jsEnd,       // end of image
    jsStart,     // another start of image
};

// One step of a walk over a picture's marker segments.
struct JpegStep {
    JpegStepKind kind;
    uint8_t marker;
    size_t next; // where the walk goes on (jsSegment, jsScan)
};

// Examines the marker at pos of data[0, len), a picture's header part
// (after its start of image, before its scan data).
JpegStep NextJpegSegment(const uint8_t* data, size_t len, size_t pos);

// The size in the frame header (baseline, extended or progressive) of the
// picture that starts at data: false when the header part holds none.
bool ScanJpegFrameSize(const uint8_t* data, size_t len, int* pWidth, int* pHeight);

// The stamp in milliseconds that the "x-ts-sec:" and "x-ts-usec:" fields
// among the part headers in text[0, len) give: seconds * 1000 + microseconds
// / 1000. A missing or malformed field counts as 0; 0 means no stamp.
int64_t ReadPartStamp(const char* text, size_t len);

// The picture's length in bytes that a "Content-Length:" field among the
// part headers in text[0, len) declares; 0 when there is none (or it is
// malformed or beyond 32 bits).
uint32_t ReadPartLength(const char* text, size_t len);

#endif
