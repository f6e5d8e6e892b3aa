#include "landap/FinderResult.h"

#include "RiloLANFinderLib.h"

namespace {

// The one internal result besides success that the family reports as itself.
int Special(FinderFamily family, FinderResult rc)
{
    switch (family) {
    case FinderFamily::Get:
        return rc == kFinderTooSmall ? RILO_FINDER_TOO_SMALL : RILO_FINDER_FAIL;
    case FinderFamily::Info:
        return rc == kFinderInfoTooSmall ? RILO_FINDER_TOO_SMALL : RILO_FINDER_FAIL;
    case FinderFamily::Plain:
        return RILO_FINDER_FAIL;
    case FinderFamily::Verify:
        if (rc == kFinderCamRefused)
            return RILO_FINDER_REFUSED;
        return rc == kFinderCamAuthFailed ? RILO_FINDER_AUTH_STATUS4 : RILO_FINDER_FAIL;
    case FinderFamily::Enable:
        return rc == kFinderCamRefused ? RILO_FINDER_REFUSED : RILO_FINDER_FAIL;
    case FinderFamily::RemoteRead:
        return rc == kFinderNoReply ? RILO_FINDER_NOT_AVAILABLE : RILO_FINDER_FAIL;
    case FinderFamily::Address:
        if (rc == kFinderTooSmall)
            return RILO_FINDER_TOO_SMALL;
        return rc == kFinderNotAvailable ? RILO_FINDER_NOT_AVAILABLE : RILO_FINDER_FAIL;
    }
    return RILO_FINDER_FAIL;
}

} // namespace

int RiloPublicResult(FinderFamily family, FinderResult rc)
{
    return rc == kFinderOk ? RILO_FINDER_OK : Special(family, rc);
}
