// The writer's references and the finishing of its file: the index, the
// header's sizes and counts, and the removal of a file no data reached.
#include "record/CAVIWriter.h"

#include "Common.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

bool CAVIWriter::RequestForStop()
{
    std::lock_guard<std::mutex> g(m_lock);
    m_bStop = true;
    return true;
}

bool CAVIWriter::IsStreamClose()
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_nRef <= 0;
}

void CAVIWriter::AddRef()
{
    std::lock_guard<std::mutex> g(m_lock);
    ++m_nRef;
}

CAVIWriter* CAVIWriter::DuplicatePoint()
{
    std::lock_guard<std::mutex> g(m_lock);
    if (m_nRef <= 0)
        return nullptr;
    ++m_nRef;
    return this;
}

int CAVIWriter::Release()
{
    int result = 0;
    bool remove = false;
    char path[kPathSize];
    {
        std::lock_guard<std::mutex> g(m_lock);
        if (--m_nRef > 0)
            return m_nRef;
        if (m_file.IsOpen()) {
            if (m_bDataWritten) {
                result = -1;
            } else {
                remove = true;
                std::memcpy(path, m_szFilePath, sizeof path);
            }
        }
    }
    delete this;
    if (remove)
        unlink(path);
    return result;
}

void CAVIWriter::ReleaseStream(AVIStreamContext* pContext)
{
    std::lock_guard<std::mutex> g(m_lock);
    for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
        if (it->get() == pContext) {
            (*it)->Release();
            m_streams.erase(it);
            return;
        }
    }
}

void CAVIWriter::PatchU32(uint64_t off, uint32_t value)
{
    uint8_t b[4];
    PutLE32(b, value);
    if (!m_file.WriteAt(off, b, sizeof b))
        DiagPrint(kDiagOut, "Patch AVI header failed, err = %d\n", m_file.LastError());
}

void CAVIWriter::AVIFileRelease()
{
    if (!m_file.IsOpen())
        return;
    AVIStreamContext* video = nullptr;
    AVIStreamContext* audio = nullptr;
    for (const auto& c : m_streams) {
        if (!video && IsVideoRecordType(c->GetMediaType()))
            video = c.get();
        if (!audio && IsAudioRecordType(c->GetMediaType()))
            audio = c.get();
    }
    if (!video)
        DiagPrint(kDiagOut, "pVContext is NULL\n");
    if (m_bHeaderClosed) {
        uint64_t riffEnd = m_file.End();
        uint8_t head[8];
        std::memcpy(head, "idx1", 4);
        PutLE32(head + 4, uint32_t(m_share.index.size()));
        iovec idx[2] = {{head, sizeof head}, {m_share.index.data(), m_share.index.size()}};
        if (m_file.Append(idx, 2))
            riffEnd = m_file.End();
        else if (video)
            PatchU32(kAVIOffMainFlags, kAVIFlagTrustCKType); // no index after all
        // The file ends with its RIFF chunk: readers take anything after it
        // for a file cut short.
        PatchU32(kAVIOffRiffSize, uint32_t(riffEnd - 8));
        PatchU32(kAVIOffMoviSize, m_share.dwMoviSize);
    }
    if (m_share.dwHeaderEnd)
        PatchU32(kAVIOffHdrlSize, m_share.dwHeaderEnd - 20);
    if (video) {
        uint32_t frames = uint32_t(std::min<int64_t>(video->GetPosition(), UINT32_MAX));
        PatchU32(kAVIOffTotalFrames, frames);
        PatchU32(video->GetLengthOffset(), frames);
        PatchU32(kAVIOffStreams, uint32_t(m_streams.size()));
    }
    if (audio)
        PatchU32(audio->GetLengthOffset(),
                 uint32_t(std::min<int64_t>(audio->GetPosition(), UINT32_MAX)));
    // Whatever a failed write may have left past the last whole piece goes.
    m_file.Truncate(m_file.End());
    m_file.Close();
}
