#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/Platform.h"
#include "platform/SocketAddress.h"
#include "platform/UdpSocket.h"

using namespace ostrel::platform;

TEST(SocketAddress, TextForms) {
    const SocketAddress a{0x7F000001, 1720};
    EXPECT_EQ(a.text(), "127.0.0.1:1720");
    EXPECT_TRUE(a.isLoopback());
    const SocketAddress b{0xC0A8010A, 80};
    EXPECT_EQ(b.addressText(), "192.168.1.10");
    EXPECT_FALSE(b.isLoopback());
    EXPECT_FALSE(SocketAddress({0x7F000002, 1}).isLoopback());  // only 127.0.0.1 is ours
}

TEST(SocketAddress, ResolvesDottedAndNamedHosts) {
    EXPECT_EQ(resolveIpv4("10.1.2.3"), 0x0A010203u);
    EXPECT_EQ(resolveIpv4("localhost"), SocketAddress::kLoopback);
    EXPECT_FALSE(resolveIpv4(""));
    EXPECT_FALSE(resolveIpv4("no-such-host.invalid"));
}

class UdpSocketPair : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.bind(SocketAddress::loopback(0)));
        ASSERT_TRUE(b.bind(SocketAddress::loopback(0)));
        aAddress = *a.localAddress();
        bAddress = *b.localAddress();
    }
    UdpSocket a, b;
    SocketAddress aAddress, bAddress;
};

TEST_F(UdpSocketPair, RoundTripReportsTheSender) {
    EXPECT_TRUE(aAddress.isLoopback());
    EXPECT_NE(aAddress.port, 0);
    const std::vector<uint8_t> out{1, 2, 3, 4, 5};
    ASSERT_EQ(a.sendTo(bAddress, out.data(), out.size()), UdpSocket::Result::Ok);
    std::vector<uint8_t> in(16);
    const auto got = b.receive(in.data(), in.size(), 1000);
    ASSERT_EQ(got.result, UdpSocket::Result::Ok);
    EXPECT_EQ(got.size, 5u);
    EXPECT_EQ(got.datagramSize, 5u);
    EXPECT_EQ(got.from, aAddress);
    in.resize(got.size);
    EXPECT_EQ(in, out);
}

TEST_F(UdpSocketPair, LongerDatagramThanTheBufferIsReportedTruncated) {
    const std::vector<uint8_t> big(5000, 7), exact(4096, 8);
    a.sendTo(bAddress, big.data(), big.size());
    a.sendTo(bAddress, exact.data(), exact.size());
    std::vector<uint8_t> in(4096);
    auto got = b.receive(in.data(), in.size(), 1000);
    EXPECT_EQ(got.result, UdpSocket::Result::Truncated);
    EXPECT_EQ(got.datagramSize, 5000u);
    EXPECT_EQ(got.size, 4096u);
    // The next one, exactly the buffer's size, is whole.
    got = b.receive(in.data(), in.size(), 1000);
    EXPECT_EQ(got.result, UdpSocket::Result::Ok);
    EXPECT_EQ(got.datagramSize, 4096u);
}

TEST_F(UdpSocketPair, WaitTimesOutWithoutData) {
    const uint32_t start = tickCount();
    EXPECT_EQ(b.waitReadable(120), UdpSocket::Result::TimedOut);
    EXPECT_GE(tickCount() - start, 110u);
    uint8_t in[4];
    EXPECT_EQ(b.receiveFrom(in, sizeof in).result, UdpSocket::Result::TimedOut);
}

TEST_F(UdpSocketPair, ClosedSocketRefusesEverything) {
    b.close();
    EXPECT_FALSE(b.isOpen());
    EXPECT_EQ(b.handle(), -1);
    uint8_t data[4] = {};
    EXPECT_EQ(b.sendTo(aAddress, data, sizeof data), UdpSocket::Result::Closed);
    EXPECT_EQ(b.waitReadable(10), UdpSocket::Result::Closed);
    EXPECT_EQ(b.receiveFrom(data, sizeof data).result, UdpSocket::Result::Closed);
    EXPECT_FALSE(b.localAddress());
}

TEST_F(UdpSocketPair, BindingAPortInUseFails) {
    UdpSocket c;
    int error = 0;
    EXPECT_FALSE(c.bind(SocketAddress{SocketAddress::kAny, aAddress.port}, &error));
    EXPECT_EQ(error, EADDRINUSE);
}

TEST(UdpSocket, UnboundSocketGetsAPortOnTheFirstSend) {
    UdpSocket receiver, sender;
    ASSERT_TRUE(receiver.bind(SocketAddress::loopback(0)));
    ASSERT_TRUE(sender.open());
    uint8_t data[1] = {9};
    ASSERT_EQ(sender.sendTo(*receiver.localAddress(), data, 1), UdpSocket::Result::Ok);
    uint8_t in[4];
    const auto got = receiver.receive(in, sizeof in, 1000);
    ASSERT_EQ(got.result, UdpSocket::Result::Ok);
    EXPECT_EQ(got.from.port, sender.localAddress()->port);
    EXPECT_NE(got.from.port, 0);
}
