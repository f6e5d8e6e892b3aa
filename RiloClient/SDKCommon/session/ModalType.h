#ifndef RILO_MODALTYPE_H
#define RILO_MODALTYPE_H

#include <cstddef>

// A camera model code: only the low 16 bits count; bits 8-15 the family,
// 4-7 the audio codec, 0-3 the video codec. The stream URLs of a model and
// the fixed notify and talk-back URLs are made here; every URL fits a buffer
// of kStreamURLSize bytes or is refused, never cut.
enum : size_t { kStreamURLSize = 1024 };

unsigned ModalFamily(unsigned nModalType);
// Families for which no stream handle is made.
bool IsRefusedModalFamily(unsigned nModalType);
// Families with a fixed MJPEG URL and no audio.
bool IsFixedURLModalFamily(unsigned nModalType);

// The video URL of a model and its stream kind for the live session
// (CHTTPSCHLive::kKind...); the fixed-URL families force
// *pProfile to 0. False when the URL would not fit in nSize bytes.
bool MakeVideoModalURL(unsigned nModalType, int nAuthType, const char* lpszHost, unsigned nPort,
                       int* pProfile, char* pszURL, size_t nSize, unsigned* pKind);
// The audio URL of a model. False for a model without audio (see
// IsFixedURLModalFamily) or when the URL would not fit.
bool MakeAudioModalURL(unsigned nModalType, int nAuthType, const char* lpszHost, unsigned nPort,
                       char* pszURL, size_t nSize);
// The event URL; it does not depend on the model.
bool MakeNotifyURL(int nAuthType, const char* lpszHost, unsigned nPort, char* pszURL, size_t nSize);
// The speaker URL of talk path 1, 2 or 3; false for another path.
bool MakeTalkURL(int nPath, int nAuthType, const char* lpszHost, unsigned nPort, char* pszURL,
                 size_t nSize);

#endif
