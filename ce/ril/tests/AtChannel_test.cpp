#include <gtest/gtest.h>

#include "AtChannel.h"
#include "FakePort.h"

// The AT channel on a port that sends what real ports do besides answers.

TEST(AtChannel, ARestartNoticeInTheSameReadAsTheFinalResultIsSeen) {
    std::atomic<bool> stopping{false};
    FakePort modem;
    modem.replies = {"\r\n+CSQ: 17,99\r\n\r\nOK\r\n\r\nRDY\r\n", "\r\nOK\r\n^SYS", "START\r\n"};
    AtChannel channel(modem, stopping);
    AtReply reply = channel.Command("AT+CSQ", "+CSQ:", 1000);
    ASSERT_EQ(AtReply::Ok, reply.status);
    EXPECT_EQ(std::vector<std::string>{"+CSQ: 17,99"}, reply.lines);
    EXPECT_TRUE(channel.TakeRestart());
    EXPECT_FALSE(channel.TakeRestart());
    // A notice cut across reads after the final result code.
    EXPECT_EQ(AtReply::Ok, channel.Command("AT", "", 1000).status);
    EXPECT_TRUE(channel.Absorb());
    EXPECT_TRUE(channel.TakeRestart());
}

// Each way of reading stops after a bounded number of bytes on a port that never pauses, and
// the port counts as lost; a port of 64 MB would take the unbounded loop seconds to run dry.
TEST(AtChannel, APortThatStreamsIsLostAfterABoundedRead) {
    std::atomic<bool> stopping{false};
    const std::string streams[] = {std::string(1024, 'x'), "+CREG: 1\r\n"};
    for (const std::string& stream : streams) {
        for (int way = 0; way < 3; ++way) {
            FakePort port;
            port.stream = stream;
            port.limit = 64u << 20;
            AtChannel channel(port, stopping);
            if (way == 0) {
                EXPECT_FALSE(channel.Absorb());
            } else if (way == 1) {
                EXPECT_FALSE(channel.Drain(200, 600000));
            } else {
                EXPECT_EQ(AtReply::PortFailed, channel.Command("AT+CSQ", "+CSQ:", 600000).status);
            }
            EXPECT_TRUE(channel.Lost() && channel.Flooded()) << way;
            EXPECT_LE(port.bytesRead, AtChannel::MAX_READ_BYTES + 1024) << way;
        }
    }
}
