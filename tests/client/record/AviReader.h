// A RIFF AVI walker for the tests and the fuzz target, written from the
// file format and sharing nothing with the writer: it reads the header
// lists, every movi chunk and the idx1 entries, and says what does not hold.
#ifndef RILO_TESTS_AVIREADER_H
#define RILO_TESTS_AVIREADER_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace avitest {

inline uint32_t U32At(const std::string& b, size_t off)
{
    if (off + 4 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + off);
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline uint16_t U16At(const std::string& b, size_t off)
{
    if (off + 2 > b.size())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + off);
    return uint16_t(p[0] | (p[1] << 8));
}

struct Chunk {
    std::string id;
    uint64_t offset = 0; // of the chunk's id in the file
    uint32_t length = 0;
    std::string Data(const std::string& file) const { return file.substr(offset + 8, length); }
};

struct IndexEntry {
    std::string id;
    uint32_t flags = 0;
    uint32_t offset = 0; // from the "movi" word
    uint32_t length = 0;
};

struct StreamInfo {
    std::string strh; // 56 bytes
    std::string strf;
    uint64_t listOffset = 0;
    std::string Type() const { return strh.substr(0, 4); }
    std::string Handler() const { return strh.substr(4, 4); }
    uint32_t Scale() const { return U32At(strh, 20); }
    uint32_t Rate() const { return U32At(strh, 24); }
    uint32_t Length() const { return U32At(strh, 32); }
    uint32_t SampleSize() const { return U32At(strh, 44); }
};

struct AviFile {
    std::string error; // empty when the file holds together
    std::string bytes;
    uint32_t riffSize = 0;
    uint32_t hdrlSize = 0;
    std::string avih; // 56 bytes
    std::vector<StreamInfo> streams;
    std::vector<std::pair<uint64_t, uint32_t>> junk; // offset, size of each padding chunk
    uint64_t moviWord = 0;                           // offset of "movi"
    uint32_t moviSize = 0;
    std::vector<Chunk> chunks;
    bool hasIndex = false;
    std::vector<IndexEntry> index;
    std::string trailer; // bytes after the RIFF chunk

    uint32_t MainFlags() const { return U32At(avih, 12); }
    uint32_t TotalFrames() const { return U32At(avih, 16); }
    uint32_t Streams() const { return U32At(avih, 24); }
    // Chunks as "v<len>" (video) or "a<len>" (audio), space-separated.
    std::string Layout() const
    {
        std::string s;
        for (const Chunk& c : chunks) {
            if (!s.empty())
                s += ' ';
            s += (c.id.substr(2) == "dc" ? "v" : "a") + std::to_string(c.length);
        }
        return s;
    }
};

