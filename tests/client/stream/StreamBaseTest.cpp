// The video and audio stream bases: recording results as owner events, the
// recorder hooks, and a camera's two streams recording into one file from
// their own receive threads while the owner starts and stops them.
#include "../http/HttpCtrlTestUtil.h"
#include "../record/AviTestUtil.h"
#include "record/CAVIWriter.h"
#include "stream/CHTTPAudStrm.h"
#include "stream/CHTTPVisStrm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace avitest;
using httptest::Recorder;

namespace {

unsigned long RecordingEvent(int code)
{
    return uint32_t(code * 65536 + 2);
}

// The recording events (kind 2) a stream's owner received, in order.
std::vector<unsigned long> RecordingEvents(Recorder& r)
{
    std::vector<unsigned long> v;
    for (unsigned long value : r.Values())
        if ((value & 0xFFFF) == 2)
            v.push_back(value);
    return v;
}

// A stream that records each part of the emulator's multipart body, stamped
// with its x-ts fields, as a subclass would: on the receive thread, under
// the object lock, starting its track at the first part after InitRecorder.
template <class Base>
class PartStream : public Base {
public:
    PartStream() : Base(1124, false, 2) {}
    CMediaFileWriter* Recorder() { return this->m_pRecorder.get(); }

protected:
    virtual bool StartTrack(CMediaFileWriter* r) = 0;
    virtual int WritePart(CMediaFileWriter* r, const unsigned char* p, unsigned long n,
                          uint64_t t) = 0;

private:
    void OnPart(const unsigned char* data, unsigned long len, uint64_t stamp)
    {
        int result = 0;
        this->Lock();
        if (this->m_bRecordRequested && this->m_pRecorder) {
            this->m_bRecordRequested = false;
            this->m_bRecording = StartTrack(this->m_pRecorder.get());
            result = this->m_bRecording ? 0 : rrAddStreamFailed;
        }
        if (this->m_bRecording)
            result = WritePart(this->m_pRecorder.get(), data, len, stamp);
        this->Unlock();
        if (result != 0)
            this->HandleAVIResult(result);
    }
    void ProcessContent() override
    {
        const std::string buf(reinterpret_cast<char*>(this->m_pContent), this->m_dwContent);
        size_t used = 0, head;
        while ((head = buf.find("\r\n\r\n", used)) != std::string::npos) {
            const std::string fields = buf.substr(used, head - used);
            const size_t len = size_t(std::atol(Field(fields, "Content-Length: ")));
            if (buf.size() < head + 4 + len + 2)
                break;
            OnPart(reinterpret_cast<const unsigned char*>(buf.data() + head + 4), len,
                   uint64_t(std::atoll(Field(fields, "x-ts-sec: "))) * 1000 +
                       uint64_t(std::atoll(Field(fields, "x-ts-usec: "))) / 1000);
            used = head + 4 + len + 2;
        }
        std::memmove(this->m_pContent, this->m_pContent + used, buf.size() - used);
        this->m_dwContent = uint32_t(buf.size() - used);
    }
    static const char* Field(const std::string& fields, const char* name)
    {
        size_t at = fields.find(name);
        return at == std::string::npos ? "" : fields.c_str() + at + std::strlen(name);
    }
};

class VideoParts : public PartStream<CHTTPVisStrm> {
    bool StartTrack(CMediaFileWriter* r) override
    {
        return r->StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0);
    }
    int WritePart(CMediaFileWriter* r, const unsigned char* p, unsigned long n, uint64_t t) override
    {
        return r->RecordAVIFrame(rmtVideoMJPEG, p, n, t, ++m_count);
    }
    unsigned long m_count = 0;
};

class AudioParts : public PartStream<CHTTPAudStrm> {
    bool StartTrack(CMediaFileWriter* r) override
    {
        WAVEFORMATEX f = PcmFormat();
        return r->StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0);
    }
    int WritePart(CMediaFileWriter* r, const unsigned char* p, unsigned long n, uint64_t t) override
    {
        return r->RecordAVISample(rmtAudioPCM, p, n, t, ++m_seq);
    }
    unsigned long m_seq = 0;
};

template <class S>
S* StartStream(Recorder& ev, int port)
{
    auto* s = new S;
    ev.stream = reinterpret_cast<unsigned long>(s);
    s->SetNotifyMessageCB(Recorder::OnEvent, &ev);
    if (!s->Create()) {
        s->Destroy();
        return nullptr;
    }
    s->SetAuthorization("Basic YWRtaW46cHc=");
    if (port)
        s->Connect("127.0.0.1", unsigned(port), "/video/mjpg.cgi", true);
    return s;
}

