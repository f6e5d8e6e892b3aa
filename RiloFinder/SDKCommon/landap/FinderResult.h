#ifndef RILO_FINDERRESULT_H
#define RILO_FINDERRESULT_H

// Results of the finder's operations inside the library: the camera
// objects, the camera list and the finder handle report every outcome as one
// of these, 0 being success; counts, indexes and byte counts come back as
// plain ints, yes/no answers as bool. (The socket class and the interface
// list keep their own single conventions: CBCModule 0 or -1 besides its
// counts, CAdapterEnumerator 1 when it copied.) The exported functions turn
// these into the public RILO_FINDER_* codes, one rule per family.
enum FinderResult : int {
    kFinderOk = 0,
    kFinderFail = -1,           // no camera, a missing argument, no usable reply
    kFinderCamFailed = 1,       // the camera answered with a failure status or body
    kFinderCamRefused = 2,      // the camera refused the credentials (status 2)
    kFinderCamAuthFailed = 3,   // the camera answered status 4
    kFinderBadRecord = -3,      // a record or reply that cannot be used; nothing sent
    kFinderTooSmall = -6,       // the caller's room is too small; the need written back
    kFinderNotAvailable = -7,   // nothing to report: no address to suggest, no DHCP answer
    kFinderNoReply = -9,        // a remote-access read got no reply
    kFinderInfoTooSmall = -122, // the camera-information record is too small
};

// The families of exported functions, each with its own mapping.
enum class FinderFamily {
    Get,        // gets with a size, lists with a count
    Info,       // the camera information
    Plain,      // success or failure alone: sets, commands, the search, ...
    Verify,     // the authorization check
    Enable,     // the remote-access switch
    RemoteRead, // the two remote-access reads
    Address,    // free address and DHCP probe
};

// The public code of an internal result for a function of this family.
int RiloPublicResult(FinderFamily family, FinderResult rc);

#endif
