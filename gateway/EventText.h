// Text helpers for the gateway's event lines: network texts made safe to print on one line,
// and the checked reader's rejection reasons in words. Pure functions, callable from any
// thread.
#pragma once

#include <string>
#include <string_view>

#include "engine/SessionMessage.h"

namespace ostrel::gateway {

// `text` with every byte outside printable ASCII replaced by '?', so a name or digit string
// from the network can neither break the one-line-per-event output nor inject terminal codes.
std::string printable(std::string_view text);

// Why the checked reader refused a datagram ("bad signature", "length mismatch", ...).
std::string_view rejectionReason(engine::MessageView::Error error);

}  // namespace ostrel::gateway
