// A RIFF AVI walker for the tests and the fuzz target, written from the
// file format and sharing nothing with the writer: it reads the header
// lists, every movi chunk and the idx1 entries, and says what does not hold.
#ifndef RILO_TESTS_AVIREADER_H
#define RILO_TESTS_AVIREADER_H

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace avitest {

// Four bytes at p, least significant first; of a literal, an id as a number.
constexpr uint32_t LE32(const char* p)
{
    return uint32_t(uint8_t(p[0])) | uint32_t(uint8_t(p[1])) << 8 | uint32_t(uint8_t(p[2])) << 16 |
           uint32_t(uint8_t(p[3])) << 24;
}

// Bytes past the end read as zeros.
inline uint32_t U32At(std::string_view b, size_t off)
{
    if (off <= b.size() && b.size() - off >= 4)
        return LE32(b.data() + off);
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && off + i < b.size(); ++i)
        v |= uint32_t(uint8_t(b[off + i])) << (8 * i);
    return v;
}

inline uint16_t U16At(std::string_view b, size_t off)
{
    const auto at = [b](size_t i) { return uint32_t(i < b.size() ? uint8_t(b[i]) : 0); };
    return uint16_t(at(off) | at(off + 1) << 8);
}

// A chunk, list or index id, held in place: the walker sees thousands.
struct FourCC {
    char c[4] = {};

    std::string_view View() const { return {c, 4}; }
    std::string_view substr(size_t pos, size_t n = std::string_view::npos) const
    {
        return View().substr(pos, n);
    }
    uint32_t Word() const { return LE32(c); }
    friend bool operator==(const FourCC& a, const FourCC& b) { return a.Word() == b.Word(); }
    friend bool operator!=(const FourCC& a, const FourCC& b) { return !(a == b); }
    friend bool operator==(const FourCC& a, std::string_view b) { return a.View() == b; }
    friend bool operator!=(const FourCC& a, std::string_view b) { return !(a == b); }
    friend std::ostream& operator<<(std::ostream& o, const FourCC& id) { return o << id.View(); }
};

inline FourCC FourCCOf(uint32_t word)
{
    return FourCC{{char(word), char(word >> 8), char(word >> 16), char(word >> 24)}};
}

inline FourCC FourCCAt(std::string_view b, size_t off)
{
    return FourCCOf(U32At(b, off));
}

struct Chunk {
    FourCC id;
    uint32_t length = 0;
    uint64_t offset = 0; // of the chunk's id in the file
    std::string Data(const std::string& file) const { return file.substr(offset + 8, length); }
};

struct IndexEntry {
    FourCC id;
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

// Walks the chunks of one list, and of the lists inside it, into f.
class AviWalker {
public:
    explicit AviWalker(AviFile& f) : f_(f), bytes_(f.bytes) {}

    // Says what is wrong at at: what, name and more in a row. Always false, for the walk to stop.
    bool Fail(uint64_t at, const char* what, std::string_view name = {}, const char* more = "")
    {
        if (f_.error.empty())
            f_.error = std::string(what).append(name).append(more) + " at " + std::to_string(at);
        return false;
    }

    // The chunks in [pos, end) of a list of type list; end is within the file.
    bool Walk(uint64_t pos, uint64_t end, FourCC list)
    {
        for (; pos + 8 <= end;) {
            const FourCC id = FourCCOf(LE32(&bytes_[pos]));
            const uint32_t size = LE32(&bytes_[pos + 4]);
            const uint64_t body = pos + 8;
            if (size > end - body)
                return Fail(pos, "chunk ", id.View(), " too long");
            if (!Visit(id, list, pos, size))
                return false;
            pos = body + size + (size & 1);
        }
        if (pos != end)
            return Fail(pos, "list ", list.View(), " does not end on a chunk");
        return true;
    }

private:
    // One chunk of size bytes at pos; false when it does not belong there.
    bool Visit(FourCC id, FourCC list, uint64_t pos, uint32_t size)
    {
        const uint64_t body = pos + 8;
        const uint32_t in = list.Word();
        switch (id.Word()) {
        case LE32("LIST"):
            return List(pos, size);
        case LE32("avih"):
            if (in != LE32("hdrl"))
                break;
            f_.avih.assign(bytes_, body, size);
            return true;
        case LE32("strh"):
        case LE32("strf"):
            if (in != LE32("strl"))
                break;
            (id.Word() == LE32("strh") ? f_.streams.back().strh : f_.streams.back().strf)
                .assign(bytes_, body, size);
            return true;
        case LE32("idx1"):
            if (in != LE32("AVI ") || size % 16 != 0)
                break;
            f_.hasIndex = true;
            f_.index.reserve(f_.index.size() + size / 16);
            for (const char* e = &bytes_[body]; e != &bytes_[body] + size; e += 16)
                f_.index.push_back({FourCCOf(LE32(e)), LE32(e + 4), LE32(e + 8), LE32(e + 12)});
            return true;
        }
        if (in == LE32("movi")) {
            const bool digits = isdigit(uint8_t(id.c[0])) && isdigit(uint8_t(id.c[1]));
            const bool dc = id.c[2] == 'd' && id.c[3] == 'c', wb = id.c[2] == 'w' && id.c[3] == 'b';
            if (!digits || (!dc && !wb))
                return Fail(pos, "unknown movi chunk");
            f_.chunks.push_back({id, size, pos});
        } else if (id.Word() == LE32("JUNK")) {
            f_.junk.emplace_back(pos, size);
        } else {
            return Fail(pos, "unexpected chunk ", id.View());
        }
        return true;
    }

