// Windows hot-key terms (modifier flags, virtual-key codes) translated to X11 keysyms and
// modifier masks for the global hot keys. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace ostrel::desktop {

// Hot-key modifier flags, as the callers store them.
inline constexpr uint16_t MOD_ALT = 0x0001;
inline constexpr uint16_t MOD_CONTROL = 0x0002;
inline constexpr uint16_t MOD_SHIFT = 0x0004;
inline constexpr uint16_t MOD_WIN = 0x0008;

// The X11 keysym of a virtual-key code (letters, digits, function, editing, cursor and
// keypad keys); 0 for a code without one.
uint32_t keysymForVirtualKey(uint16_t virtualKey);

// The X11 modifier mask for the flags: Shift, Control, Mod1 (Alt) and Mod4 (the logo key).
uint16_t x11ModifierMask(uint16_t modifiers);

}  // namespace ostrel::desktop
