// Bounds on everything a request may carry. Every field from outside is checked against these
// before it is stored or echoed, so a hostile or broken client gets an error reply instead of
// filling the database or the replies of other users.
#pragma once

#include <cstddef>

namespace ostrel::service {

// A whole request body. The largest honest body is a problem report with a crash log; a
// percent-encoded log of 20 KiB is about 60 KiB on the wire.
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;

// The client keeps "User" and "Pass" in 64-byte buffers, so 63 bytes is what it can send back.
inline constexpr std::size_t kMaxUserName = 63;
inline constexpr std::size_t kMaxPassword = 63;

// The client's buddy names are cut at 255 bytes; a list of some dozens is normal.
inline constexpr std::size_t kMaxBuddyName = 255;
inline constexpr std::size_t kMaxBuddies = 1000;

inline constexpr std::size_t kMaxInstanceGuid = 64;
inline constexpr std::size_t kMaxAddress = 255;
inline constexpr std::size_t kMaxVersionText = 32;

inline constexpr std::size_t kMaxCardField = 64;
inline constexpr std::size_t kMaxCards = 20;

// A conference rarely has more than a handful of parties.
inline constexpr std::size_t kMaxCallParties = 64;

// The reachability test echoes this text in each UDP datagram; short keeps the datagrams from
// being useful for amplification.
inline constexpr std::size_t kMaxProbeMessage = 64;

}  // namespace ostrel::service
