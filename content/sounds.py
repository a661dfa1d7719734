#!/usr/bin/env python3
"""Synthesises the game's sound effects and its music as WAV files.

Usage: python3 content/sounds.py OUTDIR
Writes OUTDIR/{bell,menu,cash,freehat,window,footsteps,inflate}.wav (mono) and
OUTDIR/Brisklane.wav (stereo), each at its level (see EFFECTS below).
build.sh adds the "hey!" voice, levels it with
    python3 content/sounds.py --level-hey IN.wav OUT.wav
and encodes everything to MP3.  Plain Python only (no numpy), with a fixed random seed so
that every run gives the same files.
"""
import array
import collections
import math
import os
import random
import sys
import wave

RATE = 44100
TAU = 2 * math.pi
rng = random.Random(1234)


# ------------------------------------------------------------------ helpers
def buf(seconds):
    return array.array("d", bytes(8 * int(seconds * RATE)))


def add(dst, src, at=0, gain=1.0):
    n = min(len(src), len(dst) - at)
    for i in range(max(0, n)):
        dst[at + i] += src[i] * gain


def tone(freq, seconds, partials=((1, 1.0),), attack=0.005, decay=None, sustain_to=None, vibrato=0.0, sweep_to=None):
    """A sum of sine partials with an exponential decay (decay = time constant in s)."""
    n = int(seconds * RATE)
    out = array.array("d", bytes(8 * n))
    phase = [0.0] * len(partials)
    for i in range(n):
        t = i / RATE
        f = freq if sweep_to is None else freq * (sweep_to / freq) ** (t / seconds)
        if vibrato:
            f *= 1 + vibrato * math.sin(TAU * 5.5 * t)
        env = min(1.0, t / attack) if attack > 0 else 1.0
        if decay:
            env *= math.exp(-t / decay)
        s = 0.0
        for k, (mult, amp) in enumerate(partials):
            phase[k] += TAU * f * mult / RATE
            s += amp * math.sin(phase[k])
        out[i] = s * env
    # a short fade at the end avoids a click
    fade = min(n, int(0.004 * RATE))
    for i in range(fade):
        out[n - 1 - i] *= i / fade
    return out


def noise(seconds, decay=None, attack=0.001):
    n = int(seconds * RATE)
    out = array.array("d", bytes(8 * n))
    for i in range(n):
        t = i / RATE
        env = min(1.0, t / attack) if attack > 0 else 1.0
        if decay:
            env *= math.exp(-t / decay)
        out[i] = (rng.random() * 2 - 1) * env
    return out


def lowpass(x, cutoff):
    a = 1 - math.exp(-TAU * cutoff / RATE)
    y = array.array("d", x)
    s = 0.0
    for i in range(len(x)):
        s += a * (x[i] - s)
        y[i] = s
    return y


def highpass(x, cutoff):
    lp = lowpass(x, cutoff)
    return array.array("d", (a - b for a, b in zip(x, lp)))


def bandpass(x, lo, hi):
    return lowpass(highpass(x, lo), hi)


