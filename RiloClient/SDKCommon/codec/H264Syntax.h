#ifndef RILO_H264SYNTAX_H
#define RILO_H264SYNTAX_H

// The few pieces of H.264 syntax that the stream and the decode thread read
// themselves: the class of a NAL unit, and the picture size in a sequence
// parameter set.

#include <cstdint>

// Classes of AnalyzeNALUnit.
enum {
    H264_NAL_OTHER = 0,
    H264_NAL_SPS = 1,        // type 7, nal_ref_idc not 0
    H264_NAL_PPS = 2,        // type 8, nal_ref_idc not 0
    H264_NAL_IDR = 3,        // type 5
    H264_NAL_SLICE = 4,      // type 1
    H264_NAL_PARTITION = 5,  // types 2 to 4
    H264_NAL_DELIMITING = 6, // types 6 and 9 to 12 (SEI, delimiters, filler), nal_ref_idc 0
};

// The class of a NAL unit by its header byte.
int AnalyzeNALUnit(unsigned char nalHeader);

// Reads the picture size, cropping applied, from one sequence parameter set
// given from its NAL header byte on (dwLen bytes, emulation prevention bytes
// still in). False for anything else, for a truncated or invalid set, or a
// size outside 1 to kMaxPictureSide.
bool ReadH264SPSSize(const unsigned char* pNal, unsigned long dwLen, int* pWidth, int* pHeight);

// The picture size of the first sequence parameter set in Annex B data
// (start codes of 3 or 4 bytes); false when there is none that reads.
bool FindH264PictureSize(const unsigned char* pData, unsigned long dwLen, int* pWidth,
                         int* pHeight);

#endif
