#!/usr/bin/env python3
"""Songs that sound like records, built from separate stems so that the truth is known.

Each song is about 25 s at 44.1 kHz: sampled instruments from the General MIDI soundfont,
rendered by FluidSynth one stem per instrument with the synth's reverb and chorus on, and a
sung lead made by formant synthesis (one pitch per note, scoops, vibrato, changing vowels)
whose stereo reverb (sox) is a stem of its own. Every stem is a 16-bit stereo WAV in a
folder per song, beside song.txt, which names each stem's part and the lead's true pan.

    make_songs.py [--variant N] OUT_DIR [SONG...]
        (bench/real_quality.sh runs it; needs fluidsynth, fluid-soundfont-gm and sox; SONG:
         only those; --variant N, N > 0: the same six kinds of song with other melodies,
         keys and tempi, named vN-..., to check on songs a tuning has not seen)

Deterministic: every random choice comes from a seeded generator, and the tools render the
same bytes for the same input.
"""

import array
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import wave

RATE = 44100
SECONDS = 25.0
FRAMES = int(SECONDS * RATE)
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
TPQ = 480
MIX_PEAK = 0.89  # the mix of every stem peaks 1 dB below full scale

# Formants (Hz) and bandwidths of sung vowels; scaled for a higher voice.
VOWELS = {
    "a": ((730, 1090, 2440, 3400, 4200), (90, 110, 140, 250, 300)),
    "e": ((530, 1840, 2480, 3450, 4200), (70, 100, 150, 250, 300)),
    "i": ((300, 2250, 2950, 3600, 4300), (50, 100, 160, 250, 300)),
    "o": ((570, 840, 2410, 3300, 4100), (80, 90, 140, 250, 300)),
    "u": ((320, 870, 2240, 3300, 4100), (60, 90, 140, 250, 300)),
}

# Reverbs for the lead: sox reverb's reverberance, HF damping, room scale, stereo depth,
# pre-delay (ms), and the wet level against the dry lead (dB).
REVERBS = {
    "plate": ((65, 15, 45, 100, 12), -9.0),
    "room": ((40, 60, 25, 100, 4), -11.0),
    "hall": ((85, 45, 100, 100, 45), -7.0),
}

# The six songs: key (MIDI root), tempo, chord degrees, the lead's gains (left, right), its
# reverb, the voice's register, and what sets the song apart.
SONGS = [
    dict(name="s1-plate-centre", seed=11, root=57, bpm=96, chords=[0, 5, 3, 4], lead=(1.0, 1.0),
         reverb="plate", voice="high", style="ballad"),
    dict(name="s2-room-left", seed=22, root=52, bpm=112, chords=[0, 3, 4, 3], lead=(1.0, 0.85),
         reverb="room", voice="low", style="rock"),
    dict(name="s3-hall-right", seed=33, root=55, bpm=84, chords=[0, 4, 5, 3], lead=(0.8, 1.0),
         reverb="hall", voice="high", style="soul"),
    dict(name="s4-dry-kick-bass", seed=44, root=50, bpm=120, chords=[0, 0, 5, 4],
         lead=(1.0, 1.0), reverb="dry", voice="low", style="dance"),
    dict(name="s5-hall-backing", seed=55, root=60, bpm=100, chords=[0, 4, 5, 3], lead=(1.0, 1.0),
         reverb="hall", voice="high", style="pop", backing=True),
    dict(name="s6-plate-dense", seed=66, root=53, bpm=108, chords=[5, 3, 0, 4], lead=(1.0, 1.0),
         reverb="plate", voice="low", style="rock"),
]

MAJOR = [0, 2, 4, 5, 7, 9, 11]
AIR = 3.5  # the voice's unfiltered source above 2.5 kHz against its formants' output

# Stems folded to the centre after rendering (both channels their mean, as a mix keeps its
# low end), stems whose channels are set level, and stems leant further to one side than the
# soundfont's stereo samples let the pan controller take them (left, right gains).
MONO = ("kick", "bass")
CENTRED = ("snare", "hats")
BALANCE = {"piano": (0.55, 1.0), "guitar": (1.0, 0.7)}


