// Result codes of the wave devices and their backends, with the multimedia system's numbers so
// that traces and tests read like the originals. 0 is success; everything else is a failure.
// Plain constants, usable from any thread.
#pragma once

#include <cstdint>

namespace ostrel::audio {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // also "not open" in the devices
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;    // held by another program
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

}  // namespace ostrel::audio
