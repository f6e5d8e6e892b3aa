// The video and audio stream bases: recording results as owner events, the
// recorder hooks, and a camera's two streams recording into one file from
// their own receive threads while the owner starts and stops them.
#include "../record/AviTestUtil.h"
#include "../http/HttpCtrlTestUtil.h"
#include "record/CAVIWriter.h"
#include "stream/CHTTPAudStrm.h"
#include "stream/CHTTPVisStrm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace avitest;

namespace {

using httptest::Recorder;

// The recording events (kind 2) a stream's owner received, in order.
std::vector<unsigned long> RecordingEvents(Recorder& r)
{
    std::vector<unsigned long> v;
    for (unsigned long value : r.Values())
        if ((value & 0xFFFF) == 2)
            v.push_back(value);
    return v;
}

unsigned long RecordingEvent(int code)
{
    return uint32_t(code * 65536 + 2);
}

// A stream that reads the emulator's multipart parts and hands each one,
// with its x-ts stamp, to OnPart on the receive thread.
template <class Base>
class PartStream : public Base {
public:
    PartStream() : Base(1124, false, 2) {}
    using Base::HandleAVIResult;
    CMediaFileWriter* Recorder() { return this->m_pRecorder.get(); }
    bool Requested() { return this->m_bRecordRequested; }
    bool Recording() { return this->m_bRecording; }

protected:
    virtual void OnPart(const unsigned char* data, unsigned long len, uint64_t stamp) = 0;

    // Takes the recorder's next step for one part under the object lock, and
    // reports its result after it.
    template <class StartFn, class WriteFn>
    void Record(StartFn start, WriteFn write)
    {
        int result = 0;
        this->Lock();
        if (this->m_bRecordRequested && this->m_pRecorder) {
            this->m_bRecordRequested = false;
            this->m_bRecording = start(this->m_pRecorder.get());
            if (!this->m_bRecording) {
                this->m_pRecorder->RequestForStop();
                result = rrAddStreamFailed;
            }
        }
        if (this->m_bRecording)
            result = write(this->m_pRecorder.get());
        this->Unlock();
        if (result != 0)
            HandleAVIResult(result);
    }

private:
    void ProcessContent() override
    {
        std::string buf(reinterpret_cast<char*>(this->m_pContent), this->m_dwContent);
        size_t used = 0;
        for (;;) {
            size_t head = buf.find("\r\n\r\n", used);
            if (head == std::string::npos)
                break;
            std::string fields = buf.substr(used, head - used);
            size_t len = size_t(std::atol(Field(fields, "Content-Length: ").c_str()));
            if (buf.size() < head + 4 + len + 2)
                break;
            uint64_t stamp = uint64_t(std::atoll(Field(fields, "x-ts-sec: ").c_str())) * 1000 +
                             uint64_t(std::atoll(Field(fields, "x-ts-usec: ").c_str())) / 1000;
            OnPart(reinterpret_cast<const unsigned char*>(buf.data() + head + 4), len, stamp);
            used = head + 4 + len + 2;
        }
        std::memmove(this->m_pContent, this->m_pContent + used, buf.size() - used);
        this->m_dwContent = uint32_t(buf.size() - used);
    }
    static std::string Field(const std::string& fields, const char* name)
    {
        size_t at = fields.find(name);
        return at == std::string::npos ? "" : fields.substr(at + std::strlen(name));
    }
};

class VideoParts : public PartStream<CHTTPVisStrm> {
    void OnPart(const unsigned char* data, unsigned long len, uint64_t stamp) override
    {
        ++m_count;
        Record([](CMediaFileWriter* r) {
                   return r->StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0);
               },
               [&](CMediaFileWriter* r) {
                   return r->RecordAVIFrame(rmtVideoMJPEG, data, len, stamp, m_count);
               });
    }
    unsigned long m_count = 0;
};

class AudioParts : public PartStream<CHTTPAudStrm> {
    void OnPart(const unsigned char* data, unsigned long len, uint64_t stamp) override
    {
        ++m_seq;
        WAVEFORMATEX f = PcmFormat();
        Record([&](CMediaFileWriter* r) {
                   return r->StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0);
               },
               [&](CMediaFileWriter* r) {
                   return r->RecordAVISample(rmtAudioPCM, data, len, stamp, m_seq);
               });
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

int PostToList(void* ctx, HTTPNotifyMessageCB, void*, CHTTPCtrl* stream, unsigned long value)
{
    Recorder::OnEvent(ctx, reinterpret_cast<unsigned long>(stream), value);
    return 1;
}

template <class S>
void ExpectRecordingEvents()
{
    Recorder ev;
    S* s = StartStream<S>(ev, 0);
    ASSERT_NE(s, nullptr);
    for (int r : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 4})
        s->HandleAVIResult(r);
    const std::vector<unsigned long> want = {0xFFFF0002ul,      RecordingEvent(2), RecordingEvent(3),
                                             RecordingEvent(4), RecordingEvent(5), RecordingEvent(6),
                                             RecordingEvent(4)};
    // Through the worker's own thread: in order, repeats kept, for this
    // stream; results 0, 1 and 7 would stand before the last event.
    EXPECT_TRUE(httptest::Eventually([&] { return ev.CountAll() >= want.size(); }, 10));
    EXPECT_EQ(RecordingEvents(ev), want);
    EXPECT_FALSE(ev.wrongStream);

