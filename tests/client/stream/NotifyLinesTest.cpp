// The event stream's line parser and tag tables, fed through the worker's
// receive path without a connection: every event is captured as the stream
// hands it to its owner.
#include "FedNotify.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using notifytest::Event;
using notifytest::FedNotify;

// Lines with what each one posts, in the order given.
const char kExampleLines[] = "motion_detected_2=on\r\n"
                             "gp_input_1=off\r\n"
                             "storage_failure_sd=fail\r\n"
                             "keep_alive\r\n"
                             "KEEP_ALIVE=1\r\n"
                             "in_recording=1\r\n"
                             "in_recording=online\r\n"
                             "camera_name=Lobby\r\n"
                             "camera_name=1234\r\n"
                             "pan_pos=-15\r\n"
                             "pan_pos=15\r\n"
                             "focus_step=-3\r\n"
                             "focus_step=3\r\n"
                             "usbstatus=Ready\r\n"
                             "usbstatus=busy\r\n"
                             "usbstatus=failure\r\n"
                             "usbstatus=fail\r\n"
                             "door=hot\r\n"
                             "door=fail\r\n"
                             "door=42\r\n"
                             "motion_detected_1 = on\r\n"
                             "no equals sign\r\n"
                             "empty=\r\n"
                             "\r\n\r\n\n"
                             "a=1\r\n";

const std::vector<Event> kExampleEvents = {
    "1234.2 1",
    "1235.1 0",
    "1237.2 -1",
    "1238.0 1",
    "1238.0 1",
    "1242.0 'camera_name=Lobby'",
    "1242.0 'camera_name=1234'",
    "1248.0 '-15'",
    "1248.0 '-15'", // a number takes the row and leaves the text
    "1251.0 -1",
    "1251.0 3",
    "1247.0 2",
    "1247.0 0",
    "1247.0 7",
    "1247.0 -1",
    "'door' 'hot'",
    "'door' 'door'",
    "'door' '42'",
    "'motion_detected_1 ' '1'",
    "'a' '1'",
};

TEST(NotifyLines, ExampleLinesGiveTheirEvents)
{
    FedNotify s;
    s.Feed(kExampleLines);
    EXPECT_EQ(s.events, kExampleEvents);
    EXPECT_EQ(s.Held(), 0u);
}

TEST(NotifyLines, EverySplitGivesTheSameEvents)
{
    const std::string text = kExampleLines;
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        FedNotify s;
        s.Feed(text.substr(0, cut));
        s.Feed(text.substr(cut));
        ASSERT_EQ(s.events, kExampleEvents) << "cut at " << cut;
    }
    FedNotify bytewise;
    for (char c : text)
        bytewise.Feed(std::string(1, c));
    EXPECT_EQ(bytewise.events, kExampleEvents);
}

TEST(NotifyLines, OnlyTerminatedLinesAreParsed)
{
    FedNotify s;
    s.Feed("a=1\r\nb=");
    EXPECT_EQ(s.events, std::vector<Event>{"'a' '1'"});
    EXPECT_EQ(s.Held(), 2u);
    // Complete lines that would already parse are not taken in halves.
    s.Feed("5\r\ngp_input_1=o");
    s.Feed("n");
    s.Feed("\nin_recording=1");
    s.Feed("0\rNUL=1");
    s.Feed(std::string(1, '\0'));
    EXPECT_EQ(s.events,
              (std::vector<Event>{"'a' '1'", "'b' '5'", "1235.1 1", "1238.0 10", "'NUL' '1'"}));
}

