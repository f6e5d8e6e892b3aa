#ifndef RILO_FUZZINIT_H
#define RILO_FUZZINIT_H

// The start of every fuzz target, from its LLVMFuzzerInitialize.

#include "Common.h"

#include <sched.h>

#include <cstdio>
#include <cstdlib>

// ownNetwork: a network namespace of our own with no usable link, for the
// targets where a path might try a real exchange: nothing can leave the
// machine. The libraries' diagnostic lines go nowhere; they would dominate the
// run time.
inline void RiloFuzzInit(bool ownNetwork)
{
    if (ownNetwork && unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET)");
        std::abort();
    }
    SetDiagSink([](DiagStream, const char*) {});
}

// Defines the target's LLVMFuzzerInitialize.
#define RILO_FUZZ_INITIALIZE(ownNetwork) \
    extern "C" int LLVMFuzzerInitialize(int*, char***) \
    { \
        RiloFuzzInit(ownNetwork); \
        return 0; \
    }

#endif
