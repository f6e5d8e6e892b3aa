#ifndef RILO_STREAMOWNER_H
#define RILO_STREAMOWNER_H

#include "http/CHTTPCtrl.h"

#include <memory>

// A stream ends through Destroy, which joins its worker and deletes it. The
// worker's join may wait for the session's message thread, so an owner is
// released only where no session lock is held (or before the worker ran).
struct StreamDestroyer {
    void operator()(CHTTPCtrl* pStream) const { pStream->Destroy(); }
};

template <class Stream>
using StreamPtr = std::unique_ptr<Stream, StreamDestroyer>;

#endif