def write_wav(path, channels):
    n = len(channels[0])
    data = array.array("h", bytes(2 * n * len(channels)))
    for i in range(n):
        for c, ch in enumerate(channels):
            v = max(-1.0, min(1.0, ch[i]))
            data[i * len(channels) + c] = int(round(v * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data.tobytes())


# ------------------------------------------------------------------ effects
def bell():
    """A shop-door bell: two bright strikes of an inharmonic bell."""
    out = buf(1.4)
    partials = ((1, 1.0), (2.76, 0.45), (5.40, 0.25), (8.93, 0.12))
    for at, f in ((0.0, 1318.5), (0.16, 1568.0)):
        add(out, tone(f, 1.2, partials, attack=0.002, decay=0.35), int(at * RATE))
    return out


def menu():
    """A soft click."""
    out = buf(0.08)
    add(out, bandpass(noise(0.03, decay=0.004), 800, 4000), 0, 0.8)
    add(out, tone(1800, 0.04, decay=0.008), 0, 0.5)
    return out


def cash():
    """A register: the drawer's clunk, then the ching."""
    out = buf(1.1)
    add(out, lowpass(noise(0.08, decay=0.02), 1800), 0, 0.9)
    add(out, tone(110, 0.12, decay=0.03), 0, 0.6)
    add(out, bandpass(noise(0.05, decay=0.01), 2000, 6000), int(0.09 * RATE), 0.5)
    partials = ((1, 1.0), (2.0, 0.5), (3.0, 0.3), (4.2, 0.2))
    add(out, tone(2093, 0.9, partials, attack=0.002, decay=0.22), int(0.12 * RATE), 0.8)
    add(out, tone(2637, 0.85, partials, attack=0.002, decay=0.2), int(0.17 * RATE), 0.7)
    return out


def freehat():
    """A pop, then a happy upward blip."""
    out = buf(0.4)
    add(out, bandpass(noise(0.03, decay=0.006), 300, 3000), 0, 1.0)
    add(out, tone(600, 0.05, sweep_to=200, decay=0.02), 0, 0.8)
    add(out, tone(500, 0.22, partials=((1, 1), (2, 0.3)), sweep_to=1400, decay=0.09, attack=0.004),
        int(0.035 * RATE), 0.7)
    return out


def window():
    """A sparkle: a quick rising arpeggio of glassy pings with shimmer."""
    out = buf(1.3)
    notes = (1046.5, 1318.5, 1568.0, 2093.0, 2637.0, 3136.0)
    partials = ((1, 1.0), (3.01, 0.18), (5.2, 0.06))
    for i, f in enumerate(notes):
        add(out, tone(f, 0.8, partials, attack=0.002, decay=0.18), int(i * 0.06 * RATE), 0.55)
    for i in range(14):
        at = 0.25 + rng.random() * 0.7
        f = rng.choice(notes[2:]) * 2
        add(out, tone(f, 0.25, attack=0.002, decay=0.05), int(at * RATE), 0.12)
    return out


def footsteps():
    """Four steps of hard soles on the pavement, 1.6 s in all: a bright click
    of the heel (most of it between 2 and 5 kHz, where the music leaves room),
    a lighter tap of the toe and the scuff of the sole rolling off."""
    out = buf(1.6)
    for i in range(4):
        at = 0.04 + i * 0.42 + (0.01 if i % 2 else 0.0)
        heel = bandpass(bandpass(noise(0.05, decay=0.007), 2500, 4500), 2500, 4500)
        add(out, heel, int(at * RATE), 1.0 if i % 2 else 0.85)
        add(out, lowpass(noise(0.06, decay=0.012), 700), int(at * RATE), 0.2)
        toe = bandpass(bandpass(noise(0.03, decay=0.005), 3000, 5000), 3000, 5000)
        add(out, toe, int((at + 0.07) * RATE), 0.5)
        add(out, bandpass(noise(0.07, decay=0.02, attack=0.01), 2000, 4000), int((at + 0.1) * RATE), 0.12)
    return out


def inflate():
    """A balloon filling: three puffs of air with a rising rubbery squeak."""
    out = buf(1.3)
    for k in range(3):
        at = k * 0.4
        hiss = bandpass(noise(0.34, attack=0.06), 800 + 500 * k, 5000)
        env = [math.sin(math.pi * i / len(hiss)) for i in range(len(hiss))]
        add(out, array.array("d", (h * e for h, e in zip(hiss, env))), int(at * RATE), 0.6)
        add(out, tone(220 + 90 * k, 0.32, partials=((1, 1), (2, 0.4), (3, 0.2)), attack=0.05,
                      sweep_to=330 + 120 * k, vibrato=0.02), int(at * RATE), 0.35)
    return out


# ------------------------------------------------------------------ levels
def level(x, gain_db, ceiling_db):
    """An effect raised by gain_db, with its peaks held under ceiling_db (dBFS):
    copies of effects add up sample for sample when they start together, so
    their peaks are kept low."""
    g = 10 ** (gain_db / 20)
    x = array.array("d", (v * g for v in x))
    limit(x, array.array("d", x), 10 ** (ceiling_db / 20))
    return x


def read_wav(path):
    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2 and w.getnchannels() == 1 and w.getframerate() == RATE, path
        data = array.array("h", w.readframes(w.getnframes()))
    return array.array("d", (v / 32768 for v in data))


# ------------------------------------------------------------------ music
BPM = 126
BEAT = 60 * RATE // BPM          # 21000 samples: a whole number, so the loop is exact
BAR = 4 * BEAT

NOTE = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
        "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11}
QUALITY = {"": (0, 4, 7), "m": (0, 3, 7), "7": (0, 4, 7, 10), "maj7": (0, 4, 7, 11), "m7": (0, 3, 7, 10)}


def midi(name):
    """'C4' -> 60."""
    return 12 * (int(name[-1]) + 1) + NOTE[name[:-1]]


def freq(m):
    return 440.0 * 2 ** ((m - 69) / 12)


def chord(name, shift=0):
    """'Am' -> (bass root, chord tones) as MIDI numbers, moved up shift semitones."""
    root = name[1:2] in ("#", "b") and name[:2] or name[:1]
    r = (NOTE[root] + shift) % 12
    base = 52 + (r - 52) % 12          # chord tones from E3 up
    return 33 + (r - 33) % 12, tuple(base + q for q in QUALITY[name[len(root):]])


def phrase(bars):
    """Melody as (beat in the section, length in beats, MIDI note) from bars of
    (length, note name or None for a rest)."""
    out = []
    for bar, notes in enumerate(bars):
        t = 0.0
        for length, n in notes:
            if n:
                out.append((bar * 4 + t, length, midi(n)))
            t += length
    return out


# The tune: eight bars over C Am F G, heard five times in five dresses.
MEL_A = phrase([
    [(1, "E5"), (0.5, "G5"), (0.5, "E5"), (1, "D5"), (1, "C5")],
    [(1, "E5"), (0.5, "C5"), (0.5, "E5"), (2, "A4")],
    [(1, "F5"), (0.5, "A5"), (0.5, "F5"), (1, "E5"), (1, "C5")],
    [(1.5, "D5"), (0.5, "B4"), (1, "G4"), (1, None)],
    [(1, "E5"), (0.5, "G5"), (0.5, "E5"), (1, "D5"), (1, "C5")],
    [(0.5, "C5"), (0.5, "D5"), (1, "E5"), (1, "A5"), (1, "G5")],
    [(1, "F5"), (0.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "A4")],
    [(1.5, "B4"), (0.5, "C5"), (2, "D5")],
])
MEL_A2 = [n for n in MEL_A if n[0] < 24] + [(b + 24, l, n) for b, l, n in phrase([
    [(1, "F5"), (0.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "A4")],
    [(0.5, "B4"), (0.5, "D5"), (0.5, "G5"), (0.5, "F5"), (1, "D5"), (1, "B4")],
])]
# an answer above the tune when the marimba has it
COUNTER_A = phrase([
    [(2, "G5"), (2, "E5")], [(2, "E5"), (2, "C5")], [(2, "A5"), (2, "F5")], [(4, "G5")],
    [(1, "C6"), (1, "B5"), (2, "G5")], [(2, "A5"), (2, "E5")], [(2, "F5"), (2, "A5")], [(3, "B5"), (1, None)],
])
MEL_B = phrase([
    [(0.5, "A4"), (0.5, "C5"), (1, "F5"), (1, "E5"), (1, "C5")],
    [(0.5, "B4"), (0.5, "D5"), (1, "G5"), (1, "F5"), (1, "D5")],
    [(1, "E5"), (0.5, "G5"), (0.5, "B5"), (1, "G5"), (1, "E5")],
    [(1, "C5"), (0.5, "E5"), (0.5, "A5"), (2, "E5")],
    [(0.5, "D5"), (0.5, "F5"), (1, "A5"), (1, "F5"), (1, "D5")],
    [(0.5, "B4"), (0.5, "D5"), (1, "G5"), (1, "B5"), (1, "A5")],
    [(1.5, "G5"), (0.5, "E5"), (1, "C5"), (1, "E5")],
    [(1, "G#4"), (0.5, "B4"), (0.5, "E5"), (1, "G#5"), (1, "B5")],
])
MEL_C = phrase([
    [(2, "A5"), (1, "E5"), (1, "C5")],
    [(2, "F5"), (1, "C5"), (1, "A4")],
    [(1, "G5"), (0.5, "E5"), (0.5, "C5"), (1, "E5"), (1, "G5")],
    [(3, "D5"), (1, None)],
    [(2, "C6"), (1, "A5"), (1, "E5")],
    [(2, "A5"), (1, "F5"), (1, "C5")],
    [(1, "D5"), (0.5, "F5"), (0.5, "A5"), (1, "F5"), (1, "D5")],
    [(1, "B4"), (0.5, "D5"), (0.5, "F5"), (1, "G5"), (1, "B4")],
])
# the quiet middle: a slower song in A minor, then its answer
MEL_D = phrase([
    [(1, "A4"), (1, "C5"), (1.5, "E5"), (0.5, "D5")],
    [(3, "C5"), (1, "A4")],
    [(1, "G4"), (1, "C5"), (1.5, "E5"), (0.5, "G5")],
    [(3, "D5"), (1, None)],
    [(1, "F5"), (1, "E5"), (1, "D5"), (1, "A4")],
    [(1.5, "C5"), (0.5, "B4"), (2, "A4")],
    [(1, "A4"), (1, "C5"), (1, "F5"), (1, "E5")],
    [(2, "E5"), (1, "D5"), (1, "B4")],
])
MEL_D2 = phrase([
    [(1.5, "E5"), (0.5, "A5"), (1, "G5"), (1, "E5")],
    [(2, "F5"), (1, "E5"), (1, "C5")],
    [(1.5, "E5"), (0.5, "G5"), (1, "C6"), (1, "B5")],
    [(2, "B5"), (1, "A5"), (1, "G5")],
    [(1, "A5"), (1, "F5"), (1, "D5"), (1, "F5")],
    [(1.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "E5")],
    [(1, "D5"), (1, "C5"), (1, "A4"), (1, "C5")],
    [(3, "B4"), (1, "G#4")],
])
INTRO_MEL = phrase([[(4, None)], [(4, None)], [(1, "E5"), (0.5, "G5"), (0.5, "E5"), (2, "D5")], [(3, "B4"), (1, "D5")]])
OUTRO_MEL = phrase([[(1, "F5"), (0.5, "E5"), (0.5, "D5"), (1, "C5"), (1, "A4")],
                    [(1.5, "B4"), (0.5, "C5"), (2, "D5")], [(4, "C5")], [(2, None), (2, "G4")]])


def busier(notes):
    """The tune with its longer notes broken up: a one-beat note becomes a
    dotted eighth and a sixteenth that steps up to the next scale tone."""
    out = []
    for beat, length, n in notes:
        if length == 1:
            out += [(beat, 0.75, n), (beat + 0.75, 0.25, n + (1 if n % 12 in (4, 11) else 2))]
        else:
            out.append((beat, length, n))
    return out


def solo(chords, seed):
    """An improvised line: eighths and sixteenths walking the scale, landing on a
    chord tone at every beat."""
    r = random.Random(seed)
    rhythms = ([0.5] * 8, [1, 0.5, 0.5, 1, 1], [0.5, 0.5, 1, 0.5, 0.5, 1], [1.5, 0.5, 1, 1],
               [0.25, 0.25, 0.5, 1, 0.5, 0.5, 1], [0.5, 1, 0.5, 0.5, 0.5, 1])
    out = []
    note = 78
    for bar, (name, shift) in enumerate(chords):
        _, tones = chord(name, shift)
        scale = [m for m in range(64, 92) if (m - (0 if name in ("G7", "C") else 2)) % 12 in (0, 2, 4, 5, 7, 9, 11)]
        t = 0.0
        for length in rhythms[r.randrange(len(rhythms))]:
            if t == int(t):
                near = [m for m in range(69, 88) if m % 12 in {x % 12 for x in tones}]
                note = min(near, key=lambda m: (abs(m - note) + r.random() * 4))
            else:
                i = min(range(len(scale)), key=lambda k: abs(scale[k] - note))
                note = scale[max(0, min(len(scale) - 1, i + r.choice((-2, -1, 1, 1, 2))))]
            out.append((bar * 4 + t, length * 0.9, note))
            t += length
    return out


A = ["C", "Am", "F", "G", "C", "Am", "F", "G"]
A2 = ["C", "Am", "F", "G", "C", "Am", "Dm", "G"]
B = ["F", "G", "Em", "Am", "Dm", "G", "C", "E"]
C = ["Am", "F", "C", "G", "Am", "F", "Dm", "G"]
D = ["Am", "F", "C", "G", "Dm", "Am", "F", "E"]
SOLO = ["D", "Bm", "G", "A", "D", "Bm", "Em", "G7"]

# The form: sections of (name, chords, transposition, dynamics, parts).  Parts
# name the tune and who plays it, the drum and bass patterns and the keys.
FORM = [
    ("intro", ["Fmaj7", "G", "Em7", "G7"], 0, 0.75, dict(cel=INTRO_MEL, drums=None, bass="late", keys="arp")),
    ("A1", A, 0, 0.75, dict(lead=MEL_A, drums="light", bass="roots", keys="stabs")),
    ("A2", A2, 0, 1.0, dict(lead=MEL_A2, cel_up=MEL_A2[-9:], drums="full", bass="bounce", keys="stabs", crash=True)),
    ("B1", B, 0, 1.0, dict(lead=MEL_B, drums="disco", bass="octaves", keys="pad", crash=True)),
    ("A3", A, 0, 0.85, dict(mar=[(b, l, n - 12) for b, l, n in MEL_A], lead=COUNTER_A, drums="ride", bass="walk",
                            keys="arp")),
    ("D1", D, 0, 0.8, dict(cel=MEL_D, drums=None, bass=None, keys="padarp")),
    ("D2", D, 0, 0.62, dict(lead=[(b, l, n - 12) for b, l, n in MEL_D2], cel=MEL_D[::2], drums=None, bass="long",
                           keys="padarp")),
    ("build", ["Dm", "Em", "F", "G"], 0, 0.8, dict(drums="build", bass="eighths", keys="rise")),
    ("C", C, 0, 1.0, dict(lead=MEL_C, mar=MEL_C, drums="full", bass="bounce", keys="stabs", crash=True)),
    ("A4", A2, 2, 1.0, dict(lead=MEL_A2, cel_up=MEL_A2, drums="disco", bass="octaves", keys="stabs", crash=True)),
    ("B2", B, 2, 0.9, dict(lead=busier(MEL_B), drums="half", bass="walk", keys="pad")),
    ("solo", SOLO, 0, 1.0, dict(lead=solo([(c, 0) for c in SOLO], 77), drums="synco", bass="bounce", keys="stabs")),
    ("A5", A2, 0, 1.0, dict(lead=MEL_A2, cel_up=MEL_A2, mar=COUNTER_A, drums="full", bass="bounce",
                            keys="stabs+pad", crash=True)),
    ("outro", ["F", "G", "C", "C"], 0, 0.65, dict(cel=OUTRO_MEL, drums="outro", bass="roots", keys="pad")),
]

_cache = {}


def cached(key, make):
    if key not in _cache:
        _cache[key] = make()
    return _cache[key]


def place(track, sound, at, gain):
    """Add a sound into a looping track: what rings past the end wraps to the start."""
    n = len(track)
    at %= n
    m = len(sound)
    first = min(m, n - at)
    for i in range(first):
        track[at + i] += sound[i] * gain
    for i in range(m - first):
        track[i] += sound[first + i] * gain


# ------------------------------------------------------------------ instruments
def kick():
    n = int(0.28 * RATE)
    out = array.array("d", bytes(8 * n))
    ph = 0.0
    for i in range(n):
        t = i / RATE
        f = 48 + 110 * math.exp(-t / 0.03)
        ph += TAU * f / RATE
        out[i] = math.sin(ph) * math.exp(-t / 0.09) * min(1, t / 0.002)
    return out


def snare():
    body = tone(190, 0.2, ((1, 1), (1.5, 0.4)), attack=0.001, decay=0.04)
    rattle = bandpass(noise(0.22, decay=0.06), 1500, 8000)
    return array.array("d", (a * 0.6 + b * 0.9 for a, b in zip(body, rattle)))


def clap():
    out = buf(0.25)
    for k, at in enumerate((0.0, 0.011, 0.023)):
        add(out, bandpass(noise(0.2 if k == 2 else 0.02, decay=0.05 if k == 2 else 0.006), 900, 5000), int(at * RATE))
    return out


def hat(open_=False):
    return highpass(noise(0.25 if open_ else 0.06, decay=0.08 if open_ else 0.015), 7000)


def ride():
    bell_ = tone(3200, 0.5, ((1, 1), (1.47, 0.6), (2.09, 0.4), (2.83, 0.3)), attack=0.001, decay=0.18)
    wash = highpass(noise(0.5, decay=0.2), 5000)
    return array.array("d", (a * 0.15 + b * 0.8 for a, b in zip(bell_, wash)))


def crash():
    return highpass(noise(1.6, decay=0.5), 3500)


def bass_note(m, beats):
    return tone(freq(m), beats * 60 / BPM * 0.92, partials=((1, 1.0), (2, 0.45), (3, 0.2), (4, 0.08)),
                attack=0.004, decay=0.35 if beats <= 1 else 1.2)


def stab(tones):
    length = 0.22
    out = buf(length)
    for m in tones:
        add(out, tone(freq(m) * 2, length, partials=((1, 1.0), (2, 0.35), (3, 0.25), (4, 0.1)), attack=0.003,
                      decay=0.09), 0, 1 / len(tones))
    return out


def pad(tones, beats):
    length = beats * 60 / BPM
    out = buf(length)
    fade = int(0.12 * RATE)
    for m in tones:
        t = tone(freq(m), length, partials=((1, 1.0), (2, 0.2)), attack=0.12, vibrato=0.003)
        for i in range(len(out)):
            e = 1.0 if i < len(out) - fade else (len(out) - i) / fade
            out[i] += t[i] * e / len(tones)
    return out


def lead(m, beats):
    """A bright, slightly hollow lead: odd harmonics and a touch of vibrato."""
    length = beats * 60 / BPM
    return tone(freq(m), length * 0.95 + 0.08, partials=((1, 1.0), (2, 0.15), (3, 0.4), (5, 0.16), (7, 0.06)),
                attack=0.01, decay=0.5 + length, vibrato=0.004)


def celesta(m, beats):
    """A music box: a pure strike that rings on."""
    return tone(freq(m), min(2.5, beats * 60 / BPM + 0.8), partials=((1, 1.0), (2, 0.22), (3, 0.06), (4.1, 0.05)),
                attack=0.002, decay=0.7)


def marimba(m, beats):
    return tone(freq(m), min(1.2, beats * 60 / BPM + 0.3), partials=((1, 1.0), (3.93, 0.28), (9.2, 0.05)),
                attack=0.002, decay=0.3)


def pluck(m):
    return tone(freq(m), 0.45, partials=((1, 1.0), (2, 0.5), (3, 0.25), (4, 0.12)), attack=0.002, decay=0.12)


INSTRUMENTS = {"lead": lead, "cel": celesta, "mar": marimba}
# where each track sits: (left, right) gains
PAN = {"drums": (0.8, 0.8), "bass": (0.6, 0.6), "keys": (0.55, 0.35), "pads": (0.45, 0.45), "lead": (0.4, 0.6),
       "cel": (0.55, 0.35), "mar": (0.35, 0.55), "arp": (0.3, 0.5)}


# ------------------------------------------------------------------ patterns
def drum_hits(style, i, n):
    """(beat, drum, gain) for bar i of n of a section in the given style."""
    hits = []
    last = i == n - 1
    eighths = [e / 2 for e in range(8)]
    if style == "light":
        hits += [(0, "kick", 0.8), (2, "kick", 0.7)]
        hits += [(b, "hat", 0.16 if b % 1 else 0.1) for b in eighths]
        if i % 4 == 3:
            hits += [(3.5, "snare", 0.2), (3.75, "snare", 0.28)]
    elif style == "full":
        hits += [(0, "kick", 0.9), (2, "kick", 0.9), (2.5, "kick", 0.5), (1, "snare", 0.45), (3, "snare", 0.45)]
        hits += [(b, "hat", 0.22 if b % 1 else 0.14) for b in eighths if not (b == 3.5 and i % 4 == 3)]
        if i % 4 == 3:
            hits.append((3.5, "ohat", 0.2))
        if last:
            hits += [(2.5, "snare", 0.25), (3.25, "snare", 0.3), (3.5, "snare", 0.38), (3.75, "snare", 0.46)]
        elif i == 3:
            hits += [(3.5, "snare", 0.3), (3.75, "kick", 0.5)]
    elif style == "disco":
        hits += [(b, "kick", 0.85) for b in range(4)] + [(1, "clap", 0.5), (3, "clap", 0.5)]
        hits += [(b, "hat", 0.1) for b in range(4)] + [(b + 0.5, "ohat", 0.13) for b in range(4)]
        if i % 2:
            hits.append((3.75, "snare", 0.25))
        if last:
            hits += [(3, "snare", 0.35), (3.25, "snare", 0.4), (3.5, "snare", 0.45)]
    elif style == "ride":
        hits += [(0, "kick", 0.85), (1.5, "kick", 0.5), (2, "kick", 0.8), (1, "snare", 0.4), (3, "snare", 0.4)]
        hits += [(b, "ride", 0.22) for b in (0, 1, 1.5, 2, 3, 3.5)]
        if i % 4 == 3:
            hits += [(2.75, "snare", 0.2), (3.5, "snare", 0.3)]
    elif style == "half":
        hits += [(0, "kick", 0.9), (1.75, "kick", 0.5), (2, "snare", 0.5)]
        hits += [(s / 4, "hat", 0.12 if s % 2 else 0.07) for s in range(16)]
        if i % 4 == 3:
            hits += [(3.25, "snare", 0.25), (3.5, "snare", 0.32), (3.75, "snare", 0.4)]
    elif style == "synco":
        hits += [(0, "kick", 0.9), (0.75, "kick", 0.5), (2, "kick", 0.85), (2.75, "kick", 0.45)]
        hits += [(1, "snare", 0.45), (3, "snare", 0.45)]
        hits += [(b, "hat", 0.2 if b % 1 else 0.13) for b in eighths] + [(3.75, "hat", 0.12)]
        if last:
            hits += [(3.25, "snare", 0.3), (3.5, "snare", 0.38), (3.75, "snare", 0.46)]
        elif i % 2:
            hits.append((1.75, "snare", 0.18))
    elif style == "build":
        hits += [(b, "kick", 0.5 + 0.1 * i) for b in range(4)]
        per_beat = (0, 1, 2, 4)[i]
        for s in range(4 * per_beat):
            hits.append((s / per_beat, "snare", 0.12 + 0.1 * i + 0.15 * s / (4 * per_beat)))
    elif style == "outro":
        hits += [(0, "kick", 0.8)] + ([(2, "kick", 0.7)] if i < 3 else [])
        hits += [(b, "hat", (0.14 if b % 1 else 0.09) * (1 - 0.2 * i)) for b in eighths if i < 3]
        if i < 2:
            hits += [(1, "snare", 0.35), (3, "snare", 0.35)]
    return hits


def bass_line(style, i, root, tones):
    """(beat, length in beats, MIDI note) for one bar of the bass."""
    fifth = root + 7
    if style == "roots":
        return [(0, 1.5, root), (1.5, 0.5, root), (2, 1, fifth), (3, 1, root + 12 if i % 2 else root)]
    if style == "bounce":
        steps = ((0, 0), (1.5, 0), (2, 7), (3, 12), (3.5, 7)) if (i + i // 4) % 3 != 1 else \
            ((0, 0), (0.75, 0), (1.5, 7), (2.5, 0), (3, 10 if len(tones) > 3 else 12), (3.5, 7))
        if (i + i // 4) % 3 == 2:
            steps = ((0, 0), (1, 12), (1.5, 0), (2, 7), (2.5, 12), (3.5, 4 if tones[1] - tones[0] == 4 else 3))
        return [(b, 0.5, root + s) for b, s in steps]
    if style == "octaves":
        return [(e / 2, 0.45, root + (12 if e % 2 else 0)) for e in range(8)]
    if style == "walk":
        third = root + (tones[1] - tones[0])
        walk = (root, third, fifth, root + 9) if i % 2 == 0 else (root + 12, fifth, third, root + 2)
        return [(b, 0.9, m) for b, m in enumerate(walk)]
    if style == "eighths":
        return [(e / 2, 0.45, root) for e in range(8)]
    if style == "long":
        return [(0, 3.5, root), (3.5, 0.5, fifth)]
    if style == "late":
        return [] if i < 2 else [(0, 3.8, root)]
    return []


def arpeggio(tones, i, up=True):
    """Chord tones an octave up, in eighths."""
    order = [tones[0], tones[1], tones[2], tones[-1] + (0 if len(tones) > 3 else 12)] * 2
    if i % 2:
        order = order[:4] + order[3::-1]
    return [(e / 2, m + 12) for e, m in enumerate(order if up else order[::-1])]


def music():
    total = sum(len(s[1]) for s in FORM) * BAR
    tracks = {name: array.array("d", bytes(8 * total)) for name in PAN}
    # every event placed in a bar, to count the bars that differ from all before
    signature = [[] for _ in range(total // BAR)]
    drums = {"kick": kick(), "snare": snare(), "clap": clap(), "hat": hat(), "ohat": hat(True), "ride": ride(),
             "crash": crash()}

    def event(track, key, make, bar, beat, gain):
        place(tracks[track], cached(key, make), bar * BAR + int(round(beat * BEAT)), gain)
        signature[bar].append((track, key, round(beat % 4, 3), round(gain, 3)))

    first = 0
    for name, chords, shift, dyn, parts in FORM:
        n = len(chords)
        for i, c in enumerate(chords):
            bar = first + i
            root, tones = chord(c, shift)
            if parts.get("drums"):
                for beat, d, g in drum_hits(parts["drums"], i, n):
                    event("drums", d, lambda d=d: drums[d], bar, beat, g * dyn)
                if i == 0 and parts.get("crash"):
                    event("drums", "crash", lambda: drums["crash"], bar, 0, 0.3 * dyn)
            for beat, length, m in bass_line(parts.get("bass"), i, root, tones):
                event("bass", ("bass", m, length), lambda m=m, l=length: bass_note(m, l), bar, beat, 0.8 * dyn)
            keys = parts.get("keys", "")
            if "stabs" in keys:
                offs = (0.5, 1.5, 2.5, 3.5) if i < n // 2 else (0.5, 1.5, 2, 3)
                for b in offs:
                    event("keys", ("stab", tones), lambda t=tones: stab(t), bar, b, 0.5 * dyn)
            if "pad" in keys:
                # held a little into the next bar, so that the chords join
                event("pads", ("pad", tones), lambda t=tones: pad(t, 4.5), bar, 0, 0.4 * dyn)
            if "arp" in keys:
                for b, m in arpeggio(tones, i, up=name != "D2"):
                    event("arp", ("pluck", m), lambda m=m: pluck(m), bar, b, (0.3 if b % 1 else 0.38) * dyn)
            if keys == "rise":
                for s in range(8 if i < 2 else 16):
                    m = tones[s % len(tones)] + 12 * (1 + s // (len(tones) * 2))
                    event("arp", ("pluck", m), lambda m=m: pluck(m), bar, s * (0.5 if i < 2 else 0.25), 0.3 + 0.05 * i)
        for part, track, up, gain in (("lead", "lead", 0, 0.42), ("cel", "cel", 0, 0.5), ("cel_up", "cel", 12, 0.3),
                                      ("mar", "mar", 0, 0.5)):
            instrument = INSTRUMENTS[track]
            for beat, length, m in parts.get(part, []):
                m += shift + up
                event(track, (track, m, length), lambda m=m, l=length, f=instrument: f(m, l),
                      first + int(beat // 4), beat % 4, gain * dyn)
        first += n

    distinct = len({tuple(sorted(s)) for s in signature})
    sys.stderr.write("music: %d bars, %.1f s, %d distinct in the score\n" % (len(signature), total / RATE, distinct))
    left = array.array("d", bytes(8 * total))
    right = array.array("d", bytes(8 * total))
    for name, track in tracks.items():
        gl, gr = PAN[name]
        for i in range(total):
            left[i] += track[i] * gl
            right[i] += track[i] * gr
    return left, right


def limit(left, right, ceiling):
    """Both channels turned down smoothly wherever they would pass ceiling: the
    gain falls over the 5 ms before a peak and recovers over about 80 ms.  The
    track loops, so the gain wraps around its ends."""
    n = len(left)
    w = int(0.005 * RATE)
    need = [min(1.0, ceiling / max(abs(left[i]), abs(right[i]), 1e-9)) for i in range(n)]
    if min(need) == 1.0:
        return 0
    # the lowest gain needed within w samples either side (a sliding minimum)
    lowest = array.array("d", bytes(8 * n))
    window = collections.deque()
    for j in range(-w, n + w):
        k = j + w
        v = need[k % n]
        while window and window[-1][1] >= v:
            window.pop()
        window.append((k, v))
        while window[0][0] < k - 2 * w:
            window.popleft()
        if 0 <= j < n:
            lowest[j] = window[0][1]
    # averaged over the w samples before: never above what any of them needs
    gain = array.array("d", bytes(8 * n))
    total = sum(lowest[(i - w) % n] for i in range(w))
    release = 1 / (0.08 * RATE)
    g = 1.0
    for i in range(n):
        total += lowest[i] - lowest[(i - w) % n]
        g = min(total / w, g + (1 - g) * release)
        gain[i] = g
    for i in range(n):
        left[i] *= gain[i]
        right[i] *= gain[i]
    return 20 * math.log10(min(gain))


def music_levelled():
    """The music raised by MUSIC_GAIN, its peaks under MUSIC_PEAK."""
    left, right = music()
    g = 10 ** (MUSIC_GAIN / 20)
    left = array.array("d", (v * g for v in left))
    right = array.array("d", (v * g for v in right))
    reduced = limit(left, right, 10 ** (MUSIC_PEAK / 20))
    sys.stderr.write("music: peaks lowered by up to %.1f dB\n" % -reduced)
    return left, right


# Levels: the music sits at -20 LUFS with room above it; the effects' loudest
# 400 ms at -13 LUFS stand 7 LU over it, the cash register 4 LU (two or three
# ring together), the footsteps 8 LU under it.  Nothing peaks near full scale,
# so that the music and several effects can play at once.  Each sound's gain
# (dB) brings it to its level; the data tests (tests/data/DataFilesTest.cpp)
# measure the encoded files as a loudness meter does, and a sound changed here
# has its gain changed by the difference they report.
MUSIC_GAIN = -10.61
MUSIC_PEAK = -7.0          # sample peak; the encoder's overshoot stays under -6 dB true peak
EFFECTS = (("bell", bell, -13.89, -8.0), ("menu", menu, 4.86, -8.0), ("cash", cash, -12.81, -12.0),
           ("freehat", freehat, 5.75, -7.0), ("window", window, -10.43, -8.0), ("footsteps", footsteps, 16.32, -14.0),
           ("inflate", inflate, -1.78, -8.0))
HEY = (5.58, -7.0)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--level-hey":
        # build.sh's voice, brought to the effects' level
        write_wav(sys.argv[3], [level(read_wav(sys.argv[2]), *HEY)])
        return
    outdir = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(outdir, exist_ok=True)
    for name, make, gain, ceiling in EFFECTS:
        write_wav(os.path.join(outdir, name + ".wav"), [level(make(), gain, ceiling)])
    left, right = music_levelled()
    write_wav(os.path.join(outdir, "Brisklane.wav"), [left, right])


if __name__ == "__main__":
    main()