template <class S>
void ExpectRecordingEvents()
{
    Recorder ev;
    S* s = StartStream<S>(ev, 0);
    ASSERT_NE(s, nullptr);
    for (int r : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 4})
        s->HandleAVIResult(r);
    const std::vector<unsigned long> want = {
        0xFFFF0002ul,      RecordingEvent(2), RecordingEvent(3), RecordingEvent(4),
        RecordingEvent(5), RecordingEvent(6), RecordingEvent(4)};
    // Through the worker's event path: in order, repeats kept, for this
    // stream; results 0, 1 and 7 would stand before the last event.
    EXPECT_TRUE(httptest::Eventually([&] { return ev.CountAll() >= want.size(); }, 10));
    EXPECT_EQ(RecordingEvents(ev), want);
    EXPECT_FALSE(ev.wrongStream);

    s->Destroy();
}

TEST(StreamBase, RecordingResultsReachTheOwner)
{
    ExpectRecordingEvents<VideoParts>();
    ExpectRecordingEvents<AudioParts>();
}

TEST(StreamBase, RecorderHooks)
{
    CHTTPVisStrm base(1124, false, 2); // without a subclass: no decoder, picture or recorder
    int cx = -5, cy = -5;
    EXPECT_FALSE(base.GetVideoResolution(&cx, &cy) || base.InitDecoder(false));
    EXPECT_EQ(cx, -5);
    EXPECT_EQ(base.UninitRecorder(), 0);

    TempDir dir;
    VideoParts v;
    CAVIWriter* first = v.InitRecorder(dir.Path("first.avi").c_str(), nullptr);
    ASSERT_NE(first, nullptr);
    CMediaFileWriter* rec = v.Recorder();
    v.SetRecordingInterval(1, CAVIWriter::skMinutes); // for the next file only
    CAVIWriter* h = v.InitRecorder(dir.Path("second.avi").c_str(), nullptr);
    EXPECT_EQ(v.Recorder(), rec);   // the same recorder, a new file
    EXPECT_EQ(first->Release(), 0); // the first file never had data
    ASSERT_TRUE(h && rec->StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    EXPECT_EQ(rec->RecordAVIFrame(rmtVideoMJPEG, Bytes("jpeg"), 4, 1000, 1), rrStarted);
    EXPECT_EQ(rec->RecordAVIFrame(rmtVideoMJPEG, Bytes("jpeg"), 4, 61000, 2), rrSegmentReached);
    v.ReleaseRecorder(h);
    EXPECT_EQ(v.UninitRecorder(), -1);
    EXPECT_EQ(v.Recorder(), nullptr);
}

// Both streams of a camera record from their receive threads into one file;
// results arrive as events; the owner stops them while parts keep coming.
TEST(StreamBase, TwoStreamsRecordFromTheCamera)
{
    TempDir dir;
    testsupport::HttpEmulator cam(R"({"body":{"multipart":{"fps":60,"timestamps":true}}})");
    Recorder ve, ae;
    VideoParts* v = StartStream<VideoParts>(ve, cam.Port());
    AudioParts* a = StartStream<AudioParts>(ae, cam.Port());
    ASSERT_TRUE(v && a);
    v->SetRecordingInterval(2, CAVIWriter::skSeconds);
    const std::string path = dir.Path("cam.avi");
    CAVIWriter* hv = v->InitRecorder(path.c_str(), nullptr);
    ASSERT_NE(hv, nullptr);
    CAVIWriter* ha = a->InitRecorder(nullptr, hv);
    ASSERT_EQ(ha, hv);
    EXPECT_TRUE(ve.WaitEvent(RecordingEvent(rrStarted), 15));
    // The segment of 2 s ends on the parts' stamps; the first side to see it reports it.
    EXPECT_TRUE(ve.WaitEvent(RecordingEvent(rrSegmentReached), 20) ||
                ae.WaitEvent(RecordingEvent(rrSegmentReached), 1));
    v->ReleaseRecorder(hv);
    a->ReleaseRecorder(ha);
    EXPECT_EQ(v->UninitRecorder(), 1); // the audio side still holds the file
    EXPECT_EQ(a->UninitRecorder(), -1);
    v->Destroy();
    a->Destroy();

    AviFile r = ReadAvi(path);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.streams.size(), 2u);
    // Whichever stream's first part came first was added first: stream 0.
    std::vector<const Chunk*> video;
    size_t audio = 0;
    for (const Chunk& c : r.chunks) {
        if (c.id.substr(2) == "dc" && c.length > 0)
            video.push_back(&c);
        audio += c.id.substr(2) == "wb";
    }
    ASSERT_GE(video.size(), 30u); // 2 s at 60 parts a second, with room for a loaded machine
    EXPECT_GE(audio, 30u);
    EXPECT_TRUE(video[0]->Data(r.bytes) == std::string("\xff\xd8\xff\xd9", 4));
}

} // namespace
