// Turns fuzz input into datagrams of the session message frame. Most come out framed (the
// signature and a length field that agrees with the payload), so the fuzzer spends its time
// beyond the frame check; the rest are raw bytes, over-long datagrams or frames whose length
// field lies, which exercise the check itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FuzzedDataProvider;

namespace ostrel::fuzz {

using Datagram = std::vector<uint8_t>;

Datagram nextDatagram(FuzzedDataProvider& input);

// Up to `maxCount` datagrams, as many as the input has bytes for.
std::vector<Datagram> datagramsFrom(FuzzedDataProvider& input, size_t maxCount);

}  // namespace ostrel::fuzz
