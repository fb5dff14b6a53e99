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

TEST_F(UdpSocketPair, BatchesKeepOrderSendersAndRealSizes) {
    // More datagrams than one system call carries, each of its own size.
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<UdpSocket::Outgoing> out;
    for (uint8_t i = 0; i < 40; ++i) {
        payloads.emplace_back(size_t{10} + i, i);
    }
    for (const auto& p : payloads) {
        out.push_back(UdpSocket::Outgoing{bAddress, p.data(), p.size()});
    }
    ASSERT_EQ(a.sendMany(out), 40u);
    UdpSocket c;
    ASSERT_TRUE(c.bind(SocketAddress::loopback(0)));
    const std::vector<uint8_t> big(5000, 9);
    ASSERT_EQ(c.sendTo(bAddress, big.data(), big.size()), UdpSocket::Result::Ok);

    std::vector<uint8_t> buffers(7 * 4096);
    std::vector<UdpSocket::Slot> slots(7);
    for (size_t i = 0; i < slots.size(); ++i) {
        slots[i].buffer = buffers.data() + i * 4096;
        slots[i].capacity = 4096;
    }
    std::vector<UdpSocket::Received> got;
    std::vector<std::vector<uint8_t>> bytes;
    ASSERT_EQ(b.waitReadable(1000), UdpSocket::Result::Ok);
    while (got.size() < 41) {
        const size_t n = b.receiveMany(slots);
        ASSERT_GT(n, 0u) << "after " << got.size();
        ASSERT_LE(n, slots.size());
        for (size_t i = 0; i < n; ++i) {
            got.push_back(slots[i].received);
            bytes.emplace_back(slots[i].buffer, slots[i].buffer + slots[i].received.size);
        }
    }
    for (size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(got[i].result, UdpSocket::Result::Ok);
        EXPECT_EQ(got[i].from, aAddress);
        EXPECT_EQ(bytes[i], payloads[i]) << i;
    }
    EXPECT_EQ(got[40].result, UdpSocket::Result::Truncated);
    EXPECT_EQ(got[40].datagramSize, 5000u);
    EXPECT_EQ(got[40].size, 4096u);

    EXPECT_EQ(b.receiveMany(slots), 0u);
    EXPECT_EQ(slots[0].received.result, UdpSocket::Result::TimedOut);
}

TEST_F(UdpSocketPair, BatchSendStopsAtTheDatagramThatFails) {
    const std::vector<uint8_t> small(8, 1), tooLong(70000, 2);
    const std::vector<UdpSocket::Outgoing> out{{bAddress, small.data(), small.size()},
                                               {bAddress, small.data(), small.size()},
                                               {bAddress, tooLong.data(), tooLong.size()},
                                               {bAddress, small.data(), small.size()}};
    UdpSocket::Result failure = UdpSocket::Result::Ok;
    int error = 0;
    EXPECT_EQ(a.sendMany(out, &failure, &error), 2u);
    EXPECT_EQ(failure, UdpSocket::Result::Failed);
    EXPECT_EQ(error, EMSGSIZE);

    b.close();
    EXPECT_EQ(b.sendMany(out, &failure), 0u);
    EXPECT_EQ(failure, UdpSocket::Result::Closed);
    std::vector<uint8_t> in(16);
    UdpSocket::Slot slot{in.data(), in.size(), {}};
    EXPECT_EQ(b.receiveMany(std::span(&slot, 1)), 0u);
    EXPECT_EQ(slot.received.result, UdpSocket::Result::Closed);
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
