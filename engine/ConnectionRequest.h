// The record with which the window asks the engine for a call: destination, the user expected
// there, bridge data and the automatic digits. The window fills it, the connecting thread
// passes it to Connect, and the window may set its cancel flag from its own thread meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::engine {

struct ConnectionRequest {
    std::string address;  // host name or dotted IPv4 address (the bridge when viaBridge)
    uint16_t port = 0;
    bool confirmUser = false;  // send expectedUser as the confirm-user field
    std::string expectedUser;
    bool viaBridge = false;
    uint8_t bridgeType = 0;  // 1 telephone number, 2 H.323 destination
    std::string connectionString;
    bool autoDtmf = false;
    std::string dtmf1, dtmf2, dtmf3;
    uint32_t delay1 = 0, delay2 = 0, delay3 = 0;  // ms after the connect time

    // Copies share one flag: the engine keeps a copy of the request in the session, and the
    // window's later cancel must still reach the attempt.
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);

    bool cancelled() const { return cancel && cancel->load(); }
    void requestCancel() const {
        if (cancel) {
            cancel->store(true);
        }
    }
    // A copy whose cancel flag is a fresh, clear one (not shared with this request).
    ConnectionRequest withClearedCancel() const {
        ConnectionRequest copy = *this;
        copy.cancel = std::make_shared<std::atomic<bool>>(false);
        return copy;
    }
};

}  // namespace ostrel::engine
