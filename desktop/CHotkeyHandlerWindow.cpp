#include "desktop/CHotkeyHandlerWindow.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop/NamedFileLock.h"
#include "sync/CWorkerThread.h"

namespace ostrel::desktop {

namespace {

// A grab names exact modifier states, so each key is grabbed also with Caps Lock and Num Lock
// (Mod2 on every common keymap) on; otherwise the keys would stop working with either lit.
constexpr uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                      XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t kRelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

}  // namespace

CHotkeyHandlerWindow::CHotkeyHandlerWindow(std::string display) : display_(std::move(display)) {}

CHotkeyHandlerWindow::~CHotkeyHandlerWindow() {
    stop();
}

std::string CHotkeyHandlerWindow::atomName(uint16_t modifiers, uint16_t virtualKey) {
    char text[64];
    std::snprintf(text, sizeof text, "ED7D65EB-B139-44BB-B455-7BB83FE361DE-%08lX",
                  static_cast<unsigned long>(modifiers) * 65536ul + virtualKey);
    return text;
}

int CHotkeyHandlerWindow::addHotkey(uint16_t modifiers, uint16_t virtualKey, Callback callback,
                                    uint32_t callerId, void* parameter) {
    std::lock_guard lock(mutex_);
    Record record;
    record.modifiers = modifiers;
    record.virtualKey = virtualKey;
    record.callback = std::move(callback);
    record.callerId = callerId;
    record.parameter = parameter;
    if (connection_ && !grabLocked(record)) {
        return 0;
    }
    records_.push_back(std::move(record));
    return 1;
}

int CHotkeyHandlerWindow::start(void* defaultParameter) {
    if (running_) {
        return kStarted;
    }
    NamedFileLock systemLock(kLockName);
    if (!systemLock.lock()) {
        return kNoLock;
    }
    {
        std::lock_guard lock(mutex_);
        if (records_.empty()) {
            return kNoHotkeys;
        }
    }
    defaultParameter_ = defaultParameter;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        return kNoThread;
    }
    worker_ = std::make_unique<sync::CWorkerThread>([this](void*) { return run(); }, nullptr,
                                                    "Hotkey Thread");
    startResult_ = kNoThread;
    if (!worker_->Start(true)) {
        worker_.reset();
        ::close(wakeFd_);
        wakeFd_ = -1;
        return kNoThread;
    }
    if (startResult_ != kStarted) {
        worker_->Wait(sync::kInfinite);
        worker_.reset();
        ::close(wakeFd_);
        wakeFd_ = -1;
        return startResult_;
    }
    running_ = true;
    return kStarted;
}

void CHotkeyHandlerWindow::stop() {
    NamedFileLock systemLock(kLockName);
    const bool locked = systemLock.lock();  // stop goes on without it rather than keep keys
    (void)locked;
    if (!worker_) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (connection_) {
            for (Record& record : records_) {
                ungrabLocked(record);
            }
            // The worker sees its window's DestroyNotify and leaves its loop.
            xcb_destroy_window(connection_, window_);
            xcb_flush(connection_);
        }
    }
    if (worker_->Wait(kStopWaitMs) == sync::WaitResult::TimedOut) {
        // An X server that no longer answers: wake the worker's poll instead of killing it.
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        worker_->Wait(sync::kInfinite);
    }
    worker_.reset();
    ::close(wakeFd_);
    wakeFd_ = -1;
    running_ = false;
}

