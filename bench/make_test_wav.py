#!/usr/bin/env python3
"""Writes a deterministic 44.1 kHz 16-bit stereo test file: two tones per channel, a tone
common to both (what vocal removal takes out) and noise.

Usage: make_test_wav.py OUTPUT SECONDS
"""
import math
import random
import struct
import sys

path, seconds = sys.argv[1], float(sys.argv[2])
rate = 44100
rnd = random.Random(7)
frames = bytearray()
for i in range(int(rate * seconds)):
    t = i / rate
    common = 4000 * math.sin(2 * math.pi * 1500 * t)
    left = 9000 * math.sin(2 * math.pi * 220 * t) + common + rnd.randint(-800, 800)
    right = 8000 * math.sin(2 * math.pi * 330 * t) + common + rnd.randint(-800, 800)
    frames += struct.pack('<hh', int(left), int(right))
header = (b'RIFF' + struct.pack('<I', 36 + len(frames)) + b'WAVEfmt ' +
          struct.pack('<IHHIIHH', 16, 1, 2, rate, rate * 4, 4, 16) +
          b'data' + struct.pack('<I', len(frames)))
with open(path, 'wb') as out:
    out.write(header + frames)
