#!/usr/bin/env python3
"""Synthesises the Fixit Guide's test sounds: test.wav, a two-note chime (8-bit mono,
11025 samples/s), and test.mid, a short rising tune for the General MIDI piano."""
import math
import struct
import wave

RATE = 11025


def chime():
    frames = bytearray()
    notes = [(659.25, 0.0), (987.77, 0.45)]  # E5 then B5
    length = int(RATE * 1.6)
    for n in range(length):
        t = n / RATE
        v = 0.0
        for freq, start in notes:
            if t >= start:
                u = t - start
                env = math.exp(-3.2 * u) * min(1.0, u * 200)
                v += env * (math.sin(2 * math.pi * freq * u)
                            + 0.3 * math.sin(4 * math.pi * freq * u))
        frames.append(max(0, min(255, int(128 + 80 * v))))
    with wave.open("test.wav", "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


def var(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def tune():
    events = bytearray()
    events += var(0) + bytes([0xC0, 0])  # piano
    for note in [60, 64, 67, 72, 67, 72]:
        events += var(0) + bytes([0x90, note, 90])
        events += var(192) + bytes([0x80, note, 0])
    events += var(0) + bytes([0xFF, 0x2F, 0])
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 384)
    track = b"MTrk" + struct.pack(">I", len(events)) + bytes(events)
    with open("test.mid", "wb") as f:
        f.write(header + track)


chime()
tune()
