#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "desktop/CHotkeyHandlerWindow.h"
#include "desktop/NamedFileLock.h"
#include "desktop/VirtualKeys.h"
#include "tests/desktop/XvfbServer.h"

using namespace ostrel::desktop;
using namespace std::chrono_literals;

namespace {

constexpr uint16_t kCtrlAlt = MOD_CONTROL | MOD_ALT;

// --- without a display ---------------------------------------------------------------------

TEST(VirtualKeys, KeysymsAndModifiers) {
    EXPECT_EQ(keysymForVirtualKey('Q'), 0x71u);  // XK_q
    EXPECT_EQ(keysymForVirtualKey('H'), 0x68u);
    EXPECT_EQ(keysymForVirtualKey('7'), 0x37u);
    EXPECT_EQ(keysymForVirtualKey(0x70), 0xffbeu);  // F1
    EXPECT_EQ(keysymForVirtualKey(0x7B), 0xffc9u);  // F12
    EXPECT_EQ(keysymForVirtualKey(0x60), 0xffb0u);  // keypad 0
    EXPECT_EQ(keysymForVirtualKey(0x20), 0x20u);
    EXPECT_EQ(keysymForVirtualKey(0x2E), 0xffffu);  // Delete
    EXPECT_EQ(keysymForVirtualKey(0xFF), 0u);
    EXPECT_EQ(keysymForVirtualKey(0x61), 0xffb1u);  // keypad 1, not a letter
    EXPECT_EQ(keysymForVirtualKey(0x0A), 0u);
    EXPECT_EQ(x11ModifierMask(MOD_CONTROL | MOD_ALT), (1u << 2) | (1u << 3));
    EXPECT_EQ(x11ModifierMask(MOD_SHIFT | MOD_WIN), 1u | (1u << 6));
    EXPECT_EQ(x11ModifierMask(0), 0u);
}

TEST(HotkeyHandler, AtomNamesCarryModifiersAndKey) {
    EXPECT_EQ(CHotkeyHandlerWindow::atomName(kCtrlAlt, 'Q'),
              "ED7D65EB-B139-44BB-B455-7BB83FE361DE-00030051");
    EXPECT_EQ(CHotkeyHandlerWindow::atomName(kCtrlAlt, 'H'),
              "ED7D65EB-B139-44BB-B455-7BB83FE361DE-00030048");
}

TEST(HotkeyHandler, StartWithoutKeysFailsWith3) {
    CHotkeyHandlerWindow hotkeys(":0");
    EXPECT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kNoHotkeys);
    EXPECT_FALSE(hotkeys.isRunning());
}

TEST(HotkeyHandler, NoDisplayFailsWith1AndTheProgramGoesOn) {
    CHotkeyHandlerWindow hotkeys(":4711");
    hotkeys.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    EXPECT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kNoDisplay);
    EXPECT_FALSE(hotkeys.isRunning());
    hotkeys.stop();  // harmless
}

// --- on a private X server -----------------------------------------------------------------

struct Hit {
    uint32_t id;
    void* parameter;
    std::thread::id thread;
};

class Hits {
public:
    CHotkeyHandlerWindow::Callback callback() {
        return [this](uint32_t id, void* parameter) {
            std::lock_guard lock(mutex_);
            hits_.push_back({id, parameter, std::this_thread::get_id()});
            changed_.notify_all();
        };
    }
    bool waitFor(size_t count, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return hits_.size() >= count; });
    }
    std::vector<Hit> all() {
        std::lock_guard lock(mutex_);
        return hits_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Hit> hits_;
};

class HotkeysOnX : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new ostrel::test::XvfbServer; }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_->running()) {
            GTEST_SKIP() << "Xvfb cannot start here";
        }
    }
    static const std::string& display() { return server_->display(); }
    static int press(const std::string& keys) { return server_->run("xdotool key " + keys); }
    static int probe() { return server_->run(HOTKEY_PROBE_PATH " " + server_->display()); }

    static ostrel::test::XvfbServer* server_;
};

ostrel::test::XvfbServer* HotkeysOnX::server_ = nullptr;

TEST_F(HotkeysOnX, AKeyPressReachesItsCallbackOnTheWorkerThread) {
    CHotkeyHandlerWindow hotkeys(display());
    Hits hits;
    int talkParameter = 0;
    int fallback = 0;
    ASSERT_EQ(hotkeys.addHotkey(kCtrlAlt, 'Q', hits.callback(), 1000, &talkParameter), 1);
    ASSERT_EQ(hotkeys.addHotkey(kCtrlAlt, 'H', hits.callback(), 1001), 1);
    ASSERT_EQ(hotkeys.start(&fallback), CHotkeyHandlerWindow::kStarted);
    EXPECT_TRUE(hotkeys.isRunning());

    ASSERT_EQ(press("ctrl+alt+q"), 0);
    ASSERT_TRUE(hits.waitFor(1));
    ASSERT_EQ(press("ctrl+alt+h"), 0);
    ASSERT_TRUE(hits.waitFor(2));
    const auto all = hits.all();
    EXPECT_EQ(all[0].id, 1000u);
    EXPECT_EQ(all[0].parameter, &talkParameter);
    EXPECT_EQ(all[1].id, 1001u);
    EXPECT_EQ(all[1].parameter, &fallback);  // no parameter of its own: the default one
    EXPECT_NE(all[0].thread, std::this_thread::get_id());
}

