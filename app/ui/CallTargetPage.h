// What a page of the main window offers when it is in front and the user presses Talk: the
// connection request for its target, or nothing after it has told the user why not.
#pragma once

#include <optional>

#include "engine/ConnectionRequest.h"

namespace ostrel::app {

class CallTargetPage {
public:
    virtual ~CallTargetPage() = default;

    // `quiet`: a hot-key or tray Talk, which shows no message.
    virtual std::optional<engine::ConnectionRequest> prepareCall(bool quiet) = 0;

protected:
    CallTargetPage() = default;
};

}  // namespace ostrel::app
