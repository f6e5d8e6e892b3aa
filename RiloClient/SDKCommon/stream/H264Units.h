// How the H.264 stream splits a unit before it caches, records and queues
// it: leading SEI and delimiters are skipped, a unit led by a sequence
// parameter set is cut before its first slice, and the configuration is the
// parameter sets at its front. Start codes of 3 or 4 bytes are read.
#ifndef RILO_H264UNITS_H
#define RILO_H264UNITS_H

#include <cstdint>

// Where the next start code at or after from begins (its first zero, the
// one before 00 00 01 when there is one), or len when there is none; *pNal
// receives the position of the NAL header byte after it.
uint32_t NextH264StartCode(const uint8_t* p, uint32_t len, uint32_t from, uint32_t* pNal);

// The unit without its leading SEI, delimiter, end and filler NAL units:
// the offset of the first other start code; len when nothing else follows.
uint32_t SkipH264Delimiting(const uint8_t* p, uint32_t len);

// A unit that opens with a sequence parameter set: the offset of the first
// start code before a slice (IDR or not); len when it holds none. 0 for a
// unit that does not open with one.
uint32_t H264SliceSplit(const uint8_t* p, uint32_t len);

// The configuration at the front of a unit: the bytes up to the first NAL
// unit that is not a sequence or picture parameter set.
uint32_t H264ConfigSpan(const uint8_t* p, uint32_t len);

// Whether the unit holds an IDR slice.
bool HasH264IDR(const uint8_t* p, uint32_t len);

#endif