namespace detail {

inline bool Fail(AviFile& f, const std::string& what, uint64_t at)
{
    if (f.error.empty())
        f.error = what + " at " + std::to_string(at);
    return false;
}

inline bool ReadStrl(AviFile& f, uint64_t pos, uint64_t end)
{
    StreamInfo s;
    s.listOffset = pos - 12;
    while (pos + 8 <= end) {
        std::string id = f.bytes.substr(pos, 4);
        uint32_t size = U32At(f.bytes, pos + 4);
        if (pos + 8 + size > end)
            return Fail(f, "strl chunk " + id + " too long", pos);
        if (id == "strh")
            s.strh = f.bytes.substr(pos + 8, size);
        else if (id == "strf")
            s.strf = f.bytes.substr(pos + 8, size);
        pos += 8 + size + (size & 1);
    }
    if (s.strh.size() != 56 || s.strf.empty())
        return Fail(f, "stream without strh/strf", s.listOffset);
    f.streams.push_back(s);
    return true;
}

inline bool ReadHdrl(AviFile& f, uint64_t pos, uint64_t end)
{
    while (pos + 8 <= end) {
        std::string id = f.bytes.substr(pos, 4);
        uint32_t size = U32At(f.bytes, pos + 4);
        if (pos + 8 + size > end)
            return Fail(f, "hdrl chunk " + id + " too long", pos);
        if (id == "avih") {
            f.avih = f.bytes.substr(pos + 8, size);
        } else if (id == "LIST" && f.bytes.compare(pos + 8, 4, "strl") == 0) {
            if (!ReadStrl(f, pos + 12, pos + 8 + size))
                return false;
        }
        pos += 8 + size + (size & 1);
    }
    return f.avih.size() == 56 || Fail(f, "no avih", 12);
}

inline bool ReadMovi(AviFile& f, uint64_t pos, uint64_t end)
{
    while (pos + 8 <= end) {
        Chunk c;
        c.id = f.bytes.substr(pos, 4);
        c.offset = pos;
        c.length = U32At(f.bytes, pos + 4);
        bool digits = c.id[0] >= '0' && c.id[0] <= '9' && c.id[1] >= '0' && c.id[1] <= '9';
        if (!digits || (c.id.substr(2) != "dc" && c.id.substr(2) != "wb"))
            return Fail(f, "unknown movi chunk", pos);
        if (pos + 8 + c.length > end)
            return Fail(f, "movi chunk too long", pos);
        f.chunks.push_back(c);
        pos += 8 + c.length + (c.length & 1);
    }
    return pos == end || Fail(f, "movi list does not end on a chunk", pos);
}

inline bool ReadIndex(AviFile& f, uint64_t pos, uint32_t size)
{
    f.hasIndex = true;
    if (size % 16 != 0)
        return Fail(f, "idx1 size", pos);
    for (uint32_t i = 0; i < size; i += 16) {
        IndexEntry e;
        e.id = f.bytes.substr(pos + 8 + i, 4);
        e.flags = U32At(f.bytes, pos + 12 + i);
        e.offset = U32At(f.bytes, pos + 16 + i);
        e.length = U32At(f.bytes, pos + 20 + i);
        f.index.push_back(e);
    }
    if (f.index.size() != f.chunks.size())
        return Fail(f, "idx1 entries != chunks", pos);
    for (size_t i = 0; i < f.index.size(); ++i) {
        const IndexEntry& e = f.index[i];
        const Chunk& c = f.chunks[i];
        if (e.id != c.id || e.length != c.length || f.moviWord + e.offset != c.offset)
            return Fail(f, "idx1 entry " + std::to_string(i) + " does not match its chunk", c.offset);
        if ((e.flags & ~0x10u) != 0 || (c.length != 0 && e.flags != 0x10u))
            return Fail(f, "idx1 flags", c.offset);
    }
    return true;
}

} // namespace detail

// Walks bytes as a RIFF AVI file.
inline AviFile ParseAvi(const std::string& bytes)
{
    using namespace detail;
    AviFile f;
    f.bytes = bytes;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "AVI ") != 0) {
        Fail(f, "no RIFF AVI head", 0);
        return f;
    }
    f.riffSize = U32At(bytes, 4);
    const uint64_t riffEnd = 8 + uint64_t(f.riffSize);
    if (riffEnd > bytes.size()) {
        Fail(f, "RIFF size beyond the file", 4);
        return f;
    }
    f.trailer = bytes.substr(riffEnd);
    uint64_t pos = 12;
    bool ok = true;
    while (ok && pos + 8 <= riffEnd) {
        std::string id = bytes.substr(pos, 4);
        uint32_t size = U32At(bytes, pos + 4);
        if (pos + 8 + size > riffEnd) {
            ok = Fail(f, "chunk " + id + " beyond the RIFF chunk", pos);
            break;
        }
        std::string type = bytes.substr(pos + 8, 4);
        if (id == "LIST" && type == "hdrl") {
            f.hdrlSize = size;
            ok = ReadHdrl(f, pos + 12, pos + 8 + size);
        } else if (id == "LIST" && type == "movi") {
            f.moviWord = pos + 8;
            f.moviSize = size;
            ok = ReadMovi(f, pos + 12, pos + 8 + size);
        } else if (id == "idx1") {
            ok = ReadIndex(f, pos, size);
        } else if (id == "JUNK") {
            f.junk.emplace_back(pos, size);
        } else {
            ok = Fail(f, "unexpected chunk " + id, pos);
        }
        pos += 8 + size + (size & 1);
    }
    if (ok && pos != riffEnd)
        Fail(f, "RIFF chunk does not end on a chunk", pos);
    if (ok && (f.moviWord == 0 || f.streams.empty()))
        Fail(f, "no movi list or no stream", 12);
    return f;
}

} // namespace avitest

#endif
