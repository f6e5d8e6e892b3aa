#ifndef RILO_FINDERRESULT_H
#define RILO_FINDERRESULT_H

// Results of the finder's operations inside the library. 0 is success in
// every class; counts, indexes and byte counts are returned as plain ints and
// predicates as bool. The exported functions turn these into the public
// RILO_FINDER_* codes, one rule per family of functions.
enum FinderResult : int {
    kFinderOk = 0,
    kFinderFail = -1,            // no camera, a missing argument, no usable reply
    kFinderCamFailed = 1,        // the camera answered with a failure status or body
    kFinderCamRefused = 2,       // the camera refused the credentials (status 2)
    kFinderCamAuthFailed = 3,    // the camera answered status 4
    kFinderBadRecord = -3,       // a record or reply that cannot be used; nothing sent
    kFinderTooSmall = -6,        // the caller's room is too small; the need written back
    kFinderNotAvailable = -7,    // nothing to report: no address to suggest, no DHCP answer
    kFinderNoReply = -9,         // a remote-access read got no reply
    kFinderInfoTooSmall = -122,  // the camera-information record is too small
};

// The families of exported functions, each with its own mapping.
enum class FinderFamily {
    Get,         // gets with a size, lists with a count
    Info,        // the camera information
    Set,         // sets, commands, the password change, simple yes/no calls
    Verify,      // the authorization check
    Enable,      // the remote-access switch
    RemoteRead,  // the two remote-access reads
    Address,     // free address and DHCP probe
};

// The public code of an internal result for a function of this family.
int RiloPublicResult(FinderFamily family, FinderResult rc);

#endif
