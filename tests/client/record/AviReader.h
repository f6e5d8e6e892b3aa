// A RIFF AVI walker for the tests and the fuzz target, written from the
// file format and sharing nothing with the writer: it reads the header
// lists, every movi chunk and the idx1 entries, and says what does not hold.
#ifndef RILO_TESTS_AVIREADER_H
#define RILO_TESTS_AVIREADER_H

#include <cstdint>
#include <cctype>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace avitest {

inline uint32_t U32At(const std::string& b, size_t off)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && off + i < b.size(); ++i)
        v |= uint32_t(uint8_t(b[off + i])) << (8 * i);
    return v;
}

inline uint16_t U16At(const std::string& b, size_t off)
{
    return uint16_t(U32At(b.substr(off, 2), 0));
}

struct Chunk {
    std::string id;
    uint64_t offset = 0; // of the chunk's id in the file
    uint32_t length = 0;
    std::string Data(const std::string& file) const { return file.substr(offset + 8, length); }
};

struct IndexEntry {
    std::string id;
    uint32_t flags, offset, length; // offset from the "movi" word
};

struct StreamInfo {
    uint64_t listOffset = 0;
    std::string strh, strf;
    std::string Handler() const { return strh.substr(4, 4); }
    uint32_t Scale() const { return U32At(strh, 20); }
    uint32_t Rate() const { return U32At(strh, 24); }
    uint32_t Length() const { return U32At(strh, 32); }
};

struct AviFile {
    std::string error; // empty when the file holds together
    std::string bytes;
    uint32_t riffSize = 0, hdrlSize = 0, moviSize = 0;
    uint64_t moviWord = 0; // offset of "movi"
    std::string avih;
    std::vector<StreamInfo> streams;
    std::vector<std::pair<uint64_t, uint32_t>> junk; // offset and size of each padding chunk
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
        for (const Chunk& c : chunks)
            s += (s.empty() ? "" : " ") + std::string(c.id.substr(2) == "dc" ? "v" : "a") +
                 std::to_string(c.length);
        return s;
    }
};

inline AviFile ParseAvi(std::string file)
{
    AviFile f;
    f.bytes = std::move(file);
    const std::string& bytes = f.bytes;
    auto fail = [&](const std::string& what, uint64_t at) {
        if (f.error.empty())
            f.error = what + " at " + std::to_string(at);
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "AVI ") != 0) {
        fail("no RIFF AVI head", 0);
        return f;
    }
    f.riffSize = U32At(bytes, 4);
    const uint64_t riffEnd = 8 + uint64_t(f.riffSize);
    if (riffEnd > bytes.size()) {
        fail("RIFF size beyond the file", 4);
        return f;
    }
    f.trailer = bytes.substr(riffEnd);
    // The chunks in [pos, end) of a list of type list.
    std::function<void(uint64_t, uint64_t, const std::string&)> walk =
        [&](uint64_t pos, uint64_t end, const std::string& list) {
            while (f.error.empty() && pos + 8 <= end) {
                const std::string id = bytes.substr(pos, 4);
                const uint32_t size = U32At(bytes, pos + 4);
                const uint64_t body = pos + 8;
                if (body + size > end)
                    return fail("chunk " + id + " too long", pos);
                if (id == "LIST") {
                    const std::string type = bytes.substr(body, 4);
                    if (type == "hdrl")
                        f.hdrlSize = size;
                    if (type == "movi")
                        f.moviWord = body, f.moviSize = size;
                    if (type == "strl")
                        f.streams.push_back({pos, "", ""});
                    walk(body + 4, body + size, type);
                } else if (list == "movi") {
                    const bool digits = isdigit(uint8_t(id[0])) && isdigit(uint8_t(id[1]));
                    if (!digits || (id.compare(2, 2, "dc") != 0 && id.compare(2, 2, "wb") != 0))
                        return fail("unknown movi chunk", pos);
                    f.chunks.push_back({id, pos, size});
                } else if (id == "avih" && list == "hdrl") {
                    f.avih = bytes.substr(body, size);
                } else if ((id == "strh" || id == "strf") && list == "strl") {
                    (id == "strh" ? f.streams.back().strh : f.streams.back().strf) =
                        bytes.substr(body, size);
                } else if (id == "idx1" && list == "AVI " && size % 16 == 0) {
                    f.hasIndex = true;
                    f.index.reserve(f.index.size() + size / 16);
                    for (uint64_t e = body; e < body + size; e += 16)
                        f.index.push_back({bytes.substr(e, 4), U32At(bytes, e + 4),
                                           U32At(bytes, e + 8), U32At(bytes, e + 12)});
                } else if (id == "JUNK") {
                    f.junk.emplace_back(pos, size);
                } else {
                    return fail("unexpected chunk " + id, pos);
                }
                pos = body + size + (size & 1);
            }
            if (pos != end)
                fail("list " + list + " does not end on a chunk", pos);
        };
    walk(12, riffEnd, "AVI ");
    if (f.avih.size() != 56 || f.moviWord == 0 || f.streams.empty())
        fail("no avih, movi list or stream", 12);
    for (const StreamInfo& s : f.streams)
        if (s.strh.size() != 56 || s.strf.empty())
            fail("stream without strh or strf", s.listOffset);
    if (f.hasIndex && f.index.size() != f.chunks.size())
        fail("idx1 entries != chunks", riffEnd);
    for (size_t i = 0; f.error.empty() && i < f.index.size(); ++i) {
        const IndexEntry& e = f.index[i];
        const Chunk& c = f.chunks[i];
        if (e.id != c.id || e.length != c.length || f.moviWord + e.offset != c.offset)
            fail("idx1 entry " + std::to_string(i) + " does not match its chunk", c.offset);
        // The key-frame flag on every chunk with data; an empty slot may have none.
        if ((e.flags & ~0x10u) != 0 || (c.length != 0 && e.flags != 0x10u))
            fail("idx1 flags", c.offset);
    }
    return f;
}

} // namespace avitest

#endif
