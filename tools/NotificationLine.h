// The text ostrel-cli prints for an engine notification: the code, a blank, the upper-case
// name, then key=value fields ("23 PEER_JOINED name=bob version=6"). Pure function.
#pragma once

#include <string>

#include "engine/Notification.h"

namespace ostrel::tools {

std::string notificationLine(const engine::Notification& notification);

}  // namespace ostrel::tools
