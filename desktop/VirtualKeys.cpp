#include "desktop/VirtualKeys.h"

#include <xcb/xproto.h>

namespace ostrel::desktop {

uint32_t keysymForVirtualKey(uint16_t vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return 'a' + (vk - 'A');  // letters are grabbed by their lower-case keysym
    }
    if (vk >= '0' && vk <= '9') {
        return vk;
    }
    if (vk >= 0x70 && vk <= 0x87) {  // VK_F1 .. VK_F24
        return 0xffbe + (vk - 0x70);
    }
    if (vk >= 0x60 && vk <= 0x69) {  // VK_NUMPAD0 .. VK_NUMPAD9
        return 0xffb0 + (vk - 0x60);
    }
    switch (vk) {
        case 0x08:
            return 0xff08;  // BackSpace
        case 0x09:
            return 0xff09;  // Tab
        case 0x0D:
            return 0xff0d;  // Return
        case 0x13:
            return 0xff13;  // Pause
        case 0x1B:
            return 0xff1b;  // Escape
        case 0x20:
            return 0x0020;  // space
        case 0x21:
            return 0xff55;  // Prior (Page Up)
        case 0x22:
            return 0xff56;  // Next (Page Down)
        case 0x23:
            return 0xff57;  // End
        case 0x24:
            return 0xff50;  // Home
        case 0x25:
            return 0xff51;  // Left
        case 0x26:
            return 0xff52;  // Up
        case 0x27:
            return 0xff53;  // Right
        case 0x28:
            return 0xff54;  // Down
        case 0x2D:
            return 0xff63;  // Insert
        case 0x2E:
            return 0xffff;  // Delete
        default:
            return 0;
    }
}

uint16_t x11ModifierMask(uint16_t modifiers) {
    uint16_t mask = 0;
    if (modifiers & MOD_SHIFT) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & MOD_CONTROL) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & MOD_ALT) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers & MOD_WIN) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

}  // namespace ostrel::desktop
