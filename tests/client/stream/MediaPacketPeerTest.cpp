// The readers on what the emulated camera serves: packets of elementary
// streams that ffmpeg makes at test time, framed and raw, and u-law audio
// with framing faults. ffprobe judges the H.264 units.
#include "DiagCapture.h"
#include "HttpEmulator.h"
#include "MediaPacketTestUtil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

using namespace mediatest;

namespace {

std::string Shell(const std::string& cmd)
{
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    if (pclose(p) != 0)
        ADD_FAILURE() << "failed: " << cmd << "\n" << out;
    return out;
}

Bytes ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// The body of one GET on loopback, read until the camera closes (at most 20 s).
Bytes GetBody(int port, const std::string& path)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Bytes all;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string req = "GET " + path + " HTTP/1.1\r\nHost: camera\r\n\r\n";
        if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) == ssize_t(req.size())) {
            pollfd p{fd, POLLIN, 0};
            uint8_t buf[65536];
            while (poll(&p, 1, 20000) == 1) {
                ssize_t n = recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                all.insert(all.end(), buf, buf + n);
            }
        }
    }
    close(fd);
    static const uint8_t kEnd[] = {'\r', '\n', '\r', '\n'};
    auto it = std::search(all.begin(), all.end(), kEnd, kEnd + 4);
    return it == all.end() ? Bytes() : Bytes(it + 4, all.end());
}

Bytes Joined(const std::vector<Got>& units)
{
    Bytes out;
    for (auto& u : units)
        out.insert(out.end(), u.data.begin(), u.data.end());
    return out;
}

class MediaPacketPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string src =
            "-f lavfi -i testsrc2=size=160x120:rate=30:duration=2.5 -frames:v 60 ";
        Shell("ffmpeg -v error -y " + src +
              "-c:v libx264 -profile:v baseline -g 30 -x264-params repeat-headers=1 -f h264 " +
              m_cam.Dir() + "/a.h264");
        Shell("ffmpeg -v error -y " + src + "-c:v mpeg4 -bf 0 -g 30 -f m4v " + m_cam.Dir() +
              "/a.m4v");
        Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=8000 -t 1 "
              "-c:a pcm_mulaw -f mulaw " +
              m_cam.Dir() + "/a.ul");
    }

    FeedResult Video(CVideoPacketReader::Codec codec, CVideoPacketReader::Form form,
                     const std::string& path, uint32_t cap)
    {
        CVideoPacketReader reader(codec);
        reader.SetForm(form);
        return DriveVideo(reader, GetBody(m_cam.Port(), path), cap, 8192);
    }

    testsupport::HttpEmulator m_cam{R"({"routes": {
      "/h264": {"body": {"generator": "media_packets:acvs", "args":
                {"file": "a.h264", "stamp_base": 1000, "seq_start": 100,
                 "end_magic": true}}},
      "/h264raw": {"content_type": "video/h264", "body": {"generator": "media_packets:acvs",
                "args": {"file": "a.h264", "framed": false, "trailer_hex": "0000000141"}}},
      "/m4v": {"body": {"generator": "media_packets:acvs", "args":
                {"file": "a.m4v", "end_magic": true}}},
      "/m4vraw": {"content_type": "video/mp4v-es", "body": {"generator": "media_packets:acvs",
                "args": {"file": "a.m4v", "framed": false, "trailer_hex": "000001b6"}}},
      "/audio": {"body": {"generator": "media_packets:acas", "args":
                {"file": "a.ul", "packet_bytes": 160, "tag": 1, "stamp_base": 5,
                 "interval_ms": 20, "end_magic": true,
                 "faults": {"3": {"seq": 2}, "9": {"stray_hex": "abcdef"},
                            "20": {"length": 4294967295}, "30": {"drop": true}}}}}}})"};
};

} // namespace

TEST_F(MediaPacketPeer, FramedAndRawH264AreCutIntoAccessUnits)
{
    const FeedResult framed =
        Video(CVideoPacketReader::codecH264, CVideoPacketReader::formFramed, "/h264", 0x60000);
    ASSERT_EQ(framed.units.size(), 60u);
    EXPECT_EQ(framed.arrivals, 60u);
    for (size_t i = 0; i < framed.units.size(); ++i) {
        EXPECT_EQ(framed.units[i].seq, 100 + i);
        EXPECT_EQ(framed.units[i].stamp, 1000000); // no fps: every packet at the base
    }
    // The units, back to back, are a stream ffmpeg decodes to all 60 pictures.
    const std::string joined = m_cam.Dir() + "/joined.h264";
    const Bytes bytes = Joined(framed.units);
    std::ofstream(joined, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(Shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                    "stream=nb_read_frames -of csv=p=0 " +
                    joined),
              "60\n");

    const FeedResult raw =
        Video(CVideoPacketReader::codecH264, CVideoPacketReader::formRaw, "/h264raw", 0x60000);
    EXPECT_EQ(raw.units.size(), 60u);
    EXPECT_EQ(Joined(raw.units), ReadAll(m_cam.Dir() + "/a.h264"));
}

TEST_F(MediaPacketPeer, FramedAndRawMPEG4GiveTheStreamBack)
{
    const Bytes file = ReadAll(m_cam.Dir() + "/a.m4v");
    const FeedResult framed =
        Video(CVideoPacketReader::codecMPEG4, CVideoPacketReader::formFramed, "/m4v", 524288);
    // Two configurations (one per GOP) split off their pictures.
    EXPECT_EQ(framed.units.size(), 62u);
    EXPECT_EQ(framed.arrivals, 60u);
    EXPECT_EQ(Joined(framed.units), file);
    const FeedResult raw =
        Video(CVideoPacketReader::codecMPEG4, CVideoPacketReader::formRaw, "/m4vraw", 524288);
    // The second configuration travels at the end of the picture before it.
    EXPECT_EQ(raw.units.size(), 61u);
    EXPECT_EQ(Joined(raw.units), file);
}

TEST_F(MediaPacketPeer, AudioPacketsSurviveFramingFaults)
{
    const Bytes file = ReadAll(m_cam.Dir() + "/a.ul");
    ASSERT_EQ(file.size(), 8000u);
    CAudioPacketReader reader;
    testsupport::CaptureDiagOut();
    const FeedResult got = DriveAudio(reader, GetBody(m_cam.Port(), "/audio"), 65536, 1000);
    const std::string said = testsupport::TakeDiagOut();
    EXPECT_FALSE(got.stuck);
    // Lost: 8 (stray bytes after it), 20 (huge length), 30 (never sent).
    std::vector<size_t> want;
    for (size_t i = 0; i < 50; ++i)
        if (i != 8 && i != 20 && i != 30)
            want.push_back(i);
    ASSERT_EQ(got.units.size(), want.size());
    for (size_t k = 0; k < want.size(); ++k) {
        const size_t i = want[k];
        SCOPED_TRACE(i);
        EXPECT_EQ(got.units[k].data, Bytes(file.begin() + i * 160, file.begin() + i * 160 + 160));
        EXPECT_EQ(got.units[k].seq, i == 3 ? 2u : i);
        EXPECT_EQ(got.units[k].stamp, int64_t(5000 + 20 * i));
        EXPECT_EQ(got.units[k].tag, 1);
        EXPECT_EQ(got.units[k].rate, 8000);
    }
    EXPECT_NE(said.find("Audio Sequance ID isn't equal: Last 2, now 2"), std::string::npos);
    EXPECT_NE(said.find("Audio Token is not at corrent position."), std::string::npos);
}
