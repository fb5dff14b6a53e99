#include <gtest/gtest.h>

#include "EventLog.h"
#include "GatewayPeer.h"
#include "gateway/LookupHost.h"

using namespace ostrel::engine;
using namespace gatewaytest;
using ostrel::gateway::LookupHost;
using ostrel::platform::SocketAddress;
using wire::RawPeer;

namespace {

class LookupHostTest : public ::testing::Test {
protected:
    void start(std::string host, uint16_t port, bool silent = false) {
        lookup = std::make_unique<LookupHost>(std::move(host), port, silent, events);
        ASSERT_TRUE(lookup->start(SocketAddress::loopback(0)));
    }

    void ask(RawPeer& peer) { sendMessage(peer, lookup->port(), buildGatewayLookup()); }

    EventLog events;
    std::unique_ptr<LookupHost> lookup;
};

}  // namespace

TEST_F(LookupHostTest, ReplyNamesTheGatewayAtTheLayoutOffsets) {
    start("gw.example.net", 40000);
    RawPeer client;
    ask(client);
    auto reply = client.receive(1000);
    ASSERT_TRUE(reply);
    const auto& b = reply->bytes;
    ASSERT_EQ(b.size(), 13u + 131u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), std::string("QVX\0", 4));
    EXPECT_EQ(b[4], 24);
    EXPECT_EQ(wire::u32(b, 5), 0u);
    EXPECT_EQ(reply->payloadLength(), 131u);
    EXPECT_EQ(b[13], 0);
    EXPECT_EQ(wire::text(b, 13 + 1, 128), "gw.example.net");
    EXPECT_TRUE(wire::allZero(b, 13 + 1 + 14, 13 + 129));
    EXPECT_EQ(b[13 + 129], 0x40);  // 40000 = 0x9C40, little-endian
    EXPECT_EQ(b[13 + 130], 0x9C);
    EXPECT_TRUE(events.waitFor("lookup from 127.0.0.1:" + std::to_string(client.port()) +
                               " answered gw.example.net:40000"));
}

TEST_F(LookupHostTest, LongestHostKeepsItsNulAndLongerOnesAreCut) {
    start(std::string(130, 'h'), 1731);
    RawPeer client;
    ask(client);
    auto reply = client.receive(1000);
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->bytes.size(), 13u + 131u);
    EXPECT_EQ(wire::text(reply->bytes, 13 + 1, 128), std::string(127, 'h'));
    EXPECT_EQ(reply->bytes[13 + 128], 0) << "the field ends in NUL";
    EXPECT_EQ(u16(reply->bytes, 13 + 129), 1731);
}

TEST_F(LookupHostTest, EveryClientGetsItsOwnReply) {
    start("127.0.0.1", 1731);
    RawPeer a, b;
    ask(a);
    ask(b);
    ask(a);
    EXPECT_TRUE(a.receiveCode(24, 1000));
    EXPECT_TRUE(a.receiveCode(24, 1000));
    EXPECT_TRUE(b.receiveCode(24, 1000));
    EXPECT_FALSE(b.receive(150));
}

TEST_F(LookupHostTest, SilentHostAnswersNothingButSaysSo) {
    start("127.0.0.1", 1731, true);
    RawPeer client;
    for (int i = 0; i < 3; ++i) {
        ask(client);
    }
    EXPECT_FALSE(client.receive(300));
    EXPECT_EQ(events.matching("unanswered (silent)").size(), 3u);
}

TEST_F(LookupHostTest, MalformedAndOtherDatagramsGetNoReply) {
    start("127.0.0.1", 1731);
    RawPeer client;
    auto lying = bytesOf(buildGatewayLookup());
    lying.pop_back();  // payload length says 2, one byte came
    client.sendTo(lookup->port(), lying);
    auto badSignature = bytesOf(buildGatewayLookup());
    badSignature[0] = 'q';
    client.sendTo(lookup->port(), badSignature);
    client.sendTo(lookup->port(), wire::frame(23, std::vector<uint8_t>(4500, 1)));
    sendMessage(client, lookup->port(), buildEmpty(MSG_WHO_RU));
    sendMessage(client, lookup->port(), buildConnectRequest({}));
    EXPECT_FALSE(client.receive(300));
    EXPECT_EQ(events.matching("dropped datagram").size(), 3u);
    ask(client);
    EXPECT_TRUE(client.receiveCode(24, 1000)) << "still answering";
}
