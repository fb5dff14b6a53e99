#include <gtest/gtest.h>

#include "tools/NotificationLine.h"

using namespace ostrel::engine;
using ostrel::tools::notificationLine;

TEST(NotificationLine, CodeNameAndFields) {
    EXPECT_EQ(notificationLine({NotificationCode::CallActive, {}}), "7 CALL_ACTIVE");
    EXPECT_EQ(
        notificationLine({NotificationCode::PeerJoined, PeerJoinedRecord{"bob", SessionId{4}, 6}}),
        "23 PEER_JOINED name=bob version=6");
    EXPECT_EQ(notificationLine({NotificationCode::DelayMeasured, DelayRecord{{}, 9, 3, 0}}),
              "27 DELAY ms=3");
    EXPECT_EQ(notificationLine({NotificationCode::PacketsLost, SessionCount{SessionId{2}, 5}}),
              "17 PACKETS_LOST session=2 count=5");
    EXPECT_EQ(notificationLine({NotificationCode::BytesSent, SessionCount{SessionId{2}, 349}}),
              "1 BYTES_SENT session=2 bytes=349");
    EXPECT_EQ(notificationLine({NotificationCode::ConnectionLost, {}}), "12 CONNECTION_LOST");
    EXPECT_EQ(notificationLine({NotificationCode::DigitsSent, DigitsSentRecord{"12#", {}}}),
              "37 DIGITS_SENT digits=12#");
    PcmBlock block;
    block.samples[10] = -1234;
    EXPECT_EQ(notificationLine({NotificationCode::VoicePlayed, block}), "5 VOICE_PLAYED peak=1234");
    ConnectionRequest r;
    r.address = "10.1.2.3";
    r.port = 1720;
    EXPECT_EQ(notificationLine({NotificationCode::ConnectFailed, r}),
              "24 CONNECT_FAILED address=10.1.2.3 port=1720");
}
