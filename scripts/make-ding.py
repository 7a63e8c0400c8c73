#!/usr/bin/env python3
"""Synthesises Corvane's alarm chime: a short bell-like tone, 16-bit PCM mono 22050 Hz.

Usage: scripts/make-ding.py [OUTPUT]   (default: data/ding.WAV beside this script's folder)
The output is deterministic, so the committed file can be checked against this script.
"""
import math
import os
import struct
import sys
import wave

RATE = 22050
SECONDS = 0.45
# (frequency Hz, relative amplitude, decay time constant s): a fundamental with a bright,
# faster-fading upper partial and a slightly inharmonic third, as a small bell has.
PARTIALS = [(880.0, 1.0, 0.16), (1760.0, 0.45, 0.08), (2640.0 * 1.004, 0.2, 0.05)]
PEAK = 0.5 * 32767  # half of full scale: audible, never harsh
ATTACK_S = 0.004    # a few milliseconds of rise avoid a click at the start


def samples():
    n = int(RATE * SECONDS)
    raw = []
    for i in range(n):
        t = i / RATE
        v = sum(a * math.exp(-t / tau) * math.sin(2 * math.pi * f * t) for f, a, tau in PARTIALS)
        v *= min(1.0, t / ATTACK_S)
        # The last 20 ms fade to exact silence, so the sound ends without a click.
        tail = (n - i) / (0.02 * RATE)
        v *= min(1.0, tail)
        raw.append(v)
    scale = PEAK / max(abs(v) for v in raw)
    return [int(round(v * scale)) for v in raw]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "data", "ding.WAV")
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples()))
    print(out)


if __name__ == "__main__":
    main()
