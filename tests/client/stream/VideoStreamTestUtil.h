// The MPEG-4 and H.264 streams fed through their receive path directly,
// with no connection, recording what they feed (unit tests, fuzz target).
#ifndef RILO_TESTS_VIDEOSTREAMTESTUTIL_H
#define RILO_TESTS_VIDEOSTREAMTESTUTIL_H

#include "stream/CHTTPH264Stream.h"
#include "stream/CHTTPMP4Strm.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace vstest {

typedef std::vector<uint8_t> Bytes;

struct Piece {
    Bytes data;
    long long stamp;
};

// capacity: the content buffer's size (0: the stream's own).
template <class Base>
class FedVideoStream : public Base {
public:
    explicit FedVideoStream(uint32_t capacity = 0) : Base(1124, false, 0)
    {
        this->m_dwSizeContent = capacity ? capacity : uint32_t(Base::kContentSize);
        this->PrepareContentBuffer(true);
    }
    void Reply(const std::string& contentType)
    {
        std::string h = "HTTP/1.1 200 OK\r\n" +
                        (contentType.empty() ? "" : "Content-Type: " + contentType + "\r\n") +
                        "\r\n";
        this->OnDataReceived(reinterpret_cast<unsigned char*>(&h[0]), h.size());
    }
    void Feed(const Bytes& body, size_t chunk)
    {
        Bytes copy(body);
        for (size_t at = 0; at < copy.size(); at += chunk)
            this->OnDataReceived(copy.data() + at, std::min(chunk, copy.size() - at));
    }

    std::vector<Piece> fed;

protected:
    void FeedStreamItem(const unsigned char* p, unsigned long len, long long* stamp) override
    {
        fed.push_back(Piece{Bytes(p, p + len), *stamp});
        Base::FeedStreamItem(p, len, stamp);
    }
};

} // namespace vstest

#endif
