#!/usr/bin/env python3
"""Synthesises the client's alert sounds as 8000 Hz mono 16-bit WAV files.

Usage: make_sounds.py OUTPUT_FOLDER
Only the standard library is used, so a fresh machine needs nothing beyond python3.
"""
import math
import os
import struct
import sys
import wave

RATE = 8000


def tone(freqs, seconds, level=0.35, fade=0.01):
    """A sum of sine partials with short fades, so nothing clicks at the ends."""
    n = int(RATE * seconds)
    ramp = max(1, int(RATE * fade))
    out = []
    for i in range(n):
        t = i / RATE
        v = sum(math.sin(2 * math.pi * f * t) for f in freqs) / len(freqs)
        gain = min(1.0, i / ramp, (n - 1 - i) / ramp)
        out.append(v * level * gain)
    return out


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def click():
    # A 12 ms decaying burst: audible, but never in the way of speech.
    n = int(RATE * 0.012)
    return [math.sin(2 * math.pi * 1800 * i / RATE) * 0.5 * math.exp(-i / (n / 4)) for i in range(n)]


def write(folder, name, samples):
    path = os.path.join(folder, name)
    data = b"".join(struct.pack("<h", max(-32768, min(32767, int(round(s * 32767))))) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    # Ring-back in the North American manner (440 + 480 Hz); the silence is part of the file
    # so that looping it gives the familiar cadence.
    write(folder, "phonering.wav", tone([440, 480], 1.0) + silence(2.0))
    write(folder, "hangup.wav", tone([620], 0.15) + silence(0.05) + tone([480], 0.15) + silence(0.05) + tone([360], 0.25))
    write(folder, "click.wav", click())
    write(folder, "buddyin.wav", tone([660], 0.12) + tone([880], 0.18))
    write(folder, "buddyout.wav", tone([880], 0.12) + tone([660], 0.18))
    # Dial-pad keys: two short DTMF-like pairs, alternated by key position.
    write(folder, "1.wav", tone([697, 1209], 0.09))
    write(folder, "2.wav", tone([770, 1336], 0.09))
    return 0


if __name__ == "__main__":
    sys.exit(main())
