#ifndef RILO_CPROFILESTREAMS_H
#define RILO_CPROFILESTREAMS_H

#include "session/StreamOwner.h"

#include <deque>

class CHTTPVisStrm;

// The live session's video streams by profile, in the order they were
// listed, each with its use count: live view and recording each hold one
// count on the profile they use. The table owns its streams; one taken out
// goes back to the caller, who ends it. The session serialises access.
class CProfileStreams {
public:
    CProfileStreams() = default;
    CProfileStreams(const CProfileStreams&) = delete;
    CProfileStreams& operator=(const CProfileStreams&) = delete;

    CHTTPVisStrm* Find(int nProfileID) const;
    // Lists the stream under the profile with a use count of 0 and takes it;
    // false, leaving it with the caller, when the profile is listed already.
    bool Add(int nProfileID, StreamPtr<CHTTPVisStrm>& pStream);
    // Takes the profile's stream out of the table; null without one.
    StreamPtr<CHTTPVisStrm> Remove(int nProfileID);

    // The count after one more; 0 without a stream.
    int AddRef(int nProfileID);
    // The count after one less, never below 0; -1 without a stream.
    int Release(int nProfileID);
    // -1 without a stream.
    int UseCount(int nProfileID) const;

    int Count() const { return int(m_entries.size()); }
    bool Empty() const { return m_entries.empty(); }
    // The profile of the first listed stream; the table must not be empty.
    int FrontProfile() const;

private:
    struct Entry {
        int nProfileID;
        int nUseCount;
        StreamPtr<CHTTPVisStrm> pStream;
    };
    const Entry* FindEntry(int nProfileID) const;
    Entry* FindEntry(int nProfileID);

    std::deque<Entry> m_entries;
};

#endif
