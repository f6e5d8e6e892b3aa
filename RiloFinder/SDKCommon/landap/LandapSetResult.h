#ifndef RILO_LANDAPSETRESULT_H
#define RILO_LANDAPSETRESULT_H

#include "landap/FinderResult.h"

#include <cstddef>
#include <cstdint>

// Outcome of a camera's last set-type command.
struct _CmdResult {
    uint32_t code = 0;
    uint32_t value = 0;
    uint32_t waitMs = 0; // the camera asks for this pause before the next step
};

// The 16-byte reply body of a set-type command.
struct LandapSetResult {
    static constexpr size_t WireSize = 16;
    static constexpr size_t OffValue = 4;
    static constexpr size_t OffWaitMs = 8;
    // A body of this size carries an error code instead.
    static constexpr size_t ErrorWireSize = 4;

    uint32_t value = 0;
    uint32_t waitMs = 0;

    // body holds at least WireSize bytes.
    static LandapSetResult Decode(const uint8_t* body);
};

// Decodes the status and body of a set-type reply whose sequence number and
// MAC have been checked. packet holds the header and at least 16 body bytes
// (zero where nothing arrived). Returns kFinderOk (result filled),
// kFinderCamRefused (credentials refused), or kFinderCamFailed (refused
// otherwise, or an unexpected body; result filled with the error code of a
// 4-byte body, else zeros). On a non-zero status result is left as it was.
FinderResult LandapDecodeSetResult(const uint8_t* packet, _CmdResult* result);

#endif