    // Through a session's poster.
    Recorder posted;
    posted.stream = ev.stream;
    s->SetEventPoster(PostToList, &posted);
    s->HandleAVIResult(-1);
    EXPECT_EQ(RecordingEvents(posted), std::vector<unsigned long>{0xFFFF0002ul});
    EXPECT_FALSE(posted.wrongStream);
    s->Destroy();
}

TEST(StreamBase, RecordingResultsReachTheOwner)
{
    ExpectRecordingEvents<VideoParts>();
    ExpectRecordingEvents<AudioParts>();
}

TEST(StreamBase, BaseOperationsWithoutASubclass)
{
    CHTTPVisStrm v(1124, false, 2);
    int cx = -5, cy = -5;
    EXPECT_FALSE(v.GetVideoResolution(&cx, &cy));
    EXPECT_EQ(cx, -5);
    unsigned char* snap = nullptr;
    unsigned long n = 0;
    EXPECT_FALSE(v.TakeSnapshot(&snap, n));
    EXPECT_FALSE(v.InitDecoder(false));
    EXPECT_FALSE(v.SetCallbackRenderMode(true, nullptr, nullptr));
    EXPECT_EQ(v.UninitRecorder(), 0);
    v.SetLimitSpace(1); // no recorder: nothing kept
    CHTTPAudStrm a(1124, false, 2);
    EXPECT_FALSE(a.InitDecoder());
    EXPECT_TRUE(a.SetRenderCallback(nullptr, nullptr));
    EXPECT_TRUE(a.SetGetEncAudioSampleCB(nullptr, nullptr));
    EXPECT_EQ(a.UninitRecorder(), 0);
}

TEST(StreamBase, RecorderHooksShareOneFile)
{
    TempDir dir;
    VideoParts v;
    AudioParts a;
    const std::string first = dir.Path("first.avi"), path = dir.Path("cam.avi");
    CAVIWriter* old = v.InitRecorder(first.c_str(), nullptr);
    ASSERT_NE(old, nullptr);
    CMediaFileWriter* rec = v.Recorder();
    v.SetRecordingInterval(1, CAVIWriter::skMinutes);
    CAVIWriter* hv = v.InitRecorder(path.c_str(), nullptr); // the same recorder, a new file
    ASSERT_NE(hv, nullptr);
    EXPECT_EQ(v.Recorder(), rec);
    EXPECT_TRUE(v.Requested());
    EXPECT_EQ(old->Release(), 0); // the first file never had data

    CAVIWriter* ha = a.InitRecorder(nullptr, hv);
    EXPECT_EQ(ha, hv);
    ASSERT_TRUE(rec->StartRecordStream(rmtVideoMJPEG, 320, 240, nullptr, false, 0, 0));
    WAVEFORMATEX f = PcmFormat();
    ASSERT_TRUE(a.Recorder()->StartRecordStream(rmtAudioPCM, 0, 0, &f, false, 0, 0));
    EXPECT_EQ(rec->RecordAVIFrame(rmtVideoMJPEG, Bytes("jpeg"), 4, 1000, 1), rrStarted);
    EXPECT_EQ(a.Recorder()->RecordAVISample(rmtAudioPCM, Bytes("pcm!"), 4, 1000, 1), rrOK);
    // The interval given before InitRecorder holds: one minute.
    EXPECT_EQ(rec->RecordAVIFrame(rmtVideoMJPEG, Bytes("jpeg"), 4, 61000, 2), rrSegmentReached);

    v.ReleaseRecorder(hv);
    EXPECT_EQ(v.UninitRecorder(), 2); // the audio side still holds the file
    EXPECT_FALSE(v.Requested());
    a.ReleaseRecorder(ha);
    EXPECT_EQ(a.UninitRecorder(), -1); // the last: finished and kept
    AviFile r = ReadAvi(path);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.Layout(), "v4 a4");
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
    const int first = v->UninitRecorder();
    const int last = a->UninitRecorder();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, -1);
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
