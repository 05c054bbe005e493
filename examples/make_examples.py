#!/usr/bin/env python3
"""Writes the generated example patches and the small input sound file.

Run from anywhere: python3 examples/make_examples.py
"""
import json
import math
import os
import random
import struct
import wave

HERE = os.path.dirname(os.path.abspath(__file__))


def square_events(pin, level, half_period, start, end):
    """A square wave made of timed constant changes on an unconnected input."""
    events, s, sign = [], start, 1
    while s < end:
        events.append({"sample": s, "pin": pin, "value": sign * level})
        s += half_period
        sign = -sign
    return events


def write(name, patch):
    with open(os.path.join(HERE, name), "w") as f:
        json.dump(patch, f, indent=2)
        f.write("\n")


# Derivator: a slow square wave becomes single-sample clicks at its edges.
write("derivator_clicks.json", {
    "description": "A 4 Hz square wave of +-0.25 into a Derivator: one click per edge.",
    "sample_rate": 48000, "block_size": 64, "duration": 2.0,
    "instances": {"diff": "Derivator"},
    "events": square_events("diff.Signal", 0.25, 6000, 0, 96000),
    "outputs": ["diff.Out"],
})

# Integrator and DC blocker: a square wave integrates into a triangle; the
# blocker removes the triangle's offset.
write("integrator_triangle.json", {
    "description": "A 110 Hz square wave integrated (c = 1) into a triangle, then centred by a DC blocker.",
    "sample_rate": 48000, "block_size": 64, "duration": 1.0,
    "instances": {
        "integ": {"module": "Integrator", "values": {"Coefficient": 1.0}},
        "dc": {"module": "DC_Blocker", "values": {"R": 0.999}},
    },
    "wires": [{"from": "integ.Out", "to": "dc.Signal"}],
    "events": square_events("integ.Signal", 0.004, 218, 0, 48000 - 218 * 20) +
              [{"sample": 48000 - 218 * 20, "pin": "integ.Signal", "value": 0.0}],
    "outputs": ["integ.Out", "dc.Out"],
})

# A noisy hum riding on a DC offset, for the file-source example.
rate, frames = 48000, 24000
rng = random.Random(7)
with wave.open(os.path.join(HERE, "audio", "offset_hum.wav"), "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    data = bytearray()
    for i in range(frames):
        v = 0.4 + 0.3 * math.sin(2 * math.pi * 110 * i / rate) + 0.05 * (rng.random() - 0.5)
        data += struct.pack("<h", int(max(-1.0, min(1.0, v)) * 32767))
    w.writeframes(bytes(data))
