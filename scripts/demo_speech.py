#!/usr/bin/env python3
"""Writes a WAV of speech-like sound for demos: a voiced tone with a gliding pitch and two
formants, cut into syllables and pauses, so voice detection and the codec have work to do.

usage: demo_speech.py OUT.wav SECONDS PITCH_HZ
"""
import math
import struct
import sys
import wave

RATE = 8000


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip())
    out, seconds, pitch = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
    samples = []
    phase = 0.0
    for n in range(int(seconds * RATE)):
        t = n / RATE
        syllable = t % 0.9  # 0.6 s voiced, 0.3 s pause
        if syllable >= 0.6:
            samples.append(0)
            continue
        envelope = math.sin(math.pi * syllable / 0.6)
        f0 = pitch * (1.0 + 0.08 * math.sin(2 * math.pi * 1.3 * t))
        phase += 2 * math.pi * f0 / RATE
        value = 0.0
        for harmonic in range(1, 12):
            freq = f0 * harmonic
            # Two formants near 700 Hz and 1200 Hz shape the harmonics.
            gain = 1.0 / (1 + ((freq - 700) / 200) ** 2) + 0.6 / (1 + ((freq - 1200) / 250) ** 2)
            value += gain * math.sin(harmonic * phase)
        samples.append(int(max(-1.0, min(1.0, 0.35 * envelope * value)) * 32767))
    with wave.open(out, "wb") as wav:
        wav.setnchannels(1)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        wav.writeframes(struct.pack("<%dh" % len(samples), *samples))


if __name__ == "__main__":
    main()