bool CHotkeyHandlerWindow::grabLocked(Record& record) {
    const uint32_t keysym = keysymForVirtualKey(record.virtualKey);
    if (keysym == 0) {
        return false;
    }
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(keySymbols_, keysym);
    std::vector<uint8_t> keycodes;
    for (xcb_keycode_t* c = codes; c && *c != XCB_NO_SYMBOL; ++c) {
        keycodes.push_back(*c);
    }
    std::free(codes);
    if (keycodes.empty()) {
        return false;  // this keyboard has no such key
    }
    const uint16_t mask = x11ModifierMask(record.modifiers);
    std::vector<xcb_void_cookie_t> cookies;
    for (uint8_t code : keycodes) {
        for (uint16_t variant : kLockVariants) {
            cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, mask | variant, code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool ok = true;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
            ok = false;  // BadAccess: another client holds this combination
            std::free(error);
        }
    }
    record.mask = mask;
    record.keycodes = std::move(keycodes);
    if (!ok) {
        // Release the variants that did succeed; ungrabbing one we never held does nothing.
        record.registered = true;
        ungrabLocked(record);
        return false;
    }
    const std::string name = atomName(record.modifiers, record.virtualKey);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, name.size(), name.c_str()), nullptr);
    if (reply) {
        record.atom = reply->atom;
        std::free(reply);
    }
    record.registered = true;
    return true;
}

void CHotkeyHandlerWindow::ungrabLocked(Record& record) {
    if (!record.registered) {
        return;
    }
    for (uint8_t code : record.keycodes) {
        for (uint16_t variant : kLockVariants) {
            xcb_ungrab_key(connection_, code, root_, record.mask | variant);
        }
    }
    xcb_flush(connection_);
    record.registered = false;
}

void CHotkeyHandlerWindow::dispatch(uint8_t keycode, uint16_t state) {
    Callback callback;
    uint32_t callerId = 0;
    void* parameter = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (const Record& record : records_) {
            if (!record.registered || record.mask != (state & kRelevantModifiers)) {
                continue;
            }
            for (uint8_t code : record.keycodes) {
                if (code == keycode) {
                    callback = record.callback;
                    callerId = record.callerId;
                    parameter = record.parameter ? record.parameter : defaultParameter_;
                    break;
                }
            }
            if (callback) {
                break;
            }
        }
    }
    if (callback) {
        callback(callerId, parameter);
    }
}

uint32_t CHotkeyHandlerWindow::run() {
    int screenNumber = 0;
    xcb_connection_t* connection =
        xcb_connect(display_.empty() ? nullptr : display_.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        startResult_ = kNoDisplay;
        worker_->SignalStarted();
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t root = screens.data->root;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_create_window_checked(connection, 0, window, root, 0, 0, 1, 1, 0,
                                              XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                                              XCB_CW_EVENT_MASK, &events));
    if (error) {
        std::free(error);
        xcb_disconnect(connection);
        startResult_ = kNoWindow;
        worker_->SignalStarted();
        return 1;
    }
    // Never mapped; named so that the window shows up by name in X tools.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, std::strlen(kWindowTitle), kWindowTitle);
    const std::string wmClass = std::string(kWindowClass) + '\0' + kWindowClass + '\0';
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());

    {
        std::lock_guard lock(mutex_);
        connection_ = connection;
        keySymbols_ = xcb_key_symbols_alloc(connection);
        root_ = root;
        window_ = window;
        bool ok = true;
        for (Record& record : records_) {
            if (!grabLocked(record)) {
                ok = false;
                break;
            }
        }
        if (!ok) {
            for (Record& record : records_) {
                ungrabLocked(record);
            }
            xcb_destroy_window(connection, window);
            xcb_key_symbols_free(keySymbols_);
            keySymbols_ = nullptr;
            connection_ = nullptr;
            xcb_disconnect(connection);
            startResult_ = kCannotRegister;
            worker_->SignalStarted();
            return 1;
        }
    }
    startResult_ = kStarted;
    worker_->SignalStarted();

    pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    bool done = false;
    while (!done) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
                dispatch(press->detail, press->state);
            } else if (type == XCB_DESTROY_NOTIFY &&
                       reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == window) {
                done = true;
            }
            std::free(event);
        }
        if (done || xcb_connection_has_error(connection)) {
            break;
        }
        fds[0].revents = fds[1].revents = 0;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents) {
            break;
        }
    }

    std::lock_guard lock(mutex_);
    for (Record& record : records_) {
        record.registered = false;  // the server drops a client's grabs when it goes
    }
    xcb_key_symbols_free(keySymbols_);
    keySymbols_ = nullptr;
    connection_ = nullptr;
    xcb_disconnect(connection);
    return 0;
}

}  // namespace ostrel::desktop
