// The volume sliders' scale: positions 0..255 with the loudest at the top (position 0), over
// mixer values 0..65535 as VolumeControl reports them. Pure functions; any thread.
#pragma once

namespace ostrel::audio {

inline constexpr int kSliderTop = 0;
inline constexpr int kSliderBottom = 255;

// Position p stands for the mixer value (255 - p) * 256: top 65280, bottom 0.
constexpr long volumeForSliderPosition(int position) {
    if (position < kSliderTop) {
        position = kSliderTop;
    } else if (position > kSliderBottom) {
        position = kSliderBottom;
    }
    return static_cast<long>(kSliderBottom - position) * 256;
}

// A mixer value v is shown at 255 - (v / 256 mod 256). A failed read (-1) shows at the bottom
// rather than at full volume.
constexpr int sliderPositionForVolume(long value) {
    if (value < 0) {
        return kSliderBottom;
    }
    return kSliderBottom - static_cast<int>((value / 256) % 256);
}

}  // namespace ostrel::audio