def chord_notes(root, degree):
    """The triad on a scale degree, as MIDI notes from root."""
    return [root + MAJOR[(degree + k) % 7] + 12 * ((degree + k) // 7) for k in (0, 2, 4)]


# ---------------------------------------------------------------------------------------------
# MIDI files


def var_len(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


class Part:
    """Note events of one stem, on one or more channels, in seconds."""

    def __init__(self, bpm):
        self.bpm = bpm
        self.events = []  # (seconds, order, bytes)

    def tick(self, seconds):
        return int(round(seconds * TPQ * self.bpm / 60.0))

    def setup(self, channel, program, pan, reverb, chorus, volume=100):
        if channel != 9:
            self.events.append((0.0, 0, bytes([0xC0 | channel, program])))
        for cc, value in ((7, volume), (10, pan), (91, reverb), (93, chorus)):
            self.events.append((0.0, 0, bytes([0xB0 | channel, cc, value])))

    def note(self, channel, start, length, key, velocity):
        velocity = max(1, min(127, int(velocity)))
        self.events.append((max(0.0, start), 2, bytes([0x90 | channel, key, velocity])))
        self.events.append((max(0.0, start + length), 1, bytes([0x80 | channel, key, 0])))

    def write(self, path):
        tempo = int(60_000_000 / self.bpm)
        track = bytearray(var_len(0) + b"\xff\x51\x03" + tempo.to_bytes(3, "big"))
        last = 0
        for seconds, _, data in sorted(self.events, key=lambda e: (self.tick(e[0]), e[1])):
            at = self.tick(seconds)
            track += var_len(at - last) + data
            last = at
        # A silent controller past the end keeps the synth rendering the reverb's tail.
        end = max(last, self.tick(SECONDS + 1.5))
        track += var_len(end - last) + bytes([0xB0, 110, 0])
        track += var_len(0) + b"\xff\x2f\x00"
        with open(path, "wb") as f:
            f.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, TPQ))
            f.write(b"MTrk" + struct.pack(">I", len(track)) + bytes(track))


# ---------------------------------------------------------------------------------------------
# Audio: stereo float arrays, WAV in and out


def read_raw(path):
    """Raw 32-bit stereo frames as two float arrays of FRAMES frames (cut or padded)."""
    data = array.array("i")
    with open(path, "rb") as f:
        data.frombytes(f.read())
    if sys.byteorder != "little":
        data.byteswap()
    scale = 1.0 / 2147483648.0
    left = array.array("d", (x * scale for x in data[0::2]))
    right = array.array("d", (x * scale for x in data[1::2]))
    for side in (left, right):
        if len(side) < FRAMES:
            side.extend([0.0] * (FRAMES - len(side)))
        del side[FRAMES:]
    return left, right


def write_wav(path, left, right, bits=16):
    full = 32767.0 if bits == 16 else 2147483647.0
    out = array.array("h" if bits == 16 else "i", bytes(2 * len(left) * bits // 8))
    out[0::2] = array.array(out.typecode, (int(round(max(-1.0, min(1.0, x)) * full)) for x in left))
    out[1::2] = array.array(out.typecode,
                            (int(round(max(-1.0, min(1.0, x)) * full)) for x in right))
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(bits // 8)
        w.setframerate(RATE)
        w.writeframes(out.tobytes())


def energy(stereo):
    return sum(x * x for x in stereo[0]) + sum(x * x for x in stereo[1])


def scaled(stereo, gain_l, gain_r=None):
    gain_r = gain_l if gain_r is None else gain_r
    return (array.array("d", (x * gain_l for x in stereo[0])),
            array.array("d", (x * gain_r for x in stereo[1])))


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit("make_songs: %s failed: %s" % (command[0], result.stderr.strip()))


def render(part, tmp, name, reverb_room):
    """A part rendered by FluidSynth with its reverb and chorus, as float stereo."""
    mid = os.path.join(tmp, name + ".mid")
    raw = os.path.join(tmp, name + "-float.wav")
    wav = os.path.join(tmp, name + ".raw")
    part.write(mid)
    run(["fluidsynth", "-ni", "-q", "-R", "1", "-C", "1", "-g", "0.4", "-r", str(RATE),
         "-o", "synth.reverb.room-size=%.2f" % reverb_room, "-o", "synth.reverb.width=1.0",
         "-o", "synth.reverb.level=0.8", "-o", "synth.chorus.level=0.4",
         "-o", "synth.chorus.depth=6", "-T", "wav", "-O", "float", "-F", raw, SOUNDFONT, mid])
    run(["sox", "-D", raw, "-t", "raw", "-b", "32", "-e", "signed-integer", "-L", wav, "vol",
         "0.5"])
    return read_raw(wav)


# ---------------------------------------------------------------------------------------------
# The sung voice


def sing(notes, seed, high, length=FRAMES):
    """A mono voice: notes are (start s, length s, MIDI note, vowels, loudness 0..1).

    A band-limited sawtooth through five formant resonators, with a scoop into each note that
    starts a phrase or leaps, a vibrato that grows as the note is held, a little jitter and
    breath, and the vowel moving from the first to the second of the note's vowels."""
    rng = random.Random(seed)
    f0 = array.array("d", bytes(8 * length))
    amp = array.array("d", bytes(8 * length))
    vowel_at = [None] * length
    scale = 1.17 if high else 1.0
    vibrato_rate = 5.3 + rng.random() * 0.6
    previous_end, previous_note = -1.0, None
    for start, dur, note, vowels, loud in notes:
        s0 = int(start * RATE)
        s1 = min(length, int((start + dur) * RATE))
        legato = previous_note is not None and start - previous_end < 0.05
        scoop = -(0.6 + 1.2 * rng.random()) if not legato or abs(note - previous_note) > 2 else 0
        glide_from = previous_note - note if legato and scoop == 0 else scoop
        glide = 0.06 + 0.05 * rng.random()
        phase = rng.random() * 6.283
        for i in range(s0, s1):
            t = (i - s0) / RATE
            bend = glide_from * math.exp(-t / glide * 2.5)
            depth = 0.35 * min(1.0, max(0.0, (t - 0.22) / 0.3))
            vib = depth * math.sin(2 * math.pi * vibrato_rate * t + phase)
            f0[i] = 440.0 * 2 ** ((note + bend + vib - 69) / 12.0)
            attack = min(1.0, t / 0.035)
            release = min(1.0, (s1 - i) / RATE / 0.06)
            amp[i] = loud * attack * release * (0.85 + 0.15 * min(1.0, t / 0.4))
            move = min(1.0, max(0.0, (t - 0.55 * dur) / 0.12))
            vowel_at[i] = (vowels[0], vowels[-1], move)
        previous_end, previous_note = start + dur, note

    out = array.array("d", bytes(8 * length))
    consonants(out, notes, rng)
    state = [[0.0, 0.0] for _ in range(5)]
    coeffs = [(1.0, 0.0, 0.0)] * 5
    phase = 0.0
    tilt = 0.0
    low_part = 0.0
    jitter = 0.0
    last_f = 220.0
    for i in range(length):
        if i % 64 == 0:
            jitter = 0.97 * jitter + 0.03 * (rng.random() - 0.5) * 0.4
            vowel = vowel_at[i]
            if vowel is not None:
                fa, ba = VOWELS[vowel[0]]
                fb, bb = VOWELS[vowel[1]]
                m = vowel[2]
                new = []
                for k in range(5):
                    f = ((1 - m) * fa[k] + m * fb[k]) * scale
                    bw = (1 - m) * ba[k] + m * bb[k]
                    c = -math.exp(-2 * math.pi * bw / RATE)
                    b = 2 * math.exp(-math.pi * bw / RATE) * math.cos(2 * math.pi * f / RATE)
                    new.append((1 - b - c, b, c))
                coeffs = new
        a = amp[i]
        if a <= 0.0:
            phase = 0.0
            continue
        f = f0[i] * (1.0 + 0.004 * jitter) if f0[i] > 0 else last_f
        last_f = f
        dt = f / RATE
        phase += dt
        if phase >= 1.0:
            phase -= 1.0
        # Band-limited falling sawtooth: the glottal pulse's sharp closure.
        x = 1.0 - 2.0 * phase
        if phase < dt:
            p = phase / dt
            x += p + p - p * p - 1.0
        elif phase > 1.0 - dt:
            p = (phase - 1.0) / dt
            x += p * p + p + p + 1.0
        x += (rng.random() - 0.5) * (0.25 if phase < 0.5 else 0.08)
        tilt += 0.45 * (x - tilt)
        x = tilt * a
        # The source above about 2.5 kHz, passed round the formants: the higher resonances,
        # breath and radiation that give a voice its air up to the top octaves.
        low_part += 0.3 * (x - low_part)
        air = x - low_part
        for k in range(5):
            g, b, c = coeffs[k]
            st = state[k]
            y = g * x + b * st[0] + c * st[1]
            st[1] = st[0]
            st[0] = y
            x = y
        out[i] += x + AIR * air
    return out


def consonants(out, notes, rng):
    """Sibilants and plosives before some notes: noise bursts of 30-110 ms, high and bright,
    so the voice reaches the top octaves as a singer's does."""
    for start, _, _, _, loud in notes:
        if rng.random() > 0.45:
            continue
        length = int((0.03 + 0.08 * rng.random()) * RATE)
        s0 = max(0, int(start * RATE) - length // 2)
        centre = rng.choice([3500, 5000, 6500, 8000])
        c = -math.exp(-2 * math.pi * 3000 / RATE)
        b = 2 * math.exp(-math.pi * 3000 / RATE) * math.cos(2 * math.pi * centre / RATE)
        y1 = y2 = 0.0
        level = 0.25 * loud
        for k in range(length):
            if s0 + k >= len(out):
                break
            env = math.sin(math.pi * k / length) ** 2
            y = (rng.random() - 0.5) + b * y1 + c * y2
            y2, y1 = y1, y
            out[s0 + k] += level * env * (y - y2) * 0.3


def melody(song, rng, beat, bars, low):
    """The lead's notes: two-bar phrases over the chords, with rests between them."""
    # Degrees 1 .. 9 of the key from a base near E2 (low voice) or E3 (high voice).
    base = 40 if low else 52
    root = base + (song["root"] - base) % 12
    vowel_names = "aeiou"
    notes = []
    patterns = [[1, 0.5, 0.5, 1, 1, 2, 1], [0.5, 0.5, 1, 1.5, 0.5, 2, 1],
                [1.5, 0.5, 1, 1, 1, 1.5, 0.5], [2, 1, 1, 0.5, 0.5, 1, 1]]
    bar = 4 * beat
    t0 = 1 * bar
    for phrase in range(0, bars - 1, 2):
        start = t0 + phrase * bar
        if start > SECONDS - 2 * bar:
            break
        pattern = patterns[rng.randrange(len(patterns))]
        t = start + (0.5 * beat if rng.random() < 0.5 else 0)
        degree = rng.randrange(2, 7)
        for length_beats in pattern[:-1]:
            chord = song["chords"][int(t / bar) % len(song["chords"])]
            step = rng.choice([-2, -1, -1, 0, 1, 1, 2, 3])
            degree = max(1, min(9, degree + step))
            if rng.random() < 0.5:  # lean toward the chord's notes
                degree = min([d for d in (chord, chord + 2, chord + 4, chord + 7) if 1 <= d <= 9]
                             or [degree], key=lambda d: abs(d - degree))
            note = root + MAJOR[degree % 7] + 12 * (degree // 7)
            dur = length_beats * beat
            if t + dur > start + 2 * bar - 0.5 * beat:
                break
            vowels = rng.choice(vowel_names) + (rng.choice(vowel_names) if dur > beat else "")
            gap = 0.02 if rng.random() < 0.7 else 0.12
            notes.append((t, dur - gap, note, vowels, 0.75 + 0.25 * rng.random()))
            t += dur
    return notes


def backing(song, rng, beat, bars):
    """Two backing voices holding chord notes on "oo" and "ah", bar by bar."""
    upper, lower = [], []
    bar = 4 * beat
    for b in range(2, bars):
        t = b * bar
        if t + bar > SECONDS - 0.5:
            break
        chord = chord_notes(song["root"], song["chords"][b % len(song["chords"])])
        vowels = "u" if (b // 2) % 2 == 0 else "ao"
        upper.append((t + 0.03, bar - 0.15, chord[2], vowels, 0.8))
        lower.append((t, bar - 0.12, chord[1], vowels, 0.8))
    return upper, lower


def reverb(tmp, dry, kind):
    """The stereo reverb (wet only) of a mono voice."""
    params, _ = REVERBS[kind]
    dry_path = os.path.join(tmp, "dry.wav")
    wet_path = os.path.join(tmp, "wet.raw")
    write_wav(dry_path, dry, dry, bits=32)
    run(["sox", "-D", dry_path, "-t", "raw", "-b", "32", "-e", "signed-integer", "-L", wet_path,
         "reverb", "-w"] + [str(p) for p in params])
    return read_raw(wet_path)


# ---------------------------------------------------------------------------------------------
# The instruments


def humanise(rng, ms=6):
    return (rng.random() - 0.5) * 2 * ms / 1000.0


def drums(song, rng, beat, bars):
    """Kick, snare and hats, each a stem, centred."""
    style = song["style"]
    kick, snare, hats = Part(song["bpm"]), Part(song["bpm"]), Part(song["bpm"])
    for part, rev in ((kick, 25), (snare, 70), (hats, 45)):
        part.setup(9, 0, 64, rev, 0)
    bar = 4 * beat
    for b in range(bars):
        t = b * bar
        fill = b % 4 == 3
        if style == "dance":
            kicks = [0, 1, 2, 3]
        elif style == "ballad":
            kicks = [0, 2.5]
        else:
            kicks = [0, 1.5, 2] if b % 2 else [0, 2, 2.75]
        for k in kicks:
            kick.note(9, t + k * beat + humanise(rng, 2), 0.2, 36, 112 + rng.randrange(12))
        for s in (1, 3):
            snare.note(9, t + s * beat + humanise(rng, 4), 0.2, 39 if style == "dance" else 38,
                       100 + rng.randrange(20))
        if fill:
            for s in (3.5, 3.75):
                snare.note(9, t + s * beat, 0.1, 38, 70 + rng.randrange(25))
        step = 0.25 if style in ("dance", "soul") else 0.5
        for k in range(int(4 / step)):
            key = 46 if (style == "rock" and k == int(4 / step) - 1) else 42
            accent = 95 if (k * step) % 1 == 0 else 70
            hats.note(9, t + k * step * beat + humanise(rng, 5), 0.1, key,
                      accent + rng.randrange(15))
        if b % 4 == 0 and b > 0:
            hats.note(9, t, 1.5, 49, 100)
    return [("kick", kick), ("snare", snare), ("hats", hats)]


def bass_part(song, rng, beat, bars):
    part = Part(song["bpm"])
    program = {"dance": 38, "rock": 34, "soul": 33, "ballad": 33, "pop": 33}[song["style"]]
    part.setup(0, program, 64, 15, 0, volume=110)
    bar = 4 * beat
    for b in range(bars):
        chord = chord_notes(song["root"] - 24, song["chords"][b % len(song["chords"])])
        pattern = {"dance": [(0.5, 0.45), (1.5, 0.45), (2.5, 0.45), (3.5, 0.45)],
                   "ballad": [(0, 1.9), (2.5, 1.4)],
                   "soul": [(0, 0.9), (1.5, 0.4), (2, 0.9), (3, 0.4), (3.5, 0.4)]}.get(
                       song["style"], [(0, 0.45), (0.5, 0.45), (1, 0.45), (1.5, 0.45),
                                       (2, 0.45), (2.5, 0.45), (3, 0.45), (3.5, 0.45)])
        for k, (at, length) in enumerate(pattern):
            note = chord[0] + (7 if song["style"] == "soul" and k == 3 else 0)
            part.note(0, b * bar + at * beat + humanise(rng, 4), length * beat, note,
                      100 + rng.randrange(20))
    return part


def comp(song, rng, beat, bars, program, channel_pans, octave, rhythm, reverb_send, chorus,
         spread=0.0, velocity=80):
    """Chords on one or two channels; a second channel plays the same part a little apart
    (timing, velocity and voicing), as a doubled take panned to the other side."""
    part = Part(song["bpm"])
    for ch, (pan, prog) in enumerate(channel_pans):
        part.setup(ch, prog if prog is not None else program, pan, reverb_send, chorus)
    bar = 4 * beat
    for b in range(bars):
        chord = chord_notes(song["root"] + 12 * octave, song["chords"][b % len(song["chords"])])
        for at, length in rhythm:
            for ch in range(len(channel_pans)):
                offset = humanise(rng, 4) + (ch * spread * rng.random())
                voicing = chord if ch == 0 else [chord[0] + 12, chord[1], chord[2]]
                for k, note in enumerate(voicing):
                    part.note(ch, b * bar + at * beat + offset + k * 0.008, length * beat, note,
                              velocity + rng.randrange(-10, 11))
    return part


def arrangement(song, rng, beat, bars):
    """Every instrument stem of a song: (name, Part, reverb room size, level dB)."""
    style = song["style"]
    stems = [(name, part, 0.5, level) for (name, part), level in
             zip(drums(song, rng, beat, bars), (-14, -17, -22))]
    stems.append(("bass", bass_part(song, rng, beat, bars), 0.4, -14))
    eighths = [(k * 0.5, 0.45) for k in range(8)]
    if style in ("rock", "pop", "dance"):
        stems.append(("guitars", comp(song, rng, beat, bars, 29 if style == "rock" else 27,
                                      [(0, None), (127, 30 if style == "rock" else 28)], -1,
                                      eighths, 30, 20, spread=0.018, velocity=85), 0.5, -17))
    else:
        stems.append(("guitar", comp(song, rng, beat, bars, 25, [(30, None)], 0,
                                     [(0, 0.9), (1.5, 0.4), (2, 0.9), (3, 0.9)], 50, 30),
                      0.5, -22))
    stems.append(("piano", comp(song, rng, beat, bars, 4 if style == "soul" else 0,
                                [(92 if style != "dance" else 40, None)], 0,
                                [(0, 1.8), (2, 1.8)] if style in ("ballad", "soul")
                                else [(0, 0.4), (1.5, 0.4), (2.5, 0.4)], 60, 10), 0.6, -21))
    stems.append(("strings", comp(song, rng, beat, bars, 48, [(20, None), (108, 49)], 0,
                                  [(0, 3.9)], 80, 40, spread=0.02, velocity=70), 0.8, -21))
    stems.append(("pad", comp(song, rng, beat, bars, 89 if style != "dance" else 88,
                              [(52, None)], -1, [(0, 3.95)], 70, 90, velocity=60), 0.8, -25))
    if style in ("soul", "pop", "rock"):
        stems.append(("brass", comp(song, rng, beat, bars, 61, [(100, None)], 0,
                                    [(1.5, 0.3), (3.5, 0.4)], 50, 0, velocity=90), 0.5, -23))
    if style == "dance":
        stems.append(("lead-synth", comp(song, rng, beat, bars, 81, [(10, None), (118, 80)], 1,
                                         [(0.75, 0.2), (2.75, 0.2)], 50, 40, spread=0.012),
                      0.6, -25))
    return stems


def set_level(stereo, db):
    gain = math.sqrt((10 ** (db / 10.0)) * 2 * FRAMES / max(energy(stereo), 1e-20))
    return scaled(stereo, gain)


def make_song(song, out_dir):
    rng = random.Random(song["seed"])
    folder = os.path.join(out_dir, song["name"])
    tmp = os.path.join(folder, "tmp")
    os.makedirs(tmp, exist_ok=True)
    beat = 60.0 / song["bpm"]
    bars = int(math.ceil(SECONDS / (4 * beat)))
    stems = []  # (file name, part, stereo)
    for name, part, room, level in arrangement(song, rng, beat, bars):
        if song["style"] == "dance" and name in ("kick", "bass"):
            level += 6  # the loud centred kick and bass
        stereo = render(part, tmp, name, room)
        if name in MONO:
            mid = array.array("d", ((x + y) / 2 for x, y in zip(*stereo)))
            stereo = (mid, array.array("d", mid))
        elif name in BALANCE:
            stereo = scaled(stereo, *BALANCE[name])
        elif name in CENTRED:  # the kit's own pans set level, left and right alike
            stereo = scaled(stereo, 1.0, math.sqrt(energy((stereo[0], stereo[0])) /
                                                  max(energy((stereo[1], stereo[1])), 1e-20)))
        stems.append((name + ".wav", "instrument", set_level(stereo, level)))

    low = song["voice"] == "low"
    dry = sing(melody(song, rng, beat, bars, low), song["seed"] + 1, not low)
    gain_l, gain_r = song["lead"]
    lead = set_level(scaled((dry, dry), gain_l, gain_r), -12.0)
    stems.append(("vocal-lead.wav", "lead", lead))
    if song["reverb"] != "dry":
        wet = reverb(tmp, lead[0] if gain_l >= gain_r else lead[1], song["reverb"])
        wet_db = 10 * math.log10(energy(lead) / (2 * FRAMES)) + REVERBS[song["reverb"]][1]
        stems.append(("vocal-reverb.wav", "reverb", set_level(wet, wet_db)))
    if song.get("backing"):
        upper, lower = backing(song, rng, beat, bars)
        a = sing(upper, song["seed"] + 2, True)
        b = sing(lower, song["seed"] + 3, True)
        wide = (array.array("d", (x + 0.25 * y for x, y in zip(a, b))),
                array.array("d", (0.25 * x + y for x, y in zip(a, b))))
        wet = reverb(tmp, array.array("d", (x + y for x, y in zip(a, b))), "hall")
        both = (array.array("d", (x + 0.3 * y for x, y in zip(wide[0], wet[0]))),
                array.array("d", (x + 0.3 * y for x, y in zip(wide[1], wet[1]))))
        stems.append(("vocal-backing.wav", "backing", set_level(both, -22.0)))

    # One gain for every stem: the mix peaks just below full scale.
    peak = 0.0
    for side in (0, 1):
        mix = array.array("d", bytes(8 * FRAMES))
        for stem in stems:
            mix = array.array("d", (x + y for x, y in zip(mix, stem[2][side])))
        peak = max(peak, max(mix), -min(mix))
    gain = MIX_PEAK / peak
    for file_name, _, stereo in stems:
        write_wav(os.path.join(folder, file_name), *scaled(stereo, gain))
    # Written last: a folder with song.txt holds every stem it names.
    with open(os.path.join(folder, "song.txt"), "w") as info:
        info.write("# %s: stems of one song; the lead's true gains left and right\n"
                   % song["name"])
        info.write("lead-gains %.4f %.4f\n" % song["lead"])
        info.write("reverb %s\n" % song["reverb"])
        for file_name, role, _ in stems:
            info.write("stem %s %s\n" % (role, file_name))
    shutil.rmtree(tmp)


def variant(song, number):
    """The song's arrangement played anew: other seeds (melody, timing, velocities), another
    key and tempo; the lead's pan, reverb and the song's kind stay."""
    if number == 0:
        return song
    rng = random.Random(1000 * number + song["seed"])
    other = dict(song)
    other["name"] = "v%d-%s" % (number, song["name"])
    other["seed"] = song["seed"] + 1000 * number
    other["root"] = song["root"] + rng.randrange(-4, 5)
    other["bpm"] = song["bpm"] + rng.randrange(-10, 11)
    other["chords"] = rng.choice([[0, 5, 3, 4], [0, 3, 4, 3], [5, 3, 0, 4], [0, 4, 5, 3]])
    return other


def main():
    args = sys.argv[1:]
    number = 0
    if len(args) >= 2 and args[0] == "--variant":
        number = int(args[1])
        args = args[2:]
    if not args:
        sys.exit("usage: make_songs.py [--variant N] OUT_DIR [SONG...]")
    out_dir = args[0]
    for tool in ("fluidsynth", "sox"):
        if shutil.which(tool) is None:
            sys.exit("make_songs: %s is not installed" % tool)
    if not os.path.exists(SOUNDFONT):
        sys.exit("make_songs: %s is missing (fluid-soundfont-gm)" % SOUNDFONT)
    names = args[1:] or None
    for song in SONGS:
        if names and song["name"] not in names:
            continue
        song = variant(song, number)
        make_song(song, out_dir)
        print("made %s" % os.path.join(out_dir, song["name"]), flush=True)


if __name__ == "__main__":
    main()
