// Tries to take Ctrl+Alt+Q and Ctrl+Alt+H on the display given as argument, as a second copy
// of the program would; exits with the start result.
#include "desktop/CHotkeyHandlerWindow.h"

using ostrel::desktop::CHotkeyHandlerWindow;

int main(int argc, char** argv) {
    CHotkeyHandlerWindow hotkeys(argc > 1 ? argv[1] : "");
    const uint16_t mods = ostrel::desktop::MOD_CONTROL | ostrel::desktop::MOD_ALT;
    hotkeys.addHotkey(
        mods, 'Q', [](uint32_t, void*) {}, 1000);
    hotkeys.addHotkey(
        mods, 'H', [](uint32_t, void*) {}, 1001);
    const int result = hotkeys.start();
    hotkeys.stop();
    return result;
}