TEST_F(HotkeysOnX, OtherModifiersDoNotTriggerAndLockKeysDoNotMatter) {
    CHotkeyHandlerWindow hotkeys(display());
    Hits hits;
    hotkeys.addHotkey(kCtrlAlt, 'Q', hits.callback(), 1000);
    ASSERT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kStarted);
    press("ctrl+q");
    press("ctrl+alt+shift+q");
    press("ctrl+alt+w");
    press("Num_Lock");
    press("ctrl+alt+q");
    press("Num_Lock");
    press("Caps_Lock");
    press("ctrl+alt+q");
    press("Caps_Lock");
    ASSERT_TRUE(hits.waitFor(2));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(hits.all().size(), 2u);
}

TEST_F(HotkeysOnX, ASecondProgramCannotTakeTheSameKeys) {
    CHotkeyHandlerWindow first(display());
    first.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    first.addHotkey(
        kCtrlAlt, 'H', [](uint32_t, void*) {}, 1001);
    ASSERT_EQ(first.start(), CHotkeyHandlerWindow::kStarted);

    EXPECT_EQ(probe(), CHotkeyHandlerWindow::kCannotRegister);

    // Another client in this process fares no better, and a partial grab is given back.
    CHotkeyHandlerWindow second(display());
    second.addHotkey(
        kCtrlAlt, 'X', [](uint32_t, void*) {}, 1);
    second.addHotkey(
        kCtrlAlt, 'H', [](uint32_t, void*) {}, 2);
    EXPECT_EQ(second.start(), CHotkeyHandlerWindow::kCannotRegister);
    EXPECT_FALSE(second.isRunning());
    CHotkeyHandlerWindow third(display());
    third.addHotkey(
        kCtrlAlt, 'X', [](uint32_t, void*) {}, 1);
    EXPECT_EQ(third.start(), CHotkeyHandlerWindow::kStarted);
    third.stop();

    // Once the first stops, its keys are free again.
    first.stop();
    EXPECT_FALSE(first.isRunning());
    EXPECT_EQ(probe(), CHotkeyHandlerWindow::kStarted);
}

TEST_F(HotkeysOnX, StartingTwiceAndAddingWhileRunning) {
    CHotkeyHandlerWindow hotkeys(display());
    Hits hits;
    hotkeys.addHotkey(kCtrlAlt, 'Q', hits.callback(), 1000);
    ASSERT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kStarted);
    EXPECT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kStarted);

    // Ctrl+Alt+F1 is the server's own VT switch, so a plain key shows the grab at once.
    EXPECT_EQ(hotkeys.addHotkey(kCtrlAlt, '5', hits.callback(), 2000), 1);
    EXPECT_EQ(hotkeys.addHotkey(kCtrlAlt, 0xFF, hits.callback(), 3000), 0);  // no such key
    ASSERT_EQ(press("ctrl+alt+5"), 0);
    ASSERT_TRUE(hits.waitFor(1));
    EXPECT_EQ(hits.all()[0].id, 2000u);
}

TEST_F(HotkeysOnX, AnUnknownKeyFailsTheStartWith4) {
    CHotkeyHandlerWindow hotkeys(display());
    hotkeys.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    hotkeys.addHotkey(
        kCtrlAlt, 0xFF, [](uint32_t, void*) {}, 1001);
    EXPECT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kCannotRegister);
    // Q was given back.
    CHotkeyHandlerWindow other(display());
    other.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    EXPECT_EQ(other.start(), CHotkeyHandlerWindow::kStarted);
}

TEST_F(HotkeysOnX, StartWaitsForTheSystemWideLock) {
    NamedFileLock held(CHotkeyHandlerWindow::kLockName);
    ASSERT_TRUE(held.lock());
    CHotkeyHandlerWindow hotkeys(display());
    hotkeys.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    auto started = std::async(std::launch::async, [&] { return hotkeys.start(); });
    EXPECT_EQ(started.wait_for(300ms), std::future_status::timeout);
    held.unlock();
    ASSERT_EQ(started.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(started.get(), CHotkeyHandlerWindow::kStarted);
}

TEST_F(HotkeysOnX, StopReturnsPromptlyAndNoCallbackFollows) {
    Hits hits;
    auto started = std::chrono::steady_clock::now();
    {
        CHotkeyHandlerWindow hotkeys(display());
        hotkeys.addHotkey(kCtrlAlt, 'Q', hits.callback(), 1000);
        ASSERT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kStarted);
        started = std::chrono::steady_clock::now();
    }  // the destructor stops
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    press("ctrl+alt+q");
    EXPECT_FALSE(hits.waitFor(1, 200ms));
}

TEST(HotkeysLostServer, AServerThatGoesAwayEndsTheWorker) {
    ostrel::test::XvfbServer server;
    if (!server.running()) {
        GTEST_SKIP() << "Xvfb cannot start here";
    }
    CHotkeyHandlerWindow hotkeys(server.display());
    hotkeys.addHotkey(
        kCtrlAlt, 'Q', [](uint32_t, void*) {}, 1000);
    ASSERT_EQ(hotkeys.start(), CHotkeyHandlerWindow::kStarted);
    server.stop();
    const auto before = std::chrono::steady_clock::now();
    hotkeys.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
}

}  // namespace
