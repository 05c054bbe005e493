#!/usr/bin/env python3
"""Writes scope2_lissajous.wav: 60 Hz on the left, 90 Hz on the right, a
quarter turn of the 90 Hz wave apart: one frame of a 30 Hz display holds exactly one pass
of the closed 2:3 figure, so the phosphor trace shows it whole."""
import math
import os
import struct
import wave

RATE, SECONDS = 48000, 0.25
path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "scope2_lissajous.wav")
with wave.open(path, "wb") as w:
    w.setnchannels(2)
    w.setsampwidth(2)
    w.setframerate(RATE)
    frames = bytearray()
    for n in range(int(RATE * SECONDS)):
        t = n / RATE
        x = 0.8 * math.sin(2 * math.pi * 60 * t)
        y = 0.8 * math.sin(2 * math.pi * 90 * t + math.pi / 2)
        frames += struct.pack("<hh", round(x * 32767), round(y * 32767))
    w.writeframes(bytes(frames))