    // The list of size bytes at pos.
    bool List(uint64_t pos, uint32_t size)
    {
        const uint64_t body = pos + 8;
        const FourCC type = FourCCAt(bytes_, body);
        if (type.Word() == LE32("hdrl"))
            f_.hdrlSize = size;
        if (type.Word() == LE32("movi"))
            f_.moviWord = body, f_.moviSize = size;
        if (type.Word() == LE32("strl"))
            f_.streams.push_back({pos, "", ""});
        return Walk(body + 4, body + size, type);
    }

    AviFile& f_;
    const std::string& bytes_;
};

// Parses file into f. The room of f's chunk and index lists is kept, for a
// caller that parses many files.
inline void ParseAvi(std::string file, AviFile& f)
{
    std::vector<Chunk> chunks = std::move(f.chunks);
    std::vector<IndexEntry> index = std::move(f.index);
    f = AviFile();
    chunks.clear();
    index.clear();
    f.chunks = std::move(chunks);
    f.index = std::move(index);
    f.bytes = std::move(file);
    const std::string& bytes = f.bytes;
    AviWalker walker(f);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "AVI ") != 0) {
        walker.Fail(0, "no RIFF AVI head");
        return;
    }
    f.riffSize = U32At(bytes, 4);
    const uint64_t riffEnd = 8 + uint64_t(f.riffSize);
    if (riffEnd > bytes.size()) {
        walker.Fail(4, "RIFF size beyond the file");
        return;
    }
    // A reader takes bytes after the RIFF chunk for the start of a file cut short.
    if (riffEnd != bytes.size()) {
        walker.Fail(riffEnd, "bytes after the RIFF chunk");
        return;
    }
    walker.Walk(12, riffEnd, FourCCOf(LE32("AVI ")));
    if (f.avih.size() != 56 || f.moviWord == 0 || f.streams.empty())
        walker.Fail(12, "no avih, movi list or stream");
    for (const StreamInfo& s : f.streams)
        if (s.strh.size() != 56 || s.strf.empty())
            walker.Fail(s.listOffset, "stream without strh or strf");
    if (f.hasIndex && f.index.size() != f.chunks.size())
        walker.Fail(riffEnd, "idx1 entries != chunks");
    bool pictureSeen = false;
    for (size_t i = 0; f.error.empty() && i < f.index.size(); ++i) {
        const IndexEntry& e = f.index[i];
        const Chunk& c = f.chunks[i];
        if (e.id != c.id || e.length != c.length || f.moviWord + e.offset != c.offset)
            walker.Fail(c.offset, "idx1 entry ", std::to_string(i), " does not match its chunk");
        // The key-frame flag alone: on every sound chunk with data, on a
        // picture that starts a decode (the first one among them), never
        // on an empty slot.
        const bool key = e.flags == 0x10u, picture = c.id.substr(2) == "dc" && c.length != 0;
        if ((e.flags & ~0x10u) != 0 || (c.length == 0 && key) ||
            (c.length != 0 && !picture && !key) || (picture && !pictureSeen && !key))
            walker.Fail(c.offset, "idx1 flags");
        pictureSeen = pictureSeen || picture;
    }
}

inline AviFile ParseAvi(std::string file)
{
    AviFile f;
    ParseAvi(std::move(file), f);
    return f;
}

// The whole chunks of the movi list of a file still being written, whose
// sizes are not yet known: from the list's head up to the first chunk that
// is not all there.
inline std::vector<Chunk> WrittenChunks(std::string_view b)
{
    std::vector<Chunk> out;
    const size_t head = b.find("movi");
    if (head == std::string_view::npos || head < 8 || b.substr(head - 8, 4) != "LIST")
        return out;
    for (size_t pos = head + 4; pos + 8 <= b.size();) {
        const FourCC id = FourCCAt(b, pos);
        const uint32_t size = U32At(b, pos + 4);
        if (!isdigit(uint8_t(id.c[0])) || b.size() - pos - 8 < size)
            break;
        out.push_back({id, size, pos});
        pos += 8 + uint64_t(size) + (size & 1);
    }
    return out;
}

} // namespace avitest

#endif