TEST(NotifyLines, LinesOverTheLimitAreSkippedWhole)
{
    const std::string tag255 = "x=" + std::string(253, '7');
    const std::string tag256 = "y=" + std::string(254, '7');
    FedNotify s;
    s.Feed(tag255 + "\r\n" + tag256 + "\r\nin_recording=on\r\n");
    ASSERT_EQ(s.events.size(), 2u);
    EXPECT_EQ(s.events[0], "'x' '" + std::string(253, '7') + "'");
    EXPECT_EQ(s.events[1], "1238.0 1");

    // A long line that arrives in pieces: its end is not a line of its own.
    FedNotify p;
    const std::string longLine = std::string(300, 'z') + "=gp_input_1=on";
    for (size_t i = 0; i < longLine.size(); i += 40)
        p.Feed(longLine.substr(i, 40));
    EXPECT_LE(p.Held(), unsigned(CHTTPNotify::kMaxLine));
    p.Feed("\r\ngp_input_2=on\r\n");
    EXPECT_EQ(p.events, std::vector<Event>{"1235.2 1"});

    // A body of nothing but garbage never fills the buffer.
    FedNotify g;
    g.Feed(std::string(200000, 'q'));
    EXPECT_LE(g.Held(), unsigned(CHTTPNotify::kMaxLine));
    g.Feed("\nmotion_detected_3=on\n");
    EXPECT_EQ(g.events, std::vector<Event>{"1234.3 1"});
}

TEST(NotifyLines, ShortTagTableForOtherContentTypes)
{
    FedNotify s(1);
    EXPECT_EQ(s.GetTagRowCount(), 23);
    s.Feed("md3=on\r\noutput2=off\r\nstoragefull=1\r\ncameraname=Gate\r\ncamera_name=Gate\r\n"
           "mic=on\r\nmotion_detected_1=on\r\n");
    EXPECT_EQ(s.events,
              (std::vector<Event>{"1234.3 1", "1241.2 0", "1236.0 1", "1242.0 'cameraname=Gate'",
                                  "'camera_name' 'Gate'", "1245.0 1", "'motion_detected_1' '1'"}));
    FedNotify l;
    EXPECT_EQ(l.GetTagRowCount(), 25);
    // Case is ignored against the table, but not for the name's digit rule.
    l.Feed("GP_OUTPUT=on\r\nCamera_Name=77\r\nZoom_Mag=wide\r\nzoom_mag=2\r\n");
    EXPECT_EQ(l.events,
              (std::vector<Event>{"1241.0 1", "1242.0 ''", "1250.0 'wide'", "1250.0 'wide'"}));
}

TEST(NotifyLines, TagParserResults)
{
    char tag[8], name[6];
    int value = 99;
    EXPECT_EQ(CHTTPNotify::GetTagEvent("novalue", 7, tag, sizeof tag, value, name, sizeof name),
              -1);
    EXPECT_EQ(CHTTPNotify::GetTagEvent("a= = ", 5, tag, sizeof tag, value, name, sizeof name), -2);
    EXPECT_EQ(value, 99);
    // A tag longer than its buffer has no "=" where it stops.
    EXPECT_EQ(
        CHTTPNotify::GetTagEvent("longertag=1", 11, tag, sizeof tag, value, name, sizeof name), -1);
    EXPECT_EQ(CHTTPNotify::GetTagEvent("\r\nt==  7", 8, tag, sizeof tag, value, name, sizeof name),
              0);
    EXPECT_STREQ(tag, "t");
    EXPECT_EQ(value, 7);
    // Only the given length counts.
    EXPECT_EQ(CHTTPNotify::GetTagEvent("t=12345", 4, tag, sizeof tag, value, name, sizeof name), 0);
    EXPECT_EQ(value, 12);
    // A text is cut to its buffer; a number too large for an int stays text.
    EXPECT_EQ(CHTTPNotify::GetTagEvent("t=abcdefgh", 10, tag, sizeof tag, value, name, sizeof name),
              5);
    EXPECT_STREQ(name, "abcde");
    char big[32];
    EXPECT_EQ(
        CHTTPNotify::GetTagEvent("t=99999999999", 13, tag, sizeof tag, value, big, sizeof big), 11);
    EXPECT_EQ(CHTTPNotify::GetTagEvent("t=2147483647", 12, tag, sizeof tag, value, big, sizeof big),
              0);
    EXPECT_EQ(value, INT_MAX);
    EXPECT_EQ(CHTTPNotify::UsbStatusOf("OVER_LIMIT!"), 6);
    EXPECT_EQ(CHTTPNotify::UsbStatusOf("reinit"), 8);
    EXPECT_EQ(CHTTPNotify::UsbStatusOf("full"), 5);
    EXPECT_EQ(CHTTPNotify::UsbStatusOf(""), 0);
}

} // namespace
