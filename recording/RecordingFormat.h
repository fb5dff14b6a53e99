// Conversation recording: the recorder pairs the call's spoken and heard 200 ms blocks into
// GSM-coded ".vrec" files, and the player plays such files back. The engine's voice threads
// feed the recorder; the main window saves it at the end of a call and drives the player.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::recording {

// One block of the file: ten 33-byte GSM frames for 1600 samples (200 ms at 8000 Hz).
inline constexpr uint32_t kBlockSamples = 1600;
inline constexpr uint32_t kPcmBlockBytes = kBlockSamples * 2;
inline constexpr uint32_t kCodedBlockBytes = 330;

// A file the player accepts: at least one block and nothing but whole blocks.
inline constexpr bool isWellFormedLength(uint64_t size) {
    return size >= kCodedBlockBytes && size % kCodedBlockBytes == 0;
}

}  // namespace ostrel::recording
