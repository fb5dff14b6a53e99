// System-wide hot keys on X11: key grabs on the root window, held by a worker thread with its
// own X connection and hidden window. The owner adds keys, starts and stops on the GUI thread;
// callbacks run on the worker thread and must only post to the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "desktop/VirtualKeys.h"

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace ostrel::sync {
class CWorkerThread;
}

namespace ostrel::desktop {

class CHotkeyHandlerWindow {
public:
    using Callback = std::function<void(uint32_t callerId, void* parameter)>;

    // Results of start.
    static constexpr int kStarted = 0;
    static constexpr int kNoDisplay = 1;       // no X display to talk to
    static constexpr int kNoWindow = 2;        // the hidden window cannot be created
    static constexpr int kNoHotkeys = 3;       // nothing was added
    static constexpr int kCannotRegister = 4;  // a key is held by another program or unknown
    static constexpr int kNoThread = 5;
    static constexpr int kNoLock = 6;

    static constexpr const char* kWindowClass = "HKWND-CLS-BC090410-3872-49E5-BDF7-1BB8056BF696";
    static constexpr const char* kWindowTitle = "CHotkeyHandlerWindow";
    static constexpr const char* kLockName = "{97B7C451-2467-4C3C-BB91-25AC918C2430}";
    static constexpr unsigned long kStopWaitMs = 3000;

    // `display` names the X display; empty uses $DISPLAY.
    explicit CHotkeyHandlerWindow(std::string display = {});
    // Stops first.
    ~CHotkeyHandlerWindow();

    CHotkeyHandlerWindow(const CHotkeyHandlerWindow&) = delete;
    CHotkeyHandlerWindow& operator=(const CHotkeyHandlerWindow&) = delete;

    // Before start only stores the key; while running grabs it at once. 1 done; 0 when the
    // grab fails (the key is then not kept).
    int addHotkey(uint16_t modifiers, uint16_t virtualKey, Callback callback, uint32_t callerId,
                  void* parameter = nullptr);

    // Grabs every added key; one of the results above. Already running: kStarted at once.
    // `defaultParameter` goes to callbacks whose key has none.
    int start(void* defaultParameter = nullptr);
    // Releases every key and ends the worker.
    void stop();
    bool isRunning() const { return running_; }

    // The atom that names a key: "ED7D65EB-B139-44BB-B455-7BB83FE361DE-%08lX" of
    // (modifiers * 65536 + virtual key).
    static std::string atomName(uint16_t modifiers, uint16_t virtualKey);

private:
    struct Record {
        uint16_t modifiers = 0;
        uint16_t virtualKey = 0;
        Callback callback;
        uint32_t callerId = 0;
        void* parameter = nullptr;
        uint32_t atom = 0;
        bool registered = false;
        uint16_t mask = 0;
        std::vector<uint8_t> keycodes;
    };

    uint32_t run();
    bool grabLocked(Record& record);
    void ungrabLocked(Record& record);
    void dispatch(uint8_t keycode, uint16_t state);

    std::string display_;
    std::atomic<bool> running_{false};
    void* defaultParameter_ = nullptr;
    int startResult_ = kStarted;  // written by the worker before it signals its start
    int wakeFd_ = -1;
    std::unique_ptr<sync::CWorkerThread> worker_;

    // Guards records_ and the worker's X objects below: keys may be added from the GUI thread
    // while the worker dispatches, and stop releases the grabs on the worker's connection.
    std::mutex mutex_;
    std::vector<Record> records_;
    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* keySymbols_ = nullptr;
    uint32_t root_ = 0;
    uint32_t window_ = 0;
};

}  // namespace ostrel::desktop
